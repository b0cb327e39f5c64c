#include "ScriptRunner.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include <csignal>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include "FrameConvert.h"
#include "FrameFiles.h"
#include "SafeFiles.h"
#include "ScriptCommands.h"
#include "StateNames.h"
#include "screens/Screens.h"

// --- Reading --------------------------------------------------------------

// Splits a line into its commands and each command into words. A '#'
// outside double quotes ends the line, a ';' outside them ends a command and
// blanks outside them end a word; a quoted part stays in its word as written,
// quotes and escapes included, for the command to decode. An unclosed quote
// runs to the end of the line. *control is the position of the first control
// character (other than a tab or a carriage return; DEL outside quotes counts)
// before the comment, or npos.
static std::vector<std::vector<std::string>> SplitLine(const std::string& text, size_t* control) {
    std::vector<std::vector<std::string>> commands(1);
    std::string word;
    bool quoted = false, inWord = false;
    auto endWord = [&] {
        if (inWord) commands.back().push_back(word);
        word.clear();
        inWord = false;
    };
    *control = std::string::npos;
    for (size_t i = 0; i < text.size(); i++) {
        const char c = text[i];
        // DEL is a character of the instrument's font, so it may stand in quoted text.
        if (((unsigned char)c < 32 || (c == 127 && !quoted)) && c != '\t' && c != '\r' &&
            *control == std::string::npos)
            *control = i;
        if (quoted) {
            word += c;
            if (c == '\\' && i + 1 < text.size())
                word += text[++i];
            else if (c == '"')
                quoted = false;
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
    if (number.empty() || number.size() > 12 || number == "." || number.find('.') != number.rfind('.'))
        return false;
    double scale;
    if (unit == "ms")
        scale = 1;
    else if (unit == "s")
        scale = 1000;
    else if (unit == "m")
        scale = 60000;
    else if (unit == "h")
        scale = 3600000;
    else
        return false;
    double v = std::strtod(number.c_str(), nullptr) * scale;
    if (!(v >= 0) || v > 1000.0 * 3600000) return false;
    *ms = (long long)std::llround(v);
    return true;
}

// Names that are not instrument variables but what the window shows.
static bool IsPanelName(const std::string& n) {
    return n == "ScreenHandler" || n == "Lamp" || n == "Label15" || n == "Power";
}

// A message with every word longer than SCRIPT_ECHO_CHARS cut there (at a
// character boundary of UTF-8) and marked with "...".
static std::string CutLongWords(const std::string& s) {
    std::string out;
    size_t run = 0;
    bool cut = false;
    for (size_t i = 0; i < s.size(); i++) {
        const char c = s[i];
        if (c == ' ') {
            run = 0;
            cut = false;
            out += c;
            continue;
        }
        if (cut) continue;
        const bool continuation = ((unsigned char)c & 0xC0) == 0x80;
        if (!continuation) run++;
        if (run > SCRIPT_ECHO_CHARS) {
            out += "...";
            cut = true;
            continue;
        }
        out += c;
    }
    return out;
}

bool ScriptRunner::Bad(int number, const std::string& why) {
    if (++errors_ <= SCRIPT_MAX_ERRORS)
        err_ << displayName_ << ":" << number << ": " << CutLongWords(why) << "\n";
    return false;
}

// "%s" in a row's message replaced by the words given.
static std::string BadValue(const char* message, const std::string& words) {
    std::string s = message;
    const size_t at = s.find("%s");
    return at == std::string::npos ? s : s.replace(at, 2, words);
}

// The words in choices ("a|b|c"), and the index of word among them or -1.
static int ChoiceIndex(const char* choices, const std::string& word) {
    int index = 0;
    std::string item;
    for (const char* p = choices;; p++) {
        if (*p == '|' || *p == '\0') {
            if (item == word) return index;
            if (*p == '\0') return -1;
            item.clear();
            index++;
        } else {
            item += *p;
        }
    }
}

// A name expect and print accept: a state variable or one of the panel's.
static bool CheckName(const std::string& name, std::string* why) {
    if (IsPanelName(name)) return true;
    const StateName* var;
    int index;
    return ResolveStateName(name, &var, &index, why);
}

// The value expect compares a name with.
static bool CheckValue(const std::string& name, const std::string& value, std::string* why) {
    long long n;
    if (name == "ScreenHandler") {
        if (value != "none" && ScreenRoutineByName(value.c_str()) == nullptr)
            return *why = "no screen routine is called " + value, false;
    } else if (name == "Power") {
        if (value != "off" && value != "splash" && value != "on")
            return *why = "Power is off, splash or on, not " + value, false;
    } else if (name == "Lamp") {
        if (!ParseNumber(value, 0, 0xFFFFFFFFLL, &n))
            return *why = "Lamp takes a colour number, not " + value, false;
    } else if (name != "Label15") {
        if (!ParseNumber(value, -(1LL << 62), 1LL << 62, &n))
            return *why = name + " takes a whole number, not " + value, false;
    }
    return true;
}

// An absolute name, or one with a ".." part.
static bool LeavesFolder(const std::string& name) {
    if (name.empty() || name[0] == '/') return true;
    for (size_t start = 0; start <= name.size();) {
        size_t end = name.find('/', start);
        if (end == std::string::npos) end = name.size();
        if (name.compare(start, end - start, "..") == 0 && end - start == 2) return true;
        start = end + 1;
    }
    return false;
}

static std::string LeavesFolderMessage(const std::string& name) {
    return name +
           " leads out of the script's folder (an absolute path or ..); tmx5 run --allow-any-path allows it";
}

// Reads one argument of a command (ScriptCommands.h) from w[*at] on.
bool ScriptRunner::ParseArg(const ScriptArg& a, const std::vector<std::string>& w, size_t* at,
                            const ScriptCommandRow& row, int number, ScriptCommand* c) {
    const std::string word = *at < w.size() ? w[*at] : std::string();
    std::string why;
    switch (a.kind) {
        case ARG_UTC:
            if (!ParseScriptUtc(w[*at], w[*at + 1], &c->number))
                return Bad(number, BadValue(a.bad, w[*at] + " " + w[*at + 1]));
            *at += 2;
            return true;
        case ARG_CHOICE: {
            const int i = ChoiceIndex(a.choices, word);
            if (i < 0) return Bad(number, BadValue(a.bad, word));
            c->number = a.values[i];
            break;
        }
        case ARG_NUMBER:
            if (!ParseNumber(word, a.lo, a.hi, &c->number)) return Bad(number, BadValue(a.bad, word));
            break;
        case ARG_DURATION:
            if (!ParseDuration(word, &c->number) || c->number > a.hi)
                return Bad(number, BadValue(a.bad, word));
            break;
        case ARG_FILE: {
            const size_t dot = word.rfind('.');
            if (a.choices != nullptr &&
                (dot == std::string::npos || ChoiceIndex(a.choices, word.substr(dot + 1)) < 0))
                return Bad(number, BadValue(a.bad, word));
            if (!allowAnyPath_ && LeavesFolder(word)) return Bad(number, LeavesFolderMessage(word));
            c->text = word;
            break;
        }
        case ARG_SCALE: {
            int scale;
            if (FrameFormatOf(c->text) != FRAME_PNG && c->kind == ScriptCommand::SNAP)
                return Bad(number, "only a .png picture takes a scale, not " + c->text);
            if (!ParsePictureScale(word, &scale)) return Bad(number, BadValue(a.bad, word));
            c->number = scale;
            break;
        }
        case ARG_MOVIE: {
            // Lines are checked in order, so whether a movie is recording is known here.
            if (word == "end") {
                if (w.size() != 2) return Bad(number, std::string("usage: ") + row.synopsis);
                c->kind = ScriptCommand::MOVIE_END;
                if (movieLine_ == 0) return Bad(number, "movie end, but no movie is recording");
                movieLine_ = 0;
                *at = w.size();
                return true;
            }
            const int open = movieLine_;
            movieLine_ = number;
            if (open != 0)
                return Bad(number,
                           "a movie is recording since line " + std::to_string(open) + "; movie end first");
            if (!IsMovieName(word)) return Bad(number, BadValue(a.bad, word));
            if (!allowAnyPath_ && LeavesFolder(word)) return Bad(number, LeavesFolderMessage(word));
            c->text = word;
            break;
        }
        case ARG_NAME:
            if (!CheckName(word, &why)) return Bad(number, why);
            c->names = {word};
            break;
        case ARG_VALUE:
            // The rest of the line, so a label with spaces can be compared.
            c->text = word;
            for (size_t i = *at + 1; i < w.size(); i++) c->text += " " + w[i];
            if (!CheckValue(c->names[0], c->text, &why)) return Bad(number, why);
            *at = w.size();
            return true;
        case ARG_NAMES:
            for (; *at < w.size(); ++*at) {
                if (!CheckName(w[*at], &why)) return Bad(number, why);
                c->names.push_back(w[*at]);
            }
            return true;
        case ARG_IGNORE: {
            const size_t corners = w.size() - *at - 1;
            if (word != "ignore") return Bad(number, std::string("usage: ") + row.synopsis);
            if (corners == 0 || corners % 4 != 0)
                return Bad(number, "ignore takes boxes of four numbers, X0 Y0 X1 Y1 (inclusive corners)");
            for (size_t i = *at + 1; i < w.size(); i += 4) {
                long long v[4];
                const long long hi[4] = {LCD_WIDTH - 1, LCD_HEIGHT - 1, LCD_WIDTH - 1, LCD_HEIGHT - 1};
                const std::string box = w[i] + " " + w[i + 1] + " " + w[i + 2] + " " + w[i + 3];
                for (int k = 0; k < 4; k++)
                    if (!ParseNumber(w[i + k], 0, hi[k], &v[k]))
                        return Bad(number, "an ignore box lies within x 0 to 113 and y 0 to 63, not " + box);
                if (v[0] > v[2] || v[1] > v[3])
                    return Bad(number,
                               "an ignore box goes from its top left corner to its bottom right, not " + box);
                c->ignore.push_back({(int)v[0], (int)v[1], (int)v[2], (int)v[3]});
            }
            *at = w.size();
            return true;
        }
        case ARG_TEXT:
            if (!ParseTextExpectation(std::vector<std::string>(w.begin() + (long)*at, w.end()),
                                      std::string(row.name) == "expect-text-centred", &c->expectText, &why))
                return Bad(number, why);
            *at = w.size();
            return true;
    }
    ++*at;
    return true;
}

bool ScriptRunner::ParseCommand(const std::vector<std::string>& w, int number, ScriptCommand* c,
                                bool* isEvent) {
    const ScriptCommandRow* row = FindScriptCommand(w[0]);
    if (row == nullptr) return Bad(number, "unknown command " + w[0]);
    const int args = (int)w.size() - 1;
    if (args < row->minArgs || (row->maxArgs >= 0 && args > row->maxArgs))
        return Bad(number, std::string("usage: ") + row->synopsis +
                               (row->hint ? std::string(" (") + row->hint + ")" : ""));
    c->kind = row->kind;
    *isEvent = row->event;
    for (const ScriptArg& a : row->args)
        if (a.kind == ARG_SCALE) c->number = PICTURE_SCALE_DEFAULT; // a picture's scale when none is given
    size_t at = 1;
    for (const ScriptArg& a : row->args) {
        // Only a trailing argument may be left out (the ignore boxes, the text's words).
        if (at >= w.size() && a.kind != ARG_TEXT) break;
        if (!ParseArg(a, w, &at, *row, number, c)) return false;
    }
    return true;
}

static const char* ControlName(unsigned char c) {
    static const char* names[32] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL",
                                    "BS",  "TAB", "LF",  "VT",  "FF",  "CR",  "SO",  "SI",
                                    "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB",
                                    "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};
    return c == 127 ? "DEL" : names[c & 31];
}

bool ScriptRunner::ParseLine(const std::string& text, int number) {
    size_t control;
    const std::vector<std::vector<std::string>> commands = SplitLine(text, &control);
    if (control != std::string::npos) {
        char byte[8];
        std::snprintf(byte, sizeof byte, "0x%02X", (unsigned char)text[control]);
        return Bad(number, std::string("control character ") + byte + " (" +
                               ControlName((unsigned char)text[control]) + ") at column " +
                               std::to_string(control + 1));
    }
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
    movieLine_ = 0;
    return ParseText(text);
}

bool ScriptRunner::ParseText(const std::string& text) {
    lines_.clear();
    errors_ = 0;
    if (text.size() > SCRIPT_MAX_BYTES) {
        err_ << displayName_ << ": longer than " << SCRIPT_MAX_BYTES
             << " bytes (1 MiB), the most a script may be\n";
        return false;
    }
    // A UTF-8 byte-order mark is not part of the first line.
    size_t pos = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    int number = 0;
    bool ok = true;
    // Lines end at LF, CR LF or a lone CR.
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        const std::string raw = text.substr(pos, end - pos);
        number++;
        const size_t nul = raw.find('\0');
        if (nul != std::string::npos) {
            // A NUL byte means a binary file: nothing after it is read.
            Bad(number, "NUL byte at column " + std::to_string(nul + 1) + "; a script is a text file");
            ok = false;
            break;
        }
        if (!ParseLine(raw, number)) ok = false; // report every bad line, run none
        pos = end;
        if (pos < text.size()) pos += text.compare(pos, 2, "\r\n") == 0 ? 2 : 1;
    }
    if (ok) ok = CheckWork();
    if (errors_ > SCRIPT_MAX_ERRORS) err_ << "... and " << errors_ - SCRIPT_MAX_ERRORS << " more\n";
    if (!ok) lines_.clear();
    return ok;
}

// "10000 hours", or "1500 ms" when not whole hours.
static std::string Milliseconds(uint64_t ms) {
    return ms % 3600000 == 0 ? std::to_string(ms / 3600000) + " hours" : std::to_string(ms) + " ms";
}

// The virtual time and event points the script asks for, counted ahead so that
// a script over the bounds is bad before it runs. The run keeps to the same
// bounds for what cannot be counted ahead (the splash, the instrument's own
// waits).
bool ScriptRunner::CheckWork() {
    unsigned long long ms = 0, points = 0, frame = 20;
    for (const ScriptLine& line : lines_) {
        points += 3;
        for (const ScriptCommand& c : line.commands) {
            if (c.kind == ScriptCommand::FRAME_MS) frame = (unsigned long long)c.number;
            if (c.kind == ScriptCommand::WAIT) {
                ms += (unsigned long long)c.number;
                points += (unsigned long long)c.number / frame;
            }
            if (c.kind == ScriptCommand::PASSES) {
                points += (unsigned long long)c.number;
                ms += (unsigned long long)c.number * frame;
            }
        }
        if (ms > maxVirtualMs_)
            return Bad(line.number,
                       "the script asks for more than " + Milliseconds(maxVirtualMs_) + " of virtual time");
        if (points > maxEventPoints_)
            return Bad(line.number, "the script asks for more than " + std::to_string(maxEventPoints_) +
                                        " event points (passes)");
    }
    return true;
}

// --- A live run ---------------------------------------------------------------

void ScriptRunner::SetIdle(std::function<bool()> idle) {
    idle_ = std::move(idle);
    if (idle_) SetLimits(UINT64_MAX, UINT64_MAX);
}

bool ScriptRunner::Feed(const std::string& text, const std::string& displayName, const std::string& baseDir) {
    displayName_ = displayName;
    baseDir_ = baseDir;
    // Whether `movie end` is good depends on the movie recording now.
    const int recording = movieLine_;
    movieLine_ = movie_ && movie_->IsOpen() ? std::max(recording, 1) : 0;
    const bool ok = ParseText(text);
    movieLine_ = recording;
    lineIndex_ = commandIndex_ = 0;
    return ok;
}

bool ScriptRunner::FeedCommand(const std::vector<std::string>& words, const std::string& displayName,
                               const std::string& baseDir) {
    displayName_ = displayName;
    baseDir_ = baseDir;
    lines_.clear();
    lineIndex_ = commandIndex_ = 0;
    errors_ = 0;
    if (words.empty()) return Bad(1, "no command");
    const int recording = movieLine_;
    movieLine_ = movie_ && movie_->IsOpen() ? std::max(recording, 1) : 0;
    ScriptLine line;
    line.number = 1;
    ScriptCommand cmd;
    bool isEvent = false;
    const bool ok = ParseCommand(words, 1, &cmd, &isEvent);
    movieLine_ = recording;
    if (!ok) return false;
    line.hasEvent = isEvent;
    line.commands.push_back(cmd);
    lines_.push_back(line);
    return true;
}

bool ScriptRunner::ReadName(const std::string& name, std::string* value, std::string* why) {
    return CheckName(name, why) && ValueOf(name, value);
}

// A live run drops what is left of the lines fed and of their waits.
void ScriptRunner::DropFed(int status) {
    fedStatus_ = status;
    lineIndex_ = lines_.size();
    commandIndex_ = 0;
    skipPoints_ = waitUntilMs_ = 0;
}

// --- Running ----------------------------------------------------------------

void ScriptRunner::SetOptions(const RunOptions& options) {
    updateFrames_ = options.updateFrames;
    allowAnyPath_ = options.allowAnyPath;
    outDir_ = options.outDir;
    timeoutSeconds_ = options.timeoutSeconds;
}

// The file a script's name stands for: below the script's folder to read a
// reference, below the output folder to write. A name that leads out of its
// folder (absolute, "..", or a symbolic link, a dangling one included) ends
// the run with status 2, unless any path is allowed.
bool ScriptRunner::Resolve(const std::string& name, bool write, int number, std::string* path) {
    namespace fs = std::filesystem;
    const std::string root = write && !outDir_.empty() ? outDir_ : baseDir_.empty() ? "." : baseDir_;
    *path = name.empty() || name[0] == '/' || root == "." ? name : root + "/" + name;
    // A FIFO would hold the run in open() for ever, a device would take a
    // snapshot's bytes: scripts read and write regular files only.
    const std::string notRegular = NotWritable(*path);
    if (!notRegular.empty()) {
        err_ << displayName_ << ":" << number << ": " << name << " is " << notRegular
             << "; a script reads and writes regular files only\n";
        Finish(2);
        return false;
    }
    if (allowAnyPath_) return true;
    std::error_code ec, ec2, ec3;
    const fs::path top = fs::weakly_canonical(root, ec);
    const fs::path full = fs::weakly_canonical(fs::path(root) / name, ec2);
    bool inside = !ec && !ec2;
    if (inside) {
        auto a = top.begin(), b = full.begin();
        for (; a != top.end() && b != full.end() && *a == *b; ++a, ++b) {}
        // (weakly_canonical keeps a trailing empty element on a folder path)
        inside = (a == top.end() || a->empty()) && b != full.end();
    }
    if (inside && fs::is_symlink(fs::symlink_status(*path, ec3)) && !fs::exists(*path, ec3)) inside = false;
    if (inside) return true;
    err_ << displayName_ << ":" << number << ": " << name << " leads out of "
         << (write && !outDir_.empty() ? "the output folder " : "the script's folder ") << root
         << "; tmx5 run --allow-any-path allows it\n";
    Finish(2);
    return false;
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

// Whether path is the script or a file the run has read (the same file
// under any name).
bool ScriptRunner::ReadsFile(const std::string& path) const {
    std::error_code ec;
    for (const std::string& r : read_)
        if (std::filesystem::equivalent(path, r, ec)) return true;
    return false;
}

void ScriptRunner::Finish(int code) {
    if (finished_) return;
    if (idle_ && code != 0) {
        // A live run goes on: only what was fed ends here.
        DropFed(code);
        return;
    }
    finished_ = true;
    exitCode_ = code;
    if (keepEndState_ && host_ != nullptr && PowerState != POWER_SPLASH)
        endState_ = FormatStateFile(CaptureInstrument(host_->Snapshot()));
    if (code == 1 && !stateOnFailure_.empty() && host_ != nullptr) {
        std::string why;
        std::error_code ec;
        if (PowerState == POWER_SPLASH)
            err_ << "  no state written: the instrument was in its splash\n";
        else if (!allowAnyPath_ &&
                 std::filesystem::is_symlink(std::filesystem::symlink_status(stateOnFailure_, ec)))
            err_ << "  no state written: " << stateOnFailure_
                 << " is a symbolic link; --allow-any-path follows it\n";
        else if (ReadsFile(stateOnFailure_))
            err_ << "  no state written: " << stateOnFailure_ << " is a file this run reads\n";
        else if (WriteStateFile(stateOnFailure_, CaptureInstrument(host_->Snapshot()), &why))
            err_ << "  wrote " << stateOnFailure_ << " (the state at the failing line; tmx5 --load-state "
                 << stateOnFailure_ << " opens it)\n";
        else
            err_ << "  " << why << "\n";
    }
    if (movie_ && movie_->IsOpen()) {
        // The run ended before a movie end: the movie ends with it.
        const unsigned long long cs = movie_->LengthCs(host_->NowMs());
        if (!EndMovie(movieLine_)) {
            exitCode_ = 2;
        } else {
            char length[32];
            std::snprintf(length, sizeof length, "%llu.%02llu s", cs / 100, cs % 100);
            out_ << "finished movie " << movie_->Path() << " at the end of the run, without movie end ("
                 << movie_->Images() << " images, " << length << ")\n";
        }
    }
    if (PowerState != POWER_OFF) RequestShutdown();
}

// The state goes back as it was saved, at an event point: the instrument's
// variables, then the host's part. A powered-on state is resumed by the idle
// loop (RunInstrument) once the script waits for something.
void ScriptRunner::Apply(const InstrumentSnapshot& state) {
    RestoreInstrument(state);
    host_->PutBack(state.host);
    if (PowerState == POWER_ON) resumeRequested_ = true;
}

ScriptRunner::Step ScriptRunner::SaveState(const ScriptCommand& c, int number) {
    std::string why, path;
    if (!Resolve(c.text, true, number, &path)) return STEP_STOP;
    if (PowerState == POWER_SPLASH)
        why = "save-state: the instrument is in its splash; save after it";
    else if (WriteStateFile(path, CaptureInstrument(host_->Snapshot()), &why))
        return STEP_ON;
    err_ << displayName_ << ":" << number << ": " << why << "\n";
    Finish(2);
    return STEP_STOP;
}

ScriptRunner::Step ScriptRunner::LoadState(const ScriptCommand& c, int number) {
    InstrumentSnapshot state;
    std::string why, path, written;
    // A state this run saved below the output folder, else one beside the script.
    if (!Resolve(c.text, false, number, &path)) return STEP_STOP;
    std::error_code ec;
    if (!outDir_.empty() && Resolve(c.text, true, number, &written) && std::filesystem::exists(written, ec))
        path = written;
    if (finished_) return STEP_STOP;
    read_.push_back(path);
    if (!ReadStateFile(path, &state, &why)) {
        err_ << displayName_ << ":" << number << ": load-state: " << why << "\n";
        Finish(2);
        return STEP_STOP;
    }
    if (!running_) {
        // At an idle event point: the state goes back now and the line goes on.
        Apply(state);
        return STEP_ON;
    }
    // Inside the instrument's loop: end it (every loop ends at once, nothing
    // more is drawn), then put the state back from the idle loop and go on
    // from there with the rest of the line.
    staged_ = state;
    loadPending_ = true;
    RequestShutdown();
    return STEP_SUSPEND;
}

ScriptRunner::Step ScriptRunner::Execute(const ScriptCommand& c, int number) {
    switch (c.kind) {
        case ScriptCommand::UTC:
            host_->SetUtc(c.number);
            return STEP_ON;
        case ScriptCommand::ON:
            if (PowerState == POWER_OFF) {
                // The window's message loop runs the ON handler, which returns
                // only at OFF; the rest of this line is delivered by its first pump.
                powerOnRequested_ = true;
                return STEP_SUSPEND;
            }
            Button1Click();
            return STEP_ON;
        case ScriptCommand::OFF:
            Button2Click();
            return STEP_ON;
        case ScriptCommand::KEY:
            ClickKey((u8)c.number);
            return STEP_ON;
        case ScriptCommand::SENSOR:
            host_->MoveTrackBar((int)c.number);
            return STEP_ON;
        case ScriptCommand::CALIBRATE:
            host_->SetCalibrate(c.number != 0);
            return STEP_ON;
        case ScriptCommand::KEYFAST:
            host_->SetKeyFast(c.number != 0);
            return STEP_ON;
        case ScriptCommand::WAIT:
            if (c.number == 0) return STEP_ON;
            waitUntilMs_ = host_->NowMs() + (uint64_t)c.number;
            return STEP_SUSPEND;
        case ScriptCommand::PASSES:
            if (c.number == 0) return STEP_ON;
            skipPoints_ = (uint64_t)c.number;
            return STEP_SUSPEND;
        case ScriptCommand::FRAME_MS:
            host_->SetFrameMs((uint32_t)c.number);
            return STEP_ON;
        case ScriptCommand::SNAP: {
            // The folders a snapshot names are made when missing.
            std::string path;
            if (!Resolve(c.text, true, number, &path)) return STEP_STOP;
            std::error_code ec;
            std::filesystem::path parent = std::filesystem::path(path).parent_path();
            if (!parent.empty()) std::filesystem::create_directories(parent, ec);
            if (!WriteFrame(path, host_->LastFrame(), (int)c.number)) {
                err_ << displayName_ << ":" << number << ": cannot write " << path << ": "
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
                err_ << displayName_ << ":" << number << ": expected " << name << " " << CutLongWords(c.text)
                     << ", got " << actual << "\n";
                Finish(1);
                return STEP_STOP;
            }
            return STEP_ON;
        }
        case ScriptCommand::EXPECT_FRAME:
            return ExpectFrame(c, number);
        case ScriptCommand::EXPECT_TEXT:
            return ExpectText(c, number);
        case ScriptCommand::SAVE_STATE:
            return SaveState(c, number);
        case ScriptCommand::LOAD_STATE:
            return LoadState(c, number);
        case ScriptCommand::MOVIE:
            return StartMovie(c, number);
        case ScriptCommand::MOVIE_END:
            if (!movie_ || !movie_->IsOpen()) return STEP_ON; // stopped at its size limit
            if (EndMovie(number)) return STEP_ON;
            Finish(2);
            return STEP_STOP;
        case ScriptCommand::PRINT:
            for (const std::string& name : c.names) {
                std::string v;
                ValueOf(name, &v);
                out_ << name << "=" << v << "\n";
            }
            out_.flush();
            if (!out_ && TimedOut()) {
                // The timeout came while the output would not take the line.
                CheckBounds();
                return STEP_STOP;
            }
            if (!out_) {
                err_ << displayName_ << ":" << number << ": cannot write the output: " << std::strerror(errno)
                     << "\n";
                Finish(2);
                return STEP_STOP;
            }
            return STEP_ON;
    }
    return STEP_ON;
}

// "home.pbm" -> "home": the stem beside which .actual.pbm and .diff.png go.
static std::string Stem(const std::string& path) { return path.substr(0, path.size() - 4); }

bool ScriptRunner::WriteReference(const std::string& path, const u8* frame, int number) {
    std::error_code ec;
    std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, ec);
    if (WriteFramePbm(path, frame)) return true;
    err_ << displayName_ << ":" << number << ": cannot write " << path << ": " << std::strerror(errno)
         << "\n";
    Finish(2);
    return false;
}

ScriptRunner::Step ScriptRunner::ExpectFrame(const ScriptCommand& c, int number) {
    // The reference is read from the script's folder; what the expectation
    // writes goes below the output folder.
    std::string path, outPath;
    if (!Resolve(c.text, false, number, &path) || !Resolve(c.text, true, number, &outPath)) return STEP_STOP;
    const u8* got = host_->LastFrame();
    const std::string where = displayName_ + ":" + std::to_string(number) + ": ";
    u8 want[LCD_BYTES];
    std::string why;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        if (updateFrames_) {
            if (!WriteReference(outPath, got, number)) return STEP_STOP;
            written_.push_back({outPath, true, 0, ""});
            return STEP_ON;
        }
        err_ << where << "expected frame " << c.text << ", but " << path
             << " does not exist; tmx5 run --update-frames " << displayName_ << " writes it\n";
        Finish(1);
        return STEP_STOP;
    }
    read_.push_back(path);
    if (!ReadFramePbm(path, want, &why)) {
        if (updateFrames_) {
            // A broken reference (cut short, another size, not a PBM) is replaced whole.
            if (!WriteReference(outPath, got, number)) return STEP_STOP;
            if (why.compare(0, path.size() + 1, path + " ") == 0) why.erase(0, path.size() + 1);
            written_.push_back({outPath, false, 0, why});
            return STEP_ON;
        }
        err_ << where << "expected frame " << c.text << ", but " << why << "; tmx5 run --update-frames "
             << displayName_ << " rewrites it\n";
        Finish(1);
        return STEP_STOP;
    }
    const FrameDiff diff = CompareFrames(want, got, c.ignore);
    if (diff.count == 0) return STEP_ON;
    if (updateFrames_) {
        u8 merged[LCD_BYTES];
        MergeIgnored(want, got, c.ignore, merged);
        if (!WriteReference(outPath, merged, number)) return STEP_STOP;
        written_.push_back({outPath, false, diff.count, ""});
        return STEP_ON;
    }
    err_ << where << "expected frame " << c.text << ", got " << diff.count << " pixel"
         << (diff.count == 1 ? "" : "s") << " different, the first at (" << diff.firstX << ", " << diff.firstY
         << ")\n"
         << DescribeFrameDiff(diff, want, got);
    // The two pictures obey the same rules as the reference (a link planted
    // under either name must not lead a write out of the folder).
    std::string actualPath, diffPath;
    if (!Resolve(Stem(c.text) + ".actual.pbm", true, number, &actualPath) ||
        !Resolve(Stem(c.text) + ".diff.png", true, number, &diffPath))
        return STEP_STOP;
    std::filesystem::path parent = std::filesystem::path(outPath).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, ec);
    if (WriteFramePbm(actualPath, got) && WriteBytes(diffPath, EncodeDiffPng(diff, got)))
        err_ << "  wrote " << actualPath << " and " << diffPath << "\n";
    else
        err_ << "  cannot write " << actualPath << " and " << diffPath << ": " << std::strerror(errno)
             << "\n";
    Finish(1);
    return STEP_STOP;
}

