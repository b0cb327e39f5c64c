// Going back in a long session: a 24-virtual-hour session (4,320,000 event
// points, the instrument on, a key every ten seconds and a new UTC every
// hour), fed to the session history as the window feeds it, then travels to
// random event points of it. Reports the history's memory and snapshots.
//   build/bench/tmx5bench_history [--benchmark_...]
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

#include "headless/HeadlessHost.h"
#include "runtime/Runtime.h"
#include "sim/SessionHistory.h"

namespace {

const uint64_t DayPoints = 24ull * 3600 * 50;

struct Day {
    SessionHistory history;
    HeadlessHost host;
    bool powerOnDue = false;

    SessionState Capture() {
        SessionState s = host.Panel().CaptureSession();
        s.point = host.EventPoints();
        s.powerOnDue = powerOnDue;
        return s;
    }

    Day() {
        history.Start(Capture());
        static const u8 keys[] = {KEY_CW, KEY_CCW, KEY_LEFT, KEY_RIGHT};
        host.SetEventPoint([this] {
            const uint64_t p = host.EventPoints();
            std::vector<SessionInput> in;
            if (p == 2) {
                in.push_back({SessionInput::ON, 0});
                powerOnDue = true;
            } else if (p % 500 == 0) {
                const u8 key = keys[(p / 500) % 4];
                ClickKey(key);
                in.push_back({SessionInput::KEY, key});
            } else if (p % 180000 == 250) {
                const int64_t utc = 1782052200 + (int64_t)p;
                host.Sim().SetUtc(utc);
                in.push_back({SessionInput::UTC, utc});
            }
            if (in.empty())
                history.Reach(p);
            else
                history.Record(p, in);
            if (history.WantsSnapshot(p) && PowerState != POWER_SPLASH) history.AddSnapshot(Capture());
            if (p >= DayPoints) RequestShutdown();
        });
        while (host.EventPoints() < DayPoints) {
            host.EventPoint();
            if (powerOnDue) {
                powerOnDue = false;
                Button1Click();
            }
        }
        ShutdownRequested = 0;
    }
};

Day& TheDay() {
    static Day day;
    return day;
}

void BM_TravelInADay(benchmark::State& state) {
    Day& day = TheDay();
    std::mt19937_64 rng(19);
    SessionState s;
    for (auto _ : state) {
        const uint64_t target = 1 + rng() % (day.history.End() - 1);
        benchmark::DoNotOptimize(day.history.StateAt(target, &s));
    }
    state.counters["history_MB"] = day.history.MemoryBytes() / 1048576.0;
    state.counters["snapshots"] = double(day.history.Snapshots());
    state.counters["spacing_points"] = double(day.history.SnapshotSpacing());
    state.counters["points"] = double(day.history.End());
}
BENCHMARK(BM_TravelInADay)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
