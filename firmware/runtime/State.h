// The instrument's state: every global the firmware units meet through.
//
// All of it lives in static storage and is zero when the program starts.
// Power-on (LoadDefaults and the power-on sequence in PowerCycle.cpp) sets
// the variables that have a power-on value; every other variable keeps what
// it held across OFF and ON (the stopwatch count, the timer's time left, the
// zone times, the UTC editor's working fields).
//
// Writers are named per field: "tick" is Timer1Timer, "keys" the five key
// producers, "loop" the main-loop pass, "screens" the screen routines.
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
const u8 KEY_MENU = 1;   // round middle button under the display
const u8 KEY_CW = 2;     // knob one step clockwise
const u8 KEY_CCW = 3;    // knob one step anticlockwise
const u8 KEY_LEFT = 4;   // left soft key, F1
const u8 KEY_RIGHT = 5;  // right soft key, F2

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

// Broken-down time. Month counts from 0, Year from 1900 (2026 is 126).
struct TimeFields {
    u32 DayOfYear; // 0 = 1 January
    u8 Second;     // 0..59
    u8 Minute;     // 0..59
    u8 Hour;       // 0..23
    u8 Day;        // 1..31
    u8 Weekday;    // 0 = Sunday .. 6 = Saturday
    u8 Month;      // 0 = January .. 11 = December
    u32 Year;      // years since 1900
};

// A screen routine: draws its whole page, then consumes KeyCode.
typedef void (*ScreenRoutine)(void);

// --- Input and tick (Input.cpp) -------------------------------------------
extern u8 KeyCode;           // pending key, KEY_*; keys set it, screens clear it
extern u8 KeyStep;           // 1, or 10 while KeyFast is checked; loop, every pass
extern u8 InactivitySeconds; // seconds left before the home return; keys reload 30, tick counts down
extern u8 TickDivider;       // ticks toward the next second, 0..9; tick
extern u8 SecondElapsed;     // 1 when a second passed and the loop has not seen it; tick sets, loop clears
extern u8 FlashDivider;      // ticks toward the next flash flip, 0..5; tick
extern u8 FlashPhase;        // 0 or 1, 600 ms each; tick

// --- Power cycle and main loop (PowerCycle.cpp) ---------------------------
extern ScreenRoutine ScreenHandler; // active screen; HomeScreen after the splash
extern u8 StopRequested;      // 1 after OFF; ends the main loop after the pass
extern u8 StopwatchRunning;   // 0/1; home pages; 0 after the splash
extern u8 TimerRunning;       // 0/1; home pages; 0 after the splash
extern u8 AlarmEnabled;       // 0/1; home pages; 0 after the splash
extern u32 StopwatchTenths;   // tenths of a second; tick counts, ZERO clears; kept
extern u32 TimerRemainingTenths; // tenths of a second left; tick counts down, LOAD sets; kept
extern u8 ExpiryFlags;        // EXPIRY_TIMER / EXPIRY_ALARM reached; once-a-second block
extern u8 AckFlags;           // the same bits acknowledged; home pages set, loop clears
extern u8 CalibrateEnabled;   // 1 while Calibrate is checked; loop, every pass
extern u8 HomePage;           // home page shown, 0..4; home pages; 0 at power-on
extern u8 MenuCursor;         // selected line or field of the current screen; screens
extern u8 EditMode;           // 1 while the selected value is being changed; screens; kept
extern u8 Contrast;           // 0..57, 37 at power-on; CONTRAST screen
extern u8 Backlight;          // 1 = on, 1 at power-on; DISP SETUP
extern u8 TempUnitF;          // 0 = Celsius, 1 = Fahrenheit; DISP SETUP
extern u8 TimerPresetHours;   // 0..99; PRESET TIMER
extern u8 TimerPresetMinutes; // 0..59
extern u8 TimerPresetSeconds; // 0..59
extern u8 AlarmHour;          // 0..23; ALARM TIME
extern u8 AlarmMinute;        // 0..59
extern u8 AlarmSecond;        // 0..59
extern u8 MainZone;           // 0..152, 43 at power-on; MAIN TIMEZONE
extern u8 SecondZone;         // 0..152, 43 at power-on; zone page, LOCAL OFFSET
extern s8 LocalOffsetHours[ZONE_COUNT];   // -12..12 per zone; LOCAL OFFSET
extern s8 LocalOffsetMinutes[ZONE_COUNT]; // -59..59 per zone; LOCAL OFFSET

// --- Clock (Clock.cpp) -----------------------------------------------------
extern TimeFields UtcTime;        // the instrument's UTC; once-a-second block
extern TimeFields MainZoneTime;   // UtcTime in MainZone; once-a-second block
extern TimeFields SecondZoneTime; // UtcTime in SecondZone; once-a-second block
// Seconds added to the host clock to give the instrument's UTC: 0 at power-on,
// set by the confirm of SET UTC TIME (SetUtcClock).
extern s64 UtcClockOffset;

// --- Temperature (Temperature.cpp) -----------------------------------------
extern s32 RawSensor;        // sensor count 0..4096; track bar, 2048 at power-on
extern s32 SensorSample;     // the count used by the last UpdateTemperature
extern s32 TempCelsius;      // calibrated whole degrees Celsius
extern s32 TempDisplay;      // TempCelsius in the unit of TempUnitF
extern s32 TempMin;          // lowest TempDisplay since the last reset
extern s32 TempMax;          // highest TempDisplay since the last reset
extern s8 CalibrationOffset; // -20..20 degrees Celsius; CALIBRATE, 0 at power-on

// --- SET UTC TIME working fields (screens), loaded at every opening ---------
extern u32 EditYear;  // 1970..2100
extern u8 EditMonth;  // 1..12
extern u8 EditDay;    // 1..31
extern u8 EditHour;   // 0..23
extern u8 EditMinute; // 0..59
extern u8 EditSecond; // 0..59

// --- Power state seen by the hosts (PowerCycle.cpp) -------------------------
extern u8 PowerState;        // POWER_OFF, POWER_SPLASH or POWER_ON
extern u8 RestartRequested;  // 1 after ON while running: power on again after the pass
extern u8 ShutdownRequested; // 1 when the host goes away: every loop ends at once

// Puts every variable back to its program-start value (all zero, no screen).
// For hosts and tests that start a fresh instrument in the same process.
void ResetInstrumentState(void);
