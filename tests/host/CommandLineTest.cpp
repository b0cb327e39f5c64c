// `tmx5 run` as a program: its options, the files it may touch, and suites of
// scripts with their JUnit report.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <regex>
#include <string>

#include "RunnerTestSupport.h"
#include "headless/RunCommand.h"
#include "headless/Suite.h"
#include "script/CommandLine.h"

namespace {

const std::string Tmx5 = TMX5_BINARY;

// The window's and the runner's options through the one table, at the edges
// of each range. Each row: who parses, the words, and either the message of
// the first bad one or the value read for the last option.
TEST(CommandLine, EachOptionTakesTheEdgesOfItsRangeAndRefusesJustOutside) {
    const struct {
        OptionCommand command;
        std::vector<std::string> args;
        const char* error; // null: accepted
        double number;     // the last option's value
        long partOf;
    } rows[] = {
        {FOR_WINDOW, {"--scale", "1"}, nullptr, 1, 0},
        {FOR_WINDOW, {"--scale", "4"}, nullptr, 4, 0},
        {FOR_WINDOW, {"--scale", "0"}, "--scale takes a whole number from 1 to 4, not \"0\"", 0, 0},
        {FOR_WINDOW, {"--scale", "5"}, "--scale takes a whole number from 1 to 4, not \"5\"", 0, 0},
        {FOR_WINDOW, {"--scale", "+2"}, "--scale takes a whole number from 1 to 4, not \"+2\"", 0, 0},
        {FOR_WINDOW, {"--speed", "1"}, nullptr, 1, 0},
        {FOR_WINDOW, {"--speed", "100000"}, nullptr, 100000, 0},
        {FOR_WINDOW,
         {"--speed", "100001"},
         "--speed takes a whole number from 1 to 100000 or \"fastest\", not \"100001\"",
         0,
         0},
        {FOR_WINDOW,
         {"--speed", "0"},
         "--speed takes a whole number from 1 to 100000 or \"fastest\", not \"0\"",
         0,
         0},
        {FOR_WINDOW, {"--utc", "2099-12-31 23:59:59"}, nullptr, 4102444799.0, 0},
        {FOR_WINDOW, {"--utc", "1970-01-01 00:00:00"}, nullptr, 0, 0},
        {FOR_WINDOW,
         {"--utc", "2100-01-01 00:00:00"},
         "--utc takes a UTC date and time \"YYYY-MM-DD HH:MM:SS\" from 1970 to 2099, not \"2100-01-01 "
         "00:00:00\"",
         0,
         0},
        {FOR_WINDOW, {"--paused", "--tools", "--record", ""}, nullptr, 0, 0},
        {FOR_WINDOW, {"--paused", "--record"}, "--record needs a value", 0, 0},
        {FOR_WINDOW, {"run.tmx"}, "unknown option run.tmx", 0, 0},
        {FOR_WINDOW, {"-j", "2"}, "unknown option -j", 0, 0},
        {FOR_RUN, {"-j", "1"}, nullptr, 1, 0},
        {FOR_RUN, {"-j256"}, nullptr, 256, 0},
        {FOR_RUN, {"-j257"}, "-j takes a number of scripts at once from 1 to 256, not 257", 0, 0},
        {FOR_RUN, {"-j", "0"}, "-j takes a number of scripts at once from 1 to 256, not 0", 0, 0},
        {FOR_RUN, {"--shard", "2/2"}, nullptr, 2, 2},
        {FOR_RUN, {"--shard", "1/100000"}, nullptr, 1, 100000},
        {FOR_RUN, {"--shard", "3/2"}, "--shard takes K/N with 1 <= K <= N, not 3/2", 0, 0},
        {FOR_RUN, {"--shard", "1/100001"}, "--shard takes K/N with 1 <= K <= N, not 1/100001", 0, 0},
        {FOR_RUN, {"--timeout", "0.001"}, nullptr, 0.001, 0},
        {FOR_RUN, {"--timeout", "1000000"}, nullptr, 1000000, 0},
        {FOR_RUN,
         {"--timeout", "0"},
         "--timeout takes seconds, more than 0 and at most 1000000, not 0",
         0,
         0},
        {FOR_RUN,
         {"--timeout", "1000000.5"},
         "--timeout takes seconds, more than 0 and at most 1000000, not 1000000.5",
         0,
         0},
        {FOR_RUN, {"--coverage-min", "0"}, nullptr, 0, 0},
        {FOR_RUN, {"--coverage-min", "100"}, nullptr, 100, 0},
        {FOR_RUN,
         {"--coverage-min", "100.1"},
         "--coverage-min takes a percentage from 0 to 100, not 100.1",
         0,
         0},
        {FOR_RUN, {"--out", ""}, "--out needs a folder", 0, 0},
        {FOR_RUN, {"--scale", "2"}, "unknown option --scale", 0, 0},
    };
    for (const auto& row : rows) {
        std::string line;
        for (const std::string& a : row.args) line += "'" + a + "' ";
        std::vector<OptionValue> values;
        std::vector<std::string> operands;
        std::string error;
        const bool ok = ParseOptions(row.command, row.args, &values,
                                     row.command == FOR_RUN ? &operands : nullptr, &error);
        if (row.error) {
            EXPECT_FALSE(ok) << line;
            EXPECT_EQ(error, row.error) << line;
            continue;
        }
        ASSERT_TRUE(ok) << line << error;
        ASSERT_FALSE(values.empty()) << line;
        EXPECT_DOUBLE_EQ(values.back().number, row.number) << line;
        EXPECT_EQ(values.back().partOf, row.partOf) << line;
    }
    // The runner's operands: "-", words without a dash, and all after "--".
    std::vector<OptionValue> values;
    std::vector<std::string> operands;
    std::string error;
    EXPECT_FALSE(ParseOptions(FOR_RUN, {"a.tmx", "--speed"}, &values, &operands, &error));
    EXPECT_EQ(error, "unknown option --speed");
    operands.clear();
    ASSERT_TRUE(
        ParseOptions(FOR_RUN, {"-j2", "a.tmx", "-", "--", "-x.tmx", "--out"}, &values, &operands, &error))
        << error;
    EXPECT_EQ(operands, (std::vector<std::string>{"a.tmx", "-", "-x.tmx", "--out"}));
    ASSERT_TRUE(ParseOptions(FOR_WINDOW, {"--speed", "fastest"}, &values, nullptr, &error)) << error;
    EXPECT_TRUE(values.back().word);
}

// Each row: a command line, its status, and what its error output must hold.
TEST(CommandLine, BadOptionsAndUnreadableScriptsAreNamedWithStatusTwo) {
    const std::string dir = TempDir();
    Write(dir + "/ok.tmx", "on\nwait 2s\nprint Power\n");
    Write(dir + "/nul.tmx", std::string("on\n\0", 4) + std::string(2 << 20, 'x'));
    const struct {
        std::string args;
        int code;
        const char* says;
    } rows[] = {
        {"--bogus", 2, "unknown option --bogus"},
        {"run --bogus " + dir + "/ok.tmx", 2, "unknown option --bogus"},
        {"--help x", 2, "takes nothing after it"},
        {"--version x", 2, "takes nothing after it"},
        {"run -j 0 " + dir, 2, "-j takes"},
        {"run --shard 3/2 " + dir, 2, "--shard takes K/N"},
        {"run --shard 0/2 " + dir, 2, "--shard takes K/N"},
        {"run --timeout 0 " + dir + "/ok.tmx", 2, "--timeout takes seconds"},
        {"run --timeout -1 " + dir + "/ok.tmx", 2, "--timeout takes seconds"},
        {"run --junit", 2, "--junit needs a value"},
        // Scripts that cannot be read used to pass as empty ones.
        {"run - < " + dir, 2, "-: cannot read the script: standard input is a folder"},
        {"run - <&-", 2, "-: cannot read the script: standard input is closed"},
        {"run /dev/zero", 2, "/dev/zero: cannot read the script: not a regular file (a character device)"},
        {"run ''", 2, "an empty name ('') is not a script"},
        // Reading stops at the first NUL byte: what follows it does not count
        // towards the 1 MiB a script may be.
        {"run - < " + dir + "/nul.tmx", 2, "-:2: NUL byte at column 1"},
        {"run " + dir + "/missing.tmx", 2, "cannot read the script: No such file"},
        {"run " + dir + "/ok.tmx - ", 2, "standard input (-) runs alone"},
        {"run " + Tmx5.substr(0, Tmx5.rfind('/')) + "/CMakeFiles", 2, "no scripts (*.tmx) below"},
        // A write error on standard output used to end with status 0.
        {"run " + dir + "/ok.tmx > /dev/full", 2, "cannot write the output: No space left on device"},
        {"--help > /dev/full", 2, "cannot write the output"},
        // --timeout ends the run (status 1) whatever the machine's speed: this
        // script would take a billion passes of the running instrument (about an
        // hour here).
        {"printf 'on\\nframe-ms 1\\nwait 270h\\n' | " + Tmx5 + " run --timeout 1 -", 1,
         "-:3: stopped by the timeout of 1 s"},
    };
    for (const auto& r : rows) {
        const std::string cmd = r.args.compare(0, 6, "printf") == 0 ? r.args : Tmx5 + " " + r.args;
        Result res = Sh(cmd);
        EXPECT_EQ(res.code, r.code) << cmd << "\n" << res.err;
        EXPECT_NE(res.err.find(r.says), std::string::npos) << cmd << "\n" << res.err;
    }
    EXPECT_EQ(RunScriptFile(dir, std::cout, std::cerr), 2) << "a folder given as the script";
#ifdef TMX5_HAVE_WINDOW
    // The window's options are checked before a display is looked for, and a
    // bad one is answered with the list of them all.
    const Result scale = Sh(Tmx5 + " --paused --scale 9");
    EXPECT_EQ(scale.code, 2);
    EXPECT_EQ(
        scale.err,
        "tmx5: --scale takes a whole number from 1 to 4, not \"9\" (the window takes --record FILE.tmx, "
        "--utc "
        "\"YYYY-MM-DD HH:MM:SS\", --speed N|fastest, --paused, --tools, --scale N and --load-state FILE)\n");
#endif
}

// Writes used to go anywhere: absolute paths, "..", links out of the folder,
// folders made where the name said.
TEST(CommandLine, FilesStayInsideTheScriptsFolderOrTheOutputFolder) {
    const std::string dir = TempDir(), outside = TempDir(), out = TempDir() + "/made";
    ASSERT_EQ(symlink(outside.c_str(), (dir + "/link").c_str()), 0);
    ASSERT_EQ(symlink((outside + "/new.png").c_str(), (dir + "/dangling.png").c_str()), 0);
    // A link planted where a failed expect-frame writes its picture.
    Write(dir + "/home.pbm", "P1\n114 64\n" + std::string(114 * 64, '0'));
    ASSERT_EQ(symlink((outside + "/stolen.pbm").c_str(), (dir + "/home.actual.pbm").c_str()), 0);
    for (const std::string line :
         {"snap link/x.png", "snap dangling.png", "expect-frame link/ref.pbm", "expect-frame home.pbm"}) {
        Write(dir + "/s.tmx", "on\nwait 2s\n" + line + "\n");
        const bool update = line != "expect-frame home.pbm"; // (which fails and writes its pictures)
        Result res = Sh(Tmx5 + " run " + (update ? "--update-frames " : "") + dir + "/s.tmx");
        EXPECT_EQ(res.code, 2) << line;
        EXPECT_NE(res.err.find("s.tmx:3: "), std::string::npos) << res.err;
        EXPECT_NE(res.err.find("leads out of the script's folder"), std::string::npos) << res.err;
    }
    EXPECT_EQ(Sh("ls -A " + outside).out, "") << "a file was written through a link";

    // --allow-any-path lets an absolute name through.
    Write(dir + "/abs.tmx", "snap " + outside + "/abs.txt\n");
    EXPECT_EQ(Sh(Tmx5 + " run " + dir + "/abs.tmx").code, 2);
    EXPECT_EQ(Sh(Tmx5 + " run --allow-any-path " + dir + "/abs.tmx").code, 0);
    EXPECT_NE(ReadFile(outside + "/abs.txt"), "");

    // --out: the reference is read beside the script, what the run writes goes below DIR.
    Write(dir + "/g.tmx", "on\nwait 2s\nsnap frames/home.pbm\n");
    ASSERT_EQ(Sh(Tmx5 + " run " + dir + "/g.tmx").code, 0);
    Write(dir + "/f.tmx", "on\nwait 2s\nsnap frames/first.txt\nkey cw\nexpect-frame frames/home.pbm\n");
    Result res = Sh(Tmx5 + " run --out " + out + " " + dir + "/f.tmx");
    EXPECT_EQ(res.code, 1) << res.err;
    EXPECT_NE(res.err.find("pixels different"), std::string::npos) << res.err;
    EXPECT_NE(res.err.find("wrote " + out + "/frames/home.actual.pbm and " + out + "/frames/home.diff.png"),
              std::string::npos)
        << res.err;
    EXPECT_NE(ReadFile(out + "/frames/first.txt"), "");
    EXPECT_EQ(Sh("ls " + dir + "/frames").out, "home.pbm\n");
}

// Suites: every script in its own process, in sorted order, its line, the
// closing counts, the status of the worst, the shards and the JUnit report.
TEST(Suite, LinesCountsStatusShardsAndJunitReport) {
    const std::string dir = TempDir();
    ASSERT_EQ(Sh("mkdir -p " + dir + "/s/sub").code, 0);
    // a leaves the instrument on; b, in a process of its own, finds it off.
    Write(dir + "/s/a.tmx", "on\nwait 2s\nkey cw\nexpect HomePage 1\nprint Power\n");
    Write(dir + "/s/b.tmx", "expect Power off\nexpect HomePage 0\n");
    // What a script prints may hold anything: markup, quotes, bytes that are not UTF-8.
    Write(dir + "/s/c-fails.tmx", "on\nwait 2s\nexpect Label15 <&\"]]>'\xff\n");
    Write(dir + "/s/d-bad.tmx", "jump\n");
    // Relative names stay relative to the script's own folder.
    Write(dir + "/s/sub/e.tmx", "snap here.txt\n");
    Write(dir + "/s/notes.txt", "not a script\n");

    Result res = Sh("cd " + dir + " && " + Tmx5 + " run -j 3 --junit out/report.xml s");
    EXPECT_EQ(res.code, 2) << res.err;
    const char* const lines[] = {"PASS s/a.tmx (",       "PASS s/b.tmx (",
                                 "FAIL s/c-fails.tmx (", "  s/c-fails.tmx:3: expected Label15",
                                 "BAD s/d-bad.tmx (",    "  s/d-bad.tmx:1: unknown command jump",
                                 "PASS s/sub/e.tmx ("};
    size_t at = 0;
    for (const char* l : lines) {
        at = res.out.find(l, at);
        ASSERT_NE(at, std::string::npos) << l << " in order in\n" << res.out;
    }
    EXPECT_EQ(res.out.substr(res.out.rfind('\n', res.out.size() - 2) + 1), "3 passed, 1 failed, 1 bad\n");
    EXPECT_NE(ReadFile(dir + "/s/sub/here.txt"), "");

    const std::string xml = ReadFile(dir + "/out/report.xml");
    EXPECT_NE(xml.find("tests=\"5\" failures=\"1\" errors=\"1\""), std::string::npos) << xml;
    EXPECT_NE(
        xml.find(
            "<failure message=\"s/c-fails.tmx:3: expected Label15 &lt;&amp;&quot;]]&gt;&apos;\xEF\xBF\xBD"
            ", got 2048\" type=\"FAIL\">"),
        std::string::npos)
        << xml;
    EXPECT_NE(xml.find("<system-out>Power=on\n</system-out>"), std::string::npos) << xml;
    if (Sh("command -v python3").code == 0) {
        Result check =
            Sh("python3 -c 'import sys, xml.dom.minidom as m; d = m.parse(sys.argv[1]); "
               "print(len(d.getElementsByTagName(\"testcase\")))' " +
               dir + "/out/report.xml");
        EXPECT_EQ(check.code, 0) << check.err;
        EXPECT_EQ(check.out, "5\n");
    }

    // Status 1 without bad scripts, 0 when all pass; the shards split the
    // suite and together run all of it.
    EXPECT_EQ(Sh(Tmx5 + " run " + dir + "/s/a.tmx " + dir + "/s/c-fails.tmx").code, 1);
    std::string shards;
    for (const char* k : {"1/2", "2/2"}) {
        Result part = Sh("cd " + dir + " && " + Tmx5 + " run --shard " + k + " s/a.tmx s/b.tmx s/sub");
        EXPECT_EQ(part.code, 0) << part.err;
        shards += std::regex_replace(part.out, std::regex("\\([0-9.]+ s\\)"), "(X)");
    }
    EXPECT_EQ(shards, std::string("PASS s/a.tmx (X)\nPASS s/sub/e.tmx (X)\n2 passed, 0 failed\n") +
                          "PASS s/b.tmx (X)\n1 passed, 0 failed\n");
}

TEST(Suite, XmlEscapeKeepsUtf8AndReplacesWhatXmlCannotHold) {
    EXPECT_EQ(XmlEscape("a<b>&\"c'"), "a&lt;b&gt;&amp;&quot;c&apos;");
    EXPECT_EQ(XmlEscape("\t\n\r\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"),
              "\t\n\r\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    const std::string bad = "\xEF\xBF\xBD";
    EXPECT_EQ(XmlEscape(std::string("\x00\x1b\x7f", 3)), bad + bad + "\x7f");
    EXPECT_EQ(XmlEscape("\xff\xC3"), bad + bad);           // a stray byte, a sequence cut short
    EXPECT_EQ(XmlEscape("\xC0\xAF"), bad + bad);           // an overlong form
    EXPECT_EQ(XmlEscape("\xED\xA0\x80"), bad + bad + bad); // a surrogate
    // Lead bytes F5 to FF start no sequence: they used to be copied through.
    EXPECT_EQ(XmlEscape("\xF8\x80\x80"), bad + bad + bad);
    EXPECT_EQ(XmlEscape("\xFF\xBF\xBF"
                        "a"),
              bad + bad + bad + "a");
    EXPECT_EQ(XmlEscape("\xF5\x80\x80\x80"), bad + bad + bad + bad);
}

} // namespace

namespace {

// Starts `tmx5 run ARGS` in dir with the write end of a pipe as its
// descriptor 3, which every script it starts inherits: the read end sees
// its end only when the suite and all of its scripts are gone. stdoutFd is
// the suite's standard output.
pid_t StartSuite(const std::string& dir, const std::vector<std::string>& args, int stdoutFd, int* witness) {
    int w[2];
    if (pipe2(w, O_CLOEXEC) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(99);
        dup2(w[1], 3);
        dup2(stdoutFd, 1);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 2);
        std::vector<char*> argv = {const_cast<char*>(Tmx5.c_str()), const_cast<char*>("run")};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(Tmx5.c_str(), argv.data());
        _exit(98);
    }
    close(w[1]);
    *witness = w[0];
    return pid;
}

// Reads until every holder of the pipe's write end is gone.
void WaitForTheEnd(int witness) {
    char c;
    while (read(witness, &c, 1) > 0 || errno == EINTR) {}
    close(witness);
}

// Stopping a suite used to leave its scripts running under init, writing
// their files long after. Each script here says it started, then runs for
// about half a minute of the machine's time and writes done-NAME.txt.
TEST(Suite, StoppingTheSuiteStopsItsScripts) {
    const std::string dir = TempDir();
    ASSERT_EQ(Sh("mkdir -p " + dir + "/s").code, 0);
    for (const char* name : {"a", "b"})
        Write(dir + "/s/" + name + ".tmx", std::string("snap started-") + name +
                                               ".txt\non\nframe-ms 1\nwait 200m\nsnap done-" + name +
                                               ".txt\n");
    // By SIGTERM, once both scripts run.
    const int null = open("/dev/null", O_WRONLY);
    int witness;
    pid_t suite = StartSuite(dir, {"-j", "2", "s"}, null, &witness);
    ASSERT_GT(suite, 0);
    while (ReadFile(dir + "/s/started-a.txt").empty() || ReadFile(dir + "/s/started-b.txt").empty())
        usleep(10000);
    kill(suite, SIGTERM);
    WaitForTheEnd(witness);
    int status;
    waitpid(suite, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_EQ(Sh("ls " + dir + "/s").out, "a.tmx\nb.tmx\nstarted-a.txt\nstarted-b.txt\n")
        << "a script ran on after its suite";

    // By a reader that goes away (`tmx5 run s | head -1`) before the suite writes a line.
    Sh("rm " + dir + "/s/started-*");
    int out[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    suite = StartSuite(dir, {"-j", "2", "s"}, out[1], &witness);
    close(out[1]);
    while (ReadFile(dir + "/s/started-a.txt").empty() || ReadFile(dir + "/s/started-b.txt").empty())
        usleep(10000);
    close(out[0]);
    WaitForTheEnd(witness);
    waitpid(suite, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2);
    EXPECT_EQ(Sh("ls " + dir + "/s").out, "a.tmx\nb.tmx\nstarted-a.txt\nstarted-b.txt\n")
        << "a script ran on after its output was closed";
    close(null);
}

// --out: every write below DIR however the paths are spelled; two folders
// of one suite never share a file.
TEST(Suite, OutputFolderMirrorsEachFolderBelowItWhateverTheSpelling) {
    const std::string dir = TempDir();
    ASSERT_EQ(Sh("mkdir -p " + dir + "/s/sub " + dir + "/a " + dir + "/b " + dir + "/c/a").code, 0);
    Write(dir + "/s/sub/x.tmx", "snap x.txt\n");
    // Spelled as given used to lead out of DIR: into s/ itself, or beside DIR.
    for (const std::string& s :
         {std::string("./s"), dir + "/./s", std::string("s/sub/.."), std::string("s/")})
        for (const std::string& o : {std::string("o"), dir + "/o"}) {
            Result res = Sh("cd " + dir + " && " + Tmx5 + " run --out " + o + " " + s);
            EXPECT_EQ(res.code, 0) << s << " " << o << res.err;
            EXPECT_EQ(Sh("cd " + dir + " && find . -name x.txt").out, "./o/sub/x.txt\n") << s << " " << o;
            Sh("rm -r " + dir + "/o");
        }
    // Two folders whose scripts write the same name: each below its own folder.
    Write(dir + "/a/m.tmx", "snap m.txt\n");
    Write(dir + "/b/m.tmx", "on\nwait 2s\nsnap m.txt\n");
    Result res = Sh("cd " + dir + " && " + Tmx5 + " run -j 2 --out o a b");
    EXPECT_EQ(res.code, 0) << res.err;
    EXPECT_NE(ReadFile(dir + "/o/a/m.txt"), "");
    EXPECT_NE(ReadFile(dir + "/o/b/m.txt"), "");
    EXPECT_NE(ReadFile(dir + "/o/a/m.txt"), ReadFile(dir + "/o/b/m.txt"));
    // Two that would still share one are refused before anything runs.
    Write(dir + "/c/a/m.tmx", "snap m.txt\n");
    res = Sh("cd " + dir + "/c && " + Tmx5 + " run --out o2 a ../a");
    EXPECT_EQ(res.code, 2);
    EXPECT_NE(res.err.find("would both write below o2/a"), std::string::npos) << res.err;
    EXPECT_EQ(res.out, "");

    // One script under three spellings runs once.
    res = Sh("cd " + dir + " && " + Tmx5 + " run a/m.tmx ./a/m.tmx a//m.tmx");
    EXPECT_EQ(res.out.substr(res.out.find('\n') + 1), "1 passed, 0 failed\n") << res.out;
}

TEST(Suite, TheReportsPathIsCheckedBeforeAnythingRuns) {
    const std::string dir = TempDir();
    ASSERT_EQ(Sh("mkdir -p " + dir + "/s").code, 0);
    Write(dir + "/s/a.tmx", "snap ran.txt\n");
    for (const char* report : {"s/a.tmx", "s"}) {
        Result res = Sh("cd " + dir + " && " + Tmx5 + " run --junit " + report + " s");
        EXPECT_EQ(res.code, 2) << report;
        EXPECT_NE(res.err.find(std::string("--junit ") + report + ": "), std::string::npos) << res.err;
        EXPECT_EQ(ReadFile(dir + "/s/a.tmx"), "snap ran.txt\n") << "a script was overwritten";
        EXPECT_EQ(ReadFile(dir + "/s/ran.txt"), "") << "the suite ran before its report was refused";
    }
}

TEST(Suite, ALowOpenFileLimitMakesScriptsWaitNotFail) {
    const std::string dir = TempDir();
    for (int i = 0; i < 8; i++) Write(dir + "/s" + std::to_string(i) + ".tmx", "on\nwait 2s\nprint Power\n");
    Result res = Sh("cd " + dir + " && ulimit -n 12 && " + Tmx5 + " run -j 8 .");
    EXPECT_EQ(res.code, 0) << res.out;
    EXPECT_NE(res.out.find("8 passed, 0 failed\n"), std::string::npos) << res.out;
}

TEST(CommandLine, AClosedOutputIsReportedOnce) {
    const std::string dir = TempDir();
    Write(dir + "/p.tmx", "on\nwait 2s\nprint Power\n");
    for (const std::string& args : {dir + "/p.tmx", dir + "/p.tmx " + dir + "/p.tmx"}) {
        Result res = Sh(Tmx5 + " run " + args + " >&-");
        EXPECT_EQ(res.code, 2) << args;
        const size_t first = res.err.find("cannot write the output");
        EXPECT_NE(first, std::string::npos) << res.err;
        EXPECT_EQ(res.err.find("cannot write the output", first + 1), std::string::npos) << res.err;
    }
}

} // namespace
