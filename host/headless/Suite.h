// A suite's scripts in processes of their own, and its JUnit report: the
// parts of `tmx5 run` (RunCommand.cpp) that run a suite once its scripts
// are listed.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "frames/SafeFiles.h"

// One script of a suite.
struct SuiteEntry {
    std::string path;   // as it is opened
    std::string outDir; // --out for its run, or ""
};

enum Verdict { PASS, FAIL, BAD };

struct Outcome {
    bool done = false;
    Verdict verdict = BAD;
    double seconds = 0;
    std::string out, err, message;
};

// Runs every entry as `program run [--coverage-part PART] OPTIONS [--out
// DIR] -- PATH`, at most `jobs` at once; outcomes in the entries' order.
// `report` is called for each outcome in that order, as soon as it and all
// before it are done. While it runs, a signal that stops the suite (SIGTERM,
// SIGINT, SIGHUP, SIGPIPE) stops its scripts first. False when the suite's
// output was closed: the scripts still running are then stopped.
bool RunScripts(const std::string& program, const std::vector<std::string>& options,
                const std::vector<SuiteEntry>& entries, int jobs, std::vector<Outcome>* results,
                const std::function<void(size_t, const Outcome&)>& report,
                const std::vector<std::string>& coverageParts);

// The report's file, made before the suite runs (so that a path that cannot
// be written is refused before anything runs) and given its name at the end.
bool OpenJunit(const std::string& path, const std::vector<SuiteEntry>& entries, AtomicFile* file,
               std::ostream& err);
bool WriteJunit(AtomicFile* file, const std::string& name, const std::vector<SuiteEntry>& entries,
                const std::vector<Outcome>& outcomes, std::ostream& err);

// Text as XML character data or attribute value: markup characters escaped,
// characters XML does not allow and bytes that are not UTF-8 replaced by
// U+FFFD.
std::string XmlEscape(const std::string& text);
