// Saved states: a run resumed from a saved state ends exactly where the run
// that saved it ends, and a bad state file loads nothing.
#include <gtest/gtest.h>

#include <string>

#include "RunnerTestSupport.h"
#include "state/StateFile.h"
#include "state/StateNames.h"

namespace {

// Run A saves at T1 (a menu open, the track bar, KeyFast and the host clock
// changed), then waits past the inactivity return to T2 and saves again.
const char* RunA =
    "on\nwait 2s\nkey menu\nkey cw\nkey menu\nwait 1s\nsensor 3000\nkeyfast on\n"
    "utc 2030-05-06 07:08:09\nwait 1500ms\nsave-state t1.state\n"
    "wait 37s\nkey left\nwait 5s\nsave-state a2.state\nsnap a2.pbm\n"
    "off\nwait 1s\nsave-state off.state\nwait 1s\non\nwait 3s\nsave-state a3.state\n";

TEST(SavedState, ARunResumedFromItsStateEndsWithTheSameStateAndFrame) {
    const std::string dir = TempDir();
    ASSERT_EQ(RunText(RunA, dir).code, 0);
    struct Case {
        const char* what;
        const char* script;
        const char* saved; // compared with the same moment of run A
        const char* with;
    } cases[] = {
        {"loaded while off, the rest of the line after it",
         "load-state t1.state; wait 37s\nkey left\nwait 5s\nsave-state b.state\nsnap b.pbm\n", "b", "a2"},
        {"loaded while running",
         "on\nwait 3s\nkey right\nload-state t1.state\nwait 37s\nkey left\nwait 5s\nsave-state c.state\nsnap "
         "c.pbm\n",
         "c", "a2"},
        {"an off state loaded while running",
         "on\nwait 2s\nload-state off.state\nwait 1s\non\nwait 3s\nsave-state d.state\n", "d", "a3"},
    };
    for (const Case& c : cases) {
        Result r = RunText(c.script, dir);
        ASSERT_EQ(r.code, 0) << c.what << ": " << r.err;
        EXPECT_EQ(ReadFile(dir + "/" + c.saved + ".state"), ReadFile(dir + "/" + c.with + ".state"))
            << c.what;
        if (std::string(c.with) == "a2") {
            EXPECT_EQ(ReadFile(dir + "/" + c.saved + ".pbm"), ReadFile(dir + "/a2.pbm")) << c.what;
        }
    }
    EXPECT_NE(ReadFile(dir + "/t1.state"), ReadFile(dir + "/a2.state"));
}

// Replaces the line that starts with name (or appends it) in a state file.
std::string WithLine(std::string text, const std::string& name, const std::string& line) {
    const size_t at = text.find("\n" + name + " ");
    if (at == std::string::npos) return text + line + "\n";
    const size_t end = text.find('\n', at + 1);
    return text.replace(at + 1, end - at - 1, line);
}

std::string Repeat(const std::string& s, int n) {
    std::string r;
    while (n-- > 0) r += s;
    return r;
}

// The host's part of a state goes back where it came from: a check box, the
// track bar or the lamp read into another field would come back wrong after a
// load. Each field is given a value no other field has.
TEST(SavedState, EachHostFieldIsReadBackIntoItself) {
    const std::string dir = TempDir();
    ASSERT_EQ(RunText("on\nwait 2s\nsave-state s.state\n", dir).code, 0);
    std::string text = ReadFile(dir + "/s.state");
    for (const char* line : {"VirtualMs 987654", "HostUtcMs 1900000000123", "FrameMs 37", "TrackBar 4095",
                             "Calibrate 1", "KeyFast 0", "Lamp 11259375"}) {
        const std::string name = std::string(line).substr(0, std::string(line).find(' '));
        ASSERT_NE(text.find("\n" + name + " "), std::string::npos) << name;
        text = WithLine(text, name, line);
    }
    InstrumentSnapshot s;
    int at = 0;
    std::string why;
    ASSERT_TRUE(ParseStateFile(text, &s, &at, &why)) << at << ": " << why;
    EXPECT_EQ(FormatStateFile(s), text);
}

TEST(SavedState, ABadFileEndsTheRunWithItsLineAndLoadsNothing) {
    const std::string dir = TempDir();
    ASSERT_EQ(RunText("on\nwait 2s\nkey menu\nwait 1s\nsave-state good.state\n", dir).code, 0);
    const std::string good = ReadFile(dir + "/good.state");
    // Every bad file also changes MainZone early on: it must not stick.
    const std::string early = WithLine(good, "MainZone", "MainZone 7");
    const size_t frameLine = early.find("\nFrameBuffer ");
    // The frame buffer comes last; its last byte all lit.
    const std::string lastIs255 = early.substr(0, early.size() - 2) + "255\n";
    ASSERT_EQ(early.substr(early.size() - 3), " 0\n");
    struct Case {
        const char* what;
        std::string text;
        const char* says;
    } cases[] = {
        {"cut in the middle of a line", early.substr(0, frameLine + 200),
         "ends inside this line (is it cut short?)"},
        // The last value 255 cut to 25, still in its range: loaded, until the
        // last newline was required.
        {"cut inside its last value", lastIs255.substr(0, lastIs255.size() - 2),
         ":91: the file ends inside this line"},
        {"without its last newline", early.substr(0, early.size() - 1), "ends inside this line"},
        // Values no run can reach: a clock offset past the year 95 million, a virtual time past 10,000 hours.
        {"clock offset out of reach", WithLine(early, "UtcClockOffset", "UtcClockOffset 4611686018427387904"),
         "UtcClockOffset 4611686018427387904 is not a whole number from -4138444800 to 4102444800"},
        {"virtual time out of reach", WithLine(early, "VirtualMs", "VirtualMs 36000000001"),
         "VirtualMs 36000000001 is not a whole number from 0 to 36000000000"},
        {"cut after a line", early.substr(0, frameLine + 1), "ends without FrameBuffer"},
        {"unknown name", WithLine(early, "Bogus", "Bogus 1"), ":92: unknown name Bogus"},
        {"out of range", WithLine(early, "Contrast", "Contrast 58"),
         "Contrast 58 is not a whole number from 0 to 57"},
        {"element out of range",
         WithLine(early, "LocalOffsetHours", "LocalOffsetHours" + Repeat(" 0", 152) + " 13"),
         "LocalOffsetHours[152] 13 is not a whole number from -12 to 12"},
        {"values missing", WithLine(early, "LocalOffsetHours", "LocalOffsetHours" + Repeat(" 0", 152)),
         "LocalOffsetHours takes 153 values, not 152"},
        {"not a number", WithLine(early, "KeyStep", "KeyStep ten"), "KeyStep ten is not a whole number"},
        {"given twice", WithLine(early, "HomePage", "HomePage 1") + "HomePage 2\n", "given twice"},
        {"no such screen", WithLine(early, "ScreenHandler", "ScreenHandler Elsewhere"), "no screen routine"},
        {"saved in the splash", WithLine(early, "PowerState", "PowerState 1"), "splash"},
        // Each value in its range, but not a state any event point shows.
        {"cursor past the screen's rows", WithLine(early, "MenuCursor", "MenuCursor 7"),
         "MenuCursor 7 is past the last row of MainMenuScreen (6)"},
        {"a running instrument without a screen", WithLine(early, "ScreenHandler", "ScreenHandler none"),
         "a running instrument always shows a screen"},
        {"a key left over", WithLine(early, "KeyCode", "KeyCode 2"), "KeyCode 2"},
        {"the editor open on no date",
         WithLine(WithLine(early, "ScreenHandler", "ScreenHandler SetUtcTimeScreen"), "MenuCursor",
                  "MenuCursor 0"),
         "EditYear 0 is outside 1970 to 2100 while SET UTC TIME is open"},
        {"a running clock on day 0", WithLine(early, "UtcTime.Day", "UtcTime.Day 0"),
         "UtcTime.Day 0 is outside 1 to 31"},
        {"wrong version", "tmx5-state 2" + early.substr(early.find('\n')), ":1: state file version 2"},
        {"binary",
         std::string("tmx5-state 1\nMainZone 7\n\x7f"
                     "ELF\x02\x01\x01\0\0",
                     31),
         ":3: not text: byte 0x7f"},
        {"empty", "", "empty"},
    };
    for (const Case& c : cases) {
        std::ofstream(dir + "/bad.state", std::ios::binary) << c.text;
        Result r = RunText("on\nwait 2s\nload-state bad.state\n", dir);
        EXPECT_EQ(r.code, 2) << c.what;
        EXPECT_NE(r.err.find("t.tmx:3: load-state: " + dir + "/bad.state"), std::string::npos)
            << c.what << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.what << ": " << r.err;
        EXPECT_EQ(MainZone, 43) << c.what << ": part of a bad file was loaded";
    }
    ASSERT_EQ(
        RunText("load-state good.state\nexpect ScreenHandler MainMenuScreen\nexpect Power on\n", dir).code,
        0);
}

TEST(SavedState, AFailureWritesTheStateAtTheFailingLine) {
    const std::string dir = TempDir();
    std::ofstream(dir + "/fails.tmx") << "on\nwait 2s\nkey cw\nexpect HomePage 0\n";
    std::ostringstream out, err;
    RunOptions options;
    options.stateOnFailure = true;
    EXPECT_EQ(RunScriptFile(dir + "/fails.tmx", out, err, options), 1);
    EXPECT_NE(err.str().find("wrote " + dir + "/fails.failed.state"), std::string::npos) << err.str();
    Result r = RunText(
        "load-state fails.failed.state\nexpect HomePage 1\nexpect Power on\nwait 1s\nexpect HomePage 1\n",
        dir);
    EXPECT_EQ(r.code, 0) << r.err;

    // The state a script loads is its input: a failure used to overwrite
    // a.state, the fixture of a.tmx, with the failure state.
    ASSERT_EQ(RunText("on\nwait 2s\nsave-state a.state\n", dir).code, 0);
    const std::string fixture = ReadFile(dir + "/a.state");
    std::ofstream(dir + "/a.tmx") << "load-state a.state\nkey cw\nexpect HomePage 0\n";
    std::ostringstream out2, err2;
    EXPECT_EQ(RunScriptFile(dir + "/a.tmx", out2, err2, options), 1);
    EXPECT_EQ(ReadFile(dir + "/a.state"), fixture);
    EXPECT_NE(ReadFile(dir + "/a.failed.state"), "") << err2.str();
    // Nor is the failure state written over a state of that name the script loads.
    std::ofstream(dir + "/b.tmx")
        << "load-state a.state\nload-state b.failed.state\nkey cw\nexpect HomePage 0\n";
    std::filesystem::copy_file(dir + "/a.state", dir + "/b.failed.state");
    std::ostringstream out3, err3;
    EXPECT_EQ(RunScriptFile(dir + "/b.tmx", out3, err3, options), 1);
    EXPECT_EQ(ReadFile(dir + "/b.failed.state"), fixture);
    EXPECT_NE(err3.str().find("no state written: " + dir + "/b.failed.state is a file this run reads"),
              std::string::npos)
        << err3.str();
}

} // namespace
