// The headless runner: script checking, the event-point timing contract,
// expectations, snapshots and the command line.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "RunnerTestSupport.h"
#include "frames/FrameConvert.h"
#include "frames/FrameFiles.h"
#include "headless/ScriptRunner.h"

namespace {

const char* PowerOn = "on\nwait 2s\n";

TEST(ScriptCheck, BadLinesAreReportedWithFileAndLineAndNothingRuns) {
    struct Row {
        const char* line;
        const char* says;
    } rows[] = {
        {"jump", "unknown command jump"},
        {"key up", "unknown key up"},
        {"key", "usage: key"},
        {"sensor 4097", "0 to 4096"},
        {"sensor -1", "0 to 4096"},
        {"sensor 12x", "0 to 4096"},
        {"wait 5", "not a duration"},
        {"wait 2d", "not a duration"},
        {"wait 1.2.3s", "not a duration"},
        {"wait 1001h", "not a duration"},
        {"frame-ms 0", "1 to 1000"},
        {"frame-ms 1001", "1 to 1000"},
        {"utc 2100-01-01 00:00:00", "not a UTC time"},
        {"utc 2026-02-29 00:00:00", "not a UTC time"},
        {"utc 2026-01-01 24:00:00", "not a UTC time"},
        {"utc 2026-01-01", "usage: utc"},
        {"calibrate yes", "on or off"},
        {"snap frame.jpg", ".pbm, .png or .txt"},
        {"expect Nothing 1", "unknown name Nothing"},
        {"expect LocalOffsetHours 1", "needs an index"},
        {"expect LocalOffsetHours[153] 0", "past its end"},
        {"expect MainZone[1] 0", "takes no index"},
        {"expect MainZone forty", "whole number"},
        {"expect Power maybe", "off, splash or on"},
        {"expect ScreenHandler Elsewhere", "no screen routine"},
        {"expect MainZone", "usage: expect"},
        {"expect-frame a.png", ".pbm"},
        {"print", "usage: print"},
        {"on 2", "usage: on"},
        // Signs and blanks in date and time fields used to be read as numbers.
        {"utc 2026-+1-01 00:00:00", "not a UTC time"},
        {"utc 2026-01-01 +1:+0:00", "not a UTC time"},
        // File names that leave the script's folder used to be written anywhere.
        {"snap ../x.png", "../x.png leads out of the script's folder"},
        {"snap /tmp/x.png", "leads out of"},
        {"expect-frame a/../../b.pbm", "leads out of"},
        {"load-state /etc/passwd", "leads out of"},
        // DEL used to pass as part of a word ("unknown key c\x7fw").
        {"key c\x7fw", "control character 0x7F (DEL) at column 6"},
        {"wait 1s;\x1b", "control character 0x1B (ESC) at column 9"},
        // No bound on the work of one script: checked ahead where it can be counted.
        {"wait 1000h;wait 1000h;wait 1000h;wait 1000h;wait 1000h;wait 1000h;wait 1000h;wait 1000h;wait 1000h;"
         "wait 1000h;wait 1000h",
         "more than 10000 hours"},
        {"frame-ms 1; wait 300h", "more than 1000000000 event points"},
    };
    std::string dir = TempDir();
    for (const Row& r : rows) {
        std::string script = "snap first.txt\nwait 1s\n" + std::string(r.line) + "\n";
        Result res = RunText(script, dir);
        EXPECT_EQ(res.code, 2) << r.line;
        EXPECT_NE(res.err.find("t.tmx:3: "), std::string::npos) << r.line << " -> " << res.err;
        EXPECT_NE(res.err.find(r.says), std::string::npos) << r.line << " -> " << res.err;
        EXPECT_EQ(ReadFile(dir + "/first.txt"), "") << "line 1 ran before the bad line was found";
    }
}

TEST(ScriptCheck, EveryBadLineIsReportedAndControlBytesAreRejected) {
    Result res = RunText("jump\non\nhop\n");
    EXPECT_EQ(res.code, 2);
    EXPECT_NE(res.err.find("t.tmx:1: "), std::string::npos);
    EXPECT_NE(res.err.find("t.tmx:3: "), std::string::npos);
    EXPECT_EQ(RunText(std::string("on\nkey cw\0x\n", 11)).code, 2);
    EXPECT_EQ(RunText("key\x01 cw\n").code, 2);
}

// Reading faults: each of these used to pass as something else, or to grow
// without bound.
TEST(ScriptCheck, ByteOrderMarkLineEndsNulBytesAndTheBoundsOfInputAndOutput) {
    const std::string works = "on\nwait 2s\nexpect Power on\n";
    EXPECT_EQ(RunText("\xEF\xBB\xBF" + works).code, 0) << "a byte-order mark is not a command";
    EXPECT_EQ(RunText("on\rwait 2s\rexpect Power on\r").code, 0) << "CR-only line ends";
    EXPECT_EQ(RunText("on\r\nwait 2s\r\nexpect Power on").code, 0);
    EXPECT_EQ(RunText("on\r\n\r\njump\r\n").err, "t.tmx:3: unknown command jump\n");
    EXPECT_EQ(RunText("on\rjump\n").err, "t.tmx:2: unknown command jump\n");

    // Nothing after a NUL byte is read.
    Result nul = RunText(std::string("on\nkey c\0w\njump\n", 16));
    EXPECT_EQ(nul.code, 2);
    EXPECT_EQ(nul.err, "t.tmx:2: NUL byte at column 6; a script is a text file\n");

    // 25 bad lines with 100-character words: 20 lines, each word cut at 40, then the count.
    std::string bad;
    for (int i = 0; i < 25; i++) bad += "jump" + std::string(96, 'x') + "\n";
    Result many = RunText(bad);
    EXPECT_EQ(many.code, 2);
    const std::string cut = "unknown command jump" + std::string(36, 'x') + "...\n";
    EXPECT_EQ(many.err.find("t.tmx:1: " + cut), 0u) << many.err;
    EXPECT_NE(many.err.find("t.tmx:20: " + cut + "... and 5 more\n"), std::string::npos) << many.err;
    EXPECT_EQ(many.err.find("t.tmx:21:"), std::string::npos);
    // The value of a failed expect is echoed the same way.
    EXPECT_EQ(RunText("expect Label15 " + std::string(100, 'y') + " z\n").err,
              "t.tmx:1: expected Label15 " + std::string(40, 'y') + "... z, got 2048\n");

    EXPECT_EQ(RunText(std::string(SCRIPT_MAX_BYTES, '\n')).code, 0);
    Result big = RunText(std::string(SCRIPT_MAX_BYTES + 1, '\n'));
    EXPECT_EQ(big.code, 2);
    EXPECT_NE(big.err.find("longer than 1048576 bytes"), std::string::npos);
}

// The bounds that cannot be counted ahead (the splash) end the run.
TEST(ScriptCheck, TheRunStopsAtItsBoundOfVirtualTime) {
    std::ostringstream out, err;
    ScriptRunner runner(out, err);
    runner.SetLimits(1000, SCRIPT_MAX_EVENT_POINTS);
    ASSERT_TRUE(runner.Load("on\nwait 1s\nprint Power\n", "t.tmx", ".")) << err.str();
    EXPECT_EQ(runner.Run(), 2);
    EXPECT_EQ(err.str(),
              "t.tmx:2: stopped: the run went past 1000 ms of virtual time, the most a script may take\n");
    EXPECT_EQ(out.str(), "");
}

TEST(ScriptCheck, CommentsBlankLinesAndSeparators) {
    Result res = RunText("# a comment\n\n   \non ; wait 2s # powered\n;; expect Power on ;\n");
    EXPECT_EQ(res.code, 0) << res.err;
}

TEST(Expectations, FailureStopsTheRunWithTheContractMessage) {
    Result res = RunText(std::string(PowerOn) + "expect MainZone 44\nprint MainZone\n");
    EXPECT_EQ(res.code, 1);
    EXPECT_EQ(res.err, "t.tmx:3: expected MainZone 44, got 43\n");
    EXPECT_EQ(res.out, ""); // nothing after the failure ran
}

TEST(Expectations, NamesOfTheStateAndThePanel) {
    Result res = RunText(std::string(PowerOn) +
                         "expect ScreenHandler HomeScreen\nexpect Lamp 128\nexpect Label15 2048\n"
                         "expect Power on\nexpect LocalOffsetHours[31] 0\nexpect UtcTime.Year 126\n"
                         "expect CalibrationOffset -0\nexpect TempDisplay -17\n"
                         "print MainZone TempDisplay LocalOffsetMinutes[152] ScreenHandler Power\n");
    EXPECT_EQ(res.code, 0) << res.err;
    EXPECT_EQ(
        res.out,
        "MainZone=43\nTempDisplay=-17\nLocalOffsetMinutes[152]=0\nScreenHandler=HomeScreen\nPower=on\n");
}

TEST(Timing, PowerStatesAndTheLampBeforeTheFirstPass) {
    Result res = RunText(
        "expect Power off\nexpect Lamp 255\nexpect ScreenHandler none\non\n"
        "expect Power splash\nwait 1s\nexpect Power splash\nwait 1s\nexpect Power on\n"
        "off\nexpect Power off\n");
    EXPECT_EQ(res.code, 0) << res.err;
}

TEST(Timing, EventsOfOneLineShareAnEventPoint) {
    // The second key of a line is dropped, as two clicks within one pass are.
    Result res = RunText(std::string(PowerOn) +
                         "key cw; key left\nexpect HomePage 1\nexpect SecondZone 43\n"
                         "key cw\nkey left\nexpect HomePage 2\nexpect TimerRunning 1\n");
    EXPECT_EQ(res.code, 0) << res.err;
}

TEST(Timing, KeyEffectIsDrawnWhenTheNextLineIsRead) {
    std::string dir = TempDir();
    Result res = RunText(std::string(PowerOn) + "snap a.pbm\nkey cw\nsnap b.pbm\nexpect-frame b.pbm\n", dir);
    ASSERT_EQ(res.code, 0) << res.err;
    u8 a[LCD_BYTES], b[LCD_BYTES];
    std::string why;
    ASSERT_TRUE(ReadFramePbm(dir + "/a.pbm", a, &why)) << why;
    ASSERT_TRUE(ReadFramePbm(dir + "/b.pbm", b, &why)) << why;
    // "STOPWATCH" replaced the zone name in the page title band.
    int differ = 0;
    for (int y = 31; y < 39; y++)
        for (int x = 0; x < 114; x++) differ += FramePixel(a, x, y) != FramePixel(b, x, y);
    EXPECT_GT(differ, 20);
}

TEST(Timing, VirtualClockTicksAndUtc) {
    Result res = RunText(
        "utc 2030-05-06 07:08:09\non\nwait 2s\nexpect UtcTime.Year 130\nexpect UtcTime.Month 4\n"
        "expect UtcTime.Day 6\nexpect UtcTime.Hour 7\nexpect UtcTime.Minute 8\n"
        "key cw\nkey left\nwait 10s\nprint StopwatchTenths\n"
        "off\nwait 10s\nprint StopwatchTenths\n");
    ASSERT_EQ(res.code, 0) << res.err;
    long first = 0, second = 0;
    ASSERT_EQ(std::sscanf(res.out.c_str(), "StopwatchTenths=%ld\nStopwatchTenths=%ld", &first, &second), 2);
    EXPECT_NEAR(first, 100, 2);
    EXPECT_NEAR(second - first, 100, 1); // it counts on while the instrument is off
}

// A `passes` at the end of an event line used to be overwritten by the two
// event points every event line gets, so "key cw; passes 10" waited 2.
TEST(Timing, PassesOnAnEventLineCountsLikeOnItsOwnLine) {
    const char* forms[] = {"key cw; passes 10\n", "key cw\npasses 10\n", "passes 10; key cw\n"};
    std::string seconds[3];
    for (int i = 0; i < 3; i++) {
        Result res =
            RunText(std::string("on\nwait 3s\nframe-ms 1000\n") + forms[i] + "print UtcTime.Second\n");
        ASSERT_EQ(res.code, 0) << res.err;
        seconds[i] = res.out;
    }
    EXPECT_EQ(seconds[0], seconds[1]);
    EXPECT_EQ(seconds[1], seconds[2]);
    EXPECT_EQ(seconds[0], "UtcTime.Second=14\n"); // 3 s, then 12 one-second passes, less the tick phase
}

TEST(Timing, FramePeriodSetsTheLengthOfAPass) {
    Result res = RunText("frame-ms 100\non\npasses 100\nprint Power\nframe-ms 20\nwait 1s\nprint Power\n");
    ASSERT_EQ(res.code, 0) << res.err;
    EXPECT_EQ(res.out, "Power=on\nPower=on\n"); // 80 splash frames at 100 ms ended within 10 s
}

TEST(Panel, TrackBarAndCheckBoxes) {
    Result res = RunText(
        std::string(PowerOn) +
        "sensor 0\nexpect Label15 0\nexpect RawSensor 0\nsensor 4096\nexpect Label15 4096\n"
        "expect TempDisplay 239\ncalibrate on\nexpect CalibrateEnabled 1\nkeyfast on\n"
        "expect KeyStep 10\nkeyfast off\nexpect KeyStep 1\n"
        // Power-on takes 2048 whatever the bar shows; the bar does not move.
        "on\nwait 2s\nexpect RawSensor 2048\nexpect Label15 4096\nsensor 4096\nexpect RawSensor 2048\n");
    EXPECT_EQ(res.code, 0) << res.err;
}

TEST(Snapshots, EveryFormatDescribesTheSameFrame) {
    std::string dir = TempDir();
    Result res =
        RunText(std::string(PowerOn) + "snap f.pbm\nsnap f.png\nsnap f.txt\nexpect-frame f.pbm\n", dir);
    ASSERT_EQ(res.code, 0) << res.err;
    u8 frame[LCD_BYTES];
    std::string why;
    ASSERT_TRUE(ReadFramePbm(dir + "/f.pbm", frame, &why)) << why;
    std::string txt = ReadFile(dir + "/f.txt");
    ASSERT_EQ(txt.size(), 64u * 115u);
    int lit = 0;
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 114; x++) {
            char c = txt[(size_t)y * 115 + x];
            ASSERT_TRUE(c == '#' || c == '.');
            ASSERT_EQ(c == '#', FramePixel(frame, x, y) == 1) << x << "," << y;
            lit += c == '#';
        }
    EXPECT_GT(lit, 300); // the home page, not a blank frame
    std::string png = ReadFile(dir + "/f.png");
    ASSERT_GT(png.size(), 33u);
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    // IHDR: 228 x 128
    EXPECT_EQ((u8)png[16] << 24 | (u8)png[17] << 16 | (u8)png[18] << 8 | (u8)png[19], 228);
    EXPECT_EQ((u8)png[20] << 24 | (u8)png[21] << 16 | (u8)png[22] << 8 | (u8)png[23], 128);
}

