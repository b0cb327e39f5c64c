// Pictures and movies as a viewer sees them: snapshots read back with libpng,
// movies played back with giflib, and the commands that make them.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "PictureReading.h"
#include "RunnerTestSupport.h"
#include "frames/FrameConvert.h"
#include "frames/FrameFiles.h"
#include "headless/Movie.h"
#include "sim/SimPanel.h"

namespace {

const char* PowerOn = "on\nwait 2s\n";

// "" when the picture is the frame magnified scale times, lit black and
// unlit light grey; else the first pixel that is not.
std::string Differs(const RgbPicture& p, const u8* frame, int scale) {
    if (p.width != LCD_WIDTH * scale || p.height != LCD_HEIGHT * scale)
        return "size " + std::to_string(p.width) + " x " + std::to_string(p.height);
    for (int y = 0; y < p.height; y++)
        for (int x = 0; x < p.width; x++) {
            const u8 v = FramePixel(frame, x / scale, y / scale) ? 0 : 200;
            const u8* c = p.At(x, y);
            if (c[0] != v || c[1] != v || c[2] != v)
                return "pixel " + std::to_string(x) + "," + std::to_string(y);
        }
    return "";
}

u8* ReadPbm(const std::string& path, u8* frame) {
    std::string why;
    EXPECT_TRUE(ReadFramePbm(path, frame, &why)) << why;
    return frame;
}

TEST(Pictures, PngHoldsTheFramePixelForPixelAtEveryScaleAndTheHomePageIsSmall) {
    const std::string dir = TempDir();
    Result res =
        RunText(std::string(PowerOn) + "snap f.pbm\nsnap f1.png 1x\nsnap f2.png\nsnap f4.png 4x\n", dir);
    ASSERT_EQ(res.code, 0) << res.err;
    u8 frame[LCD_BYTES];
    ReadPbm(dir + "/f.pbm", frame);
    for (int scale : {1, 2, 4}) {
        const std::string png = ReadFile(dir + "/f" + std::to_string(scale) + ".png");
        RgbPicture p;
        std::string why;
        ASSERT_TRUE(ReadPng(png, &p, &why)) << scale << "x: " << why;
        EXPECT_EQ(Differs(p, frame, scale), "") << scale << "x";
        EXPECT_EQ(png[24], 1) << "1 bit a pixel";
        EXPECT_EQ(png[25], 3) << "palette";
    }
    // The 228 x 128 default of a home page; stored uncompressed it was 29 KB.
    EXPECT_LT(ReadFile(dir + "/f2.png").size(), 2048u);
    // The window and the page show the same magnification in their own
    // colours, in rows that may be wider than the picture (left alone there).
    const size_t stride = PANEL_PICTURE_WIDTH + 3;
    std::vector<uint32_t> shown(stride * PANEL_PICTURE_HEIGHT, 7);
    ColourPicture(frame, PANEL_SCALE, 1, 2, shown.data(), stride);
    for (size_t i = 0; i < shown.size(); i++) {
        const int x = (int)(i % stride), y = (int)(i / stride);
        const uint32_t want = x >= PANEL_PICTURE_WIDTH ? 7 : FramePixel(frame, x / 2, y / 2) ? 1 : 2;
        if (shown[i] != want) {
            ADD_FAILURE() << "shown picture differs first at " << x << "," << y;
            break;
        }
    }
}

// Runs a script whose file names may lead anywhere (here: links to /dev/full).
static Result RunAnyPath(const std::string& script, const std::string& dir) {
    std::ostringstream out, err;
    ScriptRunner runner(out, err);
    RunOptions options;
    options.allowAnyPath = true;
    runner.SetOptions(options);
    const int code = runner.Load(script, "t.tmx", dir) ? runner.Run() : 2;
    return {code, out.str(), err.str()};
}

TEST(Pictures, WriteErrorsEndTheRunWithStatusTwo) {
    const std::string dir = TempDir();
    ASSERT_EQ(symlink("/dev/full", (dir + "/full.png").c_str()), 0);
    ASSERT_EQ(symlink("/dev/full", (dir + "/full.gif").c_str()), 0);
    Result res = RunAnyPath("snap full.png 8x\n", dir);
    EXPECT_EQ(res.code, 2);
    // A device is refused before anything is written to it (a full disk: SafeFilesTest).
    EXPECT_NE(res.err.find("t.tmx:1: full.png is not a regular file (a character device)"), std::string::npos)
        << res.err;
    res = RunAnyPath(std::string(PowerOn) + "movie full.gif\nwait 3s\nmovie end\n", dir);
    EXPECT_EQ(res.code, 2);
    EXPECT_NE(res.err.find("full.gif is not a regular file (a character device)"), std::string::npos)
        << res.err;
}

// A frame with a box lit, for movies made of known frames.
void Box(u8* frame, int x0, int y0, int x1, int y1) {
    u8 px[LCD_HEIGHT][LCD_WIDTH] = {};
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++) px[y][x] = 1;
    PixelsToFrame(px, frame);
}

