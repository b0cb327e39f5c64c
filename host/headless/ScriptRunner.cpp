#include "ScriptRunner.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "FrameConvert.h"
#include "FrameFiles.h"
#include "StateNames.h"
#include "screens/Screens.h"

// --- Reading --------------------------------------------------------------

static std::vector<std::string> Words(const std::string& s) {
    std::vector<std::string> words;
    std::istringstream in(s);
    std::string w;
    while (in >> w) words.push_back(w);
    return words;
}

// A whole number in [lo, hi], optionally signed; nothing else on the word.
static bool ParseNumber(const std::string& s, long long lo, long long hi, long long* value) {
    if (s.empty() || s.size() > 20) return false;
    size_t i = (s[0] == '+' || s[0] == '-') ? 1 : 0;
    if (i == s.size()) return false;
    for (size_t k = i; k < s.size(); k++)
        if (s[k] < '0' || s[k] > '9') return false;
    errno = 0;
    long long v = std::strtoll(s.c_str(), nullptr, 10);
    if (errno != 0 || v < lo || v > hi) return false;
    *value = v;
    return true;
}

// "250ms", "2s", "1.5s", "10m", "2h" as milliseconds; at most 1000 hours.
static bool ParseDuration(const std::string& s, long long* ms) {
    size_t i = 0;
    while (i < s.size() && ((s[i] >= '0' && s[i] <= '9') || s[i] == '.')) i++;
    std::string number = s.substr(0, i), unit = s.substr(i);
    if (number.empty() || number.size() > 12 || number == "." ||
        number.find('.') != number.rfind('.'))
        return false;
    double scale;
    if (unit == "ms") scale = 1;
    else if (unit == "s") scale = 1000;
    else if (unit == "m") scale = 60000;
    else if (unit == "h") scale = 3600000;
    else return false;
    double v = std::strtod(number.c_str(), nullptr) * scale;
    if (!(v >= 0) || v > 1000.0 * 3600000) return false;
    *ms = (long long)std::llround(v);
    return true;
}

static bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// Seconds since 1970 of a proleptic Gregorian UTC date and time.
static long long CivilToSeconds(int y, int mo, int d, int h, int mi, int s) {
    static const int before[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    long long days = 0;
    for (int year = 1970; year < y; year++) days += IsLeap(year) ? 366 : 365;
    days += before[mo - 1] + (mo > 2 && IsLeap(y) ? 1 : 0) + d - 1;
    return ((days * 24 + h) * 60 + mi) * 60 + s;
}

static bool ParseUtc(const std::string& date, const std::string& time, long long* seconds) {
    int y, mo, d, h, mi, s;
    char tail;
    if (date.size() != 10 || time.size() != 8) return false;
    if (std::sscanf(date.c_str(), "%4d-%2d-%2d%c", &y, &mo, &d, &tail) != 3) return false;
    if (std::sscanf(time.c_str(), "%2d:%2d:%2d%c", &h, &mi, &s, &tail) != 3) return false;
    if (date[4] != '-' || date[7] != '-' || time[2] != ':' || time[5] != ':') return false;
    static const int length[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1970 || y > 2099 || mo < 1 || mo > 12 || h < 0 || h > 23 || mi < 0 || mi > 59 ||
        s < 0 || s > 59 || d < 1 || d > length[mo - 1] + (mo == 2 && IsLeap(y) ? 1 : 0))
        return false;
    *seconds = CivilToSeconds(y, mo, d, h, mi, s);
    return true;
}

static const struct {
    const char* word;
    u8 code;
} KeyWords[] = {{"menu", KEY_MENU}, {"cw", KEY_CW}, {"ccw", KEY_CCW}, {"left", KEY_LEFT}, {"right", KEY_RIGHT}};

// Names that are not instrument variables but what the window shows.
static bool IsPanelName(const std::string& n) {
    return n == "ScreenHandler" || n == "Lamp" || n == "Label15" || n == "Power";
}

bool ScriptRunner::Bad(int number, const std::string& why) {
    err_ << displayName_ << ":" << number << ": " << why << "\n";
    return false;
}

bool ScriptRunner::ParseCommand(const std::vector<std::string>& w, int number, ScriptCommand* c,
                                bool* isEvent) {
    const std::string& op = w[0];
    const size_t args = w.size() - 1;
    auto arity = [&](size_t n, const char* form) {
        if (args == n) return true;
        return Bad(number, std::string("usage: ") + form);
    };
    *isEvent = false;
    if (op == "utc") {
        if (!arity(2, "utc YYYY-MM-DD HH:MM:SS")) return false;
        c->kind = ScriptCommand::UTC;
        if (!ParseUtc(w[1], w[2], &c->number))
            return Bad(number, "not a UTC time from 1970 to 2099: " + w[1] + " " + w[2]);
    } else if (op == "on" || op == "off") {
        if (!arity(0, op == "on" ? "on" : "off")) return false;
        c->kind = op == "on" ? ScriptCommand::ON : ScriptCommand::OFF;
        *isEvent = true;
    } else if (op == "key") {
        if (!arity(1, "key menu|cw|ccw|left|right")) return false;
        c->kind = ScriptCommand::KEY;
        c->number = -1;
        for (const auto& k : KeyWords)
            if (w[1] == k.word) c->number = k.code;
        if (c->number < 0) return Bad(number, "unknown key " + w[1] + " (menu, cw, ccw, left, right)");
        *isEvent = true;
    } else if (op == "sensor") {
        if (!arity(1, "sensor N (0 to 4096)")) return false;
        c->kind = ScriptCommand::SENSOR;
        if (!ParseNumber(w[1], 0, 4096, &c->number))
            return Bad(number, "sensor position must be 0 to 4096, not " + w[1]);
        *isEvent = true;
    } else if (op == "calibrate" || op == "keyfast") {
        if (!arity(1, op == "calibrate" ? "calibrate on|off" : "keyfast on|off")) return false;
        c->kind = op == "calibrate" ? ScriptCommand::CALIBRATE : ScriptCommand::KEYFAST;
        if (w[1] != "on" && w[1] != "off") return Bad(number, op + " takes on or off, not " + w[1]);
        c->number = w[1] == "on";
        *isEvent = true;
    } else if (op == "wait") {
        if (!arity(1, "wait DURATION (250ms, 2s, 1.5s, 10m, 2h)")) return false;
        c->kind = ScriptCommand::WAIT;
        if (!ParseDuration(w[1], &c->number))
            return Bad(number, "not a duration: " + w[1] + " (250ms, 2s, 1.5s, 10m, 2h; at most 1000h)");
    } else if (op == "passes") {
        if (!arity(1, "passes N")) return false;
        c->kind = ScriptCommand::PASSES;
        if (!ParseNumber(w[1], 0, 100000000, &c->number))
            return Bad(number, "passes takes a count from 0 to 100000000, not " + w[1]);
    } else if (op == "frame-ms") {
        if (!arity(1, "frame-ms N (1 to 1000)")) return false;
        c->kind = ScriptCommand::FRAME_MS;
        if (!ParseNumber(w[1], 1, 1000, &c->number))
            return Bad(number, "frame period must be 1 to 1000 ms, not " + w[1]);
    } else if (op == "snap") {
        if (!arity(1, "snap FILE.pbm|FILE.png|FILE.txt")) return false;
        c->kind = ScriptCommand::SNAP;
        c->text = w[1];
        if (FrameFormatOf(w[1]) == FRAME_UNKNOWN)
            return Bad(number, "snap writes .pbm, .png or .txt, not " + w[1]);
    } else if (op == "expect") {
        if (args < 2) return Bad(number, "usage: expect NAME VALUE");
        c->kind = ScriptCommand::EXPECT;
        c->names = {w[1]};
        // The value is the rest of the line, so a label with spaces can be compared.
        c->text = w[2];
        for (size_t i = 3; i < w.size(); i++) c->text += " " + w[i];
        const std::string& name = w[1];
        long long n;
        if (name == "ScreenHandler") {
            if (c->text != "none" && ScreenRoutineByName(c->text.c_str()) == nullptr)
                return Bad(number, "no screen routine is called " + c->text);
        } else if (name == "Power") {
            if (c->text != "off" && c->text != "splash" && c->text != "on")
                return Bad(number, "Power is off, splash or on, not " + c->text);
        } else if (name == "Lamp") {
            if (!ParseNumber(c->text, 0, 0xFFFFFFFFLL, &n)) return Bad(number, "Lamp takes a colour number, not " + c->text);
        } else if (name != "Label15") {
            const StateName* var;
            int index;
            std::string why;
            if (!ResolveStateName(name, &var, &index, &why)) return Bad(number, why);
            if (!ParseNumber(c->text, -(1LL << 62), 1LL << 62, &n))
                return Bad(number, name + " takes a whole number, not " + c->text);
        }
    } else if (op == "expect-frame") {
        if (!arity(1, "expect-frame FILE.pbm")) return false;
        c->kind = ScriptCommand::EXPECT_FRAME;
        c->text = w[1];
        if (FrameFormatOf(w[1]) != FRAME_PBM) return Bad(number, "expect-frame compares with a .pbm file, not " + w[1]);
    } else if (op == "print") {
        if (args < 1) return Bad(number, "usage: print NAME ...");
        c->kind = ScriptCommand::PRINT;
        for (size_t i = 1; i < w.size(); i++) {
            if (!IsPanelName(w[i])) {
                const StateName* var;
                int index;
                std::string why;
                if (!ResolveStateName(w[i], &var, &index, &why)) return Bad(number, why);
            }
            c->names.push_back(w[i]);
        }
    } else {
        return Bad(number, "unknown command " + op);
    }
    return true;
}

bool ScriptRunner::ParseLine(const std::string& raw, int number) {
    std::string text = raw.substr(0, raw.find('#'));
    for (unsigned char ch : text)
        if (ch < 32 && ch != '\t' && ch != '\r')
            return Bad(number, "control character in the line");
    ScriptLine line;
    line.number = number;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(';', start);
        std::string part = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        std::vector<std::string> words = Words(part);
        if (!words.empty()) {
            ScriptCommand cmd;
            bool isEvent;
            if (!ParseCommand(words, number, &cmd, &isEvent)) return false;
            line.hasEvent = line.hasEvent || isEvent;
            line.commands.push_back(cmd);
        } else if (end != std::string::npos || start != 0) {
            // "a;;b" or a trailing ';' leaves an empty command: harmless, skipped.
        }
        if (end == std::string::npos) break;
        start = end + 1;
    }
    if (!line.commands.empty()) lines_.push_back(line);
    return true;
}

