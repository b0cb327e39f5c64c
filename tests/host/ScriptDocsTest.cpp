// --help, --man, docs/SCRIPTS.md and the parser all come from one table; this
// fails when any of them drifts (a hand-edited usage text, a stale reference,
// a row whose example the parser refuses, a name print does not take).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "PictureReading.h"
#include "RunnerTestSupport.h"
#include "headless/ScriptRunner.h"
#include "script/ScriptCommands.h"
#include "script/ScriptReference.h"

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
}

} // namespace

namespace {

// The text of the first fenced block of `kind` at or after `from` in a page;
// `from` is moved past it.
std::string FencedBlock(const std::string& page, const std::string& kind, size_t* from) {
    const std::string open = "```" + kind + "\n";
    const size_t start = page.find(open, *from);
    if (start == std::string::npos) return "";
    const size_t end = page.find("```", start + open.size());
    *from = end == std::string::npos ? page.size() : end + 3;
    return page.substr(start + open.size(), end - start - open.size());
}

// The first backquoted text at or after `from` that starts with `prefix`.
std::string Quoted(const std::string& page, const std::string& prefix, size_t from) {
    const size_t start = page.find("`" + prefix, from);
    if (start == std::string::npos) return "";
    return page.substr(start + 1, page.find('`', start + 1) - start - 1);
}

// The README's first scenario, saved as first.tmx and run as the README runs
// it, prints what the README shows, snaps the picture shown beside it, and
// with the changed line the README gives fails with the message it quotes.
TEST(DocsCommands, TheReadmesFirstScenarioDoesWhatTheReadmeShows) {
    const std::string source = TMX5_SOURCE_DIR, dir = TempDir();
    const std::string readme = ReadFile(source + "/README.md");
    size_t at = readme.find("## A first scenario");
    ASSERT_NE(at, std::string::npos);
    const std::string script = FencedBlock(readme, "text", &at), shown = FencedBlock(readme, "text", &at);
    ASSERT_FALSE(script.empty());
    ASSERT_FALSE(shown.empty());
    Write(dir + "/first.tmx", script);
    const std::string run = "cd " + dir + " && " + TMX5_BINARY + " run first.tmx";
    const Result passed = Sh(run);
    EXPECT_EQ(passed.code, 0) << passed.err;
    EXPECT_EQ(passed.out, shown);

    RgbPicture snapped, pictured;
    std::string why;
    ASSERT_TRUE(ReadPng(ReadFile(dir + "/first.png"), &snapped, &why)) << why;
    ASSERT_TRUE(ReadPng(ReadFile(source + "/docs/first-scenario.png"), &pictured, &why)) << why;
    EXPECT_EQ(snapped.width, pictured.width);
    EXPECT_EQ(snapped.height, pictured.height);
    EXPECT_TRUE(snapped.rgb == pictured.rgb) << "docs/first-scenario.png is not what first.tmx snaps";

    // "Change the Nth line to `LINE` ... `first.tmx:N: MESSAGE`"
    const std::string changed = Quoted(readme, "expect ", at), message = Quoted(readme, "first.tmx:", at);
    ASSERT_FALSE(changed.empty());
    ASSERT_FALSE(message.empty());
    const int line = std::atoi(message.c_str() + std::string("first.tmx:").size());
    std::istringstream lines(script);
    std::string edited, text;
    for (int n = 1; std::getline(lines, text); n++) edited += (n == line ? changed : text) + "\n";
    Write(dir + "/first.tmx", edited);
    const Result failed = Sh(run);
    EXPECT_EQ(failed.code, 1);
    EXPECT_EQ(failed.err, message + "\n");
}

// Followed in order, the screens guide ran the demo and then copied every
// picture of examples/frames into docs/screens, the demo's three with them.
// The copy it gives must take the tour's pictures, and only those: the ones
// the gallery shows.
TEST(DocsCommands, TheGalleryRegenerationCopiesTheToursPicturesOnly) {
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
