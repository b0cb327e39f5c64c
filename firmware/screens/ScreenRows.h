// The rows and fields of the screens that have them, as MenuCursor numbers
// them. The screens draw and move by these names, and the screen table
// (ScreenTable.cpp) takes each screen's row in its parent and its last
// cursor value from them, so a row is numbered in one place only.
#pragma once

#include "../runtime/State.h"

// MAIN MENU entries (MainMenu.cpp); the service entries come last.
const u8 MENU_ENTRY_EXIT = 0;
const u8 MENU_ENTRY_DISPLAY_SETUP = 1;
const u8 MENU_ENTRY_PRESET_TIMER = 2;
const u8 MENU_ENTRY_SET_ALARM = 3;
const u8 MENU_ENTRY_TIME_SETUP = 4;
const u8 MENU_ENTRY_ADC_VALUES = 5;
const u8 MENU_ENTRY_CALIBRATE = 6;
const u8 MENU_LAST_USER_ENTRY = MENU_ENTRY_TIME_SETUP;   // the Calibrate check box clear
const u8 MENU_LAST_SERVICE_ENTRY = MENU_ENTRY_CALIBRATE; // the Calibrate check box checked

// TIME SETUP rows and SET UTC TIME fields (TimeSetup.cpp).
const u8 TIME_SETUP_ROW_DONE = 0;
const u8 TIME_SETUP_ROW_SET_UTC = 1;
const u8 TIME_SETUP_ROW_MAIN_ZONE = 2;
const u8 TIME_SETUP_ROW_LOCAL_OFFSETS = 3;
const u8 UTC_FIELD_YEAR = 0;
const u8 UTC_FIELD_MONTH = 1;
const u8 UTC_FIELD_DAY = 2;
const u8 UTC_FIELD_HOUR = 3;
const u8 UTC_FIELD_MINUTE = 4;
const u8 UTC_FIELD_SECOND = 5;

// DISPLAY SETUP rows (DisplaySetup.cpp).
const u8 DISPLAY_ROW_DONE = 0;
const u8 DISPLAY_ROW_CONTRAST = 1;
const u8 DISPLAY_ROW_BACKLIGHT = 2;
const u8 DISPLAY_ROW_TEMP_UNIT = 3;

// PRESET TIMER and SET ALARM fields (TimerAlarm.cpp).
const u8 TIMER_ALARM_FIELD_HOURS = 0;
const u8 TIMER_ALARM_FIELD_MINUTES = 1;
const u8 TIMER_ALARM_FIELD_SECONDS = 2;

// ADC VALUES (its one row) and CALIBRATE rows (Service.cpp).
const u8 SERVICE_ROW_DONE = 0;
const u8 SERVICE_ROW_OFFSET = 1;

// LOCAL OFFSET rows (Zones.cpp).
const u8 OFFSET_ROW_DONE = 0;
const u8 OFFSET_ROW_HOURS = 1;
const u8 OFFSET_ROW_MINUTES = 2;

// The screens whose cursor never leaves its first row: CONTRAST, MAIN
// TIMEZONE (the knob steps the zone, not a row) and ADC VALUES.
const u8 ONE_ROW_ONLY = 0;
