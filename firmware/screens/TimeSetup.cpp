// TIME SETUP, the submenu of the clock settings, and SET UTC TIME, the editor
// of the UTC date and time.
//
// Transitions. MainMenuScreen opens TIME SETUP on "*** DONE ***" (cursor 0).
// Its rows are selected without wrap (KEY_CW/KEY_RIGHT down, KEY_CCW/KEY_LEFT
// up) and MENU opens the row: DONE -> MainMenuScreen on its TIME SETUP entry
// (4), SET UTC TIME -> SetUtcTimeScreen on the year (0) with the working fields
// loaded from UtcTime, MAIN TIMEZONE -> MainZoneScreen (0), LOCAL OFFSETS ->
// LocalOffsetScreen (0); every change of screen sets EditMode 0. Those screens
// come back with the cursor on their own row (1, 2, 3).
//
// SET UTC TIME walks year, month, day, hours, minutes, seconds with MENU; MENU
// on the seconds confirms: it returns to TIME SETUP on row 1, writes the
// fields into UtcTime and moves the instrument's clock to that time, so that
// the next once-a-second read of the clock keeps it. There is no cancel: the
// inactivity return abandons the edit without writing anything.
#include "Screens.h"

#include <cstdio>

#include "../lcd/Lcd.h"
#include "../runtime/Runtime.h"
#include "ScreenKit.h"
#include "ScreenRows.h"

// The year SET UTC TIME opens on. The instrument's clock is the host clock
// plus the offset a confirm set, so it can run past the years the editor
// keeps: 2100 confirmed while the host read 1970, then the host at 2099, reads
// 2229 (and the other way round 1840, whose Year wraps below 0 as a u32 and
// comes back by the same wrap when 1900 is added). The editor opens on the
// nearest year it can set.
static u32 EditorYear(u32 yearSince1900) {
    u32 year = yearSince1900 + 1900;
    if (year < EditYear_MIN) return EditYear_MIN;
    if (year > EditYear_MAX) return EditYear_MAX;
    return year;
}

void TimeSetupScreen(void) {
    LcdTitleConst(" TIME SETUP ");
    LcdTextLargeCentredConst(57, 8, "*** DONE ***", 0, MenuCursor == TIME_SETUP_ROW_DONE);
    LcdTextLargeConst(0, 16, "SET UTC TIME", 0, MenuCursor == TIME_SETUP_ROW_SET_UTC);
    LcdTextLargeConst(0, 24, "MAIN TIMEZONE", 0, MenuCursor == TIME_SETUP_ROW_MAIN_ZONE);
    LcdTextLargeConst(0, 32, "LOCAL OFFSETS", 0, MenuCursor == TIME_SETUP_ROW_LOCAL_OFFSETS);

    if (KeyCode == KEY_NONE) {
        return;
    }
    switch (KeyCode) {
        case KEY_CW:
        case KEY_RIGHT:
            if (MenuCursor < TIME_SETUP_ROW_LOCAL_OFFSETS) {
                MenuCursor++;
            }
            break;
        case KEY_CCW:
        case KEY_LEFT:
            if (MenuCursor > TIME_SETUP_ROW_DONE) {
                MenuCursor--;
            }
            break;
        case KEY_MENU:
            if (MenuCursor == TIME_SETUP_ROW_DONE) {
                ReturnToParent();
            } else if (MenuCursor <= TIME_SETUP_ROW_LOCAL_OFFSETS) {
                if (MenuCursor == TIME_SETUP_ROW_SET_UTC) {
                    EditHour = UtcTime.Hour;
                    EditMinute = UtcTime.Minute;
                    EditSecond = UtcTime.Second;
                    EditDay = UtcTime.Day;
                    EditMonth = (u8)(UtcTime.Month + 1);
                    EditYear = EditorYear(UtcTime.Year);
                }
                OpenScreen(ChildScreen(TimeSetupScreen, MenuCursor));
            }
            break;
        default:
            break;
    }
    KeyCode = KEY_NONE;
}

