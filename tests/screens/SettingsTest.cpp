// DISP SETUP and CONTRAST, PRESET TIMER and ALARM TIME: rows, edit mode,
// clamps and wraps, exits, hooks and a few drawing facts.
#include "ScreenTest.h"

class DisplaySetupTest : public ScreenTest {
protected:
    void SetUp() override {
        ScreenTest::SetUp();
        Open(DisplaySetupScreen);
    }
};

TEST_F(DisplaySetupTest, RowsMoveOnlyWhileNotEditing) {
    struct Row {
        u8 edit;
        StepRow move;
    };
    const Row rows[] = {
        {0, {0, 1, KEY_CW, 1}},    {0, {3, 1, KEY_CW, 3}},   {0, {3, 1, KEY_RIGHT, 3}},
        {0, {2, 1, KEY_RIGHT, 3}}, {0, {0, 1, KEY_CCW, 0}},  {0, {0, 1, KEY_LEFT, 0}},
        {0, {2, 1, KEY_LEFT, 1}},  {1, {2, 1, KEY_CW, 2}},   {1, {3, 1, KEY_CCW, 3}},
        {1, {1, 1, KEY_CW, 1}},    {1, {0, 1, KEY_LEFT, 0}},
    };
    for (const Row& r : rows) {
        Open(DisplaySetupScreen, (u8)r.move.start, r.edit);
        Pass(r.move.key);
        EXPECT_EQ(r.move.expected, MenuCursor) << "edit " << (int)r.edit << " " << RowName(r.move);
        EXPECT_EQ(r.edit, EditMode);
    }
}

TEST_F(DisplaySetupTest, MenuOnEachRow) {
    Open(DisplaySetupScreen, 0, 1);
    Pass(KEY_MENU);
    EXPECT_EQ(MainMenuScreen, ScreenHandler);
    EXPECT_EQ(1, MenuCursor);
    EXPECT_EQ(0, EditMode);

    Open(DisplaySetupScreen, 1);
    Pass(KEY_MENU);
    EXPECT_EQ(ContrastScreen, ScreenHandler);
    EXPECT_EQ(0, MenuCursor);

    for (u8 row : {u8(2), u8(3)}) {
        Open(DisplaySetupScreen, row);
        Pass(KEY_MENU);
        EXPECT_EQ(1, EditMode);
        Pass(KEY_MENU);
        EXPECT_EQ(0, EditMode);
        EXPECT_EQ(DisplaySetupScreen, ScreenHandler);
        EXPECT_EQ(row, MenuCursor);
    }
}

TEST_F(DisplaySetupTest, EveryTurnOrSoftKeyFlipsTheEditedSetting) {
    for (u8 key : {KEY_CW, KEY_CCW, KEY_LEFT, KEY_RIGHT}) {
        Open(DisplaySetupScreen, 2, 1);
        Backlight = 1;
        Pass(key);
        EXPECT_EQ(0, Backlight) << KeyName(key);
        Pass(key);
        EXPECT_EQ(1, Backlight) << KeyName(key);
        EXPECT_EQ(0, TempUnitF);

        Open(DisplaySetupScreen, 3, 1);
        Pass(key);
        EXPECT_EQ(1, TempUnitF) << KeyName(key);
        Pass(key);
        EXPECT_EQ(0, TempUnitF) << KeyName(key);
        EXPECT_EQ(1, Backlight);
    }
}

// The held minimum and maximum used to keep the old unit's numbers under the
// new unit's sign; the toggle now converts them with the unit.
TEST_F(DisplaySetupTest, TempUnitToggleConvertsMinimumAndMaximum) {
    TempMin = 0;
    TempMax = 100;
    Open(DisplaySetupScreen, 3, 1);
    Pass(KEY_CW);
    EXPECT_EQ(1, TempUnitF);
    EXPECT_EQ(32, TempMin);
    EXPECT_EQ(212, TempMax);
    Pass(KEY_CW);
    EXPECT_EQ(0, TempUnitF);
    EXPECT_EQ(0, TempMin);
    EXPECT_EQ(100, TempMax);
}

