#include "WindowSession.h"

#include "FormView.h"
#include "SessionScript.h"
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
    : view_(view), recording_(this, view), pacer_(wall, wallContext) {
    waker_.setSingleShot(true);
    waker_.setTimerType(Qt::PreciseTimer);
    idleTimer_.setSingleShot(true);
    idleTimer_.setTimerType(Qt::PreciseTimer);
    connect(&idleTimer_, &QTimer::timeout, this, &WindowSession::IdleFrame);
    SimPanel::Hooks hooks;
    hooks.eventPoint = [this] { PumpEvents(); };
    hooks.rendered = [this](bool) { Rendered(); };
    hooks.lampChanged = [this](u32 colour) {
        if (!closing_) view_->ShowLamp(colour);
    };
    panel_.SetHooks(hooks);
    panel_.Attach();
    // Until told otherwise the host clock is the computer's.
    FollowComputerClock();
    history_.Start(CaptureSession());
}

WindowSession::~WindowSession() {
    // The panel detaches, if still attached; nothing reaches this one after.
    closing_ = true;
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
    pacer_.SetSpeed(speed, panel_.Time().NowMs());
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
    pacer_.SetPaused(paused, panel_.Time().NowMs());
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
        if (!Paused()) pacer_.StartTimeline(pacer_.WallNow(), panel_.Time().NowMs());
    }
    EnqueueUtc(seconds, NextWholeSecondMs());
}

int64_t WindowSession::ShownUtcSeconds() const {
    int64_t seconds;
    uint64_t atMs;
    if (queue_.WaitingUtc(&seconds, &atMs)) {
        const int64_t early = atMs > panel_.Time().NowMs() ? int64_t(atMs - panel_.Time().NowMs()) : 0;
        const int64_t ms = seconds * 1000 - early;
        return ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
    }
    return panel_.Time().UtcSeconds();
}

uint64_t WindowSession::NextWholeSecondMs() const {
    return (panel_.Time().NowMs() + panel_.Time().FrameMs() + 999) / 1000 * 1000;
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
    if (Paused()) pacer_.SetPaused(false, panel_.Time().NowMs());
    if (pacer_.Speed() != 1) pacer_.SetSpeed(1, panel_.Time().NowMs());
    // The clock is set to a whole second (as a script sets it) at the next
    // whole virtual second, and the timeline puts that event point where
    // the computer's clock reaches that second; from there virtual time
    // keeps to the computer's, and the instrument's seconds turn with it.
    const uint64_t at = NextWholeSecondMs();
    const int64_t ahead = int64_t(at - panel_.Time().NowMs()) * 1000000;
    const int64_t wall = pacer_.WallNow() + ahead;
    const int64_t second = wall > 0 ? (wall + 999999999) / 1000000000 : wall / 1000000000;
    pacer_.StartTimeline(second * 1000000000 - ahead, panel_.Time().NowMs());
    EnqueueUtc(second, at);
}

