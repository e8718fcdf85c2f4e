#pragma once
// Where the program lives and keeps its files. Thread-safe.

#include <QString>

// The directory of the running executable, without a trailing separator; computed once.
// skin/, pages/, MapInfo.ini and the other shipped files sit here.
const QString& ExecutableDirectory();

// The four-part program version ("1.2.0.0"); "1.0.1.0" when it cannot be determined. Computed once.
const QString& ProgramVersion();

// Returns version when it has the four-part numeric form, otherwise "1.0.1.0".
QString NormaliseProgramVersion(const QString& version);

// The program's data folder ($XDG_DATA_HOME/vexa): log, statistics queue, simulated phones.
// Created when missing. Read from the environment on every call, so tests can redirect it.
QString DataFolder();

// The program's configuration folder ($XDG_CONFIG_HOME/vexa), created when missing.
QString ConfigFolder();
