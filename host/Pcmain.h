// The simulator window: the instrument's face with its lamp, display and
// three button areas, and the controls that stand in for the instrument's
// surroundings (power, knob, sensor, the two check boxes).
//
// The window runs the instrument on the simulated clock (sim/SimClock.h), as
// the headless runner does: virtual time moves one frame period at each
// event point (every PumpEvents, every splash frame's, and one per idle frame
// while the instrument is off), the 100 ms tick fires on virtual time, and
// the host clock reads a start UTC plus virtual time. A Pacer decides when
// the next event point may run against the wall clock: at 1x it follows the
// computer's clock, faster or paused as the simulator controls ask.
//
// Inputs (clicks, keys, the wheel, the track bar, the check boxes, a new
// UTC) wait in a queue and reach the instrument at an event point, in the
// order they came; after a delivery that held an input the next comes two
// event points later at the earliest. That is exactly how `tmx5 run` reads a
// script, so a recording replays pass for pass.
//
// The controls keep the window's own names and are public, as a form's
// fields are, so that tests and the host panel can reach them. Each event
// handler is a slot of the same name as the firmware handler it calls.
#pragma once

#include "runtime/HostPanel.h"
#include "sim/SessionHistory.h"
#include "sim/SimClock.h"

#include <QColor>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;
class QSlider;
class QStatusBar;
class QKeyEvent;
class QContextMenuEvent;
class QImage;
class LampShape;
class ClickArea;
class CanvasImage;
class Recorder;
struct InstrumentSnapshot;

class TForm1 : public QWidget {
    Q_OBJECT
public:
    // wall: the pacer's wall clock, the computer's UTC in nanoseconds (a test
    // passes a fake one, together with SetWaitHook).
    explicit TForm1(QWidget* parent = nullptr, Pacer::WallClock wall = Pacer::SystemNanoseconds,
                    void* wallContext = nullptr);
    ~TForm1() override;

    // In creation order: later controls lie on top of earlier ones.
    QLabel* Image2;
    QLabel* Label15;
    LampShape* Shape1;
    ClickArea* Image3;
    ClickArea* Image5;
    ClickArea* Image6;
    QLabel* Label11;
    QPushButton* Button1;
    QPushButton* Button2;
    QSlider* TrackBar6;
    QStatusBar* StatusBar1;
    QFrame* Panel1;
    CanvasImage* Image1;
    QCheckBox* CheckBox2;
    QCheckBox* CheckBox3;
    QPushButton* Button3;
    QPushButton* Button4;
    QTimer* Timer1;

    // --- What the firmware asks of the window (see WindowPanel.cpp) ---------
    // Copies FrameBuffer into Image1, each display pixel as a 2 x 2 block.
    void RenderLcd();
    // Handles window events until the pacer lets the next event point run
    // (never while paused, unless a step allows it), then runs it.
    void PumpEvents();
    // Colour word with red in the low byte, then green, then blue.
    void SetLampColour(u32 colour);
    void ShowDisplay(u8 visible);
    u8 CalibrateChecked() const;
    u8 KeyFastChecked() const;

    // An unlit display pixel: the palette's inactive window colour.
    QColor UnlitColour() const;
    // True once the window has started closing; no event is handled after.
    bool Closing() const { return closing_; }

    // Records every input from now on (recorder may be null: no recording).
    // While the instrument is off (and no state was loaded), the instrument
    // goes back to program start and virtual time to 0, as a replay starts,
    // and the host clock is set anew at the first event point to what it
    // read (the computer's clock when following it). While it is on, or
    // after a loaded state, the recording starts from the state as it
    // stands (at the next event point, after the splash, when the loop is
    // running): that state is written beside the scenario as
    // NAME.start.state and the scenario's first line loads it. Returns
    // false while a recording runs.
    // The recorder must outlive the window or be stopped first.
    bool StartRecording(Recorder* recorder);
    // Ends the recording at the event point where its replay would read the
    // next line (at most two event points on, stepped to while paused): the
    // state there and its frame. RecordingEnded follows. Inputs that come
    // meanwhile wait for the end.
    void StopRecording();
    // With --record: a recording that cannot be written closes the window.
    void SetCloseOnRecordError(bool close) { closeOnRecordError_ = close; }
    Recorder* Recording() const { return recorder_; }
    // The session began from a loaded state (--load-state, Load state...).
    bool StateLoaded() const { return stateLoaded_; }
    // Set when a recording could not be written (the window then closes).
    const std::string& RecordError() const { return recordError_; }

