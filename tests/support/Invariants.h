// What the instrument promises about its state whatever the user clicks, and
// a driver that turns a stream of bytes into the window's events.
//
// The instrument has no error paths: every setting stays in its range, every
// flag is 0 or 1, the active screen is always one of the screen routines, a
// pass consumes its key, and the main loop never grows the stack. The click
// fuzzer and the soak check all of that at every event point; a test checks
// that each broken promise is noticed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "headless/HeadlessHost.h"

// What the checker remembers between event points.
struct InvariantWatch {
    // SET UTC TIME loads its working fields when it opens; before that they
    // hold their program-start zeros and are not checked.
    bool utcEditorOpened = false;
    // Stack mark of the event point per power state (off, splash, on): each
    // must stay where it first was, across passes and restarts.
    uintptr_t stackMark[3] = {0, 0, 0};
};

// Checks every promise at an event point. stackMark is the address of a local
// of the event-point routine. Returns "" when all hold, else what broke.
std::string CheckInvariants(InvariantWatch* watch, uintptr_t stackMark);

// Bytes to events. Each event point takes one event (or several, with the
// "together" prefix) from the byte source and delivers it as the window
// would. A source returns 0..255, or -1 when it is used up; then the driver
// shuts the instrument down and Run returns.
//
//   0..159    a key: menu, cw, ccw, left, right (value % 5)
//   160..175  nothing: one pass without events
//   176..191  let passes go by: next byte n, n % 16 + 1 passes below 224,
//             (n - 223) * 64 passes from 224 (up to 2048, past the
//             30-second inactivity return)
//   192..199  a burst of 1..16 ticks (next byte % 16 + 1)
//   200..215  track bar to ((next << 8) | next) % 4097
//   216..223  Calibrate check box: checked when the value is odd
//   224..231  KeyFast check box: checked when the value is odd
//   232..239  host clock jump: next four bytes, big-endian, modulo the
//             seconds from 1970-01-01 to 2100-01-01
//   240..243  ON (from off, started from the host's idle loop)
//   244..247  OFF
//   248..255  together: the next event is delivered at this event point too
class ClickDriver {
public:
    typedef std::function<int()> Source;
    typedef std::function<void()> Check;

    ClickDriver(HeadlessHost* host, Source source) : host_(host), source_(std::move(source)) {}

    // Called at every event point before events are delivered.
    void SetCheck(Check check) { check_ = std::move(check); }
    // Stops taking bytes after this many event points (the source counts as used up).
    void SetEventPointLimit(uint64_t limit) { pointLimit_ = limit; }

    // The host's idle loop until the source is used up and the instrument is off.
    void Run();

    uint64_t EventsDelivered() const { return events_; }
    uint64_t PassesRun() const { return passes_; }
    uint64_t EventPoints() const { return points_; }

private:
    void OnEventPoint();
    bool DeliverOne(); // false when the source is used up
    int Next();

    HeadlessHost* host_;
    Source source_;
    Check check_;
    uint64_t pointLimit_ = UINT64_MAX;
    uint64_t skip_ = 0;
    uint64_t events_ = 0, passes_ = 0, points_ = 0;
    bool exhausted_ = false;
    bool powerOnRequested_ = false;
};

// Seconds from 1970-01-01 to 2100-01-01: the host clock's whole range.
const s64 HOST_CLOCK_SPAN = 4102444800LL;
