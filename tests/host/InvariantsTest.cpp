// The invariant checker that the click fuzzer and the soak rely on: each
// promise it watches is noticed when broken and quiet at its boundaries, and
// the click driver delivers what its bytes say.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "screens/Screens.h"
#include "state/StateNames.h"
#include "support/Invariants.h"

namespace {

// A fresh host with the state a running instrument has after its first pass.
class Invariants : public ::testing::Test {
protected:
    HeadlessHost host;
    InvariantWatch watch;

    void SetUp() override {
        ResetInstrumentState();
        watch = InvariantWatch();
        LoadDefaults();
        PowerState = POWER_ON;
        ScreenHandler = HomeScreen;
        SecondsToDate(1767225600u, &UtcTime); // 2026-01-01 00:00:00
        MainZoneTime = SecondZoneTime = UtcTime;
    }
    std::string Check(uintptr_t mark = 1000) { return CheckInvariants(&watch, mark); }
};

struct Row {
    const char* name; // the variable as the message names it
    std::function<void()> set;
    bool broken;
};

TEST_F(Invariants, EachRangeIsCheckedAtItsBoundaries) {
    const std::vector<Row> rows = {
        {"MainZone", [] { MainZone = 152; }, false},
        {"MainZone", [] { MainZone = 153; }, true},
        {"SecondZone", [] { SecondZone = 153; }, true},
        {"LocalOffsetHours[152]", [] { LocalOffsetHours[152] = -12; }, false},
        {"LocalOffsetHours[152]", [] { LocalOffsetHours[152] = -13; }, true},
        {"LocalOffsetHours[0]", [] { LocalOffsetHours[0] = 13; }, true},
        {"LocalOffsetMinutes[7]", [] { LocalOffsetMinutes[7] = 59; }, false},
        {"LocalOffsetMinutes[7]", [] { LocalOffsetMinutes[7] = -60; }, true},
        {"Contrast", [] { Contrast = 57; }, false},
        {"Contrast", [] { Contrast = 58; }, true},
        {"CalibrationOffset", [] { CalibrationOffset = -20; }, false},
        {"CalibrationOffset", [] { CalibrationOffset = 21; }, true},
        {"HomePage", [] { HomePage = 4; }, false},
        {"HomePage", [] { HomePage = 5; }, true},
        {"TimerPresetHours", [] { TimerPresetHours = 99; }, false},
        {"TimerPresetHours", [] { TimerPresetHours = 100; }, true},
        {"TimerPresetMinutes", [] { TimerPresetMinutes = 60; }, true},
        {"TimerPresetSeconds", [] { TimerPresetSeconds = 60; }, true},
        {"AlarmHour", [] { AlarmHour = 23; }, false},
        {"AlarmHour", [] { AlarmHour = 24; }, true},
        {"AlarmMinute", [] { AlarmMinute = 60; }, true},
        {"AlarmSecond", [] { AlarmSecond = 60; }, true},
        {"FlashPhase", [] { FlashPhase = 2; }, true},
        {"StopwatchRunning", [] { StopwatchRunning = 2; }, true},
        {"TimerRunning", [] { TimerRunning = 2; }, true},
        {"AlarmEnabled", [] { AlarmEnabled = 2; }, true},
        {"Backlight", [] { Backlight = 2; }, true},
        {"TempUnitF", [] { TempUnitF = 2; }, true},
        {"EditMode", [] { EditMode = 2; }, true},
        {"CalibrateEnabled", [] { CalibrateEnabled = 2; }, true},
        {"KeyCode after a pass", [] { KeyCode = KEY_MENU; }, true},
        {"UtcTime.Hour", [] { UtcTime.Hour = 24; }, true},
        {"SecondZoneTime.Day", [] { SecondZoneTime.Day = 0; }, true},
        {"MenuCursor on MainMenuScreen",
         [] {
             ScreenHandler = MainMenuScreen;
             MenuCursor = 6;
         },
         false},
        {"MenuCursor on MainMenuScreen",
         [] {
             ScreenHandler = MainMenuScreen;
             MenuCursor = 7;
         },
         true},
        {"MenuCursor on TimeSetupScreen",
         [] {
             ScreenHandler = TimeSetupScreen;
             MenuCursor = 4;
         },
         true},
        {"MenuCursor on CalibrateScreen",
         [] {
             ScreenHandler = CalibrateScreen;
             MenuCursor = 2;
         },
         true},
        {"MenuCursor on ContrastScreen",
         [] {
             ScreenHandler = ContrastScreen;
             MenuCursor = 1;
         },
         true},
        // The inactivity return leaves another screen's cursor on the home pages.
        {"MenuCursor on HomeScreen", [] { MenuCursor = 5; }, false},
    };
    for (const Row& row : rows) {
        SetUp();
        row.set();
        std::string broken = Check();
        if (row.broken)
            EXPECT_EQ(broken.rfind(row.name, 0), 0u) << row.name << ": " << broken;
        else
            EXPECT_EQ(broken, "") << row.name;
    }
}

TEST_F(Invariants, UtcEditorFieldsAreCheckedOnceTheEditorOpened) {
    EditYear = 0; // the program-start value, before SET UTC TIME ever opened
    EXPECT_EQ(Check(), "");
    ScreenHandler = SetUtcTimeScreen;
    EditYear = 2100;
    EditMonth = 12;
    EditDay = 31;
    EXPECT_EQ(Check(), "");
    ScreenHandler = HomeScreen; // the fields are kept after the editor is left
    EditDay = 32;
    EXPECT_EQ(Check().rfind("EditDay", 0), 0u);
    EditDay = 1;
    EditYear = 1969;
    EXPECT_EQ(Check().rfind("EditYear", 0), 0u);
}

TEST_F(Invariants, ScreenHandlerMustBeAScreenRoutineWhileRunning) {
    ScreenHandler = nullptr;
    EXPECT_EQ(Check(), "ScreenHandler is not a screen routine");
    PowerState = POWER_OFF; // null before the first power-on
    EXPECT_EQ(Check(), "");
    ScreenHandler = (ScreenRoutine)HomeHeader; // a drawing helper, not a screen
    EXPECT_EQ(Check(), "ScreenHandler is not a screen routine");
}

TEST_F(Invariants, StackMarkStaysPerPowerState) {
    EXPECT_EQ(Check(1000), "");
    PowerState = POWER_SPLASH;
    EXPECT_EQ(Check(2000), ""); // the splash pumps from its own depth
    PowerState = POWER_ON;
    EXPECT_EQ(Check(1000), "");
    EXPECT_EQ(Check(1000 - 96).rfind("stack depth", 0), 0u);
}

// Plays bytes into a fresh host; returns the screen shown at the end.
struct Played {
    std::vector<std::string> screens; // at every event point after a pass
    uint64_t events;
};

Played Play(HeadlessHost* host, std::vector<int> bytes) {
    size_t at = 0;
    Played p;
    ClickDriver driver(host, [&] { return at < bytes.size() ? bytes[at++] : -1; });
    driver.SetCheck([&] {
        if (PowerState == POWER_ON) {
            const char* n = ScreenRoutineName(ScreenHandler);
            p.screens.push_back(n ? n : "?");
        }
    });
    driver.Run();
    p.events = driver.EventsDelivered();
    return p;
}

TEST(ClickDriver, BytesBecomeTheirEvents) {
    const int splash[] = {176, 224, 176, 31}; // 64 + 16 passes and their two points
    {
        HeadlessHost host;
        std::vector<int> bytes = {240};
        bytes.insert(bytes.end(), splash, splash + 4);
        bytes.push_back(0); // 0 % 5: MENU
        bytes.push_back(160);
        Played p = Play(&host, bytes);
        ASSERT_FALSE(p.screens.empty());
        EXPECT_EQ(p.screens.back(), "MainMenuScreen");
        EXPECT_EQ(p.events, 2u);          // ON and MENU; a pass without events is none
        EXPECT_EQ(PowerState, POWER_OFF); // used up: shut down
    }
    {
        HeadlessHost host;
        Played p = Play(&host, {200, 0xFF, 0xFF, 217, 225, 232, 0xFF, 0xFF, 0xFF, 0xFF});
        EXPECT_EQ(host.Panel().TrackBar(), 65535 % 4097);
        EXPECT_TRUE(host.Panel().Calibrate());
        EXPECT_TRUE(host.Panel().KeyFast());
        EXPECT_EQ(host.Sim().UtcSeconds(), 4294967295LL % HOST_CLOCK_SPAN + (s64)host.NowMs() / 1000);
        EXPECT_EQ(p.events, 4u);
    }
    {
        // The knob and soft keys each go their own way on the home pages:
        // clockwise to the next page, anticlockwise to the last, F1 to the
        // next second zone, F2 to the one before.
        struct Key {
            int byte;
            u8 homePage, secondZone;
        } keys[] = {{1, 1, 43}, {2, 4, 43}, {3, 0, 44}, {4, 0, 42}};
        for (const Key& k : keys) {
            HeadlessHost host;
            std::vector<int> bytes = {240};
            bytes.insert(bytes.end(), splash, splash + 4);
            bytes.push_back(k.byte);
            bytes.push_back(160);
            Play(&host, bytes);
            EXPECT_EQ(HomePage, k.homePage) << "byte " << k.byte;
            EXPECT_EQ(SecondZone, k.secondZone) << "byte " << k.byte;
        }
    }
    {
        // Together: OFF and ON at one event point restart, then OFF ends.
        HeadlessHost host;
        std::vector<int> bytes = {240};
        bytes.insert(bytes.end(), splash, splash + 4);
        bytes.insert(bytes.end(), {248, 244, 240});
        bytes.insert(bytes.end(), splash, splash + 4);
        bytes.push_back(244);
        Played p = Play(&host, bytes);
        EXPECT_EQ(PowerState, POWER_OFF);
        EXPECT_EQ(p.events, 4u);
    }
}

} // namespace

