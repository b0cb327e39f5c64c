#include "VirtualClock.h"

#include <chrono>
#include <cmath>

unsigned VirtualClock::AdvanceFrame() {
    nowMs_ += frameMs_;
    unsigned ticks = 0;
    while (nextTickMs_ <= nowMs_) {
        nextTickMs_ += 100;
        ticks++;
    }
    return ticks;
}

void VirtualClock::SetNowMs(uint64_t ms) {
    const int64_t utcMs = UtcMs();
    nowMs_ = ms;
    nextTickMs_ = (ms / 100 + 1) * 100;
    SetUtcMs(utcMs);
}

void VirtualClock::SetUtcMs(int64_t utcMs) {
    utcBaseMs_ = utcMs;
    utcBaseAtMs_ = nowMs_;
}

int64_t VirtualClock::UtcMs() const { return utcBaseMs_ + (int64_t)(nowMs_ - utcBaseAtMs_); }

int64_t VirtualClock::UtcSeconds() const {
    const int64_t ms = UtcMs();
    // Rounded down also before 1970, so a second never lasts two.
    return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
}

Pacer::Pacer(WallClock wall, void* context) : wall_(wall), context_(context) { wallBase_ = wall_(context_); }

int64_t Pacer::SteadyNanoseconds(void*) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int64_t Pacer::SystemNanoseconds(void*) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void Pacer::StartTimeline(int64_t wallNs, uint64_t virtualMs) {
    wallBase_ = wallNs;
    virtualBaseMs_ = virtualMs;
}

bool Pacer::Resynchronise(uint64_t virtualNowMs, uint64_t virtualNextMs, int64_t limitNs) {
    if (paused_ || speed_ == 0) return false;
    const int64_t due = DueIn(virtualNextMs);
    const int64_t frameNs = (int64_t)((double)(virtualNextMs - virtualNowMs) * 1e6 / speed_);
    if (due >= -limitNs && due <= frameNs + limitNs) return false;
    Rebase(virtualNowMs);
    return true;
}

void Pacer::Rebase(uint64_t virtualNowMs) {
    wallBase_ = wall_(context_);
    virtualBaseMs_ = virtualNowMs;
}

void Pacer::SetSpeed(double speed, uint64_t virtualNowMs) {
    speed_ = speed > 0 ? speed : 0;
    Rebase(virtualNowMs);
}

void Pacer::SetPaused(bool paused, uint64_t virtualNowMs) {
    paused_ = paused;
    Rebase(virtualNowMs);
}

int64_t Pacer::DueIn(uint64_t virtualNextMs) const {
    if (speed_ == 0) return 0;
    const double dueNs = ((double)virtualNextMs - (double)virtualBaseMs_) * 1e6 / speed_;
    return (int64_t)std::llround(dueNs) - (wall_(context_) - wallBase_);
}

int64_t Pacer::WaitBeforeFrame(uint64_t virtualNextMs) const {
    if (paused_) return -1;
    const int64_t left = DueIn(virtualNextMs);
    return left > 0 ? left : 0;
}
