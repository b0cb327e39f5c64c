// `tmx5 run SCRIPT`: the headless host driven by a scenario script.
//
// A script is read and checked whole before anything runs; a bad line is
// reported as FILE:LINE: what is wrong (exit 2) and nothing half-runs. Then
// the instrument runs on the headless host's virtual clock, and the script's
// commands are carried out at event points, where the window would deliver
// its events. The first failed expectation stops the run (exit 1).
//
// Lines: '#' starts a comment, blank lines are skipped, ';' separates
// commands. Inside double quotes (the text of expect-text) '#', ';' and
// blanks are text, and \" and \\ stand for a quote and a backslash. The events of a line are delivered at one event point, in order;
// after a line that holds an event two more event points pass before the
// next line is read, so the key has been consumed and its effect drawn. The
// one exception is ON while the instrument is off: as in the window, ON runs
// the instrument inside its own handler, so the rest of that line is
// delivered at the first splash frame's event point.
// File names are taken relative to the script's folder (standard input: the
// current folder).
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "FrameDiff.h"
#include "HeadlessHost.h"
#include "Movie.h"
#include "TextCheck.h"

struct ScriptCommand {
    enum Kind {
        UTC, ON, OFF, KEY, SENSOR, CALIBRATE, KEYFAST, WAIT, PASSES, FRAME_MS, SNAP, EXPECT,
        EXPECT_FRAME, EXPECT_TEXT, PRINT, MOVIE, MOVIE_END
    };
    Kind kind;
    long long number = 0;           // key code, sensor position, ms, passes, flag, seconds, picture scale
    std::string text;               // file name, or the expected value as written
    std::vector<std::string> names; // print: names; expect: the one name
    std::vector<FrameBox> ignore;   // expect-frame: regions left out of the comparison
    TextExpectation expectText;     // expect-text, expect-text-centred
};

// A reference frame written by a run with --update-frames.
struct WrittenFrame {
    std::string path;
    bool isNew = false;
    int changed = 0; // pixels that differed from the old reference
};

struct ScriptLine {
    int number = 0; // 1-based line in the file
    std::vector<ScriptCommand> commands;
    bool hasEvent = false;
};

class ScriptRunner {
public:
    ScriptRunner(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

    // Checks the whole script. displayName is used in messages, baseDir
    // for relative file names. On a bad line prints FILE:LINE: reason and
    // returns false.
    bool Load(const std::string& text, const std::string& displayName, const std::string& baseDir);

    // Runs a loaded script: 0 when it ended and every expectation held, 1 at
    // the first failed expectation, 2 when a file could not be written.
    int Run();

    // With update on, expect-frame writes a missing reference, or one that
    // differs, from the frame last rendered (keeping the old reference's
    // pixels inside its ignore boxes) and the run goes on; at the end Run
    // prints "wrote PATH (new)" or "wrote PATH (changed, N pixels)" for each.
    void SetUpdateFrames(bool update) { updateFrames_ = update; }
    const std::vector<WrittenFrame>& WrittenFrames() const { return written_; }

    const std::vector<ScriptLine>& Lines() const { return lines_; }
    // The host of the last run (valid during and after Run, until the next Run).
    const HeadlessHost* Host() const { return host_; }
    uint64_t PassesRun() const { return passes_; }

private:
    bool ParseLine(const std::string& text, int number);
    bool ParseCommand(const std::vector<std::string>& words, int number, ScriptCommand* cmd,
                      bool* isEvent);
    bool Bad(int number, const std::string& why);

    void OnEventPoint();
    void ProcessScript();
    enum Step { STEP_ON, STEP_SUSPEND, STEP_STOP };
    Step Execute(const ScriptCommand& cmd, int number);
    bool ValueOf(const std::string& name, std::string* value);
    std::string PathOf(const std::string& name) const;
    Step ExpectFrame(const ScriptCommand& cmd, int number);
    Step ExpectText(const ScriptCommand& cmd, int number);
    bool WriteReference(const std::string& path, const u8* frame, int number);
    Step StartMovie(const ScriptCommand& cmd, int number);
    bool EndMovie(int number);
    void RecordMovie();
    void Finish(int code);

    std::ostream& out_;
    std::ostream& err_;
    std::string displayName_;
    std::string baseDir_;
    std::vector<ScriptLine> lines_;

    std::unique_ptr<HeadlessHost> hostOwned_;
    HeadlessHost* host_ = nullptr;
    size_t lineIndex_ = 0;
    size_t commandIndex_ = 0;
    uint64_t skipPoints_ = 0;
    uint64_t waitUntilMs_ = 0;
    bool powerOnRequested_ = false;
    bool finished_ = false;
    int exitCode_ = 0;
    uint64_t passes_ = 0;
    bool updateFrames_ = false;
    std::vector<WrittenFrame> written_;
    int movieLine_ = 0; // the line of the movie recording now (while loading: not ended yet)
    std::unique_ptr<Movie> movie_;
};

// Reads FILE ("-" for standard input), checks and runs it. Returns the exit
// code. updateFrames: see ScriptRunner::SetUpdateFrames.
int RunScriptFile(const std::string& path, std::ostream& out, std::ostream& err, bool updateFrames = false);
