#pragma once
// The commands of vexa-phone, callable without a process so that tests can drive them. Each takes
// the arguments after the command name, writes its result text to out (errors to err) and returns
// the exit code (0 success).

#include <QStringList>
#include <QTextStream>

int RunPhoneCommand(const QStringList& args, QTextStream& out, QTextStream& err);
