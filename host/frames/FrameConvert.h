// The one converter from the display's page layout to pixels, used by both
// hosts (the window's magnified image and the headless snapshots).
#pragma once

#include "lcd/Lcd.h"

// 1 when pixel (x, y) of a page-layout frame (LCD_BYTES) is lit: bit y & 7 of
// byte (y / 8) * 114 + x. Outside 0..113 x 0..63 it is 0.
u8 FramePixel(const u8* frame, int x, int y);

// Unpacks a whole frame into 64 rows of 114 bytes, 1 = lit, 0 = unlit.
void FrameToPixels(const u8* frame, u8 pixels[LCD_HEIGHT][LCD_WIDTH]);

// Packs 64 x 114 pixels (non-zero = lit) back into the page layout.
void PixelsToFrame(const u8 pixels[LCD_HEIGHT][LCD_WIDTH], u8* frame);