bool ScriptRunner::Load(const std::string& text, const std::string& displayName, const std::string& baseDir) {
    displayName_ = displayName;
    baseDir_ = baseDir;
    lines_.clear();
    if (text.find('\0') != std::string::npos) {
        size_t at = text.find('\0');
        int line = 1;
        for (size_t i = 0; i < at; i++) line += text[i] == '\n';
        return Bad(line, "NUL byte in the script");
    }
    std::istringstream in(text);
    std::string raw;
    int number = 0;
    bool ok = true;
    while (std::getline(in, raw)) {
        number++;
        if (!ParseLine(raw, number)) ok = false; // report every bad line, run none
    }
    if (!ok) lines_.clear();
    return ok;
}

// --- Running ----------------------------------------------------------------

std::string ScriptRunner::PathOf(const std::string& name) const {
    if (name.empty() || name[0] == '/' || baseDir_.empty() || baseDir_ == ".") return name;
    return baseDir_ + "/" + name;
}

bool ScriptRunner::ValueOf(const std::string& name, std::string* value) {
    if (name == "ScreenHandler") {
        const char* n = ScreenRoutineName(ScreenHandler);
        *value = n ? n : (ScreenHandler ? "unknown" : "none");
    } else if (name == "Lamp") {
        *value = std::to_string(host_->Lamp());
    } else if (name == "Label15") {
        *value = host_->Label15();
    } else if (name == "Power") {
        *value = PowerState == POWER_ON ? "on" : PowerState == POWER_SPLASH ? "splash" : "off";
    } else {
        const StateName* var;
        int index;
        std::string why;
        if (!ResolveStateName(name, &var, &index, &why)) return false;
        *value = std::to_string(ReadStateValue(var, index));
    }
    return true;
}

