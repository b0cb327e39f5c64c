#include "SessionHistory.h"

#include <algorithm>
#include <cstring>

#include "runtime/Runtime.h"

void InstrumentImage::Capture() {
#define STATE(type, name, powerOn, min, max, writer, meaning) this->name = ::name;
#define STATE_ARRAY(type, name, count, powerOn, min, max, writer, meaning) \
    std::memcpy(this->name, ::name, sizeof ::name);
#define STATE_EDIT(type, name, min, max, writer, meaning) this->name = ::name;
#define STATE_TIME(name, writer, meaning) this->name = ::name;
#define STATE_ROUTINE(name, writer, meaning) this->name = ::name;
#define STATE_HOOKS(name) std::memcpy(this->name, ::name, sizeof ::name);
#define STATE_EXTERN(type, name, count, writer, meaning) std::memcpy(this->name, ::name, sizeof ::name);
#include "runtime/StateTable.h"
}

void InstrumentImage::Restore() const {
#define STATE(type, name, powerOn, min, max, writer, meaning) ::name = this->name;
#define STATE_ARRAY(type, name, count, powerOn, min, max, writer, meaning) \
    std::memcpy(::name, this->name, sizeof ::name);
#define STATE_EDIT(type, name, min, max, writer, meaning) ::name = this->name;
#define STATE_TIME(name, writer, meaning) ::name = this->name;
#define STATE_ROUTINE(name, writer, meaning) ::name = this->name;
#define STATE_HOOKS(name) std::memcpy(::name, this->name, sizeof ::name);
#define STATE_EXTERN(type, name, count, writer, meaning) std::memcpy(::name, this->name, sizeof ::name);
#include "runtime/StateTable.h"
}

namespace {

// Runs the firmware from a snapshot to a target event point, delivering the
// recorded inputs the way the hosts deliver them, on a panel of its own. At
// the target it copies the state and ends every loop at once.
class Replay {
public:
    typedef std::vector<SessionInputAt>::const_iterator Inputs;
    // state: the snapshot to start from; inputs: the recorded inputs from
    // the one after it.
    Replay(SessionState* state, uint64_t target, Inputs next, Inputs end)
        : s_(state), target_(target), next_(next), end_(end), point_(state->point) {
        SimPanel::Hooks hooks;
        hooks.eventPoint = [this] { EventPoint(); };
        panel_.SetHooks(std::move(hooks));
    }

    // From the snapshot in *s_ (its instrument already put back) to the
    // target; *s_ is then the state there, and so is the instrument.
    void Run() {
        const HostPanel* oldPanel = Host;
        const HostClock* oldClock = HostUtcClock;
        panel_.PutBackSession(*s_);
        panel_.Attach();
        ShutdownRequested = 0;
        bool powerOn = s_->powerOnDue;
        bool resume = !powerOn && PowerState == POWER_ON;
        powerOnDue_ = false;
        while (!reached_) {
            if (powerOn) {
                powerOn = false;
                Button1Click();
            } else if (resume) {
                resume = false;
                PowerState = POWER_OFF; // as ResumeMainLoop takes it
                ResumeMainLoop();
            } else {
                EventPoint();
                powerOn = powerOnDue_ && !reached_;
                if (powerOn) powerOnDue_ = false;
            }
        }
        HostAttach(oldPanel, oldClock);
        *s_ = reached_state_;
        s_->instrument.Restore();
    }

private:
    void EventPoint() {
        if (reached_) return;
        point_++;
        for (unsigned ticks = panel_.Time().AdvanceFrame(); ticks > 0; ticks--) Timer1Timer();
        for (; next_ != end_ && next_->point <= point_; ++next_) {
            if (next_->point < point_) continue;
            // From off the power-on sequence runs after this event point,
            // from the idle loop.
            if (next_->input.kind == SessionInput::ON && PowerState == POWER_OFF)
                powerOnDue_ = true;
            else
                panel_.Apply(next_->input);
        }
        if (point_ == target_) {
            reached_state_ = panel_.CaptureSession();
            reached_state_.point = point_;
            reached_state_.powerOnDue = powerOnDue_;
            reached_ = true;
            RequestShutdown();
        }
    }

