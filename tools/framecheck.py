#!/usr/bin/env python3
"""Checks golden frames against an independent model of each screen's layout.

Every reference frame in tests/scenarios/frames is a picture the firmware drew.
Copying such a picture into a test catches nothing unless the picture has been
checked, so this script draws each expected frame from scratch, from the
screen's texts and coordinates (titles, rows, fields, header items, bars), with
its own copy of the two fonts and of the pixel rules (x modulo 256, clipping at
114 x 64, Bresenham lines, x1-exclusive filled blocks, the scroll thumb), and
compares it pixel by pixel with the reference.

The menu pictures are the one thing drawn here as "don't care": their block
(columns 5..36, rows 16..47; rows 8..39 for picture 4) must hold some lit
pixels and nothing of the picture may lie outside it. Look at the pictures
themselves in docs/screens at 2x.

Every glyph of both fonts is checked the same way, from the two frames that
tests/glyphs/GlyphFrames.cpp draws with the display's own text routines.

Usage: tools/framecheck.py [FRAMES_DIR]   (default tests/scenarios/frames)
Exit 0 when every .pbm has a layout below and matches it, 1 otherwise.
Leftover NAME.actual.pbm files of failed runs are not references: skipped.
"""
import os
import sys

W, H = 114, 64

LARGE_HEX = """
0000000000000000 0000005F5F000000 0707000007070000 547E3F557E3F1500 242E6A6B2B3A1200 436330180C666300 307A4F5D37725000 0004070300000000
00001C3E63410000 000041633E1C0000 082A3E1C3E2A0800 0008083E3E080800 000080E060000000 0008080808080800 0000006060000000 406030180C060300
3E7F4141417F3E00 0040427F7F404000 62735159496F6600 22634149497F3600 181C16137F7F1000 27674545457D3900 3C7E4B4949793000 030371790D070300
367F4949497F3600 064F4949693F1E00 0000006666000000 000080E666000000 00081C3663410000 0024242424242400 00004163361C0800 00020351590F0600
3E7F415D5D5F1E00 7C7E1311137E7C00 7F7F4949497F3600 3E7F414141672600 7F7F4141633E1C00 7F7F494949494100 7F7F090909090100 3E7F4141497B7A00
7F7F0808087F7F00 00417F7F41000000 30704041417F3F00 7F7F081C36634100 7F7F404040404000 7F7F060C067F7F00 7F7F060C187F7F00 3E7F4141417F3E00
7F7F0909090F0600 3E7F414141FFBE00 7F7F0909097F7600 22674D5973220000 01017F7F01010000 3F7F4040407F3F00 1F3F6040603F1F00 7F7F3018307F7F00
63771C081C776300 03070C78780C0703 6171594D47434100 00007F7F41410000 0103060C18306040 000041417F7F0000 080C0602060C0800 8080808080808080
0000030704000000 20745454547C7800 7F7F2444447C3800 387C4444444C4800 387C4444247F7F00 387C5454545C5800 00047E7F05050100 18BCA4A494FC7C00
7F7F0404047C7800 0000447D7D400000 808084FD7D000000 7F7F10386C440000 0000417F7F400000 7C7C08180C7C7800 7C7C0404047C7800 387C4444447C3800
FCFC2444447C3800 387C444424FCFC00 007C7C0804040400 485C545454742000 00043F7F44440000 3C7C4040407C7C00 1C3C6040603C1C00 3C7C6030607C3C00
446C3810386C4400 1CBCA0A090FC7C00 4464745C4C440000 2030383C38302000 0000060909060000 040C1C3C1C0C0400 1C3E6363632A0C0E 0406020604060200
"""

