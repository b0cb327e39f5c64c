#include "WindowSession.h"

#include "FormView.h"
#include "SessionScript.h"
#include "WindowPanel.h"
#include "lcd/Lcd.h"
#include "runtime/Runtime.h"
#include "state/StateFile.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstring>

namespace {

// Running flat out, the window still handles its events this often, and
// repaints the display at most this often.
const int64_t EventsEveryNs = 4000000;
const int64_t PresentEveryNs = 1000000000 / 60;
// A pacer this far off its timeline (the machine slept, the computer's clock
// was set) starts a new one instead of running a burst of frames or
// stalling.
const int64_t ResyncLimitNs = 1000000000;

} // namespace

WindowSession::WindowSession(FormView* view, Pacer::WallClock wall, void* wallContext)
    : view_(view), recording_(this), pacer_(wall, wallContext) {
    waker_.setSingleShot(true);
    waker_.setTimerType(Qt::PreciseTimer);
    idleTimer_.setSingleShot(true);
    idleTimer_.setTimerType(Qt::PreciseTimer);
    connect(&idleTimer_, &QTimer::timeout, this, &WindowSession::IdleFrame);
    panel_ = WindowPanelFor(this);
    hostClock_ = HostClock{this, ClockNow, StdClockBreakDown};
    HostAttach(&panel_, &hostClock_);
    // Until told otherwise the host clock is the computer's.
    FollowComputerClock();
    history_.Start(CaptureSession());
}

WindowSession::~WindowSession() {
    closing_ = true;
    // Only the session still attached detaches; nothing reaches this one after.
    if (Host == &panel_) HostAttach(nullptr, nullptr);
}

u8 WindowSession::ClockNow(void* context, s64* seconds) {
    *seconds = static_cast<WindowSession*>(context)->clock_.UtcSeconds();
    return 1;
}

void WindowSession::Close() {
    closing_ = true;
    idleTimer_.stop();
    waker_.stop();
    RequestShutdown();
}

// --- Pacing -------------------------------------------------------------------

void WindowSession::SetSpeed(double speed) {
    if (speed < 0) speed = 0;
    if (following_ && speed == 1 && !Paused()) return;
    following_ = false;
    pacer_.SetSpeed(speed, clock_.NowMs());
    ScheduleIdle();
}

void WindowSession::SetPaused(bool paused) {
    if (!paused && splashView_) {
        // Catch up with the point shown, then run on.
        LeaveSplashView();
        resumeAfterCatchUp_ = stepBudget_ > 0;
        if (resumeAfterCatchUp_) return;
    }
    if (paused == Paused()) return;
    if (paused) following_ = false;
    stepBudget_ = 0;
    pacer_.SetPaused(paused, clock_.NowMs());
    PresentFrame();
    ScheduleIdle();
}

void WindowSession::Step(unsigned points) {
    if (!Paused()) return;
    following_ = false;
    if (splashView_) LeaveSplashView();
    stepBudget_ += points;
    ScheduleIdle();
}

void WindowSession::SetUtc(int64_t seconds) {
    if (following_) {
        following_ = false;
        if (!Paused()) pacer_.StartTimeline(pacer_.WallNow(), clock_.NowMs());
    }
    EnqueueUtc(seconds, NextWholeSecondMs());
}

int64_t WindowSession::ShownUtcSeconds() const {
    int64_t seconds;
    uint64_t atMs;
    if (queue_.WaitingUtc(&seconds, &atMs)) {
        const int64_t early = atMs > clock_.NowMs() ? int64_t(atMs - clock_.NowMs()) : 0;
        const int64_t ms = seconds * 1000 - early;
        return ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
    }
    return clock_.UtcSeconds();
}

uint64_t WindowSession::NextWholeSecondMs() const {
    return (clock_.NowMs() + clock_.FrameMs() + 999) / 1000 * 1000;
}

void WindowSession::EnqueueUtc(int64_t seconds, uint64_t atMs) {
    if (splashView_) LeaveSplashView();
    // A new input after going back: the old future is gone.
    history_.Cut(std::max(points_, travelTarget_));
    queue_.DropUtc();
    if (closing_) return;
    queue_.PushUtc(seconds, atMs);
    ScheduleIdle();
}

