// `tmx5 explore --out DIR`: writes a suite of scenarios that covers every
// screen, transition and screen-and-key pair the instrument can reach.
//
// It searches breadth-first from power-on (Calibrate clear, and checked)
// over the states a user can tell apart by their keys: the screen, its
// selected row, whether a value is being edited, and on the home screen the
// page. Each state is kept as a saved state, so a key is tried from it by
// loading the state, pressing the key and saving what follows, instead of
// replaying the whole way there. The suite then holds one short scenario per
// screen, then one per transition and per screen-and-key pair that the
// earlier ones did not already take, each the shortest way from power-on,
// each ending with `expect ScreenHandler` and an `expect-frame` of its last
// frame (DIR/frames). The suite is run once to write the references and once
// more to check that it passes and covers all that was reached; the table's
// transitions it never reached are listed.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// args: the words after "explore". Exit status 0, 1 when the suite written
// does not pass or does not cover what was reached, 2 for a bad command
// line or a file that could not be written.
int ExploreCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
