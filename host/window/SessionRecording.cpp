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
    if (PowerState != POWER_OFF || s.StateLoaded()) {
        // From here: the state as it stands is where the replay starts.
        recorder_ = recorder;
        stopping_ = false;
        s.StopShowingThePast();
        fromHereDue_ = true;
        if (s.AtRestingPoint())
            BeginFromHere(); // the variables stand at the point shown
        else if (s.Paused())
            s.RunAtLeast(1); // at the next event point, after the splash
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
    const std::deque<PanelInput> earlier = s.TakeQueuedInputs();
    if (view_->TrackBarPosition() != 2048) s.Enqueue(PanelInput::SENSOR, view_->TrackBarPosition());
    if (view_->CalibrateBox()) s.Enqueue(PanelInput::CALIBRATE, 1);
    if (view_->KeyFastBox()) s.Enqueue(PanelInput::KEYFAST, 1);
    int64_t utc = -1;
    for (const PanelInput& in : earlier) {
        if (in.kind == PanelInput::UTC)
            utc = in.value;
        else if (in.kind != PanelInput::SENSOR && in.kind != PanelInput::CALIBRATE &&
                 in.kind != PanelInput::KEYFAST)
            s.Enqueue(in.kind, in.value); // the controls' state now stands for those
    }
    // The host clock is set at the first event point, to a whole second
    // (which schedules that event point).
    if (s.Following())
        s.FollowComputerClock();
    else
        s.SetUtc(utc >= 0 ? utc : keptUtc);
    return true;
}

void SessionRecording::BeginFromHere() {
    WindowSession& s = *session_;
    fromHereDue_ = false;
    // The session's event point points_ is the replay's first, where the
    // scenario's first line loads the state.
    base_ = s.EventPoints() - 1;
    const std::string statePath = Recorder::StartStatePath(recorder_->Path());
    std::string why;
    const size_t slash = statePath.rfind('/');
    if (!recorder_->Begin() || !WriteStateFile(statePath, CaptureInstrument(s.Panel().Snapshot()), &why) ||
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
    const uint64_t at = s.EventPoints() - base_;
    s.RunAtLeast(recorder_->ReadPoint() > at ? unsigned(recorder_->ReadPoint() - at) : 0);
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
    if (fromHereDue_ && recorder_ && PowerState != POWER_SPLASH && !session_->PowerOnDue()) BeginFromHere();
}

void SessionRecording::End() {
    WindowSession& s = *session_;
    Recorder* recorder = recorder_;
    recorder_ = nullptr;
    stopping_ = false;
    const SimPanel& shown = s.Panel();
    if (!recorder->End(s.EventPoints() - base_, RecordedState(shown.Label15(), shown.Lamp()),
                       shown.Frame())) {
        recorder_ = recorder;
        Failed();
        return;
    }
    emit Ended();
    if (closeWhenEnded_) view_->CloseSoon();
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
    if (closeOnError_) view_->CloseSoon();
}