void ScriptRunner::Finish(int code) {
    if (finished_) return;
    finished_ = true;
    exitCode_ = code;
    if (PowerState != POWER_OFF) RequestShutdown();
}

ScriptRunner::Step ScriptRunner::Execute(const ScriptCommand& c, int number) {
    switch (c.kind) {
    case ScriptCommand::UTC: host_->SetUtc(c.number); return STEP_ON;
    case ScriptCommand::ON:
        if (PowerState == POWER_OFF) {
            // The window's message loop runs the ON handler, which returns
            // only at OFF; the rest of this line is delivered by its first pump.
            powerOnRequested_ = true;
            return STEP_SUSPEND;
        }
        Button1Click();
        return STEP_ON;
    case ScriptCommand::OFF: Button2Click(); return STEP_ON;
    case ScriptCommand::KEY:
        switch (c.number) {
        case KEY_MENU: Image5Click(); break;
        case KEY_CW: Button3Click(); break;
        case KEY_CCW: Button4Click(); break;
        case KEY_LEFT: Image3Click(); break;
        case KEY_RIGHT: Image6Click(); break;
        }
        return STEP_ON;
    case ScriptCommand::SENSOR: host_->MoveTrackBar((int)c.number); return STEP_ON;
    case ScriptCommand::CALIBRATE: host_->SetCalibrate(c.number != 0); return STEP_ON;
    case ScriptCommand::KEYFAST: host_->SetKeyFast(c.number != 0); return STEP_ON;
    case ScriptCommand::WAIT:
        if (c.number == 0) return STEP_ON;
        waitUntilMs_ = host_->NowMs() + (uint64_t)c.number;
        return STEP_SUSPEND;
    case ScriptCommand::PASSES:
        if (c.number == 0) return STEP_ON;
        skipPoints_ = (uint64_t)c.number;
        return STEP_SUSPEND;
    case ScriptCommand::FRAME_MS: host_->SetFrameMs((uint32_t)c.number); return STEP_ON;
    case ScriptCommand::SNAP: {
        // The folders a snapshot names are made when missing.
        std::error_code ec;
        std::filesystem::path parent = std::filesystem::path(PathOf(c.text)).parent_path();
        if (!parent.empty()) std::filesystem::create_directories(parent, ec);
        if (!WriteFrame(PathOf(c.text), host_->LastFrame())) {
            err_ << displayName_ << ":" << number << ": cannot write " << PathOf(c.text) << ": "
                 << std::strerror(errno) << "\n";
            Finish(2);
            return STEP_STOP;
        }
        return STEP_ON;
    }
    case ScriptCommand::EXPECT: {
        const std::string& name = c.names[0];
        std::string actual;
        ValueOf(name, &actual);
        bool same;
        long long want, got;
        if (name == "ScreenHandler" || name == "Power" || name == "Label15")
            same = actual == c.text;
        else
            same = ParseNumber(c.text, -(1LL << 62), 1LL << 62, &want) &&
                   ParseNumber(actual, -(1LL << 62), 1LL << 62, &got) && want == got;
        if (!same) {
            err_ << displayName_ << ":" << number << ": expected " << name << " " << c.text << ", got "
                 << actual << "\n";
            Finish(1);
            return STEP_STOP;
        }
        return STEP_ON;
    }
    case ScriptCommand::EXPECT_FRAME: {
        u8 want[FRAME_BYTES];
        std::string why;
        if (!ReadFramePbm(PathOf(c.text), want, &why)) {
            err_ << displayName_ << ":" << number << ": expected frame " << c.text << ", but " << why << "\n";
            Finish(1);
            return STEP_STOP;
        }
        int differ = 0, fx = -1, fy = -1;
        for (int y = 0; y < FRAME_HEIGHT; y++)
            for (int x = 0; x < FRAME_WIDTH; x++)
                if (FramePixel(want, x, y) != FramePixel(host_->LastFrame(), x, y)) {
                    if (differ++ == 0) fx = x, fy = y;
                }
        if (differ > 0) {
            err_ << displayName_ << ":" << number << ": expected frame " << c.text << ", got " << differ
                 << " pixel" << (differ == 1 ? "" : "s") << " different, the first at (" << fx << ", " << fy
                 << ")\n";
            Finish(1);
            return STEP_STOP;
        }
        return STEP_ON;
    }
    case ScriptCommand::PRINT:
        for (const std::string& name : c.names) {
            std::string v;
            ValueOf(name, &v);
            out_ << name << "=" << v << "\n";
        }
        out_.flush();
        return STEP_ON;
    }
    return STEP_ON;
}

