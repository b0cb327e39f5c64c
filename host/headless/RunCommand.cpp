#include "RunCommand.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <set>
#include <sstream>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Coverage.h"
#include "ScriptRunner.h"

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

// A whole number from lo to hi, digits only.
bool WholeNumber(const std::string& s, long lo, long hi, long* value) {
    if (s.empty() || s.size() > 9 || s.find_first_not_of("0123456789") != std::string::npos) return false;
    *value = std::atol(s.c_str());
    return *value >= lo && *value <= hi;
}

// Reads the options and paths; false after saying what is wrong.
bool ParseOptions(const std::vector<std::string>& args, Options* o, std::ostream& err) {
    bool optionsEnd = false;
    for (size_t i = 0; i < args.size(); i++) {
        const std::string& a = args[i];
        if (optionsEnd || a == "-" || a.empty() || a[0] != '-') {
            o->paths.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnd = true;
            continue;
        }
        const bool takesValue = a == "--out" || a == "--timeout" || a == "-j" || a == "--shard" ||
                                a == "--junit" || a.compare(0, 10, "--coverage") == 0;
        std::string value;
        if (takesValue) {
            if (i + 1 >= args.size()) {
                err << "tmx5 run: " << a << " needs a value\n";
                return false;
            }
            value = args[++i];
        }
        long n, k;
        if (a == "--update-frames") {
            o->run.updateFrames = true;
        } else if (a == "--allow-any-path") {
            o->run.allowAnyPath = true;
        } else if (a == "--state-on-failure") {
            o->run.stateOnFailure = true;
        } else if (a == "--out") {
            if (value.empty()) return err << "tmx5 run: --out needs a folder\n", false;
            o->run.outDir = value;
        } else if (a == "--timeout") {
            char* end = nullptr;
            const double seconds = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || !(seconds > 0 && seconds <= 1e6) ||
                value.find_first_not_of("0123456789.") != std::string::npos)
                return err << "tmx5 run: --timeout takes seconds, more than 0 and at most 1000000, not "
                           << value << "\n",
                       false;
            o->run.timeoutSeconds = seconds;
            o->timeout = value;
        } else if (a == "-j" || (a.compare(0, 2, "-j") == 0 && a.size() > 2)) {
            if (a != "-j") value = a.substr(2);
            if (!WholeNumber(value, 1, 256, &n))
                return err << "tmx5 run: -j takes a number of scripts at once from 1 to 256, not " << value
                           << "\n",
                       false;
            o->jobs = (int)n;
        } else if (a == "--shard") {
            const size_t slash = value.find('/');
            if (slash == std::string::npos || !WholeNumber(value.substr(0, slash), 1, 100000, &k) ||
                !WholeNumber(value.substr(slash + 1), 1, 100000, &n) || k > n)
                return err << "tmx5 run: --shard takes K/N with 1 <= K <= N, not " << value << "\n", false;
            o->shardK = (int)k;
            o->shardN = (int)n;
            o->suite = true;
        } else if (a == "--junit") {
            if (value.empty()) return err << "tmx5 run: --junit needs a file\n", false;
            o->junit = value;
            o->suite = true;
        } else if (a == "--coverage" || a == "--coverage-html" || a == "--coverage-part") {
            if (value.empty()) return err << "tmx5 run: " << a << " needs a file\n", false;
            (a == "--coverage"        ? o->coverage.json
             : a == "--coverage-html" ? o->coverage.html
                                      : o->coverage.part) = value;
        } else if (a == "--coverage-min") {
            char* end = nullptr;
            const double pct = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' ||
                value.find_first_not_of("0123456789.") != std::string::npos || !(pct >= 0 && pct <= 100))
                return err << "tmx5 run: --coverage-min takes a percentage from 0 to 100, not " << value
                           << "\n",
                       false;
            o->coverage.minPct = pct;
        } else {
            err << "tmx5 run: unknown option " << a << "\n";
            return false;
        }
    }
    if (o->paths.empty()) {
        err << "tmx5 run: give a script, - for standard input, or scripts and folders for a suite\n";
        return false;
    }
    return true;
}

// One script of a suite.
struct Entry {
    std::string path;   // as it is opened
    std::string outDir; // --out for its run, or ""
};

