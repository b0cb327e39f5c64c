// TIME SETUP and SET UTC TIME: the submenu's rows and exits, the field rules
// of the UTC editor, and the confirmed time surviving the next clock read.
#include "ScreenTest.h"

// A host clock that stands still, so that the instrument's UTC is known.
static const s64 FIXED_NOW = 1700000000; // 2023-11-14 22:13:20 UTC
static u8 FixedNow(void*, s64* seconds) {
    *seconds = FIXED_NOW;
    return 1;
}
static const HostClock FixedClock = {nullptr, FixedNow, StdClockBreakDown};

class TimeSetupTest : public ScreenTest {
protected:
    void SetUp() override {
        ScreenTest::SetUp();
        HostAttach(nullptr, &FixedClock);
        Open(TimeSetupScreen);
    }
    void TearDown() override { HostAttach(nullptr, nullptr); }
};

TEST_F(TimeSetupTest, RowsMoveWithoutWrap) {
    const StepRow rows[] = {
        {0, 1, KEY_CCW, 0}, {0, 1, KEY_LEFT, 0},  {0, 1, KEY_CW, 1},  {2, 1, KEY_RIGHT, 3},
        {3, 1, KEY_CW, 3},  {3, 1, KEY_RIGHT, 3}, {3, 1, KEY_CCW, 2}, {1, 1, KEY_LEFT, 0},
    };
    for (const StepRow& r : rows) {
        MenuCursor = (u8)r.start;
        Pass(r.key);
        EXPECT_EQ(r.expected, MenuCursor) << RowName(r);
        EXPECT_EQ(TimeSetupScreen, ScreenHandler);
    }
}

TEST_F(TimeSetupTest, MenuOpensTheRowsScreen) {
    struct Row {
        u8 row;
        ScreenRoutine screen;
        u8 cursor;
    };
    const Row rows[] = {
        {0, MainMenuScreen, 4}, {1, SetUtcTimeScreen, 0}, {2, MainZoneScreen, 0}, {3, LocalOffsetScreen, 0}};
    for (const Row& r : rows) {
        Open(TimeSetupScreen, r.row, 1);
        Pass(KEY_MENU);
        EXPECT_EQ(r.screen, ScreenHandler) << "row " << (int)r.row;
        EXPECT_EQ(r.cursor, MenuCursor) << "row " << (int)r.row;
        EXPECT_EQ(0, EditMode);
    }
}

TEST_F(TimeSetupTest, PageShowsRowsWithTheSelectedOneInverse) {
    MenuCursor = 2;
    Render();
    EXPECT_TRUE(FrameMatches([] {
        LcdTitle(" TIME SETUP ");
        LcdTextLargeCentred(57, 8, "*** DONE ***", 0, 0);
        LcdTextLarge(0, 16, "SET UTC TIME", 0, 0);
        LcdTextLarge(0, 24, "MAIN TIMEZONE", 0, 1);
        LcdTextLarge(0, 32, "LOCAL OFFSETS", 0, 0);
    }));
    // The inverse bar of the selected row spans its 13 cells and no more.
    EXPECT_TRUE(Lit(103, 24));
    EXPECT_FALSE(Lit(104, 24));
}

TEST_F(TimeSetupTest, OpeningSetUtcTimeLoadsTheFieldsFromUtc) {
    UtcTime.Year = 126;
    UtcTime.Month = 0;
    UtcTime.Day = 7;
    UtcTime.Hour = 9;
    UtcTime.Minute = 5;
    UtcTime.Second = 3;
    MenuCursor = 1;
    Pass(KEY_MENU);
    EXPECT_EQ(2026u, EditYear);
    EXPECT_EQ(1, EditMonth);
    EXPECT_EQ(7, EditDay);
    Render();
    EXPECT_TRUE(FrameMatches([] {
        LcdTitle(" SET UTC TIME ");
        LcdTextLarge(15, 20, "2026", 1, 1);
        LcdTextLarge(46, 20, "/", 1, 0);
        LcdTextLarge(55, 20, "01", 1, 0);
        LcdTextLarge(74, 20, "/", 1, 0);
        LcdTextLarge(83, 20, "07", 1, 0);
        LcdTextLarge(24, 40, "09", 1, 0);
        LcdTextLarge(40, 40, ":", 1, 0);
        LcdTextLarge(48, 40, "05", 1, 0);
        LcdTextLarge(64, 40, ":", 1, 0);
        LcdTextLarge(72, 40, "03", 1, 0);
    }));
    Open(TimeSetupScreen, 1);
    UtcTime.Month = 11;
    Pass(KEY_MENU);
    EXPECT_EQ(12, EditMonth);
}

