#include "HeadlessHost.h"

#include <cstring>

#include "lcd/Lcd.h"

HeadlessHost::HeadlessHost()
    : panel_{this, Render, Pump, CalibrateChecked, KeyFastChecked, SetLamp, Show},
      hostClock_{this, ClockNow, StdClockBreakDown} {
    clock_.SetUtc(HEADLESS_EPOCH);
    ResetInstrumentState(); // the hook counts and a blank frame buffer too
    HostAttach(&panel_, &hostClock_);
}

HeadlessHost::~HeadlessHost() {
    // Only the host still attached detaches; a newer one keeps its place.
    if (Host == &panel_) HostAttach(nullptr, nullptr);
}

void HeadlessHost::EventPoint() {
    eventPoints_++;
    const unsigned ticks = clock_.AdvanceFrame();
    for (unsigned t = ticks; t > 0; t--) Timer1Timer();
    if (eventPoint_) eventPoint_();
    if (observer_) observer_->AfterEvents(ticks);
}

void HeadlessHost::MoveTrackBar(int position) {
    if (position < 0) position = 0;
    if (position > 4096) position = 4096;
    if (position == trackBar_) return; // a bar that does not move sends no change
    trackBar_ = position;
    // TrackBar6Change: the sensor count and the label follow the bar.
    RawSensor = position;
    label15_ = std::to_string(position);
}

void HeadlessHost::Render(void* context) {
    HeadlessHost* host = static_cast<HeadlessHost*>(context);
    std::memcpy(host->lastFrame_, FrameBuffer, sizeof host->lastFrame_);
    host->renders_++;
    if (host->screenRunning_) {
        host->screenRunning_ = false;
        if (host->observer_) host->observer_->AfterScreen();
    }
}

void HeadlessHost::Pump(void* context) { static_cast<HeadlessHost*>(context)->EventPoint(); }

u8 HeadlessHost::CalibrateChecked(void* context) {
    return static_cast<HeadlessHost*>(context)->calibrate_ ? 1 : 0;
}

u8 HeadlessHost::KeyFastChecked(void* context) {
    return static_cast<HeadlessHost*>(context)->keyFast_ ? 1 : 0;
}

void HeadlessHost::SetLamp(void* context, u32 colour) { static_cast<HeadlessHost*>(context)->lamp_ = colour; }

void HeadlessHost::Show(void* context, u8 visible) {
    HeadlessHost* host = static_cast<HeadlessHost*>(context);
    host->displayVisible_ = visible != 0;
    host->screenRunning_ = visible == 0;
    if (visible == 0 && host->observer_) host->observer_->BeforeScreen();
}

u8 HeadlessHost::ClockNow(void* context, s64* seconds) {
    const HeadlessHost* host = static_cast<const HeadlessHost*>(context);
    if (!host->clockReadable_) return 0;
    *seconds = host->UtcSeconds();
    return 1;
}

HostSnapshot HeadlessHost::Snapshot() const {
    HostSnapshot s;
    s.virtualMs = clock_.NowMs();
    s.hostUtcMs = clock_.UtcMs();
    s.frameMs = clock_.FrameMs();
    s.trackBar = trackBar_;
    s.calibrate = calibrate_;
    s.keyFast = keyFast_;
    s.lamp = lamp_;
    return s;
}

void HeadlessHost::PutBack(const HostSnapshot& saved) {
    clock_.SetNowMs(saved.virtualMs);
    clock_.SetUtcMs(saved.hostUtcMs);
    clock_.SetFrameMs(saved.frameMs);
    trackBar_ = saved.trackBar;
    label15_ = std::to_string(saved.trackBar);
    calibrate_ = saved.calibrate;
    keyFast_ = saved.keyFast;
    lamp_ = saved.lamp;
    std::memcpy(lastFrame_, FrameBuffer, sizeof lastFrame_);
    displayVisible_ = true;
    screenRunning_ = false;
    if (observer_) observer_->PutBack();
}