ScriptRunner::Step ScriptRunner::StartMovie(const ScriptCommand& c, int number) {
    std::string path;
    if (!Resolve(c.text, true, number, &path)) return STEP_STOP;
    std::error_code ec;
    std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, ec);
    movie_.reset(new Movie());
    movieLine_ = number;
    if (movie_->Start(path, (int)c.number, host_->LastFrame(), host_->NowMs())) return STEP_ON;
    err_ << displayName_ << ":" << number << ": cannot write " << path << ": " << movie_->Error() << "\n";
    Finish(2);
    return STEP_STOP;
}

// Finishes the movie; says so when it cannot be written.
bool ScriptRunner::EndMovie(int number) {
    if (movie_->Finish(host_->NowMs())) return true;
    err_ << displayName_ << ":" << number << ": cannot write " << movie_->Path() << ": " << movie_->Error()
         << "\n";
    return false;
}

// At every event point: the frame shown now goes into the movie.
void ScriptRunner::RecordMovie() {
    if (!movie_ || !movie_->IsOpen()) return;
    if (!movie_->Add(host_->LastFrame(), host_->NowMs())) {
        err_ << displayName_ << ":" << movieLine_ << ": cannot write " << movie_->Path() << ": "
             << movie_->Error() << "\n";
        Finish(2);
    } else if (movie_->Full()) {
        err_ << displayName_ << ":" << movieLine_ << ": movie " << movie_->Path() << " stopped at "
             << (MOVIE_MAX_BYTES >> 20) << " MiB, " << movie_->Images() << " images; the run goes on\n";
    }
}

