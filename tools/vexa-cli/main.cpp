// vexa-cli: the command-line front of the pages (see CliCommands.h).
#include "CliCommands.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    const int code = RunCli(args, out, err);
    out.flush();
    err.flush();
    return code;
}
