#pragma once
// The main() of the command-line tools: a core application, the arguments after the program name
// handed to run(args, out, err), streams flushed, run's result as the exit code.

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

template <class Run> int RunToolMain(int argc, char** argv, Run run) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    const int code = run(args, out, err);
    out.flush();
    err.flush();
    return code;
}
