// Regression: SET UTC TIME opened with a year outside 1970..2100 when the
// instrument's clock (host clock plus the confirmed offset) had run past the
// years the editor keeps.
#include "ScreenTest.h"

namespace {

class UtcEditorYear : public ScreenTest {};

TEST_F(UtcEditorYear, OpensWithinItsYearsWhenTheClockRanOutsideThem) {
    struct Row {
        const char* name;
        u32 year; // UtcTime.Year, years since 1900
        u32 shown;
    };
    const Row rows[] = {
        {"1840, confirmed 1970 at host 2099 then host at 1970", (u32)(1840 - 1900), 1970},
        {"1969", 69, 1970},
        {"1970", 70, 1970},
        {"2026", 126, 2026},
        {"2100", 200, 2100},
        {"2101", 201, 2100},
        {"2229, confirmed 2100 at host 1970 then host at 2099", 329, 2100},
    };
    for (const Row& row : rows) {
        SetUp();
        UtcTime.Year = row.year;
        UtcTime.Month = 11;
        UtcTime.Day = 31;
        Open(TimeSetupScreen, 1);
        Pass(KEY_MENU);
        ASSERT_EQ(ScreenHandler, SetUtcTimeScreen) << row.name;
        EXPECT_EQ(EditYear, row.shown) << row.name;
        EXPECT_EQ(EditMonth, 12) << row.name;
    }
}

} // namespace
