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
// Options:
//   --update-frames      write missing, changed or broken expect-frame references
//   --out DIR            write files below DIR instead of the script's folder
//                        (a suite of one folder: below DIR/<the script's folder under it>;
//                        of several paths: below DIR/<the script's folder as given>)
//   --allow-any-path     let file names be absolute or hold ".." (and follow links out)
//   --state-on-failure   a failed expectation also writes the state (SCRIPT's stem + ".failed.state")
//   --timeout SECONDS    end a script's run after SECONDS of real time (status 1), whatever it
//                        is blocked on
//   -j N                 run N scripts at once (suite; default: the number of cores)
//   --shard K/N          run the K-th of N parts of the suite (1 <= K <= N)
//   --junit FILE         write a JUnit XML report of the suite
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

// Text as XML character data or attribute value: markup characters escaped,
// characters XML does not allow and bytes that are not UTF-8 replaced by
// U+FFFD.
std::string XmlEscape(const std::string& text);
