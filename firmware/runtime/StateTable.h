// The instrument's state, one row per variable. Every list of the state is
// made from these rows: the declarations (State.h), the storage and
// ResetInstrumentState (State.cpp), the range constants the screens clamp
// with (State.h), the names scripts and recorders use (host/headless
// StateNames.cpp) and the ranges the invariant checker holds the instrument
// to (tests/support Invariants.cpp).
//
// This file has no include guard: a user defines the row macros it needs,
// includes the file, and gets one expansion per row. Rows it does not
// define expand to nothing; every row macro is undefined again at the end.
//
//   STATE(type, name, power-on, min, max, writer)
//   STATE_ARRAY(type, name, count, power-on, min, max, writer)  (range per element)
//   STATE_EDIT(type, name, min, max, writer)
//       a working field of SET UTC TIME: 0 until the editor first opens,
//       then min..max
//   STATE_TIME(name, writer)      a TimeFields record (ranges in TIME_FIELDS)
//   STATE_ROUTINE(name, writer)   the active screen routine
//   STATE_HOOKS(name)             the hooks' call counts, one per HookId
//   STATE_EXTERN(type, name, count, writer)
//       storage kept by its own unit (the frame buffer); named and reset here
//
// power-on is ON(value) for a variable that power-on (LoadDefaults and the
// power-on sequence in PowerCycle.cpp) sets to a fixed value, or KEPT for
// one that keeps what it held across OFF and ON, or is computed. Every
// variable is zero when the program starts. Writers: "tick" is Timer1Timer,
// "keys" the five key producers, "loop" the main-loop pass, "screens" the
// screen routines.
//
// Adding a variable: one row here; if it has a power-on value, also the
// line that sets it in LoadDefaults or the power-on sequence.

#ifndef STATE
#define STATE(type, name, powerOn, min, max, writer)
#endif
#ifndef STATE_ARRAY
#define STATE_ARRAY(type, name, count, powerOn, min, max, writer)
#endif
#ifndef STATE_EDIT
#define STATE_EDIT(type, name, min, max, writer)
#endif
#ifndef STATE_TIME
#define STATE_TIME(name, writer)
#endif
#ifndef STATE_ROUTINE
#define STATE_ROUTINE(name, writer)
#endif
#ifndef STATE_HOOKS
#define STATE_HOOKS(name)
#endif
#ifndef STATE_EXTERN
#define STATE_EXTERN(type, name, count, writer)
#endif
#ifndef ON
#define ON(value) true, (value)
#endif
#ifndef KEPT
#define KEPT false, 0
#endif

// clang-format off
// --- Input and tick (Input.cpp) -------------------------------------------------------------------
STATE(u8,  KeyCode,           ON(0),  0, KEY_RIGHT, "keys set it, screens clear it; pending key, KEY_*")
STATE(u8,  KeyStep,           KEPT,   0, 10,        "loop, every pass: 1, or 10 while KeyFast is checked")
STATE(u8,  InactivitySeconds, KEPT,   0, INACTIVITY_RELOAD, "keys reload, tick counts down; seconds before the home return")
STATE(u8,  TickDivider,       KEPT,   0, 9,         "tick; ticks toward the next second")
STATE(u8,  SecondElapsed,     KEPT,   0, 1,         "tick sets, loop clears; a second passed the loop has not seen")
STATE(u8,  FlashDivider,      KEPT,   0, 5,         "tick; ticks toward the next flash flip")
STATE(u8,  FlashPhase,        KEPT,   0, 1,         "tick; flips every 600 ms")

