// The window's inputs on their way to the instrument.
//
// Clicks, keys, the wheel, the track bar, the check boxes and a new UTC wait
// here and reach the instrument at an event point, in the order they came.
// A new UTC waits for its whole virtual second (where the once-a-second reads
// fall); the other inputs go ahead of it, except at the event point just
// before it, so that the clock is never late. At most one UTC waits: a newer
// one replaces it.
//
// A delivery takes the inputs of one event point: Begin, then Next until it
// says there is no more, then End, which puts back in front what had to wait.
#pragma once

#include "sim/SessionHistory.h"

#include <cstdint>
#include <deque>
#include <string>

class InputQueue {
public:
    void Push(PanelInput::Kind kind, int64_t value);
    // The host clock reads seconds from virtual time atMs on.
    void PushUtc(int64_t seconds, uint64_t atMs);
    void DropUtc();
    void Clear() { pending_.clear(); }
    size_t Size() const { return pending_.size(); }
    bool Empty() const { return pending_.empty(); }
    // The waiting UTC, if any, and the virtual time it waits for.
    bool WaitingUtc(int64_t* seconds, uint64_t* atMs) const;

    // A delivery at an event point at virtual time nowMs, whose frames last
    // frameMs.
    void Begin(uint64_t nowMs, uint32_t frameMs);
    // The next input whose turn it is; false when none is left.
    bool Next(PanelInput* in);
    // Whether the input after the one Next gave is another move of the
    // track bar (only the last of several moves matters).
    bool SensorFollows() const;
    void End();

    // Everything queued, oldest first, and emptied.
    std::deque<PanelInput> TakeAll();

private:
    struct Queued {
        PanelInput input;
        uint64_t notBeforeMs; // a new UTC waits for this virtual time
    };
    std::deque<Queued> pending_;
    std::deque<Queued> waiting_; // set aside during a delivery
    uint64_t nowMs_ = 0;
    bool clockNext_ = false; // a UTC falls due at the next event point
};

// The script command that delivers in, as `tmx5 run` reads it.
std::string InputCommand(const PanelInput& in);