TEST(Movie, DelaysAddUpToTheVirtualTimeThroughBriefFramesAndLongHolds) {
    const std::string path = TempDir() + "/m.gif";
    u8 a[LCD_BYTES], b[LCD_BYTES], c[LCD_BYTES], d[LCD_BYTES];
    Box(a, 0, 0, 0, 0);
    Box(b, 10, 5, 20, 9);
    Box(c, 100, 60, 113, 63);
    Box(d, 50, 30, 60, 40);
    Movie m;
    ASSERT_TRUE(m.Start(path, 3, a, 1000)) << m.Error();
    ASSERT_TRUE(m.Add(a, 1100));   // the same frame: nothing new
    ASSERT_TRUE(m.Add(b, 1234));   // a until 234 ms: 23 hundredths
    ASSERT_TRUE(m.Add(c, 1249));   // b until 249 ms: 25 in all, so 2
    ASSERT_TRUE(m.Add(d, 1260));   // c until 260 ms: 26 in all, 1 is too brief to play: d takes it
    ASSERT_TRUE(m.Add(a, 701260)); // d for 700 s: 70026 in all, 70001 more, over two images
    ASSERT_TRUE(m.Add(b, 702000)); // first seen as the movie ends: not in it
    ASSERT_TRUE(m.Finish(702000)) << m.Error(); // a until 701 s: 70100 in all
    EXPECT_FALSE(m.IsOpen());

    GifMovie g;
    std::string why;
    ASSERT_TRUE(ReadGif(path, &g, &why)) << why;
    EXPECT_EQ(g.width, 342);
    EXPECT_EQ(g.height, 192);
    EXPECT_TRUE(g.loops);
    EXPECT_EQ(g.delays, (std::vector<int>{23, 2, 65535, 70001 - 65535, 74}));
    const u8* shown[] = {a, b, d, d, a};
    ASSERT_EQ(g.shown.size(), 5u);
    for (size_t i = 0; i < 5; i++) {
        EXPECT_EQ(Differs(g.shown[i], shown[i], 3), "") << "image " << i;
        EXPECT_LE(g.disposals[i], DISPOSE_DO_NOT) << "the next image is drawn over this one";
    }

    // Past its size limit a movie ends where it is, as a whole file.
    Movie capped;
    capped.SetMaxBytes(2000);
    ASSERT_TRUE(capped.Start(path, 8, a, 0));
    for (int t = 1; t < 100 && capped.IsOpen(); t++) ASSERT_TRUE(capped.Add(t % 2 ? b : c, t * 100));
    EXPECT_TRUE(capped.Full());
    EXPECT_FALSE(capped.IsOpen());
    GifMovie cut;
    ASSERT_TRUE(ReadGif(path, &cut, &why)) << why;
    EXPECT_EQ((int)cut.shown.size(), capped.Images());
    EXPECT_LT(capped.Images(), 10);
}

// While alive, files this process writes stop at 8 MB, with an error rather
// than a signal: a movie that runs away fails its write instead of filling
// the disk.
struct FileSizeLimit {
    rlimit old;
    void (*oldHandler)(int);
    FileSizeLimit() {
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = 8 << 20;
        setrlimit(RLIMIT_FSIZE, &small);
        oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
    }
};

