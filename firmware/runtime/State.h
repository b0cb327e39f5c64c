// The instrument's state: every global the firmware units meet through.
//
// All of it lives in static storage and is zero when the program starts.
// Power-on (LoadDefaults and the power-on sequence in PowerCycle.cpp) sets
// the variables that have a power-on value; every other variable keeps what
// it held across OFF and ON (the stopwatch count, the timer's time left, the
// zone times, the UTC editor's working fields). The variables themselves are
// rows of StateTable.h; this header declares them from there.
#pragma once

#include <cstdint>

typedef uint8_t u8;
typedef int8_t s8;
typedef uint16_t u16;
typedef int16_t s16;
typedef uint32_t u32;
typedef int32_t s32;
typedef int64_t s64;

// Key codes: the one pending input event.
const u8 KEY_NONE = 0;
const u8 KEY_MENU = 1;  // round middle button under the display
const u8 KEY_CW = 2;    // knob one step clockwise
const u8 KEY_CCW = 3;   // knob one step anticlockwise
const u8 KEY_LEFT = 4;  // the F1 soft key, left under the display
const u8 KEY_RIGHT = 5; // the F2 soft key, right under the display

const u8 ZONE_COUNT = 153;       // zones 0..152
const u8 ZONE_UTC_ZULU = 43;     // power-on main and second zone
const u8 INACTIVITY_RELOAD = 30; // seconds without a key before the home return

// Bits of ExpiryFlags and AckFlags.
const u8 EXPIRY_TIMER = 0x01;
const u8 EXPIRY_ALARM = 0x02;

// Lamp colours in the host's colour word, red in the low byte.
const u32 LAMP_BRIGHT = 255; // pure red, lamp lit
const u32 LAMP_DARK = 128;   // dark red, lamp dark

// Power state as the hosts see it.
const u8 POWER_OFF = 0;
const u8 POWER_SPLASH = 1;
const u8 POWER_ON = 2;

// Sensor counts run 0..4096 (the track bar's range).
const s32 SENSOR_LAST = 4096;
// The longest timer the preset can load: 99:59:59 in tenths of a second.
const u32 TIMER_LONGEST_TENTHS = (99u * 3600 + 59 * 60 + 59) * 10;

// Broken-down time. Month counts from 0, Year from 1900 (2026 is 126); Year
// wraps below 1900.
// TIME_FIELDS(X, arg): X(arg, type, field, min, max, meaning) in the record's order.
// clang-format off
#define TIME_FIELDS(X, arg)                                                            \
    X(arg, u32, DayOfYear, 0, 365, "days since 1 January (0 is 1 January)")            \
    X(arg, u8,  Second,    0, 59, "seconds")                                           \
    X(arg, u8,  Minute,    0, 59, "minutes")                                           \
    X(arg, u8,  Hour,      0, 23, "hours")                                             \
    X(arg, u8,  Day,       1, 31, "day of the month, from 1")                          \
    X(arg, u8,  Weekday,   0, 6, "0 Sunday to 6 Saturday")                             \
    X(arg, u8,  Month,     0, 11, "month, counting from 0: 0 is January, 11 December") \
    X(arg, u32, Year,      0, UINT32_MAX, "years since 1900: 2026 is 126")
// clang-format on

struct TimeFields {
#define TIME_FIELD(arg, type, field, min, max, meaning) type field;
    TIME_FIELDS(TIME_FIELD, )
#undef TIME_FIELD
};

// A screen routine: draws its whole page, then consumes KeyCode.
typedef void (*ScreenRoutine)(void);

// The seven hardware hooks (Runtime.h), X(id, routine, meaning) in HookId order;
// meaning is what its call count in HookCalls means.
#define HOOK_LIST(X)                                                                       \
    X(HOOK_CONTRAST, HookContrast, "calls of the contrast hook since the program started") \
    X(HOOK_BACKLIGHT_ON, HookBacklightOn, "calls of the backlight-on hook")                \
    X(HOOK_BACKLIGHT_OFF, HookBacklightOff, "calls of the backlight-off hook")             \
    X(HOOK_LAMP_ON, HookLampOn, "calls of the lamp-on hook")                               \
    X(HOOK_LAMP_OFF, HookLampOff, "calls of the lamp-off hook")                            \
    X(HOOK_SETTINGS_CHANGED, HookSettingsChanged, "calls of the settings-changed hook")    \
    X(HOOK_MINMAX_RESET, HookMinMaxReset, "calls of the extremes-reset hook")

// clang-format off
enum HookId {
#define HOOK_ID(id, routine, meaning) id,
    HOOK_LIST(HOOK_ID)
#undef HOOK_ID
    HOOK_COUNT
};
// clang-format on

// The variables, from StateTable.h: see there for each one's range, power-on
// value and writer.
#define STATE(type, name, powerOn, min, max, writer, meaning) extern type name;
#define STATE_ARRAY(type, name, count, powerOn, min, max, writer, meaning) extern type name[count];
#define STATE_EDIT(type, name, min, max, writer, meaning) extern type name;
#define STATE_TIME(name, writer, meaning) extern TimeFields name;
#define STATE_ROUTINE(name, writer, meaning) extern ScreenRoutine name;
#define STATE_HOOKS(name) extern u32 name[HOOK_COUNT];
#include "StateTable.h"

// The range of each variable of the table, Name_MIN and Name_MAX (per
// element for arrays): what the screens clamp and wrap with.
#define STATE(type, name, powerOn, min, max, writer, meaning) \
    const s64 name##_MIN = (min), name##_MAX = (max);
#define STATE_ARRAY(type, name, count, powerOn, min, max, writer, meaning) \
    const s64 name##_MIN = (min), name##_MAX = (max);
#define STATE_EDIT(type, name, min, max, writer, meaning) const s64 name##_MIN = (min), name##_MAX = (max);
#include "StateTable.h"

// Puts every variable of the table back to its program-start value (all
// zero, no screen, no hook calls, a blank frame buffer). For hosts and tests
// that start a fresh instrument in the same process.
void ResetInstrumentState(void);
