// Power cycle and main loop.
//
// ON (Button1Click) from off runs the power-on sequence: defaults, an
// 80-frame splash, then main-loop passes until OFF. It returns only when the
// instrument is off again. Everything runs on the host's one thread: the
// pass hands control to the host once, at its end (PumpEvents), and only
// there do the tick, the keys, the track bar, OFF and ON run.
//
// ON while running does not start a second power-on inside the event
// processing (that would nest one more loop on the stack per click); it asks
// for a restart, and the current pass ends the loop and powers on again from
// the top. The result a user sees is the same: defaults, the splash again,
// every power-on value reset, and one OFF ends the instrument. ON during the
// splash is ignored.
#include "Runtime.h"

#include <cstring>

#include "../lcd/Lcd.h"
#include "../screens/Screens.h"

const char SplashWebAddress[] = "VANTREKAERO.CO.UK";
const char FirmwareVersion[] = "1.06";

static_assert(sizeof SplashWebAddress - 1 == 17, "the splash web address fills 17 characters");

void LoadDefaults(void) {
    Contrast = 37;
    HookContrast();
    Backlight = 1;
    HookBacklightOn();
    TimerPresetHours = 0;
    TimerPresetMinutes = 0;
    TimerPresetSeconds = 0;
    AlarmHour = 0;
    AlarmMinute = 0;
    AlarmSecond = 0;
    MainZone = ZONE_UTC_ZULU;
    SecondZone = ZONE_UTC_ZULU;
    std::memset(LocalOffsetHours, 0, sizeof LocalOffsetHours);
    std::memset(LocalOffsetMinutes, 0, sizeof LocalOffsetMinutes);
    TempUnitF = 0;
    // The instrument's clock follows the host again until UTC is set anew.
    UtcClockOffset = 0;
}

// One splash frame. The maker name slides in from the right edge (a = 114
// down to 10) and the model name from the left (centre b = -20 up to 58);
// the text routines take the 8-bit patterns and clip at both edges.
void SplashFrame(s8* a, s8* b) {
    LcdClear();
    LcdTextLargeConst((u8)*a, 5, "VANTREK AERO", 1, 0);
    if (*a > 10) *a = (s8)(*a - 2);
    LcdTextLargeCentredConst((u8)*b, 28, "TMX-5", 1, 0);
    if (*a < 87 && *b < 57) *b = (s8)(*b + 2);
    LcdTextSmallCentredConst(57, 56, SplashWebAddress, 255);
    LcdTextSmallConst(85, 40, FirmwareVersion, 255);
    Host->RenderLcd(Host->Context);
    Host->PumpEvents(Host->Context);
    UpdateTemperature();
}

u8 LampLit(void) { return ExpiryFlags != 0 && AckFlags == 0 && FlashPhase == 1 ? 1 : 0; }

static u32 SecondOfDay(u8 hour, u8 minute, u8 second) { return 3600u * hour + 60u * minute + second; }

void OnceASecond(void) {
    SecondElapsed = 0;

    // A stopped timer, or one with time left, withdraws its expiry and its
    // acknowledgement.
    if (TimerRunning == 1 && TimerRemainingTenths == 0) {
        ExpiryFlags |= EXPIRY_TIMER;
    } else {
        ExpiryFlags &= (u8)~EXPIRY_TIMER;
        AckFlags &= (u8)~EXPIRY_TIMER;
    }

    ReadUtc(&UtcTime);
    UpdateZoneTimes();

    // The alarm compares the second zone's time of day with the alarm time as
    // one time: an alarm enabled after its time of day rings at once, not at
    // the next moment when hours, minutes and seconds each happen to be above.
    if (AlarmEnabled == 1) {
        if (SecondOfDay(SecondZoneTime.Hour, SecondZoneTime.Minute, SecondZoneTime.Second) >=
            SecondOfDay(AlarmHour, AlarmMinute, AlarmSecond))
            ExpiryFlags |= EXPIRY_ALARM;
    } else {
        ExpiryFlags &= (u8)~EXPIRY_ALARM;
        AckFlags &= (u8)~EXPIRY_ALARM;
    }
}