    // --- Simulation -----------------------------------------------------------
    const SimClock& Sim() const { return clock_; }
    const Pacer& Pace() const { return pacer_; }
    // Event points since the window (or the last recording) started.
    uint64_t EventPoints() const { return points_; }
    // Virtual milliseconds per wall millisecond; 0 runs as fast as the
    // machine goes (the display is then repainted at most 60 times a wall
    // second). Leaves following the computer's clock unless 1.
    void SetSpeed(double speed);
    // While paused no event point runs, so no pass and no tick; inputs wait.
    void SetPaused(bool paused);
    bool Paused() const { return pacer_.Paused(); }
    // While paused: lets n event points run (one pass each while on).
    void Step(unsigned points);
    void StepPass() { Step(1); }
    void StepSecond();
    // What the host clock reads now, in whole seconds, or, while a new UTC
    // waits for its event point, what it will read then, counted back to
    // now: what a UTC field shows and sends back.
    qint64 ShownUtcSeconds() const;
    // The host clock reads seconds (UTC since 1970) from the next event
    // point on; leaves following the computer's clock.
    void SetUtc(qint64 seconds);
    // 1x, not paused, the host clock set to the computer's at the next whole
    // second, and kept to it from then on.
    void FollowComputerClock();
    bool Following() const { return following_; }
    // Tests: called instead of waiting for the wall clock, with the
    // nanoseconds the pacer asks to wait (the fake clock moves on by them).
    void SetWaitHook(std::function<void(qint64)> hook) { waitHook_ = std::move(hook); }
    // One step of the idle loop while the instrument is off: runs the event
    // points that are due (at least one when due), then schedules the next.
    void IdleFrame();
    // The frame last rendered, and the one last painted into Image1.
    const u8* LastFrame() const { return lastFrame_; }
    const u8* ShownFrame() const { return shownFrame_; }
    // Paints the last rendered frame now if it is not on screen yet.
    void PresentFrame();
    quint64 Repaints() const { return repaints_; }
    u32 LampColour() const { return lamp_; }
    // Inputs not yet delivered to the instrument.
    size_t PendingInputs() const { return pending_.size(); }

    // Puts a saved state back (tmx5 --load-state): the instrument, the
    // simulated clock, the track bar, the check boxes, the lamp and the
    // frame. A powered-on instrument resumes its main loop at the next
    // event point (none while paused). The host clock runs on from the
    // saved UTC, no longer following the computer's.
    void PutBackState(const InstrumentSnapshot& saved);

    // Writes the display as a 228 x 128 PNG and the window as a PNG into
    // folder; returns the two paths (empty strings when a file failed).
    std::pair<QString, QString> SaveScreenshots(const QString& folder) const;
    // Writes the face alone (310 x 310, with the display and the lamp as
    // shown) as a PNG into folder; returns its path (empty when it failed).
    QString SaveFaceScreenshot(const QString& folder) const;