ScriptRunner::Step ScriptRunner::ExpectText(const ScriptCommand& c, int number) {
    std::string strips;
    const int differ = CompareText(c.expectText, host_->LastFrame(), &strips);
    if (differ == 0) return STEP_ON;
    err_ << displayName_ << ":" << number << ": expected text " << QuoteText(c.expectText.text) << " at ("
         << c.expectText.x << ", " << c.expectText.y << "), " << differ
         << (differ == 1 ? " pixel differs" : " pixels differ") << "\n"
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
            // A live run waits here, at this event point, for more lines.
            if (idle_ && idle_()) continue;
            Finish(0);
            return;
        }
        const ScriptLine& line = lines_[lineIndex_];
        while (commandIndex_ < line.commands.size()) {
            lastLine_ = line.number;
            Step step = Execute(line.commands[commandIndex_++], line.number);
            if (step == STEP_STOP && !finished_ && idle_) break; // a live run dropped the rest (Finish)
            if (step == STEP_STOP) return;
            if (step == STEP_SUSPEND) {
                if (commandIndex_ == line.commands.size()) break; // the line is done
                return;
            }
        }
        if (lineIndex_ >= lines_.size()) continue; // dropped
        lineIndex_++;
        commandIndex_ = 0;
        if (line.hasEvent) {
            // On top of any `passes` that ended the line, as if it stood on the
            // next line.
            skipPoints_ += 2;
            return;
        }
        if (skipPoints_ > 0 || waitUntilMs_ > 0 || powerOnRequested_ || loadPending_) return;
    }
}