void MainLoopPass(void) {
    CalibrateEnabled = Host->CalibrateChecked(Host->Context) != 0 ? 1 : 0;
    UpdateTemperature();

    // Thirty seconds without a key on any screen but the home pages.
    if (InactivitySeconds == 0 && ScreenHandler != HomeScreen) {
        InactivitySeconds = INACTIVITY_RELOAD;
        HookSettingsChanged();
        ScreenHandler = HomeScreen;
    }

    if (Backlight == 1)
        HookBacklightOn();
    else
        HookBacklightOff();

    if (LampLit() == 1) {
        HookLampOn();
        Host->SetLampColour(Host->Context, LAMP_BRIGHT);
    } else {
        HookLampOff();
        Host->SetLampColour(Host->Context, LAMP_DARK);
    }

    KeyStep = Host->KeyFastChecked(Host->Context) != 0 ? 10 : 1;

    if (SecondElapsed == 1) OnceASecond();

    Host->ShowDisplay(Host->Context, 0);
    LcdClear();
    if (ScreenHandler != nullptr) ScreenHandler();
    Host->RenderLcd(Host->Context);
    Host->ShowDisplay(Host->Context, 1);
    Host->PumpEvents(Host->Context);
}

// The power-on sequence, the splash and the main loop. Returns when the loop
// ends: after OFF, after ON while running (RestartRequested), or when the
// host shuts down.
static void PowerOnSequence(void) {
    LoadDefaults();
    ResetCalibration();
    ExpiryFlags = 0;
    AckFlags = 0;
    HomePage = 0;
    RawSensor = 2048; // whatever the track bar shows, until it next moves
    CalibrateEnabled = 0;
    KeyCode = 0;

    PowerState = POWER_SPLASH;
    s8 a = 114;
    s8 b = -20;
    for (u8 frame = 0; frame < SPLASH_FRAMES; frame++) {
        if (ShutdownRequested == 1) return;
        SplashFrame(&a, &b);
    }
    if (ShutdownRequested == 1) return;

    ResetMinMax();
    HookLampOff();
    StopRequested = 0; // an OFF during the splash is lost
    RestartRequested = 0;
    ScreenHandler = HomeScreen;
    MenuCursor = 0;
    StopwatchRunning = 0;
    TimerRunning = 0;
    AlarmEnabled = 0;
    ReadUtc(&UtcTime);
    // Year counts from 1900, so this holds on every host before the year
    // 3800: UtcTime reads 1 February 1970 until the next once-a-second block,
    // which normally runs in the very first pass.
    if (UtcTime.Year < 1900) {
        UtcTime.Second = 0;
        UtcTime.Minute = 0;
        UtcTime.Hour = 0;
        UtcTime.Day = 1;
        UtcTime.Month = 1;
        UtcTime.Year = 70;
    }

    PowerState = POWER_ON;
    do {
        MainLoopPass();
    } while (StopRequested == 0 && RestartRequested == 0 && ShutdownRequested == 0);
}

// Powers on while RestartRequested is set: ON sets it for the first power-on,
// and ON while running sets it again to end the loop and power on anew. Every
// power-on is entered from here, at one stack depth, so restarts never nest.
static void PowerOnWhileRequested(void) {
    while (RestartRequested == 1 && ShutdownRequested == 0) {
        RestartRequested = 0;
        PowerOnSequence();
    }
}

void Button1Click(void) {
    if (PowerState == POWER_SPLASH) return; // ON during the splash is ignored
    if (PowerState == POWER_ON) {
        RestartRequested = 1; // power on again once the current pass is over
        return;
    }
    if (ShutdownRequested == 1) return;
    RestartRequested = 1;
    PowerOnWhileRequested();
    PowerState = POWER_OFF;
}

void ResumeMainLoop(void) {
    if (PowerState != POWER_OFF || ShutdownRequested == 1) return;
    PowerState = POWER_ON;
    while (StopRequested == 0 && RestartRequested == 0 && ShutdownRequested == 0) {
        MainLoopPass();
    }
    PowerOnWhileRequested();
    PowerState = POWER_OFF;
}

void Button2Click(void) { StopRequested = 1; }

void RequestShutdown(void) { ShutdownRequested = 1; }
