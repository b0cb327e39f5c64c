// The home pages: page cycling, the soft keys of each page, acknowledging an
// expiry, and the texts and marks of the header and the pages.
#include <cstdio>

#include "ScreenTest.h"

class HomeScreenTest : public ScreenTest {};

TEST_F(HomeScreenTest, KnobCyclesThePagesWithWrap) {
    struct Row {
        u8 page;
        u8 key;
        u8 expected;
    };
    const Row rows[] = {
        {0, KEY_CW, 1}, {3, KEY_CW, 4}, {4, KEY_CW, 0}, {0, KEY_CCW, 4}, {1, KEY_CCW, 0}, {4, KEY_CCW, 3},
    };
    for (const Row& r : rows) {
        HomePage = r.page;
        Pass(r.key);
        EXPECT_EQ(r.expected, HomePage) << "page " << (int)r.page << " " << KeyName(r.key);
        EXPECT_EQ(HomeScreen, ScreenHandler);
        EXPECT_EQ(KEY_NONE, KeyCode);
    }
}

TEST_F(HomeScreenTest, MenuOpensTheMainMenuOnExitFromEveryPage) {
    for (u8 page = 0; page <= 4; page++) {
        Open(HomeScreen, 3, 1);
        HomePage = page;
        Pass(KEY_MENU);
        EXPECT_EQ(MainMenuScreen, ScreenHandler) << "page " << (int)page;
        EXPECT_EQ(0, MenuCursor);
        EXPECT_EQ(0, EditMode);
        EXPECT_EQ(page, HomePage);
        EXPECT_EQ(KEY_NONE, KeyCode);
    }
}

TEST_F(HomeScreenTest, ZonePageSoftKeysStepTheSecondZoneToTheFarEnd) {
    const StepRow rows[] = {
        {152, 1, KEY_LEFT, 0},  {151, 1, KEY_LEFT, 152},  {0, 1, KEY_RIGHT, 152}, {1, 1, KEY_RIGHT, 0},
        {145, 10, KEY_LEFT, 0}, {142, 10, KEY_LEFT, 152}, {150, 10, KEY_LEFT, 0}, {9, 10, KEY_RIGHT, 152},
        {10, 10, KEY_RIGHT, 0}, {5, 10, KEY_RIGHT, 152},
    };
    for (const StepRow& r : rows) {
        SecondZone = (u8)r.start;
        KeyStep = r.step;
        HookCalls[HOOK_SETTINGS_CHANGED] = 0;
        Pass(r.key);
        EXPECT_EQ(r.expected, SecondZone) << RowName(r);
        EXPECT_EQ(1u, HookCalls[HOOK_SETTINGS_CHANGED]) << RowName(r);
    }
}

TEST_F(HomeScreenTest, SoftKeysOfStopwatchTimerAlarmAndOatPages) {
    HomePage = 1;
    Pass(KEY_LEFT);
    EXPECT_EQ(1, StopwatchRunning);
    StopwatchTenths = 1234;
    Pass(KEY_RIGHT); // ZERO keeps it running
    EXPECT_EQ(0u, StopwatchTenths);
    EXPECT_EQ(1, StopwatchRunning);
    Pass(KEY_LEFT);
    EXPECT_EQ(0, StopwatchRunning);

    HomePage = 2;
    TimerPresetHours = 99;
    TimerPresetMinutes = 59;
    TimerPresetSeconds = 59;
    Pass(KEY_LEFT);
    EXPECT_EQ(1, TimerRunning);
    Pass(KEY_RIGHT); // LOAD while running keeps it running
    EXPECT_EQ(3599990u, TimerRemainingTenths);
    EXPECT_EQ(1, TimerRunning);
    Pass(KEY_LEFT);
    EXPECT_EQ(0, TimerRunning);

    HomePage = 3;
    Pass(KEY_LEFT);
    EXPECT_EQ(1, AlarmEnabled);
    Pass(KEY_RIGHT);
    EXPECT_EQ(0, AlarmEnabled);

    HomePage = 4;
    TempDisplay = 7;
    TempMin = -30;
    TempMax = 40;
    Pass(KEY_LEFT);
    Pass(KEY_RIGHT);
    EXPECT_EQ(2u, HookCalls[HOOK_MINMAX_RESET]);
    EXPECT_EQ(7, TempMin);
    EXPECT_EQ(7, TempMax);
    EXPECT_EQ(0u, HookCalls[HOOK_SETTINGS_CHANGED]);
}