TEST_F(DisplaySetupTest, PowerOnPageAndEditHighlight) {
    Render();
    EXPECT_TRUE(FrameMatches([] {
        LcdTitle(" DISP SETUP ");
        LcdTextLargeCentred(57, 8, "*** DONE ***", 0, 1);
        LcdTextLarge(0, 16, "ADJ CONTRAST", 0, 0);
        LcdTextLarge(0, 24, "BACKLIGHT: ", 0, 0);
        LcdTextLarge(88, 24, "ON", 0, 0);
        LcdTextLarge(0, 32, "TEMP UNIT: ", 0, 0);
        LcdTextLarge(88, 32, "|C", 0, 0);
    }));
    // Selected: label and value inverse; editing: the value alone.
    Open(DisplaySetupScreen, 2, 0);
    Render();
    EXPECT_TRUE(Lit(7, 24));
    EXPECT_TRUE(Lit(95, 24));
    EXPECT_FALSE(Lit(104, 24));
    Open(DisplaySetupScreen, 2, 1);
    Render();
    EXPECT_FALSE(Lit(7, 24));
    EXPECT_TRUE(Lit(95, 24));
}

TEST_F(DisplaySetupTest, ContrastStopsAtItsEndsAndCallsItsHookEveryKey) {
    const StepRow rows[] = {
        {57, 1, KEY_CW, 57},  {56, 1, KEY_CW, 57},  {57, 10, KEY_LEFT, 57}, {0, 1, KEY_CCW, 0},
        {1, 1, KEY_RIGHT, 0}, {37, 10, KEY_CW, 38}, {37, 10, KEY_CCW, 36},
    };
    for (const StepRow& r : rows) {
        Open(ContrastScreen);
        Contrast = (u8)r.start;
        KeyStep = r.step;
        HookCalls[HOOK_CONTRAST] = 0;
        Pass(r.key);
        EXPECT_EQ(r.expected, Contrast) << RowName(r);
        EXPECT_EQ(1u, HookCalls[HOOK_CONTRAST]) << RowName(r);
    }
}

TEST_F(DisplaySetupTest, ContrastMenuReturnsToAdjContrastOnce) {
    Open(ContrastScreen);
    Pass(KEY_MENU);
    EXPECT_EQ(DisplaySetupScreen, ScreenHandler);
    EXPECT_EQ(1, MenuCursor);
    EXPECT_EQ(1u, HookCalls[HOOK_SETTINGS_CHANGED]);
    EXPECT_EQ(0u, HookCalls[HOOK_CONTRAST]);
    Pass(6);
    EXPECT_EQ(KEY_NONE, KeyCode);
    EXPECT_EQ(1u, HookCalls[HOOK_SETTINGS_CHANGED]);
}

TEST_F(DisplaySetupTest, ContrastBarAndHints) {
    Open(ContrastScreen);
    struct Row {
        u8 contrast;
        int lastLit;
    };
    const Row rows[] = {{37, 73}, {0, -1}, {57, 113}, {1, 1}};
    for (const Row& r : rows) {
        Contrast = r.contrast;
        Render();
        for (int x = 1; x < 113; x++) {
            EXPECT_EQ(x <= r.lastLit, Lit(x, 20)) << "contrast " << (int)r.contrast << " x " << x;
        }
        EXPECT_TRUE(Lit(0, 20));
        EXPECT_TRUE(Lit(113, 20));
        EXPECT_TRUE(Lit(100, 15));
        EXPECT_TRUE(Lit(100, 25));
        EXPECT_FALSE(Lit(100, 26));
        EXPECT_FALSE(Lit(100, 14));
    }
    EXPECT_TRUE(RowsMatch(40, 63, [] {
        LcdTextLargeCentred(57, 40, "USE { } OR ~", 0, 0);
        LcdTextLargeCentred(57, 48, "TO ADJUST THE", 0, 0);
        LcdTextLargeCentred(57, 56, "CONTRAST", 0, 0);
    }));
}

// --- PRESET TIMER and ALARM TIME -------------------------------------------

class TimeEditorTest : public ScreenTest {};

