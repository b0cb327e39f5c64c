#include "FrameConvert.h"

#include <cstring>

u8 FramePixel(const u8* frame, int x, int y) {
    if (x < 0 || x >= FRAME_WIDTH || y < 0 || y >= FRAME_HEIGHT) return 0;
    return (frame[(y / 8) * FRAME_WIDTH + x] >> (y & 7)) & 1;
}

void FrameToPixels(const u8* frame, u8 pixels[FRAME_HEIGHT][FRAME_WIDTH]) {
    for (int y = 0; y < FRAME_HEIGHT; y++)
        for (int x = 0; x < FRAME_WIDTH; x++) pixels[y][x] = FramePixel(frame, x, y);
}

void PixelsToFrame(const u8 pixels[FRAME_HEIGHT][FRAME_WIDTH], u8* frame) {
    std::memset(frame, 0, FRAME_BYTES);
    for (int y = 0; y < FRAME_HEIGHT; y++)
        for (int x = 0; x < FRAME_WIDTH; x++)
            if (pixels[y][x]) frame[(y / 8) * FRAME_WIDTH + x] |= (u8)(1u << (y & 7));
}
