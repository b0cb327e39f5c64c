#include "WebHost.h"

#include <emscripten.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "lcd/Lcd.h"

// --- The page (host/web/page.js keeps the queue and the controls) ----------

// clang-format off
EM_JS(int, WebPeekEvent, (void), { return Tmx5.peek(); });
EM_JS(int, WebTakeEvent, (double* argument), {
    const e = Tmx5.take();
    HEAPF64[argument >> 3] = e[1];
    return e[0];
});
EM_JS(int, WebTakeStep, (void), { return Tmx5.takeStep(); });
EM_JS(void, WebDraw, (const u8* frame), { Tmx5.draw(HEAPU8.subarray(frame, frame + 912)); });
EM_JS(void, WebRendered, (const u8* frame, double virtualMs), {
    Tmx5.remember(HEAPU8.slice(frame, frame + 912), virtualMs);
});
EM_JS(void, WebLamp, (int red, int green, int blue), { Tmx5.lamp(red, green, blue); });
EM_JS(void, WebLabel15, (int position), { Tmx5.label15(position); });
EM_JS(void, WebControls, (int trackBar, int calibrate, int keyFast), {
    Tmx5.controls(trackBar, calibrate, keyFast);
});
EM_JS(void, WebYielded, (double utcMs, int paused, int waiting, double nowMs), {
    Tmx5.yielded(utcMs, paused, waiting, nowMs);
});
EM_JS(void, WebState, (const char* text), { Tmx5.stateCaptured(UTF8ToString(text)); });
EM_JS(void, WebStateRefused, (const char* why), { Tmx5.stateRefused(UTF8ToString(why)); });
EM_JS(double, WebDateNow, (void), { return Date.now(); });
EM_JS(void, WebStarted, (void), { Tmx5.started(); });
// The state the page was opened with, as a state file's text: malloc'd, or
// null for a fresh start.
EM_ASYNC_JS(char*, WebInitialState, (void), {
    const text = await Tmx5.initialState();
    if (!text) return 0;
    const size = lengthBytesUTF8(text) + 1;
    const copy = _malloc(size);
    stringToUTF8(text, copy, size);
    return copy;
});
EM_ASYNC_JS(void, WebSleep, (int ms), { await Tmx5.sleep(ms); });
// clang-format on

namespace {

// Running flat out (or catching up) the host still lets the browser paint
// and take inputs this often.
const int64_t LongestBusyNs = 30 * 1000000LL;
const uint64_t TickMs = 100;

} // namespace

WebHost::WebHost()
    : panel_{this, Render, Pump, CalibrateChecked, KeyFastChecked, SetLamp, Show},
      hostClock_{this, ClockNow, StdClockBreakDown},
      pacer_(BrowserNanoseconds, this) {
    // The host clock starts at the browser's UTC and then runs on virtual
    // time, which the clock panel can set, pause, step and speed up.
    clock_.SetUtcMs((int64_t)WebDateNow());
    HostAttach(&panel_, &hostClock_);
}

WebHost::~WebHost() {
    if (Host == &panel_) HostAttach(nullptr, nullptr);
}

void WebHost::Run() {
    lastYieldNs_ = pacer_.WallNow();
    if (!PutBackInitialState()) {
        WebStarted();
        WaitForNextFrame();
    }
    for (;;) EventPoint();
}

HostSnapshot WebHost::Snapshot() const {
    HostSnapshot s;
    s.virtualMs = clock_.NowMs();
    s.hostUtcMs = clock_.UtcMs();
    s.frameMs = clock_.FrameMs();
    s.trackBar = trackBar_;
    s.calibrate = calibrate_;
    s.keyFast = keyFast_;
    s.lamp = lamp_;
    return s;
}

