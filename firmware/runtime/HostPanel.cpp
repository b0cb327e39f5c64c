// The host surface: until a host attaches, a quiet panel that shows nothing
// and the standard library's clock.
#include "HostPanel.h"

#include <ctime>

static void QuietRender(void*) {}
static void QuietPump(void*) {}
static u8 QuietUnchecked(void*) { return 0; }
static void QuietLamp(void*, u32) {}
static void QuietShow(void*, u8) {}

static const HostPanel QuietPanel = {nullptr,        QuietRender, QuietPump, QuietUnchecked,
                                     QuietUnchecked, QuietLamp,   QuietShow};
static const HostClock StdClock = {nullptr, StdClockNow, StdClockBreakDown};

const HostPanel* Host = &QuietPanel;
const HostClock* HostUtcClock = &StdClock;

void HostAttach(const HostPanel* panel, const HostClock* clock) {
    Host = panel ? panel : &QuietPanel;
    HostUtcClock = clock ? clock : &StdClock;
}

u8 StdClockNow(void*, s64* seconds) {
    std::time_t now = std::time(nullptr);
    if (now == (std::time_t)-1) return 0;
    *seconds = (s64)now;
    return 1;
}

u8 StdClockBreakDown(void*, s64 seconds, TimeFields* out) {
    std::time_t t = (std::time_t)seconds;
    if ((s64)t != seconds) return 0;
    std::tm parts;
    if (gmtime_r(&t, &parts) == nullptr) return 0;
    // Years before 1900 do not fit the unsigned year field.
    if (parts.tm_year < 0) return 0;
    out->Second = (u8)parts.tm_sec;
    out->Minute = (u8)parts.tm_min;
    out->Hour = (u8)parts.tm_hour;
    out->Day = (u8)parts.tm_mday;
    out->Month = (u8)parts.tm_mon;
    out->Weekday = (u8)parts.tm_wday;
    out->Year = (u32)parts.tm_year;
    return 1;
}
