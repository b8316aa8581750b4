#pragma once
// The start-up sequence: splash, data modules, first-run wizard, login, main
// window, event loop. Returns the program's exit code.
#include <QString>

int runPelloran(int& argc, char** argv);
