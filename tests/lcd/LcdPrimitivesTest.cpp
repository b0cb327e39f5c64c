// Pixel clipping, Bresenham lines, rectangles and filled blocks.
#include "LcdTestSupport.h"

#include <cstring>

// --- LcdPixel boundaries, reached through a one-point LcdLine so that wider
// coordinates arrive as their low 8 bits (-1 -> 255, 256 -> 0).
struct PixelCase {
    const char* name;
    int x, y;
    bool drawn;
    int litX, litY;
};
// The case's name in test listings, stable from build to build.
void PrintTo(const PixelCase& c, std::ostream* os) { *os << c.name; }

class PixelBoundary : public LcdTest, public ::testing::WithParamInterface<PixelCase> {};

TEST_P(PixelBoundary, DropsOnlyWhatLiesOffTheDisplay) {
    const PixelCase& c = GetParam();
    LcdLine(c.x, c.y, c.x, c.y, 1);
    PxSet expected;
    if (c.drawn) {
        expected.insert(Px(c.litX, c.litY));
    }
    EXPECT_EQ(LitPixels(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lcd, PixelBoundary,
    ::testing::Values(PixelCase{"x_minus1", -1, 5, false, 0, 0}, PixelCase{"x_0", 0, 5, true, 0, 5},
                      PixelCase{"x_113", 113, 5, true, 113, 5}, PixelCase{"x_114", 114, 5, false, 0, 0},
                      PixelCase{"x_255", 255, 5, false, 0, 0},
                      PixelCase{"x_256_wraps_to_0", 256, 5, true, 0, 5},
                      PixelCase{"x_minus142_wraps_to_114", -142, 5, false, 0, 0},
                      PixelCase{"x_minus143_wraps_to_113", -143, 5, true, 113, 5},
                      PixelCase{"y_minus1", 7, -1, false, 0, 0}, PixelCase{"y_63", 7, 63, true, 7, 63},
                      PixelCase{"y_64", 7, 64, false, 0, 0},
                      PixelCase{"y_256_wraps_to_0", 7, 256, true, 7, 0}),
    [](const ::testing::TestParamInfo<PixelCase>& i) { return std::string(i.param.name); });

TEST_F(LcdTest, LastPixelIsTopBitOfLastByte) {
    LcdPixel(113, 63, 1);
    EXPECT_EQ(FrameBuffer[911], 0x80);
    LcdPixel(0, 0, 1);
    EXPECT_EQ(FrameBuffer[0], 0x01);
    LcdPixel(5, 9, 1); // page 1, row 1 of the page
    EXPECT_EQ(FrameBuffer[114 + 5], 0x02);
}

TEST_F(LcdTest, PixelOffClearsOnlyItsBit) {
    memset(FrameBuffer, 0xFF, sizeof FrameBuffer);
    LcdPixel(40, 21, 0); // page 2, bit 5
    for (int i = 0; i < LCD_BYTES; i++) {
        ASSERT_EQ(FrameBuffer[i], i == 2 * 114 + 40 ? 0xDF : 0xFF) << "byte " << i;
    }
    LcdPixel(114, 21, 0);
    LcdPixel(40, 64, 0);
    EXPECT_EQ(FrameBuffer[2 * 114 + 40], 0xDF);
}

TEST_F(LcdTest, ClearBlanksEveryByte) {
    memset(FrameBuffer, 0x5A, sizeof FrameBuffer);
    LcdClear();
    for (int i = 0; i < LCD_BYTES; i++) {
        ASSERT_EQ(FrameBuffer[i], 0) << "byte " << i;
    }
}

// --- Lines: the exact pixels, worked out by hand from the step rule e > 0.
struct LineCase {
    const char* name;
    int x0, y0, x1, y1;
    PxSet pixels;
};
// The case's name in test listings, stable from build to build.
void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

class Line : public LcdTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(Line, LightsExactlyTheBresenhamPixels) {
    const LineCase& c = GetParam();
    LcdLine(c.x0, c.y0, c.x1, c.y1, 1);
    EXPECT_EQ(LitPixels(), c.pixels);
}

static PxSet Row(int y, int x0, int x1) { return Block(x0, y, x1, y); }

INSTANTIATE_TEST_SUITE_P(
    Lcd, Line,
    ::testing::Values(
        LineCase{"p0_0_to_4_2", 0, 0, 4, 2, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}}},
        LineCase{"p4_2_to_0_0", 4, 2, 0, 0, {{4, 2}, {3, 2}, {2, 1}, {1, 1}, {0, 0}}},
        LineCase{"p0_0_to_5_2", 0, 0, 5, 2, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}, {5, 2}}},
        LineCase{"single_point", 30, 40, 30, 40, {{30, 40}}},
        LineCase{"diagonal_45", 10, 20, 14, 24, {{10, 20}, {11, 21}, {12, 22}, {13, 23}, {14, 24}}},
        LineCase{"diagonal_45_up_left", 14, 24, 10, 20, {{10, 20}, {11, 21}, {12, 22}, {13, 23}, {14, 24}}},
        LineCase{"steep_0_0_to_2_4", 0, 0, 2, 4, {{0, 0}, {0, 1}, {1, 2}, {1, 3}, {2, 4}}},
        LineCase{"steep_2_4_to_0_0", 2, 4, 0, 0, {{2, 4}, {2, 3}, {1, 2}, {1, 1}, {0, 0}}},
        LineCase{"steep_4_0_to_2_4", 4, 0, 2, 4, {{4, 0}, {4, 1}, {3, 2}, {3, 3}, {2, 4}}},
        LineCase{"horizontal_0_to_118_clipped", 0, 4, 118, 4, Row(4, 0, 113)},
        LineCase{"vertical_8_to_63", 111, 8, 111, 63, Block(111, 8, 111, 63)},
        LineCase{"starts_left_of_edge", -2, 5, 2, 5, Row(5, 0, 2)},
        LineCase{"x_256_to_258_wraps", 256, 3, 258, 3, Row(3, 0, 2)}),
    [](const ::testing::TestParamInfo<LineCase>& i) { return std::string(i.param.name); });

