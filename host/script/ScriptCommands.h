// The script commands, one row each (the program's options are in
// CommandLine.h).
//
// The runner's parser reads its commands, their arguments and their ranges
// from this table; `tmx5 --help`, `tmx5 --man` and docs/SCRIPTS.md are
// written from it; the window's recorder formats its lines through it. This
// module needs nothing of the runner, so the window can link it alone.
//
// Adding a command: one row in ScriptCommandTable() (ScriptCommands.cpp), a
// kind below, and its case in ScriptRunner::Execute.
#pragma once

#include <string>
#include <vector>

struct ScriptCommandKind {
    enum Kind {
        UTC,
        ON,
        OFF,
        KEY,
        SENSOR,
        CALIBRATE,
        KEYFAST,
        WAIT,
        PASSES,
        FRAME_MS,
        SNAP,
        EXPECT,
        EXPECT_FRAME,
        EXPECT_TEXT,
        PRINT,
        SAVE_STATE,
        LOAD_STATE,
        MOVIE,
        MOVIE_END,
    };
};

// What one argument of a command takes.
enum ScriptArgKind {
    ARG_UTC,      // two words, YYYY-MM-DD HH:MM:SS, 1970 to 2099 (in seconds since 1970)
    ARG_CHOICE,   // one of the words in `choices` ("menu|cw|..."), its value from `values`
    ARG_NUMBER,   // a whole number from lo to hi
    ARG_DURATION, // 250ms, 2s, 1.5s, 10m, 2h; at most hi milliseconds
    ARG_FILE,     // a file name ending in one of the extensions in `choices` ("pbm|png")
    ARG_NAME,     // a name expect and print accept
    ARG_VALUE,    // the rest of the line: the value expect compares
    ARG_NAMES,    // one or more names expect and print accept
    ARG_IGNORE,   // optional: ignore X0 Y0 X1 Y1 ... (boxes within the display)
    ARG_TEXT,     // X Y [double] [inverse] [small] "TEXT"
    ARG_SCALE,    // optional: a picture's magnification, 1x to 8x (default 2x)
    ARG_MOVIE,    // a .gif file name, or the word end (the kind becomes MOVIE_END)
};

struct ScriptArg {
    ScriptArgKind kind;
    const char* metavar;           // as the synopsis writes it: "N", "FILE", ...
    long long lo, hi;              // ARG_NUMBER range; ARG_DURATION: hi is the longest, in ms
    const char* choices;           // ARG_CHOICE words, ARG_FILE extensions, '|' between
    std::vector<long long> values; // ARG_CHOICE: the value of each word
    const char* bad;               // the message for a bad value; %s stands for the words given
};

struct ScriptCommandRow {
    const char* name;
    ScriptCommandKind::Kind kind;
    bool event;           // an input event (the line gets two more event points)
    int minArgs;          // words after the command
    int maxArgs;          // -1: no upper bound
    const char* synopsis; // "sensor N"
    const char* hint;     // added to "usage: SYNOPSIS" in parentheses, or null
    std::vector<ScriptArg> args;
    const char* help;    // one line for --help
    const char* more;    // further sentences for the reference and the man page, or null
    const char* example; // a line the parser accepts
};

const std::vector<ScriptCommandRow>& ScriptCommandTable();

// The row of a command word, or null.
const ScriptCommandRow* FindScriptCommand(const std::string& name);
// The (first) row of a kind.
const ScriptCommandRow& ScriptCommandOf(ScriptCommandKind::Kind kind);

// The instrument's keys as the key command names them, one row each: the
// script, its reference, the window's and the page's recordings, the
// Python module and the tests all take their key words from here.
struct KeyRow {
    const char* word; // "cw"
    int code;         // the KeyCode it posts, KEY_*
    const char* help; // what it is on the instrument
};
const std::vector<KeyRow>& KeyTable();
// The word of a key code ("cw"); a code no key posts is written as its digits.
std::string KeyWord(long long code);

// A script line for a command: FormatCommand(KEY, {"cw"}) is "key cw".
// The arguments are taken as written; a wrong count throws std::logic_error.
std::string FormatCommand(ScriptCommandKind::Kind kind, const std::vector<std::string>& args = {});

// What `tmx5 run` holds a script to, what it exits with, where it writes.
struct ReferenceNote {
    const char* topic;
    const char* text;
};
const std::vector<ReferenceNote>& ScriptLimits();
const std::vector<ReferenceNote>& ExitCodes();
const std::vector<ReferenceNote>& PathRules();

// A UTC date and time as the utc command and the window's --utc take it:
// YYYY-MM-DD and HH:MM:SS, digits only, 1970 to 2099, a real day. Gives
// the seconds since 1970.
bool ParseScriptUtc(const std::string& date, const std::string& time, long long* seconds);

// The arguments of a command as the reference lists them ("N: 0 to 4096").
std::vector<std::string> DescribeArgs(const ScriptCommandRow& row);
