#include "ScreenKit.h"

#include <cstdio>

#include "../lcd/Lcd.h"

u8 WrapUp(u8 value, u8 last) {
    s32 s = (s32)value + KeyStep;
    return s > last ? 0 : (u8)s;
}

u8 WrapDown(u8 value, u8 last) {
    s32 d = (s32)value - KeyStep;
    return d < 0 ? last : (u8)d;
}

u8 Toggled(u8 flag) { return flag != 0 ? 0 : 1; }

void DrawTimeFields(u8 hours, u8 minutes, u8 seconds, u8 hoursField) {
    char text[TEXT_BUFFER];
    snprintf(text, TEXT_BUFFER, "%02d", hours);
    LcdTextLarge(24, 40, text, 1, MenuCursor == hoursField);
    LcdTextLargeConst(40, 40, ":", 1, 0);
    snprintf(text, TEXT_BUFFER, "%02d", minutes);
    LcdTextLarge(48, 40, text, 1, MenuCursor == hoursField + 1);
    LcdTextLargeConst(64, 40, ":", 1, 0);
    snprintf(text, TEXT_BUFFER, "%02d", seconds);
    LcdTextLarge(72, 40, text, 1, MenuCursor == hoursField + 2);
}