// Every *.tmx below each folder, sorted; files as given. A script named twice
// runs once.
bool ListScripts(const Options& o, std::vector<Entry>* entries, std::ostream& err) {
    std::set<std::string> seen;
    for (const std::string& p : o.paths) {
        if (p == "-") {
            err << "tmx5 run: standard input (-) runs alone, not in a suite\n";
            return false;
        }
        std::error_code ec;
        if (!fs::is_directory(p, ec)) {
            if (seen.insert(p).second) entries->push_back({p, o.run.outDir});
            continue;
        }
        std::vector<std::string> found;
        fs::recursive_directory_iterator it(p, ec), end;
        for (; !ec && it != end; it.increment(ec)) {
            const fs::path& f = it->path();
            if (f.extension() == ".tmx" && it->is_regular_file(ec))
                found.push_back(f.lexically_normal().string());
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
        for (const std::string& f : found) {
            if (!seen.insert(f).second) continue;
            std::string out;
            if (!o.run.outDir.empty()) {
                const fs::path folder = fs::path(f).parent_path().lexically_relative(p);
                out = (fs::path(o.run.outDir) / folder).lexically_normal().string();
            }
            entries->push_back({f, out});
        }
    }
    return true;
}

// What a script's process printed, kept up to a bound.
struct Capture {
    int fd = -1;
    std::string text;
    size_t dropped = 0;
    void Add(const char* data, size_t n) {
        const size_t room = text.size() < (1u << 20) ? (1u << 20) - text.size() : 0;
        text.append(data, std::min(room, n));
        dropped += n - std::min(room, n);
    }
    std::string Text() const {
        return dropped ? text + "\n[... " + std::to_string(dropped) + " more bytes]\n" : text;
    }
};

struct Job {
    size_t index = 0;
    pid_t pid = -1;
    Capture out, err;
    std::chrono::steady_clock::time_point start;
};

enum Verdict { PASS, FAIL, BAD };

struct Outcome {
    bool done = false;
    Verdict verdict = BAD;
    double seconds = 0;
    std::string out, err, message;
};

// Starts `program run [options] -- SCRIPT` with its output on two pipes.
bool Start(const std::string& program, const Options& o, const Entry& e, const std::string& coveragePart,
           Job* job, std::string* why) {
    std::vector<std::string> args = {program, "run"};
    if (!coveragePart.empty()) args.insert(args.end(), {"--coverage-part", coveragePart});
    if (o.run.updateFrames) args.push_back("--update-frames");
    if (o.run.allowAnyPath) args.push_back("--allow-any-path");
    if (o.run.stateOnFailure) args.push_back("--state-on-failure");
    if (!o.timeout.empty()) args.insert(args.end(), {"--timeout", o.timeout});
    if (!e.outDir.empty()) args.insert(args.end(), {"--out", e.outDir});
    args.insert(args.end(), {"--", e.path});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);

    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) return *why = std::strerror(errno), false;
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        *why = std::strerror(errno);
        close(outPipe[0]);
        close(outPipe[1]);
        return false;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDONLY);
        if (null >= 0) dup2(null, 0);
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        execv(program.c_str(), argv.data());
        const char* msg = "cannot start the runner\n";
        if (write(2, msg, std::strlen(msg)) < 0) {}
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    if (pid < 0) {
        *why = std::strerror(errno);
        close(outPipe[0]);
        close(errPipe[0]);
        return false;
    }
    job->pid = pid;
    job->out.fd = outPipe[0];
    job->err.fd = errPipe[0];
    job->start = std::chrono::steady_clock::now();
    return true;
}

Outcome Finish(Job* job) {
    int status = 0;
    while (waitpid(job->pid, &status, 0) < 0 && errno == EINTR) {}
    Outcome r;
    r.done = true;
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - job->start).count();
    r.out = job->out.Text();
    r.err = job->err.Text();
    if (WIFEXITED(status)) {
        const int code = WEXITSTATUS(status);
        r.verdict = code == 0 ? PASS : code == 1 ? FAIL : BAD;
    } else {
        r.verdict = FAIL;
        r.err += "killed by signal " + std::to_string(WTERMSIG(status)) + "\n";
    }
    // The message: the first line the script's run wrote to its error output.
    r.message = r.err.substr(0, r.err.find('\n'));
    return r;
}

