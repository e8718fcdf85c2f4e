// vexa-cli: the command-line front of the pages (see CliCommands.h).
#include "../ToolMain.h"
#include "CliCommands.h"

#include "platform/StringTable.h"

#include <QFile>

int main(int argc, char** argv) {
    return RunToolMain(argc, argv, [argc, argv](const QStringList& args, QTextStream& out, QTextStream& err) {
        // The commands take their arguments as text. A file name whose bytes are not text in the
        // system's encoding has no QString that leads back to it, so Qt's file classes could only
        // report it missing: it is refused with that reason instead.
        for (int i = 1; i < argc; ++i) {
            const QByteArray raw(argv[i]);
            if (QFile::encodeName(QFile::decodeName(raw)) != raw) {
                err << FormatText(Str(2831), qUtf8Printable(QFile::decodeName(raw))) << '\n';
                return kCliFailed;
            }
        }
        return RunCli(args, out, err);
    });
}