TEST_F(HomeScreenTest, FirstKeyOnlyAcknowledgesAPendingExpiry) {
    struct Row {
        u8 expiry;
        u8 ack;
        u8 key;
        u8 ackAfter;
        bool acts;
    };
    const Row rows[] = {
        {EXPIRY_TIMER, 0, KEY_LEFT, EXPIRY_TIMER, false},
        {EXPIRY_ALARM, 0, KEY_LEFT, EXPIRY_ALARM, false},
        {EXPIRY_TIMER | EXPIRY_ALARM, 0, KEY_LEFT, EXPIRY_TIMER | EXPIRY_ALARM, false},
        {EXPIRY_TIMER | EXPIRY_ALARM, EXPIRY_TIMER, KEY_LEFT, EXPIRY_TIMER | EXPIRY_ALARM, false},
        {EXPIRY_TIMER, EXPIRY_TIMER, KEY_LEFT, EXPIRY_TIMER, true},
        {EXPIRY_TIMER, 0, KEY_MENU, EXPIRY_TIMER, false},
        {EXPIRY_ALARM, 0, KEY_CW, EXPIRY_ALARM, false},
        {0, 0, KEY_LEFT, 0, true},
    };
    for (const Row& r : rows) {
        Open(HomeScreen);
        HomePage = 2;
        TimerRunning = 1;
        TimerRemainingTenths = 0;
        ExpiryFlags = r.expiry;
        AckFlags = r.ack;
        Pass(r.key);
        std::string name =
            "expiry " + std::to_string(r.expiry) + " ack " + std::to_string(r.ack) + " " + KeyName(r.key);
        EXPECT_EQ(r.ackAfter, AckFlags) << name;
        EXPECT_EQ(KEY_NONE, KeyCode) << name;
        bool acted = TimerRunning == 0 || ScreenHandler != HomeScreen || HomePage != 2;
        EXPECT_EQ(r.acts, acted) << name;
    }
}

TEST_F(HomeScreenTest, KeyCodeAboveFiveIsConsumedWithoutEffect) {
    for (u8 page = 0; page <= 4; page++) {
        for (u8 key : {u8(6), u8(255)}) {
            HomePage = page;
            Pass(key);
            EXPECT_EQ(KEY_NONE, KeyCode);
            EXPECT_EQ(page, HomePage);
            EXPECT_EQ(HomeScreen, ScreenHandler);
            EXPECT_EQ(0, StopwatchRunning + TimerRunning + AlarmEnabled);
            EXPECT_EQ(ZONE_UTC_ZULU, SecondZone);
        }
    }
    EXPECT_EQ(0u, HookCalls[HOOK_MINMAX_RESET] + HookCalls[HOOK_SETTINGS_CHANGED]);
}

// --- Drawing ---------------------------------------------------------------

TEST_F(HomeScreenTest, ZonePageShowsSecondZoneTimeAndLabel) {
    SecondZone = 44; // "GMT"
    SecondZoneTime.Hour = 7;
    SecondZoneTime.Minute = 5;
    SecondZoneTime.Second = 9;
    MainZoneTime.Hour = 23;
    MainZoneTime.Minute = 59;
    MainZoneTime.Second = 0;
    TempDisplay = 21;
    Render();
    EXPECT_TRUE(RowsMatch(0, 7, [] { LcdTextLargeCentred(57, 0, "UTC Zulu", 0, 0); }));
    EXPECT_TRUE(BoxMatches(48, 8, 113, 27, [] { LcdTextLargeCentred(82, 10, "23:59:00", 1, 0); }));
    EXPECT_TRUE(BoxMatches(0, 8, 47, 24, [] { LcdTextLargeCentred(20, 13, "+21|C", 0, 0); }));
    EXPECT_TRUE(RowsMatch(31, 38, [] { LcdTextLargeCentred(57, 31, "GMT", 0, 0); }));
    EXPECT_TRUE(RowsMatch(40, 55, [] { LcdTextLargeCentred(57, 40, "07:05:09", 1, 0); }));
    EXPECT_TRUE(RowsMatch(57, 63, [] { LcdTextLargeCentred(57, 57, "+ TimeZone -", 0, 0); }));
}

