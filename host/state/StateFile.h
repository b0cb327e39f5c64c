// Saved states: the instrument and its host written to a text file and read
// back, so that a run can stop at one moment and another resume from it
// (`save-state FILE` and `load-state FILE` in scripts, `tmx5 run
// --state-on-failure`, the window's --load-state).
//
// The file is text: the version line "tmx5-state 1", then one "Name value"
// line per variable under the names expect and print use (an array on one
// line, its elements in order), ScreenHandler by the screen routine's name,
// and the host's part: VirtualMs, HostUtcMs, FrameMs, TrackBar, Calibrate,
// KeyFast and Lamp. Blank lines and lines starting with '#' are skipped.
// Every line ends with a newline, the last one too: a file cut short inside
// its last value ("255" cut to "25") is refused, not loaded. Reading takes the
// whole file into a staging copy and checks every line and every range before
// anything is put back, so a bad file changes nothing. Writing is whole or not
// at all (SafeFiles.h); reading takes regular files only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/State.h"

const int STATE_FILE_VERSION = 1;
// A state file is read only up to this size.
const size_t STATE_FILE_LIMIT = 1 << 20;

// What the host holds besides the instrument.
struct HostSnapshot {
    uint64_t virtualMs = 0; // virtual time since the host started
    int64_t hostUtcMs = 0;  // what the host clock reads, ms since 1970
    uint32_t frameMs = 20;  // the frame period
    int trackBar = 2048;    // the temperature track bar (its label shows the same number)
    bool calibrate = false; // the Calibrate check box
    bool keyFast = false;   // the KeyFast check box
    u32 lamp = LAMP_BRIGHT; // the lamp's colour word
};

struct InstrumentSnapshot {
    // One entry per StateNames() row, with that row's count of elements.
    std::vector<std::vector<long long>> values;
    ScreenRoutine screen = nullptr;
    HostSnapshot host;
};

// The instrument as it stands, with the host's part given.
InstrumentSnapshot CaptureInstrument(const HostSnapshot& host);
// Writes every variable and ScreenHandler back (not the host's part).
void RestoreInstrument(const InstrumentSnapshot& s);

std::string FormatStateFile(const InstrumentSnapshot& s);
// Reads a whole file. On a fault returns false with the 1-based line (0 for
// the file as a whole) and the reason; *s is then left as it was.
bool ParseStateFile(const std::string& text, InstrumentSnapshot* s, int* line, std::string* why);

// The same for files: on a fault *error is "PATH:LINE: reason" (or
// "PATH: reason").
bool ReadStateFile(const std::string& path, InstrumentSnapshot* s, std::string* error);
bool WriteStateFile(const std::string& path, const InstrumentSnapshot& s, std::string* error);
