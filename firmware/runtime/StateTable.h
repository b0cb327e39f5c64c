// The instrument's state, one row per variable. Every list of the state is
// made from these rows: the declarations (State.h), the storage and
// ResetInstrumentState (State.cpp), the range constants the screens clamp
// with (State.h), the names and meanings scripts and recorders use (host/state
// StateNames.cpp) and the ranges the invariant checker holds the instrument
// to (tests/support Invariants.cpp).
//
// This file has no include guard: a user defines the row macros it needs,
// includes the file, and gets one expansion per row. Rows it does not
// define expand to nothing; every row macro is undefined again at the end.
//
//   STATE(type, name, power-on, min, max, writer, meaning)
//   STATE_ARRAY(type, name, count, power-on, min, max, writer, meaning)  (range per element)
//   STATE_EDIT(type, name, min, max, writer, meaning)
//       a working field of SET UTC TIME: 0 until the editor first opens,
//       then min..max
//   STATE_TIME(name, writer, meaning)     a TimeFields record (fields, ranges and
//                                         meanings in TIME_FIELDS)
//   STATE_ROUTINE(name, writer, meaning)  the active screen routine
//   STATE_HOOKS(name)                     the hooks' call counts, one per HookId
//                                         (meanings in HOOK_LIST)
//   STATE_EXTERN(type, name, count, writer, meaning)
//       storage kept by its own unit (the frame buffer); named and reset here
//
// meaning is what the number means to a user, in the script reference
// (docs/SCRIPTS.md); a test fails when a variable has none.
//
// power-on is ON(value) for a variable that power-on (LoadDefaults and the
// power-on sequence in PowerCycle.cpp) sets to a fixed value, or KEPT for
// one that keeps what it held across OFF and ON, or is computed. Every
// variable is zero when the program starts. Writers: "tick" is Timer1Timer,
// "keys" the five key producers, "loop" the main-loop pass, "screens" the
// screen routines.
//
// Adding a variable: one row here, meaning included; if it has a power-on value, also the
// line that sets it in LoadDefaults or the power-on sequence.

#ifndef STATE
#define STATE(type, name, powerOn, min, max, writer, meaning)
#endif
#ifndef STATE_ARRAY
#define STATE_ARRAY(type, name, count, powerOn, min, max, writer, meaning)
#endif
#ifndef STATE_EDIT
#define STATE_EDIT(type, name, min, max, writer, meaning)
#endif
#ifndef STATE_TIME
#define STATE_TIME(name, writer, meaning)
#endif
#ifndef STATE_ROUTINE
#define STATE_ROUTINE(name, writer, meaning)
#endif
#ifndef STATE_HOOKS
#define STATE_HOOKS(name)
#endif
#ifndef STATE_EXTERN
#define STATE_EXTERN(type, name, count, writer, meaning)
#endif
#ifndef ON
#define ON(value) true, (value)
#endif
#ifndef KEPT
#define KEPT false, 0
#endif

// clang-format off
// --- Input and tick (Input.cpp) -------------------------------------------------------------------
STATE(u8,  KeyCode,           ON(0),  0, KEY_RIGHT, "keys set it, screens clear it; pending key, KEY_*", "pending key: 0 none, 1 menu, 2 cw, 3 ccw, 4 left, 5 right")
STATE(u8,  KeyStep,           KEPT,   0, 10,        "loop, every pass: 1, or 10 while KeyFast is checked", "step of a knob click: 1, or 10 while keyfast is checked")
STATE(u8,  InactivitySeconds, KEPT,   0, INACTIVITY_RELOAD, "keys reload, tick counts down; seconds before the home return", "seconds left before the return to the home page")
STATE(u8,  TickDivider,       KEPT,   0, 9,         "tick; ticks toward the next second", "100 ms ticks toward the next second")
STATE(u8,  SecondElapsed,     KEPT,   0, 1,         "tick sets, loop clears; a second passed the loop has not seen", "1 when a second passed that the loop has not seen yet")
STATE(u8,  FlashDivider,      KEPT,   0, 5,         "tick; ticks toward the next flash flip", "100 ms ticks toward the next flip of the flash phase")
STATE(u8,  FlashPhase,        KEPT,   0, 1,         "tick; flips every 600 ms", "0 or 1, 600 ms each")