// Ends a run that goes past the bounds of virtual time and event points
// (status 2) or past its timeout (status 1).
void ScriptRunner::CheckBounds() {
    // The line of the command that runs (a wait, passes) or ran last.
    const int line = lastLine_ > 0 ? lastLine_ : lines_.empty() ? 0 : lines_[0].number;
    const uint64_t points = host_->EventPoints();
    if (host_->NowMs() > maxVirtualMs_ || points > maxEventPoints_) {
        err_ << displayName_ << ":" << line << ": stopped: the run went past "
             << (points > maxEventPoints_ ? std::to_string(maxEventPoints_) + " event points (passes)"
                                          : Milliseconds(maxVirtualMs_) + " of virtual time")
             << ", the most a script may take\n";
        Finish(2);
    } else if (timeoutSeconds_ > 0 &&
               (TimedOut() || (points % 1024 == 0 && std::chrono::steady_clock::now() >= deadline_))) {
        char hours[32];
        std::snprintf(hours, sizeof hours, "%.2f", host_->NowMs() / 3600000.0);
        err_ << displayName_ << ":" << line << ": stopped by the timeout of " << timeoutSeconds_
             << " s, after " << hours << " hours of virtual time\n";
        Finish(1);
    }
}

void ScriptRunner::OnEventPoint() {
    if (PowerState != POWER_OFF) passes_++;
    if (finished_) return;
    CheckBounds();
    if (finished_) return;
    if (poll_ && (skipPoints_ > 0 || waitUntilMs_ > 0) && host_->EventPoints() % LIVE_POLL_POINTS == 0 &&
        poll_())
        DropFed(3);
    RecordMovie();
    if (finished_) return;
    ProcessScript();
}

