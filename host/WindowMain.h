// Entry point of the desktop window (built only with Qt 6 Widgets).
#pragma once

#include <string>

// The window's command-line options.
struct WindowOptions {
    bool record = false; // --record FILE
    std::string recordPath;
    bool utcGiven = false; // --utc "YYYY-MM-DD HH:MM:SS"
    long long utc = 0;     // UTC seconds since 1970
    double speed = 1;      // --speed N|fastest (0: fastest)
    bool paused = false;   // --paused
    bool tools = false;    // --tools: open the simulator controls too
    int scale = 1;         // --scale N, 1 to 4
    bool load = false;     // --load-state FILE
    std::string loadState;
};

// Reads the window's options (the rows FOR_WINDOW of script/CommandLine.h)
// from args (the command line after the program's name). On a bad option or
// value returns false with a message that names it.
bool ParseWindowOptions(int count, char** args, WindowOptions* options, std::string* error);

// Opens the simulator window and runs the host's message loop until the
// window closes. Returns the program's exit code: 2 when no display can be
// opened, the state file cannot be read or the recording's file cannot be
// made (said on standard error,
// the file left untouched when there is no display), 1 when a recording
// could not be written, else 0.
//
// SIGTERM and SIGINT close the window as its close button does, so a
// recording stopped by a signal still ends with its state lines.
int RunWindow(int argc, char** argv, const WindowOptions& options);
