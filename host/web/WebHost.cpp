#include "WebHost.h"

#include <emscripten.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include <ctime>

#include "lcd/Lcd.h"
#include "screens/Screens.h"
#include "script/ScriptCommands.h"
#include "sim/PanelNames.h"
#include "state/StateNames.h"

// --- The page (host/web/queue.js keeps the queue, controls.js the controls) -

// clang-format off
EM_JS(int, WebPeekEvent, (void), { return Tmx5.peek(); });
EM_JS(int, WebTakeEvent, (double* argument), {
    const e = Tmx5.take();
    HEAPF64[argument >> 3] = e[1];
    return e[0];
});
EM_JS(int, WebTakeStep, (void), { return Tmx5.takeStep(); });
// The frame as the instrument drew it, and its magnified picture (RGBA).
EM_JS(void, WebDraw, (const u8* frame, int frameBytes, const u32* picture, int pictureBytes), {
    Tmx5.draw(HEAPU8.subarray(frame, frame + frameBytes), HEAPU8.subarray(picture, picture + pictureBytes));
});
EM_JS(void, WebHistory, (const u8* frames, const double* ms, int count, double nowMs), {
    const list = [];
    for (let i = 0; i < count; i++)
        list.push({ms : HEAPF64[(ms >> 3) + i], frame : HEAPU8.slice(frames + 912 * i, frames + 912 * (i + 1))});
    Tmx5.history(list, nowMs);
});
EM_JS(void, WebLamp, (int red, int green, int blue), { Tmx5.lamp(red, green, blue); });
EM_JS(void, WebLabel15, (int position), { Tmx5.label15(position); });
EM_JS(void, WebControls, (int trackBar, int calibrate, int keyFast, int frameMs), {
    Tmx5.controls(trackBar, calibrate, keyFast, frameMs);
});
EM_JS(void, WebYielded, (double utcMs, int paused, int waiting), { Tmx5.yielded(utcMs, paused, waiting); });
EM_JS(void, WebTimeline, (double point, double start, double end), { Tmx5.timeline(point, start, end); });
EM_JS(void, WebState, (const char* text), { Tmx5.stateCaptured(UTF8ToString(text)); });
EM_JS(void, WebStateRefused, (const char* why), { Tmx5.stateRefused(UTF8ToString(why)); });
EM_JS(void, WebRecorded, (const char* script), { Tmx5.recorded(UTF8ToString(script)); });
EM_JS(void, WebRecordRefused, (const char* why), { Tmx5.recordRefused(UTF8ToString(why)); });
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
// How far back the page's animation download reaches, in virtual time.
const uint64_t HistoryMs = 60000;

} // namespace

WebHost::WebHost() : pacer_(BrowserNanoseconds, this) {
    SimPanel::Hooks hooks;
    hooks.eventPoint = [this] { EventPoint(); };
    hooks.rendered = [this](bool changed) { Rendered(changed); };
    hooks.lampChanged = [this](u32) { frameChanged_ = true; };
    // The page only paints while the host sleeps, after the pass has drawn
    // and shown the display again, so hiding it in between changes nothing
    // visible: no shown hook.
    panel_.SetHooks(std::move(hooks));
    // The host clock starts at the browser's UTC and then runs on virtual
    // time, which the clock panel can set, pause, step and speed up.
    panel_.Time().SetUtcMs((int64_t)WebDateNow());
    panel_.Attach();
}

WebHost::~WebHost() = default; // the panel detaches

void WebHost::Run() {
    lastYieldNs_ = pacer_.WallNow();
    if (!PutBackInitialState()) {
        StartHistory();
        WebStarted();
        WaitForNextFrame();
    }
    for (;;) {
        TravelIfDue();
        EventPoint();
    }
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
    panel_.PutBack(saved.host);
    frameDirty_ = true;
    Remember();
    StartHistory();
    WebControls(panel_.TrackBar(), panel_.Calibrate(), panel_.KeyFast(), (int)panel_.Time().FrameMs());
    // The link's speed and pause, which the page queued, hold before any
    // frame can fall due.
    Deliver();
    pacer_.StartTimeline(pacer_.WallNow(), panel_.Time().NowMs());
    WebStarted();
    // The event point the state was saved at.
    WaitForNextFrame();
    if (PowerState == POWER_ON && !travelDue_) {
        PowerState = POWER_OFF; // as ResumeMainLoop takes it
        ::ResumeMainLoop();
    }
    return true;
}

