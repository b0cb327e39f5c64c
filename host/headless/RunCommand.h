// `tmx5 run [OPTIONS] PATH...`: one scenario script, or a suite of them.
//
// One script (a file, or "-" for standard input) runs in this process and
// prints what it prints, as RunScriptFile does. Several paths, a folder
// (every *.tmx below it, in sorted order), --junit or --shard make a suite:
// each script runs in a process of its own (this program again, so every
// script starts on a fresh instrument), up to -j at once, and the suite
// prints a line per script, PASS, FAIL or BAD with its time, then
// "N passed, N failed" (", N bad" when there are any).
//
// Its options are the rows FOR_RUN of script/CommandLine.cpp (tmx5 --help).
// Exit status: 0 all passed, 1 any failed, 2 any bad (or a bad command line).
//
// A suite that is stopped (SIGTERM, SIGINT, SIGHUP, SIGPIPE) or whose output
// is closed stops its scripts first; the report's path is checked before
// anything runs.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// args: the words after "run". program: the file to run for each script of
// a suite ("/proc/self/exe" in tmx5).
int RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               const std::string& program = "/proc/self/exe");
