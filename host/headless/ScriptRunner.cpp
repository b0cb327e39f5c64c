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

#include "frames/FrameConvert.h"
#include "frames/FrameFiles.h"
#include "frames/SafeFiles.h"
#include "screens/Screens.h"
#include "sim/PanelNames.h"
#include "state/StateNames.h"

bool ScriptRunner::Load(const std::string& text, const std::string& displayName, const std::string& baseDir) {
    displayName_ = displayName;
    baseDir_ = baseDir;
    return parser_.Parse(text, displayName);
}

// --- A live run ---------------------------------------------------------------

void ScriptRunner::SetIdle(std::function<bool()> idle) {
    idle_ = std::move(idle);
    if (idle_) SetLimits(UINT64_MAX, UINT64_MAX);
}

// Whether `movie end` is good depends on the movie recording now.
int ScriptRunner::MovieLine() const { return movie_ && movie_->IsOpen() ? std::max(movieLine_, 1) : 0; }

bool ScriptRunner::Feed(const std::string& text, const std::string& displayName, const std::string& baseDir) {
    displayName_ = displayName;
    baseDir_ = baseDir;
    const bool ok = parser_.Parse(text, displayName, MovieLine());
    lineIndex_ = commandIndex_ = 0;
    return ok;
}

bool ScriptRunner::FeedCommand(const std::vector<std::string>& words, const std::string& displayName,
                               const std::string& baseDir) {
    displayName_ = displayName;
    baseDir_ = baseDir;
    lineIndex_ = commandIndex_ = 0;
    return parser_.ParseWords(words, displayName, MovieLine());
}

bool ScriptRunner::ReadName(const std::string& name, std::string* value, std::string* why) {
    return CheckName(name, why) && ValueOf(name, value);
}

// A live run drops what is left of the lines fed and of their waits.
void ScriptRunner::DropFed(int status) {
    fedStatus_ = status;
    lineIndex_ = Lines().size();
    commandIndex_ = 0;
    skipPoints_ = waitUntilMs_ = 0;
}

// --- Running ----------------------------------------------------------------

void ScriptRunner::SetOptions(const RunOptions& options) {
    updateFrames_ = options.updateFrames;
    allowAnyPath_ = options.allowAnyPath;
    parser_.SetAllowAnyPath(options.allowAnyPath);
    outDir_ = options.outDir;
    timeoutSeconds_ = options.timeoutSeconds;
}

bool ScriptRunner::ValueOf(const std::string& name, std::string* value) {
    if (const PanelName* panel = FindPanelName(name)) {
        *value = panel->read(ViewOf(host_->Panel()));
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

ScriptRunner::Step ScriptRunner::Execute(const ScriptCommand& c, int number) {
    switch (c.kind) {
        case ScriptCommand::UTC:
            host_->Sim().SetUtc(c.number);
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
            host_->Panel().MoveTrackBar((int)c.number);
            return STEP_ON;
        case ScriptCommand::CALIBRATE:
            host_->Panel().SetCalibrate(c.number != 0);
            return STEP_ON;
        case ScriptCommand::KEYFAST:
            host_->Panel().SetKeyFast(c.number != 0);
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
            host_->Sim().SetFrameMs((uint32_t)c.number);
            return STEP_ON;
        case ScriptCommand::SNAP: {
            // The folders a snapshot names are made when missing.
            std::string path;
            if (!Resolve(c.text, true, number, &path)) return STEP_STOP;
            std::error_code ec;
            std::filesystem::path parent = std::filesystem::path(path).parent_path();
            if (!parent.empty()) std::filesystem::create_directories(parent, ec);
            if (!WriteFrame(path, host_->Panel().Frame(), (int)c.number)) {
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
            const PanelName* panel = FindPanelName(name);
            if (panel && !panel->number)
                same = actual == c.text;
            else
                same = ParseWhole(c.text, -(1LL << 62), 1LL << 62, &want) &&
                       ParseWhole(actual, -(1LL << 62), 1LL << 62, &got) && want == got;
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

void ScriptRunner::ProcessScript() {
    for (;;) {
        if (skipPoints_ > 0) {
            if (--skipPoints_ > 0) return;
        }
        if (waitUntilMs_ > 0) {
            if (host_->NowMs() < waitUntilMs_) return;
            waitUntilMs_ = 0;
        }
        if (lineIndex_ >= Lines().size()) {
            // A live run waits here, at this event point, for more lines.
            if (idle_ && idle_()) continue;
            Finish(0);
            return;
        }
        const ScriptLine& line = Lines()[lineIndex_];
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
        if (lineIndex_ >= Lines().size()) continue; // dropped
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
    const int line = lastLine_ > 0 ? lastLine_ : Lines().empty() ? 0 : Lines()[0].number;
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