bool WebHost::FrameDue() const {
    return !pacer_.Paused() && pacer_.WaitBeforeFrame(panel_.Time().NowMs() + panel_.Time().FrameMs()) == 0;
}

int WebHost::SleepMs() const {
    if (pacer_.Paused()) return -1;
    uint64_t next = panel_.Time().NowMs() + panel_.Time().FrameMs();
    if (!frameChanged_ && WebPeekEvent() == WEB_NONE) {
        // The frame that crosses the next tick.
        const uint64_t tick = (panel_.Time().NowMs() / TickMs + 1) * TickMs;
        while (next < tick) next += panel_.Time().FrameMs();
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
    if (travelDue_) return; // the firmware's loops are ending for a travel
    points_++;
    for (unsigned ticks = panel_.Time().AdvanceFrame(); ticks > 0; ticks--) Timer1Timer();
    delivered_.clear();
    if (points_ <= session_.End()) ReplayInputs();
    if (travelDue_) return;
    if (recording_ && stopRecording_ && points_ >= readPoint_) EndRecording();
    WaitForNextFrame();
}

void WebHost::WaitForNextFrame() {
    for (;;) {
        if (travelDue_) return;
        // Re-running to a point in the splash: no waiting, no inputs.
        if (points_ < runTo_) break;
        // A recording that ends runs on, taking no inputs, to the event point
        // where the replay reads its closing lines, paused or not.
        if (recording_ && stopRecording_) break;
        // Behind the wall clock: the next frame runs at once, and inputs wait
        // for the event point where the host has caught up. At the fastest
        // speed every event point takes them.
        if (FrameDue() && !pacer_.Fastest()) break;
        if (Deliver()) break; // a step: run one frame now
        if (travelDue_) return;
        if (FrameDue()) break;
        Yield(SleepMs(), true);
    }
    RecordPoint();
    if (pacer_.WallNow() - lastYieldNs_ > LongestBusyNs) Yield(0, false);
    frameChanged_ = false;
}

// Inputs go to the instrument in batches, as the window delivers them and
// the runner reads script lines: after a batch that holds an input (not the
// clock panel's own events), the next waits two event points, so that the
// instrument has taken the key and drawn its effect. A swipe of several
// detents thus turns the knob step by step.
bool WebHost::Deliver() {
    std::vector<std::string> line;
    bool input = false;
    if (recording_ && recordUtc_ >= 0 && points_ >= nextDelivery_) {
        // The replay's first line sets the clock, at its first event point.
        panel_.Time().SetUtc(recordUtc_);
        line.push_back(FormatCommand(ScriptCommandKind::UTC, {UtcText(recordUtc_)}));
        recordUtc_ = -1;
    }
    for (;;) {
        const int next = WebPeekEvent();
        if (next == WEB_NONE) break;
        if (next == WEB_STEP && pacer_.Paused()) break;
        const bool isLine = next >= WEB_ON && next <= WEB_SET_UTC;
        if (isLine && points_ < nextDelivery_ && line.empty() && points_ >= runTo_) {
            // Held back; paused, a step queued after it still runs a frame.
            if (pacer_.Paused() && WebTakeStep()) return true;
            break;
        }
        double argument = 0;
        const int event = WebTakeEvent(&argument);
        if (!isLine) {
            Handle(event, argument);
            if (travelDue_) return false;
            continue;
        }
        // A new input after going back: the old future goes.
        if (points_ < session_.End()) session_.Cut(points_);
        input = input || event != WEB_SET_UTC;
        nextDelivery_ = points_ + (input ? 2 : 1);
        if (event == WEB_ON && PowerState == POWER_OFF) {
            // From off, ON runs the instrument until OFF; the rest of the
            // queue goes from its own event points.
            line.push_back(FormatCommand(ScriptCommandKind::ON));
            RecordLine(line, true);
            Note(SessionInput::ON, 0);
            RecordPoint();
            ::Button1Click();
            return false;
        }
        // Of several moves of the track bar in one batch only the last counts.
        if (event == WEB_SENSOR && WebPeekEvent() == WEB_SENSOR) continue;
        // The page sets the clock to the millisecond; the session keeps the
        // second, as a script does.
        int64_t value = (int64_t)argument;
        if (event == WEB_SET_UTC) value = (int64_t)std::floor(argument / 1000);
        if (event == WEB_CALIBRATE || event == WEB_KEYFAST) value = argument != 0;
        const PanelInput in{(PanelInput::Kind)event, value};
        line.push_back(Describe(in));
        if (event == WEB_SET_UTC) {
            panel_.Time().SetUtcMs((int64_t)argument);
            Note(in.kind, in.value);
        } else if (panel_.Apply(in)) {
            // The session keeps what reached the instrument (ON while on
            // asks for a restart; a bar that did not move is no input).
            Note(in.kind, in.value);
        }
    }
    RecordLine(line, input);
    if (WebPeekEvent() == WEB_STEP && pacer_.Paused()) {
        double unused;
        WebTakeEvent(&unused);
        return true;
    }
    return false;
}

std::string WebHost::Describe(const PanelInput& in) {
    typedef ScriptCommandKind K;
    switch (in.kind) {
        case PanelInput::ON:
            return FormatCommand(K::ON);
        case PanelInput::OFF:
            return FormatCommand(K::OFF);
        case PanelInput::KEY: {
            return FormatCommand(K::KEY, {KeyWord(in.value)});
        }
        case PanelInput::SENSOR:
            return FormatCommand(
                K::SENSOR, {std::to_string(std::max<int64_t>(0, std::min<int64_t>(in.value, SENSOR_LAST)))});
        case PanelInput::CALIBRATE:
            return FormatCommand(K::CALIBRATE, {in.value != 0 ? "on" : "off"});
        case PanelInput::KEYFAST:
            return FormatCommand(K::KEYFAST, {in.value != 0 ? "on" : "off"});
        case PanelInput::UTC:
            return FormatCommand(K::UTC, {UtcText(in.value)});
    }
    return std::string();
}

std::string WebHost::UtcText(int64_t seconds) {
    const std::time_t t = (std::time_t)seconds;
    std::tm broken;
    if (gmtime_r(&t, &broken) == nullptr) return std::string();
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", broken.tm_year + 1900,
                  broken.tm_mon + 1, broken.tm_mday, broken.tm_hour, broken.tm_min, broken.tm_sec);
    return text;
}

