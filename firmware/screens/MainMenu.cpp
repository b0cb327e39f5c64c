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
#include "ScreenRows.h"

struct MenuEntry {
    const char* FirstLine;
    const char* SecondLine; // null for the one-line name
    u8 Icon;
};

// In the order of the MENU_ENTRY_* numbers (ScreenRows.h).
static const MenuEntry Entries[] = {
    {"EXIT", "MENU", 6},  {"DISPLAY", "SETUP", 7}, {"PRESET", "TIMER", 5},    {"SET", "ALARM", 1},
    {"TIME", "SETUP", 0}, {"ADC", "VALUES", 3},    {"CALIBRATE", nullptr, 2},
};
static const u8 ENTRY_COUNT = sizeof Entries / sizeof Entries[0];
static_assert(ENTRY_COUNT == MENU_LAST_SERVICE_ENTRY + 1, "one picture and name per main menu entry");

void MainMenuScreen(void) {
    // The last reachable entry; the scroll indicator counts the entries up to it.
    const u8 last = CalibrateEnabled == 1 ? MENU_LAST_SERVICE_ENTRY : MENU_LAST_USER_ENTRY;
    LcdTitleConst(" MAIN MENU ");
    LcdScrollBar(MenuCursor, last + 1);

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
    switch (KeyCode) {
        case KEY_MENU:
            if (MenuCursor == MENU_ENTRY_EXIT) {
                ReturnToParent();
                HookSettingsChanged();
            } else if (entry != nullptr) {
                OpenScreen(ChildScreen(MainMenuScreen, MenuCursor));
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
