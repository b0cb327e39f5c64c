// The runner's tools for writing scenarios: expect-text, the readable
// expect-frame failure with its pictures, ignore boxes, --update-frames.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "PictureReading.h"
#include "RunnerTestSupport.h"
#include "frames/FrameConvert.h"
#include "frames/FrameDiff.h"
#include "frames/FrameFiles.h"
#include "frames/TextCheck.h"
#include "headless/ScriptRunner.h"
#include "lcd/Lcd.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string l;
    while (std::getline(in, l)) lines.push_back(l);
    return lines;
}

// Pixel of the large font's glyph as the font table stores it: column byte
// k, least significant bit the top row.
bool LargeGlyphBit(char ch, int k, int r) { return (LargeFont[(ch - 32) * 8 + k] >> r) & 1; }

const char* HomePage = "on\nwait 2s\n"; // the zone page after the splash, header "UTC Zulu"

// A frame of the home page, and a copy with the given pixels flipped,
// written as reference ref.pbm.
void WriteFlippedReference(const std::string& dir, const std::vector<std::pair<int, int>>& flips, u8* home) {
    ASSERT_EQ(RunText(std::string(HomePage) + "snap home.pbm\n", dir).code, 0);
    std::string why;
    ASSERT_TRUE(ReadFramePbm(dir + "/home.pbm", home, &why)) << why;
    u8 px[LCD_HEIGHT][LCD_WIDTH];
    FrameToPixels(home, px);
    for (auto f : flips) px[f.second][f.first] ^= 1;
    u8 ref[LCD_BYTES];
    PixelsToFrame(px, ref);
    ASSERT_TRUE(WriteFramePbm(dir + "/ref.pbm", ref));
}

// --- expect-text ------------------------------------------------------------------

TEST(TextCells, WhereTheCellsLieAndHowTheyClip) {
    struct Row {
        const char* name;
        int x, y;
        bool centred, tall, small;
        const char* text;
        int firstColumn, lastColumn, columnCount, firstRow, lastRow;
    } rows[] = {
        {"large at 0,0", 0, 0, false, false, false, "AB", 0, 15, 16, 0, 7},
        {"double height", 0, 0, false, true, false, "AB", 0, 15, 16, 0, 15},
        {"small: rows y-1..y+6", 0, 10, false, false, true, "ABC", 0, 17, 18, 9, 16},
        {"large centred on 57", 57, 8, true, false, false, "AB", 49, 64, 16, 8, 15},
        {"small centred on 57", 57, 10, true, false, true, "AB", 51, 62, 12, 9, 16},
        {"clipped at column 113", 110, 0, false, false, false, "AB", 110, 113, 4, 0, 7},
        {"x 253 runs in from column 0", 253, 0, false, false, false, "AB", 0, 12, 13, 0, 7},
        {"15 centred on 57 start at 253", 57, 0, true, false, false, " MAIN TIMEZONE ", 0, 113, 114, 0, 7},
        {"double clipped at row 63", 0, 60, false, true, false, "A", 0, 7, 8, 60, 63},
        {"small at y 0 loses row -1", 0, 0, false, false, true, "A", 0, 5, 6, 0, 6},
        {"y 255 wraps to the top", 0, 255, false, false, false, "A", 0, 7, 8, 0, 6},
    };
    for (const Row& r : rows) {
        TextExpectation t;
        t.x = r.x, t.y = r.y, t.centred = r.centred, t.tall = r.tall, t.small = r.small, t.text = r.text;
        std::vector<int> columns, rows_;
        TextCells(t, &columns, &rows_);
        ASSERT_FALSE(columns.empty() || rows_.empty()) << r.name;
        EXPECT_EQ(columns.front(), r.firstColumn) << r.name;
        EXPECT_EQ(columns.back(), r.lastColumn) << r.name;
        EXPECT_EQ((int)columns.size(), r.columnCount) << r.name;
        EXPECT_EQ(rows_.front(), r.firstRow) << r.name;
        EXPECT_EQ(rows_.back(), r.lastRow) << r.name;
    }
}

