// tmx5: the TMX-5 instrument simulator.
//
//   tmx5              open the simulator window
//   tmx5 --record FILE.tmx
//                     the same, recording the session as a script for tmx5 run
//   tmx5 run [OPTIONS] PATH...
//                     run a scenario headless (SCRIPT "-" reads standard input),
//                     or a suite of them (headless/RunCommand.h)
#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "headless/ScriptCommands.h"
#include "headless/RunCommand.h"
#include "headless/ScriptReference.h"
#include "headless/ScriptRunner.h"
#ifdef TMX5_HAVE_WINDOW
#include "window/WindowMain.h"
#endif

// The command line forms and the script commands come from the tables in
// headless/ScriptCommands.cpp, as do the man page and the script reference.
static const std::string Usage = UsageText();

// Ends the program: a failed write of standard output is status 2.
static int Done(int code) {
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "tmx5: cannot write the output: " << std::strerror(errno) << "\n";
        return code == 0 ? 2 : code;
    }
    return code;
}

int main(int argc, char** argv) {
    const std::string first = argc >= 2 ? argv[1] : "";
    if (first == "--help" || first == "-h" || first == "--version" || first == "--man" || first == "--reference") {
        if (argc > 2) {
            std::cerr << "tmx5 " << first << ": takes nothing after it, not " << argv[2] << "\n";
            return 2;
        }
        if (first == "--version") std::cout << "tmx5 " << TMX5_VERSION << " (TMX-5 firmware 1.06)\n";
        else if (first == "--man") std::cout << ManPage(TMX5_VERSION);
        else if (first == "--reference") std::cout << ScriptReferenceMarkdown();
        else std::cout << Usage;
        return Done(0);
    }
    if (first == "run") return Done(RunCommand(std::vector<std::string>(argv + 2, argv + argc), std::cout, std::cerr));
    const bool record = first == "--record";
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
    if (first[0] == '-') std::cerr << "tmx5: unknown option " << first << "\n";
    else std::cerr << "tmx5: unknown command " << first << "\n";
    std::cerr << "tmx5 --help lists the options\n";
    return 2;
}
