// tmx5: the TMX-5 instrument simulator.
//
//   tmx5              open the simulator window
//   tmx5 --record FILE.tmx
//                     the same, recording the session as a script for tmx5 run
//   tmx5 run SCRIPT   run a scenario headless (SCRIPT "-" reads standard input)
//   tmx5 run --update-frames SCRIPT
//                     the same, writing missing or changed reference frames
#include <cstring>
#include <iostream>
#include <string>

#include "headless/ScriptCommands.h"
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
    if (argc >= 2 && std::strcmp(argv[1], "run") == 0) {
        const bool update = argc >= 3 && std::strcmp(argv[2], "--update-frames") == 0;
        if (argc != (update ? 4 : 3)) {
            std::cerr << "tmx5 run: give exactly one script (or - for standard input)\n" << Usage;
            return 2;
        }
        RunOptions options;
        options.updateFrames = update;
        return RunScriptFile(argv[update ? 3 : 2], std::cout, std::cerr, options);
    }
    const bool record = argc >= 2 && std::strcmp(argv[1], "--record") == 0;
    if (record && argc != 3) {
        std::cerr << "tmx5 --record: give exactly one file to record into\n" << Usage;
        return 2;
    }
    if (argc == 1 || record) {
#ifdef TMX5_HAVE_WINDOW
        // The toolkit sees only the program's name, not the file to record into.
        return RunWindow(1, argv, record ? argv[2] : nullptr);
#else
        std::cerr << "tmx5: this build has no window (Qt 6 Widgets was not found); run a scenario "
                     "headless instead: tmx5 run examples/tour.tmx\n";
        return 2;
#endif
    }
    std::cerr << "tmx5: unknown command line\n" << Usage;
    return 2;
}
