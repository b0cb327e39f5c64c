// What `tmx5 run` reads and writes when the machine is against it: a full
// disk keeps every old file whole, a FIFO or a device is refused rather than
// waited on, an oversized reference is a broken one, and --timeout ends a
// run blocked outside the instrument.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "RunnerTestSupport.h"

namespace {

const std::string Tmx5 = TMX5_BINARY;

// The names in a folder, sorted, to see that no temporary file is left.
std::string Listing(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    std::string s;
    for (const std::string& n : names) s += n + " ";
    return s;
}

// A file of about 1 KB or less fits under `ulimit -f 1`; every file below is
// larger, so a write that truncates the old file first leaves it cut there.
TEST(Writes, AFullDiskKeepsEveryOldFileWholeAndTheRunSaysSo) {
    const std::string dir = TempDir();
    Write(dir + "/make.tmx",
          "on\nwait 2s\nsnap home.pbm\nsnap shot.txt\nsave-state s.state\nsnap home.actual.pbm\n"
          "movie m.gif 8x\nwait 2s\nmovie end\n");
    ASSERT_EQ(Sh(Tmx5 + " run " + dir + "/make.tmx").code, 0);
    std::string prints = "on\nwait 2s\n";
    for (int i = 0; i < 100; i++) prints += "print FrameBuffer[" + std::to_string(i) + "]\n";
    Write(dir + "/print.tmx", prints);
    ASSERT_EQ(Sh(Tmx5 + " run --junit " + dir + "/r/report.xml " + dir + "/print.tmx").code, 0);
    const struct {
        const char* file;   // the old file that must survive
        std::string script; // what tries to replace it
        const char* args;
    } rows[] = {
        {"home.pbm", "on\nwait 2s\nkey cw\nwait 1s\nexpect-frame home.pbm\n", "--update-frames"},
        {"s.state", "on\nwait 2s\nkey cw\nwait 1s\nsave-state s.state\n", ""},
        {"shot.txt", "on\nwait 2s\nkey cw\nwait 1s\nsnap shot.txt\n", ""},
        {"m.gif", "on\nwait 2s\nmovie m.gif 8x\nkey cw\nwait 3s\nmovie end\n", ""},
        // A failed expectation's picture (the run fails, and cannot write it).
        {"home.actual.pbm", "on\nwait 2s\nkey cw\nwait 1s\nexpect-frame home.pbm\n", ""},
        {"r/report.xml", prints + "print Power\n", "--junit r/report.xml"},
    };
    for (const auto& r : rows) {
        Write(dir + "/w.tmx", r.script);
        const std::string before = ReadFile(dir + "/" + r.file), listing = Listing(dir);
        ASSERT_GT(before.size(), 1024u) << r.file;
        Result res =
            Sh("cd " + dir + " && ulimit -f 1 && " + Tmx5 + " run " + r.args + " w.tmx 2>&1 | tail -c 300");
        EXPECT_EQ(ReadFile(dir + "/" + r.file), before) << r.file << " was damaged: " << res.out;
        EXPECT_NE(res.out.find("File too large"), std::string::npos) << r.file << ": " << res.out;
        EXPECT_EQ(Listing(dir), listing) << r.file << ": a file was left behind or lost";
        EXPECT_EQ(Listing(dir + "/r"), "report.xml ") << r.file;
    }
    // The status: 2 when a file cannot be written.
    Write(dir + "/w.tmx", "on\nwait 2s\nsave-state s.state\n");
    EXPECT_EQ(Sh("cd " + dir + " && ulimit -f 1 && " + Tmx5 + " run w.tmx").code, 2);
}

// Runs tmx5 with args while this process holds the FIFO open at both ends,
// so that opening it never blocks and a write into it succeeds: a run that
// opens it is caught with the FIFO among its open files and stopped.
Result RunBesideFifo(const std::vector<std::string>& args, const std::string& fifo, const std::string& dir) {
    const int held = open(fifo.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (held < 0) return {-1, "", "cannot open the FIFO"};
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(99);
        const int err = open((dir + "/fifo-err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(err, 2);
        dup2(err, 1);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(Tmx5.c_str(), argv.data());
        _exit(98);
    }
    const std::string fd = "/proc/" + std::to_string(pid) + "/fd";
    int status = 0;
    Result r = {-1, "", ""};
    for (;;) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            break;
        }
        // (Until it runs tmx5, the child still holds this process's descriptors.)
        char exe[4096];
        const ssize_t exeLength =
            readlink(("/proc/" + std::to_string(pid) + "/exe").c_str(), exe, sizeof exe);
        const bool started =
            exeLength > 0 && std::filesystem::equivalent(std::string(exe, (size_t)exeLength), Tmx5);
        bool opened = false;
        if (DIR* d = started ? opendir(fd.c_str()) : nullptr) {
            while (dirent* e = readdir(d)) {
                char target[4096];
                const ssize_t n = readlink((fd + "/" + e->d_name).c_str(), target, sizeof target - 1);
                opened = opened || (n > 0 && std::string(target, (size_t)n) == fifo);
            }
            closedir(d);
        }
        if (opened) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            r.err = "it opened the FIFO\n";
            break;
        }
        usleep(5000);
    }
    close(held);
    r.err += ReadFile(dir + "/fifo-err");
    return r;
}

