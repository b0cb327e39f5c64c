#include "StateFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "frames/SafeFiles.h"
#include "screens/Screens.h"
#include "state/StateNames.h"

namespace {

const char VersionWord[] = "tmx5-state";

// The host's lines, one row each: name, range, and the member of
// HostSnapshot the value comes from and goes to.
struct HostField {
    const char* name;
    long long lo, hi;
    long long (*get)(const HostSnapshot&);
    void (*set)(HostSnapshot*, long long);
};
#define HOST_FIELD(name, member, lo, hi)                                             \
    {                                                                                \
        name, lo, hi, [](const HostSnapshot& h) { return (long long)h.member; },     \
            [](HostSnapshot* h, long long v) { h->member = (decltype(h->member))v; } \
    }
// The host clock stays where a run can take it: the clock's 1970..2100 plus
// the 10,000 virtual hours one script may add; virtual time stays within
// those 10,000 hours.
const long long LongestRunMs = 10000LL * 3600000;
const long long Year2100Ms = 4102444800000LL;
// clang-format off
const HostField HostFields[] = {
    HOST_FIELD("VirtualMs", virtualMs, 0, LongestRunMs),
    HOST_FIELD("HostUtcMs", hostUtcMs, 0, Year2100Ms + LongestRunMs),
    HOST_FIELD("FrameMs",   frameMs,   1, 1000),
    HOST_FIELD("TrackBar",  trackBar,  0, 4096),
    HOST_FIELD("Calibrate", calibrate, 0, 1),
    HOST_FIELD("KeyFast",   keyFast,   0, 1),
    HOST_FIELD("Lamp",      lamp,      0, 0xFFFFFFFFLL),
};
// clang-format on
#undef HOST_FIELD

std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    std::string w;
    while (in >> w) words.push_back(w);
    return words;
}

long long Staged(const InstrumentSnapshot& s, const char* name, int index = 0) {
    const std::vector<StateName>& names = StateNames();
    for (size_t k = 0; k < names.size(); k++)
        if (std::strcmp(names[k].name, name) == 0) return s.values[k][index];
    return 0;
}