TEST(TextCompare, WholeCellsCountAndTheInstrumentsFrameBufferIsKept) {
    // "AB" at (10, 20): cells are columns 10..25, rows 20..27 (20..35 double).
    struct Row {
        const char* name;
        int x, y; // pixel flipped in a frame holding exactly the text
        bool tall;
        int differ;
    } rows[] = {
        {"nothing flipped", -1, -1, false, 0},
        {"inside the first cell", 10, 20, false, 1},
        {"last column of the last cell", 25, 27, false, 1},
        {"column right of the cells", 26, 20, false, 0},
        {"column left of the cells", 9, 20, false, 0},
        {"row below single height", 10, 28, false, 0},
        {"row below, inside double height", 10, 28, true, 1},
        {"row below double height", 10, 36, true, 0},
        {"row above", 10, 19, false, 0},
    };
    for (const Row& r : rows) {
        TextExpectation t;
        t.x = 10, t.y = 20, t.tall = r.tall, t.text = "AB";
        u8 frame[LCD_BYTES];
        RenderText(t, frame);
        u8 px[LCD_HEIGHT][LCD_WIDTH];
        FrameToPixels(frame, px);
        if (r.x >= 0) px[r.y][r.x] ^= 1;
        PixelsToFrame(px, frame);
        for (int i = 0; i < LCD_BYTES; i++) FrameBuffer[i] = (u8)(i * 7);
        std::string strips;
        EXPECT_EQ(CompareText(t, frame, &strips), r.differ) << r.name;
        EXPECT_EQ(strips.empty(), r.differ == 0) << r.name;
        for (int i = 0; i < LCD_BYTES; i++) ASSERT_EQ(FrameBuffer[i], (u8)(i * 7)) << r.name;
    }
}

TEST(TextCompare, InverseAndSmallTextAgainstABlankFrame) {
    u8 blank[LCD_BYTES] = {};
    std::string strips;
    TextExpectation t;
    t.x = 0, t.y = 8, t.text = "A";
    int glyphBits = 0;
    for (int k = 0; k < 8; k++)
        for (int r = 0; r < 8; r++) glyphBits += LargeGlyphBit('A', k, r);
    EXPECT_EQ(CompareText(t, blank, &strips), glyphBits);
    t.inverse = true; // every pixel of the cell is written: the unlit ones of the glyph are lit
    EXPECT_EQ(CompareText(t, blank, &strips), 64 - glyphBits);
    t.inverse = false;
    t.small = true;
    t.text = " ";
    EXPECT_EQ(CompareText(t, blank, &strips), 0);
    t.inverse = true; // a small inverse space is a lit 6 x 8 block
    EXPECT_EQ(CompareText(t, blank, &strips), 48);
}

TEST(ExpectText, HeldOnTheInstrumentsOwnScreens) {
    std::string dir = TempDir();
    Result res = RunText(
        std::string(HomePage) +
            "expect-text-centred 57 0 \"UTC Zulu\"\n"
            "key menu\nexpect-text-centred 57 0 \"MAIN MENU\" ; expect-text-centred 73 18 double \"EXIT\" ; "
            "expect-text-centred 73 36 double \"MENU\"\n"
            "key cw\nkey cw\nkey cw\nkey cw\nkey menu\n"
            "expect ScreenHandler TimeSetupScreen\nexpect-text-centred 57 8 inverse \"*** DONE ***\"\n",
        dir);
    EXPECT_EQ(res.code, 0) << res.err;
}

TEST(ExpectText, TitleBlanksHoldTheRulesSoTheyDifferInFivePixels) {
    // " MAIN MENU " spans columns 13..100; its left rule (columns 0..15) lies
    // in three columns of the leading blank's cell, its right rule (99..113)
    // in two of the trailing one, all in row 4.
    std::string dir = TempDir();
    Result res = RunText(std::string(HomePage) + "key menu\nexpect-text-centred 57 0 \" MAIN MENU \"\n", dir);
    EXPECT_EQ(res.code, 1);
    std::vector<std::string> lines = Lines(res.err);
    ASSERT_EQ(lines.size(), 1u + 1 + 8 + 1 + 8) << res.err;
    EXPECT_EQ(lines[0], "t.tmx:4: expected text \" MAIN MENU \" at (57, 0), 5 pixels differ");
    EXPECT_EQ(lines[1], "  expected:");
    EXPECT_EQ(lines[10], "  actual:");
    for (int r = 0; r < 8; r++) {
        const std::string& want = lines[2 + r];
        const std::string& got = lines[11 + r];
        ASSERT_EQ(want.size(), 2u + 88) << r;
        ASSERT_EQ(got.size(), 2u + 88) << r;
        for (int c = 0; c < 88; c++) {
            const char* text = " MAIN MENU ";
            const bool glyph = LargeGlyphBit(text[c / 8], c % 8, r);
            const int x = 13 + c;
            const bool rule = r == 4 && (x <= 15 || x >= 99);
            EXPECT_EQ(want[2 + c], glyph ? '#' : '.') << "row " << r << " column " << x;
            EXPECT_EQ(got[2 + c], glyph || rule ? '#' : '.') << "row " << r << " column " << x;
        }
    }
}

