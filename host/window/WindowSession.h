// The window's session: the instrument run on the simulated clock, paced to
// the wall clock, with its inputs, its history for going back, and its files.
//
// The window runs the instrument on the simulated clock (sim/VirtualClock.h), as
// the headless runner does: virtual time moves one frame period at each
// event point (every PumpEvents, every splash frame's, and one per idle frame
// while the instrument is off), the 100 ms tick fires on virtual time, and
// the host clock reads a start UTC plus virtual time. A Pacer decides when
// the next event point may run against the wall clock: at 1x it follows the
// computer's clock, faster or paused as the simulator controls ask.
//
// Inputs (clicks, keys, the wheel, the track bar, the check boxes, a new
// UTC) wait in a queue (InputQueue.h) and reach the instrument at an event
// point, in the order they came; after a delivery that held an input the
// next comes two event points later at the earliest. That is exactly how
// `tmx5 run` reads a script, so a recording replays pass for pass.
//
// The session runs the firmware against the simulated panel every host uses
// (sim/SimPanel.h): the track bar and its label, the check boxes, the lamp,
// the display's visibility and the frame last rendered live there, and the
// session shows what they hold through the FormView.
//
// While the instrument is off the session runs an idle loop of its own on
// Qt's event loop; while it is on, the firmware's loop is on the stack and
// the window's events are handled inside PumpEvents, which waits (handling
// them) until the pacer lets the next event point run, and while paused
// until a step or a resume lets it.
#pragma once

#include "InputQueue.h"
#include "SessionRecording.h"
#include "sim/SessionHistory.h"
#include "sim/SimPanel.h"
#include "sim/VirtualClock.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class FormView;
class QKeyEvent;
class QWidget;
struct InstrumentSnapshot;

class WindowSession : public QObject {
    Q_OBJECT
public:
    // wall: the pacer's wall clock, the computer's UTC in nanoseconds (a test
    // passes a fake one, together with SetWaitHook). Attaches the session's
    // simulated panel and clock to the firmware until it is destroyed.
    WindowSession(FormView* view, Pacer::WallClock wall, void* wallContext);
    ~WindowSession() override;

    // The stand-in controls, the lamp, the frame last rendered and the clock,
    // as the instrument last set or read them.
    const SimPanel& Panel() const { return panel_; }

    // The window is closing: no event is handled after, and every loop of
    // the running instrument (splash, main loop) ends at once.
    void Close();
    bool Closing() const { return closing_; }

    // Queues an input for the next event point whose turn it is.
    void Enqueue(PanelInput::Kind kind, int64_t value = 0);
    // Inputs not yet delivered to the instrument.
    size_t PendingInputs() const { return queue_.Size(); }

    // --- Simulation -----------------------------------------------------------
    const VirtualClock& Sim() const { return panel_.Time(); }
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
    void StepSecond() { Step(PointsPerSecond()); }
    // What the host clock reads now, in whole seconds, or, while a new UTC
    // waits for its event point, what it will read then, counted back to
    // now: what a UTC field shows and sends back.
    int64_t ShownUtcSeconds() const;
    // The host clock reads seconds (UTC since 1970) from the next event
    // point on; leaves following the computer's clock.
    void SetUtc(int64_t seconds);
    // 1x, not paused, the host clock set to the computer's at the next whole
    // second, and kept to it from then on.
    void FollowComputerClock();
    bool Following() const { return following_; }
    // Tests: called instead of waiting for the wall clock, with the
    // nanoseconds the pacer asks to wait (the fake clock moves on by them).
    void SetWaitHook(std::function<void(int64_t)> hook) { waitHook_ = std::move(hook); }
    // One step of the idle loop while the instrument is off: runs the event
    // points that are due (at least one when due), then schedules the next.
    void IdleFrame();

    // The frame last rendered, and the one last painted.
    const u8* LastFrame() const { return panel_.Frame(); }
    const u8* ShownFrame() const { return shownFrame_; }
    // Paints the last rendered frame now if it is not on screen yet.
    void PresentFrame();
    uint64_t Repaints() const { return repaints_; }

    // Puts a saved state back (tmx5 --load-state): the instrument, the
    // simulated clock, the track bar, the check boxes, the lamp and the
    // frame. A powered-on instrument resumes its main loop at the next
    // event point (none while paused). The host clock runs on from the
    // saved UTC, no longer following the computer's.
    void PutBackState(const InstrumentSnapshot& saved);
    // The session began from a loaded state (--load-state, Load state...).
    bool StateLoaded() const { return stateLoaded_; }

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
    unsigned PointsPerSecond() const { return (1000 + Sim().FrameMs() - 1) / Sim().FrameMs(); }

    // --- Files ----------------------------------------------------------------
    // Writes the session from its start to the point shown (after pausing
    // and ending the firmware's loop, at the point shown) as a scenario that
    // `tmx5 run` replays exactly (SessionScript.h). The point where the
    // runner cannot read a line (the pass right after an input) is saved one
    // pass earlier. SessionSaved reports the outcome (at once, or once the
    // loop ended).
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
    // The same three after asking for the file (dialogs over parent); the
    // outcome goes to Message.
    void SaveSessionAs(QWidget* parent);
    void SaveStateAs(QWidget* parent);
    void LoadStateAs(QWidget* parent);
    // The keys that work in both windows (Ctrl+Left and Right, with Shift,
    // Ctrl+P, Ctrl+S, Ctrl+Shift+S, Ctrl+O); true when the key was one of
    // them.
    bool HandleTravelKey(QKeyEvent* e, QWidget* dialogParent);