TEST_F(TimeEditorTest, FieldRulesOfBothEditors) {
    struct Row {
        ScreenRoutine screen;
        u8* field;
        u8 cursor;
        StepRow step;
    };
    const Row rows[] = {
        {TimerPresetScreen, &TimerPresetHours, 0, {99, 1, KEY_CW, 0}},
        {TimerPresetScreen, &TimerPresetHours, 0, {98, 1, KEY_LEFT, 99}},
        {TimerPresetScreen, &TimerPresetHours, 0, {0, 1, KEY_CCW, 99}},
        {TimerPresetScreen, &TimerPresetHours, 0, {95, 10, KEY_CW, 0}},
        {TimerPresetScreen, &TimerPresetHours, 0, {89, 10, KEY_CW, 99}},
        {TimerPresetScreen, &TimerPresetHours, 0, {5, 10, KEY_RIGHT, 99}},
        {TimerPresetScreen, &TimerPresetHours, 0, {10, 10, KEY_CCW, 0}},
        {TimerPresetScreen, &TimerPresetMinutes, 1, {59, 1, KEY_CW, 0}},
        {TimerPresetScreen, &TimerPresetMinutes, 1, {55, 10, KEY_LEFT, 0}},
        {TimerPresetScreen, &TimerPresetMinutes, 1, {49, 10, KEY_CW, 59}},
        {TimerPresetScreen, &TimerPresetSeconds, 2, {0, 1, KEY_CCW, 59}},
        {TimerPresetScreen, &TimerPresetSeconds, 2, {5, 10, KEY_RIGHT, 59}},
        {AlarmTimeScreen, &AlarmHour, 0, {23, 10, KEY_CW, 0}},
        {AlarmTimeScreen, &AlarmHour, 0, {22, 10, KEY_LEFT, 23}},
        {AlarmTimeScreen, &AlarmHour, 0, {0, 10, KEY_CCW, 23}},
        {AlarmTimeScreen, &AlarmHour, 0, {1, 10, KEY_RIGHT, 0}},
        {AlarmTimeScreen, &AlarmMinute, 1, {59, 1, KEY_CW, 0}},
        {AlarmTimeScreen, &AlarmMinute, 1, {0, 1, KEY_CCW, 59}},
        {AlarmTimeScreen, &AlarmSecond, 2, {55, 10, KEY_CW, 0}},
        {AlarmTimeScreen, &AlarmSecond, 2, {10, 10, KEY_RIGHT, 0}},
    };
    for (const Row& r : rows) {
        Open(r.screen, r.cursor);
        *r.field = (u8)r.step.start;
        KeyStep = r.step.step;
        Pass(r.step.key);
        EXPECT_EQ(r.step.expected, *r.field)
            << ScreenRoutineName(r.screen) << " field " << (int)r.cursor << ": " << RowName(r.step);
        EXPECT_EQ(r.cursor, MenuCursor);
        EXPECT_EQ(KEY_NONE, KeyCode);
    }
}

TEST_F(TimeEditorTest, MenuWalksTheFieldsBackToTheEditorsEntry) {
    struct Row {
        ScreenRoutine screen;
        u8 entry;
    };
    for (const Row& r : {Row{TimerPresetScreen, 2}, Row{AlarmTimeScreen, 3}}) {
        Open(r.screen, 0, 1);
        Pass(KEY_MENU);
        EXPECT_EQ(1, MenuCursor);
        Pass(KEY_MENU);
        EXPECT_EQ(2, MenuCursor);
        EXPECT_EQ(r.screen, ScreenHandler);
        Pass(KEY_MENU);
        EXPECT_EQ(MainMenuScreen, ScreenHandler);
        EXPECT_EQ(r.entry, MenuCursor);
        EXPECT_EQ(0, EditMode);
        Open(r.screen, 1);
        Pass(200);
        EXPECT_EQ(KEY_NONE, KeyCode);
        EXPECT_EQ(1, MenuCursor);
        EXPECT_EQ(r.screen, ScreenHandler);
    }
}

TEST_F(TimeEditorTest, PagesShowHintsAndTheSelectedFieldInverse) {
    struct Row {
        ScreenRoutine screen;
        const char* hint;
    };
    for (const Row& r : {Row{TimerPresetScreen, "PRESET TIMER"}, Row{AlarmTimeScreen, "ALARM TIME"}}) {
        Open(r.screen, 1);
        TimerPresetMinutes = AlarmMinute = 7;
        Render();
        EXPECT_TRUE(FrameMatches([&] {
            LcdTextLargeCentred(57, 0, "USE { } OR ~", 0, 0);
            LcdTextLargeCentred(57, 10, "TO ADJUST THE", 0, 0);
            LcdTextLargeCentred(57, 20, r.hint, 0, 0);
            LcdTextLarge(24, 40, "00", 1, 0);
            LcdTextLarge(40, 40, ":", 1, 0);
            LcdTextLarge(48, 40, "07", 1, 1);
            LcdTextLarge(64, 40, ":", 1, 0);
            LcdTextLarge(72, 40, "00", 1, 0);
        })) << r.hint;
        // The inverse minutes cover columns 48 to 63, rows 40 to 55.
        EXPECT_TRUE(Lit(48, 40));
        EXPECT_TRUE(Lit(63, 55));
        EXPECT_FALSE(Lit(47, 40));
    }
}