bool WebHost::PutBackInitialState() {
    char* text = WebInitialState();
    if (!text) return false;
    InstrumentSnapshot saved;
    int line = 0;
    std::string why;
    const bool ok = ParseStateFile(text, &saved, &line, &why);
    std::free(text);
    if (!ok) {
        if (line > 0) why = "line " + std::to_string(line) + ": " + why;
        WebStateRefused(why.c_str());
        return false;
    }
    RestoreInstrument(saved);
    clock_.SetNowMs(saved.host.virtualMs);
    clock_.SetUtcMs(saved.host.hostUtcMs);
    clock_.SetFrameMs(saved.host.frameMs);
    trackBar_ = saved.host.trackBar;
    calibrate_ = saved.host.calibrate;
    keyFast_ = saved.host.keyFast;
    lamp_ = saved.host.lamp;
    RawSensor = trackBar_;
    std::memcpy(frame_, FrameBuffer, sizeof frame_);
    frameDirty_ = true;
    WebRendered(frame_, (double)clock_.NowMs());
    WebControls(trackBar_, calibrate_, keyFast_);
    // The link's speed and pause, which the page queued, hold before any
    // frame can fall due.
    Deliver();
    pacer_.StartTimeline(pacer_.WallNow(), clock_.NowMs());
    WebStarted();
    // The event point the state was saved at.
    WaitForNextFrame();
    if (PowerState == POWER_ON) {
        PowerState = POWER_OFF; // as ResumeMainLoop takes it
        ::ResumeMainLoop();
    }
    return true;
}

bool WebHost::FrameDue() const {
    return !pacer_.Paused() && pacer_.WaitBeforeFrame(clock_.NowMs() + clock_.FrameMs()) == 0;
}

int WebHost::SleepMs() const {
    if (pacer_.Paused()) return -1;
    uint64_t next = clock_.NowMs() + clock_.FrameMs();
    if (!frameChanged_ && WebPeekEvent() == WEB_NONE) {
        // The frame that crosses the next tick.
        const uint64_t tick = (clock_.NowMs() / TickMs + 1) * TickMs;
        while (next < tick) next += clock_.FrameMs();
    }
    const int64_t waitNs = pacer_.WaitBeforeFrame(next);
    if (waitNs <= 0) return 0;
    return (int)((waitNs + 999999) / 1000000);
}

// The event point: one frame period of virtual time passes and its ticks
// run, as in the headless runner; then the host waits here, taking inputs,
// until the next frame is due. A state saved here is the runner's state at
// its event point, and a state put back resumes from here.
void WebHost::EventPoint() {
    points_++;
    for (unsigned ticks = clock_.AdvanceFrame(); ticks > 0; ticks--) Timer1Timer();
    WaitForNextFrame();
}

void WebHost::WaitForNextFrame() {
    for (;;) {
        // Behind the wall clock: the next frame runs at once, and inputs wait
        // for the event point where the host has caught up. At the fastest
        // speed every event point takes them.
        if (FrameDue() && !pacer_.Fastest()) break;
        if (Deliver()) break; // a step: run one frame now
        if (FrameDue()) break;
        Yield(SleepMs(), true);
    }
    if (pacer_.WallNow() - lastYieldNs_ > LongestBusyNs) Yield(0, false);
    frameChanged_ = false;
}

// Inputs go to the instrument in batches, as the window delivers them and
// the runner reads script lines: after a batch that holds an input (not the
// clock panel's own events), the next waits two event points, so that the
// instrument has taken the key and drawn its effect. A swipe of several
// detents thus turns the knob step by step.
bool WebHost::Deliver() {
    bool input = false;
    for (;;) {
        const int next = WebPeekEvent();
        if (next == WEB_NONE) break;
        if (next == WEB_STEP && pacer_.Paused()) break;
        const bool isInput = next >= WEB_ON && next <= WEB_KEYFAST;
        if (isInput && points_ < nextDelivery_) {
            // Held back; paused, a step queued after it still runs a frame.
            if (pacer_.Paused() && WebTakeStep()) return true;
            break;
        }
        if (isInput && !input) {
            input = true;
            nextDelivery_ = points_ + 2;
        }
        double argument = 0;
        const int event = WebTakeEvent(&argument);
        Handle(event, argument);
    }
    if (WebPeekEvent() == WEB_STEP && pacer_.Paused()) {
        double unused;
        WebTakeEvent(&unused);
        return true;
    }
    return false;
}