// What a state saved at an event point cannot be; "" when it is none of it.
// The first word names the variable at fault.
std::string ConsistencyFault(const InstrumentSnapshot& s) {
    const bool on = Staged(s, "PowerState") == POWER_ON;
    const ScreenRow* screen = FindScreen(s.screen);
    if (on && screen == nullptr) return "ScreenHandler none: a running instrument always shows a screen";
    if (screen != nullptr && Staged(s, "MenuCursor") > screen->LastCursor)
        return "MenuCursor " + std::to_string(Staged(s, "MenuCursor")) + " is past the last row of " +
               screen->Name + " (" + std::to_string(screen->LastCursor) + ")";
    if (on && Staged(s, "KeyCode") != KEY_NONE)
        return "KeyCode " + std::to_string(Staged(s, "KeyCode")) +
               ": a running instrument's pass took its key";
    std::string fault;
    // clang-format off
    // The editor's working fields, while it is open; the time records of a
    // running instrument.
#define STATE_EDIT(type, name, min, max, writer, meaning)                                                  \
    if (fault.empty() && s.screen == SetUtcTimeScreen && (Staged(s, #name) < (min) || Staged(s, #name) > (max))) \
        fault = #name " " + std::to_string(Staged(s, #name)) + " is outside " #min " to " #max " while SET UTC TIME is open";
#define TIME_FIELD_CHECK(record, type, field, min, max, meaning)                                           \
    if (fault.empty() && on && (Staged(s, #record "." #field) < (min) || Staged(s, #record "." #field) > (max))) \
        fault = #record "." #field " " + std::to_string(Staged(s, #record "." #field)) +          \
                " is outside " #min " to " #max " in a running instrument";
#define STATE_TIME(name, writer, meaning) TIME_FIELDS(TIME_FIELD_CHECK, name)
#include "runtime/StateTable.h"
#undef TIME_FIELD_CHECK
    // clang-format on
    return fault;
}

} // namespace

InstrumentSnapshot CaptureInstrument(const HostSnapshot& host) {
    InstrumentSnapshot s;
    for (const StateName& n : StateNames()) {
        std::vector<long long> v(n.count);
        for (int i = 0; i < n.count; i++) v[i] = ReadStateValue(&n, i);
        s.values.push_back(v);
    }
    s.screen = ScreenHandler;
    s.host = host;
    return s;
}

void RestoreInstrument(const InstrumentSnapshot& s) {
    const std::vector<StateName>& names = StateNames();
    for (size_t k = 0; k < names.size() && k < s.values.size(); k++)
        for (int i = 0; i < names[k].count; i++) WriteStateValue(&names[k], i, s.values[k][i]);
    ScreenHandler = s.screen;
}

std::string FormatStateFile(const InstrumentSnapshot& s) {
    std::string text = std::string(VersionWord) + " " + std::to_string(STATE_FILE_VERSION) + "\n";
    text +=
        "# A TMX-5 simulator state: tmx5 run (load-state FILE) or tmx5 --load-state FILE resume from it.\n";
    for (const HostField& f : HostFields)
        text += std::string(f.name) + " " + std::to_string(f.get(s.host)) + "\n";
    const char* screen = ScreenRoutineName(s.screen);
    text += std::string("ScreenHandler ") + (screen ? screen : "none") + "\n";
    const std::vector<StateName>& names = StateNames();
    for (size_t k = 0; k < names.size(); k++) {
        text += names[k].name;
        for (long long v : s.values[k]) text += " " + std::to_string(v);
        text += "\n";
    }
    return text;
}

bool ParseStateFile(const std::string& text, InstrumentSnapshot* out, int* line, std::string* why) {
    *line = 0;
    if (text.size() > STATE_FILE_LIMIT) {
        *why = "larger than 1 MiB: not a state file";
        return false;
    }
    const std::vector<StateName>& names = StateNames();
    InstrumentSnapshot s;
    s.values.resize(names.size());
    std::map<std::string, int> seenAt; // name -> the line that gave it
    bool versionSeen = false;
    int number = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string raw = text.substr(start, end - start);
        start = end + 1;
        *line = ++number;
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        for (size_t i = 0; i < raw.size(); i++) {
            const unsigned char c = (unsigned char)raw[i];
            if ((c < 32 && c != '\t') || c >= 127) {
                char byte[8];
                std::snprintf(byte, sizeof byte, "0x%02x", c);
                *why = std::string("not text: byte ") + byte + " at column " + std::to_string(i + 1);
                return false;
            }
        }
        // Every line of a saved state ends with a newline: a last line
        // without one was cut short, perhaps inside its last value ("255"
        // read as "25").
        if (end == text.size()) {
            *why = "the file ends inside this line (is it cut short?)";
            return false;
        }
        const std::vector<std::string> w = Words(raw);
        if (!versionSeen) {
            if (w.size() != 2 || w[0] != VersionWord) {
                *why = "not a TMX-5 state file: the first line must be \"tmx5-state 1\"";
                return false;
            }
            if (w[1] != std::to_string(STATE_FILE_VERSION)) {
                *why = "state file version " + w[1] + "; this tmx5 reads version " +
                       std::to_string(STATE_FILE_VERSION);
                return false;
            }
            versionSeen = true;
            continue;
        }
        if (w.empty() || w[0][0] == '#') continue;
        const std::string& name = w[0];
        auto seen = seenAt.find(name);
        if (seen != seenAt.end()) {
            *why = name + " is given twice (first on line " + std::to_string(seen->second) + ")";
            return false;
        }
        const size_t given = w.size() - 1;
        auto count = [&](size_t want) {
            if (given == want) return true;
            *why = name + " takes " + std::to_string(want) + (want == 1 ? " value" : " values") + ", not " +
                   std::to_string(given);
            return false;
        };
        bool known = false;
        if (name == "ScreenHandler") {
            if (!count(1)) return false;
            ScreenRoutine r = ScreenRoutineByName(w[1].c_str());
            if (r == nullptr && w[1] != "none") {
                *why = "no screen routine is called " + w[1];
                return false;
            }
            s.screen = r;
            known = true;
        }
        for (const HostField& f : HostFields) {
            if (known || name != f.name) continue;
            long long v;
            if (!count(1)) return false;
            if (!ParseWhole(w[1], f.lo, f.hi, &v)) {
                *why = name + " " + w[1] + " is not a whole number from " + std::to_string(f.lo) + " to " +
                       std::to_string(f.hi);
                return false;
            }
            f.set(&s.host, v);
            known = true;
        }
        for (size_t k = 0; !known && k < names.size(); k++) {
            const StateName& n = names[k];
            if (name != n.name) continue;
            if (!count((size_t)n.count)) return false;
            s.values[k].resize(n.count);
            long long lo = n.min, hi = n.max;
            if (name == "UtcClockOffset") {
                // SET UTC TIME sets a time from 1970 to 2099 on a host clock
                // from 1970 to 2100 plus the longest run: the offset between them.
                lo = -(Year2100Ms + LongestRunMs) / 1000;
                hi = Year2100Ms / 1000;
            }
            for (int i = 0; i < n.count; i++) {
                const std::string element = n.count > 1 ? name + "[" + std::to_string(i) + "]" : name;
                if (!ParseWhole(w[i + 1], lo, hi, &s.values[k][i])) {
                    *why = element + " " + w[i + 1] + " is not a whole number from " + std::to_string(lo) +
                           " to " + std::to_string(hi);
                    return false;
                }
            }
            if (name == "PowerState" && s.values[k][0] == POWER_SPLASH) {
                *why = "PowerState 1: a state saved during the splash cannot be resumed";
                return false;
            }
            if (name == "ShutdownRequested" && s.values[k][0] != 0) {
                *why = "ShutdownRequested 1: the instrument was going away; nothing to resume";
                return false;
            }
            known = true;
        }
        if (!known) {
            *why = "unknown name " + name;
            return false;
        }
        seenAt[name] = number;
    }
    if (!versionSeen) {
        *why = "empty: not a state file";
        return false;
    }
    std::vector<std::string> required = {"ScreenHandler"};
    for (const HostField& f : HostFields) required.push_back(f.name);
    for (const StateName& n : names) required.push_back(n.name);
    for (const std::string& name : required)
        if (seenAt.find(name) == seenAt.end()) {
            *why = "the file ends without " + name + " (is it cut short?)";
            return false;
        }
    // Each value is in its own range; these are the rules between them that
    // hold at every event point, so a state that breaks one was not saved.
    const std::string fault = ConsistencyFault(s);
    if (!fault.empty()) {
        *line = seenAt[fault.substr(0, fault.find(' '))];
        *why = fault;
        return false;
    }
    *out = s;
    return true;
}

bool ReadStateFile(const std::string& path, InstrumentSnapshot* s, std::string* error) {
    std::string text, why;
    if (!ReadWholeFile(path, STATE_FILE_LIMIT, &text, path + ": larger than 1 MiB: not a state file",
                       path + ": cannot read: ", error))
        return false;
    int line;
    if (ParseStateFile(text, s, &line, &why)) return true;
    *error = path + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": " + why;
    return false;
}

bool WriteStateFile(const std::string& path, const InstrumentSnapshot& s, std::string* error) {
    std::string why;
    if (WriteFileAtomically(path, FormatStateFile(s), &why)) return true;
    *error = "cannot write " + path + ": " + why;
    return false;
}
