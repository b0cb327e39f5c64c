// The instrument runtime: power cycle, main loop, tick and keys, clock and
// zones, temperature, and the seven hardware hooks.
#pragma once

#include "HostPanel.h"
#include "State.h"

// --- Hooks ----------------------------------------------------------------
// Where the instrument drives its contrast, backlight and warning lamp and
// signals changed settings and a reset of the temperature extremes. In the
// simulator a hook only counts its calls, so that tests can see them.
// The hooks and their HookId are listed in HOOK_LIST (State.h); HookCalls
// counts the calls per HookId.
#define HOOK_ROUTINE(id, routine, meaning) void routine(void);
HOOK_LIST(HOOK_ROUTINE)
#undef HOOK_ROUTINE

// --- Power cycle and main loop (PowerCycle.cpp) ----------------------------
// ON: from off, runs the power-on sequence, the splash and the main loop and
// returns only after OFF (or when the host shuts down). While running it asks
// for a restart after the current pass; during the splash it is ignored.
void Button1Click(void);
// Runs main-loop passes from the state as it stands, without the power-on
// sequence or the splash: for a host that has put back a saved instrument
// (PowerState POWER_OFF while it is put back). The state is taken as it
// stood at the end of a pass, so the loop first checks whether that pass
// ended it. Returns as ON does, with the instrument off again; ON while it
// runs restarts it through the power-on sequence.
void ResumeMainLoop(void);
// OFF: StopRequested = 1.
void Button2Click(void);
// The host is going away: every loop ends at once, nothing more is drawn.
void RequestShutdown(void);

void LoadDefaults(void);
// One of the 80 frames of the start-up splash; a and b are the slide positions,
// moved on for the next frame.
void SplashFrame(s8* a, s8* b);
// One pass of the main loop: inputs, hooks and lamp, the once-a-second
// block, the screen drawn while the display is hidden, then the events.
void MainLoopPass(void);
// The once-a-second block of the pass.
void OnceASecond(void);
// The lamp rule: 1 when the warning lamp is lit this pass.
u8 LampLit(void);

const u8 SPLASH_FRAMES = 80;
extern const char SplashWebAddress[]; // 17 characters
extern const char FirmwareVersion[];  // "1.06"

// --- Tick and keys (Input.cpp) ---------------------------------------------
void Timer1Timer(void);  // the 100 ms tick
void Image5Click(void);  // KEY_MENU
void Button3Click(void); // KEY_CW
void Button4Click(void); // KEY_CCW
void Image3Click(void);  // KEY_LEFT
void Image6Click(void);  // KEY_RIGHT
void PostKey(u8 code);   // what each producer does with its own code
void ClickKey(u8 code);  // the producer of that key (hosts deliver a key code through it); others: nothing

// --- Clock and zones (InstrumentClock.cpp) ---------------------------------
struct Zone {
    char Name[15]; // NUL-terminated unless the name has 15 characters
    s8 OffsetHours;
    s8 OffsetMinutes; // 0, 30 or 45; takes the sign of the hours
};
extern const Zone ZoneTable[ZONE_COUNT];
extern const u16 MonthStartDays[13];

void ReadUtc(TimeFields* t);
// Seconds since 1970-01-01 (negative before it, back to 1968-01-01) to a
// date in the instrument's calendar, where every fourth year is a leap year.
void SecondsToDate(s64 seconds, TimeFields* t);
u32 DateToSeconds(const TimeFields* t);
void UpdateZoneTimes(void);
// The zone's base offset in seconds, the minutes taking the sign of the hours.
s32 ZoneBaseOffset(u8 zone);
// Copies at most 15 characters of the zone's name into text (32 bytes).
void ZoneName(u8 zone, char* text);
// Makes the instrument's UTC read t from now on (until power-off): the clock
// offset becomes t minus the host time. Keeps the offset if the host clock
// cannot be read.
void SetUtcClock(const TimeFields* t);

// --- Temperature (Temperature.cpp) -------------------------------------------
s32 ReadSensor(u8 channel);
void UpdateTemperature(void);
s32 CelsiusToFahrenheit(s32 celsius);
s32 FahrenheitToCelsius(s32 fahrenheit);
void ResetMinMax(void);
void ResetCalibration(void);
// Sets TempUnitF and converts TempMin and TempMax into the new unit.
void SetTempUnit(u8 fahrenheit);