void WebHost::Handle(int event, double argument) {
    switch (event) {
        case WEB_ON:
            // From off this runs the instrument until OFF, delivering the rest
            // of the queue from its own passes; while it runs it asks for a
            // restart, and during the splash it is ignored.
            ::Button1Click();
            break;
        case WEB_OFF:
            ::Button2Click();
            break;
        case WEB_KEY:
            ::ClickKey((u8)argument);
            break;
        case WEB_SENSOR: {
            // TrackBar6Change: the sensor count and the label follow the bar.
            int position = (int)argument;
            if (position < 0) position = 0;
            if (position > 4096) position = 4096;
            RawSensor = position;
            trackBar_ = position;
            WebLabel15(position);
            break;
        }
        case WEB_CALIBRATE:
            calibrate_ = argument != 0;
            break;
        case WEB_KEYFAST:
            keyFast_ = argument != 0;
            break;
        case WEB_SET_UTC:
            clock_.SetUtcMs((int64_t)argument);
            break;
        case WEB_PAUSE:
            pacer_.SetPaused(argument != 0, clock_.NowMs());
            break;
        case WEB_SPEED:
            pacer_.SetSpeed(argument, clock_.NowMs());
            break;
        case WEB_CAPTURE:
            if (PowerState == POWER_SPLASH)
                WebStateRefused("the instrument is in its splash; save after it");
            else
                WebState(FormatStateFile(CaptureInstrument(Snapshot())).c_str());
            break;
        default: // a step while running has nothing to do
            break;
    }
}

void WebHost::Yield(int sleepMs, bool waiting) {
    if (frameDirty_) {
        WebDraw(frame_);
        frameDirty_ = false;
    }
    WebLamp(lamp_ & 0xFF, (lamp_ >> 8) & 0xFF, (lamp_ >> 16) & 0xFF);
    WebYielded((double)clock_.UtcMs(), pacer_.Paused() ? 1 : 0, waiting && WebPeekEvent() == WEB_NONE ? 1 : 0,
               (double)clock_.NowMs());
    WebSleep(sleepMs);
    lastYieldNs_ = pacer_.WallNow();
}

// --- Host panel and clock ----------------------------------------------------

static WebHost* HostOf(void* context) { return static_cast<WebHost*>(context); }

// Only a frame that differs is drawn, and kept for the page's recent history.
void WebHost::Render(void* context) {
    WebHost* host = HostOf(context);
    if (std::memcmp(host->frame_, FrameBuffer, sizeof host->frame_) == 0) return;
    std::memcpy(host->frame_, FrameBuffer, sizeof host->frame_);
    host->frameDirty_ = true;
    host->frameChanged_ = true;
    WebRendered(host->frame_, (double)host->clock_.NowMs());
}

void WebHost::Pump(void* context) { HostOf(context)->EventPoint(); }

u8 WebHost::CalibrateChecked(void* context) { return HostOf(context)->calibrate_ ? 1 : 0; }

u8 WebHost::KeyFastChecked(void* context) { return HostOf(context)->keyFast_ ? 1 : 0; }

void WebHost::SetLamp(void* context, u32 colour) {
    WebHost* host = HostOf(context);
    if (host->lamp_ != colour) host->frameChanged_ = true;
    host->lamp_ = colour;
}

// The page only paints while the host sleeps, after the pass has drawn and
// shown the display again, so hiding it in between changes nothing visible.
void WebHost::Show(void*, u8) {}

u8 WebHost::ClockNow(void* context, s64* seconds) {
    *seconds = HostOf(context)->clock_.UtcSeconds();
    return 1;
}

int64_t WebHost::BrowserNanoseconds(void*) { return (int64_t)(emscripten_get_now() * 1e6); }
