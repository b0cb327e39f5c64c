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

// Splits a line into its commands and each command into words. A '#'
// outside double quotes ends the line, a ';' outside them ends a command and
// blanks outside them end a word; a quoted part stays in its word as written,
// quotes and escapes included, for the command to decode. An unclosed quote
// runs to the end of the line. *control is set when a control character
// other than a tab or a carriage return comes before the comment.
static std::vector<std::vector<std::string>> SplitLine(const std::string& text, bool* control) {
    std::vector<std::vector<std::string>> commands(1);
    std::string word;
    bool quoted = false, inWord = false;
    auto endWord = [&] {
        if (inWord) commands.back().push_back(word);
        word.clear();
        inWord = false;
    };
    *control = false;
    for (size_t i = 0; i < text.size(); i++) {
        const char c = text[i];
        if ((unsigned char)c < 32 && c != '\t' && c != '\r') *control = true;
        if (quoted) {
            word += c;
            if (c == '\\' && i + 1 < text.size()) word += text[++i];
            else if (c == '"') quoted = false;
            continue;
        }
        if (c == '#') break;
        if (c == ';') {
            endWord();
            commands.emplace_back();
        } else if (c == ' ' || c == '\t' || c == '\r') {
            endWord();
        } else {
            word += c;
            inWord = true;
            quoted = c == '"';
        }
    }
    endWord();
    return commands;
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
        const char* usage = "usage: expect-frame FILE.pbm [ignore X0 Y0 X1 Y1 ...]";
        if (args != 1 && (args < 2 || w[2] != "ignore")) return Bad(number, usage);
        c->kind = ScriptCommand::EXPECT_FRAME;
        c->text = w[1];
        if (FrameFormatOf(w[1]) != FRAME_PBM) return Bad(number, "expect-frame compares with a .pbm file, not " + w[1]);
        if (args > 1) {
            const size_t corners = args - 2;
            if (corners == 0 || corners % 4 != 0)
                return Bad(number, "ignore takes boxes of four numbers, X0 Y0 X1 Y1 (inclusive corners)");
            for (size_t i = 3; i < w.size(); i += 4) {
                long long v[4];
                const long long hi[4] = {LCD_WIDTH - 1, LCD_HEIGHT - 1, LCD_WIDTH - 1, LCD_HEIGHT - 1};
                for (int k = 0; k < 4; k++)
                    if (!ParseNumber(w[i + k], 0, hi[k], &v[k]))
                        return Bad(number, "an ignore box lies within x 0 to 113 and y 0 to 63, not " + w[i] + " " +
                                               w[i + 1] + " " + w[i + 2] + " " + w[i + 3]);
                if (v[0] > v[2] || v[1] > v[3])
                    return Bad(number, "an ignore box goes from its top left corner to its bottom right, not " +
                                           w[i] + " " + w[i + 1] + " " + w[i + 2] + " " + w[i + 3]);
                c->ignore.push_back({(int)v[0], (int)v[1], (int)v[2], (int)v[3]});
            }
        }
    } else if (op == "expect-text" || op == "expect-text-centred") {
        c->kind = ScriptCommand::EXPECT_TEXT;
        std::string why;
        if (!ParseTextExpectation(std::vector<std::string>(w.begin() + 1, w.end()), op == "expect-text-centred",
                                  &c->expectText, &why))
            return Bad(number, why);
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

bool ScriptRunner::ParseLine(const std::string& text, int number) {
    bool control;
    const std::vector<std::vector<std::string>> commands = SplitLine(text, &control);
    if (control) return Bad(number, "control character in the line");
    ScriptLine line;
    line.number = number;
    // "a;;b" or a trailing ';' leaves an empty command: harmless, skipped.
    for (const std::vector<std::string>& words : commands) {
        if (words.empty()) continue;
        ScriptCommand cmd;
        bool isEvent;
        if (!ParseCommand(words, number, &cmd, &isEvent)) return false;
        line.hasEvent = line.hasEvent || isEvent;
        line.commands.push_back(cmd);
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
    case ScriptCommand::EXPECT_FRAME: return ExpectFrame(c, number);
    case ScriptCommand::EXPECT_TEXT: return ExpectText(c, number);
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

// "home.pbm" -> "home": the stem beside which .actual.pbm and .diff.png go.
static std::string Stem(const std::string& path) {
    return path.substr(0, path.size() - 4);
}

bool ScriptRunner::WriteReference(const std::string& path, const u8* frame, int number) {
    std::error_code ec;
    std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, ec);
    if (WriteFramePbm(path, frame)) return true;
    err_ << displayName_ << ":" << number << ": cannot write " << path << ": " << std::strerror(errno) << "\n";
    Finish(2);
    return false;
}

ScriptRunner::Step ScriptRunner::ExpectFrame(const ScriptCommand& c, int number) {
    const std::string path = PathOf(c.text);
    const u8* got = host_->LastFrame();
    const std::string where = displayName_ + ":" + std::to_string(number) + ": ";
    u8 want[LCD_BYTES];
    std::string why;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        if (updateFrames_) {
            if (!WriteReference(path, got, number)) return STEP_STOP;
            written_.push_back({path, true, 0});
            return STEP_ON;
        }
        err_ << where << "expected frame " << c.text << ", but " << path
             << " does not exist; tmx5 run --update-frames " << displayName_ << " writes it\n";
        Finish(1);
        return STEP_STOP;
    }
    if (!ReadFramePbm(path, want, &why)) {
        err_ << where << "expected frame " << c.text << ", but " << why << "\n";
        Finish(1);
        return STEP_STOP;
    }
    const FrameDiff diff = CompareFrames(want, got, c.ignore);
    if (diff.count == 0) return STEP_ON;
    if (updateFrames_) {
        u8 merged[LCD_BYTES];
        MergeIgnored(want, got, c.ignore, merged);
        if (!WriteReference(path, merged, number)) return STEP_STOP;
        written_.push_back({path, false, diff.count});
        return STEP_ON;
    }
    err_ << where << "expected frame " << c.text << ", got " << diff.count << " pixel" << (diff.count == 1 ? "" : "s")
         << " different, the first at (" << diff.firstX << ", " << diff.firstY << ")\n"
         << DescribeFrameDiff(diff, want, got);
    const std::string actualPath = Stem(path) + ".actual.pbm", diffPath = Stem(path) + ".diff.png";
    if (WriteFramePbm(actualPath, got) && WriteBytes(diffPath, EncodeDiffPng(diff, got)))
        err_ << "  wrote " << actualPath << " and " << diffPath << "\n";
    else
        err_ << "  cannot write " << actualPath << " and " << diffPath << ": " << std::strerror(errno) << "\n";
    Finish(1);
    return STEP_STOP;
}

ScriptRunner::Step ScriptRunner::ExpectText(const ScriptCommand& c, int number) {
    std::string strips;
    const int differ = CompareText(c.expectText, host_->LastFrame(), &strips);
    if (differ == 0) return STEP_ON;
    err_ << displayName_ << ":" << number << ": expected text " << QuoteText(c.expectText.text) << " at ("
         << c.expectText.x << ", " << c.expectText.y << "), " << differ << (differ == 1 ? " pixel differs" : " pixels differ")
         << "\n"
         << strips;
    Finish(1);
    return STEP_STOP;
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
            // On top of any `passes` that ended the line, as if it stood on the
            // next line.
            skipPoints_ += 2;
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
    written_.clear();
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
    for (const WrittenFrame& f : written_) {
        out_ << "wrote " << f.path;
        if (f.isNew) out_ << " (new)\n";
        else out_ << " (changed, " << f.changed << " pixel" << (f.changed == 1 ? ")\n" : "s)\n");
    }
    out_.flush();
    return exitCode_;
}

int RunScriptFile(const std::string& path, std::ostream& out, std::ostream& err, bool updateFrames) {
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
    runner.SetUpdateFrames(updateFrames);
    if (!runner.Load(text, path, baseDir)) return 2;
    return runner.Run();
}
