#include "ScriptCommands.h"

#include <cstdio>
#include <stdexcept>

#include "runtime/State.h"

typedef ScriptCommandKind K;

static bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// Seconds since 1970 of a proleptic Gregorian UTC date and time.
static long long CivilToSeconds(int y, int mo, int d, int h, int mi, int s) {
    static const int before[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    long long days = 0;
    for (int year = 1970; year < y; year++) days += IsLeap(year) ? 366 : 365;
    days += before[mo - 1] + (mo > 2 && IsLeap(y) ? 1 : 0) + d - 1;
    return ((days * 24 + h) * 60 + mi) * 60 + s;
}

bool ParseScriptUtc(const std::string& date, const std::string& time, long long* seconds) {
    int y, mo, d, h, mi, s;
    char tail;
    if (date.size() != 10 || time.size() != 8) return false;
    // Digits only: sscanf alone would take "+1" or " 1" for a field.
    for (size_t i = 0; i < date.size(); i++)
        if (i != 4 && i != 7 && (date[i] < '0' || date[i] > '9')) return false;
    for (size_t i = 0; i < time.size(); i++)
        if (i != 2 && i != 5 && (time[i] < '0' || time[i] > '9')) return false;
    if (std::sscanf(date.c_str(), "%4d-%2d-%2d%c", &y, &mo, &d, &tail) != 3) return false;
    if (std::sscanf(time.c_str(), "%2d:%2d:%2d%c", &h, &mi, &s, &tail) != 3) return false;
    if (date[4] != '-' || date[7] != '-' || time[2] != ':' || time[5] != ':') return false;
    static const int length[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1970 || y > 2099 || mo < 1 || mo > 12 || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 ||
        s > 59 || d < 1 || d > length[mo - 1] + (mo == 2 && IsLeap(y) ? 1 : 0))
        return false;
    *seconds = CivilToSeconds(y, mo, d, h, mi, s);
    return true;
}

// clang-format off
const std::vector<KeyRow>& KeyTable() {
    static const std::vector<KeyRow> keys = {
        {"menu",  KEY_MENU,  "the round key under the display"},
        {"cw",    KEY_CW,    "the knob turned one step clockwise"},
        {"ccw",   KEY_CCW,   "the knob turned one step anticlockwise"},
        {"left",  KEY_LEFT,  "the left soft key, F1"},
        {"right", KEY_RIGHT, "the right soft key, F2"},
    };
    return keys;
}
// clang-format on

std::string KeyWord(long long code) {
    for (const KeyRow& key : KeyTable())
        if (key.code == code) return key.word;
    return std::to_string(code);
}

// The key words with sep between them: "menu|cw|ccw|left|right".
static std::string KeyWords(const char* sep) {
    std::string s;
    for (const KeyRow& key : KeyTable()) s += (s.empty() ? "" : sep) + std::string(key.word);
    return s;
}

// clang-format off
const std::vector<ScriptCommandRow>& ScriptCommandTable() {
    // The key command's words, codes and docs come from the key table.
    static const std::string keyChoices = KeyWords("|"), keySynopsis = "key " + keyChoices,
                             keyBad = "unknown key %s (" + KeyWords(", ") + ")";
    static const std::vector<long long> keyCodes = [] {
        std::vector<long long> codes;
        for (const KeyRow& key : KeyTable()) codes.push_back(key.code);
        return codes;
    }();
    static const std::string keyMore = [] {
        std::string s;
        for (const KeyRow& key : KeyTable()) s += (s.empty() ? "" : "; ") + std::string(key.word) + ": " + key.help;
        return s + ".";
    }();
    static const std::vector<ScriptCommandRow> table = {
        {"utc", K::UTC, false, 2, 2, "utc YYYY-MM-DD HH:MM:SS", nullptr,
         {{ARG_UTC, "YYYY-MM-DD HH:MM:SS", 0, 0, nullptr, {}, "not a UTC time from 1970 to 2099: %s"}},
         "set the host clock",
         "The date runs from 1970-01-01 to 2099-12-31, the time from 00:00:00 to 23:59:59; the instrument "
         "reads it at its next pass. The virtual clock starts at 2026-01-01 00:00:00.",
         "utc 2026-06-01 12:00:00"},
        {"on", K::ON, true, 0, 0, "on", nullptr, {},
         "click ON",
         "While the instrument is off, ON runs the power-on sequence, the splash and the main loop inside "
         "its own handler, so the rest of the line is delivered at the first splash frame.",
         "on"},
        {"off", K::OFF, true, 0, 0, "off", nullptr, {},
         "click OFF", nullptr,
         "off"},
        {"key", K::KEY, true, 1, 1, keySynopsis.c_str(), nullptr,
         {{ARG_CHOICE, "KEY", 0, 0, keyChoices.c_str(), keyCodes, keyBad.c_str()}},
         "click a key", keyMore.c_str(),
         "key cw"},
        {"sensor", K::SENSOR, true, 1, 1, "sensor N", "0 to 4096",
         {{ARG_NUMBER, "N", 0, 4096, nullptr, {}, "sensor position must be 0 to 4096, not %s"}},
         "move the temperature track bar (0 to 4096)", nullptr,
         "sensor 3000"},
        {"calibrate", K::CALIBRATE, true, 1, 1, "calibrate on|off", nullptr,
         {{ARG_CHOICE, "on|off", 0, 0, "off|on", {0, 1}, "calibrate takes on or off, not %s"}},
         "check or clear the calibrate check box", nullptr,
         "calibrate on"},
        {"keyfast", K::KEYFAST, true, 1, 1, "keyfast on|off", nullptr,
         {{ARG_CHOICE, "on|off", 0, 0, "off|on", {0, 1}, "keyfast takes on or off, not %s"}},
         "check or clear the fast-key check box", nullptr,
         "keyfast off"},
        {"wait", K::WAIT, false, 1, 1, "wait DURATION", "250ms, 2s, 1.5s, 10m, 2h",
         {{ARG_DURATION, "DURATION", 0, 1000LL * 3600000, nullptr, {},
           "not a duration: %s (250ms, 2s, 1.5s, 10m, 2h; at most 1000h)"}},
         "let virtual time pass (250ms, 2s, 1.5s, 10m, 2h)",
         "The next line is read at the first event point at or after that time.",
         "wait 1.5s"},
        {"passes", K::PASSES, false, 1, 1, "passes N", nullptr,
         {{ARG_NUMBER, "N", 0, 100000000, nullptr, {}, "passes takes a count from 0 to 100000000, not %s"}},
         "let N event points pass", nullptr,
         "passes 3"},
        {"frame-ms", K::FRAME_MS, false, 1, 1, "frame-ms N", "1 to 1000",
         {{ARG_NUMBER, "N", 1, 1000, nullptr, {}, "frame period must be 1 to 1000 ms, not %s"}},
         "frame period, 1 to 1000 ms (default 20)", nullptr,
         "frame-ms 100"},
        {"snap", K::SNAP, false, 1, 2, "snap FILE.pbm|FILE.png|FILE.txt [Nx]", nullptr,
         {{ARG_FILE, "FILE", 0, 0, "pbm|png|txt", {}, "snap writes .pbm, .png or .txt, not %s"},
          {ARG_SCALE, "Nx", 1, 8, nullptr, {}, "a picture's scale is 1x to 8x, not %s"}},
         "write the frame last rendered; a .png at 1x to 8x (default 2x)",
         "Missing folders are made. A .png is a two-colour palette picture, each display pixel an N x N "
         "block; a .txt file draws lit pixels as '#' and unlit ones as '.'.",
         "snap home.png 4x"},
        {"movie", K::MOVIE, false, 1, 2, "movie FILE.gif [Nx] | movie end", nullptr,
         {{ARG_MOVIE, "FILE", 0, 0, "gif", {}, "movie writes a .gif file, not %s"},
          {ARG_SCALE, "Nx", 1, 8, nullptr, {}, "a picture's scale is 1x to 8x, not %s"}},
         "record each frame that changes, for its virtual time, as an animated GIF until movie end",
         "The movie starts with the frame shown and adds every rendered frame that differs from the one "
         "before, each shown for its virtual duration (rounded to hundredths, the total kept exact). A movie "
         "still recording when the run ends is finished and said so.",
         "movie tour.gif"},
        {"expect", K::EXPECT, false, 2, -1, "expect NAME VALUE", nullptr,
         {{ARG_NAME, "NAME", 0, 0, nullptr, {}, nullptr}, {ARG_VALUE, "VALUE", 0, 0, nullptr, {}, nullptr}},
         "compare a state variable, ScreenHandler, Lamp, Label15 or Power",
         "The value is the rest of the line, so a label with blanks can be compared. A difference ends the "
         "run with status 1.",
         "expect MainZone 43"},
        {"expect-frame", K::EXPECT_FRAME, false, 1, -1, "expect-frame FILE.pbm [ignore X0 Y0 X1 Y1 ...]", nullptr,
         {{ARG_FILE, "FILE", 0, 0, "pbm", {}, "expect-frame compares with a .pbm file, not %s"},
          {ARG_IGNORE, "X0 Y0 X1 Y1", 0, 0, nullptr, {}, nullptr}},
         "compare the frame last rendered with a reference, leaving out the boxes (inclusive corners); a "
         "failure writes FILE.actual.pbm and FILE.diff.png beside the reference",
         "tmx5 run --update-frames writes a missing or changed reference instead, keeping the old "
         "reference's pixels inside the boxes.",
         "expect-frame frames/home.pbm ignore 0 0 113 7"},
        {"expect-text", K::EXPECT_TEXT, false, 0, -1, "expect-text X Y [double] [inverse] [small] \"TEXT\"",
         nullptr, {{ARG_TEXT, "X Y", 0, 255, nullptr, {}, nullptr}},
         "compare the cells of TEXT drawn at (X, Y) (0 to 255) with the frame last rendered; \\\" is a "
         "quote, \\\\ a backslash",
         "TEXT holds 1 to 31 characters of codes 32 to 127. Inside the quotes '#', ';' and blanks are "
         "text.",
         "expect-text 0 0 \"UTC\""},
        {"expect-text-centred", K::EXPECT_TEXT, false, 0, -1,
         "expect-text-centred X Y [double] [inverse] [small] \"TEXT\"", nullptr,
         {{ARG_TEXT, "X Y", 0, 255, nullptr, {}, nullptr}},
         "the same, with the text centred on X", nullptr,
         "expect-text-centred 57 24 double \"12:00\""},
        {"print", K::PRINT, false, 1, -1, "print NAME ...", nullptr,
         {{ARG_NAMES, "NAME", 0, 0, nullptr, {}, nullptr}},
         "print NAME=VALUE lines", nullptr,
         "print UtcTime.Hour LocalOffsetHours[43]"},
        {"save-state", K::SAVE_STATE, false, 1, 1, "save-state FILE", nullptr,
         {{ARG_FILE, "FILE", 0, 0, nullptr, {}, nullptr}},
         "write the instrument's state and the host's to FILE",
         "The file is text: a version line, then one line per variable under the names expect uses, the "
         "screen routine, the virtual time, the host clock, the frame period, the track bar, the check boxes "
         "and the lamp. Not during the splash.",
         "save-state at-noon.state"},
        {"load-state", K::LOAD_STATE, false, 1, 1, "load-state FILE", nullptr,
         {{ARG_FILE, "FILE", 0, 0, nullptr, {}, nullptr}},
         "put back a state that save-state wrote, and carry on from it",
         "The rest of the line and the lines after it run as they would have after the save-state. A "
         "powered-on state resumes the main loop without the splash; a running instrument stops first. A bad "
         "file ends the run with status 2, naming its line, and nothing of it is loaded.",
         "load-state at-noon.state"},
    };
    return table;
}

const std::vector<ReferenceNote>& ScriptLimits() {
    static const std::vector<ReferenceNote> limits = {
        {"script size", "at most 1 MiB; reading stops at the first NUL byte"},
        {"errors", "at most 20 bad lines are reported, then \"... and N more\"; a word echoed in a message "
                   "is cut at 40 characters"},
        {"wait", "at most 1000 hours per command"},
        {"passes", "at most 100000000 per command"},
        {"total work", "at most 10,000 virtual hours and 10^9 passes per script: a script that asks for more "
                       "is bad when checked, a run that goes past them stops with status 2"},
        {"--timeout SECONDS", "ends the run with status 1 after that many seconds of real time, even one "
                              "blocked reading its script or writing its output"},
        {"references", "an expect-frame reference larger than 1 MiB is broken (status 1)"},
    };
    return limits;
}

const std::vector<ReferenceNote>& ExitCodes() {
    static const std::vector<ReferenceNote> codes = {
        {"0", "every expectation held"},
        {"1", "an expectation failed (the first one ends the run)"},
        {"2", "a bad script, a bad command line, a bad state file, or a file that could not be read or written"},
        {"suite", "0 when every script passed, 1 when any failed, 2 when any was bad"},
    };
    return codes;
}

const std::vector<ReferenceNote>& PathRules() {
    static const std::vector<ReferenceNote> rules = {
        {"relative names", "file names are taken relative to the script's folder (standard input: the "
                           "current folder)"},
        {"where", "a reference or a state to load is read from the script's folder (a state the run saved "
                  "below --out DIR, from there); every file a run writes (snap, save-state, a failed "
                  "expect-frame's pictures, --update-frames) goes below the script's folder, or below --out DIR "
                  "(in a suite: DIR and the script's folder below the folder given, or with several paths given, "
                  "DIR and the script's folder as given; two folders that would share one are refused); missing "
                  "folders are made there"},
        {"regular files", "a script reads and writes regular files only: a FIFO, a device or a folder named "
                          "as a file is refused (status 2)"},
        {"whole files", "every file is written to a temporary file beside it and renamed over the old one "
                        "only when complete: a write that fails (a full disk) keeps the old file (status 2)"},
        {"confinement", "an absolute name or one holding .. is refused when the script is checked "
                        "(status 2), and a name that leads out through a symbolic link when the run comes to it "
                        "(status 2), unless --allow-any-path is given"},
    };
    return rules;
}
// clang-format on

const ScriptCommandRow* FindScriptCommand(const std::string& name) {
    for (const ScriptCommandRow& row : ScriptCommandTable())
        if (name == row.name) return &row;
    return nullptr;
}

const ScriptCommandRow& ScriptCommandOf(ScriptCommandKind::Kind kind) {
    for (const ScriptCommandRow& row : ScriptCommandTable())
        if (row.kind == kind) return row;
    throw std::logic_error("no script command row for a kind");
}

std::string FormatCommand(ScriptCommandKind::Kind kind, const std::vector<std::string>& args) {
    const ScriptCommandRow& row = ScriptCommandOf(kind);
    // utc takes its date and time as one argument or as two.
    const int given = kind == K::UTC && args.size() == 1 ? 2 : (int)args.size();
    if (given < row.minArgs || (row.maxArgs >= 0 && given > row.maxArgs))
        throw std::logic_error(std::string("wrong argument count for ") + row.name);
    std::string line = row.name;
    for (const std::string& a : args) line += " " + a;
    return line;
}

static std::string Spaced(const char* choices, const char* sep) {
    std::string s;
    for (const char* p = choices; *p; p++)
        if (*p == '|')
            s += sep;
        else
            s += *p;
    return s;
}

std::vector<std::string> DescribeArgs(const ScriptCommandRow& row) {
    std::vector<std::string> out;
    for (const ScriptArg& a : row.args) {
        const std::string m = a.metavar;
        switch (a.kind) {
            case ARG_UTC:
                out.push_back(m + ": a UTC date and time from 1970-01-01 00:00:00 to 2099-12-31 23:59:59");
                break;
            case ARG_CHOICE:
                out.push_back(m + ": one of " + Spaced(a.choices, ", "));
                break;
            case ARG_NUMBER:
                out.push_back(m + ": a whole number from " + std::to_string(a.lo) + " to " +
                              std::to_string(a.hi));
                break;
            case ARG_DURATION:
                out.push_back(m + ": a number (decimals allowed) and a unit, ms, s, m or h; at most " +
                              std::to_string(a.hi / 3600000) + "h");
                break;
            case ARG_FILE:
                out.push_back(m + ": a file name" +
                              (a.choices ? " ending ." + Spaced(a.choices, ", .") : ""));
                break;
            case ARG_NAME:
                out.push_back(m + ": a name from the list of names (below)");
                break;
            case ARG_VALUE:
                out.push_back(m +
                              ": a whole number; for ScreenHandler a screen routine's name or none, for "
                              "Power off, splash or on, for Label15 the label's text");
                break;
            case ARG_NAMES:
                out.push_back(m + ": one or more names from the list of names (below)");
                break;
            case ARG_IGNORE:
                out.push_back(m +
                              ": boxes left out of the comparison, x 0 to 113, y 0 to 63, inclusive corners, "
                              "X0 <= X1 and Y0 <= Y1");
                break;
            case ARG_TEXT:
                out.push_back(m +
                              ": the text's top left corner (its centre's x when centred), 0 to 255; double: "
                              "double height; inverse: light on dark; small: the small font");
                break;
            case ARG_SCALE:
                out.push_back(m + ": optional, the picture's magnification, 1x to 8x (default 2x)");
                break;
            case ARG_MOVIE:
                out.push_back(m + ": a file name ending .gif, or end to finish the movie");
                break;
        }
    }
    return out;
}
