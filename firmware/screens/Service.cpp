// The service screens of the temperature channel, reachable from the main
// menu only while the Calibrate check box is checked: ADC VALUES and
// CALIBRATE.
//
// Transitions. MainMenuScreen opens both with cursor 0 and EditMode 0.
// ADC VALUES has one row, "*** DONE ***"; MENU there returns to MainMenuScreen
// on its ADC VALUES entry (5) and every other key is consumed without effect.
// CALIBRATE has DONE (row 0) and the OAT row (row 1). With EditMode not 1,
// KEY_CW and KEY_RIGHT select row 1 and KEY_CCW and KEY_LEFT row 0; MENU on
// row 1 toggles EditMode, and while it is 1 KEY_CW/KEY_LEFT raise and
// KEY_CCW/KEY_RIGHT lower the calibration offset by 1 (KeyStep is not used),
// stopping at -20 and +20. MENU on DONE returns to MainMenuScreen on its
// CALIBRATE entry (6) and signals HookSettingsChanged. Neither screen writes
// EditMode on the way out.
#include "Screens.h"

#include <cstdio>

#include "../lcd/Lcd.h"
#include "../runtime/Runtime.h"
#include "ScreenKit.h"
#include "ScreenRows.h"

void AdcValuesScreen(void) {
    char text[TEXT_BUFFER];
    LcdTitleConst(" ADC VALUES ");
    LcdTextLargeCentredConst(57, 8, "*** DONE ***", 0, MenuCursor == SERVICE_ROW_DONE);
    // The count the temperature was computed from in this pass.
    snprintf(text, TEXT_BUFFER, "OAT: %u", (unsigned)SensorSample);
    LcdRowText(0, 16, text, 0);

    if (KeyCode == KEY_NONE) {
        return;
    }
    if (KeyCode == KEY_MENU && MenuCursor == SERVICE_ROW_DONE) {
        ReturnToParent();
    }
    KeyCode = KEY_NONE;
}

void CalibrateScreen(void) {
    char text[TEXT_BUFFER];
    LcdTitleConst(" CALIBRATE ");
    LcdTextLargeCentredConst(57, 8, "*** DONE ***", 0, MenuCursor == SERVICE_ROW_DONE);
    // The offset with its sign, then the calibrated temperature, always in
    // Celsius whatever unit the home pages use.
    snprintf(text, TEXT_BUFFER, "%+d %d|C", (int)CalibrationOffset, (int)TempCelsius);
    LcdMenuRowConst(0, SERVICE_ROW_OFFSET, "OAT: ", text);

    if (KeyCode == KEY_NONE) {
        return;
    }
    switch (KeyCode) {
        case KEY_MENU:
            if (MenuCursor == SERVICE_ROW_DONE) {
                ReturnToParent();
                HookSettingsChanged();
            } else if (MenuCursor == SERVICE_ROW_OFFSET) {
                EditMode = Toggled(EditMode);
            }
            break;
        case KEY_CW:
        case KEY_LEFT:
            if (EditMode == 1) {
                if (MenuCursor == SERVICE_ROW_OFFSET && CalibrationOffset < CalibrationOffset_MAX) {
                    CalibrationOffset++;
                }
            } else if (KeyCode == KEY_CW) {
                MenuCursor = SERVICE_ROW_OFFSET;
            } else {
                MenuCursor = SERVICE_ROW_DONE;
            }
            break;
        case KEY_CCW:
        case KEY_RIGHT:
            if (EditMode == 1) {
                if (MenuCursor == SERVICE_ROW_OFFSET && CalibrationOffset > CalibrationOffset_MIN) {
                    CalibrationOffset--;
                }
            } else if (KeyCode == KEY_RIGHT) {
                MenuCursor = SERVICE_ROW_OFFSET;
            } else {
                MenuCursor = SERVICE_ROW_DONE;
            }
            break;
        default:
            break;
    }
    KeyCode = KEY_NONE;
}