    SessionState* s_;
    uint64_t target_;
    bool reached_ = false;
    Inputs next_, end_;
    SimPanel panel_;
    uint64_t point_;
    bool powerOnDue_ = false;
    SessionState reached_state_;
};

} // namespace

SessionHistory::SessionHistory(size_t snapshotLimit) : limit_(std::max<size_t>(snapshotLimit, 4)) {}

void SessionHistory::Start(const SessionState& state) {
    inputs_.clear();
    snapshots_.clear();
    spacing_ = 50;
    snapshots_.push_back(state);
    end_ = state.point;
}

void SessionHistory::Record(uint64_t point, const std::vector<SessionInput>& inputs) {
    if (snapshots_.empty() || point <= StartPoint()) return;
    for (const SessionInput& in : inputs) inputs_.push_back(SessionInputAt{point, in});
    Reach(point);
}

bool SessionHistory::WantsSnapshot(uint64_t point) const {
    return !snapshots_.empty() && point >= snapshots_.back().point + spacing_;
}

void SessionHistory::AddSnapshot(const SessionState& state) {
    if (snapshots_.empty() || state.point <= snapshots_.back().point || !state.Resumable()) return;
    snapshots_.push_back(state);
    Reach(state.point);
    if (snapshots_.size() > limit_) Thin();
}

// Drops every second snapshot after the start and doubles the spacing: the
// snapshots left keep to the new spacing, and a travel re-runs at most that.
void SessionHistory::Thin() {
    spacing_ *= 2;
    std::vector<SessionState> kept;
    kept.reserve(limit_ + 1);
    kept.push_back(snapshots_.front());
    for (size_t i = 1; i < snapshots_.size(); i++)
        if (snapshots_[i].point >= kept.back().point + spacing_) kept.push_back(snapshots_[i]);
    snapshots_.swap(kept);
}

std::vector<SessionInputAt>::const_iterator SessionHistory::InputsFrom(uint64_t point) const {
    return std::lower_bound(inputs_.begin(), inputs_.end(), point,
                            [](const SessionInputAt& a, uint64_t p) { return a.point < p; });
}

std::vector<SessionInput> SessionHistory::InputsAt(uint64_t point) const {
    std::vector<SessionInput> found;
    for (auto i = InputsFrom(point); i != inputs_.end() && i->point == point; ++i) found.push_back(i->input);
    return found;
}

void SessionHistory::Cut(uint64_t point) {
    if (snapshots_.empty() || point >= end_) return;
    if (point < StartPoint()) point = StartPoint();
    inputs_.erase(std::upper_bound(inputs_.begin(), inputs_.end(), point,
                                   [](uint64_t p, const SessionInputAt& a) { return p < a.point; }),
                  inputs_.end());
    while (snapshots_.size() > 1 && snapshots_.back().point > point) snapshots_.pop_back();
    end_ = point;
}

bool SessionHistory::StateAt(uint64_t point, SessionState* out) const {
    if (snapshots_.empty() || point < StartPoint() || point > end_) return false;
    // The last snapshot at or before the point.
    auto s = std::upper_bound(snapshots_.begin(), snapshots_.end(), point,
                              [](uint64_t p, const SessionState& a) { return p < a.point; });
    --s;
    *out = *s;
    out->instrument.Restore();
    if (out->point == point) return true;
    Replay replay(out, point, InputsFrom(out->point + 1), inputs_.end());
    replay.Run();
    return true;
}

uint64_t SessionHistory::PowerOnBefore(uint64_t point) const {
    SessionState state;
    for (auto i = InputsFrom(point + 1); i != inputs_.begin();) {
        --i;
        if (i->point <= StartPoint()) break;
        if (i->input.kind != SessionInput::ON) continue;
        if (StateAt(i->point, &state) && state.Resumable()) return i->point;
    }
    return StartPoint();
}

size_t SessionHistory::MemoryBytes() const {
    return sizeof *this + inputs_.capacity() * sizeof(SessionInputAt) +
           snapshots_.capacity() * sizeof(SessionState);
}
