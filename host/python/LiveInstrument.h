// One instrument that stays up between calls, for the Python module.
//
// The firmware runs its own loop: ON does not return until OFF, and the
// headless runner delivers a script's commands from inside that loop, at its
// event points. To hand control back to the caller between two calls, the
// runner (with the firmware below it) runs on a stack of its own; when it has
// carried out everything it was given, it switches back to the caller's stack
// at that event point, and the next call switches back into it there. So a
// sequence of calls runs exactly as the same commands in one script would,
// event point for event point.
//
// The firmware keeps its state in globals, so one instrument is live at a
// time: opening a second while one is open throws std::runtime_error.
#pragma once

#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <ucontext.h>

#include "headless/Coverage.h"
#include "headless/ScriptRunner.h"

class LiveInstrument {
public:
    // What a call did: status 0 ran, 1 an expectation failed, 2 a file could
    // not be read or written, 3 interrupted (the poll said stop), 4 a bad
    // command or line (nothing ran). out: what print wrote; err: the runner's
    // messages.
    struct Result {
        int status = 0;
        std::string out, err;
    };

    LiveInstrument(); // a fresh instrument at program start; throws when one is live
    ~LiveInstrument();
    LiveInstrument(const LiveInstrument&) = delete;
    LiveInstrument& operator=(const LiveInstrument&) = delete;

    // One command from its words ("key", "cw"). Messages lose their
    // "NAME:1: " prefix.
    Result Command(const std::vector<std::string>& words);
    // Script lines, the runner's rules; file names relative to baseDir.
    Result Script(const std::string& text, const std::string& displayName, const std::string& baseDir);

    // Called every so many event points during a long wait; return true to
    // stop it there (Result status 3).
    void SetPoll(std::function<bool()> poll) { poll_ = std::move(poll); }

    bool Read(const std::string& name, std::string* value, std::string* why);
    const HeadlessHost& Host() const { return *runner_.Host(); }
    uint64_t Passes() const { return runner_.PassesRun(); }
    // What the instrument has done since program start, against its tables
    // (the same record as `tmx5 run --coverage`).
    const CoverageData& Coverage() const { return coverage_.Data(); }

    // Ends the instrument (OFF if it runs) and frees the way for the next.
    void Close();
    bool Closed() const { return closed_; }
    static bool AnyLive() { return live_ != nullptr; }

private:
    static void Entry();
    Result Resume();
    bool Idle();
    bool Poll();

    CoverageRecorder coverage_;
    ScriptRunner runner_;
    std::ostringstream out_, err_;
    ucontext_t caller_{}, fiber_{};
    void* stack_ = nullptr;
    size_t stackBytes_ = 0;
    bool closed_ = false, ended_ = false, closing_ = false;
    bool pollWanted_ = false, stop_ = false;
    std::function<bool()> poll_;
    static LiveInstrument* live_;
};
