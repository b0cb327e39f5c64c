// Interface coverage: the totals come from the firmware's tables, a run
// counts what it did and nothing else, a suite merges every script's share,
// and the suite `tmx5 explore` writes passes, covers every reachable screen,
// transition and key, and fails when a screen's pixel changes.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>

#include "RunnerTestSupport.h"
#include "headless/Coverage.h"
#include "headless/ScriptRunner.h"
#include "screens/Screens.h"
#include "script/ScriptCommands.h"

namespace {

// Runs a script in this process with a recorder watching.
CoverageData Covered(const std::string& script, int* code = nullptr) {
    std::ostringstream out, err;
    ScriptRunner runner(out, err);
    CoverageRecorder recorder;
    runner.SetObserver(&recorder);
    EXPECT_TRUE(runner.Load(script, "t.tmx", ".")) << err.str();
    const int status = runner.Run();
    if (code) *code = status;
    EXPECT_TRUE(code || status == 0) << err.str();
    return recorder.Data();
}

std::map<std::string, int> Summary(const CoverageData& d) {
    std::map<std::string, int> m;
    for (const CoverageGroup& g : CoverageSummary(d)) m[g.name] = g.covered;
    return m;
}

uint64_t Moves(const CoverageData& d, const std::string& from, const std::string& to,
               bool* inTable = nullptr) {
    for (const auto& t : d.transitions)
        if (t.from == from && t.to == to) {
            if (inTable) *inTable = t.inTable;
            return t.count;
        }
    return 0;
}

uint64_t Presses(const CoverageData& d, const std::string& screen, const std::string& key) {
    for (const auto& k : d.keys)
        if (k.screen == screen && k.key == key) return k.count;
    return 0;
}

const CoverageData::Field* Row(const CoverageData& d, const std::string& screen, int row) {
    for (const auto& f : d.fields)
        if (f.screen == screen && f.row == row) return &f;
    return nullptr;
}

uint64_t Seen(const CoverageData& d, const std::string& condition) {
    for (const auto& c : d.conditions)
        if (c.name == condition) return c.count;
    ADD_FAILURE() << "no condition " << condition;
    return 0;
}

Result Sh(const std::string& cmd) {
    static const std::string dir = TempDir();
    const int status = std::system(("(" + cmd + ") > " + dir + "/out 2> " + dir + "/err").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(dir + "/out"), ReadFile(dir + "/err")};
}

TEST(Coverage, TotalsComeFromTheScreenTableTheKeyCommandAndTheStateTable) {
    const CoverageData d = EmptyCoverage();
    ASSERT_EQ((size_t)ScreenCount(), d.screens.size());
    size_t withParent = 0, rows = 0;
    for (u8 i = 0; i < ScreenCount(); i++) {
        const ScreenRow* r = ScreenRowAt(i);
        EXPECT_EQ(r->Name, d.screens[i].name);
        if (r->LastCursor != 255) rows += r->LastCursor + 1u;
        if (r->Parent == nullptr) continue;
        withParent++;
        // Every way the table allows, both ways, and nothing else.
        bool inTable = false;
        Moves(d, ScreenRoutineName(r->Parent), r->Name, &inTable);
        EXPECT_TRUE(inTable) << r->Name;
        inTable = false;
        Moves(d, r->Name, ScreenRoutineName(r->Parent), &inTable);
        EXPECT_TRUE(inTable) << r->Name;
    }
    EXPECT_EQ(2 * withParent, d.transitions.size());
    EXPECT_EQ(rows, d.fields.size());
    const size_t keys = ScriptCommandOf(ScriptCommandKind::KEY).args.at(0).values.size();
    EXPECT_EQ(5u, keys);
    EXPECT_EQ(d.screens.size() * keys, d.keys.size());
    EXPECT_EQ((size_t)HomePage_MAX + 1, d.homePages.size());
    // Every variable a script can name, but the hook counts and the frame buffer.
    std::set<std::string> names;
    for (const auto& v : d.values) names.insert(v.name);
    size_t variables = 0;
    for (const StateName& n : StateNames()) {
        const std::string name = n.name;
        if (name.compare(0, 4, "Hook") == 0 || name == "FrameBuffer") continue;
        variables++;
        EXPECT_TRUE(names.count(name)) << name;
    }
    EXPECT_EQ(variables, d.values.size());
    const auto summary = CoverageSummary(d);
    for (const CoverageGroup& g : summary) EXPECT_EQ(0, g.covered) << g.name;
    EXPECT_EQ(
        "coverage: screens 0/12, pages 0/5, transitions 0/22, keys 0/60, fields 0/35, conditions 0/17, "
        "values "
        "0/" +
            std::to_string(variables),
        CoverageLine(d));
}

TEST(Coverage, PowerOnAndWaitCoversTheHomePageAlone) {
    const CoverageData d = Covered("on\nwait 10s\n");
    const auto s = Summary(d);
    EXPECT_EQ(1, s.at("screens"));
    EXPECT_EQ(1, s.at("pages"));
    EXPECT_EQ(0, s.at("transitions"));
    EXPECT_EQ(0, s.at("keys"));
    EXPECT_EQ(0, s.at("fields"));
    EXPECT_EQ(0, s.at("conditions"));
    EXPECT_GT(d.screens[0].passes, 400u); // 10 s less the splash, a pass per 20 ms
    EXPECT_EQ(d.screens[0].passes, d.homePages[0]);
    for (const auto& t : d.transitions) EXPECT_EQ(0u, t.count) << t.from << " -> " << t.to;
}

// Into DISP SETUP, edit BACKLIGHT, then leave it alone until the
// inactivity return takes the instrument home.
TEST(Coverage, KeysTransitionsRowsAndTheInactivityReturnAreCountedAsTheyHappen) {
    const CoverageData d = Covered(
        "on\nwait 2s\nkey menu\nkey cw\nkey menu\nkey cw\nkey cw\nkey menu\nkey cw\n"
        "key menu\nwait 35s\n");
    EXPECT_EQ(1u, Moves(d, "HomeScreen", "MainMenuScreen"));
    EXPECT_EQ(1u, Moves(d, "MainMenuScreen", "DisplaySetupScreen"));
    EXPECT_EQ(2, Summary(d).at("transitions"));
    bool inTable = true;
    EXPECT_EQ(1u, Moves(d, "DisplaySetupScreen", "HomeScreen", &inTable));
    EXPECT_FALSE(inTable);
    EXPECT_EQ(1u, Seen(d, "inactivity_return"));

    EXPECT_EQ(1u, Presses(d, "HomeScreen", "menu"));
    EXPECT_EQ(1u, Presses(d, "MainMenuScreen", "cw"));
    EXPECT_EQ(1u, Presses(d, "MainMenuScreen", "menu"));
    EXPECT_EQ(3u, Presses(d, "DisplaySetupScreen", "cw"));
    EXPECT_EQ(2u, Presses(d, "DisplaySetupScreen", "menu"));
    EXPECT_EQ(5, Summary(d).at("keys"));

    EXPECT_GT(Row(d, "MainMenuScreen", 1)->selected, 0u);
    EXPECT_EQ(0u, Row(d, "MainMenuScreen", 2)->selected);
    EXPECT_EQ(0u, Row(d, "MainMenuScreen", 1)->changed); // moving on is not a change
    EXPECT_EQ(1u, Row(d, "DisplaySetupScreen", 2)->changed);
    EXPECT_EQ(0u, Row(d, "DisplaySetupScreen", 3)->selected);
    for (const auto& v : d.values)
        if (v.name == "Backlight") {
            EXPECT_TRUE(v.seen && v.lowest == 0 && v.highest == 1);
        }
    EXPECT_EQ(0u, Seen(d, "unit_changed"));
}

TEST(Coverage, ConditionsAreSeenWhenTheyHappenAndOnlyThen) {
    // OFF in the splash is lost; the stopwatch runs on page 1; the sensor
    // at its lowest is under range; ON while running restarts; the timer
    // stays unexpired.
    const CoverageData d =
        Covered("on\npasses 10\noff\nwait 2s\nkey cw\nkey left\nsensor 0\nwait 1s\non\nwait 2s\n");
    EXPECT_GT(Seen(d, "off_during_splash"), 0u);
    EXPECT_GT(Seen(d, "stopwatch_running"), 0u);
    EXPECT_GT(Seen(d, "oat_under_range"), 0u);
    EXPECT_GT(Seen(d, "on_while_running"), 0u);
    for (const char* never :
         {"timer_expired", "alarm_reached", "oat_over_range", "minmax_reset", "unit_changed", "utc_set",
          "zone_wrapped_up", "zone_wrapped_down", "keyfast_used", "calibrate_used", "inactivity_return"})
        EXPECT_EQ(0u, Seen(d, never)) << never;
    EXPECT_GT(d.homePages[1], 0u);
    EXPECT_EQ(0u, d.homePages[2]);

    // KeyFast on PRESET TIMER's first field.
    const CoverageData k = Covered(
        "keyfast on\non\nwait 2s\nkey menu\nkey cw\nkey cw\nkey menu\nkey cw\n"
        "expect TimerPresetHours 10\n");
    EXPECT_GT(Seen(k, "keyfast_used"), 0u);
    EXPECT_EQ(1u, Row(k, "TimerPresetScreen", 0)->changed);
}

// The timer and the alarm expire and are acknowledged, the OAT page resets
// min/max, DISP SETUP changes the unit, SET UTC TIME sets the clock, the
// second zone wraps both ways, the sensor goes over range, Calibrate is
// checked; each step is checked by the script itself.
TEST(Coverage, TheInstrumentsNotableEventsAreEachSeen) {
    std::string zones;
    for (int i = 0; i < ZONE_UTC_ZULU; i++) zones += "key right\n";
    const CoverageData d =
        Covered("on\nwait 2s\n" + zones +
                "expect SecondZone 0\nkey right\nexpect SecondZone 152\nkey left\n"
                "expect SecondZone 0\n"
                "key cw\nkey cw\nkey left\nwait 2s\nexpect ExpiryFlags 1\nkey left\n"
                "expect AckFlags 1\n"
                "key cw\nkey left\nwait 2s\nexpect ExpiryFlags 3\nkey left\nexpect AckFlags 3\n"
                "key cw\nkey left\nexpect HookMinMaxReset 2\nkey cw\n"
                "key menu\nkey cw\nkey menu\nkey cw\nkey cw\nkey cw\nkey menu\nkey cw\n"
                "expect TempUnitF 1\nkey menu\nkey ccw\nkey ccw\nkey ccw\nkey menu\n"
                "key cw\nkey cw\nkey cw\nkey menu\nkey cw\nkey menu\nkey cw\n"
                "key menu\nkey menu\nkey menu\nkey menu\nkey menu\nkey menu\n"
                "expect ScreenHandler TimeSetupScreen\nexpect UtcTime.Year 127\n"
                "calibrate on\nsensor 4096\nwait 1s\n");
    for (const char* seen : {"timer_expired", "timer_acknowledged", "alarm_reached", "alarm_acknowledged",
                             "minmax_reset", "unit_changed", "utc_set", "zone_wrapped_up",
                             "zone_wrapped_down", "calibrate_used", "oat_over_range"})
        EXPECT_GT(Seen(d, seen), 0u) << seen;
    for (const char* never : {"stopwatch_running", "oat_under_range", "inactivity_return", "keyfast_used",
                              "on_while_running", "off_during_splash"})
        EXPECT_EQ(0u, Seen(d, never)) << never;
    EXPECT_EQ(1u, Seen(d, "utc_set"));
    EXPECT_EQ(1u, Seen(d, "unit_changed"));
    EXPECT_EQ(1u, Seen(d, "zone_wrapped_down"));
}

TEST(Coverage, JsonRoundTripsAndMergeAddsEveryCount) {
    const CoverageData a = Covered("on\nwait 2s\nkey menu\n");
    const CoverageData b = Covered("on\nwait 2s\nkey cw\nkey cw\n");
    CoverageData back;
    std::string why;
    ASSERT_TRUE(ParseCoverageJson(CoverageJson(a), &back, &why)) << why;
    EXPECT_EQ(CoverageJson(a), CoverageJson(back));
    CoverageData m = EmptyCoverage();
    ASSERT_TRUE(MergeCoverage(&m, a, &why)) << why;
    ASSERT_TRUE(MergeCoverage(&m, b, &why)) << why;
    EXPECT_EQ(1u, Moves(m, "HomeScreen", "MainMenuScreen"));
    EXPECT_GT(m.homePages[2], 0u);
    EXPECT_EQ(a.screens[0].passes + b.screens[0].passes, m.screens[0].passes);
    CoverageData foreign = a;
    foreign.screens[0].name = "NoSuchScreen";
    EXPECT_FALSE(MergeCoverage(&m, foreign, &why));
    EXPECT_NE(why.find("NoSuchScreen"), std::string::npos);
}

// The suite's processes each write their share; the parent merges them all.
TEST(Coverage, ASuiteMergesEveryScriptAndGatesOnTheMinimum) {
    const std::string dir = TempDir(), tmx5 = TMX5_BINARY;
    std::filesystem::create_directories(dir + "/suite");
    std::ofstream(dir + "/suite/a.tmx") << "on\nwait 2s\nkey menu\nexpect ScreenHandler MainMenuScreen\n";
    std::ofstream(dir + "/suite/b.tmx") << "on\nwait 2s\nkey ccw\nexpect HomePage 4\n";
    std::ofstream(dir + "/suite/c.tmx") << "on\nwait 2s\nkey cw\nkey left\nwait 1s\n";
    Result r = Sh(tmx5 + " run -j 2 --coverage " + dir + "/c.json --coverage-html " + dir + "/c.html " + dir +
                  "/suite");
    ASSERT_EQ(0, r.code) << r.out << r.err;
    EXPECT_NE(
        r.out.find("3 passed, 0 failed\ncoverage: screens 2/12, pages 3/5, transitions 1/22, keys 4/60"),
        std::string::npos)
        << r.out;
    CoverageData d;
    std::string why;
    ASSERT_TRUE(ReadCoverageJson(dir + "/c.json", &d, &why)) << why;
    EXPECT_GT(d.homePages[4], 0u);
    EXPECT_GT(Seen(d, "stopwatch_running"), 0u);
    EXPECT_EQ(1u, Moves(d, "HomeScreen", "MainMenuScreen"));
    const std::string html = ReadFile(dir + "/c.html");
    EXPECT_NE(html.find("<svg"), std::string::npos);
    EXPECT_NE(html.find("stroke-dasharray"), std::string::npos); // the untaken ways
    EXPECT_NE(html.find("Screens never opened"), std::string::npos);
    EXPECT_EQ(std::string::npos, html.find("<script"));

    // One script alone prints the line too; a gate above what it covers fails it.
    r = Sh(tmx5 + " run --coverage-min 50 " + dir + "/suite/a.tmx");
    EXPECT_EQ(1, r.code);
    EXPECT_NE(r.out.find("coverage: screens 2/12"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("coverage below 50 %: screens 2/12"), std::string::npos) << r.err;
    r = Sh(tmx5 + " run --coverage-min 0 " + dir + "/suite");
    EXPECT_EQ(0, r.code) << r.err;
    r = Sh(tmx5 + " run --coverage-min 101 " + dir + "/suite/a.tmx");
    EXPECT_EQ(2, r.code);
    EXPECT_NE(r.err.find("--coverage-min takes a percentage"), std::string::npos);
}

TEST(Coverage, BadCoverageAndExploreOptionsAreNamedWithStatusTwo) {
    const std::string dir = TempDir(), tmx5 = TMX5_BINARY;
    std::ofstream(dir + "/ok.tmx") << "on\nwait 2s\n";
    const struct {
        std::string args;
        const char* says;
    } rows[] = {
        {"run --coverage-min 50x " + dir + "/ok.tmx",
         "--coverage-min takes a percentage from 0 to 100, not 50x"},
        {"run --coverage-min -1 " + dir + "/ok.tmx", "--coverage-min takes a percentage"},
        {"run --coverage " + dir + "/ok.tmx", "give a script"},
        {"run --coverage-html", "--coverage-html needs a value"},
        {"run --coverage /dev/full/c.json " + dir + "/ok.tmx", "cannot write /dev/full/c.json"},
        {"explore", "give the folder to write the suite to"},
        {"explore --out", "--out needs a folder"},
        {"explore --out " + dir + " --bogus", "unknown option --bogus"},
        {"explore --out /dev/null/x", "cannot make the folder /dev/null/x/frames"},
    };
    for (const auto& r : rows) {
        const Result res = Sh(tmx5 + " " + r.args);
        EXPECT_EQ(2, res.code) << r.args << "\n" << res.err;
        EXPECT_NE(res.err.find(r.says), std::string::npos) << r.args << "\n" << res.err;
    }
}

// The suite explore writes passes, covers what it reached, and a changed
// pixel in any screen turns it red.
TEST(Explore, WritesASuiteThatPassesCoversEveryReachableScreenAndCatchesAPixel) {
    const std::string dir = TempDir(), tmx5 = TMX5_BINARY;
    Result r = Sh(tmx5 + " explore --out " + dir + "/suite");
    ASSERT_EQ(0, r.code) << r.out << r.err;
    EXPECT_NE(r.out.find("unreachable: none"), std::string::npos) << r.out;
    r = Sh(tmx5 + " run -j 2 --coverage " + dir + "/c.json " + dir + "/suite");
    ASSERT_EQ(0, r.code) << r.out << r.err;
    EXPECT_NE(r.out.find("coverage: screens 12/12, pages 5/5, transitions 22/22, keys 60/60, fields 35/35"),
              std::string::npos)
        << r.out;
    // A pixel of the CONTRAST screen's reference, flipped.
    const std::string ref = dir + "/suite/frames/screen-contrast.pbm";
    std::string pbm = ReadFile(ref);
    ASSERT_FALSE(pbm.empty());
    const size_t at = pbm.find_first_of("01", pbm.find('\n', pbm.find('\n') + 1));
    ASSERT_NE(std::string::npos, at);
    pbm[at] = pbm[at] == '0' ? '1' : '0';
    std::ofstream(ref, std::ios::binary) << pbm;
    r = Sh(tmx5 + " run -j 2 " + dir + "/suite");
    EXPECT_EQ(1, r.code) << r.out;
    EXPECT_NE(r.out.find("FAIL " + dir + "/suite/screen-contrast.tmx"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("1 failed"), std::string::npos) << r.out;
}

} // namespace