    // --- Going back and forward ---------------------------------------------
    // Every input of the session and snapshots of it, from program start (or
    // the loaded state, or the start of a recording).
    const SessionHistory& History() const { return history_; }
    // Pauses and goes to event point point of the session (clamped to it),
    // showing what the instrument showed there: the frame, the lamp, the
    // track bar and its label, the check boxes and every state value, as a
    // save-state at that point writes them. Going on from there runs the
    // recorded inputs again, until a new input cuts the old future.
    void TravelTo(uint64_t point);
    void BackPass();
    void BackSecond();
    // Forward within the recorded session travels; at its end it steps.
    void ForwardPass();
    void ForwardSecond();
    // Event points in a second of virtual time.
    unsigned PointsPerSecond() const { return (1000 + clock_.FrameMs() - 1) / clock_.FrameMs(); }
    // Writes the session from its start to the point shown (after pausing
    // and ending the firmware's loop, at the point shown) as a scenario that
    // `tmx5 run` replays exactly, ending with `expect` lines for the state
    // and an `expect-frame` of the frame there (PATH without .tmx, plus
    // .last.pbm). A session that began from a loaded state writes that
    // state beside the scenario (PATH without .tmx, plus .start.state) and
    // loads it on the first line. The point where the runner cannot read a
    // line (the pass right after an input) is saved one pass earlier.
    // SessionSaved reports the outcome (at once, or once the loop ended).
    void SaveSession(const QString& path);
    // The state at the point shown, in the state-file format scripts use
    // (pauses; not in the splash). False with the reason in *error. While
    // the firmware's loop runs, the file is written once the loop has ended
    // (Message says so).
    bool SaveStateTo(const QString& path, QString* error);
    // Reads a state file and puts it back, as --load-state does (the
    // session starts again there). A bad file is refused with its line and
    // reason in *error, and the instrument is left as it was.
    bool LoadStateFrom(const QString& path, QString* error);
    // The same three after asking for the file; the outcome goes to Message.
    void SaveSessionAs();
    void SaveStateAs();
    void LoadStateAs();
    // The version, the keys and where the README is.
    void ShowAbout();
    // The display at 2x as a picture (what Copy puts on the clipboard).
    QImage DisplayPicture() const;
    // The keys that work in both windows (Ctrl+Left and Right, with Shift,
    // and Ctrl+P); true when the key was one of them.
    bool HandleTravelKey(QKeyEvent* e);

signals:
    // The simulator controls window was asked for (F12, Ctrl+T).
    void ToolsRequested();
    // A session was saved (ok) or could not be (message says why).
    void SessionSaved(bool ok, const QString& message);
    // Something to tell the user (saved, loaded, or why not).
    void Message(const QString& text);
    // The context menu asked for the controls' screenshot or recording.
    void ScreenshotRequested();
    void RecordRequested();
    // A travel key was used (the controls show the new point).
    void TravelKeyUsed();
    // A recording ended (stopped, or failed: see RecordError).
    void RecordingEnded();

public slots:
    void Button1Click();
    void Button2Click();
    void Timer1Timer();
    void TrackBar6Change(int position);
    void Image3Click();
    void Image5Click();
    void Image6Click();
    void Button3Click();
    void Button4Click();
    // The check boxes have no handler of their own in the instrument (the
    // loop reads them every pass); these only record a change.
    void CheckBox2Change(bool checked);
    void CheckBox3Change(bool checked);

protected:
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    struct Input {
        enum Kind { ON, OFF, KEY, SENSOR, CALIBRATE, KEYFAST, UTC } kind;
        qint64 value;
        uint64_t notBeforeMs; // a new UTC waits for this virtual time
    };
    // The first whole virtual second after the next event point: where the
    // once-a-second reads fall (the tick counts seconds from program start),
    // so a clock set there reads whole seconds.
    uint64_t NextWholeSecondMs() const;
    void EnqueueUtc(qint64 seconds, uint64_t atMs);
    void Enqueue(Input::Kind kind, qint64 value = 0);
    // Waits (handling window events) until the next event point may run.
    void WaitUntilDue();
    // One event point: a frame period of virtual time, the ticks that fell
    // due, then the inputs whose turn it is.
    void EventPointNow();
    void DeliverInputs();
    void ScheduleIdle();
    void SyncDisplayVisibility();
    void EndRecording();
    void RecordFailed();
    static u8 ClockNow(void* context, s64* seconds);
    // The instrument and the panel as they stand, for the history.
    SessionState CaptureSession() const;
    // Puts a state of the history back and shows it.
    void PutBackSession(const SessionState& s);
    void DoTravel(uint64_t point);
    // The event point whose frame is on screen.
    uint64_t ShownPoint() const;
    // The point a session can be saved at, at or before point.
    uint64_t SavePointFor(uint64_t point) const;
    void WriteSession(const QString& path);
    QString saveAfterTravel_;
    QString saveStateAfterTravel_; // a state to save once the firmware's loops have ended
    // Starts a recording from the state as it stands (Record from here).
    void BeginFromHere();
    bool loadDue_ = false; // put loaded_ back once the firmware's loops have ended
    std::unique_ptr<InstrumentSnapshot> loaded_;
    bool stateLoaded_ = false;       // the session began from a loaded state
    bool recordFromHereDue_ = false; // a recording from here starts at the next event point
    uint64_t recordBase_ = 0; // the window's event point before the replay's first // a session to save once
                              // the firmware's loops have ended
    // Runs the firmware from the idle loop (ON from off, or a state put
    // back), and whatever travel asked for while it ran. False once the
    // window has closed.
    bool RunFirmware(bool powerOn);
    // After travelling into the splash: go on from the power-on before it,
    // re-running up to the point shown (stepped, paused).
    void LeaveSplashView();
    // Delivers the recorded inputs of the current event point again.
    void ReplayInputs();
    void SetControlsQuietly(int trackBar, bool calibrate, bool keyFast);

