#include "SimPanel.h"

#include <cstring>

#include "frames/FrameConvert.h"
#include "frames/FrameFiles.h"
#include "runtime/Runtime.h"
#include "sim/SessionHistory.h"
#include "state/StateFile.h"

void ColourPicture(const u8* frame, int scale, uint32_t lit, uint32_t unlit, uint32_t* out, size_t stride) {
    MagnifyFrame(frame, scale, lit, unlit, out, stride);
}

uint32_t RgbaWord(u8 red, u8 green, u8 blue) {
    const u8 bytes[4] = {red, green, blue, 255};
    uint32_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

SimPanel::SimPanel()
    : panel_{this, Render, Pump, CalibrateChecked, KeyFastChecked, SetLamp, Show},
      clock_{this, ClockNow, StdClockBreakDown} {}

SimPanel::~SimPanel() { Detach(); }

void SimPanel::Attach() { HostAttach(&panel_, &clock_); }

void SimPanel::Detach() {
    if (Attached()) HostAttach(nullptr, nullptr);
}

bool SimPanel::Attached() const { return Host == &panel_; }

bool SimPanel::MoveTrackBar(int position) {
    if (position < 0) position = 0;
    if (position > SENSOR_LAST) position = SENSOR_LAST;
    if (position == trackBar_) return false;
    trackBar_ = position;
    // TrackBar6Change: the sensor count and the label follow the bar.
    RawSensor = position;
    label15_ = std::to_string(position);
    return true;
}

bool SimPanel::Apply(const PanelInput& input) {
    switch (input.kind) {
        case PanelInput::ON:
            ::Button1Click();
            break;
        case PanelInput::OFF:
            ::Button2Click();
            break;
        case PanelInput::KEY:
            ::ClickKey((u8)input.value);
            break;
        case PanelInput::SENSOR: {
            const int64_t v = input.value;
            return MoveTrackBar(v < 0 ? 0 : v > SENSOR_LAST ? SENSOR_LAST : (int)v);
        }
        case PanelInput::CALIBRATE:
            calibrate_ = input.value != 0;
            break;
        case PanelInput::KEYFAST:
            keyFast_ = input.value != 0;
            break;
        case PanelInput::UTC:
            time_.SetUtc(input.value);
            break;
    }
    return true;
}

void SimPanel::Reset() {
    trackBar_ = 2048;
    label15_ = "2048";
    calibrate_ = keyFast_ = false;
    std::memset(frame_, 0, sizeof frame_);
    lamp_ = LAMP_BRIGHT;
    displayVisible_ = true;
    screenRunning_ = false;
}

HostSnapshot SimPanel::Snapshot() const {
    HostSnapshot s;
    s.virtualMs = time_.NowMs();
    s.hostUtcMs = time_.UtcMs();
    s.frameMs = time_.FrameMs();
    s.trackBar = trackBar_;
    s.calibrate = calibrate_;
    s.keyFast = keyFast_;
    s.lamp = lamp_;
    return s;
}

void SimPanel::PutBack(const HostSnapshot& saved) {
    time_.SetNowMs(saved.virtualMs);
    time_.SetUtcMs(saved.hostUtcMs);
    time_.SetFrameMs(saved.frameMs);
    trackBar_ = saved.trackBar;
    label15_ = std::to_string(saved.trackBar);
    calibrate_ = saved.calibrate;
    keyFast_ = saved.keyFast;
    lamp_ = saved.lamp;
    std::memcpy(frame_, FrameBuffer, sizeof frame_);
    displayVisible_ = true;
    screenRunning_ = false;
}

SessionState SimPanel::CaptureSession() const {
    SessionState s;
    s.instrument.Capture();
    s.clock = time_;
    s.trackBar = trackBar_;
    s.calibrate = calibrate_;
    s.keyFast = keyFast_;
    s.lamp = lamp_;
    s.displayVisible = displayVisible_;
    std::memcpy(s.frame, frame_, sizeof s.frame);
    return s;
}

void SimPanel::PutBackSession(const SessionState& s) {
    s.instrument.Restore();
    time_ = s.clock;
    trackBar_ = s.trackBar;
    label15_ = std::to_string(s.trackBar);
    calibrate_ = s.calibrate;
    keyFast_ = s.keyFast;
    lamp_ = s.lamp;
    displayVisible_ = s.displayVisible;
    screenRunning_ = false;
    std::memcpy(frame_, s.frame, sizeof frame_);
}

// --- The firmware's calls -----------------------------------------------------

void SimPanel::Render(void* context) {
    SimPanel* p = Of(context);
    const bool changed = std::memcmp(p->frame_, FrameBuffer, sizeof p->frame_) != 0;
    std::memcpy(p->frame_, FrameBuffer, sizeof p->frame_);
    p->renders_++;
    if (p->hooks_.rendered) p->hooks_.rendered(changed);
    if (p->screenRunning_) {
        p->screenRunning_ = false;
        if (p->hooks_.afterScreen) p->hooks_.afterScreen();
    }
}

void SimPanel::Pump(void* context) {
    SimPanel* p = Of(context);
    if (p->hooks_.eventPoint) p->hooks_.eventPoint();
}

u8 SimPanel::CalibrateChecked(void* context) { return Of(context)->calibrate_ ? 1 : 0; }

u8 SimPanel::KeyFastChecked(void* context) { return Of(context)->keyFast_ ? 1 : 0; }

void SimPanel::SetLamp(void* context, u32 colour) {
    SimPanel* p = Of(context);
    const bool changed = p->lamp_ != colour;
    p->lamp_ = colour;
    if (changed && p->hooks_.lampChanged) p->hooks_.lampChanged(colour);
}

void SimPanel::Show(void* context, u8 visible) {
    SimPanel* p = Of(context);
    p->displayVisible_ = visible != 0;
    p->screenRunning_ = visible == 0;
    if (p->hooks_.shown) p->hooks_.shown(visible != 0);
    if (visible == 0 && p->hooks_.beforeScreen) p->hooks_.beforeScreen();
}

u8 SimPanel::ClockNow(void* context, s64* seconds) {
    const SimPanel* p = Of(context);
    if (!p->clockReadable_) return 0;
    *seconds = p->time_.UtcSeconds();
    return 1;
}
