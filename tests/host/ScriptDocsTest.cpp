// --help, --man, docs/SCRIPTS.md and the parser all come from one table; this
// fails when any of them drifts (a hand-edited usage text, a stale reference,
// a row whose example the parser refuses, a name print does not take).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>
#include <string>

#include "RunnerTestSupport.h"
#include "headless/ScriptRunner.h"
#include "runtime/State.h"
#include "script/CommandLine.h"
#include "script/ScriptCommands.h"
#include "script/ScriptReference.h"
#include "sim/PanelNames.h"
#include "state/StateNames.h"

namespace {

std::string Output(const std::string& args) {
    std::string out;
    if (FILE* p = popen((std::string(TMX5_BINARY) + " " + args).c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
        pclose(p);
    }
    return out;
}

bool Loads(const std::string& line) {
    std::ostringstream out, err;
    ScriptRunner runner(out, err);
    return runner.Load(line + "\n", "t.tmx", ".");
}

TEST(ScriptDocs, HelpManAndReferenceAgreeWithTheParsersTable) {
    const std::string help = Output("--help"), man = Output("--man"), reference = Output("--reference");
    EXPECT_EQ(ReadFile(std::string(TMX5_SOURCE_DIR) + "/docs/SCRIPTS.md"), reference)
        << "docs/SCRIPTS.md is stale: build/host/tmx5 --reference > docs/SCRIPTS.md";
    EXPECT_EQ(help, UsageText());
    for (const ScriptCommandRow& row : ScriptCommandTable()) {
        EXPECT_TRUE(Loads(row.example)) << row.example;
        EXPECT_NE(help.find(std::string("\n  ") + row.name), std::string::npos) << row.name;
        std::string roffName;
        for (const char* p = row.name; *p; p++) roffName += *p == '-' ? "\\-" : std::string(1, *p);
        EXPECT_NE(man.find(".B \"" + roffName), std::string::npos) << row.name;
        EXPECT_NE(reference.find("### `" + std::string(row.name)), std::string::npos) << row.name;
    }
    for (const ProgramOption& o : ProgramOptions()) EXPECT_NE(help.find(o.synopsis), std::string::npos);
    for (const NameDoc& d : ScriptNameDocs()) {
        const std::string name = d.name.substr(0, d.name.find('['));
        EXPECT_TRUE(Loads("print " + name + (name == d.name ? "" : "[0]"))) << d.name;
        EXPECT_NE(man.find(".B \"" + d.name), std::string::npos) << d.name;
        // The reference tells a user what each number means: a row without a meaning leaves a blank there.
        EXPECT_FALSE(d.meaning.empty()) << d.name
                                        << " has no meaning in its row (runtime/StateTable.h; TIME_FIELDS "
                                           "and HOOK_LIST in runtime/State.h)";
    }
    // Each panel name's row documents it, and what its reader gives is a
    // value expect takes (a recording ends with it).
    ResetInstrumentState();
    for (const PanelName& n : PanelNames()) {
        EXPECT_TRUE(*n.type && *n.range && *n.meaning)
            << n.name << " lacks its documentation (sim/PanelNames.cpp)";
        EXPECT_TRUE(Loads(std::string("expect ") + n.name + " " + n.read(PanelView()))) << n.name;
    }
}

// An option or a key added without what --help, the man page and the
// reference need leaves a hole there; a range that the message does not name
// misleads whoever gives a bad value.
TEST(ScriptDocs, EveryOptionAndKeyRowHasItsDocs) {
    const std::string help = UsageText();
    auto number = [](double v) {
        char t[32];
        std::snprintf(t, sizeof t, "%.15g", v);
        return std::string(t);
    };
    for (const OptionRow& row : OptionTable()) {
        ASSERT_NE(row.name, nullptr);
        EXPECT_EQ(row.name[0], '-') << row.name;
        EXPECT_TRUE(row.help && std::strlen(row.help) > 10) << row.name << " has no help text";
        EXPECT_EQ(FindOption(row.command, row.name), &row) << row.name << " is in the table twice";
        if (row.arg == OPTARG_NONE) continue;
        EXPECT_TRUE(row.metavar && *row.metavar) << row.name << " takes a value but does not say what";
        EXPECT_NE(help.find(std::string(row.name) + " " + row.metavar), std::string::npos) << row.name;
        if (row.arg == OPTARG_PATH) continue;
        ASSERT_TRUE(row.bad && std::strstr(row.bad, "%s")) << row.name << " has no message for a bad value";
        if (row.arg == OPTARG_WHOLE || row.arg == OPTARG_DECIMAL) {
            EXPECT_NE(std::string(row.bad).find(number(row.lo)), std::string::npos) << row.bad;
            EXPECT_NE(std::string(row.bad).find(number(row.hi)), std::string::npos) << row.bad;
        }
    }
    // Every key the instrument has, once, with a word and its docs.
    const std::string reference = ScriptReferenceMarkdown();
    std::set<int> codes;
    for (const KeyRow& key : KeyTable()) {
        EXPECT_TRUE(codes.insert(key.code).second) << key.word << " shares its code";
        EXPECT_TRUE(key.help && *key.help) << key.word;
        EXPECT_EQ(KeyWord(key.code), key.word);
        EXPECT_TRUE(Loads(std::string("key ") + key.word)) << key.word;
        EXPECT_NE(reference.find(std::string(key.word) + ": " + key.help), std::string::npos) << key.word;
    }
    EXPECT_EQ(codes, (std::set<int>{KEY_MENU, KEY_CW, KEY_CCW, KEY_LEFT, KEY_RIGHT}));
    // KeyCode's meaning in the reference names each code by its key word.
    const StateName* keyCode = FindStateName("KeyCode");
    ASSERT_NE(keyCode, nullptr);
    for (const KeyRow& key : KeyTable())
        EXPECT_NE(std::string(keyCode->meaning).find(std::to_string(key.code) + " " + key.word),
                  std::string::npos)
            << keyCode->meaning;
}

} // namespace

namespace {

// Followed in order, the screens guide ran the demo and then copied every
// picture of examples/frames into docs/screens, the demo's three with them.
// The copy it gives must take the tour's pictures, and only those: the ones
// the gallery shows.
TEST(GuideCommands, TheGalleryRegenerationCopiesTheToursPicturesOnly) {
    const std::string source = TMX5_SOURCE_DIR, dir = TempDir();
    const std::string guide = ReadFile(source + "/docs/SCREENS.md");
    const size_t copy = guide.find("&& cp examples/frames/");
    ASSERT_NE(copy, std::string::npos);
    const size_t from = copy + std::string("&& cp examples/").size();
    const std::string pattern = guide.substr(from, guide.find(' ', from) - from);
    ASSERT_EQ(guide.compare(from + pattern.size(), 14, " docs/screens/"), 0) << pattern;
    for (const char* script : {"demo.tmx", "tour.tmx"})
        ASSERT_EQ(
            Sh(std::string(TMX5_BINARY) + " run --out " + dir + " " + source + "/examples/" + script).code, 0)
            << script;
    const Result copied = Sh("cd " + dir + " && ls " + pattern + " | sed 's|.*/||'");
    const Result gallery = Sh("ls " + source + "/docs/screens");
    EXPECT_EQ(copied.out, gallery.out);
}

} // namespace
