// The soak: a long seeded stream of random events through the headless host,
// with every promise of the instrument checked at every event point.
//
//   tmx5soak --seed N --events M
//
// The bytes come from a 64-bit Mersenne Twister seeded with N, so a run is
// reproduced exactly by its seed; they are decoded by the click fuzzer's
// driver (tests/support/Invariants.h). Reports passes run, events delivered
// and resident memory (peak and current) after the first 10,000 events and at
// the end; memory is compared when the run has at least 20,000 events. Exit status: 0 clean, 1 an invariant
// broke, 3 memory grew, 2 a bad command line.
#include <cerrno>
#include <climits>
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

// A whole number from lo to hi, digits only.
static bool Count(const char* s, unsigned long long lo, unsigned long long hi, unsigned long long* value) {
    if (*s == '\0' || std::strspn(s, "0123456789") != std::strlen(s)) return false;
    errno = 0;
    *value = std::strtoull(s, nullptr, 10);
    return errno == 0 && *value >= lo && *value <= hi;
}

// Resident memory is compared from the warm-up on; a shorter run is too
// short to tell growth from the first use of the program's pages.
static const unsigned long long WARM_UP = 10000;

int main(int argc, char** argv) {
    unsigned long long seed = 1, events = 1000000;
    for (int i = 1; i < argc; i++) {
        const bool isSeed = std::strcmp(argv[i], "--seed") == 0,
                   isEvents = std::strcmp(argv[i], "--events") == 0;
        if ((isSeed || isEvents) && i + 1 >= argc) {
            std::fprintf(stderr, "tmx5soak: %s needs a number\n", argv[i]);
            return 2;
        } else if (isSeed) {
            if (!Count(argv[++i], 0, ULLONG_MAX, &seed)) {
                std::fprintf(stderr, "tmx5soak: --seed takes a whole number from 0 to %llu, not %s\n",
                             ULLONG_MAX, argv[i]);
                return 2;
            }
        } else if (isEvents) {
            if (!Count(argv[++i], 1, 1000000000000ULL, &events)) {
                std::fprintf(stderr, "tmx5soak: --events takes a whole number from 1 to 10^12, not %s\n",
                             argv[i]);
                return 2;
            }
        } else {
            std::fprintf(stderr, "tmx5soak: unknown argument %s\nusage: tmx5soak [--seed N] [--events M]\n",
                         argv[i]);
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
        if (hwmStart < 0 && driver.EventsDelivered() >= WARM_UP) {
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
    if (hwmStart >= 0)
        std::printf("after %llu events: VmHWM %ld kB, VmRSS %ld kB\n", WARM_UP, hwmStart, rssStart);
    std::printf("at the end:          VmHWM %ld kB, VmRSS %ld kB\n", hwmEnd, rssEnd);
    if (!broken.empty()) {
        std::printf("invariant broken: %s\n", broken.c_str());
        return 1;
    }
    std::printf("invariants: all held at every event point\n");
    if (hwmStart < 0 || driver.EventsDelivered() < 2 * WARM_UP) {
        std::printf("memory: not compared, the run is shorter than %llu events\n", 2 * WARM_UP);
    } else if (hwmEnd > hwmStart) {
        std::printf("memory grew by %ld kB\n", hwmEnd - hwmStart);
        return 3;
    }
    return 0;
}
