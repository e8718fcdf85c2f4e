#pragma once
// SIGTERM, SIGINT and SIGHUP (the desktop session ending, Ctrl+C in a terminal) end the program the
// way the close button does, so nothing is cut off half-written. The signal handler only writes a
// byte to a socket; the UI thread reads it and calls quit. Install once, after the application
// object exists; the returned object must live as long as the event loop runs.

#include <QObject>

#include <functional>
#include <memory>

std::unique_ptr<QObject> InstallTerminationSignals(std::function<void()> quit);
