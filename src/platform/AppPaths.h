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

// The user's private folder for sockets and short-lived files: $XDG_RUNTIME_DIR when it is set to a
// folder of this user's that nobody else may enter; otherwise the program's folder in the user's
// cache ($XDG_CACHE_HOME/vexa/run), made with mode 0700. Never a folder shared with other users;
// empty when neither can be had. Read from the environment on every call.
QString PrivateRuntimeFolder();
