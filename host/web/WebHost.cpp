#include "WebHost.h"

#include <emscripten.h>

#include <cstring>

#include "lcd/Lcd.h"

// --- The page (host/web/page.js keeps the queue and the controls) ----------

// clang-format off
EM_JS(int, WebPeekEvent, (void), { return Tmx5.peek(); });
EM_JS(int, WebTakeEvent, (double* argument), {
    const e = Tmx5.take();
    HEAPF64[argument >> 3] = e[1];
    return e[0];
});
EM_JS(void, WebDraw, (const u8* frame), { Tmx5.draw(HEAPU8.subarray(frame, frame + 912)); });
EM_JS(void, WebLamp, (int red, int green, int blue), { Tmx5.lamp(red, green, blue); });
EM_JS(void, WebLabel15, (int position), { Tmx5.label15(position); });
EM_JS(void, WebYielded, (double utcMs, int paused, int waiting), { Tmx5.yielded(utcMs, paused, waiting); });
EM_JS(double, WebDateNow, (void), { return Date.now(); });
EM_JS(void, WebStarted, (void), { Tmx5.started(); });
// clang-format on

namespace {

// Longest sleep in one go, so that inputs are handled within a frame even
// while the clock runs slowly or is paused.
const int LongestSleepMs = 20;
// Running flat out (or catching up) the host still lets the browser paint
// and take inputs this often.
const int64_t LongestBusyNs = 30 * 1000000LL;

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
    WebStarted();
    for (;;) EventPoint();
}

void WebHost::EventPoint() {
    for (;;) {
        if (Deliver()) {
            double unused;
            WebTakeEvent(&unused); // the step: run one frame now
            break;
        }
        const int64_t waitNs = pacer_.WaitBeforeFrame(clock_.NowMs() + clock_.FrameMs());
        if (waitNs == 0) break;
        int sleepMs = LongestSleepMs;
        if (waitNs > 0 && waitNs < (int64_t)LongestSleepMs * 1000000)
            sleepMs = (int)((waitNs + 999999) / 1000000);
        Yield(sleepMs, true);
    }
    for (unsigned ticks = clock_.AdvanceFrame(); ticks > 0; ticks--) Timer1Timer();
    Deliver();
    if (pacer_.WallNow() - lastYieldNs_ > LongestBusyNs) Yield(0, false);
}

bool WebHost::Deliver() {
    for (;;) {
        const int next = WebPeekEvent();
        if (next == WEB_NONE) return false;
        if (next == WEB_STEP && pacer_.Paused()) return true;
        double argument = 0;
        const int event = WebTakeEvent(&argument);
        Handle(event, argument);
    }
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
    WebYielded((double)clock_.UtcMs(), pacer_.Paused() ? 1 : 0,
               waiting && WebPeekEvent() == WEB_NONE ? 1 : 0);
    emscripten_sleep(sleepMs);
    lastYieldNs_ = pacer_.WallNow();
}

// --- Host panel and clock ----------------------------------------------------

static WebHost* HostOf(void* context) { return static_cast<WebHost*>(context); }

void WebHost::Render(void* context) {
    WebHost* host = HostOf(context);
    std::memcpy(host->frame_, FrameBuffer, sizeof host->frame_);
    host->frameDirty_ = true;
}

void WebHost::Pump(void* context) { HostOf(context)->EventPoint(); }

u8 WebHost::CalibrateChecked(void* context) { return HostOf(context)->calibrate_ ? 1 : 0; }

u8 WebHost::KeyFastChecked(void* context) { return HostOf(context)->keyFast_ ? 1 : 0; }

void WebHost::SetLamp(void* context, u32 colour) { HostOf(context)->lamp_ = colour; }

// The page only paints while the host sleeps, after the pass has drawn and
// shown the display again, so hiding it in between changes nothing visible.
void WebHost::Show(void*, u8) {}

u8 WebHost::ClockNow(void* context, s64* seconds) {
    *seconds = HostOf(context)->clock_.UtcSeconds();
    return 1;
}

int64_t WebHost::BrowserNanoseconds(void*) { return (int64_t)(emscripten_get_now() * 1e6); }
