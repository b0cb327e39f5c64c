// MAIN TIMEZONE, the choice of the main zone, and LOCAL OFFSET, the per-zone
// offsets in hours and minutes, both under TIME SETUP.
//
// Transitions. TimeSetupScreen opens both with cursor 0 and EditMode 0; both
// return only to TimeSetupScreen, on their own row and with EditMode 0: MAIN
// TIMEZONE on row 2 (MENU, keeping the zone shown), LOCAL OFFSET on row 3
// (MENU on "*** DONE ***").
//
// MAIN TIMEZONE: KEY_CW/KEY_LEFT step MainZone up, KEY_CCW/KEY_RIGHT down, by
// KeyStep, landing on the opposite end past either end.
//
// LOCAL OFFSET shows and edits the offsets of the second zone. With EditMode
// not 1 the knob moves between DONE, HOUR and MINUTE without wrap; MENU on
// HOUR or MINUTE toggles EditMode, and while it is 1 the knob changes the
// selected offset by KeyStep, landing on the opposite end past either end.
// The soft keys PREV and NEXT step SecondZone in either mode, so an edit in
// progress carries on with the next zone's offset.
#include "Screens.h"

#include <cstdio>

#include "../lcd/Lcd.h"
#include "../runtime/Runtime.h"
#include "ScreenKit.h"
#include "ScreenRows.h"

// The zone's standard offset from UTC, "UTC+5:45", "UTC-12:00": the hours
// with their sign, then the minutes as stored (the zone table keeps them
// unsigned; they take the sign of the hours).
static void FormatZoneOffset(u8 zone, char* text) {
    snprintf(text, TEXT_BUFFER,
             "UTC%+2d:"
             "%02d",
             (int)ZoneTable[zone].OffsetHours, (int)ZoneTable[zone].OffsetMinutes);
}

// An offset in -limit..+limit stepped by KeyStep; past either end it lands
// on the opposite end.
static s8 OffsetUp(s8 value, s32 limit) {
    s32 s = (s32)value + KeyStep;
    return (s8)(s > limit ? -limit : s);
}

static s8 OffsetDown(s8 value, s32 limit) {
    s32 d = (s32)value - KeyStep;
    return (s8)(d < -limit ? limit : d);
}

void MainZoneScreen(void) {
    char text[TEXT_BUFFER];
    LcdTitleConst(" MAIN TIMEZONE ");
    ZoneName(MainZone, text);
    LcdTextLargeCentred(57, 13, text, 0, 1);
    FormatZoneOffset(MainZone, text);
    LcdTextLargeCentred(57, 26, text, 0, 0);
    LcdTextLargeCentredConst(57, 40, "USE { } OR ~", 0, 0);
    LcdTextLargeCentredConst(57, 48, "TO CHANGE,MENU", 0, 0);
    LcdTextLargeCentredConst(57, 56, "TO SELECT", 0, 0);

    if (KeyCode == KEY_NONE) {
        return;
    }
    switch (KeyCode) {
        case KEY_MENU:
            ReturnToParent();
            break;
        case KEY_CW:
        case KEY_LEFT:
            MainZone = WrapUp(MainZone, MainZone_MAX);
            break;
        case KEY_CCW:
        case KEY_RIGHT:
            MainZone = WrapDown(MainZone, MainZone_MAX);
            break;
        default:
            break;
    }
    KeyCode = KEY_NONE;
}

// The knob while an offset is being changed: up is 1, down 0.
static void ChangeOffset(u8 up) {
    if (MenuCursor == OFFSET_ROW_HOURS) {
        s8* v = &LocalOffsetHours[SecondZone];
        *v = up ? OffsetUp(*v, LocalOffsetHours_MAX) : OffsetDown(*v, LocalOffsetHours_MAX);
    } else if (MenuCursor == OFFSET_ROW_MINUTES) {
        s8* v = &LocalOffsetMinutes[SecondZone];
        *v = up ? OffsetUp(*v, LocalOffsetMinutes_MAX) : OffsetDown(*v, LocalOffsetMinutes_MAX);
    }
}

void LocalOffsetScreen(void) {
    char text[TEXT_BUFFER];
    LcdTitleConst(" LOCAL OFFSET ");
    LcdTextLargeCentredConst(57, 8, "*** DONE ***", 0, MenuCursor == OFFSET_ROW_DONE);
    snprintf(text, TEXT_BUFFER, "%+02d", (int)LocalOffsetHours[SecondZone]);
    LcdMenuRowConst(0, OFFSET_ROW_HOURS, "HOUR: ", text);
    snprintf(text, TEXT_BUFFER, "%+02d", (int)LocalOffsetMinutes[SecondZone]);
    LcdMenuRowConst(0, OFFSET_ROW_MINUTES, "MINUTE: ", text);
    ZoneName(SecondZone, text);
    LcdTextLargeCentred(57, 35, text, 0, 0);
    FormatZoneOffset(SecondZone, text);
    LcdTextLargeCentred(57, 46, text, 0, 0);
    LcdTextLargeConst(0, 56, " PREV ", 0, 1);
    LcdTextLargeConst(68, 56, " NEXT ", 0, 1);

    if (KeyCode == KEY_NONE) {
        return;
    }
    switch (KeyCode) {
        case KEY_MENU:
            if (MenuCursor == OFFSET_ROW_DONE) {
                ReturnToParent();
            } else if (MenuCursor == OFFSET_ROW_HOURS || MenuCursor == OFFSET_ROW_MINUTES) {
                EditMode = Toggled(EditMode);
            }
            break;
        case KEY_CW:
            if (EditMode == 1) {
                ChangeOffset(1);
            } else if (MenuCursor < OFFSET_ROW_MINUTES) {
                MenuCursor++;
            }
            break;
        case KEY_CCW:
            if (EditMode == 1) {
                ChangeOffset(0);
            } else if (MenuCursor > OFFSET_ROW_DONE) {
                MenuCursor--;
            }
            break;
        case KEY_LEFT:
            SecondZone = WrapDown(SecondZone, SecondZone_MAX);
            break;
        case KEY_RIGHT:
            SecondZone = WrapUp(SecondZone, SecondZone_MAX);
            break;
        default:
            break;
    }
    KeyCode = KEY_NONE;
}
