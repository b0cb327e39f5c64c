#include "HeadlessHost.h"

#include <cstring>

#include "lcd/Lcd.h"

HeadlessHost* HeadlessHost::active_ = nullptr;


HeadlessHost::HeadlessHost() {
    ResetInstrumentState();
    LcdClear();
    std::memset(HookCalls, 0, sizeof HookCalls);
    active_ = this;
    static const HostPanel panel = {Render, Pump, CalibrateChecked, KeyFastChecked, SetLamp, Show};
    static const HostClock clock = {ClockNow, StdClockBreakDown};
    HostAttach(&panel, &clock);
}

HeadlessHost::~HeadlessHost() {
    if (active_ == this) {
        active_ = nullptr;
        HostAttach(nullptr, nullptr);
    }
}

void HeadlessHost::EventPoint() {
    nowMs_ += frameMs_;
    eventPoints_++;
    while (nextTickMs_ <= nowMs_) {
        Timer1Timer();
        nextTickMs_ += 100;
    }
    if (eventPoint_) eventPoint_();
}

void HeadlessHost::SetUtc(s64 seconds) {
    clockBaseSeconds_ = seconds;
    clockBaseMs_ = nowMs_;
}

s64 HeadlessHost::UtcSeconds() const {
    return clockBaseSeconds_ + (s64)((nowMs_ - clockBaseMs_) / 1000);
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

void HeadlessHost::Render() {
    if (!active_) return;
    std::memcpy(active_->lastFrame_, FrameBuffer, sizeof active_->lastFrame_);
    active_->renders_++;
}

void HeadlessHost::Pump() {
    if (active_) active_->EventPoint();
}

u8 HeadlessHost::CalibrateChecked() { return active_ && active_->calibrate_ ? 1 : 0; }
u8 HeadlessHost::KeyFastChecked() { return active_ && active_->keyFast_ ? 1 : 0; }

void HeadlessHost::SetLamp(u32 colour) {
    if (active_) active_->lamp_ = colour;
}

void HeadlessHost::Show(u8 visible) {
    if (active_) active_->displayVisible_ = visible != 0;
}

u8 HeadlessHost::ClockNow(s64* seconds) {
    if (!active_ || !active_->clockReadable_) return 0;
    *seconds = active_->UtcSeconds();
    return 1;
}