TEST(Writes, AFifoOrADeviceIsRefusedNotWaitedOn) {
    const std::string dir = TempDir(), fifo = dir + "/p";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    for (const char* name : {"p.png", "p.gif", "p.state", "p.pbm", "p.tmx"})
        ASSERT_EQ(symlink("p", (dir + "/" + name).c_str()), 0);
    const struct {
        std::string line; // a script's line, or "" for the command line alone
        std::vector<std::string> args;
    } rows[] = {
        {"snap p.png", {}},
        {"movie p.gif", {}},
        {"load-state p.state", {}},
        {"save-state p.state", {}},
        {"expect-frame p.pbm", {}},
        {"", {"tmx5", "run", "p.tmx"}},
        {"", {"tmx5", "run", "--junit", "p", "s.tmx"}},
        {"", {"tmx5", "--load-state", "p"}}, // the window's option
    };
    for (const auto& r : rows) {
#ifndef TMX5_HAVE_WINDOW
        if (r.args.size() == 3 && r.args[1] == "--load-state") continue;
#endif
        Write(dir + "/s.tmx", "on\nwait 2s\n" + r.line + "\n");
        const std::vector<std::string> args =
            r.args.empty() ? std::vector<std::string>{"tmx5", "run", "--allow-any-path", "s.tmx"} : r.args;
        Result res = RunBesideFifo(args, fifo, dir);
        EXPECT_EQ(res.code, 2) << r.line << args.back() << ": " << res.err;
        EXPECT_NE(res.err.find("not a regular file (a FIFO)"), std::string::npos)
            << r.line << args.back() << ": " << res.err;
    }
}

TEST(Limits, TheTimeoutEndsARunBlockedOutsideTheInstrument) {
    // Standard input that stays open for longer than the timeout: the
    // script is never read to its end.
    Result res = Sh("sleep 3 | " + Tmx5 + " run --timeout 1 -");
    EXPECT_EQ(res.code, 1) << res.err;
    EXPECT_NE(res.err.find("-: stopped by the timeout of 1 s"), std::string::npos) << res.err;
}

TEST(Limits, AReferenceLargerThanAMebibyteIsBroken) {
    const std::string dir = TempDir();
    Write(dir + "/make.tmx", "on\nwait 2s\nsnap home.pbm\n");
    ASSERT_EQ(Sh(Tmx5 + " run " + dir + "/make.tmx").code, 0);
    // The right picture, followed by more than a mebibyte of blanks: read
    // whole, it would match.
    Write(dir + "/big.pbm", ReadFile(dir + "/home.pbm") + std::string((1 << 20) + 1, ' '));
    // A sparse file of 1.2 GB: read whole, the run ran out of memory.
    { std::ofstream(dir + "/huge.pbm") << "P1\n114 64\n"; }
    std::filesystem::resize_file(dir + "/huge.pbm", 1200000000);
    for (const char* name : {"big.pbm", "huge.pbm"}) {
        Write(dir + "/s.tmx", std::string("on\nwait 2s\nexpect-frame ") + name + "\n");
        Result res = Sh(Tmx5 + " run " + dir + "/s.tmx");
        EXPECT_EQ(res.code, 1) << name << ": " << res.err;
        EXPECT_NE(res.err.find(std::string(name) + " is larger than 1 MiB: not a 114 x 64 frame"),
                  std::string::npos)
            << res.err;
    }
}

} // namespace