    // --- Recording ------------------------------------------------------------
    SessionRecording& Recording() { return recording_; }
    const SessionRecording& Recording() const { return recording_; }

    // What a recording asks of the session when it starts and stops.
    // The instrument at program start, as a replay starts: its state, hooks
    // and frame, the panel, virtual time and the event points; the session
    // starts again there.
    void RestartAtProgramStart();
    // The instrument's variables stand at the point shown: no firmware loop
    // on the stack, not in the splash, no power-on due.
    bool AtRestingPoint() const;
    // ON came while off: the power-on sequence runs after this event point.
    bool PowerOnDue() const { return powerOnDue_; }
    // Leaves a point of the past shown, and any travel under way.
    void StopShowingThePast();
    // While paused, lets at least points event points run; then schedules
    // the idle loop.
    void RunAtLeast(unsigned points);
    // Every input not yet delivered, oldest first, taken out of the queue.
    std::deque<PanelInput> TakeQueuedInputs() { return queue_.TakeAll(); }

signals:
    // A session was saved (ok) or could not be (message says why).
    void SessionSaved(bool ok, const QString& message);
    // Something to tell the user (saved, loaded, or why not).
    void Message(const QString& text);
    // A travel key was used (the controls show the new point).
    void TravelKeyUsed();

private:
    // The first whole virtual second after the next event point: where the
    // once-a-second reads fall (the tick counts seconds from program start),
    // so a clock set there reads whole seconds.
    uint64_t NextWholeSecondMs() const;
    void EnqueueUtc(int64_t seconds, uint64_t atMs);
    // The firmware's PumpEvents: handles window events until the pacer lets
    // the next event point run (never while paused, unless a step allows
    // it), then runs it.
    void PumpEvents();
    // Waits (handling window events) until the next event point may run.
    void WaitUntilDue();
    // One event point: a frame period of virtual time, the ticks that fell
    // due, then the inputs whose turn it is.
    void EventPointNow();
    void DeliverInputs();
    // Delivers the recorded inputs of the current event point again.
    void ReplayInputs();
    // Applies one input to the instrument and the panel; false for a new
    // UTC, which is no input of the instrument's.
    bool Apply(const PanelInput& in);
    void ScheduleIdle();
    void SyncDisplayVisibility();
    // A frame was rendered: paints it (at most 60 times a wall second when
    // running flat out).
    void Rendered();
    // The lamp and the controls as the panel holds them, on the form.
    void ShowPanel();
    // Runs the firmware from the idle loop (ON from off, or a state put
    // back), and whatever travel asked for while it ran. False once the
    // window has closed.
    bool RunFirmware(bool powerOn);
    // Ends the firmware's loops (nothing more is drawn); the idle loop then
    // travels, loads or saves.
    void EndFirmwareLoops();
    // The instrument and the panel as they stand, for the history.
    SessionState CaptureSession() const;
    // Puts a state of the history back and shows it.
    void PutBackSession(const SessionState& s);
    void DoTravel(uint64_t point);
    // After travelling into the splash: go on from the power-on before it,
    // re-running up to the point shown (stepped, paused).
    void LeaveSplashView();
    // The event point whose frame is on screen, and the one a save takes.
    uint64_t ShownPoint() const;
    uint64_t PointShown() const;
    // The point a session can be saved at, at or before point.
    uint64_t SavePointFor(uint64_t point) const;
    void WriteSession(const QString& path);

    FormView* view_;
    SessionRecording recording_;
    InputQueue queue_;
    SessionHistory history_;
    std::vector<PanelInput> delivered_; // what this event point delivered

    // Going back, and what waits for the firmware's loops to end.
    int inFirmware_ = 0;     // the firmware's loop is on the stack
    bool travelDue_ = false; // travel once the firmware's loops have ended
    uint64_t travelTarget_ = 0;
    bool splashView_ = false; // showing a point in the splash, travelled to
    uint64_t splashTo_ = 0;
    bool resumeAfterCatchUp_ = false;
    QString saveAfterTravel_;      // a session to save once the loops have ended
    QString saveStateAfterTravel_; // a state to save once the loops have ended
    bool loadDue_ = false;         // put loaded_ back once the loops have ended
    std::unique_ptr<InstrumentSnapshot> loaded_;
    bool stateLoaded_ = false; // the session began from a loaded state

    // Pacing.
    bool closing_ = false;
    SimPanel panel_; // the firmware's panel and clock, attached while the session lives
    Pacer pacer_;
    bool following_ = false;
    std::function<void(int64_t)> waitHook_;
    QTimer waker_;              // ends a wait for the pacer
    QTimer idleTimer_;          // the idle loop while the instrument is off
    int64_t lastEventsNs_ = 0;  // when window events were last handled (Fastest)
    int64_t lastPresentNs_ = 0; // when a frame was last painted
    uint64_t points_ = 0;
    uint64_t nextDelivery_ = 0; // the first event point inputs may reach
    unsigned stepBudget_ = 0;   // event points a step still lets run
    bool powerOnDue_ = false;   // ON was delivered while off: run it after the event point
    bool resumeDue_ = false;    // a powered-on state was put back: resume its loop

    u8 shownFrame_[LCD_BYTES] = {}; // the frame last painted
    bool frameDirty_ = false;
    uint64_t repaints_ = 0;
};
