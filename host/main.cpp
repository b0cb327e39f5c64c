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

#include "headless/ScriptRunner.h"
#ifdef TMX5_HAVE_WINDOW
#include "window/WindowMain.h"
#endif

static const char Usage[] =
    "usage: tmx5                 open the simulator window\n"
    "       tmx5 --record FILE.tmx\n"
    "                            the same, recording every input into FILE.tmx as a script for\n"
    "                            tmx5 run, which ends with the state the window showed\n"
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
    "  snap FILE.pbm|.png|.txt [Nx]  write the frame last rendered; a .png at 1x to 8x (default 2x)\n"
    "  movie FILE.gif [Nx] | movie end  record each changed frame, for its virtual time, as a GIF\n"
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
