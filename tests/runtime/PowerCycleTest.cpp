// Power cycle, main-loop pass order, tick and keys, driven through the
// headless host's event points.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

#include "headless/HeadlessHost.h"
#include "lcd/Lcd.h"
#include "screens/Screens.h"

namespace {

class Instrument : public ::testing::Test {
protected:
    std::unique_ptr<HeadlessHost> host;
    int splashPoints = 0;
    int passes = 0;
    std::function<bool(int)> step;       // called in every main-loop PumpEvents; false = click OFF
    std::function<void(int)> splashStep; // called in every splash PumpEvents

    void SetUp() override {
        host.reset(new HeadlessHost());
        host->SetEventPoint([this] {
            if (PowerState == POWER_SPLASH) {
                splashPoints++;
                if (splashStep) splashStep(splashPoints);
            } else if (PowerState == POWER_ON) {
                passes++;
                if (!step || !step(passes)) Button2Click();
            }
        });
    }
    void TearDown() override { host.reset(); }

    // ON, then main-loop passes while step says so.
    void Run(std::function<bool(int)> s) {
        step = std::move(s);
        Button1Click();
    }

    // A hash of the rows of the home page title (rows 31 to 38).
    static u32 TitleBand(const u8* frame) {
        u32 h = 2166136261u;
        for (int x = 0; x < 114; x++) {
            u8 lo = frame[3 * 114 + x] >> 7, hi = frame[4 * 114 + x] & 0x7F;
            h = (h ^ (u32)(lo | hi << 1)) * 16777619u;
        }
        return h;
    }
};

TEST_F(Instrument, SplashPlaysEightyFramesThenTheHomeScreenRuns) {
    Run([](int pass) { return pass < 3; });
    EXPECT_EQ(splashPoints, 80);
    EXPECT_EQ(passes, 3);
    EXPECT_EQ(PowerState, POWER_OFF);
    EXPECT_EQ(ScreenHandler, &HomeScreen);
    // A second boundary passed during the splash, so the very first pass read
    // the host clock: no 1 February 1970 is ever shown.
    EXPECT_EQ(UtcTime.Year, 126u);
}

// The hooks power-on calls, counted at the end of the first pass: the
// defaults set the contrast and the backlight, the calibration reset signals
// changed settings, the extremes are reset, the lamp is put out after the
// splash, and the pass drives the backlight and the lamp once more. With a
// clock that cannot be read the instrument shows its fallback date,
// 1 February 1970.
TEST_F(Instrument, PowerOnHooksAndFallbackDate) {
    host->Panel().SetClockReadable(false);
    Run([](int pass) { return pass < 1; });
    const u32 expected[HOOK_COUNT] = {1, 2, 0, 0, 2, 1, 1};
    for (int h = 0; h < HOOK_COUNT; h++) EXPECT_EQ(HookCalls[h], expected[h]) << "hook " << h;
    EXPECT_EQ(UtcTime.Year, 70u);
    EXPECT_EQ(UtcTime.Month, 1);
    EXPECT_EQ(UtcTime.Day, 1);
    EXPECT_EQ(UtcTime.Hour + UtcTime.Minute + UtcTime.Second, 0);
}

TEST_F(Instrument, PowerOnSetsItsValuesAndKeepsTheRest) {
    // Leave odd values everywhere, as a previous power cycle might.
    Contrast = 3;
    Backlight = 0;
    TempUnitF = 1;
    TimerPresetHours = 9;
    AlarmMinute = 7;
    MainZone = 1;
    SecondZone = 2;
    LocalOffsetHours[10] = 5;
    LocalOffsetMinutes[152] = -30;
    CalibrationOffset = 9;
    ExpiryFlags = 3;
    AckFlags = 1;
    HomePage = 3;
    StopwatchRunning = TimerRunning = AlarmEnabled = 1;
    StopwatchTenths = 12345;
    TimerRemainingTenths = 678;
    EditMode = 1;
    MenuCursor = 4;
    host->Panel().MoveTrackBar(3000);
    UtcClockOffset = 999;

    bool checked = false;
    Run([&](int pass) {
        if (pass == 1) {
            checked = true;
            EXPECT_EQ(Contrast, 37);
            EXPECT_EQ(Backlight, 1);
            EXPECT_EQ(TempUnitF, 0);
            EXPECT_EQ(TimerPresetHours, 0);
            EXPECT_EQ(AlarmMinute, 0);
            EXPECT_EQ(MainZone, 43);
            EXPECT_EQ(SecondZone, 43);
            EXPECT_EQ(LocalOffsetHours[10], 0);
            EXPECT_EQ(LocalOffsetMinutes[152], 0);
            EXPECT_EQ(CalibrationOffset, 0);
            EXPECT_EQ(HomePage, 0);
            EXPECT_EQ(StopwatchRunning, 0);
            EXPECT_EQ(TimerRunning, 0);
            EXPECT_EQ(AlarmEnabled, 0);
            EXPECT_EQ(RawSensor, 2048); // whatever the track bar shows
            EXPECT_EQ(host->Panel().TrackBar(), 3000);
            EXPECT_EQ(UtcClockOffset, 0);
            EXPECT_EQ(TempMin, -17);
            EXPECT_EQ(TempMax, -17);
            // Kept across the power cycle; both ran on through the 16 ticks
            // of the splash until power-on stopped them.
            EXPECT_EQ(StopwatchTenths, 12345u + 16);
            EXPECT_EQ(TimerRemainingTenths, 678u - 16);
            EXPECT_EQ(EditMode, 1);
            EXPECT_EQ(MenuCursor, 0);
        }
        return pass < 1;
    });
    EXPECT_TRUE(checked);
}

TEST_F(Instrument, KeyActsInTheNextPassAndShowsInTheOneAfter) {
    u32 band[8] = {};
    Run([&](int pass) {
        band[pass] = TitleBand(host->Panel().Frame());
        if (pass == 2) {
            EXPECT_EQ(HomePage, 0);
            Button3Click(); // delivered in pass 2's PumpEvents
            EXPECT_EQ(KeyCode, KEY_CW);
        }
        if (pass == 3) { // pass 3 consumed it but drew the zone page
            EXPECT_EQ(HomePage, 1);
            EXPECT_EQ(KeyCode, 0);
        }
        return pass < 4;
    });
    EXPECT_EQ(band[2], band[1]);
    EXPECT_EQ(band[3], band[2]); // still the zone page
    EXPECT_NE(band[4], band[3]); // the stopwatch page
}

TEST_F(Instrument, TwoClicksInOnePassActOnTheFirstOnly) {
    Run([&](int pass) {
        if (pass == 1) {
            InactivitySeconds = 5;
            Button3Click();
            Button4Click();
            EXPECT_EQ(KeyCode, KEY_CW);
            EXPECT_EQ(InactivitySeconds, 30);
        }
        return pass < 3;
    });
    EXPECT_EQ(HomePage, 1);
}

TEST_F(Instrument, KeyDuringTheSplashIsActedOnInTheFirstPass) {
    splashStep = [](int frame) {
        if (frame == 40) Button3Click();
    };
    Run([&](int pass) {
        if (pass == 1) {
            EXPECT_EQ(HomePage, 1);
        }
        return pass < 1;
    });
}

TEST_F(Instrument, OffDuringTheSplashIsLostAndOffWhileRunningEndsAfterThePass) {
    splashStep = [](int frame) {
        if (frame == 10) Button2Click();
    };
    Run([](int pass) { return pass < 5; });
    EXPECT_EQ(passes, 5); // OFF in pass 5's events: no pass 6
}

TEST_F(Instrument, OnDuringTheSplashIsIgnored) {
    splashStep = [](int frame) {
        if (frame == 20) Button1Click();
    };
    Run([](int pass) { return pass < 2; });
    EXPECT_EQ(splashPoints, 80);
    EXPECT_EQ(passes, 2);
}

// ON while running powers on again after the pass instead of nesting a new
// loop inside the event processing: the stack stays where it was however
// often ON is clicked, and one OFF ends the instrument.
TEST_F(Instrument, OnWhileRunningRestartsWithoutNesting) {
    const int restarts = 50;
    int onClicks = 0;
    uintptr_t depth = 0;
    int mainZoneAfterRestart = -1;
    Run([&](int pass) {
        volatile char marker = 0;
        uintptr_t here = (uintptr_t)&marker;
        if (depth == 0) depth = here;
        EXPECT_EQ(here, depth) << "pass " << pass;
        if (pass % 3 == 1 && onClicks > 0) mainZoneAfterRestart = MainZone;
        if (pass % 3 == 2 && onClicks < restarts) {
            MainZone = 7; // a power-on value that the restart must reset
            Button1Click();
            onClicks++;
            EXPECT_EQ(PowerState, POWER_ON); // the current pass completes first
        }
        return onClicks < restarts || pass % 3 != 0;
    });
    EXPECT_EQ(onClicks, restarts);
    EXPECT_EQ(splashPoints, 80 * (restarts + 1));
    EXPECT_EQ(mainZoneAfterRestart, 43);
    EXPECT_EQ(PowerState, POWER_OFF); // a single OFF was enough
}

TEST_F(Instrument, OffAndOnInTheSameEventsRestart) {
    int ons = 0;
    Run([&](int pass) {
        if (pass == 2 && ons == 0) {
            Button2Click();
            Button1Click();
            ons++;
            return true;
        }
        return pass < 2 || ons == 0;
    });
    EXPECT_EQ(splashPoints, 160);
}

TEST_F(Instrument, ShutdownEndsSplashAndLoopAtOnce) {
    splashStep = [](int frame) {
        if (frame == 5) RequestShutdown();
    };
    Run([](int) { return true; });
    EXPECT_EQ(splashPoints, 5);
    EXPECT_EQ(passes, 0);
    EXPECT_EQ(PowerState, POWER_OFF);
    Button1Click(); // the host is gone: nothing more runs
    EXPECT_EQ(splashPoints, 5);
}

TEST_F(Instrument, LampFlashesWhileAnExpiryIsUnacknowledged) {
    std::vector<u32> lamp;
    Run([&](int pass) {
        if (pass == 1) {
            TimerRunning = 1;
            TimerRemainingTenths = 5;
        }
        lamp.push_back(host->Panel().Lamp());
        return pass < 250; // 5 s
    });
    int bright = 0, flips = 0;
    for (size_t i = 0; i < lamp.size(); i++) {
        bright += lamp[i] == LAMP_BRIGHT;
        if (i > 0 && lamp[i] != lamp[i - 1]) flips++;
    }
    EXPECT_GT(bright, 60); // lit about half of the ~4 s after the expiry
    EXPECT_LT(bright, 140);
    EXPECT_GE(flips, 5);
    EXPECT_EQ(ExpiryFlags & EXPIRY_TIMER, EXPIRY_TIMER);
}

TEST_F(Instrument, InactivityReturnsHomeThirtySecondsAfterTheLastKey) {
    int returnedAt = 0;
    Run([&](int pass) {
        if (pass == 2) Image5Click(); // open the menu
        if (pass > 3 && returnedAt == 0 && ScreenHandler == &HomeScreen) returnedAt = pass;
        return pass < 2000;
    });
    // 30 second boundaries at 50 passes a second, within one second of slack.
    EXPECT_GT(returnedAt, 2 + 29 * 50);
    EXPECT_LE(returnedAt, 2 + 31 * 50);
}

class Tick : public ::testing::Test {
protected:
    void SetUp() override { ResetInstrumentState(); }
};

TEST_F(Tick, FlashPhaseIsSixTicksEachWay) {
    std::string phases;
    for (int i = 0; i < 24; i++) {
        Timer1Timer();
        phases += (char)('0' + FlashPhase);
    }
    EXPECT_EQ(phases, "000001111110000001111110");
}

TEST_F(Tick, SecondEveryTenTicksAndInactivityCountsDown) {
    InactivitySeconds = 2;
    for (int i = 1; i <= 30; i++) {
        Timer1Timer();
        EXPECT_EQ(SecondElapsed, i % 10 == 0 ? 1 : 0) << i;
        SecondElapsed = 0;
        if (i == 10) {
            EXPECT_EQ(InactivitySeconds, 1);
        }
        if (i == 20) {
            EXPECT_EQ(InactivitySeconds, 0);
        }
    }
    EXPECT_EQ(InactivitySeconds, 0); // stays at 0
}

TEST_F(Tick, StopwatchAndTimerCountTenths) {
    StopwatchRunning = 1;
    TimerRunning = 1;
    TimerRemainingTenths = 3;
    for (int i = 0; i < 10; i++) Timer1Timer();
    EXPECT_EQ(StopwatchTenths, 10u);
    EXPECT_EQ(TimerRemainingTenths, 0u); // stops at 0, never wraps
    StopwatchRunning = 0;
    Timer1Timer();
    EXPECT_EQ(StopwatchTenths, 10u);
}

class OnceASecondTest : public ::testing::Test {
protected:
    std::unique_ptr<HeadlessHost> host;
    void SetUp() override { host.reset(new HeadlessHost()); }
    void At(int h, int m, int s) {
        host->Sim().SetUtc(HEADLESS_EPOCH + h * 3600 + m * 60 + s);
        OnceASecond();
    }
};

// The alarm compares one time of day with another, so an alarm enabled after
// its time rings at once, and one enabled before rings exactly on time.
TEST_F(OnceASecondTest, AlarmComparesWholeTimesOfDay) {
    SecondZone = 43;
    AlarmHour = 10;
    AlarmMinute = 30;
    AlarmSecond = 0;
    AlarmEnabled = 1;
    At(11, 0, 0);
    EXPECT_EQ(ExpiryFlags & EXPIRY_ALARM, EXPIRY_ALARM);

    ExpiryFlags = 0;
    AlarmSecond = 30;
    At(10, 31, 0);
    EXPECT_EQ(ExpiryFlags & EXPIRY_ALARM, EXPIRY_ALARM);

    ExpiryFlags = 0;
    At(10, 30, 29);
    EXPECT_EQ(ExpiryFlags & EXPIRY_ALARM, 0);
    At(10, 30, 30);
    EXPECT_EQ(ExpiryFlags & EXPIRY_ALARM, EXPIRY_ALARM);
    At(0, 0, 1); // past midnight the bit stays while the alarm is enabled
    EXPECT_EQ(ExpiryFlags & EXPIRY_ALARM, EXPIRY_ALARM);

    AckFlags = EXPIRY_ALARM;
    AlarmEnabled = 0;
    At(0, 0, 2);
    EXPECT_EQ(ExpiryFlags, 0);
    EXPECT_EQ(AckFlags, 0);
}

TEST_F(OnceASecondTest, AlarmFollowsTheSecondZone) {
    SecondZone = 109; // Kathmandu, +5:45
    AlarmHour = 5;
    AlarmMinute = 45;
    AlarmEnabled = 1;
    At(0, 0, 0);
    EXPECT_EQ(ExpiryFlags & EXPIRY_ALARM, EXPIRY_ALARM);
}

TEST_F(OnceASecondTest, TimerExpiryAndItsWithdrawal) {
    TimerRunning = 1;
    TimerRemainingTenths = 0;
    At(1, 0, 0);
    EXPECT_EQ(ExpiryFlags, EXPIRY_TIMER);
    AckFlags = EXPIRY_TIMER;
    TimerRemainingTenths = 10; // LOAD of a non-zero preset
    At(1, 0, 1);
    EXPECT_EQ(ExpiryFlags, 0);
    EXPECT_EQ(AckFlags, 0);
}

TEST(Lamp, LitOnlyForAnUnacknowledgedExpiryInTheLitPhase) {
    struct Row {
        u8 expiry, ack, phase, lit;
    } rows[] = {
        {0, 0, 1, 0}, {1, 0, 1, 1}, {2, 0, 1, 1},
        {3, 0, 0, 0}, {1, 1, 1, 0}, {3, 1, 1, 0}, // any acknowledged bit keeps the lamp dark
        {3, 2, 1, 0},
    };
    for (const Row& r : rows) {
        ExpiryFlags = r.expiry;
        AckFlags = r.ack;
        FlashPhase = r.phase;
        EXPECT_EQ(LampLit(), r.lit) << (int)r.expiry << " " << (int)r.ack << " " << (int)r.phase;
    }
}

} // namespace
