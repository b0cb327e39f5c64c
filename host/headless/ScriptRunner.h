// `tmx5 run SCRIPT`: the headless host driven by a scenario script.
//
// A script is read and checked whole before anything runs; a bad line is
// reported as FILE:LINE: what is wrong (exit 2) and nothing half-runs. Then
// the instrument runs on the headless host's virtual clock, and the script's
// commands are carried out at event points, where the window would deliver
// its events. The first failed expectation stops the run (exit 1).
//
// Lines are read by ScriptParser (script/ScriptParser.h). The events of a line are delivered at one
// event point, in order; after a line that holds an event two more event points pass before the next line is
// read, so the key has been consumed and its effect drawn. The one exception is ON while the instrument is
// off: as in the window, ON runs the instrument inside its own handler, so the rest of that line is delivered
// at the first splash frame's event point. File names are taken relative to the script's folder (standard
// input: the current folder), and stay inside it: a reference is read from the script's folder, and every
// file is written below the output folder (the script's folder unless --out names another). A name that leads
// out of its folder, through "..", an absolute path or a symbolic link, is refused unless the run allows any
// path.
//
// Saved states (StateFile.h): save-state writes the state as it stands at the
// event point. load-state puts one back so that the script goes on as it went
// on after the save-state, at the same event point: at an idle event point
// the state goes back at once and the line goes on; inside the instrument's
// loop the loop is ended first (as at shutdown), the state goes back from the
// idle loop, and the line goes on there. A powered-on state then resumes the
// main loop (ResumeMainLoop) once the script waits for something.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "HeadlessHost.h"
#include "Movie.h"
#include "script/ScriptParser.h"
#include "state/StateFile.h"

// How `tmx5 run` runs a script.
struct RunOptions {
    bool updateFrames = false;        // see ScriptRunner::SetUpdateFrames
    bool allowAnyPath = false;        // file names may be absolute, hold "..", or leave through links
    std::string outDir;               // where files are written; empty: the script's folder
    double timeoutSeconds = 0;        // wall-clock limit of the run; 0: none
    bool stateOnFailure = false;      // a failure also writes the state to SCRIPT's stem + ".failed.state"
                                      // below the output folder (standard input: stdin.failed.state)
    PassObserver* observer = nullptr; // told of every pass (coverage), or null
};

// A reference frame written by a run with --update-frames.
struct WrittenFrame {
    std::string path;
    bool isNew = false;
    int changed = 0;    // pixels that differed from the old reference
    std::string broken; // why the old reference could not be read, when it could not
};

class ScriptRunner {
public:
    ScriptRunner(std::ostream& out, std::ostream& err) : out_(out), err_(err), parser_(err) {}

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
    void SetOptions(const RunOptions& options);
    // The bounds of one run (for tests; the defaults are the SCRIPT_MAX_ ones).
    void SetLimits(uint64_t maxVirtualMs, uint64_t maxEventPoints) {
        maxVirtualMs_ = maxVirtualMs;
        maxEventPoints_ = maxEventPoints;
        parser_.SetLimits(maxVirtualMs, maxEventPoints);
    }
    // With a path, a failed expectation also writes the state at the failing
    // line there (see StateFile.h), for opening in the window.
    // It is never a file the run reads (the script, a loaded state, a
    // reference): such a state is not written.
    void SetStateOnFailure(const std::string& path) { stateOnFailure_ = path; }
    // Told of every pass of the runs from now on (null: none).
    void SetObserver(PassObserver* observer) { observer_ = observer; }
    // A file the run reads that is not named in the script (the script itself).
    void AddReadFile(const std::string& path) { read_.push_back(path); }
    // With keep on, the run keeps the state of the event point where it ends
    // (the last line, or the failing one) as a state file's text, for a host
    // that goes on from there (the web page); empty when the run ended in the
    // instrument's splash or before it began.
    void SetKeepEndState(bool keep) { keepEndState_ = keep; }
    const std::string& EndState() const { return endState_; }

