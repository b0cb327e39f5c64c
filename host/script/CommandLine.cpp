#include "CommandLine.h"

#include <cstdlib>

#include "ScriptCommands.h"

// clang-format off
const std::vector<OptionRow>& OptionTable() {
    static const std::vector<OptionRow> table = {
        {FOR_WINDOW, OPT_RECORD, "--record", OPTARG_PATH, "FILE.tmx", 0, 0, false, nullptr, nullptr,
         "record every input into FILE.tmx as a script for tmx5 run, in passes, ending with an expect line "
         "for every value that differs from power-on and an expect-frame of the last frame (FILE.last.pbm); "
         "an older FILE.tmx stays until the recording ends whole"},
        {FOR_WINDOW, OPT_UTC, "--utc", OPTARG_UTC, "\"YYYY-MM-DD HH:MM:SS\"", 0, 0, false, nullptr,
         "--utc takes a UTC date and time \"YYYY-MM-DD HH:MM:SS\" from 1970 to 2099, not \"%s\"",
         "start the simulated clock at that UTC instead of the computer's"},
        {FOR_WINDOW, OPT_SPEED, "--speed", OPTARG_WHOLE, "N|fastest", 1, 100000, false, "fastest",
         "--speed takes a whole number from 1 to 100000 or \"fastest\", not \"%s\"",
         "run N times faster than real time (1 to 100000), or as fast as the machine goes"},
        {FOR_WINDOW, OPT_PAUSED, "--paused", OPTARG_NONE, nullptr, 0, 0, false, nullptr, nullptr,
         "start paused (the simulator controls step and resume)"},
        {FOR_WINDOW, OPT_TOOLS, "--tools", OPTARG_NONE, nullptr, 0, 0, false, nullptr, nullptr,
         "open the simulator controls too (F12 or Ctrl+T in the window)"},
        {FOR_WINDOW, OPT_SCALE, "--scale", OPTARG_WHOLE, "N", 1, 4, false, nullptr,
         "--scale takes a whole number from 1 to 4, not \"%s\"",
         "magnify the whole window 1 to 4 times, with crisp pixels"},
        {FOR_WINDOW, OPT_LOAD_STATE, "--load-state", OPTARG_PATH, "FILE", 0, 0, false, nullptr, nullptr,
         "open the window in a state that save-state or --state-on-failure wrote"},

        {FOR_RUN, OPT_UPDATE_FRAMES, "--update-frames", OPTARG_NONE, nullptr, 0, 0, false, nullptr, nullptr,
         "write every missing, changed or broken expect-frame reference"},
        {FOR_RUN, OPT_STATE_ON_FAILURE, "--state-on-failure", OPTARG_NONE, nullptr, 0, 0, false, nullptr, nullptr,
         "at a failed expectation also write the state to SCRIPT.failed.state (the script's name without "
         ".tmx) beside the script or below --out DIR, for tmx5 --load-state; never over a file the run reads"},
        {FOR_RUN, OPT_OUT, "--out", OPTARG_PATH, "DIR", 0, 0, false, nullptr, "--out needs a folder",
         "write files below DIR instead of the script's folder (a suite of several paths: below DIR and each "
         "script's folder as given)"},
        {FOR_RUN, OPT_ALLOW_ANY_PATH, "--allow-any-path", OPTARG_NONE, nullptr, 0, 0, false, nullptr, nullptr,
         "let file names be absolute, hold .. or lead out through links"},
        {FOR_RUN, OPT_TIMEOUT, "--timeout", OPTARG_DECIMAL, "SECONDS", 0, 1000000, true, nullptr,
         "--timeout takes seconds, more than 0 and at most 1000000, not %s",
         "end a script's run after SECONDS of real time (status 1), whatever it waits on"},
        {FOR_RUN, OPT_JOBS, "-j", OPTARG_WHOLE, "N", 1, 256, false, nullptr,
         "-j takes a number of scripts at once from 1 to 256, not %s",
         "run N scripts of a suite at once (default: the number of cores)"},
        {FOR_RUN, OPT_SHARD, "--shard", OPTARG_PART, "K/N", 1, 100000, false, nullptr,
         "--shard takes K/N with 1 <= K <= N, not %s",
         "run the K-th of N parts of the suite (every N-th script from the K-th)"},
        {FOR_RUN, OPT_JUNIT, "--junit", OPTARG_PATH, "FILE", 0, 0, false, nullptr, "--junit needs a file",
         "write a JUnit XML report of the suite (its path is checked before the suite runs)"},
        {FOR_RUN, OPT_COVERAGE, "--coverage", OPTARG_PATH, "FILE", 0, 0, false, nullptr,
         "--coverage needs a file",
         "record what the run or suite made the instrument do, against its tables (screens and home pages, "
         "transitions, keys per screen, rows and fields, notable conditions, every variable's lowest and highest "
         "value), write it to FILE as JSON and print a line \"coverage: screens N/N, ...\""},
        {FOR_RUN, OPT_COVERAGE_HTML, "--coverage-html", OPTARG_PATH, "FILE", 0, 0, false, nullptr,
         "--coverage-html needs a file",
         "write the coverage as one HTML page: the screen graph, and tables of what was never done"},
        {FOR_RUN, OPT_COVERAGE_MIN, "--coverage-min", OPTARG_DECIMAL, "PCT", 0, 100, false, nullptr,
         "--coverage-min takes a percentage from 0 to 100, not %s",
         "exit 1 (with the coverage line) when a group is covered below PCT percent"},
        {FOR_RUN, OPT_COVERAGE_PART, "--coverage-part", OPTARG_PATH, "FILE", 0, 0, false, nullptr,
         "--coverage-part needs a file",
         "write the script's coverage to FILE and print nothing of it (what a suite asks of each script)"},
    };
    return table;
}

