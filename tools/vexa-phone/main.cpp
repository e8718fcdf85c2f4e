// vexa-phone: the command-line control of simulated phones (see PhoneCommands.cpp for the forms).
#include "PhoneCommands.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    const int code = RunPhoneCommand(args, out, err);
    out.flush();
    err.flush();
    return code;
}