// Runs every entry, at most `jobs` at once; outcomes in the entries' order.
// `report` is called for each outcome in that order, as soon as it and all
// before it are done.
std::vector<Outcome> RunAll(const std::string& program, const Options& o, const std::vector<Entry>& entries,
                            int jobs, const std::function<void(size_t, const Outcome&)>& report,
                            const std::vector<std::string>& coverageParts) {
    std::vector<Outcome> outcomes(entries.size());
    std::vector<Job> running;
    size_t next = 0, reported = 0;
    while (reported < entries.size()) {
        while ((int)running.size() < jobs && next < entries.size()) {
            Job job;
            job.index = next;
            std::string why;
            if (Start(program, o, entries[next], coverageParts.empty() ? "" : coverageParts[next], &job,
                      &why)) {
                running.push_back(std::move(job));
            } else {
                outcomes[next].done = true;
                outcomes[next].err = "cannot start a process: " + why + "\n";
                outcomes[next].message = outcomes[next].err.substr(0, outcomes[next].err.size() - 1);
            }
            next++;
        }
        if (!running.empty()) {
            std::vector<pollfd> fds;
            for (const Job& j : running) {
                if (j.out.fd >= 0) fds.push_back({j.out.fd, POLLIN, 0});
                if (j.err.fd >= 0) fds.push_back({j.err.fd, POLLIN, 0});
            }
            if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) break;
            char buffer[65536];
            for (Job& j : running)
                for (Capture* c : {&j.out, &j.err}) {
                    if (c->fd < 0) continue;
                    auto f =
                        std::find_if(fds.begin(), fds.end(), [&](const pollfd& p) { return p.fd == c->fd; });
                    if (f == fds.end() || f->revents == 0) continue;
                    const ssize_t n = read(c->fd, buffer, sizeof buffer);
                    if (n > 0) {
                        c->Add(buffer, (size_t)n);
                    } else if (n == 0 || errno != EINTR) {
                        close(c->fd);
                        c->fd = -1;
                    }
                }
            for (size_t i = 0; i < running.size();) {
                if (running[i].out.fd < 0 && running[i].err.fd < 0) {
                    outcomes[running[i].index] = Finish(&running[i]);
                    running.erase(running.begin() + (long)i);
                } else {
                    i++;
                }
            }
        }
        while (reported < entries.size() && outcomes[reported].done) {
            report(reported, outcomes[reported]);
            reported++;
        }
    }
    return outcomes;
}

