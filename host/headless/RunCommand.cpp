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
#include <map>
#include <set>
#include <sstream>

#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Coverage.h"
#include "ScriptRunner.h"
#include "frames/SafeFiles.h"

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
bool ListScripts(const Options& o, std::vector<Entry>* entries, std::ostream& err) {
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

// The scripts now running, for the signal handlers: a suite that is stopped
// (SIGTERM, SIGINT, SIGHUP, or SIGPIPE when its output is closed) stops its
// scripts first, so none runs on without it. Each child also asks the kernel
// for SIGTERM should the suite die without a word (SIGKILL).
const int MaxChildren = 256;
volatile sig_atomic_t Children[MaxChildren];
const int SuiteSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGPIPE};

void StopChildren() {
    for (int i = 0; i < MaxChildren; i++)
        if (Children[i] > 0) kill((pid_t)Children[i], SIGTERM);
}

void OnSuiteSignal(int signal) {
    StopChildren();
    RemoveTemporaryFiles();
    std::signal(signal, SIG_DFL);
    raise(signal);
}

// Blocks the suite's signals while the table of children changes.
struct SignalsHeld {
    sigset_t old;
    SignalsHeld() {
        sigset_t held;
        sigemptyset(&held);
        for (int s : SuiteSignals) sigaddset(&held, s);
        sigprocmask(SIG_BLOCK, &held, &old);
    }
    ~SignalsHeld() { sigprocmask(SIG_SETMASK, &old, nullptr); }
};

enum StartResult { STARTED, TRY_LATER, NOT_STARTED };

// Starts `program run [options] -- SCRIPT` with its output on two pipes. Out
// of file descriptors or processes, TRY_LATER when other scripts are running
// (one of them will give some back).
StartResult Start(const std::string& program, const Options& o, const Entry& e,
                  const std::string& coveragePart, Job* job, std::string* why) {
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

    auto failed = [why](int e) {
        *why = std::strerror(e);
        return e == EMFILE || e == ENFILE || e == EAGAIN || e == ENOMEM ? TRY_LATER : NOT_STARTED;
    };
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) return failed(errno);
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        const int e = errno;
        close(outPipe[0]);
        close(outPipe[1]);
        return failed(e);
    }
    const pid_t parent = getpid();
    SignalsHeld held;
    const pid_t pid = fork();
    if (pid == 0) {
        for (int s : SuiteSignals) std::signal(s, SIG_DFL);
        sigprocmask(SIG_SETMASK, &held.old, nullptr);
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(127); // the suite is already gone
        const int null = open("/dev/null", O_RDONLY);
        if (null >= 0) dup2(null, 0);
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        execv(program.c_str(), argv.data());
        const char* msg = "cannot start the runner\n";
        if (write(2, msg, std::strlen(msg)) < 0) {}
        _exit(127);
    }
    const int forkError = errno;
    close(outPipe[1]);
    close(errPipe[1]);
    if (pid < 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        return failed(forkError);
    }
    for (int i = 0; i < MaxChildren; i++)
        if (Children[i] == 0) {
            Children[i] = pid;
            break;
        }
    job->pid = pid;
    job->out.fd = outPipe[0];
    job->err.fd = errPipe[0];
    job->start = std::chrono::steady_clock::now();
    return STARTED;
}

void Forget(pid_t pid) {
    SignalsHeld held;
    for (int i = 0; i < MaxChildren; i++)
        if (Children[i] == pid) Children[i] = 0;
}

// Stops the running scripts and waits for them.
void StopAll(std::vector<Job>* running) {
    for (Job& j : *running) {
        kill(j.pid, SIGTERM);
        while (waitpid(j.pid, nullptr, 0) < 0 && errno == EINTR) {}
        Forget(j.pid);
        for (int fd : {j.out.fd, j.err.fd})
            if (fd >= 0) close(fd);
    }
    running->clear();
}