// --- Recording ---------------------------------------------------------------

void WebHost::StartRecording() {
    if (recording_) return;
    if (PowerState != POWER_OFF) {
        WebRecordRefused("Switch the instrument off to start a recording.");
        return;
    }
    const int64_t utc = panel_.Time().UtcSeconds();
    if (utc < 0 || utc > 4102444799LL) { // the years a script can set: 1970 to 2099
        WebRecordRefused("Set the clock between 1970 and 2099 to record.");
        return;
    }
    // Program start, as the replay begins: the instrument, its frame, the
    // lamp and controls, virtual time and the count of event points. The
    // page queues the controls' positions again as the first inputs.
    ResetInstrumentState();
    panel_.Reset();
    frameDirty_ = true;
    historyMs_.clear();
    history_.clear();
    const uint32_t frameMs = panel_.Time().FrameMs();
    panel_.Time() = VirtualClock();
    panel_.Time().SetFrameMs(frameMs);
    panel_.Time().SetUtc(utc);
    recordUtc_ = utc;
    points_ = 0;
    nextDelivery_ = 1;
    readPoint_ = 1;
    pacer_.StartTimeline(pacer_.WallNow(), 0);
    StartHistory();
    recording_ = true;
    stopRecording_ = false;
    script_ =
        "# Recorded in the TMX-5 simulator page; replay it with tmx5 run.\n"
        "# `passes` counts event points as the page ran them, so each input lands where it did.\n";
    if (frameMs != 20)
        script_ += FormatCommand(ScriptCommandKind::FRAME_MS, {std::to_string(frameMs)}) + "\n";
}