// --- Power cycle and main loop (PowerCycle.cpp) -----------------------------------------------------
STATE_ROUTINE(ScreenHandler,                        "screens; the active screen, HomeScreen after the splash")
STATE(u8,  StopRequested,     ON(0),  0, 1,         "OFF sets it; ends the main loop after the pass")
STATE(u8,  StopwatchRunning,  ON(0),  0, 1,         "home pages")
STATE(u8,  TimerRunning,      ON(0),  0, 1,         "home pages")
STATE(u8,  AlarmEnabled,      ON(0),  0, 1,         "home pages")
STATE(u32, StopwatchTenths,   KEPT,   0, UINT32_MAX, "tick counts, ZERO clears; tenths of a second")
STATE(u32, TimerRemainingTenths, KEPT, 0, TIMER_LONGEST_TENTHS, "tick counts down, LOAD sets; tenths of a second left")
STATE(u8,  ExpiryFlags,       ON(0),  0, EXPIRY_TIMER | EXPIRY_ALARM, "once-a-second block; EXPIRY_* reached")
STATE(u8,  AckFlags,          ON(0),  0, EXPIRY_TIMER | EXPIRY_ALARM, "home pages set, once-a-second block clears; EXPIRY_* acknowledged")
STATE(u8,  CalibrateEnabled,  ON(0),  0, 1,         "loop, every pass: 1 while Calibrate is checked")
STATE(u8,  HomePage,          ON(0),  0, 4,         "home pages; the home page shown")
STATE(u8,  MenuCursor,        ON(0),  0, 255,       "screens; selected line or field (each screen's last in its screen row)")
STATE(u8,  EditMode,          KEPT,   0, 1,         "screens; 1 while the selected value is being changed")
STATE(u8,  Contrast,          ON(37), 0, 57,        "CONTRAST")
STATE(u8,  Backlight,         ON(1),  0, 1,         "DISP SETUP; 1 = on")
STATE(u8,  TempUnitF,         ON(0),  0, 1,         "DISP SETUP; 0 = Celsius, 1 = Fahrenheit")
STATE(u8,  TimerPresetHours,  ON(0),  0, 99,        "PRESET TIMER")
STATE(u8,  TimerPresetMinutes, ON(0), 0, 59,        "PRESET TIMER")
STATE(u8,  TimerPresetSeconds, ON(0), 0, 59,        "PRESET TIMER")
STATE(u8,  AlarmHour,         ON(0),  0, 23,        "ALARM TIME")
STATE(u8,  AlarmMinute,       ON(0),  0, 59,        "ALARM TIME")
STATE(u8,  AlarmSecond,       ON(0),  0, 59,        "ALARM TIME")
STATE(u8,  MainZone,          ON(ZONE_UTC_ZULU), 0, ZONE_COUNT - 1, "MAIN TIMEZONE")
STATE(u8,  SecondZone,        ON(ZONE_UTC_ZULU), 0, ZONE_COUNT - 1, "zone page, LOCAL OFFSET")
STATE_ARRAY(s8, LocalOffsetHours,   ZONE_COUNT, ON(0), -12, 12, "LOCAL OFFSET; hours per zone")
STATE_ARRAY(s8, LocalOffsetMinutes, ZONE_COUNT, ON(0), -59, 59, "LOCAL OFFSET; minutes per zone")

// --- Clock (Clock.cpp) -----------------------------------------------------------------------------
STATE_TIME(UtcTime,        "once-a-second block; the instrument's UTC")
STATE_TIME(MainZoneTime,   "once-a-second block; UtcTime in MainZone")
STATE_TIME(SecondZoneTime, "once-a-second block; UtcTime in SecondZone")
STATE(s64, UtcClockOffset,    ON(0),  INT64_MIN, INT64_MAX, "SET UTC TIME confirm; seconds added to the host clock")

// --- Temperature (Temperature.cpp) -----------------------------------------------------------------
STATE(s32, RawSensor,         ON(2048), 0, SENSOR_LAST, "track bar; sensor count")
STATE(s32, SensorSample,      KEPT,   0, SENSOR_LAST, "loop; the count used by the last UpdateTemperature")
STATE(s32, TempCelsius,       KEPT,   -293, 259,    "loop; calibrated whole degrees Celsius")
STATE(s32, TempDisplay,       KEPT,   -495, 498,    "loop; TempCelsius in the unit of TempUnitF")
STATE(s32, TempMin,           KEPT,   -495, 498,    "loop, DISP SETUP, home pages; lowest TempDisplay since the reset")
STATE(s32, TempMax,           KEPT,   -495, 498,    "loop, DISP SETUP, home pages; highest TempDisplay since the reset")
STATE(s8,  CalibrationOffset, ON(0),  -20, 20,      "CALIBRATE; degrees Celsius")

// --- SET UTC TIME working fields (screens), loaded at every opening -------------------------------
STATE_EDIT(u32, EditYear,   1970, 2100, "SET UTC TIME")
STATE_EDIT(u8,  EditMonth,  1, 12,      "SET UTC TIME")
STATE_EDIT(u8,  EditDay,    1, 31,      "SET UTC TIME")
STATE_EDIT(u8,  EditHour,   0, 23,      "SET UTC TIME")
STATE_EDIT(u8,  EditMinute, 0, 59,      "SET UTC TIME")
STATE_EDIT(u8,  EditSecond, 0, 59,      "SET UTC TIME")

// --- Power state seen by the hosts (PowerCycle.cpp) ------------------------------------------------
STATE(u8,  PowerState,        KEPT,   POWER_OFF, POWER_ON, "ON, OFF, splash; POWER_*")
STATE(u8,  RestartRequested,  ON(0),  0, 1,         "ON while running: power on again after the pass")
STATE(u8,  ShutdownRequested, KEPT,   0, 1,         "the host going away: every loop ends at once")

// --- Hooks and display ------------------------------------------------------------------------------
STATE_HOOKS(HookCalls)
STATE_EXTERN(u8, FrameBuffer, LCD_BYTES, "lcd; the page-layout frame (lcd/Lcd.h)")
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
