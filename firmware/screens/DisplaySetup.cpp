// DISP SETUP, the submenu of the display settings, and CONTRAST.
//
// Transitions. MainMenuScreen opens DISP SETUP on "*** DONE ***" (cursor 0).
// With EditMode 0 the knob and soft keys select a row without wrap (KEY_CW and
// KEY_RIGHT down, KEY_CCW and KEY_LEFT up). MENU on DONE returns to
// MainMenuScreen on its DISPLAY SETUP entry (1) with EditMode 0; MENU on ADJ
// CONTRAST opens ContrastScreen; MENU on BACKLIGHT or TEMP UNIT toggles
// EditMode, and while EditMode is set each of the four turn and soft keys
// flips that row's setting instead of moving the selection. Every change is
// live: no confirm, no cancel.
//
// CONTRAST steps the contrast by 1 per key (KeyStep is not used), stopping at
// 0 and 57, and calls HookContrast on every such key; MENU returns to DISP
// SETUP on ADJ CONTRAST (1) and signals HookSettingsChanged.
#include "Screens.h"

#include "../lcd/Lcd.h"
#include "../runtime/Runtime.h"
#include "ScreenKit.h"
#include "ScreenRows.h"

void DisplaySetupScreen(void) {
    LcdTitleConst(" DISP SETUP ");
    LcdTextLargeCentredConst(57, 8, "*** DONE ***", 0, MenuCursor == DISPLAY_ROW_DONE);
    LcdTextLargeConst(0, 16, "ADJ CONTRAST", 0, MenuCursor == DISPLAY_ROW_CONTRAST);
    LcdMenuRowConst(0, DISPLAY_ROW_BACKLIGHT, "BACKLIGHT: ", Backlight != 0 ? "ON" : "OFF");
    LcdMenuRowConst(0, DISPLAY_ROW_TEMP_UNIT, "TEMP UNIT: ", TempUnitF != 0 ? "|F" : "|C");

    if (KeyCode == KEY_NONE) {
        return;
    }
    switch (KeyCode) {
        case KEY_MENU:
            if (MenuCursor == DISPLAY_ROW_DONE) {
                ReturnToParent();
            } else if (MenuCursor == DISPLAY_ROW_CONTRAST) {
                OpenScreen(ContrastScreen);
            } else if (MenuCursor == DISPLAY_ROW_BACKLIGHT || MenuCursor == DISPLAY_ROW_TEMP_UNIT) {
                EditMode = Toggled(EditMode);
            }
            break;
        case KEY_CW:
        case KEY_CCW:
        case KEY_LEFT:
        case KEY_RIGHT:
            if (EditMode != 0) {
                if (MenuCursor == DISPLAY_ROW_BACKLIGHT) {
                    Backlight = Toggled(Backlight);
                } else if (MenuCursor == DISPLAY_ROW_TEMP_UNIT) {
                    // Through SetTempUnit, so that the held minimum and maximum
                    // are converted into the new unit with it.
                    SetTempUnit(Toggled(TempUnitF));
                }
            } else if (KeyCode == KEY_CW || KeyCode == KEY_RIGHT) {
                if (MenuCursor < DISPLAY_ROW_TEMP_UNIT) {
                    MenuCursor++;
                }
            } else if (MenuCursor > DISPLAY_ROW_DONE) {
                MenuCursor--;
            }
            break;
        default:
            break;
    }
    KeyCode = KEY_NONE;
}

void ContrastScreen(void) {
    LcdTitleConst(" CONTRAST ");
    // The bar covers columns 0 to 2 * Contrast - 1 inside the frame, which is
    // drawn after it so that the outline always shows.
    LcdFillRect(0, 15, (u8)(2 * Contrast), 25, 1);
    LcdRect(0, 15, 113, 25, 1);
    LcdTextLargeCentredConst(57, 40, "USE { } OR ~", 0, 0);
    LcdTextLargeCentredConst(57, 48, "TO ADJUST THE", 0, 0);
    LcdTextLargeCentredConst(57, 56, "CONTRAST", 0, 0);

    if (KeyCode == KEY_NONE) {
        return;
    }
    switch (KeyCode) {
        case KEY_MENU:
            ReturnToParent();
            HookSettingsChanged();
            break;
        case KEY_CW:
        case KEY_LEFT:
            if (Contrast < Contrast_MAX) {
                Contrast++;
            }
            HookContrast();
            break;
        case KEY_CCW:
        case KEY_RIGHT:
            if (Contrast > Contrast_MIN) {
                Contrast--;
            }
            HookContrast();
            break;
        default:
            break;
    }
    KeyCode = KEY_NONE;
}
