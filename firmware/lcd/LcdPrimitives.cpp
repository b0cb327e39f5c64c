// Frame buffer and drawing primitives of the 114 x 64 display.
//
// Page format: FrameBuffer is 8 pages of 114 column bytes (912 bytes). Page p
// covers rows 8p..8p+7. The byte of pixel (x, y) is (y / 8) * 114 + x, and the
// pixel is bit PixelMask[y & 7] of that byte: least significant bit = top row
// of the page, most significant bit = bottom row. A set bit is a lit (dark)
// pixel; 912 zero bytes are a blank screen.
//
// Clipping happens in LcdPixel and nowhere else. Every other primitive hands
// it the low 8 bits of its coordinates, so -1 arrives as 255 and is dropped
// while 256 arrives as 0 and is drawn.
#include "Lcd.h"

#include <cstring>

u8 FrameBuffer[LCD_BYTES];

const u8 PixelMask[8] = {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80};

void LcdClear(void) {
    memset(FrameBuffer, 0, sizeof FrameBuffer);
}

// The one clipping point: x >= 114 or y >= 64 is dropped silently.
void LcdPixel(u8 x, u8 y, u8 on) {
    if (x >= LCD_WIDTH || y >= LCD_HEIGHT) {
        return;
    }
    u8* b = &FrameBuffer[(y / 8) * LCD_WIDTH + x];
    if (on != 0) {
        *b = (u8)(*b | PixelMask[y & 7]);
    } else {
        *b = (u8)(*b & ~PixelMask[y & 7]);
    }
}

// Integer Bresenham, both ends included, max(dx, dy) + 1 pixels. The step
// test is strictly e > 0, so where e comes out exactly 0 the line keeps to its
// major axis: (0,0)-(4,2) and (4,2)-(0,0) light different middle pixels, and
// screens rely on the exact pixels. A 45-degree line takes the shallow branch.
void LcdLine(s32 x0, s32 y0, s32 x1, s32 y1, u8 on) {
    s32 dx = x1 > x0 ? x1 - x0 : x0 - x1;
    s32 dy = y1 > y0 ? y1 - y0 : y0 - y1;
    s32 sx = x0 > x1 ? -1 : 1;
    s32 sy = y0 > y1 ? -1 : 1;
    s32 x = x0;
    s32 y = y0;

    if (dx >= dy) {
        s32 e = 2 * dy - dx;
        for (s32 i = 0; i <= dx; i++) {
            LcdPixel((u8)x, (u8)y, on);
            if (e > 0) {
                x += sx;
                y += sy;
                e += 2 * dy - 2 * dx;
            } else {
                x += sx;
                e += 2 * dy;
            }
        }
    } else {
        s32 e = 2 * dx - dy;
        for (s32 i = 0; i <= dy; i++) {
            LcdPixel((u8)x, (u8)y, on);
            if (e > 0) {
                x += sx;
                y += sy;
                e += 2 * dx - 2 * dy;
            } else {
                y += sy;
                e += 2 * dx;
            }
        }
    }
}

// Corners included. The four sides are drawn left, top, right, bottom; the
// order only matters to a reader comparing pixel traces.
void LcdRect(u8 x0, u8 y0, u8 x1, u8 y1, u8 on) {
    LcdLine(x0, y0, x0, y1, on);
    LcdLine(x0, y0, x1, y0, on);
    LcdLine(x1, y0, x1, y1, on);
    LcdLine(x0, y1, x1, y1, on);
}

// Columns x0..x1-1 (x1 exclusive), rows y0..y1 (y1 inclusive). The column
// counter is 8-bit like its bounds, so x1 = 0 or x0 >= x1 draws nothing.
void LcdFillRect(u8 x0, u8 y0, u8 x1, u8 y1, u8 on) {
    for (u8 x = x0; x < x1; x++) {
        LcdLine(x, y0, x, y1, on);
    }
}
