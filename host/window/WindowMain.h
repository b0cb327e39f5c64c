// Entry point of the desktop window (built only with Qt 6 Widgets).
#pragma once

// Opens the simulator window and runs the host's message loop until the
// window closes. Returns the program's exit code; 2 when no display can be
// opened, after saying so on standard error.
int RunWindow(int argc, char** argv);