namespace {

// Every byte of a named variable set to the same value.
void Fill(const StateName& n, u8 byte) {
    size_t size = n.kind == STATE_S64 ? 8 : n.kind == STATE_U32 || n.kind == STATE_S32 ? 4 : 1;
    std::memset(n.address, byte, size * n.count);
}

// Every named variable, the hook counts and the frame buffer included, comes
// back to zero; the names cover ShutdownRequested.
TEST(StateTable, ResetClearsEveryNamedVariable) {
    const StateName* shutdown = nullptr;
    int index = 0;
    std::string error;
    ASSERT_TRUE(ResolveStateName("ShutdownRequested", &shutdown, &index, &error)) << error;
    for (const StateName& n : StateNames()) Fill(n, 0x5A);
    ScreenHandler = HomeScreen;
    ResetInstrumentState();
    for (const StateName& n : StateNames())
        for (int i = 0; i < n.count; i++) ASSERT_EQ(ReadStateValue(&n, i), 0) << n.name << "[" << i << "]";
    EXPECT_EQ(ScreenHandler, nullptr);
}

// Every power-on value the names give is what power-on leaves at the first
// pass, after a previous session left other values everywhere; the recorder
// writes its expect lines from these.
TEST(StateTable, PowerOnValuesAreWhatPowerOnSets) {
    HeadlessHost host;
    for (const StateName& n : StateNames())
        if (n.hasPowerOn) Fill(n, 0x03);
    int checked = 0;
    host.SetEventPoint([&] {
        if (PowerState != POWER_ON) return;
        for (const StateName& n : StateNames()) {
            if (!n.hasPowerOn) continue;
            checked++;
            for (int i = 0; i < n.count; i++)
                EXPECT_EQ(ReadStateValue(&n, i), n.powerOn) << n.name << "[" << i << "]";
        }
        Button2Click();
    });
    Button1Click();
    EXPECT_GE(checked, 20);
}

} // namespace
