// The virtual clock every simulator host runs the instrument on (the host
// clock the firmware reads through HostUtcClock is answered from here).
//
// Virtual time moves only when a host says a frame has passed: one frame
// period per splash frame, per main-loop pass, and per idle frame while the
// instrument is off. The 100 ms tick falls due at every multiple of 100 ms
// of virtual time, and the host clock the instrument reads is a start UTC
// plus the virtual time since then, to the millisecond. The headless runner
// advances it as fast as it can; the window and the browser let a Pacer
// decide when the next frame may run.
#pragma once

#include <cstdint>

class VirtualClock {
public:
    // Moves virtual time on by one frame period. Returns how many 100 ms
    // ticks fell due; the host runs the instrument's tick that many times.
    unsigned AdvanceFrame();

    uint64_t NowMs() const { return nowMs_; }
    // Puts virtual time back to ms (a saved state); the next tick falls due
    // at the next multiple of 100 ms after it. The host clock keeps reading
    // what it read.
    void SetNowMs(uint64_t ms);
    void SetFrameMs(uint32_t ms) { frameMs_ = ms; }
    uint32_t FrameMs() const { return frameMs_; }

    // The host clock reads utcMs (milliseconds since 1970) now and runs on
    // with virtual time.
    void SetUtcMs(int64_t utcMs);
    void SetUtc(int64_t seconds) { SetUtcMs(seconds * 1000); }
    int64_t UtcMs() const;
    int64_t UtcSeconds() const; // whole seconds, rounded down

private:
    uint64_t nowMs_ = 0;
    uint64_t nextTickMs_ = 100;
    uint32_t frameMs_ = 20;
    int64_t utcBaseMs_ = 0;
    uint64_t utcBaseAtMs_ = 0;
};

// Decides when a paced host runs its next frame, so that virtual time runs at
// a chosen speed against a wall clock. The wall clock is a routine the host
// passes in (a test passes a fake one), in nanoseconds from any origin.
//
// The pacer keeps to a timeline, not to frame lengths: virtual time is held
// at (wall time since the last change) x speed after the virtual time of
// that change, so rounding in the host's waits never adds up, and a host that
// fell behind (a slow pass, a busy machine) catches up. A change of speed,
// a pause or a resume starts a new timeline from the current virtual time
// without moving it.
class Pacer {
public:
    typedef int64_t (*WallClock)(void* context);

    Pacer(WallClock wall, void* context);

    // The standard steady clock, in nanoseconds.
    static int64_t SteadyNanoseconds(void* context);
    // The computer's UTC, in nanoseconds since 1970. A host that follows the
    // computer's clock paces against this one, so that virtual time keeps
    // to the computer's time however long it runs.
    static int64_t SystemNanoseconds(void* context);

    // speed: virtual milliseconds per wall millisecond (1 real time, 60, ...).
    // 0 means as fast as the host goes.
    void SetSpeed(double speed, uint64_t virtualNowMs);
    double Speed() const { return speed_; }
    bool Fastest() const { return speed_ == 0; }
    void SetPaused(bool paused, uint64_t virtualNowMs);
    bool Paused() const { return paused_; }

    // Nanoseconds of wall time until a frame that ends at virtualNextMs is
    // due: 0 when it is due now; -1 while paused (no frame is due).
    int64_t WaitBeforeFrame(uint64_t virtualNextMs) const;
    // The same, signed: negative when the frame is overdue by that much.
    // Meaningless while paused.
    int64_t DueIn(uint64_t virtualNextMs) const;

    // Starts a new timeline on which virtual time virtualMs falls at wall
    // time wallNs (which may lie ahead: the first frame then waits for it).
    void StartTimeline(int64_t wallNs, uint64_t virtualMs);
    // When the frame ending at virtualNextMs is more than limitNs overdue
    // (the machine slept or was too busy) or due more than limitNs later
    // than a frame period from now (the wall clock went back), starts a new
    // timeline from virtualNowMs, so the host neither runs a burst of
    // frames nor stalls, and returns true.
    bool Resynchronise(uint64_t virtualNowMs, uint64_t virtualNextMs, int64_t limitNs);

    int64_t WallNow() const { return wall_(context_); }

private:
    void Rebase(uint64_t virtualNowMs);

    WallClock wall_;
    void* context_;
    double speed_ = 1;
    bool paused_ = false;
    int64_t wallBase_ = 0;
    uint64_t virtualBaseMs_ = 0;
};