TEST(ExpectText, OneWrongLetterShowsBothStrips) {
    std::string dir = TempDir();
    Result res = RunText(std::string(HomePage) + "expect-text-centred 57 0 \"UTC Zulo\"\nprint Power\n", dir);
    EXPECT_EQ(res.code, 1);
    EXPECT_EQ(res.out, "");
    int differ = 0;
    for (int k = 0; k < 8; k++)
        for (int r = 0; r < 8; r++) differ += LargeGlyphBit('u', k, r) != LargeGlyphBit('o', k, r);
    std::vector<std::string> lines = Lines(res.err);
    ASSERT_EQ(lines.size(), 19u) << res.err;
    EXPECT_EQ(lines[0],
              "t.tmx:3: expected text \"UTC Zulo\" at (57, 0), " + std::to_string(differ) + " pixels differ");
    for (int r = 0; r < 8; r++) // the strips differ only in the last cell
        EXPECT_EQ(lines[2 + r].substr(0, 2 + 56), lines[11 + r].substr(0, 2 + 56)) << r;
}

TEST(ExpectText, BadLinesAreRejectedAtLoad) {
    struct Row {
        const char* line;
        const char* says;
    } rows[] = {
        {"expect-text 0 0 UTC", "double quotes"},
        {"expect-text 0 0", "usage: expect-text X Y"},
        {"expect-text-centred 57", "usage: expect-text-centred"},
        {"expect-text 256 0 \"A\"", "0 to 255"},
        {"expect-text 0 -1 \"A\"", "0 to 255"},
        {"expect-text 0 0 \"A", "closing quote"},
        {"expect-text 0 0 \"A ; print Power", "closing quote"},
        {"expect-text 0 0 \"A\"B", "nothing may follow"},
        {"expect-text 0 0 \"A\" \"B\"", "nothing may follow"},
        {"expect-text 0 0 \"\"", "empty"},
        {"expect-text 0 0 \"0123456789012345678901234567890X\"", "at most 31"},
        {"expect-text 0 0 \"\x80\"", "codes 32 to 127"},
        {"expect-text 0 0 \"a\tb\"", "codes 32 to 127"},
        {"expect-text 0 0 \"a\\n\"", "backslash"},
        {"expect-text 0 0 bold \"A\"", "unknown flag bold"},
        {"expect-text 0 0 double double \"A\"", "twice"},
        {"expect-text 0 0 small double \"A\"", "no double height"},
        {"expect-text 114 0 \"A\"", "wholly outside"},
        {"expect-text 0 64 \"A\"", "wholly outside"},
        {"expect-frame f.pbm ignore", "four numbers"},
        {"expect-frame f.pbm ignore 0 0 10", "four numbers"},
        {"expect-frame f.pbm ignore 0 0 10 10 1", "four numbers"},
        {"expect-frame f.pbm ignore 0 0 114 10", "x 0 to 113 and y 0 to 63"},
        {"expect-frame f.pbm ignore 0 0 10 64", "x 0 to 113 and y 0 to 63"},
        {"expect-frame f.pbm ignore 0 0 1 1 0 -1 1 1", "x 0 to 113 and y 0 to 63"},
        {"expect-frame f.pbm ignore 10 0 9 5", "top left corner"},
        {"expect-frame f.pbm ignore 0 6 9 5", "top left corner"},
        {"expect-frame f.pbm skip 0 0 1 1", "usage: expect-frame"},
    };
    std::string dir = TempDir();
    for (const Row& r : rows) {
        Result res = RunText("snap first.txt\n" + std::string(r.line) + "\n", dir);
        EXPECT_EQ(res.code, 2) << r.line;
        EXPECT_EQ(res.err.rfind("t.tmx:2: ", 0), 0u) << r.line << " -> " << res.err;
        EXPECT_NE(res.err.find(r.says), std::string::npos) << r.line << " -> " << res.err;
        EXPECT_EQ(ReadFile(dir + "/first.txt"), "") << r.line;
    }
}

