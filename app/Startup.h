#pragma once

// Runs the whole program: application object, run log, main window and event loop.
// Returns the event loop's exit code.
int runZelPress(int& argc, char** argv);