Outcome Finish(Job* job) {
    int status = 0;
    while (waitpid(job->pid, &status, 0) < 0 && errno == EINTR) {}
    Forget(job->pid);
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
// before it are done. False when the suite's output was closed: the scripts
// still running are then stopped.
bool RunAll(const std::string& program, const Options& o, const std::vector<Entry>& entries, int jobs,
            std::vector<Outcome>* results, const std::function<void(size_t, const Outcome&)>& report,
            const std::vector<std::string>& coverageParts) {
    std::vector<Outcome>& outcomes = *results;
    outcomes.assign(entries.size(), Outcome());
    std::vector<Job> running;
    size_t next = 0, reported = 0;
    // The output is watched too: a reader that goes away (`| head -1`)
    // ends the suite at once, not when the next line is written.
    const bool watchOutput = fcntl(1, F_GETFD) >= 0;
    while (reported < entries.size()) {
        while ((int)running.size() < jobs && next < entries.size()) {
            Job job;
            job.index = next;
            std::string why;
            const StartResult started = Start(program, o, entries[next],
                                              coverageParts.empty() ? "" : coverageParts[next], &job, &why);
            if (started == TRY_LATER && !running.empty()) break; // a slot comes free when one ends
            if (started == STARTED) {
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
            if (watchOutput) fds.push_back({1, 0, 0});
            if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) break;
            if (watchOutput && (fds.back().revents & (POLLERR | POLLHUP))) {
                StopAll(&running);
                return false;
            }
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
    StopAll(&running);
    return true;
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

// The report's file, made before the suite runs (so that a path that cannot
// be written is refused before anything runs) and given its name at the end.
bool OpenJunit(const Options& o, const std::vector<Entry>& entries, AtomicFile* file, std::ostream& err) {
    std::error_code ec;
    auto refuse = [&](const std::string& why) {
        err << "tmx5 run: --junit " << o.junit << ": " << why << "\n";
        return false;
    };
    for (const Entry& e : entries)
        if (fs::equivalent(o.junit, e.path, ec)) return refuse("that is a script of the suite");
    const std::string notRegular = NotWritable(o.junit);
    if (!notRegular.empty()) return refuse(notRegular + "; the report is a regular file");
    const fs::path parent = fs::path(o.junit).parent_path();
    if (!parent.empty()) fs::create_directories(parent, ec);
    if (!file->Open(o.junit)) return refuse("cannot write it: " + file->Error());
    return true;
}

bool WriteJunit(AtomicFile* file, const std::string& name, const std::vector<Entry>& entries,
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
    if (file->Write(x.str()) && file->Commit()) return true;
    err << "tmx5 run: cannot write " << name << ": " << file->Error() << "\n";
    return false;
}

int RunSuite(const Options& o, const std::string& program, std::ostream& out, std::ostream& err) {
    std::vector<Entry> all, entries;
    if (!ListScripts(o, &all, err)) return 2;
    // A stable part: every N-th script of the list, from the K-th on.
    for (size_t i = 0; i < all.size(); i++)
        if (o.shardN == 0 || (int)(i % (size_t)o.shardN) == o.shardK - 1) entries.push_back(all[i]);
    AtomicFile junit;
    if (!o.junit.empty() && !OpenJunit(o, all, &junit, err)) return 2;
    long cores = sysconf(_SC_NPROCESSORS_ONLN);
    const int jobs = o.jobs > 0 ? o.jobs : (int)std::max(1L, cores);
    int counts[3] = {0, 0, 0};
    static const char* const Words[3] = {"PASS", "FAIL", "BAD"};
    CoverageParts parts;
    if (o.coverage.Wanted() && !parts.Make(entries.size(), err)) return 2;
    // Stopping the suite stops its scripts (see Children).
    struct sigaction stop = {}, old[4];
    stop.sa_handler = OnSuiteSignal;
    sigemptyset(&stop.sa_mask);
    for (int i = 0; i < 4; i++) sigaction(SuiteSignals[i], &stop, &old[i]);
    std::vector<Outcome> outcomes;
    const bool outputOpen = RunAll(
        program, o, entries, jobs, &outcomes,
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
    for (int i = 0; i < 4; i++) sigaction(SuiteSignals[i], &old[i], nullptr);
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

std::string XmlEscape(const std::string& text) {
    std::string s;
    const unsigned char* p = (const unsigned char*)text.data();
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        unsigned c = p[i];
        size_t len = 1;
        if (c >= 0x80) {
            // A well-formed UTF-8 sequence, or U+FFFD for its first byte.
            len = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 && c < 0xF0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
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