void WindowSession::FollowComputerClock() {
    following_ = true;
    stepBudget_ = 0;
    if (Paused()) pacer_.SetPaused(false, clock_.NowMs());
    if (pacer_.Speed() != 1) pacer_.SetSpeed(1, clock_.NowMs());
    // The clock is set to a whole second (as a script sets it) at the next
    // whole virtual second, and the timeline puts that event point where
    // the computer's clock reaches that second; from there virtual time
    // keeps to the computer's, and the instrument's seconds turn with it.
    const uint64_t at = NextWholeSecondMs();
    const int64_t ahead = int64_t(at - clock_.NowMs()) * 1000000;
    const int64_t wall = pacer_.WallNow() + ahead;
    const int64_t second = wall > 0 ? (wall + 999999999) / 1000000000 : wall / 1000000000;
    pacer_.StartTimeline(second * 1000000000 - ahead, clock_.NowMs());
    EnqueueUtc(second, at);
}

void WindowSession::Enqueue(SessionInput::Kind kind, int64_t value) {
    if (closing_) return;
    if (splashView_) LeaveSplashView();
    history_.Cut(std::max(points_, travelTarget_));
    queue_.Push(kind, value);
    ScheduleIdle();
}

void WindowSession::WaitUntilDue() {
    for (;;) {
        if (closing_ || ShutdownRequested) return;
        int64_t wait;
        if (Paused()) {
            wait = stepBudget_ > 0 ? 0 : -1;
        } else {
            const uint64_t next = clock_.NowMs() + clock_.FrameMs();
            if (pacer_.Resynchronise(clock_.NowMs(), next, ResyncLimitNs) && following_)
                FollowComputerClock();
            wait = pacer_.WaitBeforeFrame(next);
        }
        const int64_t now = pacer_.WallNow();
        if (wait == 0) {
            // Due now: still let the window's events in every few
            // milliseconds, when running flat out or catching up.
            if (now - lastEventsNs_ >= EventsEveryNs || now < lastEventsNs_) {
                SyncDisplayVisibility();
                QCoreApplication::processEvents(QEventLoop::AllEvents);
                lastEventsNs_ = pacer_.WallNow();
                continue; // an event may have paused the clock
            }
            if (Paused()) stepBudget_--;
            return;
        }
        SyncDisplayVisibility();
        if (wait < 0) {
            PresentFrame();
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        } else if (waitHook_) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            waitHook_(wait);
        } else {
            waker_.start(int((wait + 999999) / 1000000));
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
            waker_.stop();
        }
        lastEventsNs_ = pacer_.WallNow();
    }
}

void WindowSession::ScheduleIdle() {
    if (closing_ || (PowerState != POWER_OFF && !resumeDue_)) return;
    if (Paused() && stepBudget_ == 0) {
        idleTimer_.stop();
        return;
    }
    int64_t wait = Paused() ? 0 : pacer_.WaitBeforeFrame(clock_.NowMs() + clock_.FrameMs());
    if (wait < 0) wait = 0;
    idleTimer_.start(int((wait + 999999) / 1000000));
}

void WindowSession::IdleFrame() {
    if (closing_ || (PowerState != POWER_OFF && !resumeDue_)) return;
    SyncDisplayVisibility();
    const int64_t start = pacer_.WallNow();
    for (;;) {
        if (resumeDue_ || powerOnDue_) {
            // A state put back goes on from where it stood, before the next
            // event point: a pass, or the power-on sequence.
            if (Paused() && stepBudget_ == 0) break;
            const bool powerOn = powerOnDue_;
            powerOnDue_ = false;
            if (!RunFirmware(powerOn)) return;
            break;
        }
        if (Paused()) {
            if (stepBudget_ == 0) break;
            stepBudget_--;
        } else {
            const uint64_t next = clock_.NowMs() + clock_.FrameMs();
            if (pacer_.Resynchronise(clock_.NowMs(), next, ResyncLimitNs) && following_)
                FollowComputerClock();
            if (pacer_.WaitBeforeFrame(next) > 0) break;
        }
        EventPointNow();
        if (powerOnDue_) {
            powerOnDue_ = false;
            if (!RunFirmware(true)) return;
            break;
        }
        if (closing_) return;
        const int64_t now = pacer_.WallNow();
        if (now - start >= EventsEveryNs || now < start) break;
    }
    ScheduleIdle();
}

// --- Event points -------------------------------------------------------------