TEST(ExpectText, QuotedTextKeepsBlanksSeparatorsCommentsAndEscapes) {
    struct Row {
        const char* line;
        const char* text;
        size_t commands;
    } rows[] = {
        {"expect-text 0 8 \" MAIN MENU \"", " MAIN MENU ", 1},
        {"expect-text 0 8 \"a;b#c\" ; print Power # \"a comment", "a;b#c", 2},
        {"expect-text 0 8 \"say \\\"hi\\\" \\\\o/\"", "say \"hi\" \\o/", 1},
        {"expect-text 0 8 \"0123456789012345678901234567890\"", "0123456789012345678901234567890", 1},
        {"expect-text 0 8 \"~\x7f\"", "~\x7f", 1},
        {"expect-text 255 0 small inverse \"A\"", "A", 1}, // column 255 dropped, 0..4 kept
        {"expect-text 113 63 double \"A\"", "A", 1},
    };
    for (const Row& r : rows) {
        std::ostringstream out, err;
        ScriptRunner runner(out, err);
        ASSERT_TRUE(runner.Load(r.line, "t.tmx", ".")) << r.line << " -> " << err.str();
        ASSERT_EQ(runner.Lines().size(), 1u) << r.line;
        ASSERT_EQ(runner.Lines()[0].commands.size(), r.commands) << r.line;
        EXPECT_EQ(runner.Lines()[0].commands[0].expectText.text, r.text) << r.line;
        std::string back, why;
        ASSERT_TRUE(UnquoteText(QuoteText(r.text), &back, &why)) << why;
        EXPECT_EQ(back, r.text);
    }
}

// --- expect-frame ---------------------------------------------------------------

TEST(ExpectFrame, FailureShowsBoxRowsSideBySideAndWritesBothPictures) {
    std::string dir = TempDir();
    u8 home[LCD_BYTES];
    // (5, 20) is unlit on the zone page (column 5 lies left of every text of
    // rows 16..31 but the OAT readout); check, then flip it and (7, 22).
    WriteFlippedReference(dir, {{5, 20}, {7, 22}}, home);
    ASSERT_EQ(FramePixel(home, 5, 20), 0);
    const bool lit722 = FramePixel(home, 7, 22);
    Result res = RunText(std::string(HomePage) + "expect-frame ref.pbm\n", dir);
    EXPECT_EQ(res.code, 1);
    std::vector<std::string> lines = Lines(res.err);
    ASSERT_EQ(lines.size(), 1u + 3 + 3 + 1) << res.err;
    EXPECT_EQ(lines[0], "t.tmx:3: expected frame ref.pbm, got 2 pixels different, the first at (5, 20)");
    EXPECT_EQ(lines[1], "  differences within (5, 20) to (7, 22), 3 x 3");
    EXPECT_NE(lines[2].find("'X' is lit but should be unlit, 'o' is unlit but should be lit"),
              std::string::npos);
    EXPECT_EQ(lines[3], "     y  expected  actual");
    // Row 20: the reference has (5, 20) lit, the frame not: 'o' on the right.
    auto cell = [&](int y, int x, bool actual) { return lines[4 + y - 20][8 + (actual ? 10 : 0) + x - 5]; };
    EXPECT_EQ(lines[4].substr(0, 8), "    20  ");
    EXPECT_EQ(cell(20, 5, false), '#');
    EXPECT_EQ(cell(20, 5, true), 'o');
    EXPECT_EQ(cell(22, 7, false), lit722 ? '.' : '#');
    EXPECT_EQ(cell(22, 7, true), lit722 ? 'X' : 'o');
    for (int y = 20; y <= 22; y++)
        for (int x = 5; x <= 7; x++)
            if (!((x == 5 && y == 20) || (x == 7 && y == 22))) {
                const char want = FramePixel(home, x, y) ? '#' : '.';
                EXPECT_EQ(cell(y, x, false), want) << x << "," << y;
                EXPECT_EQ(cell(y, x, true), want) << x << "," << y;
            }
    EXPECT_EQ(lines[7], "  wrote " + dir + "/ref.actual.pbm and " + dir + "/ref.diff.png");

    u8 actual[LCD_BYTES];
    std::string why;
    ASSERT_TRUE(ReadFramePbm(dir + "/ref.actual.pbm", actual, &why)) << why;
    EXPECT_EQ(std::memcmp(actual, home, LCD_BYTES), 0);
    RgbPicture pic;
    ASSERT_TRUE(ReadPng(ReadFile(dir + "/ref.diff.png"), &pic, &why)) << why;
    ASSERT_EQ(pic.width, 114 * DIFF_PNG_SCALE);
    ASSERT_EQ(pic.height, 64 * DIFF_PNG_SCALE);
    auto colour = [&](int x, int y) {
        const u8* p = pic.At(x * DIFF_PNG_SCALE, y * DIFF_PNG_SCALE + DIFF_PNG_SCALE - 1);
        return std::vector<u8>{p[0], p[1], p[2]};
    };
    auto expect = [](Rgb c) { return std::vector<u8>{c.r, c.g, c.b}; };
    EXPECT_EQ(colour(5, 20), expect(DiffColour(0, MARK_MISSING)));
    EXPECT_EQ(colour(7, 22), expect(DiffColour(lit722, lit722 ? MARK_EXTRA : MARK_MISSING)));
    EXPECT_EQ(colour(6, 21), expect(DiffColour(FramePixel(home, 6, 21), MARK_SAME)));
    EXPECT_NE(expect(DiffColour(0, MARK_MISSING)), expect(DiffColour(0, MARK_SAME)));
}