// --- Power cycle and main loop (PowerCycle.cpp) -----------------------------------------------------
STATE_ROUTINE(ScreenHandler,                        "screens; the active screen, HomeScreen after the splash", "the active screen routine")
STATE(u8,  StopRequested,     ON(0),  0, 1,         "OFF sets it; ends the main loop after the pass", "1 after OFF, until the pass ends")
STATE(u8,  StopwatchRunning,  ON(0),  0, 1,         "home pages", "0 or 1")
STATE(u8,  TimerRunning,      ON(0),  0, 1,         "home pages", "0 or 1")
STATE(u8,  AlarmEnabled,      ON(0),  0, 1,         "home pages", "0 or 1")
STATE(u32, StopwatchTenths,   KEPT,   0, UINT32_MAX, "tick counts, ZERO clears; tenths of a second", "tenths of a second counted")
STATE(u32, TimerRemainingTenths, KEPT, 0, TIMER_LONGEST_TENTHS, "tick counts down, LOAD sets; tenths of a second left", "tenths of a second left")
STATE(u8,  ExpiryFlags,       ON(0),  0, EXPIRY_TIMER | EXPIRY_ALARM, "once-a-second block; EXPIRY_* reached", "bits: 1 the timer ran out, 2 the alarm rang")
STATE(u8,  AckFlags,          ON(0),  0, EXPIRY_TIMER | EXPIRY_ALARM, "home pages set, once-a-second block clears; EXPIRY_* acknowledged", "the same bits, acknowledged")
STATE(u8,  CalibrateEnabled,  ON(0),  0, 1,         "loop, every pass: 1 while Calibrate is checked", "1 while the calibrate check box is checked")
STATE(u8,  HomePage,          ON(0),  0, 4,         "home pages; the home page shown", "home page shown, from 0")
STATE(u8,  MenuCursor,        ON(0),  0, 255,       "screens; selected line or field (each screen's last in its screen row)", "the selected line or field of the current screen, from 0")
STATE(u8,  EditMode,          KEPT,   0, 1,         "screens; 1 while the selected value is being changed", "1 while the selected value is being changed")
STATE(u8,  Contrast,          ON(37), 0, 57,        "CONTRAST", "contrast step")
STATE(u8,  Backlight,         ON(1),  0, 1,         "DISP SETUP; 1 = on", "1 on, 0 off")
STATE(u8,  TempUnitF,         ON(0),  0, 1,         "DISP SETUP; 0 = Celsius, 1 = Fahrenheit", "0 Celsius, 1 Fahrenheit")
STATE(u8,  TimerPresetHours,  ON(0),  0, 99,        "PRESET TIMER", "hours")
STATE(u8,  TimerPresetMinutes, ON(0), 0, 59,        "PRESET TIMER", "minutes")
STATE(u8,  TimerPresetSeconds, ON(0), 0, 59,        "PRESET TIMER", "seconds")
STATE(u8,  AlarmHour,         ON(0),  0, 23,        "ALARM TIME", "hours")
STATE(u8,  AlarmMinute,       ON(0),  0, 59,        "ALARM TIME", "minutes")
STATE(u8,  AlarmSecond,       ON(0),  0, 59,        "ALARM TIME", "seconds")
STATE(u8,  MainZone,          ON(ZONE_UTC_ZULU), 0, ZONE_COUNT - 1, "MAIN TIMEZONE", "zone number (43 is UTC)")
STATE(u8,  SecondZone,        ON(ZONE_UTC_ZULU), 0, ZONE_COUNT - 1, "zone page, LOCAL OFFSET", "zone number (43 is UTC)")
STATE_ARRAY(s8, LocalOffsetHours,   ZONE_COUNT, ON(0), -12, 12, "LOCAL OFFSET; hours per zone", "hours added to the zone, one per zone")
STATE_ARRAY(s8, LocalOffsetMinutes, ZONE_COUNT, ON(0), -59, 59, "LOCAL OFFSET; minutes per zone", "minutes added to the zone, one per zone")