TEST_F(HomeScreenTest, OatCornerReadoutAtTheRangeBoundaries) {
    struct Row {
        u8 fahrenheit;
        s32 temp;
        const char* line1;
        const char* line2;
    };
    const Row rows[] = {
        {0, -99, "-99|C", nullptr},  {0, -100, "UNDER", "RANGE"}, {0, 99, "+99|C", nullptr},
        {0, 100, "OVER", "RANGE"},   {0, 0, "+0|C", nullptr},     {1, -148, "-148|F", nullptr},
        {1, -149, "UNDER", "RANGE"}, {1, 212, "+212|F", nullptr}, {1, 213, "OVER", "RANGE"},
    };
    for (const Row& r : rows) {
        TempUnitF = r.fahrenheit;
        TempDisplay = r.temp;
        Render();
        u8 centre = r.fahrenheit ? 23 : 20;
        EXPECT_TRUE(BoxMatches(0, 8, 47, 24,
                               [&] {
                                   if (r.line2 == nullptr) {
                                       LcdTextLargeCentred(centre, 13, r.line1, 0, 0);
                                   } else {
                                       LcdTextLargeCentred(centre, 9, r.line1, 0, 0);
                                       LcdTextLargeCentred(centre, 17, r.line2, 0, 0);
                                   }
                               }))
            << r.temp << (r.fahrenheit ? " F" : " C");
    }
}

TEST_F(HomeScreenTest, HeaderMarksShowAndFlashAfterExpiry) {
    struct Row {
        u8 running;
        u8 expired;
        u8 phase;
        u8 acked;
        bool shown;
    };
    const Row rows[] = {
        {0, 0, 1, 0, false}, {1, 0, 0, 0, true},  {1, 1, 1, 0, true},
        {1, 1, 0, 0, false}, {1, 1, 0, 1, false}, {1, 1, 1, 1, true},
    };
    for (const Row& r : rows) {
        HomePage = 1;
        TimerRunning = r.running;
        AlarmEnabled = r.running;
        StopwatchRunning = r.running;
        ExpiryFlags = r.expired ? EXPIRY_TIMER | EXPIRY_ALARM : 0;
        AckFlags = r.acked ? EXPIRY_TIMER | EXPIRY_ALARM : 0;
        FlashPhase = r.phase;
        Render();
        bool shown = r.shown;
        auto marks = [&] {
            if (r.running) LcdTextLarge(0, 25, "S", 0, 0);
            if (shown) {
                LcdTextLarge(0, 35, "T", 0, 0);
                LcdTextLarge(0, 45, "A", 0, 0);
            }
        };
        EXPECT_TRUE(BoxMatches(0, 25, 7, 52, marks))
            << "running " << (int)r.running << " expired " << (int)r.expired << " phase " << (int)r.phase
            << " acked " << (int)r.acked;
    }
}

TEST_F(HomeScreenTest, StopwatchShowsHoursModulo256AndTenths) {
    struct Row {
        u32 tenths;
        const char* time;
        const char* tenth;
    };
    const Row rows[] = {
        {0, "00:00:00", "0"},
        {9216000, "00:00:00", "0"},  // 256 hours
        {12345678, "86:56:07", "8"}, // 342 h 56 min 7.8 s
        {35999, "00:59:59", "9"},
    };
    HomePage = 1;
    for (const Row& r : rows) {
        StopwatchTenths = r.tenths;
        Render();
        EXPECT_TRUE(BoxMatches(8, 40, 113, 55, [&] {
            LcdTextLargeCentred(57, 40, r.time, 1, 0);
            LcdTextLarge(90, 40, r.tenth, 0, 0);
        })) << r.tenths;
    }
    EXPECT_TRUE(RowsMatch(31, 38, [] { LcdTextLargeCentred(57, 31, "STOPWATCH", 0, 0); }));
    EXPECT_TRUE(RowsMatch(57, 63, [] {
        LcdTextLargeCentred(22, 57, "START", 0, 0);
        LcdTextLarge(80, 57, "ZERO", 0, 0);
    }));
}

