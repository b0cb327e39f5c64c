// tmx5: the TMX-5 instrument simulator.
//
//   tmx5              open the simulator window
//   tmx5 [--record FILE.tmx] [--utc "YYYY-MM-DD HH:MM:SS"] [--speed N|fastest]
//        [--paused] [--tools] [--scale N]
//                     the same, recording the session as a script for tmx5 run,
//                     starting the clock at a UTC, speed or paused, with the
//                     simulator controls, magnified
//   tmx5 run SCRIPT   run a scenario headless (SCRIPT "-" reads standard input)
//   tmx5 run --update-frames SCRIPT
//                     the same, writing missing or changed reference frames
#include <cstring>
#include <iostream>
#include <string>

#include "headless/ScriptCommands.h"
#include "headless/ScriptReference.h"
#include "headless/ScriptRunner.h"
#ifdef TMX5_HAVE_WINDOW
#include "window/WindowMain.h"
#endif

// The command line forms and the script commands come from the tables in
// headless/ScriptCommands.cpp, as do the man page and the script reference.
static const std::string Usage = UsageText();

int main(int argc, char** argv) {
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::cout << Usage;
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << "tmx5 " << TMX5_VERSION << " (TMX-5 firmware 1.06)\n";
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--man") == 0) {
        std::cout << ManPage(TMX5_VERSION);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--reference") == 0) {
        std::cout << ScriptReferenceMarkdown();
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "run") == 0) {
        bool update = false, stateOnFailure = false;
        int at = 2;
        for (; at < argc; at++) {
            if (std::strcmp(argv[at], "--update-frames") == 0) update = true;
            else if (std::strcmp(argv[at], "--state-on-failure") == 0) stateOnFailure = true;
            else break;
        }
        if (argc != at + 1) {
            std::cerr << "tmx5 run: give exactly one script (or - for standard input)\n" << Usage;
            return 2;
        }
        return RunScriptFile(argv[at], std::cout, std::cerr, update, stateOnFailure);
    }
    // --- The window and its options (tmx5 [--record FILE] [--utc ...] ...) ---
    if (argc == 1 || std::strncmp(argv[1], "--", 2) == 0) {
#ifdef TMX5_HAVE_WINDOW
        WindowOptions options;
        std::string why;
        if (!ParseWindowOptions(argc - 1, argv + 1, &options, &why)) {
            std::cerr << "tmx5: " << why
                      << " (the window takes --record FILE.tmx, --utc \"YYYY-MM-DD HH:MM:SS\", --speed "
                         "N|fastest, --paused, --tools, --scale N and --load-state FILE)\n";
            return 2;
        }
        // The toolkit sees only the program's name, not the window's options.
        return RunWindow(1, argv, options);
#else
        std::cerr << "tmx5: this build has no window (Qt 6 Widgets was not found); run a scenario "
                     "headless instead: tmx5 run examples/tour.tmx\n";
        return 2;
#endif
    }
    // --- end of the window's part ---
    std::cerr << "tmx5: unknown command line\n" << Usage;
    return 2;
}
