#include "ScriptParser.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ostream>

#include "frames/FrameFiles.h"
#include "screens/Screens.h"
#include "script/ScriptCommands.h"
#include "sim/PanelNames.h"
#include "state/StateNames.h"

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

// A message with every word longer than SCRIPT_ECHO_CHARS cut there (at a
// character boundary of UTF-8) and marked with "...".
std::string CutLongWords(const std::string& s) {
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

bool ScriptParser::Bad(int number, const std::string& why) {
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
bool CheckName(const std::string& name, std::string* why) {
    if (FindPanelName(name)) return true;
    const StateName* var;
    int index;
    return ResolveStateName(name, &var, &index, why);
}

// The value expect compares a name with.
static bool CheckValue(const std::string& name, const std::string& value, std::string* why) {
    if (const PanelName* panel = FindPanelName(name)) return panel->check(value, why);
    long long n;
    if (!ParseWhole(value, -(1LL << 62), 1LL << 62, &n))
        return *why = name + " takes a whole number, not " + value, false;
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
bool ScriptParser::ParseArg(const ScriptArg& a, const std::vector<std::string>& w, size_t* at,
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
            if (!ParseWhole(word, a.lo, a.hi, &c->number)) return Bad(number, BadValue(a.bad, word));
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
                    if (!ParseWhole(w[i + k], 0, hi[k], &v[k]))
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

bool ScriptParser::ParseCommand(const std::vector<std::string>& w, int number, ScriptCommand* c,
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

bool ScriptParser::ParseLine(const std::string& text, int number) {
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

bool ScriptParser::Parse(const std::string& text, const std::string& displayName, int movieLine) {
    displayName_ = displayName;
    movieLine_ = movieLine;
    return ParseText(text);
}

bool ScriptParser::ParseWords(const std::vector<std::string>& words, const std::string& displayName,
                              int movieLine) {
    displayName_ = displayName;
    lines_.clear();
    errors_ = 0;
    if (words.empty()) return Bad(1, "no command");
    movieLine_ = movieLine;
    ScriptLine line;
    line.number = 1;
    ScriptCommand cmd;
    bool isEvent = false;
    if (!ParseCommand(words, 1, &cmd, &isEvent)) return false;
    line.hasEvent = isEvent;
    line.commands.push_back(cmd);
    lines_.push_back(line);
    return true;
}

bool ScriptParser::ParseText(const std::string& text) {
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
std::string Milliseconds(uint64_t ms) {
    return ms % 3600000 == 0 ? std::to_string(ms / 3600000) + " hours" : std::to_string(ms) + " ms";
}

// The virtual time and event points the script asks for, counted ahead so that
// a script over the bounds is bad before it runs. The run keeps to the same
// bounds for what cannot be counted ahead (the splash, the instrument's own
// waits).
bool ScriptParser::CheckWork() {
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