SMALL_HEX = """
0000000000 0000790000 0070007000 147F147F14 122A7F2A24 6264081323 3649552205 0050600000
001C224100 0041221C00 14083E0814 08083E0808 0005060000 0808080808 0003030000 0204081020
3E4549513E 00217F0100 2143454931 4241516946 0C14247F04 725151514E 1E29494906 4047485060
3649494936 3049494A3C 0036360000 0035360000 0814224100 1414141414 0041221408 2040454830
26494F413E 3F4848483F 7F49494936 3E41414122 7F4141221C 7F49494941 7F48484840 3E4149492F
7F0808087F 00417F4100 0201417E40 7F08142241 7F01010101 7F2018207F 7F1008047F 3E4141413E
7F48484830 3E4145423F 7F484C4A31 3149494946 40407F4040 7E0101017E 7C0201027C 7E010E017E
6314081463 7008070870 4345495161 007F414100 2010080402 0041417F00 1020402010 0101010101
0040201000 021515150F 7F0911110E 0E11111102 0E1111097F 0E1515150C 083F484020 304949497E
7F0810100F 00082F0000 0201115E00 7F040A1100 00417F0100 1F100F100F 1F0810100F 0E1111110E
1F14141408 0814140C1F 1F08101008 0915151502 107E110102 1E0101021F 1C0201021C 1E011E011E
110A040A11 180505051E 1113151911 0008364100 0030484830 3946404639 0804020408 3946404639
"""

LARGE = [bytes.fromhex(g) for g in LARGE_HEX.split()]
SMALL = [bytes.fromhex(g) for g in SMALL_HEX.split()]
assert len(LARGE) == 96 and len(SMALL) == 96


class Frame:
    def __init__(self):
        self.px = [[0] * W for _ in range(H)]
        self.ignore = []  # (x0, y0, x1, y1) inclusive blocks of menu pictures

    # --- primitives: the only clipping is here --------------------------------
    def pixel(self, x, y, on=1):
        x &= 0xFF
        y &= 0xFF
        if x < W and y < H:
            self.px[y][x] = 1 if on else 0

    def line(self, x0, y0, x1, y1, on=1):
        dx, dy = abs(x1 - x0), abs(y1 - y0)
        sx = -1 if x0 > x1 else 1
        sy = -1 if y0 > y1 else 1
        x, y = x0, y0
        if dx >= dy:
            e = 2 * dy - dx
            for _ in range(dx + 1):
                self.pixel(x, y, on)
                if e > 0:
                    x, y, e = x + sx, y + sy, e + 2 * dy - 2 * dx
                else:
                    x, e = x + sx, e + 2 * dy
        else:
            e = 2 * dx - dy
            for _ in range(dy + 1):
                self.pixel(x, y, on)
                if e > 0:
                    x, y, e = x + sx, y + sy, e + 2 * dx - 2 * dy
                else:
                    y, e = y + sy, e + 2 * dx

    def rect(self, x0, y0, x1, y1):
        self.line(x0, y0, x0, y1)
        self.line(x0, y0, x1, y0)
        self.line(x1, y0, x1, y1)
        self.line(x0, y1, x1, y1)

    def fill(self, x0, y0, x1, y1):
        x = x0 & 0xFF
        while x < (x1 & 0xFF):
            self.line(x, y0, x, y1)
            x += 1

    # --- text -----------------------------------------------------------------
    def text(self, x, y, s, dbl=0, inv=0):
        x &= 0xFF
        for ch in s:
            g = LARGE[(ord(ch) - 32) & 0xFF]
            for k in range(8):
                for r in range(8):
                    bit = g[k] >> r & 1
                    rows = [y + 2 * r, y + 2 * r + 1] if dbl else [y + r]
                    for yy in rows:
                        if inv:
                            self.pixel(x, yy, 0 if bit else 1)
                        elif bit:
                            self.pixel(x, yy, 1)
                x = (x + 1) & 0xFF

    def ctext(self, cx, y, s, dbl=0, inv=0):
        self.text((cx - 4 * len(s)) & 0xFF, y, s, dbl, inv)

    def small(self, x, y, s, invert_from=255):
        inverted = False
        for i, ch in enumerate(s):
            if i == invert_from:
                inverted = True
            g = SMALL[ord(ch) - 32]
            for k in range(6):
                col = g[k] if k < 5 else 0
                for r in range(8):
                    bit = col >> (7 - r) & 1
                    if bit != inverted:
                        self.pixel(x + k, y + r - 1, 1)
            x = (x + 6) & 0xFF

    def csmall(self, cx, y, s):
        self.small((cx - 3 * len(s)) & 0xFF, y, s)

    # --- layout helpers -------------------------------------------------------
    def title(self, s):
        n = len(s)
        self.text(57 - 4 * n, 0, s)
        self.line(0, 4, 59 - 4 * n, 4)
        self.line(4 * n + 55, 4, 118, 4)

    def rowtext(self, x, y, s, inv=0):
        if y > 7:
            self.text(x, y, s, 0, inv)

    def menurow(self, row, label, value, cursor, edit=0):
        top = cursor - 6 if cursor >= 7 else 0
        sel = cursor - top == row
        y = (8 * row + 8) & 0xFF
        self.rowtext(0, y, label, sel and not edit)
        self.rowtext(8 * len(label), y, value, sel)

    def done(self, cursor):
        self.ctext(57, 8, "*** DONE ***", 0, cursor == 0)

    def scrollbar(self, pos, count):
        self.line(111, 8, 111, 63)
        step = 56 / count
        top = pos * step + 8
        self.fill(109, int(top), 114, int(top + step))

    def icon(self, i):
        y0 = 8 if i == 4 else 16
        self.ignore.append((5, y0, 36, y0 + 31))


