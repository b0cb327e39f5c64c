// The browser host: the simulator window as a web page.
//
// The firmware runs unchanged, compiled to WebAssembly. Its blocking main
// loop hands control to the browser in PumpEvents: PumpEvents lets one frame
// period of virtual time pass and runs the 100 ms ticks that fell due, as
// the headless runner's event point does, then delivers the queued inputs
// and sleeps (the build unwinds the stack and rewinds it when the sleep is
// over) until the next frame is due; the page's own script runs meanwhile
// and queues what the user did. While the instrument is off, the host's idle
// loop does the same, frame by frame, so the tick and every input reach the
// firmware at the same points as in the window and in the headless runner.
//
// The virtual time and the host clock are a VirtualClock; a Pacer against the
// browser's clock decides when the next frame may run, at the speed the
// page's clock panel chose, paused, or one step at a time.
//
// Idle when idle: the host sleeps until an input arrives or the next frame
// that can change the page is due. While the display stands still that is
// the frame holding the next 100 ms tick; the passes before it then run in
// one go when it falls due, each at its own virtual time, and inputs are
// taken only once the host has caught up with the wall clock, at the event
// point a frame-by-frame host would have given them. Paused, it sleeps until
// the user does something.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/Runtime.h"
#include "sim/SessionHistory.h"
#include "sim/SimPanel.h"
#include "sim/VirtualClock.h"
#include "state/StateFile.h"

// What the page queues for the host, in the order the user did it: the
// panel's inputs (PanelInput's codes 1..7; SENSOR's argument is the track
// bar's position, SET_UTC's UTC milliseconds since 1970) and the page's own
// events.
enum WebEvent {
    WEB_NONE = 0,
    WEB_ON = PanelInput::ON,
    WEB_OFF = PanelInput::OFF,
    WEB_KEY = PanelInput::KEY,
    WEB_SENSOR = PanelInput::SENSOR,
    WEB_CALIBRATE = PanelInput::CALIBRATE,
    WEB_KEYFAST = PanelInput::KEYFAST,
    WEB_SET_UTC = PanelInput::UTC,
    WEB_PAUSE = 8,    // argument: 1 pause, 0 run
    WEB_STEP = 9,     // one frame while paused
    WEB_SPEED = 10,   // argument: virtual ms per wall ms; 0 as fast as it goes
    WEB_CAPTURE = 11, // hands the page the state as a state file's text, at this event point
    WEB_RECORD = 12,  // argument: 1 starts a recording (the instrument off), 0 ends it
    WEB_HISTORY = 13, // hands the page the frames of the last minute with their virtual times
    WEB_TRAVEL = 14   // argument: the event point of the session to go to (paused)
};

class WebHost {
public:
    WebHost();
    ~WebHost();
    WebHost(const WebHost&) = delete;
    WebHost& operator=(const WebHost&) = delete;

    // Runs for as long as the page is open: idle frames while the
    // instrument is off, the instrument itself inside ON. A state the page
    // was opened with (a shared link, a loaded state file) goes back first.
    void Run();

    // The host's part of a saved state as it stands.
    HostSnapshot Snapshot() const { return panel_.Snapshot(); }

private:
    // Puts back the state the page was opened with, if any, and tells the
    // page when it cannot be read. A powered-on state runs its main loop.
    // False when there was none to put back.
    bool PutBackInitialState();
    // The next frame is due now (or overdue): the host is behind the wall
    // clock and runs frames without taking inputs until it has caught up.
    bool FrameDue() const;
    // How long the host may sleep before the next frame that can change
    // what the page shows: the next frame while the display is changing,
    // else the frame that holds the next 100 ms tick. -1: paused.
    int SleepMs() const;
    // Lets one frame period pass and runs its ticks, then waits for the
    // next frame. PumpEvents and each idle frame come here.
    void EventPoint();
    // Delivers inputs until the next frame is due (or a step arrives while
    // paused), sleeping in between.
    void WaitForNextFrame();
    // Delivers what is queued and may go now. Returns true when, paused, a
    // step was taken: one frame runs now.
    bool Deliver();
    // One of the page's own events (not a panel input).
    void Handle(int event, double argument);
    // Shows the page what changed and lets the browser run for sleepMs, or
    // until the page queues an input (sleepMs -1: until then, however long).
    // waiting: the host waits for the next frame with nothing queued, the
    // display showing the last pass (a page script can rely on it now).
    void Yield(int sleepMs, bool waiting);

    // Recording: the session as a script that `tmx5 run` replays exactly.
    // It starts from program start, as the replay does; each batch of
    // inputs is a line, preceded by `passes N` where the runner would
    // otherwise read it sooner, and the end lists what the instrument shows.
    void StartRecording();
    void RecordLine(const std::vector<std::string>& commands, bool event);
    void EndRecording();
    // The script command for an input.
    static std::string Describe(const PanelInput& input);
    static std::string UtcText(int64_t seconds);

    // Keeps the frame just drawn, with its virtual time, for the last
    // minute's animation.
    void Remember();

    // Going back and forward (sim/SessionHistory.h): every input the host
    // delivers is recorded with its event point, and snapshots now and then.
    // A travel ends the firmware's loops first (nothing more is drawn), then
    // the idle loop puts the state of that point back and runs the
    // instrument on from it. Going on from a past point delivers the
    // recorded inputs again, until a new input cuts the old future.
    SessionState CaptureSession() const;
    void StartHistory();
    void RecordPoint();
    void ReplayInputs();
    void Note(SessionInput::Kind kind, int64_t value);
    // In the idle loop: travels when asked to, and runs what the state put
    // back asks for (the power-on sequence, or the main loop).
    void TravelIfDue();
    void PutBackSession(const SessionState& s);

    // The panel's hooks: a frame or the lamp changed.
    void Rendered(bool changed);
    static int64_t BrowserNanoseconds(void* context);

    SimPanel panel_;
    Pacer pacer_;
    bool frameDirty_ = false;   // the frame last rendered is not drawn yet
    bool frameChanged_ = false; // the last pass drew a different frame
    int labelShown_ = -1;       // the track bar position the page's Label15 shows
    std::vector<u32> picture_ =
        std::vector<u32>(PANEL_PICTURE_WIDTH * PANEL_PICTURE_HEIGHT); // drawn for the page
    int64_t lastYieldNs_ = 0;
    uint64_t points_ = 0;       // event points so far
    uint64_t nextDelivery_ = 0; // the event point from which the next input may go
    bool recording_ = false;
    bool stopRecording_ = false; // ends at the event point where the replay reads on
    int64_t recordUtc_ = -1;     // the clock's second, set at the recording's first event point
    uint64_t readPoint_ = 1;     // the event point at which the replay reads its next line
    std::string script_;
    std::vector<double> historyMs_; // when each remembered frame was drawn, virtual ms
    std::vector<u8> history_;       // the remembered frames, LCD_BYTES each
    SessionHistory session_;
    std::vector<SessionInput> delivered_; // what this event point delivered
    std::vector<SessionInput> replayed_;  // what it delivered again from the session
    bool travelDue_ = false;              // travel once the firmware's loops have ended
    uint64_t travelTarget_ = 0;
    uint64_t runTo_ = 0; // runs frames without waiting up to here (a point in the splash)
    bool powerOnDue_ = false;
};
