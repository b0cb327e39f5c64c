// What the firmware needs of its surroundings, and nothing more.
//
// A host (the desktop window, the headless script runner, a test) fills a
// HostPanel and a HostClock and attaches them with HostAttach. The firmware
// never learns which toolkit, if any, is behind them. Until a host attaches,
// a quiet panel that does nothing and the standard library's clock are used.
#pragma once

#include "State.h"

// Every operation receives the Context pointer of the table it was called
// through, the way a display driver's callbacks receive their device, so a
// host is an object of its own and several can exist side by side.
struct HostPanel {
    void* Context; // the host's own object, handed to every operation
    // Copy the whole FrameBuffer to the visible display, every pixel.
    void (*RenderLcd)(void* context);
    // Run every pending host event (tick, clicks, track bar) and return.
    // A paced host also holds the loop here until its next pass is due: the
    // window handles its events while it waits, and while paused it waits
    // for an event (a step, a resume, a close) before it returns.
    void (*PumpEvents)(void* context);
    // 1 while the check box is checked, else 0.
    u8 (*CalibrateChecked)(void* context);
    u8 (*KeyFastChecked)(void* context);
    // Fill of the warning lamp: LAMP_BRIGHT or LAMP_DARK.
    void (*SetLampColour)(void* context, u32 colour);
    // Hide (0) the display image while a pass draws, show (1) it after.
    void (*ShowDisplay)(void* context, u8 visible);
};

struct HostClock {
    void* Context; // the clock's own object, handed to every operation
    // UTC seconds since 1970-01-01 00:00:00; returns 1 when the clock was read.
    u8 (*Now)(void* context, s64* seconds);
    // Broken-down UTC of those seconds: Second, Minute, Hour, Day, Month (0..11),
    // Weekday and Year (since 1900); DayOfYear is left alone. Returns 1 on success.
    u8 (*BreakDown)(void* context, s64 seconds, TimeFields* out);
};

// Attach a host; a null pointer puts back the quiet panel or the standard clock.
void HostAttach(const HostPanel* panel, const HostClock* clock);

// What is attached now. HostUtcClock is the host's UTC, the one time source
// the instrument reads (InstrumentClock.cpp keeps the instrument's own time
// of day and zones from it; a simulator's host answers it from its
// VirtualClock).
extern const HostPanel* Host;
extern const HostClock* HostUtcClock;

// The standard library's clock: std::time and std::gmtime (context unused).
u8 StdClockNow(void* context, s64* seconds);
u8 StdClockBreakDown(void* context, s64 seconds, TimeFields* out);
