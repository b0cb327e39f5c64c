// PRESET TIMER and ALARM TIME: two editors of hours, minutes and seconds.
//
// Transitions. MainMenuScreen opens either editor on the hours (cursor 0).
// MENU moves to the minutes and the seconds; MENU on the seconds returns to
// MainMenuScreen with EditMode 0 on the editor's own entry: PRESET TIMER (2)
// or SET ALARM (3). KEY_CW and KEY_LEFT increase the selected field, KEY_CCW
// and KEY_RIGHT decrease it; a step past either end lands on the opposite end.
// Every change is stored at once; there is no confirm and no cancel.
//
// The two editors differ only in their hint line, their return entry and
// their hours: the timer preset runs 0 to 99 by KeyStep, the alarm hour 0 to
// 23 by 1.
#include "Screens.h"

#include <cstdio>

#include "../lcd/Lcd.h"
#include "../runtime/Runtime.h"
#include "ScreenKit.h"
#include "ScreenRows.h"

// The page of both editors; hint names the value being set.
static void DrawTimeEditor(const char* hint, u8 hours, u8 minutes, u8 seconds) {
    LcdTextLargeCentredConst(57, 0, "USE { } OR ~", 0, 0);
    LcdTextLargeCentredConst(57, 10, "TO ADJUST THE", 0, 0);
    LcdTextLargeCentredConst(57, 20, hint, 0, 0);
    DrawTimeFields(hours, minutes, seconds, TIMER_ALARM_FIELD_HOURS);
}

// MENU on the fields: next field, and from the seconds back to the menu
// entry that opened the editor.
static void NextField(void) {
    if (MenuCursor < TIMER_ALARM_FIELD_SECONDS) {
        MenuCursor++;
    } else if (MenuCursor == TIMER_ALARM_FIELD_SECONDS) {
        ReturnToParent();
    }
}

void TimerPresetScreen(void) {
    DrawTimeEditor("PRESET TIMER", TimerPresetHours, TimerPresetMinutes, TimerPresetSeconds);

    if (KeyCode == KEY_NONE) {
        return;
    }
    u8 up = KeyCode == KEY_CW || KeyCode == KEY_LEFT;
    u8 down = KeyCode == KEY_CCW || KeyCode == KEY_RIGHT;
    if (KeyCode == KEY_MENU) {
        NextField();
    } else if (up || down) {
        if (MenuCursor == TIMER_ALARM_FIELD_HOURS) {
            TimerPresetHours = up ? WrapUp(TimerPresetHours, TimerPresetHours_MAX)
                                  : WrapDown(TimerPresetHours, TimerPresetHours_MAX);
        } else if (MenuCursor == TIMER_ALARM_FIELD_MINUTES) {
            TimerPresetMinutes = up ? WrapUp(TimerPresetMinutes, TimerPresetMinutes_MAX)
                                    : WrapDown(TimerPresetMinutes, TimerPresetMinutes_MAX);
        } else if (MenuCursor == TIMER_ALARM_FIELD_SECONDS) {
            TimerPresetSeconds = up ? WrapUp(TimerPresetSeconds, TimerPresetSeconds_MAX)
                                    : WrapDown(TimerPresetSeconds, TimerPresetSeconds_MAX);
        }
    }
    KeyCode = KEY_NONE;
}

void AlarmTimeScreen(void) {
    DrawTimeEditor("ALARM TIME", AlarmHour, AlarmMinute, AlarmSecond);

    if (KeyCode == KEY_NONE) {
        return;
    }
    u8 up = KeyCode == KEY_CW || KeyCode == KEY_LEFT;
    u8 down = KeyCode == KEY_CCW || KeyCode == KEY_RIGHT;
    if (KeyCode == KEY_MENU) {
        NextField();
    } else if (up || down) {
        if (MenuCursor == TIMER_ALARM_FIELD_HOURS) {
            // The hour of day always steps by 1, fast keys or not.
            if (up) {
                AlarmHour = AlarmHour >= AlarmHour_MAX ? 0 : (u8)(AlarmHour + 1);
            } else {
                AlarmHour = AlarmHour == 0 ? AlarmHour_MAX : (u8)(AlarmHour - 1);
            }
        } else if (MenuCursor == TIMER_ALARM_FIELD_MINUTES) {
            AlarmMinute = up ? WrapUp(AlarmMinute, AlarmMinute_MAX) : WrapDown(AlarmMinute, AlarmMinute_MAX);
        } else if (MenuCursor == TIMER_ALARM_FIELD_SECONDS) {
            AlarmSecond = up ? WrapUp(AlarmSecond, AlarmSecond_MAX) : WrapDown(AlarmSecond, AlarmSecond_MAX);
        }
    }
    KeyCode = KEY_NONE;
}