TEST(ExpectFrame, IgnoreBoxesHideDifferencesUpToTheirInclusiveEdges) {
    std::string dir = TempDir();
    u8 home[LCD_BYTES];
    WriteFlippedReference(dir, {{0, 0}, {10, 5}, {113, 63}}, home);
    struct Row {
        const char* boxes;
        int code;
        const char* first; // first line's tail when it fails
    } rows[] = {
        {"", 1, "got 3 pixels different, the first at (0, 0)"},
        {" ignore 0 0 10 5", 1, "got 1 pixel different, the first at (113, 63)"},
        {" ignore 0 0 10 5 113 63 113 63", 0, ""},
        {" ignore 0 0 113 63", 0, ""},
        {" ignore 1 0 113 63", 1, "got 1 pixel different, the first at (0, 0)"},
        {" ignore 0 0 9 5 112 0 113 63", 1, "got 1 pixel different, the first at (10, 5)"},
        {" ignore 0 0 10 4 113 63 113 63", 1, "got 1 pixel different, the first at (10, 5)"},
        {" ignore 0 0 0 0 10 5 10 5 0 63 113 63", 0, ""},
    };
    for (const Row& r : rows) {
        Result res = RunText(std::string(HomePage) + "expect-frame ref.pbm" + r.boxes + "\n", dir);
        EXPECT_EQ(res.code, r.code) << r.boxes << " -> " << res.err;
        if (r.code) {
            ASSERT_FALSE(res.err.empty());
            EXPECT_EQ(Lines(res.err)[0], std::string("t.tmx:3: expected frame ref.pbm, ") + r.first)
                << r.boxes;
        }
    }
    // The ignored pixels are blank on both sides of the rows.
    Result res = RunText(std::string(HomePage) + "expect-frame ref.pbm ignore 5 0 113 62\n", dir);
    std::vector<std::string> lines = Lines(res.err);
    ASSERT_GE(lines.size(), 68u);
    EXPECT_NE(lines[2].find("blank: ignored"), std::string::npos);
    // Row 0: (0, 0) lit in the reference only, x 1..4 unlit, x 5.. ignored.
    EXPECT_EQ(lines[4].substr(8, 6), "#.... ");
    EXPECT_EQ(lines[4].substr(8 + 114 + 2, 6), "o.... ");
}

TEST(ExpectFrame, MissingReferenceFailsAndNamesTheCommandThatWritesIt) {
    std::string dir = TempDir();
    Result res = RunText(std::string(HomePage) + "expect-frame new/home.pbm\n", dir);
    EXPECT_EQ(res.code, 1);
    EXPECT_EQ(res.err, "t.tmx:3: expected frame new/home.pbm, but " + dir +
                           "/new/home.pbm does not exist; tmx5 run --update-frames t.tmx writes it\n");
    EXPECT_EQ(ReadFile(dir + "/new/home.pbm"), "");
}