void WebHost::RecordLine(const std::vector<std::string>& commands, bool event) {
    if (!recording_ || commands.empty()) return;
    if (points_ > readPoint_)
        script_ += FormatCommand(ScriptCommandKind::PASSES, {std::to_string(points_ - readPoint_)}) + "\n";
    std::string text;
    for (const std::string& c : commands) text += (text.empty() ? "" : "; ") + c;
    script_ += text + "\n";
    readPoint_ = points_ + (event ? 2 : 0);
}

void WebHost::EndRecording() {
    if (points_ > readPoint_)
        script_ += FormatCommand(ScriptCommandKind::PASSES, {std::to_string(points_ - readPoint_)}) + "\n";
    script_ += "# The recording ended here, showing:\n";
    const auto expect = [this](const std::string& name, const std::string& value) {
        script_ += FormatCommand(ScriptCommandKind::EXPECT, {name, value}) + "\n";
    };
    for (const auto& shown : RecordedPanel(ViewOf(panel_))) expect(shown.first, shown.second);
    // Every value that differs from where power-on (or program start) puts
    // it; the frame buffer byte by byte where it is not blank.
    for (const StateName& n : StateNames()) {
        const bool frame = std::strcmp(n.name, "FrameBuffer") == 0;
        const long long base = n.hasPowerOn && !frame ? n.powerOn : 0;
        for (int i = 0; i < n.count; i++) {
            const long long value = ReadStateValue(&n, i);
            if (value == base) continue;
            expect(n.count > 1 ? std::string(n.name) + "[" + std::to_string(i) + "]" : n.name,
                   std::to_string(value));
        }
    }
    recording_ = stopRecording_ = false;
    WebRecorded(script_.c_str());
    script_.clear();
}

void WebHost::Handle(int event, double argument) {
    const uint64_t now = panel_.Time().NowMs();
    switch (event) {
        case WEB_PAUSE:
            pacer_.SetPaused(argument != 0, now);
            break;
        case WEB_SPEED:
            pacer_.SetSpeed(argument, now);
            break;
        case WEB_RECORD:
            if (argument != 0)
                StartRecording();
            else if (recording_)
                stopRecording_ = true;
            if (stopRecording_ && points_ >= readPoint_) EndRecording();
            break;
        case WEB_HISTORY: {
            // The frames of the last minute, oldest first.
            size_t first = 0;
            while (first + 1 < historyMs_.size() && historyMs_[first + 1] + HistoryMs <= now) first++;
            WebHistory(history_.data() + first * LCD_BYTES, historyMs_.data() + first,
                       (int)(historyMs_.size() - first), (double)now);
            break;
        }
        case WEB_TRAVEL:
            // Not while recording: the recording is the session from its start.
            if (recording_) break;
            travelTarget_ =
                std::max(session_.StartPoint(), std::min((uint64_t)std::max(argument, 0.0), session_.End()));
            travelDue_ = true;
            pacer_.SetPaused(true, now);
            RequestShutdown(); // ends the firmware's loops, if they run
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
        // Lit pixels black, unlit ones the grey the page's canvas starts with (display.js UNLIT).
        panel_.Picture(PANEL_SCALE, RgbaWord(0, 0, 0), RgbaWord(239, 239, 239), picture_.data(),
                       PANEL_PICTURE_WIDTH);
        WebDraw(panel_.Frame(), LCD_BYTES, picture_.data(), (int)(picture_.size() * sizeof picture_[0]));
        frameDirty_ = false;
    }
    if (labelShown_ != panel_.TrackBar()) {
        // TrackBar6Change has run: the label shows the position the host took.
        labelShown_ = panel_.TrackBar();
        WebLabel15(labelShown_);
    }
    const u32 lamp = panel_.Lamp();
    WebLamp(lamp & 0xFF, (lamp >> 8) & 0xFF, (lamp >> 16) & 0xFF);
    WebTimeline((double)points_, (double)session_.StartPoint(), (double)session_.End());
    WebYielded((double)panel_.Time().UtcMs(), pacer_.Paused() ? 1 : 0,
               waiting && WebPeekEvent() == WEB_NONE ? 1 : 0);
    WebSleep(sleepMs);
    lastYieldNs_ = pacer_.WallNow();
}

// --- Going back and forward ----------------------------------------------------

