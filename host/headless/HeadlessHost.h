// The headless host: what the window would be, without a window.
//
// It runs the instrument on a simulated panel (sim/SimPanel.h) whose event
// point comes at once: each event point (every PumpEvents, and each idle
// frame while the instrument is off) lets one frame period of virtual time
// pass, runs the 100 ms ticks that fell due, and then calls the attached
// event-point routine, which delivers scripted events.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "lcd/Lcd.h"
#include "runtime/Runtime.h"
#include "sim/SimPanel.h"
#include "sim/VirtualClock.h"
#include "state/StateFile.h"

// Told what each main-loop pass does, for interface coverage (Coverage.h).
// The pass hides the display right before it clears the frame and calls the
// active screen, and renders right after; so between BeforeScreen and
// AfterScreen only the screen routine has run.
class PassObserver {
public:
    virtual ~PassObserver() = default;
    virtual void BeforeScreen() = 0;              // the screen routine runs next
    virtual void AfterScreen() = 0;               // and has run; its frame is rendered
    virtual void AfterEvents(unsigned ticks) = 0; // an event point: its ticks ran, its events were delivered
    virtual void PutBack() = 0;                   // a saved state was put back
};

// 2026-01-01 00:00:00 UTC, where virtual time starts.
const s64 HEADLESS_EPOCH = 1767225600;

class HeadlessHost {
public:
    HeadlessHost();  // resets the instrument to program start and attaches
    ~HeadlessHost(); // detaches (the firmware falls back to the quiet panel)
    HeadlessHost(const HeadlessHost&) = delete;
    HeadlessHost& operator=(const HeadlessHost&) = delete;

    // Called at every event point after time has advanced and due ticks ran.
    void SetEventPoint(std::function<void()> routine) { eventPoint_ = std::move(routine); }

    // The observer of every pass from now on, or null for none.
    void SetObserver(PassObserver* observer) { observer_ = observer; }

    // One event point: frame period of virtual time, due ticks, then the
    // event-point routine. PumpEvents and the idle loop both come here.
    void EventPoint();

    // The controls, the lamp, the frame last rendered, virtual time and the
    // host clock.
    SimPanel& Panel() { return panel_; }
    const SimPanel& Panel() const { return panel_; }
    VirtualClock& Sim() { return panel_.Time(); }
    const VirtualClock& Sim() const { return panel_.Time(); }
    uint64_t NowMs() const { return panel_.Time().NowMs(); }

    // The host's part of a saved state (SimPanel::Snapshot), and putting it
    // back; the observer hears of it.
    HostSnapshot Snapshot() const { return panel_.Snapshot(); }
    void PutBack(const HostSnapshot& saved);

    uint64_t EventPoints() const { return eventPoints_; }

private:
    SimPanel panel_;
    std::function<void()> eventPoint_;
    PassObserver* observer_ = nullptr;
    uint64_t eventPoints_ = 0;
};