TEST(UpdateFrames, WritesNewAndChangedReferencesKeepsIgnoredPixelsAndSaysSo) {
    std::string dir = TempDir();
    u8 home[LCD_BYTES];
    WriteFlippedReference(dir, {{0, 0}, {1, 0}, {50, 50}}, home);
    ASSERT_TRUE(WriteFramePbm(dir + "/same.pbm", home));
    Result res =
        RunText(std::string(HomePage) +
                    "expect-frame ref.pbm ignore 0 0 0 0\nexpect-frame same.pbm\nexpect-frame sub/new.pbm\n"
                    "print Power\n",
                dir, true);
    EXPECT_EQ(res.code, 0) << res.err;
    EXPECT_EQ(res.err, "");
    EXPECT_EQ(res.out, "Power=on\nwrote " + dir + "/ref.pbm (changed, 2 pixels)\nwrote " + dir +
                           "/sub/new.pbm (new)\n");
    u8 ref[LCD_BYTES], made[LCD_BYTES];
    std::string why;
    ASSERT_TRUE(ReadFramePbm(dir + "/ref.pbm", ref, &why)) << why;
    ASSERT_TRUE(ReadFramePbm(dir + "/sub/new.pbm", made, &why)) << why;
    EXPECT_EQ(std::memcmp(made, home, LCD_BYTES), 0);
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 114; x++)
            EXPECT_EQ(FramePixel(ref, x, y), FramePixel(home, x, y) ^ (x == 0 && y == 0)) << x << "," << y;
    // Now the references hold, without the update.
    EXPECT_EQ(
        RunText(std::string(HomePage) + "expect-frame ref.pbm ignore 0 0 0 0\nexpect-frame sub/new.pbm\n",
                dir)
            .code,
        0);
}

// A broken reference used to fail the run even with --update-frames.
TEST(UpdateFrames, ABrokenReferenceIsRewrittenAndListed) {
    const struct {
        const char* bytes;
        const char* says;
    } rows[] = {
        {"P1\n114 64\n0 1 1 0\n", "ends before its last pixel"},
        {"P1\n2 2\n0 1 1 0\n", "is 2 x 2, not 114 x 64"},
        {"GIF89a", "is not a PBM picture (P1 or P4)"},
        {"", "is not a PBM picture (P1 or P4)"},
    };
    for (const auto& r : rows) {
        const std::string dir = TempDir();
        std::ofstream(dir + "/ref.pbm") << r.bytes;
        Result res = RunText(std::string(HomePage) + "expect-frame ref.pbm\n", dir);
        EXPECT_EQ(res.code, 1) << r.says;
        EXPECT_NE(res.err.find(r.says), std::string::npos) << res.err;
        res = RunText(std::string(HomePage) + "expect-frame ref.pbm\n", dir, true);
        EXPECT_EQ(res.code, 0) << res.err;
        EXPECT_EQ(res.out, "wrote " + dir + "/ref.pbm (replaced a broken reference: " + r.says + ")\n");
        EXPECT_EQ(RunText(std::string(HomePage) + "expect-frame ref.pbm\n", dir).code, 0) << r.says;
    }
}

TEST(UpdateFrames, AnotherFailedExpectationStillFailsAfterTheWrites) {
    std::string dir = TempDir();
    Result res = RunText(std::string(HomePage) + "expect-frame a.pbm\nexpect MainZone 44\n", dir, true);
    EXPECT_EQ(res.code, 1);
    EXPECT_EQ(res.err, "t.tmx:4: expected MainZone 44, got 43\n");
    EXPECT_EQ(res.out, "wrote " + dir + "/a.pbm (new)\n");
}

int Shell(const std::string& cmd) {
    int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(UpdateFrames, CommandLine) {
    const std::string tmx5 = TMX5_BINARY, dir = TempDir();
    std::ofstream(dir + "/s.tmx") << "on\nwait 2s\nexpect-frame f.pbm\n";
    EXPECT_EQ(Shell(tmx5 + " run " + dir + "/s.tmx 2> /dev/null"), 1);
    EXPECT_EQ(Shell(tmx5 + " run --update-frames " + dir + "/s.tmx > " + dir + "/out.txt"), 0);
    EXPECT_EQ(ReadFile(dir + "/out.txt"), "wrote " + dir + "/f.pbm (new)\n");
    EXPECT_EQ(Shell(tmx5 + " run " + dir + "/s.tmx"), 0);
    EXPECT_EQ(Shell(tmx5 + " run --update-frames 2> /dev/null"), 2);
    EXPECT_EQ(Shell(tmx5 + " run --update-frames a b 2> /dev/null"), 2);
}

} // namespace
