// Both fonts, the text operations and the layout helpers. Expected pixels are
// decoded here from the glyph hex of the font tables as written down for the
// instrument, not read back from LargeFont or SmallFont.
#include "LcdTestSupport.h"

#include <cstring>

static const char* const LARGE_A = "7C7E1311137E7C00";
static const char* const LARGE_B = "7F7F4949497F3600";
static const char* const LARGE_M = "7F7F060C067F7F00";
static const char* const LARGE_I = "00417F7F41000000";
static const char* const LARGE_N = "7F7F060C187F7F00";
static const char* const LARGE_E = "7F7F494949494100";
static const char* const LARGE_U = "3F7F4040407F3F00";
static const char* const SMALL_A = "3F4848483F";
static const char* const SMALL_B = "7F49494936";
static const char* const SMALL_C = "3E41414122";

// --- Font tables -------------------------------------------------------------
struct GlyphCase {
    const char* name;
    int code;
    const char* hex;
    bool large;
};
// The case's name in test listings, stable from build to build.
void PrintTo(const GlyphCase& c, std::ostream* os) { *os << c.name; }

class FontTable : public ::testing::TestWithParam<GlyphCase> {};

TEST_P(FontTable, GlyphBytesMatchTheDrawnShapes) {
    const GlyphCase& c = GetParam();
    std::vector<int> bytes = Hex(c.hex);
    for (size_t k = 0; k < bytes.size(); k++) {
        const int actual = c.large ? LargeFont[(c.code - 32) * 8 + k] : SmallFont[(c.code - 32) * 5 + k];
        EXPECT_EQ(actual, bytes[k]) << "column " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Lcd, FontTable,
                         ::testing::Values(GlyphCase{"large_space", 32, "0000000000000000", true},
                                           GlyphCase{"large_A", 65, LARGE_A, true},
                                           GlyphCase{"large_Q_tail_in_row7", 81, "3E7F414141FFBE00", true},
                                           GlyphCase{"large_Y_uses_column7", 89, "03070C78780C0703", true},
                                           GlyphCase{"large_up_triangle", 123, "2030383C38302000", true},
                                           GlyphCase{"large_degree", 124, "0000060909060000", true},
                                           GlyphCase{"large_down_triangle", 125, "040C1C3C1C0C0400", true},
                                           GlyphCase{"large_turn_symbol", 126, "1C3E6363632A0C0E", true},
                                           GlyphCase{"large_127", 127, "0406020604060200", true},
                                           GlyphCase{"small_space", 32, "0000000000", false},
                                           GlyphCase{"small_A", 65, SMALL_A, false},
                                           GlyphCase{"small_zero", 48, "3E4549513E", false},
                                           GlyphCase{"small_degree", 124, "0030484830", false},
                                           GlyphCase{"small_chevron", 126, "0804020408", false},
                                           GlyphCase{"small_127", 127, "3946404639", false}),
                         [](const ::testing::TestParamInfo<GlyphCase>& i) {
                             return std::string(i.param.name);
                         });

TEST(FontTableShape, LargeColumn7BlankExceptFourCodes) {
    for (int code = 32; code < 128; code++) {
        const bool mayUse = code == 89 || code == 92 || code == 95 || code == 126;
        EXPECT_EQ(LargeFont[(code - 32) * 8 + 7] != 0, mayUse) << "code " << code;
    }
}

TEST(FontTableShape, SmallTopBitAlwaysClear) {
    for (int i = 0; i < 480; i++) {
        EXPECT_EQ(SmallFont[i] & 0x80, 0) << "byte " << i;
    }
}

// --- LcdTextLarge -------------------------------------------------------------
TEST_F(LcdTest, LargeNormalLightsGlyphAndLeavesTheRest) {
    LcdPixel(7, 7, 1); // inside the cell, not a glyph pixel
    LcdPixel(50, 50, 1);
    LcdTextLarge(0, 0, "A", 0, 0);
    EXPECT_EQ(LitPixels(), Union(LargeGlyphPixels(LARGE_A, 0, 0), {{7, 7}, {50, 50}}));
}

TEST_F(LcdTest, LargeInverseOverBlankLightsCellExceptGlyph) {
    LcdTextLarge(0, 0, "A", 0, 1);
    EXPECT_EQ(LitPixels(), Minus(Block(0, 0, 7, 7), LargeGlyphPixels(LARGE_A, 0, 0)));
}

TEST_F(LcdTest, LargeInverseOverLitClearsGlyphOnly) {
    memset(FrameBuffer, 0xFF, sizeof FrameBuffer);
    LcdTextLarge(20, 30, "A", 0, 1);
    EXPECT_EQ(LitPixels(), Minus(Block(0, 0, 113, 63), LargeGlyphPixels(LARGE_A, 20, 30)));
}

TEST_F(LcdTest, LargeDoubleHeightDoublesEveryRow) {
    LcdTextLarge(0, 5, "A", 1, 0);
    PxSet expected;
    for (const Px& p : LargeGlyphPixels(LARGE_A, 0, 0)) {
        expected.insert(Px(p.first, 5 + 2 * p.second));
        expected.insert(Px(p.first, 5 + 2 * p.second + 1));
    }
    EXPECT_EQ(LitPixels(), expected);
    for (const Px& p : expected) {
        EXPECT_TRUE(p.second >= 5 && p.second <= 20);
    }
}

TEST_F(LcdTest, LargeDoubleHeightInverseFillsEightBySixteen) {
    LcdTextLarge(0, 5, " ", 1, 1);
    EXPECT_EQ(LitPixels(), Block(0, 5, 7, 20));
}

struct FlagCase {
    const char* name;
    u8 doubleHeight, inverse;
};
// The case's name in test listings, stable from build to build.
void PrintTo(const FlagCase& c, std::ostream* os) { *os << c.name; }

class LargeFlags : public LcdTest, public ::testing::WithParamInterface<FlagCase> {};

TEST_P(LargeFlags, OnlyOneSwitchesAFlagOn) {
    LcdTextLarge(0, 0, "A", GetParam().doubleHeight, GetParam().inverse);
    EXPECT_EQ(LitPixels(), LargeGlyphPixels(LARGE_A, 0, 0));
}

INSTANTIATE_TEST_SUITE_P(Lcd, LargeFlags,
                         ::testing::Values(FlagCase{"double_2", 2, 0}, FlagCase{"inverse_2", 0, 2},
                                           FlagCase{"both_2", 2, 2}, FlagCase{"both_255", 255, 255}),
                         [](const ::testing::TestParamInfo<FlagCase>& i) {
                             return std::string(i.param.name);
                         });

TEST_F(LcdTest, LargeAdvancesEightPerCharacter) {
    LcdTextLarge(3, 10, "AB", 0, 0);
    EXPECT_EQ(LitPixels(), Union(LargeGlyphPixels(LARGE_A, 3, 10), LargeGlyphPixels(LARGE_B, 11, 10)));
}

TEST_F(LcdTest, LargeBytesOutsideFontDrawAsBlankCell) {
    const char text[] = {(char)200, (char)10, (char)255, 0};
    LcdTextLarge(0, 0, text, 0, 0);
    EXPECT_TRUE(LitPixels().empty());
    LcdTextLarge(0, 8, text, 0, 1);
    EXPECT_EQ(LitPixels(), Block(0, 8, 23, 15));
}

// --- Centring and 8-bit wrap of x ----------------------------------------------
TEST_F(LcdTest, CentredFourteenInverseCharactersSpanColumns1To112) {
    LcdTextLargeCentred(57, 16, "              ", 0, 1);
    EXPECT_EQ(LitPixels(), Block(1, 16, 112, 23));
}

TEST_F(LcdTest, CentredFifteenCharactersStartAt253AndWrap) {
    // 'A' starts at 57 - 60 = 253: its columns 0..2 are dropped and its
    // columns 3..7 land in screen columns 0..4; the next cell starts at 5.
    LcdTextLargeCentred(57, 0, "AB             ", 0, 0);
    PxSet expected = Union(LargeGlyphPixels(LARGE_A, -3, 0), LargeGlyphPixels(LARGE_B, 5, 0));
    EXPECT_EQ(LitPixels(), OnScreen(expected));
}

// --- LcdTextSmall -------------------------------------------------------------
struct SmallCase {
    const char* name;
    u8 invertFrom;
    bool invA, invB, invC;
};
// The case's name in test listings, stable from build to build.
void PrintTo(const SmallCase& c, std::ostream* os) { *os << c.name; }

class SmallInvert : public LcdTest, public ::testing::WithParamInterface<SmallCase> {};

TEST_P(SmallInvert, InvertsFromTheGivenCharacterOn) {
    const SmallCase& c = GetParam();
    LcdTextSmall(0, 10, "ABC", c.invertFrom);
    const char* hex[3] = {SMALL_A, SMALL_B, SMALL_C};
    const bool inv[3] = {c.invA, c.invB, c.invC};
    PxSet expected;
    for (int i = 0; i < 3; i++) {
        PxSet glyph = SmallGlyphPixels(hex[i], 6 * i, 10);
        expected = Union(expected, inv[i] ? Minus(Block(6 * i, 9, 6 * i + 5, 16), glyph) : glyph);
    }
    EXPECT_EQ(LitPixels(), expected);
}

INSTANTIATE_TEST_SUITE_P(Lcd, SmallInvert,
                         ::testing::Values(SmallCase{"from_0_all", 0, true, true, true},
                                           SmallCase{"from_1_B_and_C", 1, false, true, true},
                                           SmallCase{"from_2_C", 2, false, false, true},
                                           SmallCase{"from_3_none", 3, false, false, false},
                                           SmallCase{"from_100_none", 100, false, false, false}),
                         [](const ::testing::TestParamInfo<SmallCase>& i) {
                             return std::string(i.param.name);
                         });

TEST_F(LcdTest, SmallInverseNeverClears) {
    memset(FrameBuffer, 0xFF, sizeof FrameBuffer);
    LcdTextSmall(10, 20, "B", 0);
    EXPECT_EQ(LitPixels(), Block(0, 0, 113, 63));
}

TEST_F(LcdTest, SmallCentredStartsThreePerCharacterLeft) {
    LcdTextSmallCentred(20, 30, "AB", 100);
    EXPECT_EQ(LitPixels(), Union(SmallGlyphPixels(SMALL_A, 14, 30), SmallGlyphPixels(SMALL_B, 20, 30)));
}

TEST_F(LcdTest, SmallCellAtTopEdgeLosesRowAbove) {
    // y 0: the cell's top row is -1 = 255, dropped; the inverse cell shows rows 0..6.
    LcdTextSmall(0, 0, " ", 0);
    EXPECT_EQ(LitPixels(), Block(0, 0, 5, 6));
}

// --- Title --------------------------------------------------------------------
static PxSet Row4(int x0, int x1) { return Block(x0, 4, x1, 4); }

static PxSet LargeText(const char* text, int x, int y) {
    PxSet lit;
    for (int i = 0; text[i] != '\0'; i++) {
        const char* hex = text[i] == 'M'   ? LARGE_M
                          : text[i] == 'A' ? LARGE_A
                          : text[i] == 'I' ? LARGE_I
                          : text[i] == 'N' ? LARGE_N
                          : text[i] == 'E' ? LARGE_E
                          : text[i] == 'U' ? LARGE_U
                                           : "0000000000000000";
        lit = Union(lit, LargeGlyphPixels(hex, x + 8 * i, y));
    }
    return lit;
}

TEST_F(LcdTest, TitleMainMenuGeometry) {
    LcdTitle(" MAIN MENU ");
    // n = 11: text at 57 - 44 = 13 (columns 13..100), rules 0..15 and 99..113.
    PxSet expected = Union(LargeText(" MAIN MENU ", 13, 0), Union(Row4(0, 15), Row4(99, 113)));
    EXPECT_EQ(LitPixels(), expected);
}

TEST_F(LcdTest, TitleMainTimezoneWrapsAndKeepsOnePixelLeftRule) {
    LcdTitle(" MAIN TIMEZONE ");
    // Starts at 253: the leading space covers 253..255 and 0..4, 'M' starts at 5.
    // Left rule (0,4)-(-1,4) keeps (0,4); right rule starts at 115, off screen.
    EXPECT_TRUE(Lit(0, 4));
    for (int x = 1; x < 5; x++) {
        EXPECT_FALSE(Lit(x, 4)) << "column " << x;
    }
    for (int x = 109; x < 114; x++) {
        EXPECT_FALSE(Lit(x, 4)) << "column " << x; // trailing space, no rule
    }
    PxSet expected = Union(OnScreen(LargeText(" MAIN", 5 - 8, 0)), {{0, 4}});
    PxSet lit = LitPixels();
    for (const Px& p : Block(0, 0, 44, 7)) { // through " MAIN" and the next space
        EXPECT_EQ(lit.count(p), expected.count(p)) << p.first << "," << p.second;
    }
}

TEST_F(LcdTest, TitleConstCentresTheTruncatedText) {
    // 35 characters cut to 31: the text starts at 57 - 124 = 189, so index 9
    // ('A') lands at (189 + 72) mod 256 = 5. Uncut it would start at 173 and
    // 'A' would fall at 245, off the screen. Left rule: (0, 4) only.
    LcdTitleConst((std::string(9, ' ') + "A" + std::string(25, ' ')).c_str());
    EXPECT_EQ(LitPixels(), Union(LargeGlyphPixels(LARGE_A, 5, 0), {{0, 4}}));
}

// --- Row text and menu lines ----------------------------------------------------
TEST_F(LcdTest, RowTextInTitleAreaIsNotDrawn) {
    for (int y = 0; y <= 7; y++) {
        LcdRowText(0, (u8)y, "A", 1);
    }
    EXPECT_TRUE(LitPixels().empty());
    LcdRowText(0, 8, "A", 1);
    EXPECT_EQ(LitPixels(), Minus(Block(0, 8, 7, 15), LargeGlyphPixels(LARGE_A, 0, 8)));
}

// A line is "inverse" when the blank last column of its first cell is lit.
static bool CellInverse(int x, int y) { return Lit(x + 7, y); }

struct MenuCase {
    const char* name;
    u8 cursor, editMode, row;
    bool labelInverse, valueInverse;
};
// The case's name in test listings, stable from build to build.
void PrintTo(const MenuCase& c, std::ostream* os) { *os << c.name; }

class MenuRow : public LcdTest, public ::testing::WithParamInterface<MenuCase> {};

TEST_P(MenuRow, SelectionAndEditHighlight) {
    const MenuCase& c = GetParam();
    MenuCursor = c.cursor;
    EditMode = c.editMode;
    LcdMenuRow(0, c.row, "AB", "E");
    const int y = 8 * c.row + 8;
    EXPECT_EQ(CellInverse(0, y), c.labelInverse);
    EXPECT_EQ(CellInverse(16, y), c.valueInverse);
    PxSet label = LargeGlyphPixels(LARGE_A, 0, y);
    for (const Px& p : label) {
        EXPECT_NE(Lit(p.first, p.second), c.labelInverse);
    }
}

INSTANTIATE_TEST_SUITE_P(Lcd, MenuRow,
                         ::testing::Values(MenuCase{"cursor0_row0_selected", 0, 0, 0, true, true},
                                           MenuCase{"cursor0_row1_plain", 0, 0, 1, false, false},
                                           MenuCase{"cursor6_row6_selected", 6, 0, 6, true, true},
                                           MenuCase{"cursor7_row6_selected", 7, 0, 6, true, true},
                                           MenuCase{"cursor8_row6_selected", 8, 0, 6, true, true},
                                           MenuCase{"cursor8_row5_plain", 8, 0, 5, false, false},
                                           MenuCase{"cursor3_edit_row3_value_only", 3, 1, 3, false, true},
                                           MenuCase{"cursor3_edit_row2_plain", 3, 1, 2, false, false}),
                         [](const ::testing::TestParamInfo<MenuCase>& i) {
                             return std::string(i.param.name);
                         });

TEST_F(LcdTest, MenuRow255LandsInTitleAreaAndIsNotDrawn) {
    MenuCursor = 8;
    LcdMenuRow(0, 255, "AB", "E");
    EXPECT_TRUE(LitPixels().empty());
}

TEST_F(LcdTest, MenuRowValueFollowsLabelAndGap) {
    MenuCursor = 5; // row 0 not selected
    LcdMenuRow(3, 0, "A", "B");
    EXPECT_EQ(LitPixels(), Union(LargeGlyphPixels(LARGE_A, 0, 8), LargeGlyphPixels(LARGE_B, 11, 8)));
}

TEST_F(LcdTest, MenuRowConstTruncatedLabelMovesValue) {
    // A 40-character label is cut to 31, so the value starts at 8 * 31 = 248
    // and its third cell lands at (248 + 16) mod 256 = 8. Uncut it would be at 80.
    MenuCursor = 5;
    std::string label(40, ' ');
    LcdMenuRowConst(0, 0, label.c_str(), "  B");
    EXPECT_EQ(LitPixels(), LargeGlyphPixels(LARGE_B, 8, 8));
}

// --- Constant-text forms ---------------------------------------------------------
TEST_F(LcdTest, LargeConstDrawsThirtyOneCharacters) {
    // From x 16 the 31st character (index 30) wraps to column 0.
    LcdTextLargeConst(16, 8, (std::string(30, ' ') + "A").c_str(), 0, 0);
    EXPECT_EQ(LitPixels(), LargeGlyphPixels(LARGE_A, 0, 8));
}

TEST_F(LcdTest, LargeConstDropsTheThirtySecondCharacterOn) {
    // From x 8 the 32nd character (index 31) would wrap to column 0; centred
    // on 136, 32 characters would start at 8 and end with 'A' at column 0.
    LcdTextLargeConst(8, 8, (std::string(31, ' ') + "AAAAAAAAA").c_str(), 0, 0);
    LcdTextLargeCentredConst(136, 24, (std::string(31, ' ') + "A").c_str(), 0, 0);
    EXPECT_TRUE(LitPixels().empty());
}

TEST_F(LcdTest, SmallConstDropsTheThirtySecondCharacterOn) {
    // From x 70 the 32nd character would land at (70 + 186) mod 256 = 0;
    // centred on 166, 32 characters would also put the 'A' at column 0.
    LcdTextSmallConst(70, 10, (std::string(31, ' ') + "AAAA").c_str(), 100);
    LcdTextSmallCentredConst(166, 30, (std::string(31, ' ') + "A").c_str(), 100);
    EXPECT_TRUE(LitPixels().empty());
    LcdTextSmallConst(76, 10, (std::string(30, ' ') + "A").c_str(), 100);
    EXPECT_EQ(LitPixels(), SmallGlyphPixels(SMALL_A, 0, 10));
}

// --- Temperature unit ------------------------------------------------------------
struct UnitCase {
    const char* name;
    u8 tempUnitF;
    const char* result;
};
// The case's name in test listings, stable from build to build.
void PrintTo(const UnitCase& c, std::ostream* os) { *os << c.name; }

class TempUnit : public LcdTest, public ::testing::WithParamInterface<UnitCase> {};

TEST_P(TempUnit, AppendsDegreeAndLetter) {
    TempUnitF = GetParam().tempUnitF;
    char text[TEXT_BUFFER] = "-5";
    AppendTempUnit(text);
    EXPECT_STREQ(text, GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(Lcd, TempUnit,
                         ::testing::Values(UnitCase{"celsius_0", 0, "-5|C"},
                                           UnitCase{"fahrenheit_1", 1, "-5|F"},
                                           UnitCase{"nonzero_2_is_fahrenheit", 2, "-5|F"}),
                         [](const ::testing::TestParamInfo<UnitCase>& i) {
                             return std::string(i.param.name);
                         });