int ScriptRunner::Run() {
    hostOwned_.reset(); // detach a previous run's host before the new one attaches
    hostOwned_.reset(new HeadlessHost());
    host_ = hostOwned_.get();
    host_->SetEventPoint([this] { OnEventPoint(); });
    host_->SetObserver(observer_);
    lineIndex_ = commandIndex_ = 0;
    skipPoints_ = waitUntilMs_ = 0;
    powerOnRequested_ = finished_ = false;
    running_ = resumeRequested_ = loadPending_ = false;
    exitCode_ = 0;
    lastLine_ = 0;
    passes_ = 0;
    written_.clear();
    endState_.clear();
    if (timeoutSeconds_ > 0)
        deadline_ = std::chrono::steady_clock::now() +
                    std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                        std::chrono::duration<double>(timeoutSeconds_));
    movie_.reset();
    // The host's idle loop: one event point per frame period while the
    // instrument is off; ON runs the instrument inside it until OFF.
    while (!finished_) {
        host_->EventPoint();
        RunInstrument();
    }
    host_->SetEventPoint(nullptr);
    host_->SetObserver(nullptr);
    for (const WrittenFrame& f : written_) {
        out_ << "wrote " << f.path;
        if (f.isNew)
            out_ << " (new)\n";
        else if (!f.broken.empty())
            out_ << " (replaced a broken reference: " << f.broken << ")\n";
        else
            out_ << " (changed, " << f.changed << " pixel" << (f.changed == 1 ? ")\n" : "s)\n");
    }
    out_.flush();
    if (!out_ && exitCode_ != 2) { // (a failed print said so already)
        err_ << displayName_ << ": cannot write the output: " << std::strerror(errno) << "\n";
        if (exitCode_ == 0) exitCode_ = 2;
    }
    return exitCode_;
}

