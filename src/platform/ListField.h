#pragma once
// One field of a tab-separated line that scripts read (vexa-cli listings): line breaks, tabs and
// backslashes written as "\n", "\t" and "\\", so a name can never split a line or a field.

#include <QString>

QString ListField(const QString& text);
