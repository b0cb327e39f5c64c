#include "Recorder.h"

#include "headless/ScriptCommands.h"
#include "runtime/State.h"
#include "screens/Screens.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <ostream>

Recorder::Recorder(std::ostream& out) : out_(&out) {}

Recorder::~Recorder() = default;

std::unique_ptr<Recorder> Recorder::OpenFile(const std::string& path, std::string* error) {
    std::unique_ptr<std::ofstream> file(new std::ofstream(path, std::ios::out | std::ios::trunc));
    if (!*file) {
        *error = std::strerror(errno);
        return nullptr;
    }
    std::unique_ptr<Recorder> recorder(new Recorder(*file));
    recorder->file_ = std::move(file);
    return recorder;
}

void Recorder::Begin(int64_t utcSeconds) {
    Line("# Recorded in the TMX-5 simulator window by tmx5 --record; replay it with tmx5 run.");
    const std::string utc = UtcText(utcSeconds);
    if (utc.empty())
        Line("# The host clock was outside 1970 to 2099; the replay keeps its own start time.");
    else
        Line(FormatCommand(ScriptCommandKind::UTC, {utc}));
}

void Recorder::Event(int64_t ms, const std::string& command) {
    if (ended_) return;
    WaitUntil(ms);
    Line(command);
    replayMs_ += AfterEventMs;
}

void Recorder::Ignored(int64_t ms, const std::string& command, const std::string& why) {
    if (ended_) return;
    Line("# " + command + " at " + DurationText(ms < 0 ? 0 : ms) + " not replayed: " + why);
}

void Recorder::End(int64_t ms, const std::vector<std::pair<std::string, std::string>>& state) {
    if (ended_) return;
    WaitUntil(ms);
    Line("# The window closed here, showing:");
    for (const auto& value : state) Line(FormatCommand(ScriptCommandKind::EXPECT, {value.first, value.second}));
    ended_ = true;
}

int64_t Recorder::WaitMs(int64_t from, int64_t to) {
    if (to <= from) return 0;
    return (to - from + FrameMs / 2) / FrameMs * FrameMs;
}

std::string Recorder::DurationText(int64_t ms) {
    if (ms < 1000) return std::to_string(ms) + "ms";
    std::string text = std::to_string(ms / 1000);
    int64_t fraction = ms % 1000;
    if (fraction != 0) {
        // Three decimals, then the trailing zeros dropped: 1580 is "1.58s".
        std::string digits = std::to_string(1000 + fraction).substr(1);
        while (digits.back() == '0') digits.pop_back();
        text += "." + digits;
    }
    return text + "s";
}

std::string Recorder::UtcText(int64_t seconds) {
    const std::time_t t = (std::time_t)seconds;
    std::tm broken;
    if (gmtime_r(&t, &broken) == nullptr) return std::string();
    const int year = broken.tm_year + 1900;
    if (year < 1970 || year > 2099) return std::string();
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, broken.tm_mon + 1,
                  broken.tm_mday, broken.tm_hour, broken.tm_min, broken.tm_sec);
    return text;
}

void Recorder::Line(const std::string& text) {
    *out_ << text << '\n';
    out_->flush();
}

void Recorder::WaitUntil(int64_t ms) {
    const int64_t wait = WaitMs(replayMs_, ms);
    if (wait == 0) return;
    Line(FormatCommand(ScriptCommandKind::WAIT, {DurationText(wait)}));
    replayMs_ += wait;
}

std::vector<std::pair<std::string, std::string>> RecordedState(const std::string& label15) {
    std::vector<std::pair<std::string, std::string>> state;
    if (ScreenHandler == nullptr)
        state.emplace_back("ScreenHandler", "none");
    else if (const char* name = ScreenRoutineName(ScreenHandler))
        state.emplace_back("ScreenHandler", name);
    const struct {
        const char* name;
        long long value;
    } values[] = {
        {"HomePage", HomePage},
        {"MenuCursor", MenuCursor},
        {"EditMode", EditMode},
        {"MainZone", MainZone},
        {"SecondZone", SecondZone},
        {"Contrast", Contrast},
        {"Backlight", Backlight},
        {"TempUnitF", TempUnitF},
        {"CalibrationOffset", CalibrationOffset},
        {"TimerPresetHours", TimerPresetHours},
        {"TimerPresetMinutes", TimerPresetMinutes},
        {"TimerPresetSeconds", TimerPresetSeconds},
        {"AlarmHour", AlarmHour},
        {"AlarmMinute", AlarmMinute},
        {"AlarmSecond", AlarmSecond},
        {"StopwatchRunning", StopwatchRunning},
        {"TimerRunning", TimerRunning},
        {"AlarmEnabled", AlarmEnabled},
        {"CalibrateEnabled", CalibrateEnabled},
        {"KeyStep", KeyStep},
        {"RawSensor", RawSensor},
    };
    for (const auto& v : values) state.emplace_back(v.name, std::to_string(v.value));
    state.emplace_back("Label15", label15);
    state.emplace_back("Power", PowerState == POWER_ON ? "on" : PowerState == POWER_SPLASH ? "splash" : "off");
    return state;
}
