// libFuzzer target: the input bytes are a sequence of clicks, check-box
// changes, track-bar moves, clock jumps and pauses (see ClickDriver), played
// into a running headless instrument. Every event point checks the
// instrument's promises; the first broken one aborts with its name.
//
// Every input starts from the same snapshot: the instrument just after power
// on and the 80-frame splash, on the home page at the end of its first pass.
// The snapshot is taken once per process by powering on for real; it holds
// the bytes of every state variable (the list `expect` knows, frame buffer
// and hook counts included), the screen routine and the host's clock. Each
// input puts it back and resumes the main loop (ResumeMainLoop), so no input
// spends its time replaying the power-on. ON, OFF and restarts in the input
// still run the whole power-on sequence.
//
// TMX5_FUZZ_SCREENS=1 in the environment prints the screen routines and home
// pages each input reached, to check that a corpus covers them all.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "screens/Screens.h"
#include "state/StateNames.h"
#include "support/Invariants.h"

namespace {

struct Snapshot {
    std::vector<u8> bytes; // every state variable, in StateNames order
    ScreenRoutine screen = nullptr;
    VirtualClock clock;
};

size_t VariableBytes(const StateName& v) {
    static const size_t size[] = {1, 1, 4, 4, 8}; // by StateKind
    return size[v.kind] * (size_t)v.count;
}

void Save(Snapshot* s, HeadlessHost* host) {
    s->bytes.clear();
    for (const StateName& v : StateNames()) {
        const u8* p = static_cast<const u8*>(v.address);
        s->bytes.insert(s->bytes.end(), p, p + VariableBytes(v));
    }
    s->screen = ScreenHandler;
    s->clock = host->Sim();
}

void Restore(const Snapshot& s, HeadlessHost* host) {
    const u8* p = s.bytes.data();
    for (const StateName& v : StateNames()) {
        std::memcpy(v.address, p, VariableBytes(v));
        p += VariableBytes(v);
    }
    ScreenHandler = s.screen;
    host->Sim() = s.clock;
    PowerState = POWER_OFF; // ResumeMainLoop takes the instrument from here
}

// Powers on once, waits out the splash and keeps the state at the first
// event point of the main loop.
const Snapshot& AfterSplash() {
    static const Snapshot snapshot = [] {
        Snapshot s;
        HeadlessHost host;
        host.SetEventPoint([&] {
            if (PowerState == POWER_ON && s.screen == nullptr) {
                Save(&s, &host);
                RequestShutdown();
            }
        });
        Button1Click();
        host.SetEventPoint(nullptr);
        if (s.screen == nullptr) {
            std::fprintf(stderr, "the instrument did not reach its main loop\n");
            std::abort();
        }
        return s;
    }();
    return snapshot;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool listScreens = std::getenv("TMX5_FUZZ_SCREENS") != nullptr;
    const Snapshot& start = AfterSplash();
    std::set<std::string> seen;

    HeadlessHost host;
    Restore(start, &host);
    InvariantWatch watch;
    size_t at = 0;
    ClickDriver driver(&host, [&] { return at < size ? (int)data[at++] : -1; });
    driver.SetResume(true);
    // Long pauses cost passes: bound the work of one input (160 s of virtual
    // time, past the 30-second inactivity return).
    driver.SetEventPointLimit(8000);
    // The stack depth of the event point must hold across the passes and
    // restarts of one run of the main loop. The resumed loop is entered from
    // ResumeMainLoop, the loops after a restart from the power-on sequence
    // and an ON from the idle loop from Button1Click, each at its own depth:
    // so the marks of the splash and the main loop start afresh when the
    // resumed loop gives way, and at every ON from the idle loop.
    bool resumedLoop = true;
    u8 lastPower = POWER_ON;
    driver.SetCheck([&] {
        if ((resumedLoop && PowerState != POWER_ON) || (lastPower == POWER_OFF && PowerState != POWER_OFF)) {
            resumedLoop = false;
            watch.stackMark[POWER_SPLASH] = 0;
            watch.stackMark[POWER_ON] = 0;
        }
        lastPower = PowerState;
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
