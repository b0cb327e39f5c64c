// The main menu: moving through the entries with and without the service
// entries, opening each entry, and the picture of an entry; the screen names.
#include <cstring>

#include "ScreenTest.h"

class MainMenuTest : public ScreenTest {
protected:
    void SetUp() override {
        ScreenTest::SetUp();
        Open(MainMenuScreen);
    }
};

TEST_F(MainMenuTest, KnobAndSoftKeysMoveWithoutWrap) {
    struct Row {
        u8 calibrate;
        u8 cursor;
        u8 key;
        u8 expected;
    };
    const Row rows[] = {
        {0, 3, KEY_CW, 4},
        {0, 4, KEY_CW, 4},
        {0, 4, KEY_RIGHT, 4},
        {1, 4, KEY_CW, 5},
        {1, 5, KEY_RIGHT, 6},
        {1, 6, KEY_CW, 6},
        {0, 0, KEY_CCW, 0},
        {0, 0, KEY_LEFT, 0},
        {0, 2, KEY_LEFT, 1},
        {0, 2, KEY_RIGHT, 3},
        // Check box cleared while a service entry is shown.
        {0, 6, KEY_CW, 6},
        {0, 6, KEY_CCW, 5},
        {0, 5, KEY_CW, 5},
        {0, 5, KEY_LEFT, 4},
    };
    for (const Row& r : rows) {
        CalibrateEnabled = r.calibrate;
        MenuCursor = r.cursor;
        Pass(r.key);
        EXPECT_EQ(r.expected, MenuCursor)
            << "calibrate " << (int)r.calibrate << " entry " << (int)r.cursor << " " << KeyName(r.key);
        EXPECT_EQ(MainMenuScreen, ScreenHandler);
        EXPECT_EQ(KEY_NONE, KeyCode);
    }
}

TEST_F(MainMenuTest, MenuOpensTheEntryShownOnItsFirstLine) {
    const ScreenRoutine screens[] = {HomeScreen,      DisplaySetupScreen, TimerPresetScreen, AlarmTimeScreen,
                                     TimeSetupScreen, AdcValuesScreen,    CalibrateScreen};
    for (u8 calibrate = 0; calibrate <= 1; calibrate++) {
        for (u8 entry = 0; entry <= 6; entry++) {
            Open(MainMenuScreen, entry, 1);
            CalibrateEnabled = calibrate;
            HookCalls[HOOK_SETTINGS_CHANGED] = 0;
            HomePage = 3;
            Pass(KEY_MENU);
            EXPECT_EQ(screens[entry], ScreenHandler) << "entry " << (int)entry;
            EXPECT_EQ(0, MenuCursor);
            EXPECT_EQ(0, EditMode);
            EXPECT_EQ(3, HomePage);
            EXPECT_EQ(entry == 0 ? 1u : 0u, HookCalls[HOOK_SETTINGS_CHANGED]) << "entry " << (int)entry;
        }
    }
}

TEST_F(MainMenuTest, UnlistedKeyIsConsumed) {
    MenuCursor = 2;
    Pass(7);
    EXPECT_EQ(KEY_NONE, KeyCode);
    EXPECT_EQ(2, MenuCursor);
    EXPECT_EQ(MainMenuScreen, ScreenHandler);
}

TEST_F(MainMenuTest, EntryPictureNameAndScrollIndicator) {
    struct Row {
        u8 calibrate;
        u8 entry;
        u8 icon;
        const char* first;
        const char* second;
    };
    const Row rows[] = {
        {0, 0, 6, "EXIT", "MENU"},       {0, 4, 0, "TIME", "SETUP"},      {1, 5, 3, "ADC", "VALUES"},
        {1, 6, 2, "CALIBRATE", nullptr}, {0, 6, 2, "CALIBRATE", nullptr},
    };
    for (const Row& r : rows) {
        CalibrateEnabled = r.calibrate;
        MenuCursor = r.entry;
        Render();
        EXPECT_TRUE(FrameMatches([&] {
            LcdTitle(" MAIN MENU ");
            LcdScrollBar(r.entry, r.calibrate ? 7 : 5);
            if (r.second != nullptr) {
                LcdTextLargeCentred(73, 18, r.first, 1, 0);
                LcdTextLargeCentred(73, 36, r.second, 1, 0);
            } else {
                LcdTextLargeCentred(73, 26, r.first, 1, 0);
            }
            LcdIcon(r.icon);
        })) << r.first
            << " calibrate " << (int)r.calibrate;
        // The title stands alone in rows 0 to 7.
        EXPECT_TRUE(RowsMatch(0, 7, [] { LcdTitle(" MAIN MENU "); }));
    }
}