// The program's forms, each followed in --help by the options of its command
// (after the last form of that command).
struct ProgramForm {
    int optionsOf; // the OptionCommand whose options follow this form, or -1
    const char* synopsis;
    const char* help;
};

static const ProgramForm Forms[] = {
    {FOR_WINDOW, "tmx5", "open the simulator window"},
    {-1, "tmx5 run SCRIPT", "run a scenario script headless (\"-\" reads standard input)"},
    {FOR_RUN, "tmx5 run PATH...",
     "run scripts and folders (every *.tmx below, sorted) as a suite, each script in a process of its "
     "own: a line each, PASS, FAIL or BAD and its time, then \"N passed, N failed\""},
    {-1, "tmx5 explore --out DIR",
     "explore every screen, row and key the instrument can reach from power-on and write a suite of short "
     "scenarios into DIR, one per screen, home page, row, transition and screen-and-key pair, each ending "
     "with expect ScreenHandler and an expect-frame of its last frame (references in DIR/frames), check that "
     "it passes, and list the table's screens, transitions, keys and rows it could not reach"},
    {-1, "tmx5 --help", "print the command lines and the script commands"},
    {-1, "tmx5 --version", "print the program's and the firmware's version"},
    {-1, "tmx5 --man", "print this manual as a man page (roff)"},
    {-1, "tmx5 --reference", "print the script reference, docs/SCRIPTS.md (Markdown)"},
};
// clang-format on

const OptionRow* FindOption(OptionCommand command, const std::string& name) {
    for (const OptionRow& row : OptionTable())
        if (row.command == command && name == row.name) return &row;
    return nullptr;
}

// A whole number from lo to hi, digits only (at most nine of them).
static bool WholeNumber(const std::string& s, double lo, double hi, long* value) {
    if (s.empty() || s.size() > 9 || s.find_first_not_of("0123456789") != std::string::npos) return false;
    *value = std::atol(s.c_str());
    return *value >= lo && *value <= hi;
}

// Digits with at most a decimal point, read whole.
static bool Decimal(const std::string& s, double* value) {
    if (s.empty() || s.find_first_not_of("0123456789.") != std::string::npos) return false;
    char* end = nullptr;
    *value = std::strtod(s.c_str(), &end);
    return *end == '\0';
}

static bool ReadValue(const OptionRow& row, OptionValue* v) {
    const std::string& s = v->text;
    long n = 0, k = 0;
    switch (row.arg) {
        case OPTARG_NONE:
            return true;
        case OPTARG_PATH:
            return !(row.bad && s.empty());
        case OPTARG_WHOLE:
            if (row.word && s == row.word) return v->word = true;
            if (!WholeNumber(s, row.lo, row.hi, &n)) return false;
            v->number = (double)n;
            return true;
        case OPTARG_DECIMAL:
            return Decimal(s, &v->number) && (row.loOpen ? v->number > row.lo : v->number >= row.lo) &&
                   v->number <= row.hi;
        case OPTARG_PART: {
            const size_t slash = s.find('/');
            if (slash == std::string::npos || !WholeNumber(s.substr(0, slash), 1, row.hi, &k) ||
                !WholeNumber(s.substr(slash + 1), 1, row.hi, &n) || k > n)
                return false;
            v->number = (double)k;
            v->partOf = n;
            return true;
        }
        case OPTARG_UTC: {
            long long seconds = 0;
            if (s.size() != 19 || s[10] != ' ' || !ParseScriptUtc(s.substr(0, 10), s.substr(11), &seconds))
                return false;
            v->number = (double)seconds;
            return true;
        }
    }
    return false;
}