// load-state can step virtual time back while a movie records: the next
// delay used to underflow and hold a frame for 2^64 hundredths, on one-pixel
// images without end.
TEST(Movie, AStepBackInTimeNeitherUnderflowsNorRunsAway) {
    FileSizeLimit limit;
    const std::string dir = TempDir(), path = dir + "/back.gif";
    u8 a[LCD_BYTES], b[LCD_BYTES], c[LCD_BYTES], d[LCD_BYTES];
    Box(a, 0, 0, 0, 0);
    Box(b, 10, 5, 20, 9);
    Box(c, 100, 60, 113, 63);
    Box(d, 50, 30, 60, 40);
    Movie m;
    ASSERT_TRUE(m.Start(path, 2, a, 10000));
    ASSERT_TRUE(m.Add(b, 12000)) << m.Error(); // a for 2 s
    ASSERT_TRUE(m.Add(c, 5000)) << m.Error();  // back 7 s: b is shown for no time
    ASSERT_TRUE(m.Add(d, 6000)) << m.Error();  // c for 1 s
    ASSERT_TRUE(m.Finish(7000)) << m.Error();  // d for 1 s
    GifMovie g;
    std::string why;
    ASSERT_TRUE(ReadGif(path, &g, &why)) << why;
    EXPECT_EQ(g.delays, (std::vector<int>{200, 100, 100}));
    ASSERT_EQ(g.shown.size(), 3u);
    EXPECT_EQ(Differs(g.shown[1], c, 2), "");

    // The same through the script commands: a movie across load-state.
    Result res = RunText(std::string(PowerOn) +
                             "save-state early.state\nwait 5s\nmovie m.gif\nkey cw\nwait 1s\n"
                             "load-state early.state\nkey cw\nwait 3s\nmovie end\n",
                         dir);
    ASSERT_EQ(res.code, 0) << res.err;
    GifMovie across;
    ASSERT_TRUE(ReadGif(dir + "/m.gif", &across, &why)) << why;
    int total = 0;
    for (int delay : across.delays) total += delay;
    // About a second before the load and three after it (the time back to
    // the first frame that changed after the load counts for nothing).
    EXPECT_GE(total, 300);
    EXPECT_LE(total, 410);
}

// The size limit holds inside a long hold too: ten hours of one frame take
// 550 one-pixel images, which used to be written whole before the check.
TEST(Movie, TheSizeLimitHoldsInALongHold) {
    const std::string path = TempDir() + "/long.gif";
    u8 a[LCD_BYTES], b[LCD_BYTES];
    Box(a, 0, 0, 0, 0);
    Box(b, 10, 5, 20, 9);
    Movie m;
    ASSERT_TRUE(m.Start(path, 2, a, 0));
    m.SetMaxBytes(m.Bytes() + 400);
    ASSERT_TRUE(m.Add(b, 10 * 3600000ULL)) << m.Error();
    EXPECT_TRUE(m.Full());
    EXPECT_FALSE(m.IsOpen());
    GifMovie g;
    std::string why;
    ASSERT_TRUE(ReadGif(path, &g, &why)) << why;
    EXPECT_EQ((int)g.shown.size(), m.Images());
    EXPECT_LT(m.Images(), 40);
}