// Appends c (a code point) as UTF-8.
void PutUtf8(std::string* s, unsigned c) {
    if (c < 0x80) {
        *s += (char)c;
    } else if (c < 0x800) {
        *s += (char)(0xC0 | c >> 6);
        *s += (char)(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *s += (char)(0xE0 | c >> 12);
        *s += (char)(0x80 | ((c >> 6) & 0x3F));
        *s += (char)(0x80 | (c & 0x3F));
    } else {
        *s += (char)(0xF0 | c >> 18);
        *s += (char)(0x80 | ((c >> 12) & 0x3F));
        *s += (char)(0x80 | ((c >> 6) & 0x3F));
        *s += (char)(0x80 | (c & 0x3F));
    }
}

std::string Seconds(double s) {
    char t[32];
    std::snprintf(t, sizeof t, "%.3f", s);
    return t;
}

bool WriteJunit(const std::string& file, const std::vector<Entry>& entries,
                const std::vector<Outcome>& outcomes, std::ostream& err) {
    int failures = 0, errors = 0;
    double total = 0;
    for (const Outcome& r : outcomes) {
        failures += r.verdict == FAIL;
        errors += r.verdict == BAD;
        total += r.seconds;
    }
    std::ostringstream x;
    const std::string counts = " tests=\"" + std::to_string(outcomes.size()) + "\" failures=\"" +
                               std::to_string(failures) + "\" errors=\"" + std::to_string(errors) +
                               "\" time=\"" + Seconds(total) + "\"";
    x << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<testsuites name=\"tmx5 run\"" << counts << ">\n"
      << "  <testsuite name=\"tmx5 run\"" << counts << " skipped=\"0\">\n";
    for (size_t i = 0; i < entries.size(); i++) {
        const Outcome& r = outcomes[i];
        const fs::path p(entries[i].path);
        std::string folder = p.parent_path().string();
        std::replace(folder.begin(), folder.end(), '/', '.');
        x << "    <testcase name=\"" << XmlEscape(p.filename().string()) << "\" classname=\""
          << XmlEscape(folder.empty() ? "tmx5" : folder) << "\" file=\"" << XmlEscape(entries[i].path)
          << "\" time=\"" << Seconds(r.seconds) << "\">\n";
        if (r.verdict != PASS)
            x << "      <" << (r.verdict == FAIL ? "failure" : "error") << " message=\""
              << XmlEscape(r.message) << "\" type=\"" << (r.verdict == FAIL ? "FAIL" : "BAD") << "\">"
              << XmlEscape(r.err) << "</" << (r.verdict == FAIL ? "failure" : "error") << ">\n";
        x << "      <system-out>" << XmlEscape(r.out) << "</system-out>\n"
          << "      <system-err>" << XmlEscape(r.err) << "</system-err>\n"
          << "    </testcase>\n";
    }
    x << "  </testsuite>\n</testsuites>\n";
    std::error_code ec;
    const fs::path parent = fs::path(file).parent_path();
    if (!parent.empty()) fs::create_directories(parent, ec);
    std::ofstream f(file, std::ios::binary);
    f << x.str();
    f.close();
    if (!f) {
        err << "tmx5 run: cannot write " << file << ": " << std::strerror(errno) << "\n";
        return false;
    }
    return true;
}

int RunSuite(const Options& o, const std::string& program, std::ostream& out, std::ostream& err) {
    std::vector<Entry> all, entries;
    if (!ListScripts(o, &all, err)) return 2;
    // A stable part: every N-th script of the list, from the K-th on.
    for (size_t i = 0; i < all.size(); i++)
        if (o.shardN == 0 || (int)(i % (size_t)o.shardN) == o.shardK - 1) entries.push_back(all[i]);
    long cores = sysconf(_SC_NPROCESSORS_ONLN);
    const int jobs = o.jobs > 0 ? o.jobs : (int)std::max(1L, cores);
    int counts[3] = {0, 0, 0};
    static const char* const Words[3] = {"PASS", "FAIL", "BAD"};
    CoverageParts parts;
    if (o.coverage.Wanted() && !parts.Make(entries.size(), err)) return 2;
    const std::vector<Outcome> outcomes = RunAll(
        program, o, entries, jobs,
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
    out << counts[PASS] << " passed, " << counts[FAIL] << " failed";
    if (counts[BAD] > 0) out << ", " << counts[BAD] << " bad";
    out << "\n";
    out.flush();
    if (!o.junit.empty() && !WriteJunit(o.junit, entries, outcomes, err)) return 2;
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

std::string XmlEscape(const std::string& text) {
    std::string s;
    const unsigned char* p = (const unsigned char*)text.data();
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        unsigned c = p[i];
        size_t len = 1;
        if (c >= 0x80) {
            // A well-formed UTF-8 sequence, or U+FFFD for its first byte.
            len = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
            unsigned v = len == 4 ? c & 7 : len == 3 ? c & 15 : c & 31;
            bool ok = len != 0 && i + len <= n;
            for (size_t k = 1; ok && k < len; k++) {
                ok = (p[i + k] & 0xC0) == 0x80;
                v = v << 6 | (p[i + k] & 0x3F);
            }
            ok = ok &&
                 !(len == 3 && (v < 0x800 || (v >= 0xD800 && v <= 0xDFFF) || v == 0xFFFE || v == 0xFFFF)) &&
                 !(len == 4 && (v < 0x10000 || v > 0x10FFFF));
            if (!ok) {
                PutUtf8(&s, 0xFFFD);
                i++;
                continue;
            }
            s.append(text, i, len);
            i += len;
            continue;
        }
        i++;
        switch (c) {
            case '&':
                s += "&amp;";
                break;
            case '<':
                s += "&lt;";
                break;
            case '>':
                s += "&gt;";
                break;
            case '"':
                s += "&quot;";
                break;
            case '\'':
                s += "&apos;";
                break;
            default:
                if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
                    PutUtf8(&s, 0xFFFD);
                else
                    s += (char)c;
        }
    }
    return s;
}

int RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               const std::string& program) {
    Options o;
    if (!ParseOptions(args, &o, err)) {
        err << "tmx5 --help lists the options\n";
        return 2;
    }
    std::error_code ec;
    const bool suite =
        o.suite || o.paths.size() > 1 || (o.paths[0] != "-" && fs::is_directory(o.paths[0], ec));
    if (suite) return RunSuite(o, program, out, err);
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
