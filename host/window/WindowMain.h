// Entry point of the desktop window (built only with Qt 6 Widgets).
#pragma once

// Opens the simulator window and runs the host's message loop until the
// window closes. Returns the program's exit code; 2 when no display can be
// opened, after saying so on standard error.
//
// With recordPath, the session is recorded into that file as a script for
// `tmx5 run` (see Recorder.h). A file that cannot be opened is reported on
// standard error and gives exit code 2 before any window opens.
//
// SIGTERM and SIGINT close the window as its close button does, so a
// recording stopped by a signal still ends with its state lines.
int RunWindow(int argc, char** argv, const char* recordPath = nullptr);
