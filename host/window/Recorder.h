// Records a session in the window as a script that `tmx5 run` replays
// exactly.
//
// The window and the runner keep time the same way (sim/VirtualClock.h): one
// frame period of virtual time per event point, inputs delivered at event
// points. The window numbers its event points from the start of the
// recording, and hands the recorder each delivery with its number; the
// recorder writes the line, preceded by `passes N` when the runner would
// otherwise read it sooner. The runner reads the first line at its first
// event point, and the line after one that holds an input two event points
// later (a `utc` line alone is no input: it reads on at once), which is also
// the window's rule for delivering inputs; so the replay takes every input
// at the event point where the window took it, whatever the speed, pauses
// and steps were while recording.
//
// At the end the recorder writes an `expect` line for every state value
// that differs from its power-on value (from program start for the values
// power-on keeps), the screen routine, the power state, the lamp and the
// track bar's label, and an `expect-frame` of the last frame, written beside
// the script as NAME.last.pbm. Every line is flushed as it is written; a
// failed write is reported as "cannot write FILE: REASON". A file opened by
// OpenFile is written to a temporary file beside it and takes its name when
// the recording ends (SafeFiles.h): a recording that fails or never ends
// leaves an older file of that name as it was.
//
// A long wait is written as several `passes` lines, each within what the
// command takes, so a recording made at the fastest speed replays too.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "frames/SafeFiles.h"
#include "runtime/State.h"

class Recorder {
public:
    // Writes to out, which the recorder does not close; path names it in
    // messages and places the last frame's file.
    Recorder(std::FILE* out, const std::string& path);
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Starts the file (an old one stays until End). Null when it cannot be
    // written or is not a regular file, with the reason in *error.
    static std::unique_ptr<Recorder> OpenFile(const std::string& path, std::string* error);

    const std::string& Path() const { return path_; }
    // After a failed write: "cannot write FILE: REASON".
    const std::string& Error() const { return error_; }

    // The header comment. False when it cannot be written.
    bool Begin();
    // The event point at which the replay reads the next line.
    uint64_t ReadPoint() const { return readPoint_; }
    // The commands the window delivered at event point `point` (not before
    // ReadPoint()), one line; event: whether one of them is an input.
    bool Line(uint64_t point, const std::vector<std::string>& commands, bool event);
    // The session ends at event point `point` (not before ReadPoint()) with
    // this state and frame. Nothing is written after.
    bool End(uint64_t point, const std::vector<std::pair<std::string, std::string>>& state, const u8* frame);

    // UTC seconds as "YYYY-MM-DD HH:MM:SS"; empty outside 1970 to 2099, the
    // years a script can set.
    static std::string UtcText(int64_t seconds);
    // Where the last frame goes: the script's name without .tmx, plus
    // ".last.pbm".
    static std::string FramePath(const std::string& scriptPath);
    // Where the state a recording from here starts from goes: the script's
    // name without .tmx, plus ".start.state".
    static std::string StartStatePath(const std::string& scriptPath);

private:
    bool Write(const std::string& text);
    bool PassesUntil(uint64_t point);

    std::FILE* out_;
    std::unique_ptr<AtomicFile> file_; // OpenFile's: renamed over the path at End
    std::string path_;
    std::string error_;
    uint64_t readPoint_ = 1;
    bool ended_ = false;
};

// The closing state: ScreenHandler, Power, Lamp and Label15, then every
// named state value (array elements one by one, the frame buffer left to
// expect-frame) that differs from its power-on value, or from program start
// for a value power-on keeps. label15 is the track bar label's text, lamp
// the lamp's colour word.
std::vector<std::pair<std::string, std::string>> RecordedState(const std::string& label15, u32 lamp);