    SessionHistory history_;
    std::vector<SessionInput> delivered_; // what this event point delivered
    int inFirmware_ = 0;                  // the firmware's loop is on the stack
    bool travelDue_ = false;              // travel once the firmware's loops have ended
    uint64_t travelTarget_ = 0;
    bool splashView_ = false; // showing a point in the splash, travelled to
    uint64_t splashTo_ = 0;
    bool resumeAfterCatchUp_ = false;
    int sensor_ = 2048; // the track bar's position as the instrument last took it

    bool closing_ = false;
    Recorder* recorder_ = nullptr;
    std::string recordError_;
    bool stopRecording_ = false;     // end at the next event point the replay reads a line
    bool closeWhenRecorded_ = false; // the window closes once the recording has ended
    bool closeOnRecordError_ = false;
    int wheelRemainder_ = 0; // eighths of a degree not yet turned into notches

    SimClock clock_;
    Pacer pacer_;
    bool following_ = false;
    qint64 followSecond_ = 0; // the whole second a follow set the clock to
    std::function<void(qint64)> waitHook_;
    QTimer waker_;             // ends a wait for the pacer
    QTimer idleTimer_;         // the idle loop while the instrument is off
    qint64 lastEventsNs_ = 0;  // when window events were last handled (Fastest)
    qint64 lastPresentNs_ = 0; // when a frame was last painted
    uint64_t points_ = 0;
    uint64_t nextDelivery_ = 0; // the first event point inputs may reach
    unsigned stepBudget_ = 0;   // event points a step still lets run
    bool powerOnDue_ = false;   // ON was delivered while off: run it after the event point
    bool resumeDue_ = false;    // a powered-on state was put back: resume its loop
    std::deque<Input> pending_;

    // What the instrument last set or read through the panel.
    bool calibrate_ = false;
    bool keyFast_ = false;
    bool displayWanted_ = true;
    u32 lamp_ = 0xFF;
    u8 lastFrame_[912] = {};
    u8 shownFrame_[912] = {};
    bool frameDirty_ = false;
    quint64 repaints_ = 0;

    HostPanel panel_;     // the firmware's calls into this form, attached while it lives
    HostClock hostClock_; // the host clock, read off the simulated clock
};