void ScriptRunner::RunInstrument() {
    while (!finished_) {
        if (loadPending_) {
            loadPending_ = false;
            powerOnRequested_ = resumeRequested_ = false;
            ShutdownRequested = 0;
            Apply(staged_);
            // Still the event point of the load: the rest of its line now.
            if (skipPoints_ == 0 && waitUntilMs_ == 0) ProcessScript();
        } else if (powerOnRequested_) {
            // The window's message loop runs the ON handler, which returns
            // only at OFF; the rest of the line is delivered by its first pump.
            powerOnRequested_ = resumeRequested_ = false;
            running_ = true;
            Button1Click();
            running_ = false;
        } else if (resumeRequested_) {
            resumeRequested_ = false;
            if (PowerState != POWER_ON) continue; // switched off since it was put back
            PowerState = POWER_OFF;               // as ResumeMainLoop takes it
            running_ = true;
            ResumeMainLoop();
            running_ = false;
        } else {
            return;
        }
    }
}

bool ReadScriptText(int fd, std::string* text, std::string* why) {
    struct stat st;
    if (fstat(fd, &st) != 0) {
        *why = errno == EBADF ? "the file is closed" : std::strerror(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        *why = "it is a folder";
        return false;
    }
    text->clear();
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *why = std::strerror(errno);
            return false;
        }
        if (n == 0) return true;
        const char* nul = (const char*)std::memchr(buffer, 0, (size_t)n);
        const size_t keep = nul ? (size_t)(nul - buffer) + 1 : (size_t)n;
        if (text->size() + keep > SCRIPT_MAX_BYTES) {
            *why = "it is longer than " + std::to_string(SCRIPT_MAX_BYTES) +
                   " bytes (1 MiB), the most a script may be";
            return false;
        }
        text->append(buffer, keep);
        if (nul) return true;
    }
}