// --- Rectangles.
TEST_F(LcdTest, RectOfWholeScreenIsBorderOnly) {
    LcdRect(0, 0, 113, 63, 1);
    PxSet border =
        Union(Union(Row(0, 0, 113), Row(63, 0, 113)), Union(Block(0, 0, 0, 63), Block(113, 0, 113, 63)));
    EXPECT_EQ(LitPixels(), border);
    EXPECT_EQ(border.size(), 2u * 114 + 2 * 62);
}

TEST_F(LcdTest, RectWithSwappedCornersDrawsTheSameOutline) {
    LcdRect(20, 30, 10, 25, 1);
    PxSet expected =
        Union(Union(Row(25, 10, 20), Row(30, 10, 20)), Union(Block(10, 25, 10, 30), Block(20, 25, 20, 30)));
    EXPECT_EQ(LitPixels(), expected);
}

struct FillCase {
    const char* name;
    int x0, y0, x1, y1;
    PxSet pixels;
};
// The case's name in test listings, stable from build to build.
void PrintTo(const FillCase& c, std::ostream* os) { *os << c.name; }

class FillRect : public LcdTest, public ::testing::WithParamInterface<FillCase> {};

TEST_P(FillRect, RightEdgeExclusiveBottomEdgeInclusive) {
    const FillCase& c = GetParam();
    LcdFillRect((u8)c.x0, (u8)c.y0, (u8)c.x1, (u8)c.y1, 1);
    EXPECT_EQ(LitPixels(), c.pixels);
}

INSTANTIATE_TEST_SUITE_P(
    Lcd, FillRect,
    ::testing::Values(FillCase{"thumb_109_8_114_15", 109, 8, 114, 15, Block(109, 8, 113, 15)},
                      FillCase{"empty_x0_equals_x1", 10, 0, 10, 63, {}},
                      FillCase{"empty_x0_above_x1", 12, 0, 11, 63, {}},
                      FillCase{"one_row_high", 0, 5, 3, 5, Row(5, 0, 2)},
                      FillCase{"one_column_wide", 50, 60, 51, 63, Block(50, 60, 50, 63)},
                      FillCase{"x1_255_off_screen", 250, 0, 255, 10, {}},
                      FillCase{"rows_past_bottom_clipped", 0, 60, 2, 70, Block(0, 60, 1, 63)}),
    [](const ::testing::TestParamInfo<FillCase>& i) { return std::string(i.param.name); });

TEST_F(LcdTest, FillRectOffErasesTheBlock) {
    memset(FrameBuffer, 0xFF, sizeof FrameBuffer);
    LcdFillRect(10, 10, 20, 12, 0);
    EXPECT_EQ(LitPixels(), Minus(Block(0, 0, 113, 63), Block(10, 10, 19, 12)));
}
