// What each part of a frame costs, against the 20 ms frame period.
//
// A screen's pass is what the main loop does for it every frame: clear the
// frame buffer and call the routine with no key pending. Goal: the costliest
// pass under 1 us. Each case first sets
// up the state that shows the page (home page, menu entry, editor field).
// The window's own RenderLcd paints through a widget that needs a window, so
// the picture side is measured through the converter both hosts share:
// the 912-byte frame into a 228 x 128 image of 32-bit pixels, magnified 2x.
// The floors are the bare costs of touching those bytes and pixels.
#include <benchmark/benchmark.h>

#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "frames/FrameConvert.h"
#include "headless/Coverage.h"
#include "headless/HeadlessHost.h"
#include "headless/ScriptRunner.h"
#include "lcd/Lcd.h"
#include "screens/Screens.h"

namespace {

const int IMAGE_WIDTH = 2 * LCD_WIDTH;
const int IMAGE_HEIGHT = 2 * LCD_HEIGHT;

// A running instrument at 2026-06-21 14:30:45 with every readout non-trivial.
void RunningState() {
    ResetInstrumentState();
    LoadDefaults();
    PowerState = POWER_ON;
    SecondsToDate(1782052245u, &UtcTime);
    UpdateZoneTimes();
    StopwatchTenths = 36543;
    TimerRemainingTenths = 12345;
    RawSensor = 2600;
    UpdateTemperature();
    ResetMinMax();
    KeyStep = 1;
    InactivitySeconds = INACTIVITY_RELOAD;
}

struct PassCase {
    std::string name;
    ScreenRoutine screen;
    std::function<void()> setup;
};

std::vector<PassCase> PassCases() {
    std::vector<PassCase> cases;
    for (u8 page = 0; page <= 4; page++)
        cases.push_back({"HomeScreen/page" + std::to_string(page), HomeScreen, [page] { HomePage = page; }});
    for (u8 entry = 0; entry <= 6; entry++)
        cases.push_back({"MainMenuScreen/entry" + std::to_string(entry), MainMenuScreen, [entry] {
                             CalibrateEnabled = 1;
                             MenuCursor = entry;
                         }});
    cases.push_back({"TimeSetupScreen", TimeSetupScreen, [] { MenuCursor = 1; }});
    cases.push_back({"SetUtcTimeScreen", SetUtcTimeScreen, [] {
                         EditYear = 2026, EditMonth = 6, EditDay = 21;
                         EditHour = 14, EditMinute = 30, EditSecond = 45;
                         MenuCursor = 3;
                     }});
    cases.push_back({"DisplaySetupScreen", DisplaySetupScreen, [] { MenuCursor = 3; }});
    cases.push_back({"ContrastScreen", ContrastScreen, [] {}});
    cases.push_back({"TimerPresetScreen", TimerPresetScreen, [] { TimerPresetHours = 12; }});
    cases.push_back({"AlarmTimeScreen", AlarmTimeScreen, [] { AlarmHour = 23; }});
    cases.push_back({"AdcValuesScreen", AdcValuesScreen, [] {}});
    cases.push_back({"CalibrateScreen", CalibrateScreen, [] { MenuCursor = 1; }});
    cases.push_back({"MainZoneScreen", MainZoneScreen, [] { MainZone = 100; }});
    cases.push_back({"LocalOffsetScreen", LocalOffsetScreen, [] {
                         MenuCursor = 2;
                         LocalOffsetMinutes[SecondZone] = -45;
                     }});
    return cases;
}

void BM_Pass(benchmark::State& state, const PassCase& c) {
    HeadlessHost host;
    RunningState();
    c.setup();
    for (auto _ : state) {
        LcdClear();
        KeyCode = KEY_NONE;
        ScreenHandler = c.screen;
        c.screen();
        benchmark::DoNotOptimize(FrameBuffer);
    }
}

// The whole main-loop pass on the busiest home page, host calls included.
void BM_MainLoopPass(benchmark::State& state) {
    HeadlessHost host;
    RunningState();
    ScreenHandler = HomeScreen;
    for (auto _ : state) {
        SecondElapsed = 1;
        MainLoopPass();
    }
}
BENCHMARK(BM_MainLoopPass);

// The frame into the window's 228 x 128 image of 32-bit pixels, 2x2 per dot.
void BM_FrameToImage(benchmark::State& state) {
    HeadlessHost host;
    RunningState();
    HomeScreen();
    static u8 pixels[LCD_HEIGHT][LCD_WIDTH];
    static u32 image[IMAGE_HEIGHT][IMAGE_WIDTH];
    for (auto _ : state) {
        FrameToPixels(FrameBuffer, pixels);
        for (int y = 0; y < IMAGE_HEIGHT; y++)
            for (int x = 0; x < IMAGE_WIDTH; x++)
                image[y][x] = pixels[y / 2][x / 2] ? 0xFF000000u : 0xFF9AA59Au;
        benchmark::DoNotOptimize(image);
    }
}
BENCHMARK(BM_FrameToImage);

// Floors: touching the frame buffer's bytes and the image's pixels at all.
void BM_FloorMemset912(benchmark::State& state) {
    for (auto _ : state) {
        std::memset(FrameBuffer, 0, LCD_BYTES);
        benchmark::DoNotOptimize(FrameBuffer);
    }
}
BENCHMARK(BM_FloorMemset912);

void BM_FloorFillImage(benchmark::State& state) {
    static u32 image[IMAGE_HEIGHT * IMAGE_WIDTH];
    u32 colour = 0xFF9AA59Au;
    for (auto _ : state) {
        for (u32& p : image) p = colour;
        benchmark::DoNotOptimize(image);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FloorFillImage);

// Calendar conversions over the host clock's range.
void BM_SecondsToDate(benchmark::State& state) {
    TimeFields t;
    u32 s = 0;
    for (auto _ : state) {
        SecondsToDate(s, &t);
        benchmark::DoNotOptimize(t);
        s += 86399 * 37; // walks the whole range in a few thousand steps
        if (s > 4102444799u) s -= 4102444799u;
    }
}
BENCHMARK(BM_SecondsToDate);

void BM_DateToSeconds(benchmark::State& state) {
    TimeFields t;
    SecondsToDate(4102444799u, &t); // 2099-12-31 23:59:59, the longest year walk
    for (auto _ : state) {
        benchmark::DoNotOptimize(t); // read afresh every time, not folded
        benchmark::DoNotOptimize(DateToSeconds(&t));
    }
}
BENCHMARK(BM_DateToSeconds);

// `tmx5 run` of a script, in process, on the zone page where power-on leaves
// it; with coverage, as `tmx5 run --coverage` records it.
void RunScript(benchmark::State& state, const char* script, bool coverage = false) {
    for (auto _ : state) {
        std::ostringstream out, err;
        ScriptRunner runner(out, err);
        CoverageRecorder recorder;
        if (coverage) runner.SetObserver(&recorder);
        if (!runner.Load(script, "bench.tmx", ".")) state.SkipWithError("script rejected");
        benchmark::DoNotOptimize(runner.Run());
        state.counters["passes"] = (double)runner.PassesRun();
    }
}

// One virtual hour: 180,000 main-loop passes.
void BM_RunOneVirtualHour(benchmark::State& state) { RunScript(state, "on\nwait 1h\n"); }
BENCHMARK(BM_RunOneVirtualHour)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same hour with interface coverage recorded (goal: under 10 % more).
void BM_RunOneVirtualHourCovered(benchmark::State& state) { RunScript(state, "on\nwait 1h\n", true); }
BENCHMARK(BM_RunOneVirtualHourCovered)->Unit(benchmark::kMillisecond)->Iterations(3);

// An hour on the stopwatch page with the stopwatch running, without and
// with coverage: every tick changes a value the recorder follows.
const char* const STOPWATCH_HOUR = "on\nwait 2s\nkey cw\nkey left\nwait 1h\n";
void BM_RunStopwatchHour(benchmark::State& state) { RunScript(state, STOPWATCH_HOUR); }
BENCHMARK(BM_RunStopwatchHour)->Unit(benchmark::kMillisecond)->Iterations(3);
void BM_RunStopwatchHourCovered(benchmark::State& state) { RunScript(state, STOPWATCH_HOUR, true); }
BENCHMARK(BM_RunStopwatchHourCovered)->Unit(benchmark::kMillisecond)->Iterations(3);

// One virtual day: 4,320,000 passes (goal: under 3 s).
void BM_RunOneVirtualDay(benchmark::State& state) { RunScript(state, "on\nwait 24h\n"); }
BENCHMARK(BM_RunOneVirtualDay)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    static const std::vector<PassCase> cases = PassCases();
    for (const PassCase& c : cases) benchmark::RegisterBenchmark(("BM_Pass/" + c.name).c_str(), BM_Pass, c);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