void WindowSession::EventPointNow() {
    points_++;
    for (unsigned ticks = clock_.AdvanceFrame(); ticks > 0; ticks--) view_->Tick();
    delivered_.clear();
    if (points_ <= history_.End()) {
        // Going on from a past point: the session's own inputs, again.
        ReplayInputs();
    } else if (!recording_.HoldsInputs(points_)) {
        DeliverInputs();
    }
    recording_.AfterDelivery();
    if (points_ > history_.End()) {
        if (delivered_.empty())
            history_.Reach(points_);
        else
            history_.Record(points_, delivered_);
        if (history_.WantsSnapshot(points_) && PowerState != POWER_SPLASH)
            history_.AddSnapshot(CaptureSession());
    }
    if (points_ >= travelTarget_) travelTarget_ = 0;
    if (resumeAfterCatchUp_ && stepBudget_ == 0) {
        resumeAfterCatchUp_ = false;
        SetPaused(false);
    }
}

bool WindowSession::Apply(const SessionInput& in) {
    switch (in.kind) {
        case SessionInput::ON:
            // From off, ON runs the instrument until OFF: after this event
            // point, from the idle loop, as the runner does.
            if (PowerState == POWER_OFF)
                powerOnDue_ = true;
            else
                ::Button1Click();
            break;
        case SessionInput::OFF:
            ::Button2Click();
            break;
        case SessionInput::KEY:
            ::ClickKey((u8)in.value);
            break;
        case SessionInput::SENSOR:
            sensor_ = (int)in.value;
            RawSensor = (s32)in.value;
            break;
        case SessionInput::CALIBRATE:
            calibrate_ = in.value != 0;
            break;
        case SessionInput::KEYFAST:
            keyFast_ = in.value != 0;
            break;
        case SessionInput::UTC:
            clock_.SetUtc(in.value);
            return false; // setting the clock is no input: the runner reads on at once
    }
    return true;
}

void WindowSession::ReplayInputs() {
    const std::vector<SessionInput> inputs = history_.InputsAt(points_);
    bool event = false;
    for (const SessionInput& in : inputs) {
        if (in.kind == SessionInput::SENSOR && in.value == sensor_) {
            event = true;
            continue;
        }
        if (Apply(in)) event = true;
    }
    if (inputs.empty()) return;
    view_->ShowControls(sensor_, calibrate_, keyFast_);
    nextDelivery_ = points_ + (event ? 2 : 1);
}

void WindowSession::DeliverInputs() {
    if (queue_.Empty() || points_ < nextDelivery_) return;
    queue_.Begin(clock_.NowMs(), clock_.FrameMs());
    bool event = false;
    SessionInput in;
    while (!powerOnDue_ && queue_.Next(&in)) {
        if (in.kind == SessionInput::SENSOR) {
            // Only the last of several moves within one delivery matters.
            if (queue_.SensorFollows()) continue;
            // A bar back where the instrument last took it sends no change.
            if (in.value == sensor_) continue;
        }
        if (in.kind == SessionInput::CALIBRATE || in.kind == SessionInput::KEYFAST)
            in.value = in.value ? 1 : 0;
        delivered_.push_back(in);
        if (Apply(in)) event = true;
        if (in.kind == SessionInput::SENSOR) view_->ShowSensor((int)in.value);
    }
    queue_.End();
    if (delivered_.empty()) return;
    nextDelivery_ = points_ + (event ? 2 : 1);
    recording_.Delivered(points_, delivered_, event);
}

// --- Firmware runs ------------------------------------------------------------

bool WindowSession::RunFirmware(bool powerOn) {
    inFirmware_++;
    if (powerOn) {
        // Runs the power-on sequence and the main loop, and returns after
        // OFF, once the window has closed, or for a travel.
        ::Button1Click();
    } else {
        resumeDue_ = false;
        if (PowerState == POWER_ON) {
            PowerState = POWER_OFF; // as ResumeMainLoop takes it
            ::ResumeMainLoop();
        }
    }
    inFirmware_--;
    if (closing_) {
        // The window must not be touched again: leave the message loop.
        QCoreApplication::quit();
        return false;
    }
    if (loadDue_) {
        loadDue_ = false;
        travelDue_ = false;
        ShutdownRequested = 0;
        PutBackState(*loaded_);
        loaded_.reset();
        emit Message(QStringLiteral("Loaded the state."));
    }
    if (travelDue_) {
        travelDue_ = false;
        ShutdownRequested = 0;
        DoTravel(travelTarget_);
        if (!saveStateAfterTravel_.isEmpty()) {
            const QString path = saveStateAfterTravel_;
            saveStateAfterTravel_.clear();
            QString why;
            emit Message(SaveStateTo(path, &why) ? QStringLiteral("Saved the state as %1.").arg(path)
                                                 : QStringLiteral("Cannot save the state: %1").arg(why));
        }
        if (!saveAfterTravel_.isEmpty()) {
            const QString path = saveAfterTravel_;
            saveAfterTravel_.clear();
            WriteSession(path);
        }
    }
    return true;
}

