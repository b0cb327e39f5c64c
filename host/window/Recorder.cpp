#include "Recorder.h"

#include "frames/FrameFiles.h"
#include "runtime/State.h"
#include "screens/Screens.h"
#include "script/ScriptCommands.h"
#include "sim/PanelNames.h"
#include "state/StateNames.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

Recorder::Recorder(std::FILE* out, const std::string& path) : out_(out), path_(path) {}

Recorder::~Recorder() = default; // an unfinished recording's temporary file goes with file_

std::unique_ptr<Recorder> Recorder::OpenFile(const std::string& path, std::string* error) {
    std::unique_ptr<AtomicFile> file(new AtomicFile());
    if (!file->Open(path)) {
        *error = file->Error();
        return nullptr;
    }
    std::unique_ptr<Recorder> recorder(new Recorder(file->File(), path));
    recorder->file_ = std::move(file);
    return recorder;
}

bool Recorder::Write(const std::string& text) {
    if (!error_.empty()) return false;
    errno = 0;
    if (std::fputs(text.c_str(), out_) < 0 || std::fputc('\n', out_) == EOF || std::fflush(out_) != 0) {
        error_ = "cannot write " + path_ + ": " + std::strerror(errno ? errno : EIO);
        return false;
    }
    return true;
}

bool Recorder::Begin() {
    return Write("# Recorded in the TMX-5 simulator window; replay it with tmx5 run.") &&
           Write("# `passes` counts event points as the window ran them, so each input lands where it did.");
}

bool Recorder::PassesUntil(uint64_t point) {
    // The most one `passes` line takes, from the command table.
    static const uint64_t most = (uint64_t)FindScriptCommand("passes")->args[0].hi;
    bool ok = true;
    while (ok && point > readPoint_) {
        const uint64_t n = std::min(point - readPoint_, most);
        ok = Write(FormatCommand(ScriptCommandKind::PASSES, {std::to_string(n)}));
        readPoint_ += n;
    }
    readPoint_ = std::max(readPoint_, point);
    return ok;
}

bool Recorder::Line(uint64_t point, const std::vector<std::string>& commands, bool event) {
    if (ended_ || commands.empty()) return error_.empty();
    if (!PassesUntil(point)) return false;
    std::string text;
    for (const std::string& c : commands) text += (text.empty() ? "" : "; ") + c;
    readPoint_ = point + (event ? 2 : 0);
    return Write(text);
}

bool Recorder::End(uint64_t point, const std::vector<std::pair<std::string, std::string>>& state,
                   const u8* frame) {
    if (ended_) return error_.empty();
    ended_ = true;
    if (!PassesUntil(point)) return false;
    if (!Write("# The recording ended here, showing:")) return false;
    for (const auto& value : state)
        if (!Write(FormatCommand(ScriptCommandKind::EXPECT, {value.first, value.second}))) return false;
    const std::string framePath = FramePath(path_);
    errno = 0;
    if (!WriteFramePbm(framePath, frame)) {
        error_ = "cannot write " + framePath + ": " + std::strerror(errno ? errno : EIO);
        return false;
    }
    const size_t slash = framePath.rfind('/');
    if (!Write(FormatCommand(ScriptCommandKind::EXPECT_FRAME,
                             {slash == std::string::npos ? framePath : framePath.substr(slash + 1)})))
        return false;
    // The whole recording takes the file's name.
    if (file_ && !file_->Commit()) {
        error_ = "cannot write " + path_ + ": " + file_->Error();
        return false;
    }
    return true;
}

std::string Recorder::UtcText(int64_t seconds) {
    const std::time_t t = (std::time_t)seconds;
    std::tm broken;
    if (gmtime_r(&t, &broken) == nullptr) return std::string();
    const int year = broken.tm_year + 1900;
    if (year < 1970 || year > 2099) return std::string();
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, broken.tm_mon + 1, broken.tm_mday,
                  broken.tm_hour, broken.tm_min, broken.tm_sec);
    return text;
}

static std::string ScriptBase(const std::string& scriptPath) {
    std::string base = scriptPath;
    const size_t slash = base.rfind('/');
    if (base.size() > 4 && base.compare(base.size() - 4, 4, ".tmx") == 0 &&
        (slash == std::string::npos || base.size() - 4 > slash + 1))
        base.resize(base.size() - 4);
    return base;
}

std::string Recorder::FramePath(const std::string& scriptPath) {
    return ScriptBase(scriptPath) + ".last.pbm";
}

std::string Recorder::StartStatePath(const std::string& scriptPath) {
    return ScriptBase(scriptPath) + ".start.state";
}

namespace {

// The power-on value of a state variable, from the state table when it
// carries one; otherwise the values power-on sets, by name.
template <typename T>
auto PowerOnOf(const T& n, long long* value, int) -> decltype((void)n.hasPowerOn, (void)n.powerOn, bool()) {
    if (!n.hasPowerOn) return false;
    *value = (long long)n.powerOn;
    return true;
}

template <typename T>
bool PowerOnOf(const T& n, long long* value, long) {
    static const struct {
        const char* name;
        long long value;
    } table[] = {{"Contrast", 37},
                 {"Backlight", 1},
                 {"MainZone", ZONE_UTC_ZULU},
                 {"SecondZone", ZONE_UTC_ZULU},
                 {"RawSensor", 2048}};
    for (const auto& t : table)
        if (std::strcmp(t.name, n.name) == 0) {
            *value = t.value;
            return true;
        }
    return false;
}

} // namespace

std::vector<std::pair<std::string, std::string>> RecordedState(const std::string& label15, u32 lamp) {
    std::vector<std::pair<std::string, std::string>> state = RecordedPanel(PanelView{lamp, label15});
    for (const StateName& n : StateNames()) {
        if (std::strcmp(n.name, "FrameBuffer") == 0) continue; // the expect-frame line checks it
        long long base = 0;
        PowerOnOf(n, &base, 0);
        for (int i = 0; i < n.count; i++) {
            const long long value = ReadStateValue(&n, i);
            if (value == base) continue;
            std::string name = n.name;
            if (n.count > 1) name += "[" + std::to_string(i) + "]";
            state.emplace_back(name, std::to_string(value));
        }
    }
    return state;
}