TEST(Snapshots, FrameMismatchNamesCountAndFirstPixelAndRawPbmIsRead) {
    std::string dir = TempDir();
    ASSERT_EQ(RunText(std::string(PowerOn) + "snap f.pbm\n", dir).code, 0);
    u8 frame[LCD_BYTES];
    std::string why;
    ASSERT_TRUE(ReadFramePbm(dir + "/f.pbm", frame, &why));
    // Write the same frame as raw P4 with two pixels flipped.
    u8 px[64][114];
    FrameToPixels(frame, px);
    px[0][0] ^= 1;
    px[63][113] ^= 1;
    std::string p4 = "P4\n# flipped\n114 64\n";
    for (int y = 0; y < 64; y++)
        for (int b = 0; b < 15; b++) {
            u8 byte = 0;
            for (int k = 0; k < 8; k++) {
                int x = b * 8 + k;
                if (x < 114 && px[y][x]) byte |= (u8)(0x80 >> k);
            }
            p4 += (char)byte;
        }
    std::ofstream(dir + "/g.pbm", std::ios::binary) << p4;
    Result res = RunText(std::string(PowerOn) + "expect-frame g.pbm\n", dir);
    EXPECT_EQ(res.code, 1);
    EXPECT_EQ(res.err.substr(0, res.err.find('\n') + 1),
              "t.tmx:3: expected frame g.pbm, got 2 pixels different, the first at (0, 0)\n");
    res = RunText(std::string(PowerOn) + "expect-frame missing.pbm\n", dir);
    EXPECT_EQ(res.code, 1);
    EXPECT_NE(res.err.find("does not exist"), std::string::npos);
}