# --- the screens ------------------------------------------------------------


def hms(h, m, s):
    return "%02d:%02d:%02d" % (h, m, s)


def header(f, zone, time, page, sw=0, timer=0, alarm=0, temp=-17, unit="C"):
    """The strip on top of every home page. timer and alarm: 1 when the mark is drawn."""
    f.ctext(57, 0, zone)
    f.ctext(57 if page == 4 else 82, 10, time, 1)
    if sw:
        f.text(0, 25, "S")
    if timer:
        f.text(0, 35, "T")
    if alarm:
        f.text(0, 45, "A")
    if page != 4:
        lo, hi, cx = (-99, 99, 20) if unit == "C" else (-148, 212, 23)
        if temp < lo:
            f.ctext(cx, 9, "UNDER")
            f.ctext(cx, 17, "RANGE")
        elif temp > hi:
            f.ctext(cx, 9, "OVER")
            f.ctext(cx, 17, "RANGE")
        else:
            f.ctext(cx, 13, "%+d|%s" % (temp, unit))


def duration(f, tenths, shown=True):
    if shown:
        h, r = (tenths // 36000) % 256, tenths % 36000
        f.ctext(57, 40, hms(h, r // 600, r % 600 // 10), 1)
        f.text(90, 40, "%d" % (r % 10))


def zone_page(f, zone, time, name2, time2, **kw):
    header(f, zone, time, 0, **kw)
    f.ctext(57, 31, name2)
    f.ctext(57, 40, time2, 1)
    f.ctext(57, 57, "+ TimeZone -")


def stopwatch_page(f, time, tenths, running, **kw):
    header(f, "UTC Zulu", time, 1, sw=running, **kw)
    f.ctext(57, 31, "STOPWATCH")
    duration(f, tenths)
    f.ctext(22, 57, "STOP" if running else "START")
    f.text(80, 57, "ZERO")


def timer_page(f, time, tenths, running, digits=True, **kw):
    header(f, "UTC Zulu", time, 2, **kw)
    f.ctext(57, 31, "TIMER")
    duration(f, tenths, digits)
    f.ctext(22, 57, "STOP" if running else "START")
    f.text(80, 57, "LOAD")


def alarm_page(f, time, alarm_time, enabled, digits=True, **kw):
    header(f, "UTC Zulu", time, 3, **kw)
    f.ctext(57, 31, "ALARM")
    if digits:
        f.ctext(57, 40, alarm_time, 1)
    f.ctext(57, 57, "Alarm Enabled" if enabled else "Alarm Disabled")


def oat_page(f, time, temp, tmin, tmax, unit="C"):
    header(f, "UTC Zulu", time, 4)
    f.ctext(57, 31, "OAT")
    f.ctext(57, 57, "Reset")
    for a in [(20, 60, 30, 60), (20, 61, 30, 61), (20, 62, 20, 63), (21, 62, 21, 63),
              (84, 60, 94, 60), (84, 61, 94, 61), (93, 62, 93, 63), (94, 62, 94, 63)]:
        f.line(*a)
    lo, hi = (-99, 99) if unit == "C" else (-148, 212)
    if temp < lo:
        f.ctext(57, 40, "UNDERRANGE", 1)
    elif temp > hi:
        f.ctext(57, 40, "OVERRANGE", 1)
    else:
        f.text(66, 40, "%+d|%s" % (tmin, unit))
        f.text(66, 48, "%+d|%s" % (tmax, unit))
        f.ctext(35, 40, "%+d|%s" % (temp, unit), 1)


MENU = [("EXIT", "MENU", 6), ("DISPLAY", "SETUP", 7), ("PRESET", "TIMER", 5), ("SET", "ALARM", 1),
        ("TIME", "SETUP", 0), ("ADC", "VALUES", 3), ("CALIBRATE", None, 2)]


def main_menu(f, cursor, count):
    f.title(" MAIN MENU ")
    f.scrollbar(cursor, count)
    first, second, icon = MENU[cursor]
    if second is None:
        f.ctext(73, 26, first, 1)
    else:
        f.ctext(73, 18, first, 1)
        f.ctext(73, 36, second, 1)
    f.icon(icon)


def time_setup(f, cursor):
    f.title(" TIME SETUP ")
    f.done(cursor)
    for i, s in enumerate(["SET UTC TIME", "MAIN TIMEZONE", "LOCAL OFFSETS"]):
        f.text(0, 16 + 8 * i, s, 0, cursor == i + 1)


def set_utc(f, cursor, y, mo, d, h, mi, s):
    f.title(" SET UTC TIME ")
    f.text(15, 20, "%04d" % y, 1, cursor == 0)
    f.text(46, 20, "/", 1)
    f.text(55, 20, "%02d" % mo, 1, cursor == 1)
    f.text(74, 20, "/", 1)
    f.text(83, 20, "%02d" % d, 1, cursor == 2)
    f.text(24, 40, "%02d" % h, 1, cursor == 3)
    f.text(40, 40, ":", 1)
    f.text(48, 40, "%02d" % mi, 1, cursor == 4)
    f.text(64, 40, ":", 1)
    f.text(72, 40, "%02d" % s, 1, cursor == 5)


def disp_setup(f, cursor, edit=0, backlight=1, unit="C"):
    f.title(" DISP SETUP ")
    f.done(cursor)
    f.text(0, 16, "ADJ CONTRAST", 0, cursor == 1)
    f.menurow(2, "BACKLIGHT: ", "ON" if backlight else "OFF", cursor, edit)
    f.menurow(3, "TEMP UNIT: ", "|" + unit, cursor, edit)


def contrast(f, c):
    f.title(" CONTRAST ")
    f.fill(0, 15, 2 * c, 25)
    f.rect(0, 15, 113, 25)
    f.ctext(57, 40, "USE { } OR ~")
    f.ctext(57, 48, "TO ADJUST THE")
    f.ctext(57, 56, "CONTRAST")


def hms_editor(f, what, cursor, h, m, s):
    f.ctext(57, 0, "USE { } OR ~")
    f.ctext(57, 10, "TO ADJUST THE")
    f.ctext(57, 20, what)
    f.text(24, 40, "%02d" % h, 1, cursor == 0)
    f.text(40, 40, ":", 1)
    f.text(48, 40, "%02d" % m, 1, cursor == 1)
    f.text(64, 40, ":", 1)
    f.text(72, 40, "%02d" % s, 1, cursor == 2)


def adc_values(f, sample):
    f.title(" ADC VALUES ")
    f.done(0)
    f.rowtext(0, 16, "OAT: %d" % sample)


def calibrate(f, cursor, edit, offset, celsius):
    f.title(" CALIBRATE ")
    f.done(cursor)
    f.menurow(1, "OAT: ", "%+d %d|C" % (offset, celsius), cursor, edit)


def zone_offset_text(h, m):
    return "UTC%+d:%02d" % (h, m)


def main_zone(f, name, h, m):
    f.title(" MAIN TIMEZONE ")
    f.ctext(57, 13, name, 0, 1)
    f.ctext(57, 26, zone_offset_text(h, m))
    f.ctext(57, 40, "USE { } OR ~")
    f.ctext(57, 48, "TO CHANGE,MENU")
    f.ctext(57, 56, "TO SELECT")


def local_offset(f, cursor, edit, hours, minutes, name, zh, zm):
    f.title(" LOCAL OFFSET ")
    f.done(cursor)
    f.menurow(1, "HOUR: ", "%+d" % hours, cursor, edit)
    f.menurow(2, "MINUTE: ", "%+d" % minutes, cursor, edit)
    f.ctext(57, 35, name)
    f.ctext(57, 46, zone_offset_text(zh, zm))
    f.text(0, 56, " PREV ", 0, 1)
    f.text(68, 56, " NEXT ", 0, 1)


def splash(f, frame):
    a, b = 114, -20
    for _ in range(frame):
        f.px = [[0] * W for _ in range(H)]
        f.text(a, 5, "VANTREK AERO", 1)
        if a > 10:
            a -= 2
        f.ctext(b, 28, "TMX-5", 1)
        if a < 87 and b < 57:
            b += 2
        f.csmall(57, 56, "VANTREKAERO.CO.UK")
        f.small(85, 40, "1.06")


FSEC, FMIN, FMAX = 4, -148, 213  # the Fahrenheit part of home.tmx


def layouts():
    """Frame name -> drawing of the expected picture, with the values its scenario sets."""
    L = {}
    def add(name):
        def deco(fn):
            L[name] = fn
            return fn
        return deco

    # Splash: frame 22 (maker name at 116 - 44 = 72, model centred at 2 * 22 - 48 = -4), frame 80.
    L["splash-mid"] = lambda f: splash(f, 22)
    L["splash-final"] = lambda f: splash(f, 80)

    # Home pages. The host clock starts at 14:30:00 UTC; the instrument reads it
    # at its own second boundaries (every 10th tick of the 100 ms timer), so the
    # header shows the second read at the last boundary. Both zones UTC Zulu.
    def zp(sec, **kw):
        return lambda f: zone_page(f, "UTC Zulu", "14:30:%02d" % sec, "UTC Zulu", "14:30:%02d" % sec, **kw)
    L["home-zone"] = zp(1)
    L["home-stopwatch-running"] = lambda f: stopwatch_page(f, "14:30:04", 30, 1)
    L["home-stopwatch-stopped"] = lambda f: stopwatch_page(f, "14:30:05", 30, 0)
    L["home-timer-expired-off"] = lambda f: timer_page(f, "14:30:07", 0, 1, digits=False, timer=0)
    L["home-timer-expired-on"] = lambda f: timer_page(f, "14:30:08", 0, 1, timer=1)
    L["home-timer-loaded"] = lambda f: timer_page(f, "14:30:10", 37500, 0)
    L["home-alarm-disabled"] = lambda f: alarm_page(f, "14:30:11", "14:31:00", 0)
    L["home-alarm-enabled"] = lambda f: alarm_page(f, "14:30:11", "14:31:00", 1, alarm=1)
    L["home-alarm-ringing-off"] = lambda f: alarm_page(f, "14:31:01", "14:31:00", 1, digits=False, alarm=0)
    L["home-alarm-ringing-on"] = lambda f: alarm_page(f, "14:31:02", "14:31:00", 1, alarm=1)
    L["home-oat-celsius"] = lambda f: oat_page(f, "14:31:03", -17, -17, -17)
    L["home-oat-minmax"] = lambda f: oat_page(f, "14:31:03", 27, -17, 27)
    L["home-oat-underrange"] = lambda f: oat_page(f, "14:31:03", -100, 27, 27)
    L["home-oat-overrange"] = lambda f: oat_page(f, "14:31:03", 100, 27, 27)
    def zp2(sec, **kw):
        return lambda f: zone_page(f, "UTC Zulu", "14:31:%02d" % sec, "UTC Zulu", "14:31:%02d" % sec, **kw)
    L["home-corner-celsius-low"] = zp2(3, temp=-99)
    L["home-corner-under"] = zp2(3, temp=-100)
    L["home-corner-over"] = zp2(3, temp=100)
    L["home-corner-fahrenheit-top"] = zp2(FSEC, temp=212, unit="F")
    L["home-corner-fahrenheit-over"] = zp2(FSEC, temp=213, unit="F")
    L["home-oat-fahrenheit"] = lambda f: oat_page(f, "14:31:%02d" % FSEC, 80, FMIN, FMAX, "F")

    for i in range(7):
        L["menu-%d-of-7" % i] = (lambda c: lambda f: main_menu(f, c, 7))(i)
    for i in range(5):
        L["menu-%d-of-5" % i] = (lambda c: lambda f: main_menu(f, c, 5))(i)
    L["menu-6-cleared"] = lambda f: main_menu(f, 6, 5)

    for i in range(4):
        L["timesetup-row%d" % i] = (lambda c: lambda f: time_setup(f, c))(i)
    for i in range(6):
        L["setutc-field%d" % i] = (lambda c: lambda f: set_utc(f, c, 2026, 1, 9, 9, 5, 3))(i)
    L["setutc-changed"] = lambda f: set_utc(f, 5, 2027, 12, 31, 0, 59, 59)

    for i in range(4):
        L["display-row%d" % i] = (lambda c: lambda f: disp_setup(f, c))(i)
    L["display-backlight-edit-on"] = lambda f: disp_setup(f, 2, 1, 1, "F")
    L["display-backlight-edit-off"] = lambda f: disp_setup(f, 2, 1, 0, "F")
    L["display-unit-edit-f"] = lambda f: disp_setup(f, 3, 1, 1, "F")
    L["display-unit-f"] = lambda f: disp_setup(f, 3, 0, 1, "F")
    L["contrast-37"] = lambda f: contrast(f, 37)
    L["contrast-0"] = lambda f: contrast(f, 0)
    L["contrast-57"] = lambda f: contrast(f, 57)

    for i in range(3):
        L["preset-field%d" % i] = (lambda c: lambda f: hms_editor(f, "PRESET TIMER", c, 1, 2, 3))(i)
        L["alarmtime-field%d" % i] = (lambda c: lambda f: hms_editor(f, "ALARM TIME", c, 23, 59, 50))(i)
    L["preset-power-on"] = lambda f: hms_editor(f, "PRESET TIMER", 0, 0, 0, 0)
    L["alarmtime-power-on"] = lambda f: hms_editor(f, "ALARM TIME", 0, 0, 0, 0)

    L["adc-2048"] = lambda f: adc_values(f, 2048)
    L["adc-4096"] = lambda f: adc_values(f, 4096)
    L["calibrate-done"] = lambda f: calibrate(f, 0, 0, 0, -17)
    L["calibrate-selected"] = lambda f: calibrate(f, 1, 0, 0, -17)
    L["calibrate-editing"] = lambda f: calibrate(f, 1, 1, 1, -16)
    L["calibrate-clamped-high"] = lambda f: calibrate(f, 1, 1, 20, 3)
    L["calibrate-clamped-low"] = lambda f: calibrate(f, 1, 1, -20, -37)

    L["mainzone-zulu"] = lambda f: main_zone(f, "UTC Zulu", 0, 0)
    L["mainzone-gmt"] = lambda f: main_zone(f, "GMT", 0, 0)
    L["mainzone-jayawardenepura"] = lambda f: main_zone(f, "Jayawardenepura", 5, 30)
    L["mainzone-newfoundland"] = lambda f: main_zone(f, "Newfoundland", -3, 30)
    L["localoffset-row0"] = lambda f: local_offset(f, 0, 0, 0, 0, "UTC Zulu", 0, 0)
    L["localoffset-row1"] = lambda f: local_offset(f, 1, 0, 0, 0, "UTC Zulu", 0, 0)
    L["localoffset-row2"] = lambda f: local_offset(f, 2, 0, 1, 0, "UTC Zulu", 0, 0)
    L["localoffset-hour-edit"] = lambda f: local_offset(f, 1, 1, 1, 0, "UTC Zulu", 0, 0)
    L["localoffset-minute-edit"] = lambda f: local_offset(f, 2, 1, 1, -59, "UTC Zulu", 0, 0)
    L["localoffset-next"] = lambda f: local_offset(f, 2, 1, 0, 0, "GMT", 0, 0)
    L["localoffset-prev-wrap"] = lambda f: local_offset(f, 1, 0, -12, 0, "Intl Date Line", -12, 0)

    # Every glyph of both fonts in code order (tests/glyphs/GlyphFrames.cpp).
    def large_glyphs(f):
        for i in range(96):
            f.text(8 * (i % 14), 8 * (i // 14), chr(32 + i))

    def small_glyphs(f):
        for i in range(96):
            f.small(6 * (i % 19), 8 * (i // 19) + 1, chr(32 + i))
    L["glyphs-large"] = large_glyphs
    L["glyphs-small"] = small_glyphs
    return L


def read_pbm(path):
    with open(path) as fh:
        tokens = []
        for line in fh:
            tokens += line.split("#")[0].split()
    if tokens[:3] != ["P1", "114", "64"]:
        raise ValueError(path + ": not a plain 114 x 64 PBM")
    bits = "".join(tokens[3:])
    if len(bits) != W * H:
        raise ValueError(path + ": wrong pixel count")
    return [[int(bits[y * W + x]) for x in range(W)] for y in range(H)]


def check(name, drawing, path):
    want = Frame()
    drawing(want)
    got = read_pbm(path)
    problems = []
    for (x0, y0, x1, y1) in want.ignore:
        if not any(got[y][x] for y in range(y0, y1 + 1) for x in range(x0, x1 + 1)):
            problems.append("menu picture block %d..%d x %d..%d is blank" % (x0, x1, y0, y1))

    def ignored(x, y):
        return any(x0 <= x <= x1 and y0 <= y <= y1 for (x0, y0, x1, y1) in want.ignore)

    diff = [(x, y) for y in range(H) for x in range(W)
            if not ignored(x, y) and want.px[y][x] != got[y][x]]
    if diff:
        problems.append("%d pixels differ, the first at (%d, %d)" % (len(diff), diff[0][0], diff[0][1]))
        rows = sorted({y for _, y in diff})
        for y in range(max(0, rows[0] - 1), min(H, rows[-1] + 2)):
            line = ""
            for x in range(W):
                w, g = want.px[y][x], got[y][x]
                line += "?" if ignored(x, y) else ("#" if w and g else "." if not w and not g else
                                                   "+" if g else "-")
            problems.append("  %2d %s" % (y, line))
        problems.append("  (+ lit but not expected, - expected but dark)")
    for p in problems:
        print("%s: %s" % (name, p))
    return not problems


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "tests", "scenarios", "frames")
    L = layouts()
    ok = True
    # A failed expect-frame leaves NAME.actual.pbm (and NAME.diff.png) beside
    # the reference; those are the run's output, not references.
    names = sorted(n[:-4] for n in os.listdir(folder) if n.endswith(".pbm") and not n.endswith(".actual.pbm"))
    for name in names:
        if name not in L:
            print("%s: no layout to check it against" % name)
            ok = False
            continue
        if check(name, L[name], os.path.join(folder, name + ".pbm")):
            print("%s: ok" % name)
        else:
            ok = False
    print("%d frames, %s" % (len(names), "all match" if ok else "MISMATCHES"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