void WindowSession::EndFirmwareLoops() {
    RequestShutdown();
    idleTimer_.stop();
}

void WindowSession::PutBackState(const InstrumentSnapshot& saved) {
    RestoreInstrument(saved);
    clock_.SetNowMs(saved.host.virtualMs);
    clock_.SetUtcMs(saved.host.hostUtcMs);
    clock_.SetFrameMs(saved.host.frameMs);
    following_ = false;
    queue_.DropUtc();
    if (!Paused()) pacer_.StartTimeline(pacer_.WallNow(), clock_.NowMs());
    // The controls as they were, without passing them to the instrument as
    // inputs: the instrument's own values came back with it.
    view_->ShowControls(saved.host.trackBar, saved.host.calibrate, saved.host.keyFast);
    calibrate_ = saved.host.calibrate;
    keyFast_ = saved.host.keyFast;
    SetLampColour(saved.host.lamp);
    displayWanted_ = true;
    std::memcpy(lastFrame_, FrameBuffer, sizeof lastFrame_);
    frameDirty_ = true;
    PresentFrame();
    sensor_ = saved.host.trackBar;
    stateLoaded_ = true;
    resumeDue_ = PowerState == POWER_ON;
    powerOnDue_ = false;
    // The session starts again here: the state as loaded.
    history_.Start(CaptureSession());
    ScheduleIdle();
}

void WindowSession::RestartAtProgramStart() {
    ResetInstrumentState();
    std::memset(HookCalls, 0, sizeof HookCalls);
    LcdClear();
    std::memset(lastFrame_, 0, sizeof lastFrame_);
    frameDirty_ = std::memcmp(lastFrame_, shownFrame_, sizeof lastFrame_) != 0;
    PresentFrame();
    SetLampColour(LAMP_BRIGHT);
    calibrate_ = keyFast_ = false;
    clock_ = SimClock();
    points_ = 0;
    nextDelivery_ = 0;
    sensor_ = 2048;
    splashView_ = false;
    travelTarget_ = 0;
    history_.Start(CaptureSession());
    if (!Paused()) pacer_.StartTimeline(pacer_.WallNow(), 0);
}

// --- The panel ----------------------------------------------------------------

void WindowSession::RenderLcd() {
    if (closing_) return;
    std::memcpy(lastFrame_, FrameBuffer, sizeof lastFrame_);
    // Most passes draw what is already on screen: nothing to paint then.
    frameDirty_ = frameDirty_ || std::memcmp(lastFrame_, shownFrame_, sizeof lastFrame_) != 0;
    if (!frameDirty_) return;
    if (pacer_.Fastest() && !Paused()) {
        const int64_t now = pacer_.WallNow();
        if (now - lastPresentNs_ < PresentEveryNs && now >= lastPresentNs_) return;
    }
    PresentFrame();
}

void WindowSession::PresentFrame() {
    if (!frameDirty_ || closing_) return;
    view_->PaintDisplay(lastFrame_);
    std::memcpy(shownFrame_, lastFrame_, sizeof shownFrame_);
    frameDirty_ = false;
    repaints_++;
    lastPresentNs_ = pacer_.WallNow();
}

void WindowSession::PumpEvents() {
    if (closing_) return;
    WaitUntilDue();
    if (closing_ || ShutdownRequested) return;
    EventPointNow();
}

void WindowSession::SetLampColour(u32 colour) {
    if (closing_) return;
    lamp_ = colour;
    view_->ShowLamp(colour);
}

void WindowSession::ShowDisplay(u8 visible) {
    // Hiding the image only matters if the window handles events while it
    // is hidden; the pass shows it again before it hands over to the host,
    // so usually nothing changes on screen and nothing is repainted.
    displayWanted_ = visible != 0;
}

void WindowSession::SyncDisplayVisibility() { view_->ShowDisplayImage(displayWanted_); }
