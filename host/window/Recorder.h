// Records a session in the window as a script that `tmx5 run` replays.
//
// The window reports each input the instrument receives (ON, OFF, a key, the
// track bar, a check box) with its time in milliseconds since the window's
// tick started. The recorder writes one script line per input, each after a
// `wait` that brings the replay to the same time, and at the end one `expect`
// line per state value the window showed, so the replay checks that it got
// there too. Every line is flushed as it is written: a recording cut short
// by a crash or a kill keeps what came before.
//
// Timing. The window's times and the replay's virtual time share their zero:
// the window's tick starts at 0, and the headless tick fires at every
// multiple of 100 ms, so both see the same tick phase. The replay reads the
// first line at its first event point, 20 ms; after a line with an input it
// lets two more event points (40 ms) pass before the next line, and a `wait`
// counts from there. The recorder follows where the replay stands and waits
// only for the rest, rounded to the frame period; an input that comes sooner
// than the replay can take it gets no wait and lands on the next free event
// point, as a fast user's second click does.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class Recorder {
public:
    // The replay's frame period, its first event point, and the event points
    // that pass after a line with an input.
    static const int64_t FrameMs = 20;
    static const int64_t FirstLineMs = 20;
    static const int64_t AfterEventMs = 2 * FrameMs;

    // Writes to out, which must outlive the recorder.
    explicit Recorder(std::ostream& out);
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Creates (or empties) the file. Null when it cannot be opened, with the
    // system's reason in *error.
    static std::unique_ptr<Recorder> OpenFile(const std::string& path, std::string* error);

    // The header comment and the utc line: the host clock at time 0.
    void Begin(int64_t utcSeconds);
    // An input the instrument takes at ms: the wait that brings the replay to
    // ms, then the command.
    void Event(int64_t ms, const std::string& command);
    // An input the instrument did not act on: kept as a comment, so the replay
    // does not deliver it either. Takes no replay time.
    void Ignored(int64_t ms, const std::string& command, const std::string& why);
    // The window closed at ms: the wait to ms and one `expect NAME VALUE` per
    // pair. A second call does nothing.
    void End(int64_t ms, const std::vector<std::pair<std::string, std::string>>& state);

    // Where the replay will stand once the lines written so far have run.
    int64_t ReplayMs() const { return replayMs_; }
    bool Ended() const { return ended_; }

    // The wait that takes the replay from `from` to `to`: the difference
    // rounded to the nearest frame period (a half rounds up), 0 when `to` is
    // not later.
    static int64_t WaitMs(int64_t from, int64_t to);
    // A duration as `wait` reads it: "240ms", "2s", "1.58s".
    static std::string DurationText(int64_t ms);
    // UTC seconds as "YYYY-MM-DD HH:MM:SS"; empty outside 1970 to 2099, the
    // years a script can set.
    static std::string UtcText(int64_t seconds);

private:
    void Line(const std::string& text);
    void WaitUntil(int64_t ms);

    std::unique_ptr<std::ostream> file_; // set when the recorder opened the file
    std::ostream* out_;
    int64_t replayMs_ = FirstLineMs;
    bool ended_ = false;
};

// The instrument's state as the replay's `expect` lines name it: the screen
// routine, the home page, the menu cursor and edit mode, the settings (zones,
// display, calibration, timer preset and alarm time), what runs (stopwatch,
// timer, alarm), the check boxes as the loop last read them, the track bar
// as the instrument and its label see it, and the power state. Nothing that
// follows the clock is in it: the replay's clock is not the window's.
// label15 is the track bar label's text. A screen routine without a name is
// left out.
std::vector<std::pair<std::string, std::string>> RecordedState(const std::string& label15);
