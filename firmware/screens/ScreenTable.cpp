// The screens, one row each: the routine, its name for hosts and scripts,
// the parent it returns to, its row in that parent, the last cursor value
// it uses and whether its way back leaves EditMode as it is. Only the
// routines that can stand in ScreenHandler are listed; the home page
// routines (ZonePage, ...) and HomeHeader are drawn by HomeScreen and never
// become the active screen themselves.
#include "Screens.h"

#include <cstring>

// clang-format off
static const ScreenRow Rows[] = {
    // routine             name                   parent              row  last  keeps EditMode
    {HomeScreen,         "HomeScreen",         nullptr,            0,   255,  0},
    {MainMenuScreen,     "MainMenuScreen",     HomeScreen,         0,   6,    0},
    {TimeSetupScreen,    "TimeSetupScreen",    MainMenuScreen,     4,   3,    0},
    {SetUtcTimeScreen,   "SetUtcTimeScreen",   TimeSetupScreen,    1,   5,    0},
    {DisplaySetupScreen, "DisplaySetupScreen", MainMenuScreen,     1,   3,    0},
    {ContrastScreen,     "ContrastScreen",     DisplaySetupScreen, 1,   0,    1},
    {TimerPresetScreen,  "TimerPresetScreen",  MainMenuScreen,     2,   2,    0},
    {AlarmTimeScreen,    "AlarmTimeScreen",    MainMenuScreen,     3,   2,    0},
    {AdcValuesScreen,    "AdcValuesScreen",    MainMenuScreen,     5,   0,    1},
    {CalibrateScreen,    "CalibrateScreen",    MainMenuScreen,     6,   1,    1},
    {MainZoneScreen,     "MainZoneScreen",     TimeSetupScreen,    2,   0,    0},
    {LocalOffsetScreen,  "LocalOffsetScreen",  TimeSetupScreen,    3,   2,    0},
};
// clang-format on

static const u8 SCREEN_COUNT = sizeof Rows / sizeof Rows[0];

u8 ScreenCount(void) { return SCREEN_COUNT; }

const ScreenRow* ScreenRowAt(u8 index) { return index < SCREEN_COUNT ? &Rows[index] : nullptr; }

const ScreenRow* FindScreen(ScreenRoutine routine) {
    if (routine == nullptr) {
        return nullptr;
    }
    for (u8 i = 0; i < SCREEN_COUNT; i++) {
        if (Rows[i].Routine == routine) {
            return &Rows[i];
        }
    }
    return nullptr;
}

const char* ScreenRoutineName(ScreenRoutine routine) {
    const ScreenRow* row = FindScreen(routine);
    return row != nullptr ? row->Name : nullptr;
}

ScreenRoutine ScreenRoutineByName(const char* name) {
    if (name == nullptr) {
        return nullptr;
    }
    for (u8 i = 0; i < SCREEN_COUNT; i++) {
        if (std::strcmp(Rows[i].Name, name) == 0) {
            return Rows[i].Routine;
        }
    }
    return nullptr;
}

ScreenRoutine ChildScreen(ScreenRoutine parent, u8 row) {
    for (u8 i = 0; i < SCREEN_COUNT; i++) {
        if (Rows[i].Parent == parent && Rows[i].RowInParent == row) {
            return Rows[i].Routine;
        }
    }
    return nullptr;
}

void OpenScreen(ScreenRoutine screen) {
    MenuCursor = 0;
    EditMode = 0;
    ScreenHandler = screen;
}

void ReturnToParent(void) {
    const ScreenRow* row = FindScreen(ScreenHandler);
    if (row == nullptr || row->Parent == nullptr) {
        return;
    }
    MenuCursor = row->RowInParent;
    if (row->KeepsEditMode == 0) {
        EditMode = 0;
    }
    ScreenHandler = row->Parent;
}
