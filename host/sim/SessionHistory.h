// The session history: every input of a session with the event point that
// took it, and snapshots of the instrument and its panel, so that a host can
// go back (or forward) to any event point of the session.
//
// Every event point is deterministic: the same state and the same inputs give
// the same next state. So the history keeps the inputs exactly and snapshots
// only now and then, and finds the state at an event point by putting back
// the nearest snapshot at or before it and running the recorded inputs on
// from there, headless, as fast as the firmware goes. Snapshots are raw
// copies of the instrument's variables (a few memcpy, no text). As the
// session grows, every second snapshot is dropped and the spacing doubles,
// so memory stays bounded (4096 snapshots of about 2.5 KB at most) and a
// travel never re-runs more than the spacing.
//
// A host (the window, the browser page) uses it like this:
//   - Start() at program start (or with a loaded state) with the state there;
//   - at every event point, after delivering the inputs whose turn it was,
//     Record() them, and when WantsSnapshot() says so, AddSnapshot() the
//     state as it stands (SessionState::Capture plus the panel's part);
//   - StateAt() to travel: it leaves the instrument's variables as they
//     stood at that point; the host puts its own panel back from the state;
//   - going on from a past point, InputsAt() gives the inputs to deliver
//     again, and Cut() drops the old future when a new input comes.
// StateAt() runs the firmware itself and attaches its own panel and clock
// while it runs (the host's are attached again after): call it only when no
// firmware loop is running on the stack, from the host's idle loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "lcd/Lcd.h"
#include "runtime/State.h"
#include "sim/SimPanel.h"
#include "sim/VirtualClock.h"

// One input as the host delivered it at an event point (the panel's input:
// UTC in whole seconds).
typedef PanelInput SessionInput;

// An input with the event point that took it.
struct SessionInputAt {
    uint64_t point;
    SessionInput input;
};

// Every instrument variable, byte for byte (the rows of StateTable.h).
struct InstrumentImage {
#define STATE(type, name, powerOn, min, max, writer, meaning) type name;
#define STATE_ARRAY(type, name, count, powerOn, min, max, writer, meaning) type name[count];
#define STATE_EDIT(type, name, min, max, writer, meaning) type name;
#define STATE_TIME(name, writer, meaning) TimeFields name;
#define STATE_ROUTINE(name, writer, meaning) ScreenRoutine name;
#define STATE_HOOKS(name) u32 name[HOOK_COUNT];
#define STATE_EXTERN(type, name, count, writer, meaning) type name[count];
#include "runtime/StateTable.h"

    void Capture();       // from the instrument as it stands
    void Restore() const; // back into the instrument
};

// The instrument and its panel at one event point, after the inputs of that
// point were delivered.
struct SessionState {
    uint64_t point = 0; // event points since the session started
    InstrumentImage instrument{};
    VirtualClock clock;     // virtual time and the host clock
    int trackBar = 2048;    // the temperature track bar and its label
    bool calibrate = false; // the Calibrate check box
    bool keyFast = false;   // the KeyFast check box
    u32 lamp = LAMP_BRIGHT; // the lamp's colour word
    bool displayVisible = true;
    bool powerOnDue = false;  // ON came while off: the power-on sequence runs next
    u8 frame[LCD_BYTES] = {}; // the frame last rendered (what the display shows)

    // A host can go on from this state by itself: the instrument is off, or
    // on at the end of a pass. In the splash the power-on sequence's own
    // place is on the stack of the run that got there; a host goes on from
    // the power-on point before it instead (SessionHistory::PowerOnBefore).
    bool Resumable() const { return instrument.PowerState != POWER_SPLASH; }
};

class SessionHistory {
public:
    // snapshotLimit: the most snapshots kept (at least 4).
    explicit SessionHistory(size_t snapshotLimit = 4096);

    // Forgets everything and starts a session at state (its point included),
    // which must be resumable. The start is kept for good.
    void Start(const SessionState& state);
    bool Started() const { return !snapshots_.empty(); }

    // The inputs delivered at event point point (after the last recorded
    // one, at most End() + 1 ahead of nothing: points without inputs need
    // no call). Moves End() on to point.
    void Record(uint64_t point, const std::vector<SessionInput>& inputs);
    // The host ran event point point without an input: moves End() on.
    void Reach(uint64_t point) {
        if (point > end_) end_ = point;
    }
    // Whether the host should add a snapshot of this event point now.
    bool WantsSnapshot(uint64_t point) const;
    // Keeps a snapshot (ignored in the splash and at or before the last).
    void AddSnapshot(const SessionState& state);

    // The first and the last event point of the session.
    uint64_t StartPoint() const { return snapshots_.empty() ? 0 : snapshots_.front().point; }
    uint64_t End() const { return end_; }

    // Every recorded input, in order of event point.
    const std::vector<SessionInputAt>& Inputs() const { return inputs_; }
    // The inputs recorded at point (empty if none).
    std::vector<SessionInput> InputsAt(uint64_t point) const;
    // Drops everything after point: its inputs, its snapshots; End() becomes
    // point.
    void Cut(uint64_t point);

    // The state at point (StartPoint() to End()); false outside. The
    // instrument's variables are left as they stood there.
    bool StateAt(uint64_t point, SessionState* out) const;
    // The last event point at or before point where ON was delivered and the
    // instrument was not in its splash: where a host goes on from to reach
    // a point in the splash. StartPoint() when there is none.
    uint64_t PowerOnBefore(uint64_t point) const;

    // Memory held, in bytes, and the snapshots kept.
    size_t MemoryBytes() const;
    size_t Snapshots() const { return snapshots_.size(); }
    uint64_t SnapshotSpacing() const { return spacing_; }

private:
    // The first input at or after point.
    std::vector<SessionInputAt>::const_iterator InputsFrom(uint64_t point) const;
    void Thin();

    size_t limit_;
    uint64_t spacing_ = 50; // event points between snapshots: one second at first
    uint64_t end_ = 0;
    std::vector<SessionInputAt> inputs_;  // in order of point, then delivery
    std::vector<SessionState> snapshots_; // in order of point; the first is the start
};
