#include "FrameConvert.h"

#include <cstring>

u8 FramePixel(const u8* frame, int x, int y) {
    if (x < 0 || x >= LCD_WIDTH || y < 0 || y >= LCD_HEIGHT) return 0;
    return (frame[(y / 8) * LCD_WIDTH + x] >> (y & 7)) & 1;
}

void FrameToPixels(const u8* frame, u8 pixels[LCD_HEIGHT][LCD_WIDTH]) {
    for (int y = 0; y < LCD_HEIGHT; y++)
        for (int x = 0; x < LCD_WIDTH; x++) pixels[y][x] = FramePixel(frame, x, y);
}

void PixelsToFrame(const u8 pixels[LCD_HEIGHT][LCD_WIDTH], u8* frame) {
    std::memset(frame, 0, LCD_BYTES);
    for (int y = 0; y < LCD_HEIGHT; y++)
        for (int x = 0; x < LCD_WIDTH; x++)
            if (pixels[y][x]) frame[(y / 8) * LCD_WIDTH + x] |= (u8)(1u << (y & 7));
}