TEST_F(TimeSetupTest, FieldRulesWrapToTheOppositeEnd) {
    struct Row {
        u8 field;
        StepRow step;
    };
    const Row rows[] = {
        {0, {2100, 1, KEY_CW, 1970}},    {0, {2099, 1, KEY_LEFT, 2100}}, {0, {1970, 1, KEY_CCW, 2100}},
        {0, {1971, 1, KEY_RIGHT, 1970}}, {0, {2095, 10, KEY_CW, 1970}},  {0, {2090, 10, KEY_CW, 2100}},
        {0, {1975, 10, KEY_CCW, 2100}},  {0, {1980, 10, KEY_CCW, 1970}}, {1, {12, 10, KEY_CW, 1}},
        {1, {11, 10, KEY_LEFT, 12}},     {1, {1, 10, KEY_CCW, 12}},      {1, {2, 10, KEY_RIGHT, 1}},
        {2, {31, 10, KEY_CW, 1}},        {2, {30, 10, KEY_LEFT, 31}},    {2, {1, 10, KEY_CCW, 31}},
        {3, {23, 10, KEY_CW, 0}},        {3, {22, 10, KEY_CW, 23}},      {3, {0, 10, KEY_CCW, 23}},
        {3, {1, 10, KEY_RIGHT, 0}},      {4, {59, 1, KEY_CW, 0}},        {4, {55, 10, KEY_CW, 0}},
        {4, {49, 10, KEY_LEFT, 59}},     {4, {0, 1, KEY_CCW, 59}},       {4, {5, 10, KEY_CCW, 59}},
        {4, {10, 10, KEY_RIGHT, 0}},     {5, {59, 1, KEY_LEFT, 0}},      {5, {55, 10, KEY_CW, 0}},
        {5, {0, 1, KEY_RIGHT, 59}},      {5, {5, 10, KEY_CCW, 59}},
    };
    for (const Row& r : rows) {
        Open(SetUtcTimeScreen, r.field);
        EditYear = 2000;
        EditMonth = EditDay = 6;
        EditHour = EditMinute = EditSecond = 6;
        u32* year = &EditYear;
        u8* fields[] = {nullptr, &EditMonth, &EditDay, &EditHour, &EditMinute, &EditSecond};
        if (r.field == 0)
            *year = (u32)r.step.start;
        else
            *fields[r.field] = (u8)r.step.start;
        KeyStep = r.step.step;
        Pass(r.step.key);
        int now = r.field == 0 ? (int)*year : *fields[r.field];
        EXPECT_EQ(r.step.expected, now) << "field " << (int)r.field << ": " << RowName(r.step);
        EXPECT_EQ(r.field, MenuCursor);
    }
}

TEST_F(TimeSetupTest, MenuWalksTheFieldsAndConfirmWritesUtc) {
    Open(SetUtcTimeScreen);
    EditYear = 2031;
    EditMonth = 2;
    EditDay = 29;
    EditHour = 13;
    EditMinute = 14;
    EditSecond = 15;
    for (u8 field = 1; field <= 5; field++) {
        Pass(KEY_MENU);
        EXPECT_EQ(field, MenuCursor);
        EXPECT_EQ(SetUtcTimeScreen, ScreenHandler);
    }
    EditMode = 1;
    Pass(KEY_MENU);
    EXPECT_EQ(TimeSetupScreen, ScreenHandler);
    EXPECT_EQ(1, MenuCursor);
    EXPECT_EQ(0, EditMode);
    EXPECT_EQ(131u, UtcTime.Year);
    EXPECT_EQ(1, UtcTime.Month);
    EXPECT_EQ(29, UtcTime.Day);
    EXPECT_EQ(13, UtcTime.Hour);
    EXPECT_EQ(14, UtcTime.Minute);
    EXPECT_EQ(15, UtcTime.Second);
}

// The once-a-second block reads the clock again; before the confirm moved
// the instrument's clock, that read threw the confirmed time away.
TEST_F(TimeSetupTest, ConfirmedTimeSurvivesTheNextClockRead) {
    Open(SetUtcTimeScreen, 5);
    EditYear = 2030;
    EditMonth = 6;
    EditDay = 15;
    EditHour = 8;
    EditMinute = 30;
    EditSecond = 0;
    Pass(KEY_MENU);
    TimeFields read = {};
    ReadUtc(&read);
    EXPECT_EQ(130u, read.Year);
    EXPECT_EQ(5, read.Month);
    EXPECT_EQ(15, read.Day);
    EXPECT_EQ(8, read.Hour);
    EXPECT_EQ(30, read.Minute);
    EXPECT_EQ(0, read.Second);
}

TEST_F(TimeSetupTest, KeyCodeAboveFiveChangesNothing) {
    for (ScreenRoutine screen : {TimeSetupScreen, SetUtcTimeScreen}) {
        for (u8 cursor : {u8(0), u8(3)}) {
            Open(screen, cursor);
            EditYear = 2000;
            EditHour = 12;
            Pass(6);
            EXPECT_EQ(KEY_NONE, KeyCode);
            EXPECT_EQ(screen, ScreenHandler);
            EXPECT_EQ(cursor, MenuCursor);
            EXPECT_EQ(2000u, EditYear);
            EXPECT_EQ(12, EditHour);
        }
    }
}
