// tmx5: the TMX-5 instrument simulator.
//
//   tmx5 [OPTIONS]    open the simulator window (its options: script/CommandLine.cpp)
//   tmx5 run [OPTIONS] PATH...
//                     run a scenario headless (SCRIPT "-" reads standard input),
//                     or a suite of them (headless/RunCommand.h)
//   tmx5 explore --out DIR
//                     write a suite that reaches every screen (headless/Explore.h)
#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "headless/Explore.h"
#include "headless/RunCommand.h"
#include "headless/ScriptRunner.h"
#include "script/CommandLine.h"
#include "script/ScriptCommands.h"
#include "script/ScriptReference.h"
#ifdef TMX5_HAVE_WINDOW
#include "WindowMain.h"
#endif

// The command line forms and options and the script commands come from the
// tables in script/CommandLine.cpp and script/ScriptCommands.cpp, as do the
// man page and the script reference.
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
    // Past a file size limit a write fails (and is reported, the old file
    // kept) instead of killing the program half-way.
    std::signal(SIGXFSZ, SIG_IGN);
    const std::string first = argc >= 2 ? argv[1] : "";
    if (first == "--help" || first == "-h" || first == "--version" || first == "--man" ||
        first == "--reference") {
        if (argc > 2) {
            std::cerr << "tmx5 " << first << ": takes nothing after it, not " << argv[2] << "\n";
            return 2;
        }
        if (first == "--version")
            std::cout << "tmx5 " << TMX5_VERSION << " (TMX-5 firmware 1.06)\n";
        else if (first == "--man")
            std::cout << ManPage(TMX5_VERSION);
        else if (first == "--reference")
            std::cout << ScriptReferenceMarkdown();
        else
            std::cout << Usage;
        return Done(0);
    }
    if (first == "run") {
        // The runner checks its own output and says when it cannot write it.
        const int code = RunCommand(std::vector<std::string>(argv + 2, argv + argc), std::cout, std::cerr);
        std::cout.flush();
        return code;
    }
    if (first == "explore")
        return Done(ExploreCommand(std::vector<std::string>(argv + 2, argv + argc), std::cout, std::cerr));
    // --- The window and its options (tmx5 [--record FILE] [--utc ...] ...) ---
    if (argc == 1 || first.compare(0, 2, "--") == 0) {
#ifdef TMX5_HAVE_WINDOW
        WindowOptions options;
        std::string why;
        if (!ParseWindowOptions(argc - 1, argv + 1, &options, &why)) {
            std::cerr << "tmx5: " << why << " (the window takes " << OptionList(FOR_WINDOW) << ")\n";
            return 2;
        }
        // The toolkit sees only the program's name, not the window's options.
        return RunWindow(1, argv, options);
#else
        // Without the window its options still mean something; anything else is named.
        if (argc > 1 && !FindOption(FOR_WINDOW, first)) {
            std::cerr << "tmx5: unknown option " << first << "\ntmx5 --help lists the options\n";
            return 2;
        }
        std::cerr << "tmx5: this build has no window (Qt 6 Widgets was not found); run a scenario "
                     "headless instead: tmx5 run examples/tour.tmx\n";
        return 2;
#endif
    }
    // --- end of the window's part ---
    std::cerr << "tmx5: unknown command " << first << "\n";
    std::cerr << "tmx5 --help lists the options\n";
    return 2;
}
