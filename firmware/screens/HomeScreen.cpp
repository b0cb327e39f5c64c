// Home pages: the second zone, the stopwatch, the count-down timer, the alarm
// and the outside-air temperature, each under the same header strip.
//
// Transitions. HomeScreen is active after the splash, after 30 seconds without
// a key on any other screen, and after EXIT in the main menu. The knob cycles
// HomePage 0 -> 1 -> 2 -> 3 -> 4 -> 0 (KEY_CW) and back (KEY_CCW); MENU opens
// MainMenuScreen on its EXIT entry (MenuCursor 0, EditMode 0). The soft keys
// act on the page shown and never leave the home pages. While a timer expiry
// or a reached alarm is unacknowledged, the first key of any kind only
// acknowledges it (both at once when both stand) and is otherwise swallowed.
// HomePage is not touched elsewhere, so the pages come back where they were.
#include "Screens.h"

#include <cstdio>

#include "../lcd/Lcd.h"
#include "../runtime/Runtime.h"
#include "ScreenKit.h"

static const u8 PAGE_ZONE = 0;
static const u8 PAGE_STOPWATCH = 1;
static const u8 PAGE_TIMER = 2;
static const u8 PAGE_ALARM = 3;
static const u8 PAGE_OAT = 4;

// Displayable temperature ranges of the OAT readouts, by unit.
static const s32 CELSIUS_LOW = -99;
static const s32 CELSIUS_HIGH = 99;
static const s32 FAHRENHEIT_LOW = -148;
static const s32 FAHRENHEIT_HIGH = 212;

// The page that HomePage selects; a value above 4 shows (and acts as) the
// zone page.
static u8 ShownPage(void) { return HomePage > PAGE_OAT ? PAGE_ZONE : HomePage; }

