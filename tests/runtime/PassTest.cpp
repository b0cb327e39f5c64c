// One main-loop pass as its host sees it: the hooks and the lamp it drives,
// the display hidden while the page is drawn, and the order of the pass
// (the once-a-second block before the screen, so its change shows at once).
#include <gtest/gtest.h>

#include <string>

#include "runtime/Runtime.h"
#include "screens/Screens.h"

namespace {

// A host that writes down every panel operation of a pass.
struct RecordingHost {
    std::string log;
    bool visible = true;
    s64 utc = 1767225600; // 2026-01-01 00:00:00
    HostPanel panel;
    HostClock clock;

    RecordingHost()
        : panel{this, Render, Pump, Unchecked, Unchecked, Lamp, Show}, clock{this, Now, StdClockBreakDown} {}

    static RecordingHost* Of(void* context) { return static_cast<RecordingHost*>(context); }
    static void Render(void* c) { Of(c)->log += Of(c)->visible ? "render(shown) " : "render(hidden) "; }
    static void Pump(void* c) { Of(c)->log += "pump"; }
    static u8 Unchecked(void*) { return 0; }
    static void Lamp(void* c, u32 colour) { Of(c)->log += "lamp " + std::to_string(colour) + " "; }
    static void Show(void* c, u8 on) {
        Of(c)->visible = on != 0;
        Of(c)->log += on ? "show " : "hide ";
    }
    static u8 Now(void* c, s64* seconds) {
        *seconds = Of(c)->utc;
        return 1;
    }
};

// The second the screen routine saw when it drew.
u8 secondDrawn;
void SecondProbe(void) {
    secondDrawn = UtcTime.Second;
    KeyCode = KEY_NONE;
}

class Pass : public ::testing::Test {
protected:
    RecordingHost host;

    void SetUp() override {
        ResetInstrumentState();
        LoadDefaults();
        ScreenHandler = HomeScreen;
        PowerState = POWER_ON;
        HostAttach(&host.panel, &host.clock);
    }
    void TearDown() override { HostAttach(nullptr, nullptr); }

    // One pass; returns the hook calls it made, in HookId order, and leaves
    // its log in host.log.
    std::string Run() {
        u32 before[HOOK_COUNT];
        for (int h = 0; h < HOOK_COUNT; h++) before[h] = HookCalls[h];
        host.log.clear();
        MainLoopPass();
        static const char* const names[HOOK_COUNT] = {
#define HOOK_NAME(id, routine, meaning) #routine,
            HOOK_LIST(HOOK_NAME)
#undef HOOK_NAME
        };
        std::string calls;
        for (int h = 0; h < HOOK_COUNT; h++)
            for (u32 n = before[h]; n < HookCalls[h]; n++)
                calls += std::string(calls.empty() ? "" : " ") + names[h];
        return calls;
    }
};

// The lamp is lit only for an unacknowledged expiry in the lit phase; the
// backlight hook follows Backlight. Both are driven in every pass, and the
// page is drawn while the display is hidden and shown before the events run.
TEST_F(Pass, HooksLampAndDisplayInEachState) {
    struct Row {
        u8 backlight, expiry, ack, phase;
        const char* hooks;
        const char* log;
    } rows[] = {
        {1, 0, 0, 1, "HookBacklightOn HookLampOff", "lamp 128 hide render(hidden) show pump"},
        {0, 0, 0, 0, "HookBacklightOff HookLampOff", "lamp 128 hide render(hidden) show pump"},
        {1, EXPIRY_TIMER, 0, 1, "HookBacklightOn HookLampOn", "lamp 255 hide render(hidden) show pump"},
        {0, EXPIRY_ALARM, 0, 1, "HookBacklightOff HookLampOn", "lamp 255 hide render(hidden) show pump"},
        {1, EXPIRY_TIMER, 0, 0, "HookBacklightOn HookLampOff", "lamp 128 hide render(hidden) show pump"},
        {1, EXPIRY_TIMER, EXPIRY_TIMER, 1, "HookBacklightOn HookLampOff",
         "lamp 128 hide render(hidden) show pump"},
    };
    for (const Row& r : rows) {
        Backlight = r.backlight;
        ExpiryFlags = r.expiry;
        AckFlags = r.ack;
        FlashPhase = r.phase;
        SCOPED_TRACE(r.hooks);
        EXPECT_EQ(Run(), r.hooks);
        EXPECT_EQ(host.log, r.log);
    }
}

// Thirty seconds without a key: home, with the settings signalled as changed.
TEST_F(Pass, InactivityReturnSignalsChangedSettings) {
    ScreenHandler = ContrastScreen;
    InactivitySeconds = 0;
    EXPECT_EQ(Run(), "HookBacklightOn HookLampOff HookSettingsChanged"); // in HookId order
    EXPECT_EQ(ScreenHandler, &HomeScreen);
    EXPECT_EQ(InactivitySeconds, INACTIVITY_RELOAD);
}

// The once-a-second block runs before the screen routine: the second it
// reads is the one the same pass draws.
TEST_F(Pass, NewSecondIsDrawnInTheSamePass) {
    ScreenHandler = SecondProbe;
    for (int s = 1; s <= 3; s++) {
        host.utc++;
        SecondElapsed = 1;
        InactivitySeconds = INACTIVITY_RELOAD; // no inactivity return to the home pages
        Run();
        EXPECT_EQ(secondDrawn, s);
    }
}

} // namespace