// --- Clock (InstrumentClock.cpp) -------------------------------------------------------------------
STATE_TIME(UtcTime,        "once-a-second block; the instrument's UTC", "a broken-down time; each field says what it counts")
STATE_TIME(MainZoneTime,   "once-a-second block; UtcTime in MainZone", "a broken-down time; each field says what it counts")
STATE_TIME(SecondZoneTime, "once-a-second block; UtcTime in SecondZone", "a broken-down time; each field says what it counts")
STATE(s64, UtcClockOffset,    ON(0),  INT64_MIN, INT64_MAX, "SET UTC TIME confirm; seconds added to the host clock", "seconds added to the host clock to give the instrument's UTC")

// --- Temperature (Temperature.cpp) -----------------------------------------------------------------
STATE(s32, RawSensor,         ON(2048), 0, SENSOR_LAST, "track bar; sensor count", "sensor count (the track bar)")
STATE(s32, SensorSample,      KEPT,   0, SENSOR_LAST, "loop; the count used by the last UpdateTemperature", "the sensor count the last temperature update used")
STATE(s32, TempCelsius,       KEPT,   -293, 259,    "loop; calibrated whole degrees Celsius", "whole degrees Celsius, calibrated")
STATE(s32, TempDisplay,       KEPT,   -495, 498,    "loop; TempCelsius in the unit of TempUnitF", "whole degrees in the unit TempUnitF chooses")
STATE(s32, TempMin,           KEPT,   -495, 498,    "loop, DISP SETUP, home pages; lowest TempDisplay since the reset", "lowest TempDisplay since the last reset, same unit")
STATE(s32, TempMax,           KEPT,   -495, 498,    "loop, DISP SETUP, home pages; highest TempDisplay since the reset", "highest TempDisplay since the last reset, same unit")
STATE(s8,  CalibrationOffset, ON(0),  -20, 20,      "CALIBRATE; degrees Celsius", "degrees Celsius added to the reading")

// --- SET UTC TIME working fields (screens), loaded at every opening -------------------------------
STATE_EDIT(u32, EditYear,   1970, 2100, "SET UTC TIME", "SET UTC TIME's year, as written (2026)")
STATE_EDIT(u8,  EditMonth,  1, 12,      "SET UTC TIME", "SET UTC TIME's month, from 1")
STATE_EDIT(u8,  EditDay,    1, 31,      "SET UTC TIME", "SET UTC TIME's day, from 1")
STATE_EDIT(u8,  EditHour,   0, 23,      "SET UTC TIME", "SET UTC TIME's hours")
STATE_EDIT(u8,  EditMinute, 0, 59,      "SET UTC TIME", "SET UTC TIME's minutes")
STATE_EDIT(u8,  EditSecond, 0, 59,      "SET UTC TIME", "SET UTC TIME's seconds")

// --- Power state seen by the hosts (PowerCycle.cpp) ------------------------------------------------
STATE(u8,  PowerState,        KEPT,   POWER_OFF, POWER_ON, "ON, OFF, splash; POWER_*", "0 off, 1 splash, 2 on")
STATE(u8,  RestartRequested,  ON(0),  0, 1,         "ON while running: power on again after the pass", "1 after ON while running, until the pass ends")
STATE(u8,  ShutdownRequested, KEPT,   0, 1,         "the host going away: every loop ends at once", "1 when the host goes away")

// --- Hooks and display ------------------------------------------------------------------------------
STATE_HOOKS(HookCalls)
STATE_EXTERN(u8, FrameBuffer, LCD_BYTES, "lcd; the page-layout frame (lcd/Lcd.h)", "the display: 8 pages of 114 column bytes, bit 0 the page's top row, 1 lit")
// clang-format on

#undef STATE
#undef STATE_ARRAY
#undef STATE_EDIT
#undef STATE_TIME
#undef STATE_ROUTINE
#undef STATE_HOOKS
#undef STATE_EXTERN
#undef ON
#undef KEPT