TEST(ScreenNames, EveryScreenRoutineHasItsName) {
    struct Row {
        ScreenRoutine routine;
        const char* name;
    };
    const Row rows[] = {
        {HomeScreen, "HomeScreen"},
        {MainMenuScreen, "MainMenuScreen"},
        {TimeSetupScreen, "TimeSetupScreen"},
        {SetUtcTimeScreen, "SetUtcTimeScreen"},
        {DisplaySetupScreen, "DisplaySetupScreen"},
        {ContrastScreen, "ContrastScreen"},
        {TimerPresetScreen, "TimerPresetScreen"},
        {AlarmTimeScreen, "AlarmTimeScreen"},
        {AdcValuesScreen, "AdcValuesScreen"},
        {CalibrateScreen, "CalibrateScreen"},
        {MainZoneScreen, "MainZoneScreen"},
        {LocalOffsetScreen, "LocalOffsetScreen"},
    };
    for (const Row& r : rows) {
        ASSERT_NE(nullptr, ScreenRoutineName(r.routine)) << r.name;
        EXPECT_STREQ(r.name, ScreenRoutineName(r.routine));
        EXPECT_EQ(r.routine, ScreenRoutineByName(r.name));
    }
}

TEST(ScreenNames, PageRoutinesAndUnknownNamesHaveNone) {
    for (ScreenRoutine page : {HomeHeader, ZonePage, StopwatchPage, TimerPage, AlarmPage, OatPage}) {
        EXPECT_EQ(nullptr, ScreenRoutineName(page));
    }
    EXPECT_EQ(nullptr, ScreenRoutineName(nullptr));
    EXPECT_EQ(nullptr, ScreenRoutineByName("ZonePage"));
    EXPECT_EQ(nullptr, ScreenRoutineByName("homescreen"));
    EXPECT_EQ(nullptr, ScreenRoutineByName(""));
    EXPECT_EQ(nullptr, ScreenRoutineByName(nullptr));
}

// The way back from every screen, from a put-back state that is still
// editing: the parent, on the row that opened the screen. Leaving writes
// EditMode 0, except from CONTRAST, ADC VALUES and CALIBRATE, which leave it
// alone.
class ScreenWayBack : public ScreenTest {};

TEST_F(ScreenWayBack, EveryScreenReturnsToTheRowThatOpenedIt) {
    struct Row {
        ScreenRoutine screen;
        u8 cursor; // where MENU leaves the screen
        ScreenRoutine parent;
        u8 row;
        u8 editMode;
    } rows[] = {
        {MainMenuScreen, 0, HomeScreen, 0, 0},         {TimeSetupScreen, 0, MainMenuScreen, 4, 0},
        {SetUtcTimeScreen, 5, TimeSetupScreen, 1, 0},  {DisplaySetupScreen, 0, MainMenuScreen, 1, 0},
        {ContrastScreen, 0, DisplaySetupScreen, 1, 1}, {TimerPresetScreen, 2, MainMenuScreen, 2, 0},
        {AlarmTimeScreen, 2, MainMenuScreen, 3, 0},    {AdcValuesScreen, 0, MainMenuScreen, 5, 1},
        {CalibrateScreen, 0, MainMenuScreen, 6, 1},    {MainZoneScreen, 0, TimeSetupScreen, 2, 0},
        {LocalOffsetScreen, 0, TimeSetupScreen, 3, 0},
    };
    for (const Row& r : rows) {
        Open(r.screen, r.cursor, 1);
        EditYear = 2026;
        EditMonth = EditDay = 1;
        Pass(KEY_MENU);
        const char* name = ScreenRoutineName(r.screen);
        EXPECT_EQ(ScreenHandler, r.parent) << name;
        EXPECT_EQ(MenuCursor, r.row) << name;
        EXPECT_EQ(EditMode, r.editMode) << name;
    }
}
