// Icon sheet layout, the icon copy into the frame buffer, and the scroll
// indicator's thumb rows.
#include "LcdTestSupport.h"

#include <algorithm>
#include <cstring>

// Sheet pixel (x, y) of the 128 x 64 sheet: page y / 8, column x, LSB on top.
static bool SheetLit(int x, int y) { return (IconSheet[(y / 8) * 128 + x] >> (y % 8)) & 1; }

// Every byte of the screen is checked: the block holds exactly the icon's
// sheet cell (byte assignment erases what the 0xA5 pattern put there) and
// everything outside it keeps the pattern, so icon 4 writes rows 8..39 only
// and the others rows 16..47 only.
class IconCopy : public LcdTest, public ::testing::WithParamInterface<int> {};

TEST_P(IconCopy, CopiesItsGridCellIntoColumns5To36) {
    const int icon = GetParam();
    const int firstRow = icon == 4 ? 8 : 16; // question mark sits one page higher
    const int sheetX = 32 * (icon % 4);
    const int sheetY = 32 * (icon / 4);
    memset(FrameBuffer, 0xA5, sizeof FrameBuffer);
    LcdIcon((u8)icon);
    for (int y = 0; y < 64; y++) {
        for (int x = 0; x < 114; x++) {
            const bool inBlock = x >= 5 && x <= 36 && y >= firstRow && y < firstRow + 32;
            const bool expected =
                inBlock ? SheetLit(sheetX + x - 5, sheetY + y - firstRow) : ((0xA5 >> (y % 8)) & 1) != 0;
            ASSERT_EQ(Lit(x, y), expected) << "icon " << icon << " at " << x << "," << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Lcd, IconCopy, ::testing::Range(0, 8));

// Each picture should fill most of its 32 x 32 cell: its lit pixels span at
// least 26 columns and 26 rows.
TEST(IconSheetArt, EveryIconUsesMostOfItsCell) {
    for (int icon = 0; icon < 8; icon++) {
        int minX = 32, maxX = -1, minY = 32, maxY = -1;
        for (int y = 0; y < 32; y++) {
            for (int x = 0; x < 32; x++) {
                if (SheetLit(32 * (icon % 4) + x, 32 * (icon / 4) + y)) {
                    minX = std::min(minX, x);
                    maxX = std::max(maxX, x);
                    minY = std::min(minY, y);
                    maxY = std::max(maxY, y);
                }
            }
        }
        EXPECT_GE(maxX - minX + 1, 26) << "icon " << icon;
        EXPECT_GE(maxY - minY + 1, 26) << "icon " << icon;
    }
}

// --- Scroll indicator ----------------------------------------------------------
struct ThumbCase {
    int position, count;
    int top, bottom; // thumb rows, inclusive; top > 63 means no thumb on screen
};
// A stable name in test listings.
void PrintTo(const ThumbCase& c, std::ostream* os) { *os << "pos" << c.position << "_of_" << c.count; }

class ScrollBar : public LcdTest, public ::testing::WithParamInterface<ThumbCase> {};

TEST_P(ScrollBar, GuideAndThumbRows) {
    const ThumbCase& c = GetParam();
    LcdScrollBar((u8)c.position, (u8)c.count);
    PxSet expected = Block(111, 8, 111, 63);
    if (c.top <= 63) {
        expected = Union(expected, Block(109, c.top, 113, c.bottom));
    }
    EXPECT_EQ(LitPixels(), expected);
}

// Rows from the instrument's thumb table for the main menu's 5 and 7 entries.
INSTANTIATE_TEST_SUITE_P(
    Lcd, ScrollBar,
    ::testing::Values(ThumbCase{0, 5, 8, 19}, ThumbCase{1, 5, 19, 30}, ThumbCase{2, 5, 30, 41},
                      ThumbCase{3, 5, 41, 52}, ThumbCase{4, 5, 52, 63}, ThumbCase{0, 7, 8, 16},
                      ThumbCase{1, 7, 16, 24}, ThumbCase{2, 7, 24, 32}, ThumbCase{3, 7, 32, 40},
                      ThumbCase{4, 7, 40, 48}, ThumbCase{5, 7, 48, 56}, ThumbCase{6, 7, 56, 63},
                      ThumbCase{5, 5, 64, 64}, // past the end: thumb below the display
                      ThumbCase{6, 5, 75, 75}, ThumbCase{0, 1, 8, 63},
                      ThumbCase{0, 0, 64, 64}), // outside the contract: guide only, no division by zero
    [](const ::testing::TestParamInfo<ThumbCase>& i) {
        return "pos" + std::to_string(i.param.position) + "_of_" + std::to_string(i.param.count);
    });