TEST(MovieCommand, HoldsEveryChangedFrameForItsTimeBetweenMovieAndMovieEnd) {
    const std::string dir = TempDir();
    // A snapshot at each of 121 event points (20 ms apart) from the movie's
    // start, through the sliding splash to the home page.
    std::string script = "utc 2026-06-21 14:30:00\non\nmovie m.gif\n";
    const int points = 120;
    for (int k = 0; k <= points; k++) script += "snap s" + std::to_string(k) + ".pbm\npasses 1\n";
    script.resize(script.size() - 9); // the last snap and movie end share the event point
    script += "movie end\n";
    Result res = RunText(script, dir);
    ASSERT_EQ(res.code, 0) << res.err;

    // The frames that differ from the one before, and the event point at which each is first seen.
    std::vector<std::vector<u8>> frames;
    std::vector<int> from;
    for (int k = 0; k <= points; k++) {
        std::vector<u8> f(LCD_BYTES);
        ReadPbm(dir + "/s" + std::to_string(k) + ".pbm", f.data());
        if (frames.empty() || f != frames.back()) frames.push_back(f), from.push_back(k);
    }
    if (from.back() == points) frames.pop_back(), from.pop_back(); // first seen as the movie ends
    from.push_back(points);
    ASSERT_GT(frames.size(), 20u);

    GifMovie g;
    std::string why;
    ASSERT_TRUE(ReadGif(dir + "/m.gif", &g, &why)) << why;
    ASSERT_EQ(g.shown.size(), frames.size());
    for (size_t i = 0; i < frames.size(); i++) {
        EXPECT_EQ(Differs(g.shown[i], frames[i].data(), 2), "") << "image " << i;
        EXPECT_EQ(g.delays[i], (from[i + 1] - from[i]) * 2) << "image " << i;
    }
}

TEST(MovieCommand, AMovieWithoutMovieEndIsFinishedWithTheRunAndSaysSo) {
    const std::string dir = TempDir();
    Result res = RunText(std::string(PowerOn) + "movie big.gif 4x\nwait 3s\n", dir);
    ASSERT_EQ(res.code, 0) << res.err;
    EXPECT_NE(res.out.find("finished movie " + dir + "/big.gif at the end of the run, without movie end"),
              std::string::npos)
        << res.out;
    GifMovie g;
    std::string why;
    ASSERT_TRUE(ReadGif(dir + "/big.gif", &g, &why)) << why;
    EXPECT_EQ(g.width, 456);
    int total = 0;
    for (int d : g.delays) total += d;
    EXPECT_EQ(total, 300);

    // A failed expectation ends the run, and the movie with it: kept for the bug report.
    res = RunText(std::string(PowerOn) + "movie fail.gif\nwait 1s\nexpect MainZone 999\n", dir);
    EXPECT_EQ(res.code, 1);
    ASSERT_TRUE(ReadGif(dir + "/fail.gif", &g, &why)) << why;
    EXPECT_GE(g.shown.size(), 1u);
}

TEST(MovieCommand, BadArgumentsAreFoundBeforeAnythingRuns) {
    struct Row {
        const char* lines;
        const char* says;
    } rows[] = {
        {"movie end", "no movie is recording"},
        {"movie a.gif\nmovie end\nmovie end", "no movie is recording"},
        {"movie a.gif\nmovie b.gif", "a movie is recording since line 2"},
        {"movie a.png", "writes a .gif"},
        {"movie .gif", "writes a .gif"},
        {"movie a.gif 9x", "1x to 8x"},
        {"movie a.gif 0x", "1x to 8x"},
        {"movie a.gif 2", "1x to 8x"},
        {"movie", "usage: movie"},
        {"movie end now", "usage: movie"},
        {"movie a.gif 2x 3x", "usage: movie"},
        {"snap a.png 9x", "1x to 8x"},
        {"snap a.png 10x", "1x to 8x"},
        {"snap a.png x", "1x to 8x"},
        {"snap a.pbm 2x", "only a .png"},
        {"snap a.png 2x 2x", "usage: snap"},
    };
    const std::string dir = TempDir();
    for (const Row& r : rows) {
        Result res = RunText("snap first.txt\n" + std::string(r.lines) + "\n", dir);
        EXPECT_EQ(res.code, 2) << r.lines;
        EXPECT_NE(res.err.find(r.says), std::string::npos) << r.lines << " -> " << res.err;
        EXPECT_EQ(ReadFile(dir + "/first.txt"), "") << "line 1 ran before the bad line was found";
    }
    EXPECT_EQ(RunText("movie a.gif\nmovie end\nmovie b.gif 8x\nmovie end\nsnap c.png 1x\n", dir).code, 0);
}

} // namespace