// --- The run as a process ----------------------------------------------------

namespace {

// --timeout: the alarm sets TimeoutFired, which the run sees at its next
// event point and ends there (status 1). A run blocked elsewhere (reading a
// script from a pipe that never ends, writing to an output nobody reads)
// does not reach one: a second alarm a second later ends the process
// itself, with the same status and without a half-written file.
volatile sig_atomic_t TimeoutFired = 0;
char TimeoutMessage[512];
size_t TimeoutMessageLength = 0;

void OnTimeout(int) {
    if (!TimeoutFired) {
        TimeoutFired = 1;
        alarm(1);
        return;
    }
    RemoveTemporaryFiles();
    if (write(2, TimeoutMessage, TimeoutMessageLength) < 0) {}
    _exit(1);
}

// SIGTERM, SIGINT, SIGHUP (a suite stopping its scripts, Ctrl+C): the files
// being written are removed and the signal then ends the process as usual.
void OnStop(int signal) {
    RemoveTemporaryFiles();
    std::signal(signal, SIG_DFL);
    raise(signal);
}

const int StopSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Sets the handlers up for one run and puts the old ones back after it.
class RunSignals {
public:
    RunSignals(const std::string& name, double timeoutSeconds) {
        struct sigaction stop = {};
        stop.sa_handler = OnStop;
        sigemptyset(&stop.sa_mask);
        for (size_t i = 0; i < 3; i++) sigaction(StopSignals[i], &stop, &oldStop_[i]);
        if (timeoutSeconds <= 0) return;
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%g", timeoutSeconds);
        const std::string message = name + ": stopped by the timeout of " + seconds +
                                    " s, waiting to read or write a file or the output\n";
        TimeoutMessageLength = std::min(message.size(), sizeof TimeoutMessage);
        std::memcpy(TimeoutMessage, message.data(), TimeoutMessageLength);
        TimeoutFired = 0;
        struct sigaction alarm = {};
        alarm.sa_handler = OnTimeout;
        sigemptyset(&alarm.sa_mask);
        sigaction(SIGALRM, &alarm, &oldAlarm_); // no SA_RESTART: a blocked read or write returns
        itimerval timer = {};
        timer.it_value.tv_sec = (time_t)timeoutSeconds;
        timer.it_value.tv_usec = (suseconds_t)((timeoutSeconds - (double)(time_t)timeoutSeconds) * 1e6);
        if (timer.it_value.tv_sec == 0 && timer.it_value.tv_usec == 0) timer.it_value.tv_usec = 1;
        setitimer(ITIMER_REAL, &timer, nullptr);
        timed_ = true;
    }
    ~RunSignals() {
        if (timed_) {
            itimerval off = {};
            setitimer(ITIMER_REAL, &off, nullptr);
            sigaction(SIGALRM, &oldAlarm_, nullptr);
            TimeoutFired = 0;
        }
        for (size_t i = 0; i < 3; i++) sigaction(StopSignals[i], &oldStop_[i], nullptr);
    }
    RunSignals(const RunSignals&) = delete;
    RunSignals& operator=(const RunSignals&) = delete;

private:
    bool timed_ = false;
    struct sigaction oldAlarm_ = {}, oldStop_[3] = {};
};

} // namespace