TEST_F(HomeScreenTest, ExpiredRunningTimerFlashesItsTime) {
    HomePage = 2;
    TimerRunning = 1;
    TimerRemainingTenths = 0;
    ExpiryFlags = EXPIRY_TIMER;
    FlashPhase = 0;
    Render();
    EXPECT_TRUE(BoxMatches(8, 40, 113, 55, [] {}));
    EXPECT_TRUE(RowsMatch(57, 63, [] {
        LcdTextLargeCentred(22, 57, "STOP", 0, 0);
        LcdTextLarge(80, 57, "LOAD", 0, 0);
    }));
    FlashPhase = 1;
    Render();
    EXPECT_TRUE(BoxMatches(8, 40, 113, 55, [] {
        LcdTextLargeCentred(57, 40, "00:00:00", 1, 0);
        LcdTextLarge(90, 40, "0", 0, 0);
    }));
}

TEST_F(HomeScreenTest, AlarmPageShowsTimeAndState) {
    HomePage = 3;
    AlarmHour = 10;
    AlarmMinute = 30;
    Render();
    EXPECT_TRUE(RowsMatch(31, 38, [] { LcdTextLargeCentred(57, 31, "ALARM", 0, 0); }));
    EXPECT_TRUE(BoxMatches(8, 40, 113, 55, [] { LcdTextLargeCentred(57, 40, "10:30:00", 1, 0); }));
    EXPECT_TRUE(RowsMatch(57, 63, [] { LcdTextLargeCentred(57, 57, "Alarm Disabled", 0, 0); }));
    AlarmEnabled = 1;
    ExpiryFlags = EXPIRY_ALARM;
    FlashPhase = 0;
    Render();
    EXPECT_TRUE(BoxMatches(8, 40, 113, 55, [] {}));
    EXPECT_TRUE(RowsMatch(57, 63, [] { LcdTextLargeCentred(57, 57, "Alarm Enabled", 0, 0); }));
}

TEST_F(HomeScreenTest, OatPageReadoutAndCornerMarks) {
    HomePage = 4;
    MainZoneTime.Hour = 12;
    TempDisplay = 5;
    TempMin = -273; // held from a sensor count of 0
    TempMax = 30;
    Render();
    // The header time moves to the centre and the corner readout goes away.
    EXPECT_TRUE(RowsMatch(8, 27, [] { LcdTextLargeCentred(57, 10, "12:00:00", 1, 0); }));
    EXPECT_TRUE(RowsMatch(40, 55, [] {
        LcdTextLarge(66, 40, "-273|C", 0, 0);
        LcdTextLarge(66, 48, "+30|C", 0, 0);
        LcdTextLargeCentred(35, 40, "+5|C", 1, 0);
    }));
    const int lit[][2] = {{20, 60}, {30, 60}, {30, 61}, {20, 63}, {21, 62},
                          {84, 60}, {94, 61}, {93, 63}, {94, 62}};
    for (const auto& p : lit) EXPECT_TRUE(Lit(p[0], p[1])) << p[0] << "," << p[1];
    const int dark[][2] = {{19, 60}, {31, 60}, {22, 62}, {83, 61}, {95, 60}, {92, 63}};
    for (const auto& p : dark) EXPECT_FALSE(Lit(p[0], p[1])) << p[0] << "," << p[1];

    struct Row {
        u8 fahrenheit;
        s32 temp;
        const char* text;
    };
    const Row rows[] = {
        {0, -100, "UNDERRANGE"}, {0, 100, "OVERRANGE"}, {1, -149, "UNDERRANGE"}, {1, 213, "OVERRANGE"}};
    for (const Row& r : rows) {
        TempUnitF = r.fahrenheit;
        TempDisplay = r.temp;
        Render();
        EXPECT_TRUE(RowsMatch(40, 55, [&] { LcdTextLargeCentred(57, 40, r.text, 1, 0); })) << r.temp;
    }
}
