// A recording of the window's session (tmx5 --record, Record... in the
// simulator controls) as it happens, written by a Recorder (Recorder.h).
//
// Started while the instrument is off (and no state was loaded), the
// instrument goes back to program start and virtual time to 0, as a replay
// starts, and the host clock is set anew at the first event point to what it
// read (the computer's clock when following it). Started while it is on, or
// after a loaded state, the recording starts from the state as it stands (at
// the next event point, after the splash, when the loop is running): that
// state is written beside the scenario as NAME.start.state and the
// scenario's first line loads it.
//
// The session tells the recording about each event point: the inputs it
// delivered go on a line; once a stop was asked for, inputs wait until the
// event point where the replay reads the closing lines, where the recording
// ends with the state there and its frame.
#pragma once

#include "sim/SessionHistory.h"

#include <QObject>

#include <cstdint>
#include <string>
#include <vector>

class FormView;
class Recorder;
class WindowSession;

class SessionRecording : public QObject {
    Q_OBJECT
public:
    // view: the form, for the controls as the user left them (a recording
    // from program start takes them as its first inputs) and to close it.
    SessionRecording(WindowSession* session, FormView* view) : session_(session), view_(view) {}

    // Records every input from now on (recorder may be null: no recording).
    // False while a recording runs. The recorder must outlive the session or
    // be stopped first.
    bool Start(Recorder* recorder);
    // Ends the recording at the event point where its replay would read the
    // next line (at most two event points on, stepped to while paused): the
    // state there and its frame. Ended follows. Inputs that come meanwhile
    // wait for the end.
    void Stop();
    // The recorder of the running recording, or null.
    Recorder* Active() const { return recorder_; }
    // With --record: a recording that cannot be written closes the window.
    void SetCloseOnError(bool close) { closeOnError_ = close; }
    // Set when a recording could not be written (the window then closes).
    const std::string& Error() const { return error_; }
    // The window was asked to close: true when it must wait for the
    // recording's closing lines, after which it closes.
    bool CloseWhenEnded();

    // --- Called by the session at each event point (not while replaying) ---
    // True when the inputs must wait (a stop was asked for); ends the
    // recording at the event point where the replay reads the next line.
    bool HoldsInputs(uint64_t point);
    // The inputs delivered at point; event: one of them is an input.
    void Delivered(uint64_t point, const std::vector<PanelInput>& inputs, bool event);
    // After the delivery: a recording from here starts once the loop runs.
    void AfterDelivery();

signals:
    // A recording ended (stopped, or failed: see Error).
    void Ended();

private:
    // Starts a recording from the state as it stands (Record from here).
    void BeginFromHere();
    void End();
    void Failed();
    // The recording cannot go on: error is why, said on standard error.
    void Abandon(const std::string& error);

    WindowSession* session_;
    FormView* view_;
    Recorder* recorder_ = nullptr;
    std::string error_;
    bool stopping_ = false;       // end at the next event point the replay reads a line
    bool closeWhenEnded_ = false; // the window closes once the recording has ended
    bool closeOnError_ = false;
    bool fromHereDue_ = false; // a recording from here starts at the next event point
    uint64_t base_ = 0;        // the session's event point before the replay's first
};
