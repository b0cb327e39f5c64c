// Reading a scenario script: lines into commands, each checked against its
// row of the command table (ScriptCommands.h) before anything runs.
//
// Lines: '#' starts a comment, blank lines are skipped, ';' separates
// commands. Inside double quotes (the text of expect-text) '#', ';' and
// blanks are text, and \" and \\ stand for a quote and a backslash. Lines end
// at LF, CR LF or a lone CR; a UTF-8 byte-order mark is not part of the first
// line. A bad line is reported as FILE:LINE: what is wrong, every bad line up
// to SCRIPT_MAX_ERRORS, and then nothing is kept. The executor
// (headless/ScriptRunner.h) carries out what this reads.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "frames/FrameDiff.h"
#include "frames/TextCheck.h"
#include "script/ScriptCommands.h"
#include "state/StateNames.h"

// What one script may ask for.
const size_t SCRIPT_MAX_BYTES = 1 << 20;                      // 1 MiB of text
const int SCRIPT_MAX_ERRORS = 20;                             // bad lines shown, then "... and N more"
const size_t SCRIPT_ECHO_CHARS = 40;                          // a word echoed in a message is cut here
const uint64_t SCRIPT_MAX_VIRTUAL_MS = 10000ULL * 3600000ULL; // 10,000 hours of virtual time
const uint64_t SCRIPT_MAX_EVENT_POINTS = 1000000000ULL;       // 10^9 event points (passes)

struct ScriptCommand : ScriptCommandKind {
    Kind kind;
    long long number = 0;           // key code, sensor position, ms, passes, flag, seconds, picture scale
    std::string text;               // file name, or the expected value as written
    std::vector<std::string> names; // print: names; expect: the one name
    std::vector<FrameBox> ignore;   // expect-frame: regions left out of the comparison
    TextExpectation expectText;     // expect-text, expect-text-centred
};

struct ScriptLine {
    int number = 0; // 1-based line in the file
    std::vector<ScriptCommand> commands;
    bool hasEvent = false;
};

class ScriptParser {
public:
    explicit ScriptParser(std::ostream& err) : err_(err) {}

    // File names may be absolute, hold "..", or leave through links.
    void SetAllowAnyPath(bool allow) { allowAnyPath_ = allow; }
    // The virtual time and event points a script may ask for, counted ahead.
    void SetLimits(uint64_t maxVirtualMs, uint64_t maxEventPoints) {
        maxVirtualMs_ = maxVirtualMs;
        maxEventPoints_ = maxEventPoints;
    }

    // Checks the whole text; when every line is good its lines become
    // Lines(), otherwise Lines() is empty and each bad line was reported as
    // displayName:LINE: reason. movieLine is the line since which a movie
    // records when the text begins (a live run), 0 when none does: it decides
    // whether `movie end` and `movie FILE` are good.
    bool Parse(const std::string& text, const std::string& displayName, int movieLine = 0);
    // One command from its words, as if they stood alone on line 1 (a word may
    // hold blanks: no splitting, no comments, no quoting rules).
    bool ParseWords(const std::vector<std::string>& words, const std::string& displayName, int movieLine = 0);

    const std::vector<ScriptLine>& Lines() const { return lines_; }

private:
    bool ParseText(const std::string& text);
    bool ParseLine(const std::string& text, int number);
    bool ParseCommand(const std::vector<std::string>& words, int number, ScriptCommand* cmd, bool* isEvent);
    bool ParseArg(const ScriptArg& a, const std::vector<std::string>& w, size_t* at,
                  const ScriptCommandRow& row, int number, ScriptCommand* c);
    bool CheckWork();
    bool Bad(int number, const std::string& why);

    std::ostream& err_;
    std::string displayName_;
    std::vector<ScriptLine> lines_;
    bool allowAnyPath_ = false;
    uint64_t maxVirtualMs_ = SCRIPT_MAX_VIRTUAL_MS;
    uint64_t maxEventPoints_ = SCRIPT_MAX_EVENT_POINTS;
    int errors_ = 0;
    int movieLine_ = 0; // the line of the movie recording at this point of the text, 0: none
};

// A message with every word longer than SCRIPT_ECHO_CHARS cut there (at a
// character boundary of UTF-8) and marked with "...".
std::string CutLongWords(const std::string& s);
// A name expect and print accept: a state variable or one of the panel's;
// false with the reason for any other.
bool CheckName(const std::string& name, std::string* why);
// "10000 hours", or "1500 ms" when not whole hours.
std::string Milliseconds(uint64_t ms);
