// The screen routines. Each is a ScreenRoutine: called once per main-loop
// pass after the frame buffer was cleared, it draws its whole page from the
// state and only then acts on KeyCode, which it sets to 0 on every path.
// A screen changes screens only through OpenScreen and ReturnToParent.
#pragma once

#include "../runtime/State.h"

// Home pages (HomeScreen.cpp)
void HomeScreen(void);
void HomeHeader(void);
void ZonePage(void);
void StopwatchPage(void);
void TimerPage(void);
void AlarmPage(void);
void OatPage(void);
// The lowest and highest TempDisplay the OAT readouts show in the unit now
// in force; outside them they read UNDERRANGE or OVERRANGE.
s32 OatRangeLow(void);
s32 OatRangeHigh(void);

// Main menu (MainMenu.cpp)
void MainMenuScreen(void);

// Time setup and UTC editor (TimeSetup.cpp)
void TimeSetupScreen(void);
void SetUtcTimeScreen(void);

// Display setup and contrast (DisplaySetup.cpp)
void DisplaySetupScreen(void);
void ContrastScreen(void);

// Timer preset and alarm time (TimerAlarm.cpp)
void TimerPresetScreen(void);
void AlarmTimeScreen(void);

// Service screens (Service.cpp)
void AdcValuesScreen(void);
void CalibrateScreen(void);

// Zone selection and local offsets (Zones.cpp)
void MainZoneScreen(void);
void LocalOffsetScreen(void);

// --- The screen table (ScreenTable.cpp) ------------------------------------
struct ScreenRow {
    ScreenRoutine Routine;
    const char* Name;     // "HomeScreen", ...
    ScreenRoutine Parent; // where the screen returns to; null for HomeScreen
    u8 RowInParent;       // the parent's row or entry that opens it
    u8 LastCursor;        // the largest MenuCursor it uses (HomeScreen: any)
    u8 KeepsEditMode;     // 1 when its way back leaves EditMode as it is
};
// The number of rows, and the row at index (0 to ScreenCount() - 1, else
// null), in the table's order: for hosts that list every screen.
u8 ScreenCount(void);
const ScreenRow* ScreenRowAt(u8 index);
// The row of a screen routine, or null for anything else (null included).
const ScreenRow* FindScreen(ScreenRoutine routine);
// Name of a screen routine, or null for anything that is not one.
const char* ScreenRoutineName(ScreenRoutine routine);
// The routine of that name, or null.
ScreenRoutine ScreenRoutineByName(const char* name);
// The screen that row of parent opens, or null.
ScreenRoutine ChildScreen(ScreenRoutine parent, u8 row);

// Opens a screen on its first row, not editing: MenuCursor 0, EditMode 0.
// It draws from the next pass on.
void OpenScreen(ScreenRoutine screen);
// Leaves the active screen for its parent, with the parent's cursor on the
// row that opened it and EditMode 0 (unless the screen keeps EditMode).
void ReturnToParent(void);