static std::string BadValue(const OptionRow& row, const std::string& value) {
    std::string message = row.bad;
    const size_t at = message.find("%s");
    if (at != std::string::npos) message.replace(at, 2, value);
    return message;
}

bool ParseOptions(OptionCommand command, const std::vector<std::string>& args,
                  std::vector<OptionValue>* values, std::vector<std::string>* operands, std::string* error) {
    bool optionsEnd = false;
    for (size_t i = 0; i < args.size(); i++) {
        const std::string& a = args[i];
        if (operands && (optionsEnd || a == "-" || a.empty() || a[0] != '-')) {
            operands->push_back(a);
            continue;
        }
        if (operands && a == "--") {
            optionsEnd = true;
            continue;
        }
        OptionValue v;
        v.row = FindOption(command, a);
        bool attached = false;
        if (!v.row && a.size() > 2 && a[1] != '-') {
            // "-j8": a two-letter option with its value attached.
            v.row = FindOption(command, a.substr(0, 2));
            attached = v.row && v.row->arg != OPTARG_NONE;
            if (!attached) v.row = nullptr;
        }
        if (!v.row) {
            *error = "unknown option " + a;
            return false;
        }
        if (attached) {
            v.text = a.substr(2);
        } else if (v.row->arg != OPTARG_NONE) {
            if (i + 1 >= args.size()) {
                *error = a + " needs a value";
                return false;
            }
            v.text = args[++i];
        }
        if (!ReadValue(*v.row, &v)) {
            *error = BadValue(*v.row, v.text);
            return false;
        }
        values->push_back(v);
    }
    return true;
}

static std::string Synopsis(const OptionRow& row) {
    return std::string(row.name) + (row.metavar ? std::string(" ") + row.metavar : "");
}

std::string OptionList(OptionCommand command) {
    std::vector<std::string> names;
    for (const OptionRow& row : OptionTable())
        if (row.command == command) names.push_back(Synopsis(row));
    std::string s;
    for (size_t i = 0; i < names.size(); i++)
        s += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return s;
}

std::vector<ProgramOption> ProgramOptions() {
    std::vector<ProgramOption> out;
    for (const ProgramForm& form : Forms) {
        out.push_back({form.synopsis, form.help});
        for (const OptionRow& row : OptionTable())
            if (row.command == form.optionsOf) out.push_back({"  " + Synopsis(row), row.help});
    }
    return out;
}

// Words of text wrapped at width, each line after the first indented.
static std::string Wrap(const std::string& text, size_t first, size_t indent, size_t width) {
    std::string out, line;
    size_t used = first, start = 0;
    while (start < text.size()) {
        size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(start, end - start);
        if (!line.empty() && used + 1 + word.size() > width) {
            out += line + "\n" + std::string(indent, ' ');
            line.clear();
            used = indent;
        }
        if (!line.empty()) {
            line += ' ';
            used++;
        }
        line += word;
        used += word.size();
        start = end + 1;
    }
    return out + line;
}

// "  SYNOPSIS   help" with the help at column `column`, on the next line when
// the synopsis is too long.
static std::string HelpEntry(const std::string& lead, const std::string& synopsis, const std::string& help,
                             size_t column) {
    std::string s = lead + synopsis;
    if (s.size() + 1 > column)
        s += "\n" + std::string(column, ' ');
    else
        s += std::string(column - s.size(), ' ');
    return s + Wrap(help, column, column, 100) + "\n";
}

std::string UsageText() {
    std::string s;
    bool first = true;
    for (const ProgramOption& o : ProgramOptions()) {
        s += HelpEntry(first ? "usage: " : "       ", o.synopsis, o.help, 28);
        first = false;
    }
    s += "\nA scenario script drives the instrument on a virtual clock that starts at\n"
         "2026-01-01 00:00:00 UTC. One command per line, or several separated by ';':\n";
    for (const ScriptCommandRow& row : ScriptCommandTable()) s += HelpEntry("  ", row.synopsis, row.help, 28);
    s += "Exit status:\n";
    for (const ReferenceNote& e : ExitCodes()) s += HelpEntry("  ", e.topic, e.text, 6);
    return s;
}
