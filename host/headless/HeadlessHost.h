// The headless host: what the window would be, without a window.
//
// It keeps a virtual clock (milliseconds since the host started), delivers
// the 100 ms tick at every multiple of 100 ms of virtual time, and stands in
// for the window's controls: the last rendered frame, the lamp colour, the
// two check boxes, the track bar and its label. Each event point (every
// PumpEvents, and each idle frame while the instrument is off) lets one frame
// period of virtual time pass and then calls the attached event-point
// routine, which delivers scripted events.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "lcd/Lcd.h"
#include "runtime/Runtime.h"
#include "sim/SimClock.h"
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

    // Virtual time.
    uint64_t NowMs() const { return clock_.NowMs(); }
    void SetFrameMs(uint32_t ms) { clock_.SetFrameMs(ms); }
    uint32_t FrameMs() const { return clock_.FrameMs(); }
    void SetUtc(s64 seconds) { clock_.SetUtc(seconds); }   // the host clock reads this now and runs on
    s64 UtcSeconds() const { return clock_.UtcSeconds(); } // what the host clock reads now
    SimClock& Sim() { return clock_; }
    void SetClockReadable(bool readable) { clockReadable_ = readable; }

    // The window's controls.
    void MoveTrackBar(int position); // TrackBar6Change when the position changes
    int TrackBar() const { return trackBar_; }
    const std::string& Label15() const { return label15_; }
    void SetCalibrate(bool checked) { calibrate_ = checked; }
    void SetKeyFast(bool checked) { keyFast_ = checked; }
    bool Calibrate() const { return calibrate_; }
    bool KeyFast() const { return keyFast_; }

    // The host's part of a saved state, and putting it back: virtual time,
    // the host clock, the frame period, the controls and the lamp. PutBack
    // takes the frame buffer as the frame last rendered (the instrument's
    // own variables are put back first, RestoreInstrument).
    HostSnapshot Snapshot() const;
    void PutBack(const HostSnapshot& saved);

    // What the window would show.
    const u8* LastFrame() const { return lastFrame_; }
    u32 Lamp() const { return lamp_; }
    bool DisplayVisible() const { return displayVisible_; }
    uint64_t Renders() const { return renders_; }
    uint64_t EventPoints() const { return eventPoints_; }

private:
    // The panel and clock operations; context is the host.
    static void Render(void* context);
    static void Pump(void* context);
    static u8 CalibrateChecked(void* context);
    static u8 KeyFastChecked(void* context);
    static void SetLamp(void* context, u32 colour);
    static void Show(void* context, u8 visible);
    static u8 ClockNow(void* context, s64* seconds);

    HostPanel panel_;
    HostClock hostClock_;
    SimClock clock_;
    std::function<void()> eventPoint_;
    PassObserver* observer_ = nullptr;
    bool screenRunning_ = false; // the display is hidden for the screen routine
    bool clockReadable_ = true;
    int trackBar_ = 2048;
    std::string label15_ = "2048";
    bool calibrate_ = false;
    bool keyFast_ = false;
    u8 lastFrame_[LCD_BYTES] = {};
    u32 lamp_ = LAMP_BRIGHT; // the lamp's stored colour until the first pass
    bool displayVisible_ = true;
    uint64_t renders_ = 0;
    uint64_t eventPoints_ = 0;
};