bool ScriptRunner::TimedOut() { return TimeoutFired != 0; }

int RunScriptFile(const std::string& path, std::ostream& out, std::ostream& err, const RunOptions& options) {
    RunSignals signals(path, options.timeoutSeconds);
    std::string text, baseDir = ".", why;
    bool read;
    if (path == "-") {
        read = ReadScriptText(0, &text, &why);
        if (!read && why == "the file is closed") why = "standard input is closed";
        if (!read && why == "it is a folder") why = "standard input is a folder";
    } else {
        // A FIFO or a device named as the script is refused, not waited on.
        const int fd = OpenRegularFile(path, &why);
        read = fd >= 0 && ReadScriptText(fd, &text, &why);
        if (fd >= 0) close(fd);
        size_t slash = path.rfind('/');
        if (slash != std::string::npos) baseDir = slash == 0 ? "/" : path.substr(0, slash);
    }
    if (!read) {
        err << path << ": cannot read the script: " << why << "\n";
        return 2;
    }
    ScriptRunner runner(out, err);
    runner.SetOptions(options);
    runner.SetObserver(options.observer);
    if (path != "-") runner.AddReadFile(path);
    if (options.stateOnFailure) {
        // Beside the script, or below the output folder, under a name of its
        // own: never the name of a state the script loads.
        std::string stem = path == "-" ? "stdin" : path.substr(path.rfind('/') + 1);
        if (stem.size() > 4 && stem.compare(stem.size() - 4, 4, ".tmx") == 0) stem.resize(stem.size() - 4);
        const std::string dir = options.outDir.empty() ? baseDir : options.outDir;
        runner.SetStateOnFailure((dir == "." ? "" : dir + "/") + stem + ".failed.state");
    }
    if (!runner.Load(text, path, baseDir)) return 2;
    return runner.Run();
}
