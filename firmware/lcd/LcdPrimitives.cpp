// Frame buffer and drawing primitives of the 114 x 64 display.
//
// Page format: FrameBuffer is 8 pages of 114 column bytes (912 bytes). Page p
// covers rows 8p..8p+7. The byte of pixel (x, y) is (y / 8) * 114 + x, and the
// pixel is bit PixelMask[y & 7] of that byte: least significant bit = top row
// of the page, most significant bit = bottom row. A set bit is a lit (dark)
// pixel; 912 zero bytes are a blank screen.
//
// Every primitive clips as LcdPixel does, on the low 8 bits of each
// coordinate: -1 arrives as 255 and is dropped while 256 arrives as 0 and is
// drawn. Lines, blocks and text write whole column bytes (LcdColumns.h) and
// give the same pixels as drawing them one by one through LcdPixel.
#include "Lcd.h"

#include <cstring>

u8 FrameBuffer[LCD_BYTES];

const u8 PixelMask[8] = {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80};

void LcdClear(void) { memset(FrameBuffer, 0, sizeof FrameBuffer); }

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

// Rows ya..yb (either order) of column x, each row counted modulo 256 as
// LcdPixel would take it; the rows that fall on the display are written with
// one mask per page.
static void ColumnRun(s32 x, s32 ya, s32 yb, u8 on) {
    if ((u8)x >= LCD_WIDTH) {
        return;
    }
    const s32 lo = ya < yb ? ya : yb;
    const s32 hi = ya < yb ? yb : ya;
    uint64_t rows = 0;
    if (hi - lo >= 255) {
        rows = ~(uint64_t)0; // every row value comes round
    } else {
        const s32 first = lo & 255;
        const s32 last = first + (hi - lo); // up to 509: past 255 wraps to row 0
        if (first < LCD_HEIGHT) {
            const s32 end = last < LCD_HEIGHT ? last : LCD_HEIGHT - 1;
            rows |= (~(uint64_t)0 >> (63 - end)) & (~(uint64_t)0 << first);
        }
        if (last > 255) {
            const s32 end = last - 256 < LCD_HEIGHT ? last - 256 : LCD_HEIGHT - 1;
            rows |= ~(uint64_t)0 >> (63 - end);
        }
    }
    u8* b = &FrameBuffer[(u8)x];
    for (u8 p = 0; p < LCD_PAGES; p++, b += LCD_WIDTH) {
        const u8 m = (u8)(rows >> (8 * p));
        if (m != 0) {
            *b = on != 0 ? (u8)(*b | m) : (u8)(*b & ~m);
        }
    }
}

// Bytes from..to-1 of one page row: the bits of mask lit (on) or cleared.
static void WriteRowBytes(u8* row, s32 from, s32 to, u8 mask, u8 on) {
    if (on != 0) {
        for (s32 x = from; x < to; x++) {
            row[x] = (u8)(row[x] | mask);
        }
    } else {
        const u8 keep = (u8)~mask;
        for (s32 x = from; x < to; x++) {
            row[x] = (u8)(row[x] & keep);
        }
    }
}

// Columns xa..xb (either order) of row y, each column counted modulo 256 as
// LcdPixel would take it: one bit in each column byte on the display.
static void RowRun(s32 xa, s32 xb, s32 y, u8 on) {
    if ((u8)y >= LCD_HEIGHT) {
        return;
    }
    const s32 lo = xa < xb ? xa : xb;
    const s32 hi = xa < xb ? xb : xa;
    s32 from[2] = {0, 0};
    s32 to[2] = {-1, -1};
    if (hi - lo >= 255) {
        to[0] = LCD_WIDTH - 1; // every column value comes round
    } else {
        const s32 first = lo & 255;
        const s32 last = first + (hi - lo); // up to 509: past 255 wraps to column 0
        from[0] = first;
        to[0] = last < LCD_WIDTH ? last : LCD_WIDTH - 1;
        if (last > 255) {
            to[1] = last - 256 < LCD_WIDTH ? last - 256 : LCD_WIDTH - 1;
        }
    }
    u8* row = &FrameBuffer[((u8)y / 8) * LCD_WIDTH];
    for (u8 part = 0; part < 2; part++) {
        WriteRowBytes(row, from[part], to[part] + 1, PixelMask[y & 7], on);
    }
}

// Integer Bresenham, both ends included, max(dx, dy) + 1 pixels. The step
// test is strictly e > 0, so where e comes out exactly 0 the line keeps to its
// major axis: (0,0)-(4,2) and (4,2)-(0,0) light different middle pixels, and
// screens rely on the exact pixels. A 45-degree line takes the shallow branch.
// Every pixel gets the same value, so the order of writing does not matter:
// a shallow line is written as the run of columns it covers in each row, a
// steep one as the run of rows it covers in each column.
void LcdLine(s32 x0, s32 y0, s32 x1, s32 y1, u8 on) {
    s32 dx = x1 > x0 ? x1 - x0 : x0 - x1;
    s32 dy = y1 > y0 ? y1 - y0 : y0 - y1;
    s32 sx = x0 > x1 ? -1 : 1;
    s32 sy = y0 > y1 ? -1 : 1;
    s32 x = x0;
    s32 y = y0;

    if (dy == 0) {
        RowRun(x0, x1, y0, on); // the one run of a level line
    } else if (dx == 0) {
        ColumnRun(x0, y0, y1, on);
    } else if (dx >= dy) {
        s32 e = 2 * dy - dx;
        s32 runStart = x;
        for (s32 i = 0; i <= dx; i++) {
            const u8 step = e > 0;
            if (step || i == dx) {
                RowRun(runStart, x, y, on);
            }
            if (step) {
                x += sx;
                y += sy;
                runStart = x;
                e += 2 * dy - 2 * dx;
            } else {
                x += sx;
                e += 2 * dy;
            }
        }
    } else {
        s32 e = 2 * dx - dy;
        s32 runStart = y;
        for (s32 i = 0; i <= dy; i++) {
            const u8 step = e > 0;
            if (step || i == dy) {
                ColumnRun(x, runStart, y, on);
            }
            if (step) {
                x += sx;
                y += sy;
                runStart = y;
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

// Columns x0..x1-1 (x1 exclusive), rows y0..y1 (y1 inclusive): one vertical
// line per column, which is the rows min(y0, y1)..max(y0, y1). The column
// counter is 8-bit like its bounds, so x1 = 0 or x0 >= x1 draws nothing.
// Written a page at a time, one mask for the whole row of column bytes.
void LcdFillRect(u8 x0, u8 y0, u8 x1, u8 y1, u8 on) {
    const u8 top = y0 < y1 ? y0 : y1;
    const u8 bottom = y0 < y1 ? y1 : y0;
    const u8 right = x1 < LCD_WIDTH ? x1 : LCD_WIDTH;
    if (x0 >= right || top >= LCD_HEIGHT) {
        return;
    }
    const u8 last = bottom < LCD_HEIGHT ? bottom : LCD_HEIGHT - 1;
    for (u8 p = top / 8; p <= last / 8; p++) {
        const u8 from = p == top / 8 ? (u8)(top & 7) : 0;
        const u8 to = p == last / 8 ? (u8)(last & 7) : 7;
        const u8 m = (u8)((0xFFu >> (7 - to)) & (0xFFu << from));
        WriteRowBytes(&FrameBuffer[p * LCD_WIDTH], x0, right, m, on);
    }
}
