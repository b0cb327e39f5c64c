// Storage of the instrument's state; see State.h for each field's unit,
// range and writer.
#include "State.h"

#include <cstring>

u8 KeyCode;
u8 KeyStep;
u8 InactivitySeconds;
u8 TickDivider;
u8 SecondElapsed;
u8 FlashDivider;
u8 FlashPhase;

ScreenRoutine ScreenHandler;
u8 StopRequested;
u8 StopwatchRunning;
u8 TimerRunning;
u8 AlarmEnabled;
u32 StopwatchTenths;
u32 TimerRemainingTenths;
u8 ExpiryFlags;
u8 AckFlags;
u8 CalibrateEnabled;
u8 HomePage;
u8 MenuCursor;
u8 EditMode;
u8 Contrast;
u8 Backlight;
u8 TempUnitF;
u8 TimerPresetHours;
u8 TimerPresetMinutes;
u8 TimerPresetSeconds;
u8 AlarmHour;
u8 AlarmMinute;
u8 AlarmSecond;
u8 MainZone;
u8 SecondZone;
s8 LocalOffsetHours[ZONE_COUNT];
s8 LocalOffsetMinutes[ZONE_COUNT];

TimeFields UtcTime;
TimeFields MainZoneTime;
TimeFields SecondZoneTime;
s64 UtcClockOffset;

s32 RawSensor;
s32 SensorSample;
s32 TempCelsius;
s32 TempDisplay;
s32 TempMin;
s32 TempMax;
s8 CalibrationOffset;

u32 EditYear;
u8 EditMonth;
u8 EditDay;
u8 EditHour;
u8 EditMinute;
u8 EditSecond;

u8 PowerState;
u8 RestartRequested;
u8 ShutdownRequested;

void ResetInstrumentState(void) {
    KeyCode = KeyStep = InactivitySeconds = 0;
    TickDivider = SecondElapsed = FlashDivider = FlashPhase = 0;
    ScreenHandler = nullptr;
    StopRequested = StopwatchRunning = TimerRunning = AlarmEnabled = 0;
    StopwatchTenths = TimerRemainingTenths = 0;
    ExpiryFlags = AckFlags = CalibrateEnabled = HomePage = MenuCursor = EditMode = 0;
    Contrast = Backlight = TempUnitF = 0;
    TimerPresetHours = TimerPresetMinutes = TimerPresetSeconds = 0;
    AlarmHour = AlarmMinute = AlarmSecond = 0;
    MainZone = SecondZone = 0;
    std::memset(LocalOffsetHours, 0, sizeof LocalOffsetHours);
    std::memset(LocalOffsetMinutes, 0, sizeof LocalOffsetMinutes);
    std::memset(&UtcTime, 0, sizeof UtcTime);
    std::memset(&MainZoneTime, 0, sizeof MainZoneTime);
    std::memset(&SecondZoneTime, 0, sizeof SecondZoneTime);
    UtcClockOffset = 0;
    RawSensor = SensorSample = TempCelsius = TempDisplay = TempMin = TempMax = 0;
    CalibrationOffset = 0;
    EditYear = 0;
    EditMonth = EditDay = EditHour = EditMinute = EditSecond = 0;
    PowerState = RestartRequested = ShutdownRequested = 0;
}
