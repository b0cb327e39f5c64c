// ADC VALUES and CALIBRATE; MAIN TIMEZONE and LOCAL OFFSET: exits, edit
// mode, clamps and wraps, and the texts they show.
#include <cstring>

#include "ScreenTest.h"

class ServiceTest : public ScreenTest {};

TEST_F(ServiceTest, AdcValuesShowsTheSampleAndOnlyMenuLeaves) {
    Open(AdcValuesScreen);
    SensorSample = 2048;
    Render();
    EXPECT_TRUE(FrameMatches([] {
        LcdTitle(" ADC VALUES ");
        LcdTextLargeCentred(57, 8, "*** DONE ***", 0, 1);
        LcdTextLarge(0, 16, "OAT: 2048", 0, 0);
    }));
    for (u8 key : {KEY_CW, KEY_CCW, KEY_LEFT, KEY_RIGHT, u8(6)}) {
        Pass(key);
        EXPECT_EQ(AdcValuesScreen, ScreenHandler) << KeyName(key);
        EXPECT_EQ(0, MenuCursor);
        EXPECT_EQ(KEY_NONE, KeyCode);
    }
    EditMode = 1;
    Pass(KEY_MENU);
    EXPECT_EQ(MainMenuScreen, ScreenHandler);
    EXPECT_EQ(5, MenuCursor);
    EXPECT_EQ(1, EditMode); // not written on the way out
}

TEST_F(ServiceTest, CalibrateWalkthroughAtPowerOnSensorCount) {
    Open(CalibrateScreen);
    UpdateTemperature();
    Render();
    EXPECT_TRUE(FrameMatches([] {
        LcdTitle(" CALIBRATE ");
        LcdTextLargeCentred(57, 8, "*** DONE ***", 0, 1);
        LcdTextLarge(0, 16, "OAT: ", 0, 0);
        LcdTextLarge(40, 16, "+0 -17|C", 0, 0);
    }));
    Pass(KEY_CW);
    EXPECT_EQ(1, MenuCursor);
    Pass(KEY_MENU);
    EXPECT_EQ(1, EditMode);
    Pass(KEY_CW);
    EXPECT_EQ(1, CalibrationOffset);
    UpdateTemperature();
    Render();
    EXPECT_TRUE(RowsMatch(16, 23, [] {
        LcdTextLarge(0, 16, "OAT: ", 0, 0);
        LcdTextLarge(40, 16, "+1 -16|C", 0, 1);
    }));
    Pass(KEY_MENU);
    EXPECT_EQ(0, EditMode);
    Pass(KEY_CCW);
    EXPECT_EQ(0, MenuCursor);
    Pass(KEY_MENU);
    EXPECT_EQ(MainMenuScreen, ScreenHandler);
    EXPECT_EQ(6, MenuCursor);
    EXPECT_EQ(1u, HookCalls[HOOK_SETTINGS_CHANGED]);
}

TEST_F(ServiceTest, CalibrateKeysByEditMode) {
    struct Row {
        u8 edit;
        u8 cursor;
        s8 offset;
        u8 key;
        u8 cursorAfter;
        s8 offsetAfter;
    };
    const Row rows[] = {
        {1, 1, 20, KEY_CW, 1, 20},    {1, 1, 19, KEY_CW, 1, 20},      {1, 1, 19, KEY_LEFT, 1, 20},
        {1, 1, -20, KEY_CCW, 1, -20}, {1, 1, -19, KEY_RIGHT, 1, -20}, {1, 1, 0, KEY_CCW, 1, -1},
        {1, 0, 5, KEY_CW, 0, 5},      {1, 0, 5, KEY_RIGHT, 0, 5},     {0, 0, 5, KEY_CW, 1, 5},
        {0, 0, 5, KEY_RIGHT, 1, 5},   {0, 1, 5, KEY_CCW, 0, 5},       {0, 1, 5, KEY_LEFT, 0, 5},
        {0, 1, 5, u8(6), 1, 5},
    };
    for (const Row& r : rows) {
        Open(CalibrateScreen, r.cursor, r.edit);
        CalibrationOffset = r.offset;
        KeyStep = 10; // the offset moves by 1 all the same
        Pass(r.key);
        std::string name = "edit " + std::to_string(r.edit) + " row " + std::to_string(r.cursor) +
                           " offset " + std::to_string(r.offset) + " " + KeyName(r.key);
        EXPECT_EQ(r.cursorAfter, MenuCursor) << name;
        EXPECT_EQ(r.offsetAfter, CalibrationOffset) << name;
        EXPECT_EQ(r.edit, EditMode) << name;
        EXPECT_EQ(CalibrateScreen, ScreenHandler) << name;
        EXPECT_EQ(KEY_NONE, KeyCode) << name;
    }
    EXPECT_EQ(0u, HookCalls[HOOK_SETTINGS_CHANGED]);
}

// --- MAIN TIMEZONE and LOCAL OFFSET ------------------------------------------

class ZonesTest : public ScreenTest {};

