#!/usr/bin/env python3
"""Times the tmx5 Python module: a virtual day, and one key with two more passes.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_bench.py [--repeat N]

Prints the wall and processor time of inst.wait("24h") on the zone home page (as `tmx5 run` of `on`,
`wait 24h` does it) and the time of inst.key("cw") + inst.passes(2) from Python, the median of N runs.
"""

import argparse
import statistics
import time

import tmx5


def day():
    with tmx5.Instrument(utc="2026-06-21 14:30:00") as inst:
        inst.on()
        inst.wait("2s")
        wall, cpu = time.perf_counter(), time.process_time()
        inst.wait("24h")
        return time.perf_counter() - wall, time.process_time() - cpu


def keys(count):
    with tmx5.Instrument(utc="2026-06-21 14:30:00") as inst:
        inst.on()
        inst.wait("2s")
        key, passes = inst.key, inst.passes
        wall = time.perf_counter()
        for _ in range(count):
            key("cw")
            passes(2)
        return (time.perf_counter() - wall) / count


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--keys", type=int, default=100000, help="key + passes(2) rounds per run")
    args = parser.parse_args()
    days = [day() for _ in range(args.repeat)]
    rounds = [keys(args.keys) for _ in range(args.repeat)]
    print("inst.wait('24h'):        %s s wall, %s s processor; median %.2f s wall"
          % (", ".join("%.2f" % w for w, _ in days), ", ".join("%.2f" % c for _, c in days),
             statistics.median(w for w, _ in days)))
    print("key('cw') + passes(2):   %s us; median %.1f us"
          % (", ".join("%.1f" % (r * 1e6) for r in rounds), statistics.median(rounds) * 1e6))


if __name__ == "__main__":
    main()
