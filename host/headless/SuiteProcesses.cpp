// The processes of a suite: each script runs as `tmx5 run` of its own, its
// output captured, at most -j at once; a suite that is stopped stops them.
#include "Suite.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

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
StartResult Start(const std::string& program, const std::vector<std::string>& options, const SuiteEntry& e,
                  const std::string& coveragePart, Job* job, std::string* why) {
    std::vector<std::string> args = {program, "run"};
    if (!coveragePart.empty()) args.insert(args.end(), {"--coverage-part", coveragePart});
    args.insert(args.end(), options.begin(), options.end());
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

bool RunAll(const std::string& program, const std::vector<std::string>& options,
            const std::vector<SuiteEntry>& entries, int jobs, std::vector<Outcome>* results,
            const std::function<void(size_t, const Outcome&)>& report,
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
            const StartResult started = Start(program, options, entries[next],
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

} // namespace

bool RunScripts(const std::string& program, const std::vector<std::string>& options,
                const std::vector<SuiteEntry>& entries, int jobs, std::vector<Outcome>* results,
                const std::function<void(size_t, const Outcome&)>& report,
                const std::vector<std::string>& coverageParts) {
    // Stopping the suite stops its scripts (see Children).
    struct sigaction stop = {}, old[4];
    stop.sa_handler = OnSuiteSignal;
    sigemptyset(&stop.sa_mask);
    for (int i = 0; i < 4; i++) sigaction(SuiteSignals[i], &stop, &old[i]);
    const bool outputOpen = RunAll(program, options, entries, jobs, results, report, coverageParts);
    for (int i = 0; i < 4; i++) sigaction(SuiteSignals[i], &old[i], nullptr);
    return outputOpen;
}
