// `tmx5 run` as a program: its options, the files it may touch, and suites of
// scripts with their JUnit report.
#include <gtest/gtest.h>

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

namespace {

const std::string Tmx5 = TMX5_BINARY;

// Each row: a command line, its status, and what its error output must hold.
TEST(CommandLine, BadOptionsAndUnreadableScriptsAreNamedWithStatusTwo) {
    const std::string dir = TempDir();
    Write(dir + "/ok.tmx", "on\nwait 2s\nprint Power\n");
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
}

} // namespace
