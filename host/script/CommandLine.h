// The program's command-line options, one row each: the window's
// (tmx5 [OPTIONS]) and the runner's (tmx5 run [OPTIONS] PATH...).
//
// A row gives an option's name, its argument and range, the message for a
// bad value and its help line. The window and the runner parse their command
// lines through it, and `tmx5 --help`, `tmx5 --man` and docs/SCRIPTS.md list
// it. Adding an option: one row in OptionTable() (CommandLine.cpp), an id
// below, and its case where the window or the runner applies its options.
#pragma once

#include <string>
#include <vector>

// Who takes an option.
enum OptionCommand {
    FOR_WINDOW, // tmx5 [OPTIONS]
    FOR_RUN,    // tmx5 run [OPTIONS] PATH...
};

enum OptionId {
    OPT_RECORD,
    OPT_UTC,
    OPT_SPEED,
    OPT_PAUSED,
    OPT_TOOLS,
    OPT_SCALE,
    OPT_LOAD_STATE,
    OPT_UPDATE_FRAMES,
    OPT_STATE_ON_FAILURE,
    OPT_OUT,
    OPT_ALLOW_ANY_PATH,
    OPT_TIMEOUT,
    OPT_JOBS,
    OPT_SHARD,
    OPT_JUNIT,
    OPT_COVERAGE,
    OPT_COVERAGE_HTML,
    OPT_COVERAGE_MIN,
    OPT_COVERAGE_PART,
};

// What an option's argument takes.
enum OptionArg {
    OPTARG_NONE,    // nothing: a flag
    OPTARG_PATH,    // a file or folder name; with a `bad` message, not empty
    OPTARG_WHOLE,   // digits only, lo to hi; or the row's `word` (value 0)
    OPTARG_DECIMAL, // digits and a decimal point, lo (excluded when loOpen) to hi
    OPTARG_PART,    // K/N, 1 <= K <= N <= hi
    OPTARG_UTC,     // "YYYY-MM-DD HH:MM:SS", 1970 to 2099
};

struct OptionRow {
    OptionCommand command;
    OptionId id;
    const char* name; // "--speed"; a two-letter name ("-j") also takes its value attached ("-j8")
    OptionArg arg;
    const char* metavar; // as the synopsis writes the argument ("N|fastest"), or null for a flag
    double lo, hi;       // OPTARG_WHOLE, OPTARG_DECIMAL, OPTARG_PART (hi)
    bool loOpen;         // OPTARG_DECIMAL: lo itself is refused
    const char* word;    // OPTARG_WHOLE: a word taken instead of a number ("fastest"), or null
    const char* bad;     // the message for a bad value; %s stands for the value as given
    const char* help;    // one line for --help, the man page and the reference
};

const std::vector<OptionRow>& OptionTable();

// The row of an option of a command, or null.
const OptionRow* FindOption(OptionCommand command, const std::string& name);

// One option as given on a command line.
struct OptionValue {
    const OptionRow* row = nullptr;
    std::string text;  // the argument as given ("" for a flag)
    double number = 0; // WHOLE (0 for the word), DECIMAL, PART: K, UTC: seconds since 1970
    long partOf = 0;   // PART: N
    bool word = false; // WHOLE: the row's word was given
};

// Reads a command's options in order. With `operands` given, "-", a word not
// starting with '-' and every word after "--" are operands; without it they
// are unknown options. False with a message that names the option (no
// program prefix) at the first bad one.
bool ParseOptions(OptionCommand command, const std::vector<std::string>& args,
                  std::vector<OptionValue>* values, std::vector<std::string>* operands, std::string* error);

// "--record FILE.tmx, --utc ..., --paused and --load-state FILE": a command's
// options for a message.
std::string OptionList(OptionCommand command);

// The program's command line forms and options, for --help and the man page.
struct ProgramOption {
    std::string synopsis; // "tmx5 run SCRIPT", or "  --speed N|fastest" for an option
    std::string help;     // what it does
};
std::vector<ProgramOption> ProgramOptions();

// The whole of `tmx5 --help`: these forms and options, the script commands
// and the exit codes.
std::string UsageText();