SessionState WebHost::CaptureSession() const {
    SessionState s = panel_.CaptureSession();
    s.point = points_;
    s.powerOnDue = powerOnDue_;
    return s;
}

void WebHost::StartHistory() {
    delivered_.clear();
    runTo_ = 0;
    session_.Start(CaptureSession());
}

void WebHost::Note(SessionInput::Kind kind, int64_t value) {
    delivered_.push_back(SessionInput{kind, value});
}

// The inputs of this event point go into the session (after its end only:
// a past point's are there already), and now and then a snapshot.
void WebHost::RecordPoint() {
    if (points_ < session_.End()) {
        delivered_.clear();
        return;
    }
    if (delivered_.empty())
        session_.Reach(points_);
    else
        session_.Record(points_, delivered_);
    delivered_.clear();
    if (session_.WantsSnapshot(points_) && PowerState != POWER_SPLASH) session_.AddSnapshot(CaptureSession());
}

void WebHost::ReplayInputs() {
    for (const SessionInput& in : session_.InputsAt(points_)) {
        // From off, ON runs the instrument, as the ON it repeats did.
        panel_.Apply(in);
        if (travelDue_) return;
    }
    WebControls(panel_.TrackBar(), panel_.Calibrate(), panel_.KeyFast(), (int)panel_.Time().FrameMs());
}

void WebHost::PutBackSession(const SessionState& s) {
    panel_.PutBackSession(s);
    points_ = s.point;
    powerOnDue_ = s.powerOnDue;
    frameDirty_ = frameChanged_ = true;
    historyMs_.clear();
    history_.clear();
    Remember();
    WebControls(panel_.TrackBar(), panel_.Calibrate(), panel_.KeyFast(), (int)panel_.Time().FrameMs());
    // The next input reaches the instrument where the runner would read it.
    nextDelivery_ = points_ + 1;
    for (uint64_t p = points_ > 0 ? points_ - 1 : 0; p <= points_; p++)
        for (const SessionInput& in : session_.InputsAt(p))
            if (in.kind != SessionInput::UTC) nextDelivery_ = std::max(nextDelivery_, p + 2);
    pacer_.StartTimeline(pacer_.WallNow(), panel_.Time().NowMs());
}

void WebHost::TravelIfDue() {
    while (travelDue_) {
        travelDue_ = false;
        ShutdownRequested = 0;
        runTo_ = 0;
        SessionState s;
        if (!session_.StateAt(travelTarget_, &s)) return;
        if (!s.Resumable()) {
            // The splash's own place was on the stack of the run that got
            // there: go on from the power-on before it, re-running to it.
            runTo_ = travelTarget_;
            if (!session_.StateAt(session_.PowerOnBefore(travelTarget_), &s)) return;
        }
        PutBackSession(s);
        // The event point put back, taking inputs until the next frame.
        WaitForNextFrame();
        if (travelDue_) continue;
        if (powerOnDue_) {
            powerOnDue_ = false;
            ::Button1Click();
        } else if (PowerState == POWER_ON) {
            PowerState = POWER_OFF; // as ResumeMainLoop takes it
            ::ResumeMainLoop();
        }
    }
}

// --- The panel's hooks -------------------------------------------------------

// Only a frame that differs is drawn, and kept for the page's recent history.
void WebHost::Rendered(bool changed) {
    if (travelDue_ || !changed) return; // the loops are ending: the travel shows its own frame
    frameDirty_ = true;
    frameChanged_ = true;
    Remember();
}

void WebHost::Remember() {
    const uint64_t now = panel_.Time().NowMs();
    // The frames that ended before the last minute began go.
    size_t old = 0;
    while (old + 1 < historyMs_.size() && historyMs_[old + 1] + HistoryMs <= now) old++;
    if (old > 0 && old * 2 >= historyMs_.size()) {
        historyMs_.erase(historyMs_.begin(), historyMs_.begin() + old);
        history_.erase(history_.begin(), history_.begin() + old * LCD_BYTES);
    }
    historyMs_.push_back((double)now);
    history_.insert(history_.end(), panel_.Frame(), panel_.Frame() + LCD_BYTES);
}

int64_t WebHost::BrowserNanoseconds(void*) { return (int64_t)(emscripten_get_now() * 1e6); }
