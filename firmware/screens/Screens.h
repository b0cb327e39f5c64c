// The screen routines. Each is a ScreenRoutine: called once per main-loop
// pass after the frame buffer was cleared, it draws its whole page from the
// state and only then acts on KeyCode, which it sets to 0 on every path.
// A screen changes screens only by storing another routine in ScreenHandler.
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

// Name of a screen routine ("HomeScreen", ...), or null for anything that is
// not one of the routines above (a null handler included).
const char* ScreenRoutineName(ScreenRoutine routine);
// The routine of that name, or null.
ScreenRoutine ScreenRoutineByName(const char* name);

// The screen routines that can stand in ScreenHandler, by index from 0; null
// past the last.
ScreenRoutine ScreenRoutineAt(u8 index);
