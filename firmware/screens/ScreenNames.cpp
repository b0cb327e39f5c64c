// Names of the screen routines, for hosts and scripts that report or choose
// the active screen by name.
//
// Only the routines that can stand in ScreenHandler are listed; the home page
// routines (ZonePage, ...) and HomeHeader are drawn by HomeScreen and never
// become the active screen themselves.
#include "Screens.h"

#include <cstring>

struct ScreenName {
    ScreenRoutine Routine;
    const char* Name;
};

static const ScreenName ScreenNames[] = {
    {HomeScreen, "HomeScreen"},
    {MainMenuScreen, "MainMenuScreen"},
    {TimeSetupScreen, "TimeSetupScreen"},
    {SetUtcTimeScreen, "SetUtcTimeScreen"},
    {DisplaySetupScreen, "DisplaySetupScreen"},
    {ContrastScreen, "ContrastScreen"},
    {TimerPresetScreen, "TimerPresetScreen"},
    {AlarmTimeScreen, "AlarmTimeScreen"},
    {AdcValuesScreen, "AdcValuesScreen"},
    {CalibrateScreen, "CalibrateScreen"},
    {MainZoneScreen, "MainZoneScreen"},
    {LocalOffsetScreen, "LocalOffsetScreen"},
};
static const u8 SCREEN_COUNT = sizeof ScreenNames / sizeof ScreenNames[0];

const char* ScreenRoutineName(ScreenRoutine routine) {
    if (routine == nullptr) {
        return nullptr;
    }
    for (u8 i = 0; i < SCREEN_COUNT; i++) {
        if (ScreenNames[i].Routine == routine) {
            return ScreenNames[i].Name;
        }
    }
    return nullptr;
}

ScreenRoutine ScreenRoutineByName(const char* name) {
    if (name == nullptr) {
        return nullptr;
    }
    for (u8 i = 0; i < SCREEN_COUNT; i++) {
        if (std::strcmp(ScreenNames[i].Name, name) == 0) {
            return ScreenNames[i].Routine;
        }
    }
    return nullptr;
}

ScreenRoutine ScreenRoutineAt(u8 index) {
    if (index >= SCREEN_COUNT) {
        return nullptr;
    }
    return ScreenNames[index].Routine;
}
