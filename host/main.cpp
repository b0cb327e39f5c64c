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

#include "headless/ScriptRunner.h"
#ifdef TMX5_HAVE_WINDOW
#include "window/WindowMain.h"
#endif

static const char Usage[] =
    "usage: tmx5 [OPTION...]     open the simulator window\n"
    "         --record FILE.tmx  record the session as a script for tmx5 run that replays it\n"
    "                            exactly and ends with the state and frame the window showed\n"
    "         --utc \"YYYY-MM-DD HH:MM:SS\"  start the host clock there (default: the computer's)\n"
    "         --speed N|fastest  run N times real time (1 to 100000), or as fast as it goes\n"
    "         --paused           start paused (step and resume in the simulator controls)\n"
    "         --tools            open the simulator controls too (F12 or Ctrl+T in the window)\n"
    "         --scale N          magnify the whole window N times (1 to 4)\n"
    "       tmx5 run SCRIPT      run a scenario script headless (\"-\" reads standard input)\n"
    "       tmx5 run --update-frames SCRIPT\n"
    "                            the same, but write every missing or changed expect-frame reference\n"
    "       tmx5 --help | --version\n"
    "\n"
    "A scenario script drives the instrument on a virtual clock that starts at\n"
    "2026-01-01 00:00:00 UTC. One command per line, or several separated by ';':\n"
    "  utc YYYY-MM-DD HH:MM:SS   set the host clock\n"
    "  on | off                  click ON or OFF\n"
    "  key menu|cw|ccw|left|right  click a key\n"
    "  sensor N                  move the temperature track bar (0 to 4096)\n"
    "  calibrate on|off, keyfast on|off   check or clear a check box\n"
    "  wait 250ms|2s|1.5s|10m|2h let virtual time pass\n"
    "  passes N                  let N event points pass\n"
    "  frame-ms N                frame period, 1 to 1000 ms (default 20)\n"
    "  snap FILE.pbm|.png|.txt   write the frame last rendered\n"
    "  expect NAME VALUE         compare a state variable, ScreenHandler, Lamp, Label15 or Power\n"
    "  expect-frame FILE.pbm [ignore X0 Y0 X1 Y1 ...]\n"
    "                            compare the frame last rendered with a reference, leaving out\n"
    "                            the boxes (inclusive corners); a failure writes FILE.actual.pbm\n"
    "                            and FILE.diff.png beside the reference\n"
    "  expect-text X Y [double] [inverse] [small] \"TEXT\"\n"
    "  expect-text-centred X Y [double] [inverse] [small] \"TEXT\"\n"
    "                            compare the cells of TEXT drawn at (X, Y) (0 to 255; centred on X)\n"
    "                            with the frame last rendered; \\\" is a quote, \\\\ a backslash\n"
    "  print NAME ...            print NAME=VALUE lines\n"
    "Exit status: 0 all expectations held, 1 an expectation failed, 2 a bad script or command line.\n";

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
        return RunScriptFile(argv[update ? 3 : 2], std::cout, std::cerr, update);
    }
    // --- The window and its options (tmx5 [--record FILE] [--utc ...] ...) ---
    if (argc == 1 || std::strncmp(argv[1], "--", 2) == 0) {
#ifdef TMX5_HAVE_WINDOW
        WindowOptions options;
        std::string why;
        if (!ParseWindowOptions(argc - 1, argv + 1, &options, &why)) {
            std::cerr << "tmx5: " << why << " (tmx5 --help lists the options)\n";
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