TEST_F(ZonesTest, MainZoneStepsToTheOppositeEnd) {
    const StepRow rows[] = {
        {152, 1, KEY_CW, 0},  {151, 1, KEY_LEFT, 152},  {0, 1, KEY_CCW, 152},  {1, 1, KEY_RIGHT, 0},
        {148, 10, KEY_CW, 0}, {142, 10, KEY_LEFT, 152}, {5, 10, KEY_CCW, 152}, {10, 10, KEY_RIGHT, 0},
    };
    for (const StepRow& r : rows) {
        Open(MainZoneScreen);
        MainZone = (u8)r.start;
        KeyStep = r.step;
        Pass(r.key);
        EXPECT_EQ(r.expected, MainZone) << RowName(r);
        EXPECT_EQ(MainZoneScreen, ScreenHandler);
    }
    MainZone = 17;
    Open(MainZoneScreen, 0, 1);
    Pass(KEY_MENU);
    EXPECT_EQ(TimeSetupScreen, ScreenHandler);
    EXPECT_EQ(2, MenuCursor);
    EXPECT_EQ(0, EditMode);
    EXPECT_EQ(17, MainZone);
}

TEST_F(ZonesTest, MainZonePageShowsNameInverseAndOffset) {
    Open(MainZoneScreen);
    Render();
    EXPECT_TRUE(FrameMatches([] {
        LcdTitle(" MAIN TIMEZONE ");
        LcdTextLargeCentred(57, 13, "UTC Zulu", 0, 1);
        LcdTextLargeCentred(57, 26, "UTC+0:00", 0, 0);
        LcdTextLargeCentred(57, 40, "USE { } OR ~", 0, 0);
        LcdTextLargeCentred(57, 48, "TO CHANGE,MENU", 0, 0);
        LcdTextLargeCentred(57, 56, "TO SELECT", 0, 0);
    }));
    Pass(KEY_CW);
    Render();
    EXPECT_TRUE(RowsMatch(13, 20, [] { LcdTextLargeCentred(57, 13, "GMT", 0, 1); }));
}

TEST_F(ZonesTest, ZoneOffsetTextsAndTheFifteenCharacterName) {
    struct Row {
        s8 hours;
        s8 minutes;
        const char* text;
    };
    const Row rows[] = {{-3, 30, "UTC-3:30"}, {5, 45, "UTC+5:45"}, {-12, 0, "UTC-12:00"}};
    for (const Row& r : rows) {
        int zone = -1;
        for (int z = 0; z < ZONE_COUNT && zone < 0; z++) {
            if (ZoneTable[z].OffsetHours == r.hours && ZoneTable[z].OffsetMinutes == r.minutes) zone = z;
        }
        ASSERT_GE(zone, 0) << r.text;
        Open(MainZoneScreen);
        MainZone = (u8)zone;
        Render();
        EXPECT_TRUE(RowsMatch(26, 33, [&] { LcdTextLargeCentred(57, 26, r.text, 0, 0); })) << r.text;
    }
    // Zone 108 fills its 15-byte record; it shows as exactly those 15
    // characters, starting at column -3.
    char name[TEXT_BUFFER];
    std::memcpy(name, ZoneTable[108].Name, 15);
    name[15] = '\0';
    ASSERT_EQ(15u, std::strlen(name));
    MainZone = 108;
    Render();
    EXPECT_TRUE(RowsMatch(13, 20, [&] { LcdTextLargeCentred(57, 13, name, 0, 1); }));
}

TEST_F(ZonesTest, LocalOffsetWalkthroughAndHighlight) {
    Open(LocalOffsetScreen);
    SecondZone = 44;
    Render();
    EXPECT_TRUE(FrameMatches([] {
        LcdTitle(" LOCAL OFFSET ");
        LcdTextLargeCentred(57, 8, "*** DONE ***", 0, 1);
        LcdTextLarge(0, 16, "HOUR: ", 0, 0);
        LcdTextLarge(48, 16, "+0", 0, 0);
        LcdTextLarge(0, 24, "MINUTE: ", 0, 0);
        LcdTextLarge(64, 24, "+0", 0, 0);
        LcdTextLargeCentred(57, 35, "GMT", 0, 0);
        LcdTextLargeCentred(57, 46, "UTC+0:00", 0, 0);
        LcdTextLarge(0, 56, " PREV ", 0, 1);
        LcdTextLarge(68, 56, " NEXT ", 0, 1);
    }));
    Pass(KEY_CW);
    Render();
    EXPECT_TRUE(RowsMatch(16, 23, [] {
        LcdTextLarge(0, 16, "HOUR: ", 0, 1);
        LcdTextLarge(48, 16, "+0", 0, 1);
    }));
    Pass(KEY_MENU);
    Pass(KEY_CW);
    EXPECT_EQ(1, LocalOffsetHours[44]);
    Render();
    EXPECT_TRUE(RowsMatch(16, 23, [] {
        LcdTextLarge(0, 16, "HOUR: ", 0, 0);
        LcdTextLarge(48, 16, "+1", 0, 1);
    }));
    Pass(KEY_MENU);
    EXPECT_EQ(0, EditMode);
    LocalOffsetMinutes[44] = -59;
    LocalOffsetHours[44] = -12;
    Render();
    EXPECT_TRUE(RowsMatch(16, 31, [] {
        LcdTextLarge(0, 16, "HOUR: ", 0, 1);
        LcdTextLarge(48, 16, "-12", 0, 1);
        LcdTextLarge(0, 24, "MINUTE: ", 0, 0);
        LcdTextLarge(64, 24, "-59", 0, 0);
    }));
    Open(LocalOffsetScreen, 0, 1);
    Pass(KEY_MENU);
    EXPECT_EQ(TimeSetupScreen, ScreenHandler);
    EXPECT_EQ(3, MenuCursor);
    EXPECT_EQ(0, EditMode);
}

