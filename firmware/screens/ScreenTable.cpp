// The screens, one row each: the routine, its name for hosts and scripts,
// the parent it returns to, its row in that parent, the last cursor value
// it uses and whether its way back leaves EditMode as it is. Only the
// routines that can stand in ScreenHandler are listed; the home page
// routines (ZonePage, ...) and HomeHeader are drawn by HomeScreen and never
// become the active screen themselves.
#include "Screens.h"

#include "ScreenRows.h"

#include <cstring>

// clang-format off
static const ScreenRow Rows[] = {
    // routine             name                  parent              row in parent                 last cursor                 keeps EditMode
    {HomeScreen,         "HomeScreen",         nullptr,            0,                            255,                        0},
    {MainMenuScreen,     "MainMenuScreen",     HomeScreen,         0,                            MENU_LAST_SERVICE_ENTRY,    0},
    {TimeSetupScreen,    "TimeSetupScreen",    MainMenuScreen,     MENU_ENTRY_TIME_SETUP,        TIME_SETUP_ROW_LOCAL_OFFSETS, 0},
    {SetUtcTimeScreen,   "SetUtcTimeScreen",   TimeSetupScreen,    TIME_SETUP_ROW_SET_UTC,       UTC_FIELD_SECOND,           0},
    {DisplaySetupScreen, "DisplaySetupScreen", MainMenuScreen,     MENU_ENTRY_DISPLAY_SETUP,     DISPLAY_ROW_TEMP_UNIT,      0},
    {ContrastScreen,     "ContrastScreen",     DisplaySetupScreen, DISPLAY_ROW_CONTRAST,         ONE_ROW_ONLY,               1},
    {TimerPresetScreen,  "TimerPresetScreen",  MainMenuScreen,     MENU_ENTRY_PRESET_TIMER,      TIMER_ALARM_FIELD_SECONDS,  0},
    {AlarmTimeScreen,    "AlarmTimeScreen",    MainMenuScreen,     MENU_ENTRY_SET_ALARM,         TIMER_ALARM_FIELD_SECONDS,  0},
    {AdcValuesScreen,    "AdcValuesScreen",    MainMenuScreen,     MENU_ENTRY_ADC_VALUES,        ONE_ROW_ONLY,               1},
    {CalibrateScreen,    "CalibrateScreen",    MainMenuScreen,     MENU_ENTRY_CALIBRATE,         SERVICE_ROW_OFFSET,         1},
    {MainZoneScreen,     "MainZoneScreen",     TimeSetupScreen,    TIME_SETUP_ROW_MAIN_ZONE,     ONE_ROW_ONLY,               0},
    {LocalOffsetScreen,  "LocalOffsetScreen",  TimeSetupScreen,    TIME_SETUP_ROW_LOCAL_OFFSETS, OFFSET_ROW_MINUTES,         0},
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
