#pragma once
// The web engine's command line for every embedded page of the program, set in the environment
// before the application object exists (the engine reads it once). Used by the program and by the
// benchmarks that measure it, so both run the same engine.

// Adds what the program needs to QTWEBENGINE_CHROMIUM_FLAGS, keeping what the user gave.
void PrepareWebEngineFlags();
