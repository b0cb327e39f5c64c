// The one converter from the display's page layout to pixels, used by both
// hosts (the window's magnified image and the headless snapshots).
#pragma once

#include "lcd/Lcd.h"

#include <cstddef>
#include <cstring>

// 1 when pixel (x, y) of a page-layout frame (LCD_BYTES) is lit: bit y & 7 of
// byte (y / 8) * 114 + x. Outside 0..113 x 0..63 it is 0.
u8 FramePixel(const u8* frame, int x, int y);

// Unpacks a whole frame into 64 rows of 114 bytes, 1 = lit, 0 = unlit.
void FrameToPixels(const u8* frame, u8 pixels[LCD_HEIGHT][LCD_WIDTH]);

// Packs 64 x 114 pixels (non-zero = lit) back into the page layout.
void PixelsToFrame(const u8 pixels[LCD_HEIGHT][LCD_WIDTH], u8* frame);

// The display magnified: each pixel becomes a scale x scale block of lit or
// unlit, written row after row from out, stride elements apart. Every host's
// picture comes from here: palette indices for PNG and GIF files, colour
// words for the window and the page.
template <typename T>
void MagnifyFrame(const u8* frame, int scale, T lit, T unlit, T* out, size_t stride) {
    u8 pixels[LCD_HEIGHT][LCD_WIDTH];
    FrameToPixels(frame, pixels);
    const size_t width = (size_t)LCD_WIDTH * scale;
    for (int y = 0; y < LCD_HEIGHT; y++) {
        T* row = out + (size_t)y * scale * stride;
        for (int x = 0; x < LCD_WIDTH; x++) {
            const T c = pixels[y][x] ? lit : unlit;
            for (int dx = 0; dx < scale; dx++) row[x * scale + dx] = c;
        }
        for (int dy = 1; dy < scale; dy++) std::memcpy(row + dy * stride, row, width * sizeof(T));
    }
}