TEST(Snapshots, MissingFoldersAreMadeAndAnUnwritableFileEndsTheRunWithStatusTwo) {
    std::string dir = TempDir();
    ASSERT_EQ(RunText("snap a/b/x.pbm\n", dir).code, 0);
    EXPECT_NE(ReadFile(dir + "/a/b/x.pbm"), "");
    std::ofstream(dir + "/plain") << "a file, not a folder";
    Result res = RunText("snap plain/x.pbm\n", dir);
    EXPECT_EQ(res.code, 2);
    EXPECT_NE(res.err.find("t.tmx:1: cannot write"), std::string::npos);
}

int Shell(const std::string& cmd) {
    int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CommandLine, ExitCodesHelpVersionAndStandardInput) {
    const std::string tmx5 = TMX5_BINARY;
    EXPECT_EQ(Shell(tmx5 + " --help > /dev/null"), 0);
    EXPECT_EQ(Shell(tmx5 + " --version > /dev/null"), 0);
    EXPECT_EQ(Shell(tmx5 + " run 2> /dev/null"), 2);
    EXPECT_EQ(Shell(tmx5 + " run a b 2> /dev/null"), 2);
    EXPECT_EQ(Shell(tmx5 + " bogus 2> /dev/null"), 2);
    EXPECT_EQ(Shell(tmx5 + " run /nonexistent.tmx 2> /dev/null"), 2);
    EXPECT_EQ(Shell("printf 'on\\nwait 2s\\nexpect MainZone 43\\n' | " + tmx5 + " run -"), 0);
    EXPECT_EQ(Shell("printf 'on\\nwait 2s\\nexpect MainZone 4\\n' | " + tmx5 + " run - 2> /dev/null"), 1);
}

} // namespace
