#include "SessionRecording.h"

#include "FormView.h"
#include "Recorder.h"
#include "WindowSession.h"
#include "script/ScriptCommands.h"
#include "state/StateFile.h"

#include <algorithm>
#include <cstdio>

bool SessionRecording::Start(Recorder* recorder) {
    if (!recorder) return true;
    if (recorder_) return false;
    WindowSession& s = *session_;
    if (PowerState != POWER_OFF || s.stateLoaded_) {
        // From here: the state as it stands is where the replay starts.
        recorder_ = recorder;
        stopping_ = false;
        s.splashView_ = false;
        s.travelTarget_ = 0;
        fromHereDue_ = true;
        if (s.inFirmware_ == 0 && PowerState != POWER_SPLASH && !s.powerOnDue_) {
            BeginFromHere(); // the variables stand at the point shown
        } else if (s.Paused()) {
            s.stepBudget_ = std::max(s.stepBudget_, 1u); // at the next event point, after the splash
            s.ScheduleIdle();
        }
        return true;
    }
    // The clock the user set (or the computer's) is kept.
    const int64_t keptUtc = s.ShownUtcSeconds();
    base_ = 0;
    s.RestartAtProgramStart();
    stopping_ = false;
    recorder_ = recorder;
    if (!recorder_->Begin()) {
        Failed();
        return true;
    }
    // The replay starts with the track bar at 2048 and both boxes clear.
    const std::deque<PanelInput> earlier = s.queue_.TakeAll();
    const FormView& view = *s.view_;
    if (view.TrackBarPosition() != 2048) s.Enqueue(PanelInput::SENSOR, view.TrackBarPosition());
    if (view.CalibrateBox()) s.Enqueue(PanelInput::CALIBRATE, 1);
    if (view.KeyFastBox()) s.Enqueue(PanelInput::KEYFAST, 1);
    int64_t utc = -1;
    for (const PanelInput& in : earlier) {
        if (in.kind == PanelInput::UTC)
            utc = in.value;
        else if (in.kind != PanelInput::SENSOR && in.kind != PanelInput::CALIBRATE &&
                 in.kind != PanelInput::KEYFAST)
            s.queue_.Push(in.kind, in.value); // the controls' state now stands for those
    }
    // The host clock is set at the first event point, to a whole second.
    if (s.following_)
        s.FollowComputerClock();
    else
        s.SetUtc(utc >= 0 ? utc : keptUtc);
    s.ScheduleIdle();
    return true;
}

void SessionRecording::BeginFromHere() {
    WindowSession& s = *session_;
    fromHereDue_ = false;
    // The session's event point points_ is the replay's first, where the
    // scenario's first line loads the state.
    base_ = s.points_ - 1;
    const std::string statePath = Recorder::StartStatePath(recorder_->Path());
    std::string why;
    const size_t slash = statePath.rfind('/');
    if (!recorder_->Begin() || !WriteStateFile(statePath, CaptureInstrument(s.panel_.Snapshot()), &why) ||
        !recorder_->Line(
            1,
            {FormatCommand(ScriptCommandKind::LOAD_STATE,
                           {slash == std::string::npos ? statePath : statePath.substr(slash + 1)})},
            false)) {
        if (recorder_->Error().empty()) {
            Abandon(why);
            return;
        }
        Failed();
    }
}

void SessionRecording::Stop() {
    if (!recorder_ || stopping_) return;
    WindowSession& s = *session_;
    stopping_ = true;
    // The closing lines need the event point where the replay reads them.
    if (fromHereDue_) {
        // Nothing was recorded yet: there is nothing to end.
        recorder_ = nullptr;
        fromHereDue_ = false;
        emit Ended();
        return;
    }
    if (s.Paused() && recorder_->ReadPoint() > s.points_ - base_) {
        const uint64_t more = recorder_->ReadPoint() - (s.points_ - base_);
        if (s.stepBudget_ < more) s.stepBudget_ = unsigned(more);
    }
    s.ScheduleIdle();
}

bool SessionRecording::CloseWhenEnded() {
    if (!recorder_ || session_->Closing()) return false;
    closeWhenEnded_ = true;
    Stop();
    return true;
}

bool SessionRecording::HoldsInputs(uint64_t point) {
    if (!recorder_ || !stopping_) return false;
    // The replay reads the closing lines where it would read the next
    // input; inputs wait until the recording has ended.
    if (point - base_ >= recorder_->ReadPoint()) End();
    return true;
}

void SessionRecording::Delivered(uint64_t point, const std::vector<PanelInput>& inputs, bool event) {
    if (!recorder_ || fromHereDue_) return;
    std::vector<std::string> line;
    for (const PanelInput& in : inputs) line.push_back(InputCommand(in));
    if (!recorder_->Line(point - base_, line, event)) Failed();
}

void SessionRecording::AfterDelivery() {
    if (fromHereDue_ && recorder_ && PowerState != POWER_SPLASH && !session_->powerOnDue_) BeginFromHere();
}

void SessionRecording::End() {
    WindowSession& s = *session_;
    Recorder* recorder = recorder_;
    recorder_ = nullptr;
    stopping_ = false;
    if (!recorder->End(s.points_ - base_, RecordedState(s.panel_.Label15(), s.panel_.Lamp()),
                       s.panel_.Frame())) {
        recorder_ = recorder;
        Failed();
        return;
    }
    emit Ended();
    if (closeWhenEnded_) s.view_->CloseSoon();
}

void SessionRecording::Failed() {
    stopping_ = false;
    Abandon(recorder_->Error());
}

void SessionRecording::Abandon(const std::string& error) {
    error_ = error;
    std::fprintf(stderr, "tmx5: %s\n", error_.c_str());
    recorder_ = nullptr;
    emit Ended();
    if (closeOnError_) session_->view_->CloseSoon();
}
