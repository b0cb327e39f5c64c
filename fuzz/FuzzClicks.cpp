// libFuzzer target: the input bytes are a sequence of clicks, check-box
// changes, track-bar moves, clock jumps and pauses (see ClickDriver), played
// into a fresh headless instrument. Every event point checks the instrument's
// promises; the first broken one aborts with its name.
//
// TMX5_FUZZ_SCREENS=1 in the environment prints the screen routines and home
// pages each input reached, to check that a corpus covers them all.
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "support/Invariants.h"
#include "screens/Screens.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool listScreens = std::getenv("TMX5_FUZZ_SCREENS") != nullptr;
    std::set<std::string> seen;

    HeadlessHost host;
    InvariantWatch watch;
    size_t at = 0;
    ClickDriver driver(&host, [&] { return at < size ? (int)data[at++] : -1; });
    // Long pauses cost passes: bound the work of one input (160 s of virtual
    // time, past the 30-second inactivity return).
    driver.SetEventPointLimit(8000);
    driver.SetCheck([&] {
        volatile char mark = 0;
        std::string broken = CheckInvariants(&watch, (uintptr_t)&mark);
        if (!broken.empty()) {
            std::fprintf(stderr, "invariant broken after %llu event points: %s\n",
                         (unsigned long long)host.EventPoints(), broken.c_str());
            std::abort();
        }
        if (listScreens && PowerState == POWER_ON) {
            const char* name = ScreenRoutineName(ScreenHandler);
            std::string s = name ? name : "?";
            if (ScreenHandler == HomeScreen) s += " page " + std::to_string(HomePage);
            seen.insert(s);
        }
    });
    driver.Run();

    if (listScreens) {
        for (const std::string& s : seen) std::printf("screen %s\n", s.c_str());
        std::fflush(stdout);
    }
    return 0;
}