void ScriptRunner::ProcessScript() {
    for (;;) {
        if (skipPoints_ > 0) {
            if (--skipPoints_ > 0) return;
        }
        if (waitUntilMs_ > 0) {
            if (host_->NowMs() < waitUntilMs_) return;
            waitUntilMs_ = 0;
        }
        if (lineIndex_ >= lines_.size()) {
            Finish(0);
            return;
        }
        const ScriptLine& line = lines_[lineIndex_];
        while (commandIndex_ < line.commands.size()) {
            Step step = Execute(line.commands[commandIndex_++], line.number);
            if (step == STEP_STOP) return;
            if (step == STEP_SUSPEND) {
                if (commandIndex_ == line.commands.size()) break; // the line is done
                return;
            }
        }
        lineIndex_++;
        commandIndex_ = 0;
        if (line.hasEvent) {
            skipPoints_ = 2;
            return;
        }
        if (skipPoints_ > 0 || waitUntilMs_ > 0 || powerOnRequested_) return;
    }
}

void ScriptRunner::OnEventPoint() {
    if (PowerState != POWER_OFF) passes_++;
    if (finished_) return;
    ProcessScript();
}

int ScriptRunner::Run() {
    hostOwned_.reset(); // detach a previous run's host before the new one attaches
    hostOwned_.reset(new HeadlessHost());
    host_ = hostOwned_.get();
    host_->SetEventPoint([this] { OnEventPoint(); });
    lineIndex_ = commandIndex_ = 0;
    skipPoints_ = waitUntilMs_ = 0;
    powerOnRequested_ = finished_ = false;
    exitCode_ = 0;
    passes_ = 0;
    // The host's idle loop: one event point per frame period while the
    // instrument is off; ON runs the instrument inside it until OFF.
    while (!finished_) {
        host_->EventPoint();
        if (powerOnRequested_ && !finished_) {
            powerOnRequested_ = false;
            Button1Click();
        }
    }
    host_->SetEventPoint(nullptr);
    return exitCode_;
}

int RunScriptFile(const std::string& path, std::ostream& out, std::ostream& err) {
    std::string text, baseDir = ".";
    if (path == "-") {
        std::stringstream ss;
        ss << std::cin.rdbuf();
        text = ss.str();
    } else {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            err << path << ": cannot read the script: " << std::strerror(errno) << "\n";
            return 2;
        }
        std::stringstream ss;
        ss << in.rdbuf();
        text = ss.str();
        size_t slash = path.rfind('/');
        if (slash != std::string::npos) baseDir = slash == 0 ? "/" : path.substr(0, slash);
    }
    ScriptRunner runner(out, err);
    if (!runner.Load(text, path, baseDir)) return 2;
    return runner.Run();
}
