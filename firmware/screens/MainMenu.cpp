// The main menu: one entry at a time, with its picture, its name and a
// scroll indicator.
//
// Transitions. HomeScreen opens the menu on EXIT (MenuCursor 0); each setup
// screen returns to it with MenuCursor on the entry that opened it. The knob
// and the soft keys move through the entries without wrap: KEY_CW and
// KEY_RIGHT down, KEY_CCW and KEY_LEFT up. The last reachable entry is 6 while
// the Calibrate check box is checked and 4 otherwise, so ADC VALUES and
// CALIBRATE are service entries. MENU opens the entry shown with MenuCursor 0
// and EditMode 0: EXIT -> HomeScreen (and HookSettingsChanged), DISPLAY SETUP
// -> DisplaySetupScreen, PRESET TIMER -> TimerPresetScreen, SET ALARM ->
// AlarmTimeScreen, TIME SETUP -> TimeSetupScreen, ADC VALUES ->
// AdcValuesScreen, CALIBRATE -> CalibrateScreen. An entry that is shown is
// opened even when the check box was cleared while it was shown.
#include "Screens.h"

#include "../lcd/Lcd.h"
#include "../runtime/Runtime.h"

struct MenuEntry {
    const char* FirstLine;
    const char* SecondLine; // null for the one-line name
    u8 Icon;
    ScreenRoutine Screen;
};

static const MenuEntry Entries[] = {
    {"EXIT", "MENU", 6, HomeScreen},
    {"DISPLAY", "SETUP", 7, DisplaySetupScreen},
    {"PRESET", "TIMER", 5, TimerPresetScreen},
    {"SET", "ALARM", 1, AlarmTimeScreen},
    {"TIME", "SETUP", 0, TimeSetupScreen},
    {"ADC", "VALUES", 3, AdcValuesScreen},
    {"CALIBRATE", nullptr, 2, CalibrateScreen},
};
static const u8 ENTRY_COUNT = sizeof Entries / sizeof Entries[0];
static const u8 ENTRY_EXIT = 0;
static const u8 LAST_ENTRY_SERVICE = 6; // with the Calibrate check box checked
static const u8 LAST_ENTRY_USER = 4;

void MainMenuScreen(void) {
    LcdTitleConst(" MAIN MENU ");
    LcdScrollBar(MenuCursor, CalibrateEnabled == 1 ? 7 : 5);

    // The cursor never leaves 0..6; the guard only keeps the table read safe.
    const MenuEntry* entry = MenuCursor < ENTRY_COUNT ? &Entries[MenuCursor] : nullptr;
    if (entry != nullptr) {
        if (entry->SecondLine != nullptr) {
            LcdTextLargeCentredConst(73, 18, entry->FirstLine, 1, 0);
            LcdTextLargeCentredConst(73, 36, entry->SecondLine, 1, 0);
        } else {
            LcdTextLargeCentredConst(73, 26, entry->FirstLine, 1, 0);
        }
        LcdIcon(entry->Icon);
    }

    if (KeyCode == KEY_NONE) {
        return;
    }
    u8 last = CalibrateEnabled == 1 ? LAST_ENTRY_SERVICE : LAST_ENTRY_USER;
    switch (KeyCode) {
    case KEY_MENU:
        if (entry != nullptr) {
            ScreenHandler = entry->Screen;
            if (MenuCursor == ENTRY_EXIT) {
                HookSettingsChanged();
            }
            MenuCursor = 0;
            EditMode = 0;
        }
        break;
    case KEY_CW:
    case KEY_RIGHT:
        if (MenuCursor < last) {
            MenuCursor++;
        }
        break;
    case KEY_CCW:
    case KEY_LEFT:
        if (MenuCursor > 0) {
            MenuCursor--;
        }
        break;
    default:
        break;
    }
    KeyCode = KEY_NONE;
}
