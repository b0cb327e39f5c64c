#include "HeadlessHost.h"

HeadlessHost::HeadlessHost() {
    SimPanel::Hooks hooks;
    hooks.eventPoint = [this] { EventPoint(); };
    hooks.beforeScreen = [this] {
        if (observer_) observer_->BeforeScreen();
    };
    hooks.afterScreen = [this] {
        if (observer_) observer_->AfterScreen();
    };
    panel_.SetHooks(std::move(hooks));
    panel_.Time().SetUtc(HEADLESS_EPOCH);
    ResetInstrumentState(); // the hook counts and a blank frame buffer too
    panel_.Attach();
}

// Only the host still attached detaches (SimPanel); a newer one keeps its place.
HeadlessHost::~HeadlessHost() = default;

void HeadlessHost::EventPoint() {
    eventPoints_++;
    const unsigned ticks = panel_.Time().AdvanceFrame();
    for (unsigned t = ticks; t > 0; t--) Timer1Timer();
    if (eventPoint_) eventPoint_();
    if (observer_) observer_->AfterEvents(ticks);
}

void HeadlessHost::PutBack(const HostSnapshot& saved) {
    panel_.PutBack(saved);
    if (observer_) observer_->PutBack();
}
