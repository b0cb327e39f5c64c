// A window session saved as a scenario that `tmx5 run` replays exactly.
//
// The scenario holds every input of the session from its start to the event
// point shown, each on the line where the runner reads it at the event point
// where the window took it (`passes` lines fill the gaps), and ends with
// `expect` lines for the state there and an `expect-frame` of its frame
// (written beside the script as NAME.last.pbm). A session that began from a
// loaded state (or a recording begun while on) writes that state beside the
// scenario as NAME.start.state and loads it on the first line.
#pragma once

#include "sim/SessionHistory.h"

#include <string>

class SimPanel;

// Writes the session of history up to event point `point` to path (whole, or
// the old file kept). shown is the panel as the window shows it there: its
// label, lamp and frame go into the closing lines. Leaves the instrument's
// variables as they stood at point. False with the message for the user in
// *why.
bool WriteSessionScript(const SessionHistory& history, uint64_t point, const std::string& path,
                        const SimPanel& shown, std::string* why);