    // --- A live run (the Python module): the instrument stays up between
    // pieces of script handed to it one after another, as if they stood one
    // after the other in one script.
    //
    // With an idle routine, reaching the end of the script does not end the
    // run: the runner calls idle() at that event point, and idle returns once
    // more lines have been fed (true: they run on from this event point) or
    // when the run is to end (false). A failed expectation or a file that
    // cannot be written does not end a live run either: the rest of what was
    // fed is dropped, FedStatus says what happened, and the runner goes idle
    // at the same event point. A live run has no bounds of virtual time or
    // event points beyond each command's own.
    void SetIdle(std::function<bool()> idle);
    // Called every LIVE_POLL_POINTS event points while a wait or passes is
    // running; when it returns true the rest of what was fed is dropped
    // (FedStatus 3) and the runner goes idle at that event point.
    void SetPoll(std::function<bool()> poll) { poll_ = std::move(poll); }
    static const uint64_t LIVE_POLL_POINTS = 1024;
    // Checks text as Load does and, when every line is good, makes it what
    // runs next. On a bad line prints FILE:LINE: reason and queues nothing.
    bool Feed(const std::string& text, const std::string& displayName, const std::string& baseDir);
    // One command from its words, as if they stood alone on line 1 (a word
    // may hold blanks: no splitting, no comments, no quoting rules).
    bool FeedCommand(const std::vector<std::string>& words, const std::string& displayName,
                     const std::string& baseDir);
    // What became of the lines fed last: 0 they ran, 1 an expectation failed,
    // 2 a file could not be read or written, 3 the poll stopped them.
    int FedStatus() const { return fedStatus_; }
    void ClearFedStatus() { fedStatus_ = 0; }
    // A name as expect and print read it (a state variable, ScreenHandler,
    // Lamp, Label15, Power); false with the reason for a name they refuse.
    bool ReadName(const std::string& name, std::string* value, std::string* why);

    const std::vector<ScriptLine>& Lines() const { return parser_.Lines(); }
    // The host of the last run (valid during and after Run, until the next Run).
    const HeadlessHost* Host() const { return host_; }
    uint64_t PassesRun() const { return passes_; }

private:
    void DropFed(int status);
    int MovieLine() const;
    bool Resolve(const std::string& name, bool write, int number, std::string* path);
    void CheckBounds();

    void OnEventPoint();
    void ProcessScript();
    enum Step { STEP_ON, STEP_SUSPEND, STEP_STOP };
    Step Execute(const ScriptCommand& cmd, int number);
    bool ValueOf(const std::string& name, std::string* value);
    Step ExpectFrame(const ScriptCommand& cmd, int number);
    Step ExpectText(const ScriptCommand& cmd, int number);
    bool WriteReference(const std::string& path, const u8* frame, int number);
    Step StartMovie(const ScriptCommand& cmd, int number);
    bool EndMovie(int number);
    void RecordMovie();
    void Finish(int code);
    bool ReadsFile(const std::string& path) const;
    // Whether the alarm of RunScriptFile's --timeout has gone off.
    static bool TimedOut();
    Step SaveState(const ScriptCommand& cmd, int number);
    Step LoadState(const ScriptCommand& cmd, int number);
    void Apply(const InstrumentSnapshot& state);
    // Runs the instrument from the host's idle loop for as long as the
    // script asks: ON, a loaded state to put back, a powered state to resume.
    void RunInstrument();

    std::ostream& out_;
    std::ostream& err_;
    std::string displayName_;
    std::string baseDir_;
    ScriptParser parser_;

    std::unique_ptr<HeadlessHost> hostOwned_;
    HeadlessHost* host_ = nullptr;
    size_t lineIndex_ = 0;
    size_t commandIndex_ = 0;
    uint64_t skipPoints_ = 0;
    uint64_t waitUntilMs_ = 0;
    bool powerOnRequested_ = false;
    bool running_ = false;         // the instrument's own loop is on the stack
    bool resumeRequested_ = false; // a powered state was put back: resume its main loop
    bool loadPending_ = false;     // staged_ goes back once the running loop has ended
    InstrumentSnapshot staged_;
    std::string stateOnFailure_;
    PassObserver* observer_ = nullptr;
    std::vector<std::string> read_; // the files the run read (load-state, expect-frame), the script
    bool finished_ = false;
    int exitCode_ = 0;
    uint64_t passes_ = 0;
    bool updateFrames_ = false;
    bool allowAnyPath_ = false;
    std::string outDir_;
    double timeoutSeconds_ = 0;
    uint64_t maxVirtualMs_ = SCRIPT_MAX_VIRTUAL_MS;
    uint64_t maxEventPoints_ = SCRIPT_MAX_EVENT_POINTS;
    int lastLine_ = 0; // the line of the command carried out last
    std::chrono::steady_clock::time_point deadline_;
    std::vector<WrittenFrame> written_;
    int movieLine_ = 0; // the line of the movie recording now (while loading: not ended yet)
    std::unique_ptr<Movie> movie_;
    std::function<bool()> idle_; // set: a live run
    std::function<bool()> poll_;
    int fedStatus_ = 0;
    bool keepEndState_ = false;
    std::string endState_;
};

// Reads FILE ("-" for standard input), checks and runs it. Returns the exit
// code; a script that cannot be read, is longer than SCRIPT_MAX_BYTES or
// holds a NUL byte is bad (2).
int RunScriptFile(const std::string& path, std::ostream& out, std::ostream& err,
                  const RunOptions& options = RunOptions());

// Reads a whole script from an open file: false, with the reason, when it
// cannot be read or is longer than SCRIPT_MAX_BYTES. Reading stops at a NUL
// byte, which is kept as the text's last character for Load to report.
bool ReadScriptText(int fd, std::string* text, std::string* why);