TEST_F(ZonesTest, LocalOffsetRowsAndEditing) {
    struct Row {
        u8 edit;
        u8 cursor;
        u8 key;
        u8 cursorAfter;
    };
    const Row rows[] = {
        {0, 0, KEY_CW, 1}, {0, 2, KEY_CW, 2}, {0, 0, KEY_CCW, 0}, {0, 2, KEY_CCW, 1},
        {1, 0, KEY_CW, 0}, {1, 1, KEY_CW, 1}, {0, 1, u8(6), 1},
    };
    for (const Row& r : rows) {
        Open(LocalOffsetScreen, r.cursor, r.edit);
        Pass(r.key);
        EXPECT_EQ(r.cursorAfter, MenuCursor)
            << "edit " << (int)r.edit << " row " << (int)r.cursor << " " << KeyName(r.key);
        EXPECT_EQ(r.edit, EditMode);
        EXPECT_EQ(KEY_NONE, KeyCode);
    }
    for (u8 row : {u8(1), u8(2)}) {
        Open(LocalOffsetScreen, row);
        Pass(KEY_MENU);
        EXPECT_EQ(1, EditMode);
        Pass(KEY_MENU);
        EXPECT_EQ(0, EditMode);
    }
}

TEST_F(ZonesTest, LocalOffsetValuesWrapToTheOppositeEnd) {
    struct Row {
        u8 row;
        StepRow step;
    };
    const Row rows[] = {
        {1, {12, 1, KEY_CW, -12}},   {1, {-12, 1, KEY_CCW, 12}}, {1, {11, 1, KEY_CW, 12}},
        {1, {5, 10, KEY_CW, -12}},   {1, {-5, 10, KEY_CCW, 12}}, {1, {2, 10, KEY_CW, 12}},
        {1, {-2, 10, KEY_CCW, -12}}, {2, {59, 1, KEY_CW, -59}},  {2, {-59, 1, KEY_CCW, 59}},
        {2, {55, 10, KEY_CW, -59}},  {2, {49, 10, KEY_CW, 59}},  {2, {-50, 10, KEY_CCW, 59}},
    };
    for (const Row& r : rows) {
        Open(LocalOffsetScreen, r.row, 1);
        SecondZone = 100;
        s8* v = r.row == 1 ? &LocalOffsetHours[100] : &LocalOffsetMinutes[100];
        *v = (s8)r.step.start;
        KeyStep = r.step.step;
        Pass(r.step.key);
        EXPECT_EQ(r.step.expected, *v) << "row " << (int)r.row << ": " << RowName(r.step);
        EXPECT_EQ(0, LocalOffsetHours[99] + LocalOffsetMinutes[99] + LocalOffsetHours[101]);
    }
}

TEST_F(ZonesTest, PrevAndNextStepTheSecondZoneInBothModes) {
    struct Row {
        u8 edit;
        StepRow step;
    };
    const Row rows[] = {
        {0, {0, 1, KEY_LEFT, 152}},   {1, {152, 1, KEY_RIGHT, 0}}, {1, {5, 10, KEY_LEFT, 152}},
        {0, {148, 10, KEY_RIGHT, 0}}, {0, {10, 10, KEY_LEFT, 0}},  {1, {142, 10, KEY_RIGHT, 152}},
    };
    for (const Row& r : rows) {
        Open(LocalOffsetScreen, 1, r.edit);
        SecondZone = (u8)r.step.start;
        KeyStep = r.step.step;
        Pass(r.step.key);
        EXPECT_EQ(r.step.expected, SecondZone) << "edit " << (int)r.edit << " " << RowName(r.step);
        EXPECT_EQ(1, MenuCursor);
        EXPECT_EQ(r.edit, EditMode);
    }
    // While editing, the next zone's own offset is the one that changes.
    LocalOffsetHours[0] = 3;
    Open(LocalOffsetScreen, 1, 1);
    KeyStep = 1;
    SecondZone = 152;
    Pass(KEY_RIGHT);
    Pass(KEY_CW);
    EXPECT_EQ(4, LocalOffsetHours[0]);
    EXPECT_EQ(0, LocalOffsetHours[152]);
}
