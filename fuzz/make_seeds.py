#!/usr/bin/env python3
"""Writes the click fuzzer's seed corpus, tests/fuzz-corpus/clicks/.

Each seed is a byte program for ClickDriver (tests/support/Invariants.h): it
powers the instrument on, waits out the splash and walks to one screen, so that
together the seeds reach every screen routine and every home page. Check with
    TMX5_FUZZ_SCREENS=1 build-fuzz/fuzz/fuzz_clicks tests/fuzz-corpus/clicks/*
"""
import os
import struct

MENU, CW, CCW, LEFT, RIGHT = 0, 1, 2, 3, 4
NOTHING, WAIT, TICKS, TRACK, CAL, FAST, UTC, ON, OFF, TOGETHER = (
    160, 176, 192, 200, 216, 224, 232, 240, 244, 248)


def wait(points):
    """Lets at least that many event points pass."""
    out = []
    while points > 0:
        if points >= 64:
            n = min(points // 64, 32)
            out += [WAIT, 223 + n]
            points -= n * 64 + 1
        else:
            n = min(points, 16)
            out += [WAIT, n - 1]
            points -= n + 1
    return out


def power_on():
    return [ON] + wait(90)


def keys(*codes):
    return list(codes)


def calibrate(on):
    return [CAL | (1 if on else 0)]


def keyfast(on):
    return [FAST | (1 if on else 0)]


def track(pos):
    return [TRACK, pos >> 8, pos & 0xFF]


def utc(seconds):
    return [UTC] + list(struct.pack('>I', seconds))


OPEN_MENU = keys(MENU)
DISPLAY = OPEN_MENU + keys(CW, MENU)
TIMER = OPEN_MENU + keys(CW, CW, MENU)
ALARM = OPEN_MENU + keys(CW, CW, CW, MENU)
TIME = OPEN_MENU + keys(CW, CW, CW, CW, MENU)

SEEDS = {
    'home_pages': power_on() + keys(CW, NOTHING, CW, NOTHING, CW, NOTHING, CW, NOTHING, CW, CCW, CCW,
                                    LEFT, RIGHT, MENU, NOTHING, MENU),
    'main_menu': power_on() + OPEN_MENU + keys(CW, CW, CW, CW, CW, CCW, LEFT, RIGHT, CCW, CCW, CCW, CCW, MENU),
    'display_contrast': power_on() + DISPLAY + keys(CW, MENU, CW, CW, CCW, MENU, CW, MENU, CW, MENU, CW,
                                                    MENU, CW, MENU, CCW, CCW, CCW, MENU),
    'timer_preset': power_on() + TIMER + keys(CCW, CW, MENU, CCW, CCW, MENU, CW, MENU)
    + OPEN_MENU + keys(MENU),
    'alarm_time': power_on() + ALARM + keys(CCW, MENU, CW, CW, MENU, CCW, MENU),
    'set_utc_time': power_on() + utc(4102444799) + wait(60) + TIME + keys(CW, MENU, CW, MENU, CCW, MENU,
                                                                             CW, MENU, CW, MENU, CCW, MENU),
    'main_zone': power_on() + TIME + keys(CW, CW, MENU, CW, CW, LEFT, RIGHT, CCW, MENU),
    'local_offset': power_on() + TIME + keys(CW, CW, CW, MENU, CW, MENU, CW, CW, MENU, CW, MENU, CCW,
                                             CCW, LEFT, RIGHT, MENU, CCW, CCW, MENU),
    'service': calibrate(True) + power_on() + OPEN_MENU + keys(CW, CW, CW, CW, CW, MENU, NOTHING, MENU,
                                                                CW, MENU, CW, MENU, CW, CW, CCW, MENU,
                                                                CCW, MENU) + track(4096) + track(0),
    'inactivity_return': power_on() + TIME + keys(CW, MENU) + wait(1700) + keys(CW, CW),
    'on_off_restart': power_on() + keys(ON, NOTHING) + wait(90) + keys(OFF, NOTHING, ON) + wait(90)
    + [TOGETHER, OFF, ON] + wait(100) + keys(OFF),
    # The instrument's clock run past 2100: 2100 confirmed at host 1970, then the host at 2099.
    'utc_past_2100': utc(0) + power_on() + TIME + keys(CW, MENU) + keyfast(True) + [CW] * 13
    + keyfast(False) + keys(MENU, MENU, MENU, MENU, MENU, MENU) + utc(4102444799 - 86400) + wait(60)
    + keys(MENU, NOTHING, NOTHING),
    'clock_edges': utc(0) + power_on() + wait(60) + utc(4102444799) + wait(60) + keyfast(True)
    + TIMER + keys(CW, MENU, CW, CW, MENU, CCW, MENU) + [TICKS, 15, TICKS, 255],
}


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = os.path.join(here, '..', 'tests', 'fuzz-corpus', 'clicks')
    os.makedirs(out, exist_ok=True)
    for name, program in SEEDS.items():
        assert all(0 <= b <= 255 for b in program), name
        with open(os.path.join(out, name), 'wb') as f:
            f.write(bytes(program))


if __name__ == '__main__':
    main()
