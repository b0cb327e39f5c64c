// The soak: a long seeded stream of random events through the headless host,
// with every promise of the instrument checked at every event point.
//
//   tmx5soak --seed N --events M
//
// The bytes come from a 64-bit Mersenne Twister seeded with N, so a run is
// reproduced exactly by its seed; they are decoded by the click fuzzer's
// driver (tests/support/Invariants.h). Reports passes run, events delivered
// and resident memory (peak and current) after the first 10,000 events and at
// the end. Exit status: 0 clean, 1 an invariant broke, 3 memory grew, 2 a bad
// command line.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>

#include "support/Invariants.h"

static long ProcStatusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    size_t n = std::strlen(field);
    while (std::getline(in, line))
        if (line.compare(0, n, field) == 0 && line.size() > n && line[n] == ':')
            return std::atol(line.c_str() + n + 1);
    return -1;
}

int main(int argc, char** argv) {
    unsigned long long seed = 1, events = 1000000;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--seed") == 0 && i + 1 < argc) {
            seed = std::strtoull(argv[++i], nullptr, 10);
        } else if (std::strcmp(argv[i], "--events") == 0 && i + 1 < argc) {
            events = std::strtoull(argv[++i], nullptr, 10);
        } else {
            std::fprintf(stderr, "usage: tmx5soak [--seed N] [--events M]\n");
            return 2;
        }
    }

    HeadlessHost host;
    InvariantWatch watch;
    std::mt19937_64 random(seed);
    ClickDriver* driverRef = nullptr;
    ClickDriver driver(&host, [&]() -> int {
        if (driverRef->EventsDelivered() >= events) return -1;
        return (int)(random() & 0xFF);
    });
    driverRef = &driver;

    const unsigned long long warmUp = events < 10000 ? events : 10000;
    long hwmStart = -1, rssStart = -1;
    std::string broken;
    driver.SetCheck([&] {
        volatile char mark = 0;
        if (broken.empty()) {
            broken = CheckInvariants(&watch, (uintptr_t)&mark);
            if (!broken.empty()) {
                std::fprintf(stderr, "seed %llu: after %llu events, %llu event points: %s\n", seed,
                             (unsigned long long)driver.EventsDelivered(),
                             (unsigned long long)driver.EventPoints(), broken.c_str());
                RequestShutdown(); // stop at the first broken promise
            }
        }
        if (hwmStart < 0 && driver.EventsDelivered() >= warmUp) {
            hwmStart = ProcStatusKb("VmHWM");
            rssStart = ProcStatusKb("VmRSS");
        }
    });
    driver.Run();
    long hwmEnd = ProcStatusKb("VmHWM"), rssEnd = ProcStatusKb("VmRSS");

    std::printf("seed %llu\n", seed);
    std::printf("events delivered %llu\n", (unsigned long long)driver.EventsDelivered());
    std::printf("passes run %llu\n", (unsigned long long)driver.PassesRun());
    std::printf("event points %llu (%.1f hours of virtual time)\n", (unsigned long long)host.EventPoints(),
                host.NowMs() / 3600000.0);
    std::printf("after %llu events: VmHWM %ld kB, VmRSS %ld kB\n", warmUp, hwmStart, rssStart);
    std::printf("at the end:          VmHWM %ld kB, VmRSS %ld kB\n", hwmEnd, rssEnd);
    if (!broken.empty()) {
        std::printf("invariant broken: %s\n", broken.c_str());
        return 1;
    }
    std::printf("invariants: all held at every event point\n");
    if (hwmStart >= 0 && hwmEnd > hwmStart) {
        std::printf("memory grew by %ld kB\n", hwmEnd - hwmStart);
        return 3;
    }
    return 0;
}
