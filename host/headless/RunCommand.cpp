// `tmx5 run`: its options, one script run here, or the list of a suite's
// scripts run through Suite.h.
#include "RunCommand.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <set>
#include <sstream>

#include <unistd.h>

#include "Coverage.h"
#include "ScriptRunner.h"
#include "Suite.h"
#include "frames/SafeFiles.h"
#include "script/CommandLine.h"

namespace fs = std::filesystem;

namespace {

struct Options {
    RunOptions run;
    int jobs = 0; // 0: the number of cores
    int shardK = 0, shardN = 0;
    std::string junit;
    std::string timeout; // --timeout as given, for each script's run
    std::vector<std::string> paths;
    bool suite = false; // --shard or --junit asks for one
    CoverageOptions coverage;
};

// Reads the options and paths (the rows FOR_RUN of the option table); false
// after saying what is wrong.
bool ParseRunOptions(const std::vector<std::string>& args, Options* o, std::ostream& err) {
    std::vector<OptionValue> values;
    std::string why;
    if (!ParseOptions(FOR_RUN, args, &values, &o->paths, &why)) {
        err << "tmx5 run: " << why << "\n";
        return false;
    }
    for (const OptionValue& v : values) {
        switch (v.row->id) {
            case OPT_UPDATE_FRAMES:
                o->run.updateFrames = true;
                break;
            case OPT_ALLOW_ANY_PATH:
                o->run.allowAnyPath = true;
                break;
            case OPT_STATE_ON_FAILURE:
                o->run.stateOnFailure = true;
                break;
            case OPT_OUT:
                o->run.outDir = v.text;
                break;
            case OPT_TIMEOUT:
                o->run.timeoutSeconds = v.number;
                o->timeout = v.text;
                break;
            case OPT_JOBS:
                o->jobs = (int)v.number;
                break;
            case OPT_SHARD:
                o->shardK = (int)v.number;
                o->shardN = (int)v.partOf;
                o->suite = true;
                break;
            case OPT_JUNIT:
                o->junit = v.text;
                o->suite = true;
                break;
            case OPT_COVERAGE:
                o->coverage.json = v.text;
                break;
            case OPT_COVERAGE_HTML:
                o->coverage.html = v.text;
                break;
            case OPT_COVERAGE_MIN:
                o->coverage.minPct = v.number;
                break;
            case OPT_COVERAGE_PART:
                o->coverage.part = v.text;
                break;
            default: // the window's options are not looked up for the runner
                break;
        }
    }
    if (o->paths.empty()) {
        err << "tmx5 run: give a script, - for standard input, or scripts and folders for a suite\n";
        return false;
    }
    return true;
}

// The folder a script's files go to when a suite is given several paths:
// DIR, then the script's folder as given, without its root and without the
// ".." that would lead out of DIR.
fs::path Mirrored(const std::string& outDir, const fs::path& folder) {
    fs::path below;
    for (const fs::path& part : folder.lexically_normal().relative_path())
        if (part != ".." && part != "." && !part.empty()) below /= part;
    return (fs::path(outDir) / below).lexically_normal();
}

// Every *.tmx below each folder, sorted; files as given. A script named twice,
// under any spelling, runs once. With --out, each script's files go below DIR:
// one folder given, DIR mirrors the folders below it; several paths, DIR
// mirrors each script's folder as given. Two folders that would still share
// a folder below DIR are refused before anything runs.
bool ListScripts(const Options& o, std::vector<SuiteEntry>* entries, std::ostream& err) {
    std::set<std::string> seen;
    const bool several = o.paths.size() > 1;
    std::map<std::string, std::pair<std::string, std::string>> outOf; // out folder -> (source folder, shown)
    auto add = [&](const std::string& shown, const fs::path& below) {
        std::error_code ec;
        const std::string key = fs::weakly_canonical(shown, ec).string();
        if (!seen.insert(ec ? fs::path(shown).lexically_normal().string() : key).second) return true;
        std::string out;
        if (!o.run.outDir.empty()) {
            const fs::path folder = fs::path(shown).parent_path();
            out = (several ? Mirrored(o.run.outDir, folder)
                           : (fs::path(o.run.outDir) / below).lexically_normal())
                      .string();
            const std::string source = fs::weakly_canonical(folder.empty() ? "." : folder, ec).string();
            auto at = outOf.find(out);
            if (at == outOf.end()) {
                outOf[out] = {source, shown};
            } else if (at->second.first != source) {
                err << "tmx5 run: " << at->second.second << " and " << shown << " would both write below "
                    << out << "; run them apart or give --out for each\n";
                return false;
            }
        }
        entries->push_back({shown, out});
        return true;
    };
    for (const std::string& p : o.paths) {
        if (p == "-") {
            err << "tmx5 run: standard input (-) runs alone, not in a suite\n";
            return false;
        }
        if (p.empty()) {
            err << "tmx5 run: an empty name ('') is not a script; give a file, a folder or -\n";
            return false;
        }
        std::error_code ec;
        if (!fs::is_directory(p, ec)) {
            if (!add(fs::path(p).lexically_normal().string(), fs::path())) return false;
            continue;
        }
        // Each script with its folder below p, from the name the listing gives it.
        std::vector<std::pair<std::string, fs::path>> found;
        fs::recursive_directory_iterator it(p, ec), end;
        for (; !ec && it != end; it.increment(ec)) {
            const fs::path& f = it->path();
            if (f.extension() != ".tmx" || !it->is_regular_file(ec)) continue;
            std::string rest = f.string().substr(p.size());
            while (!rest.empty() && rest[0] == '/') rest.erase(0, 1);
            found.emplace_back(f.lexically_normal().string(), fs::path(rest).parent_path());
        }
        if (ec) {
            err << "tmx5 run: cannot list " << p << ": " << ec.message() << "\n";
            return false;
        }
        if (found.empty()) {
            err << "tmx5 run: no scripts (*.tmx) below " << p << "\n";
            return false;
        }
        std::sort(found.begin(), found.end());
        for (const auto& f : found)
            if (!add(f.first, f.second)) return false;
    }
    return true;
}

int RunSuite(const Options& o, const std::string& program, std::ostream& out, std::ostream& err) {
    std::vector<SuiteEntry> all, entries;
    if (!ListScripts(o, &all, err)) return 2;
    // A stable part: every N-th script of the list, from the K-th on.
    for (size_t i = 0; i < all.size(); i++)
        if (o.shardN == 0 || (int)(i % (size_t)o.shardN) == o.shardK - 1) entries.push_back(all[i]);
    AtomicFile junit;
    if (!o.junit.empty() && !OpenJunit(o.junit, all, &junit, err)) return 2;
    long cores = sysconf(_SC_NPROCESSORS_ONLN);
    const int jobs = o.jobs > 0 ? o.jobs : (int)std::max(1L, cores);
    int counts[3] = {0, 0, 0};
    static const char* const Words[3] = {"PASS", "FAIL", "BAD"};
    CoverageParts parts;
    if (o.coverage.Wanted() && !parts.Make(entries.size(), err)) return 2;
    // What each script's run is given of the suite's options.
    std::vector<std::string> options;
    if (o.run.updateFrames) options.push_back("--update-frames");
    if (o.run.allowAnyPath) options.push_back("--allow-any-path");
    if (o.run.stateOnFailure) options.push_back("--state-on-failure");
    if (!o.timeout.empty()) options.insert(options.end(), {"--timeout", o.timeout});
    std::vector<Outcome> outcomes;
    const bool outputOpen = RunScripts(
        program, options, entries, jobs, &outcomes,
        [&](size_t i, const Outcome& r) {
            counts[r.verdict]++;
            char t[32];
            std::snprintf(t, sizeof t, "%.2f", r.seconds);
            out << Words[r.verdict] << " " << entries[i].path << " (" << t << " s)\n";
            if (r.verdict != PASS) {
                // Why, indented under its line.
                std::istringstream lines(r.err);
                for (std::string line; std::getline(lines, line);) out << "  " << line << "\n";
            }
            out.flush();
        },
        parts.files);
    if (!outputOpen) {
        err << "tmx5 run: the output was closed; the suite stopped its scripts\n";
        return 2;
    }
    out << counts[PASS] << " passed, " << counts[FAIL] << " failed";
    if (counts[BAD] > 0) out << ", " << counts[BAD] << " bad";
    out << "\n";
    out.flush();
    if (!o.junit.empty() && !WriteJunit(&junit, o.junit, entries, outcomes, err)) return 2;
    if (!out) {
        err << "tmx5 run: cannot write the output: " << std::strerror(errno) << "\n";
        return 2;
    }
    const int code = counts[BAD] > 0 ? 2 : counts[FAIL] > 0 ? 1 : 0;
    if (!o.coverage.Wanted()) return code;
    CoverageData merged;
    if (!parts.Merge(&merged, err)) return 2;
    return FinishCoverage(merged, o.coverage, code, out, err);
}

} // namespace

int RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               const std::string& program) {
    Options o;
    if (!ParseRunOptions(args, &o, err)) {
        err << "tmx5 --help lists the options\n";
        return 2;
    }
    std::error_code ec;
    const bool suite =
        o.suite || o.paths.size() > 1 || (o.paths[0] != "-" && fs::is_directory(o.paths[0], ec));
    if (suite) return RunSuite(o, program, out, err);
    if (o.paths[0].empty()) {
        err << "tmx5 run: an empty name ('') is not a script; give a file, a folder or -\n";
        return 2;
    }
    CoverageRecorder recorder;
    if (o.coverage.Wanted()) o.run.observer = &recorder;
    if (!o.run.outDir.empty()) {
        fs::create_directories(o.run.outDir, ec);
        if (!fs::is_directory(o.run.outDir, ec)) {
            err << "tmx5 run: cannot make the folder " << o.run.outDir << "\n";
            return 2;
        }
    }
    const int code = RunScriptFile(o.paths[0], out, err, o.run);
    // A bad script never ran: it has no coverage to report.
    if (!o.coverage.Wanted() || (code == 2 && !recorder.Ran())) return code;
    return FinishCoverage(recorder.Data(), o.coverage, code, out, err);
}
