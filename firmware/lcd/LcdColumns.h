// Column writes, shared by the primitives and the text drawing: the bits a
// drawing puts into one display column are shifted into place and written
// into the one, two or three page bytes they touch, instead of one pixel at a
// time. What lands off the display is dropped exactly as LcdPixel drops it:
// columns 114..255 and rows 64..255, coordinates taken modulo 256 first.
#pragma once

#include "Lcd.h"

// Rows of a cell height rows tall (8 or 16) whose top row is y, counted
// modulo 256 like every row a drawing computes. A cell that starts at row
// 64..255 shows nothing unless it runs past 255 and so wraps into rows 0..:
// its top is then taken as the negative row y - 256. Returns 0 when no row
// of the cell is on the display.
static inline u8 CellTop(u8 y, u8 height, s32* top) {
    if (y < LCD_HEIGHT) {
        *top = y;
        return 1;
    }
    if (y + height > 256) {
        *top = (s32)y - 256;
        return 1;
    }
    return 0;
}

// Where a cell of height rows with top row top (-15..63) lies in the pages:
// first page (-2..7), the bit shift within it, and the pages of the cell
// that are on the display, from pageFrom to pageTo (counted from first).
struct CellPages {
    s32 first;
    u8 shift;
    u8 pageFrom;
    u8 pageTo;
};

static inline CellPages PagesOfCell(s32 top, u8 height) {
    CellPages c;
    c.first = (top + 16) / 8 - 2; // rounds down for negative rows too
    c.shift = (u8)((top + 16) & 7);
    const s32 span = (c.shift + height + 7) / 8;
    c.pageFrom = (u8)(c.first < 0 ? -c.first : 0);
    const s32 last = c.first + span - 1 < LCD_PAGES - 1 ? span - 1 : LCD_PAGES - 1 - c.first;
    c.pageTo = (u8)last;
    return c;
}

// Writes column x (< 114) of a cell: in each page byte the bits of clear go
// dark first, then the bits of set light. Bit j of set and clear is row j of
// the cell's first page.
static inline void WriteCellColumn(u8 x, const CellPages& c, u32 set, u32 clear) {
    for (u8 q = c.pageFrom; q <= c.pageTo; q++) {
        u8* b = &FrameBuffer[(c.first + q) * LCD_WIDTH + x];
        *b = (u8)((*b & ~(clear >> (8 * q))) | (set >> (8 * q)));
    }
}
