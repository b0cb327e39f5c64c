// The README's first scenario, as a newcomer follows it: saved as first.tmx
// and run with tmx5 run, it prints what the README shows, snaps the picture
// shown beside it, and the changed line the README gives fails with the
// message the README quotes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "PictureReading.h"
#include "RunnerTestSupport.h"

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

TEST(ReadmeCommands, TheFirstScenarioDoesWhatTheReadmeShows) {
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

} // namespace
