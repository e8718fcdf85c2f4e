// vexa-crashreport PROGRAM --dir FOLDER   shows the crash report in FOLDER and offers to send it
// vexa-crashreport --collect PID TID SIGNAL FILE   (started by the crashing program itself)
#include "crash/CrashCollector.h"

#include <QCoreApplication>
#include <QStringList>

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    if (arguments.contains(QStringLiteral("--collect"))) {
        // No application object: the collector only reads the other process and writes one file.
        return RunCrashCollector(arguments);
    }
    return 2;
}
