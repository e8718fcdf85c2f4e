#pragma once
// SIGTERM, SIGINT and SIGHUP (the desktop session ending, Ctrl+C in a terminal) end the program the
// way the close button does, so nothing is cut off half-written. The signals are blocked in every
// thread and read from a signal descriptor on the UI thread, so no handler that a library installs
// (the web engine installs its own) can take them. Block first thing in main, before any thread
// exists; install once the application object exists; the returned object must live as long as
// the event loop runs.

#include <QObject>

#include <functional>
#include <memory>

void BlockTerminationSignals();
// For runs that never install the reader (pictures from the command line): the signals end them.
void UnblockTerminationSignals();
std::unique_ptr<QObject> InstallTerminationSignals(std::function<void()> quit);