// Field rules: a step that would leave the range lands on the opposite end.
// The year, minutes and seconds step by KeyStep; month, day and hours by 1.
static void IncreaseField(u8 field) {
    switch (field) {
        case UTC_FIELD_YEAR: {
            u32 s = EditYear + KeyStep;
            EditYear = s > EditYear_MAX ? EditYear_MIN : s;
            break;
        }
        case UTC_FIELD_MONTH:
            EditMonth = EditMonth >= EditMonth_MAX ? EditMonth_MIN : (u8)(EditMonth + 1);
            break;
        case UTC_FIELD_DAY:
            EditDay = EditDay >= EditDay_MAX ? EditDay_MIN : (u8)(EditDay + 1);
            break;
        case UTC_FIELD_HOUR:
            EditHour = EditHour >= EditHour_MAX ? 0 : (u8)(EditHour + 1);
            break;
        case UTC_FIELD_MINUTE:
            EditMinute = WrapUp(EditMinute, EditMinute_MAX);
            break;
        case UTC_FIELD_SECOND:
            EditSecond = WrapUp(EditSecond, EditSecond_MAX);
            break;
        default:
            break;
    }
}

static void DecreaseField(u8 field) {
    switch (field) {
        case UTC_FIELD_YEAR: {
            // Unsigned: the year lies far above any step, so the difference
            // cannot wrap below zero before the compare.
            u32 d = EditYear - KeyStep;
            EditYear = d < EditYear_MIN ? EditYear_MAX : d;
            break;
        }
        case UTC_FIELD_MONTH:
            EditMonth = EditMonth <= EditMonth_MIN ? EditMonth_MAX : (u8)(EditMonth - 1);
            break;
        case UTC_FIELD_DAY:
            EditDay = EditDay <= EditDay_MIN ? EditDay_MAX : (u8)(EditDay - 1);
            break;
        case UTC_FIELD_HOUR:
            EditHour = EditHour == 0 ? EditHour_MAX : (u8)(EditHour - 1);
            break;
        case UTC_FIELD_MINUTE:
            EditMinute = WrapDown(EditMinute, EditMinute_MAX);
            break;
        case UTC_FIELD_SECOND:
            EditSecond = WrapDown(EditSecond, EditSecond_MAX);
            break;
        default:
            break;
    }
}

// Writes the working fields into UtcTime and makes the instrument's clock
// run on from that time; without the second step the once-a-second read of
// the host clock would overwrite the confirmed time at once.
static void ConfirmUtc(void) {
    ReturnToParent();
    UtcTime.Hour = EditHour;
    UtcTime.Minute = EditMinute;
    UtcTime.Second = EditSecond;
    UtcTime.Year = EditYear - 1900;
    UtcTime.Month = (u8)(EditMonth - 1);
    UtcTime.Day = EditDay;
    SetUtcClock(&UtcTime);
}

void SetUtcTimeScreen(void) {
    char text[TEXT_BUFFER];
    LcdTitleConst(" SET UTC TIME ");
    // The year's last column (46) is also the first column of the "/".
    snprintf(text, TEXT_BUFFER, "%04u", (unsigned)EditYear);
    LcdTextLarge(15, 20, text, 1, MenuCursor == UTC_FIELD_YEAR);
    LcdTextLargeConst(46, 20, "/", 1, 0);
    snprintf(text, TEXT_BUFFER, "%02d", EditMonth);
    LcdTextLarge(55, 20, text, 1, MenuCursor == UTC_FIELD_MONTH);
    LcdTextLargeConst(74, 20, "/", 1, 0);
    snprintf(text, TEXT_BUFFER, "%02d", EditDay);
    LcdTextLarge(83, 20, text, 1, MenuCursor == UTC_FIELD_DAY);
    DrawTimeFields(EditHour, EditMinute, EditSecond, UTC_FIELD_HOUR);

    if (KeyCode == KEY_NONE) {
        return;
    }
    switch (KeyCode) {
        case KEY_CW:
        case KEY_LEFT:
            IncreaseField(MenuCursor);
            break;
        case KEY_CCW:
        case KEY_RIGHT:
            DecreaseField(MenuCursor);
            break;
        case KEY_MENU:
            if (MenuCursor < UTC_FIELD_SECOND) {
                MenuCursor++;
            } else if (MenuCursor == UTC_FIELD_SECOND) {
                ConfirmUtc();
            }
            break;
        default:
            break;
    }
    KeyCode = KEY_NONE;
}
