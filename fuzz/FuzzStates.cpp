// libFuzzer target: the input bytes are a state file for load-state. A file
// the reader rejects must leave the instrument exactly as it was. A file it
// accepts is put back as load-state puts it back; the instrument's promises
// must hold at once and, for a powered state, at every event point of a few
// resumed passes, each with a key so that the screen's editing code runs too.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/Invariants.h"
#include "headless/StateFile.h"

static void Fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
    std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    HeadlessHost host;
    const std::string text((const char*)data, size);
    const std::string before = FormatStateFile(CaptureInstrument(host.Snapshot()));
    InstrumentSnapshot state;
    int line;
    std::string why;
    if (!ParseStateFile(text, &state, &line, &why)) {
        if (why.empty()) Fail("a rejected state file said nothing", text);
        if (FormatStateFile(CaptureInstrument(host.Snapshot())) != before)
            Fail("a rejected state file changed the instrument", why);
        return 0;
    }
    // What load-state does at an idle event point.
    RestoreInstrument(state);
    host.PutBack(state.host);
    // A file that reads back differently lost or changed a value.
    if (FormatStateFile(CaptureInstrument(host.Snapshot())) != FormatStateFile(state))
        Fail("a loaded state does not read back as it was written", text);

    // The checker holds the event point's stack depth per power state, so
    // the check outside the loop has a watch of its own.
    InvariantWatch loaded, watch;
    auto check = [](InvariantWatch* w, const char* when) {
        volatile char mark = 0;
        const std::string broken = CheckInvariants(w, (uintptr_t)&mark);
        if (!broken.empty()) Fail(when, broken);
    };
    check(&loaded, "invariant broken right after loading");
    if (PowerState != POWER_ON) return 0;

    // A few passes, the input's last bytes choosing a key for each.
    const u8 keys[] = {KEY_MENU, KEY_CW, KEY_CCW, KEY_LEFT, KEY_RIGHT};
    int points = 0;
    host.SetEventPoint([&] {
        check(&watch, "invariant broken in a resumed pass");
        if (++points >= 6) {
            RequestShutdown();
            return;
        }
        PostKey(keys[size > (size_t)points ? data[size - points] % 5 : 0]);
    });
    PowerState = POWER_OFF; // as ResumeMainLoop takes it
    ResumeMainLoop();
    host.SetEventPoint(nullptr);
    return 0;
}