// Writes value in decimal at p with at least minDigits digits (zeros in
// front), as "%0*d" would after its sign, and returns the end. These readouts
// are drawn every pass, and formatting them by hand costs a fraction of
// snprintf.
static char* PutDigits(char* p, u32 value, u8 minDigits) {
    char digits[10];
    u8 n = 0;
    do {
        digits[n++] = (char)('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n < minDigits) {
        digits[n++] = '0';
    }
    while (n > 0) {
        *p++ = digits[--n];
    }
    return p;
}

// One field as "%02d": a minus sign counts towards the width.
static char* PutField(char* p, int value) {
    if (value < 0) {
        *p++ = '-';
        return PutDigits(p, 0u - (u32)value, 1);
    }
    return PutDigits(p, (u32)value, 2);
}

// "hh:mm:ss" of three fields, each "%02d".
static void FormatTime(char* text, int hours, int minutes, int seconds) {
    char* p = PutField(text, hours);
    *p++ = ':';
    p = PutField(p, minutes);
    *p++ = ':';
    p = PutField(p, seconds);
    *p = '\0';
}

// The stopwatch and timer readout: hours (as an 8-bit value), minutes and
// seconds double height centred on (57, 40), and the tenths digit at (90, 40).
static void DrawDuration(u32 tenths) {
    char text[TEXT_BUFFER];
    u8 hours = (u8)(tenths / 36000);
    u32 rest = tenths % 36000;
    u32 minutes = rest / 600;
    rest = rest % 600;
    u32 seconds = rest / 10;
    u32 tenth = rest % 10;
    FormatTime(text, hours, (int)minutes, (int)seconds);
    LcdTextLargeCentred(57, 40, text, 1, 0);
    snprintf(text, TEXT_BUFFER, "%d", (int)tenth);
    LcdTextLarge(90, 40, text, 0, 0);
}

s32 OatRangeLow(void) { return TempUnitF == 1 ? FAHRENHEIT_LOW : CELSIUS_LOW; }

s32 OatRangeHigh(void) { return TempUnitF == 1 ? FAHRENHEIT_HIGH : CELSIUS_HIGH; }

// The current temperature with its sign and unit, "+21|C" or "-4|F".
static void FormatTemperature(char* text, s32 value) {
    char* p = text;
    *p++ = value < 0 ? '-' : '+';
    p = PutDigits(p, value < 0 ? 0u - (u32)value : (u32)value, 1);
    *p++ = '|';
    *p++ = TempUnitF == 1 ? 'F' : 'C';
    *p = '\0';
}

// Small OAT readout in the top left corner of every page but the OAT page.
// The Fahrenheit readout is centred 3 columns further right, as its texts
// run one character longer.
static void DrawOatCorner(void) {
    u8 centre = TempUnitF == 1 ? 23 : 20;
    if (TempDisplay < OatRangeLow()) {
        LcdTextLargeCentredConst(centre, 9, "UNDER", 0, 0);
        LcdTextLargeCentredConst(centre, 17, "RANGE", 0, 0);
    } else if (TempDisplay > OatRangeHigh()) {
        LcdTextLargeCentredConst(centre, 9, "OVER", 0, 0);
        LcdTextLargeCentredConst(centre, 17, "RANGE", 0, 0);
    } else {
        char text[TEXT_BUFFER];
        FormatTemperature(text, TempDisplay);
        LcdTextLargeCentred(centre, 13, text, 0, 0);
    }
}

void HomeHeader(void) {
    char text[TEXT_BUFFER];
    ZoneName(MainZone, text);
    LcdTextLargeCentred(57, 0, text, 0, 0);

    FormatTime(text, MainZoneTime.Hour, MainZoneTime.Minute, MainZoneTime.Second);
    LcdTextLargeCentred(HomePage == PAGE_OAT ? 57 : 82, 10, text, 1, 0);

    if (StopwatchRunning == 1) {
        LcdTextLargeConst(0, 25, "S", 0, 0);
    }
    // An expired timer or a reached alarm makes its mark flash with the
    // flash phase; acknowledging does not stop it.
    if (TimerRunning == 1 && ((ExpiryFlags & EXPIRY_TIMER) == 0 || FlashPhase == 1)) {
        LcdTextLargeConst(0, 35, "T", 0, 0);
    }
    if (AlarmEnabled == 1 && ((ExpiryFlags & EXPIRY_ALARM) == 0 || FlashPhase == 1)) {
        LcdTextLargeConst(0, 45, "A", 0, 0);
    }
    if (HomePage != PAGE_OAT) {
        DrawOatCorner();
    }
}

void ZonePage(void) {
    char text[TEXT_BUFFER];
    HomeHeader();
    ZoneName(SecondZone, text);
    LcdTextLargeCentred(57, 31, text, 0, 0);
    FormatTime(text, SecondZoneTime.Hour, SecondZoneTime.Minute, SecondZoneTime.Second);
    LcdTextLargeCentred(57, 40, text, 1, 0);
    LcdTextLargeCentredConst(57, 57, "+ TimeZone -", 0, 0);
}

void StopwatchPage(void) {
    HomeHeader();
    LcdTextLargeCentredConst(57, 31, "STOPWATCH", 0, 0);
    DrawDuration(StopwatchTenths);
    LcdTextLargeCentredConst(22, 57, StopwatchRunning == 0 ? "START" : "STOP", 0, 0);
    LcdTextLargeConst(80, 57, "ZERO", 0, 0);
}

void TimerPage(void) {
    HomeHeader();
    LcdTextLargeCentredConst(57, 31, "TIMER", 0, 0);
    // An expired running timer flashes its 00:00:00.
    u8 blanked = (ExpiryFlags & EXPIRY_TIMER) != 0 && TimerRunning == 1 && FlashPhase != 1;
    if (!blanked) {
        DrawDuration(TimerRemainingTenths);
    }
    LcdTextLargeCentredConst(22, 57, TimerRunning == 0 ? "START" : "STOP", 0, 0);
    LcdTextLargeConst(80, 57, "LOAD", 0, 0);
}

void AlarmPage(void) {
    HomeHeader();
    LcdTextLargeCentredConst(57, 31, "ALARM", 0, 0);
    // A reached alarm flashes its time while it stays enabled.
    u8 blanked = (ExpiryFlags & EXPIRY_ALARM) != 0 && AlarmEnabled == 1 && FlashPhase != 1;
    if (!blanked) {
        char text[TEXT_BUFFER];
        FormatTime(text, AlarmHour, AlarmMinute, AlarmSecond);
        LcdTextLargeCentred(57, 40, text, 1, 0);
    }
    LcdTextLargeCentredConst(57, 57, AlarmEnabled == 1 ? "Alarm Enabled" : "Alarm Disabled", 0, 0);
}

void OatPage(void) {
    HomeHeader();
    LcdTextLargeCentredConst(57, 31, "OAT", 0, 0);
    LcdTextLargeCentredConst(57, 57, "Reset", 0, 0);

    // Corner marks at the bottom edge, one on each side of "Reset", pointing
    // down at the two soft keys that both reset.
    LcdLine(20, 60, 30, 60, 1);
    LcdLine(20, 61, 30, 61, 1);
    LcdLine(20, 62, 20, 63, 1);
    LcdLine(21, 62, 21, 63, 1);
    LcdLine(84, 60, 94, 60, 1);
    LcdLine(84, 61, 94, 61, 1);
    LcdLine(93, 62, 93, 63, 1);
    LcdLine(94, 62, 94, 63, 1);

    if (TempDisplay < OatRangeLow()) {
        LcdTextLargeCentredConst(57, 40, "UNDERRANGE", 1, 0);
    } else if (TempDisplay > OatRangeHigh()) {
        LcdTextLargeCentredConst(57, 40, "OVERRANGE", 1, 0);
    } else {
        // Minimum above maximum, unlabelled, in the unit now in force.
        char text[TEXT_BUFFER];
        snprintf(text, TEXT_BUFFER - 2, "%+d", (int)TempMin);
        AppendTempUnit(text);
        LcdTextLarge(66, 40, text, 0, 0);
        snprintf(text, TEXT_BUFFER - 2, "%+d", (int)TempMax);
        AppendTempUnit(text);
        LcdTextLarge(66, 48, text, 0, 0);
        FormatTemperature(text, TempDisplay);
        LcdTextLargeCentred(35, 40, text, 1, 0);
    }
}

// The left soft key of the page shown.
static void LeftKey(u8 page) {
    switch (page) {
        case PAGE_ZONE:
            SecondZone = WrapUp(SecondZone, SecondZone_MAX);
            HookSettingsChanged();
            break;
        case PAGE_STOPWATCH:
            StopwatchRunning = Toggled(StopwatchRunning);
            break;
        case PAGE_TIMER:
            TimerRunning = Toggled(TimerRunning);
            break;
        case PAGE_ALARM:
            AlarmEnabled = Toggled(AlarmEnabled);
            break;
        default:
            ResetMinMax();
            break;
    }
}

// The right soft key of the page shown. ZERO and LOAD leave the count
// running or stopped as it was.
static void RightKey(u8 page) {
    switch (page) {
        case PAGE_ZONE:
            SecondZone = WrapDown(SecondZone, SecondZone_MAX);
            HookSettingsChanged();
            break;
        case PAGE_STOPWATCH:
            StopwatchTenths = 0;
            break;
        case PAGE_TIMER:
            TimerRemainingTenths =
                (u32)TimerPresetHours * 36000 + (u32)TimerPresetMinutes * 600 + (u32)TimerPresetSeconds * 10;
            break;
        case PAGE_ALARM:
            AlarmEnabled = Toggled(AlarmEnabled);
            break;
        default:
            ResetMinMax();
            break;
    }
}

void HomeScreen(void) {
    u8 page = ShownPage();
    switch (page) {
        case PAGE_STOPWATCH:
            StopwatchPage();
            break;
        case PAGE_TIMER:
            TimerPage();
            break;
        case PAGE_ALARM:
            AlarmPage();
            break;
        case PAGE_OAT:
            OatPage();
            break;
        default:
            ZonePage();
            break;
    }

    if (KeyCode == KEY_NONE) {
        return;
    }

    // A key that acknowledges an expiry does nothing else; one key
    // acknowledges a timer expiry and a reached alarm together.
    if ((ExpiryFlags & EXPIRY_TIMER) != 0 && (AckFlags & EXPIRY_TIMER) == 0) {
        AckFlags |= EXPIRY_TIMER;
        KeyCode = KEY_NONE;
    }
    if ((ExpiryFlags & EXPIRY_ALARM) != 0 && (AckFlags & EXPIRY_ALARM) == 0) {
        AckFlags |= EXPIRY_ALARM;
        KeyCode = KEY_NONE;
    }

    switch (KeyCode) {
        case KEY_MENU:
            OpenScreen(MainMenuScreen);
            break;
        case KEY_CW:
            HomePage = page >= PAGE_OAT ? PAGE_ZONE : (u8)(page + 1);
            break;
        case KEY_CCW:
            HomePage = page == PAGE_ZONE ? PAGE_OAT : (u8)(page - 1);
            break;
        case KEY_LEFT:
            LeftKey(page);
            break;
        case KEY_RIGHT:
            RightKey(page);
            break;
        default:
            break;
    }
    KeyCode = KEY_NONE;
}