void WindowSession::Enqueue(PanelInput::Kind kind, int64_t value) {
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
            const uint64_t next = panel_.Time().NowMs() + panel_.Time().FrameMs();
            if (pacer_.Resynchronise(panel_.Time().NowMs(), next, ResyncLimitNs) && following_)
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
    int64_t wait = Paused() ? 0 : pacer_.WaitBeforeFrame(panel_.Time().NowMs() + panel_.Time().FrameMs());
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
            const uint64_t next = panel_.Time().NowMs() + panel_.Time().FrameMs();
            if (pacer_.Resynchronise(panel_.Time().NowMs(), next, ResyncLimitNs) && following_)
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
    for (unsigned ticks = panel_.Time().AdvanceFrame(); ticks > 0; ticks--) view_->Tick();
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

bool WindowSession::Apply(const PanelInput& in) {
    // From off, ON runs the instrument until OFF: after this event point,
    // from the idle loop, as the runner does.
    if (in.kind == PanelInput::ON && PowerState == POWER_OFF) {
        powerOnDue_ = true;
        return true;
    }
    panel_.Apply(in);
    // Setting the clock is no input: the runner reads on at once.
    return in.kind != PanelInput::UTC;
}

void WindowSession::ReplayInputs() {
    const std::vector<PanelInput> inputs = history_.InputsAt(points_);
    bool event = false;
    for (const PanelInput& in : inputs)
        if (Apply(in)) event = true;
    if (inputs.empty()) return;
    view_->ShowControls(panel_.TrackBar(), panel_.Calibrate(), panel_.KeyFast());
    view_->ShowLabel15(panel_.Label15());
    nextDelivery_ = points_ + (event ? 2 : 1);
}

void WindowSession::DeliverInputs() {
    if (queue_.Empty() || points_ < nextDelivery_) return;
    queue_.Begin(panel_.Time().NowMs(), panel_.Time().FrameMs());
    bool event = false;
    PanelInput in;
    while (!powerOnDue_ && queue_.Next(&in)) {
        if (in.kind == PanelInput::SENSOR) {
            // Only the last of several moves within one delivery matters.
            if (queue_.SensorFollows()) continue;
            // A bar back where the instrument last took it sends no change.
            if (in.value == panel_.TrackBar()) continue;
        }
        if (in.kind == PanelInput::CALIBRATE || in.kind == PanelInput::KEYFAST) in.value = in.value ? 1 : 0;
        delivered_.push_back(in);
        if (Apply(in)) event = true;
        if (in.kind == PanelInput::SENSOR) view_->ShowLabel15(panel_.Label15());
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
    panel_.PutBack(saved.host);
    following_ = false;
    queue_.DropUtc();
    if (!Paused()) pacer_.StartTimeline(pacer_.WallNow(), panel_.Time().NowMs());
    // The controls as they were, without passing them to the instrument as
    // inputs: the instrument's own values came back with it.
    ShowPanel();
    frameDirty_ = true;
    PresentFrame();
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
    panel_.Reset();
    panel_.Time() = VirtualClock();
    // The controls stay as the user left them: a recording takes them as its
    // first inputs. The lamp shows its colour of program start.
    if (!closing_) view_->ShowLamp(panel_.Lamp());
    frameDirty_ = std::memcmp(panel_.Frame(), shownFrame_, sizeof shownFrame_) != 0;
    PresentFrame();
    points_ = 0;
    nextDelivery_ = 0;
    splashView_ = false;
    travelTarget_ = 0;
    history_.Start(CaptureSession());
    if (!Paused()) pacer_.StartTimeline(pacer_.WallNow(), 0);
}

bool WindowSession::AtRestingPoint() const {
    return inFirmware_ == 0 && PowerState != POWER_SPLASH && !powerOnDue_;
}

void WindowSession::StopShowingThePast() {
    splashView_ = false;
    travelTarget_ = 0;
}

void WindowSession::RunAtLeast(unsigned points) {
    if (Paused() && stepBudget_ < points) stepBudget_ = points;
    ScheduleIdle();
}

void WindowSession::ShowPanel() {
    view_->ShowControls(panel_.TrackBar(), panel_.Calibrate(), panel_.KeyFast());
    view_->ShowLabel15(panel_.Label15());
    if (!closing_) view_->ShowLamp(panel_.Lamp());
}

// --- The panel ----------------------------------------------------------------

void WindowSession::Rendered() {
    if (closing_) return;
    // Most passes draw what is already on screen: nothing to paint then.
    frameDirty_ = frameDirty_ || std::memcmp(panel_.Frame(), shownFrame_, sizeof shownFrame_) != 0;
    if (!frameDirty_) return;
    if (pacer_.Fastest() && !Paused()) {
        const int64_t now = pacer_.WallNow();
        if (now - lastPresentNs_ < PresentEveryNs && now >= lastPresentNs_) return;
    }
    PresentFrame();
}

void WindowSession::PresentFrame() {
    if (!frameDirty_ || closing_) return;
    view_->PaintDisplay(panel_);
    std::memcpy(shownFrame_, panel_.Frame(), sizeof shownFrame_);
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

// Hiding the image only matters if the window handles events while it is
// hidden; the pass shows it again before it hands over to the host, so
// usually nothing changes on screen and nothing is repainted.
void WindowSession::SyncDisplayVisibility() { view_->ShowDisplayImage(panel_.DisplayVisible()); }
