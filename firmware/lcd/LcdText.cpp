// Text drawing in the two fonts and the layout helpers built on it: screen
// titles, menu lines and the temperature unit suffix.
//
// All x and y arithmetic here is u8, modulo 256, on purpose: text that starts
// left of the display (x 253 for a centred 15-character line) runs in from
// column 0 after its first columns have been dropped. Clipping happens in
// the column writes (LcdColumns.h), exactly where LcdPixel would clip.
#include "Lcd.h"
#include "LcdColumns.h"

#include <cstdint>
#include <cstring>

static const u8 GLYPH_COUNT = 96; // codes 32..127

// Glyph number of a character code. Text holds codes 32..127 only; any other
// byte (a control code or one of 128..255) draws as a space, so a stray byte
// shows as a blank cell (a solid one in inverse video) and never reads
// outside the font tables.
static u8 GlyphIndex(char ch) {
    u8 g = (u8)((u8)ch - 32);
    return g < GLYPH_COUNT ? g : 0;
}

// The constant-text forms draw the text as the 32-byte working buffer would
// hold it, at most 31 characters, in place instead of copying it: each
// drawing takes a limit on the characters it reads (NO_LIMIT: the whole text).
static const u32 NO_LIMIT = 0xFFFFFFFFu;
static const u32 CONST_LIMIT = TEXT_BUFFER - 1;

static u32 Length(const char* text, u32 limit) {
    if (limit == NO_LIMIT) {
        return (u32)strlen(text);
    }
    u32 n = 0;
    while (n < limit && text[n] != '\0') {
        n++;
    }
    return n;
}

// A large glyph is drawn eight columns at a time: its eight column bytes as
// one 64-bit word, byte k = column k. Every operation on such a word works on
// each byte alone (shifts are masked so no bit crosses into the next column),
// so the byte order of the machine does not matter.
static const uint64_t EACH_BYTE = 0x0101010101010101ull;
static const uint64_t ALL_ROWS = ~(uint64_t)0;

static uint64_t Load8(const u8* p) {
    uint64_t w;
    memcpy(&w, p, 8);
    return w;
}

static void Store8(u8* p, uint64_t w) { memcpy(p, &w, 8); }

// Double height: the four rows of each nibble spread to eight, each row
// twice. Rows 0..3 of a column become its upper page byte, rows 4..7 the
// lower one.
static uint64_t DoubleNibbles(uint64_t nibbles) {
    uint64_t v = nibbles & (EACH_BYTE * 0x0F);
    v = (v | (v << 2)) & (EACH_BYTE * 0x33);
    v = (v | (v << 1)) & (EACH_BYTE * 0x55);
    return v | (v << 1);
}

// The eight column bytes of a cell at x in one page row when some of them
// lie off the display: column by column, each counted modulo 256.
static void WriteClipped(u8* row, u8 x, uint64_t set, uint64_t clear) {
    u8 setBytes[8];
    u8 clearBytes[8];
    Store8(setBytes, set);
    Store8(clearBytes, clear);
    for (u8 k = 0; k < 8; k++) {
        const u8 column = (u8)(x + k);
        if (column < LCD_WIDTH) {
            row[column] = (u8)((row[column] & ~clearBytes[k]) | setBytes[k]);
        }
    }
}

// Inverse video writes every pixel of each cell, so a run of inverse
// characters is one solid bar with the letters cut out. Normal video only
// lights glyph pixels and leaves the background as it was. A cell is at most
// three page rows of eight column bytes: in each, the cell's bits (clear) go
// dark first, then the lit bits (set) are written. A cell wholly on the
// display is written a page row at a time; one that crosses the right edge or
// starts left of it (x wrapped past 255) is written column by column.
static void DrawLarge(u8 x, u8 y, const char* text, u32 limit, u8 doubleHeight, u8 inverse) {
    const u8 tall = doubleHeight == 1;
    const u8 inv = inverse == 1;
    const u8 height = tall ? 16 : 8;
    s32 top;
    if (!CellTop(y, height, &top)) {
        return;
    }
    const CellPages pages = PagesOfCell(top, height);
    // Moving each byte s rows down (towards its most significant bit) keeps
    // the bits of downMask; the rows that spill into the next page are each
    // byte moved 8 - s rows up, the bits of upMask (none when s is 0).
    const u8 s = pages.shift;
    const u8 back = (u8)(8 - s);
    const uint64_t downMask = EACH_BYTE * (u8)(0xFFu << s);
    const uint64_t upMask = EACH_BYTE * (u8)(0xFFu >> back);
    const uint64_t lowerRows = tall ? ALL_ROWS : 0;
    const uint64_t cell0 = downMask;
    const uint64_t cell1 = upMask | ((lowerRows << s) & downMask);
    const uint64_t cell2 = (lowerRows >> back) & upMask;
    for (; limit > 0 && *text != '\0'; text++, limit--, x = (u8)(x + 8)) {
        uint64_t upper = Load8(&LargeFont[GlyphIndex(*text) * 8]);
        uint64_t lower = 0;
        if (tall) {
            lower = DoubleNibbles(upper >> 4);
            upper = DoubleNibbles(upper);
        }
        const uint64_t bits0 = (upper << s) & downMask;
        const uint64_t bits1 = ((upper >> back) & upMask) | ((lower << s) & downMask);
        const uint64_t bits2 = (lower >> back) & upMask;
        for (u8 q = pages.pageFrom; q <= pages.pageTo; q++) {
            const uint64_t bits = q == 0 ? bits0 : q == 1 ? bits1 : bits2;
            const uint64_t cell = q == 0 ? cell0 : q == 1 ? cell1 : cell2;
            const uint64_t clear = inv ? cell : 0;
            const uint64_t set = inv ? (cell & ~bits) : bits;
            u8* row = &FrameBuffer[(pages.first + q) * LCD_WIDTH];
            if (x <= LCD_WIDTH - 8) {
                Store8(row + x, (Load8(row + x) & ~clear) | set);
            } else {
                WriteClipped(row, x, set, clear);
            }
        }
    }
}

void LcdTextLarge(u8 x, u8 y, const char* text, u8 doubleHeight, u8 inverse) {
    DrawLarge(x, y, text, NO_LIMIT, doubleHeight, inverse);
}

// Centred on the boundary between columns x - 1 and x.
static void DrawLargeCentred(u8 x, u8 y, const char* text, u32 limit, u8 doubleHeight, u8 inverse) {
    const u8 n = (u8)Length(text, limit);
    DrawLarge((u8)(x - 4 * n), y, text, limit, doubleHeight, inverse);
}

void LcdTextLargeCentred(u8 x, u8 y, const char* text, u8 doubleHeight, u8 inverse) {
    DrawLargeCentred(x, y, text, NO_LIMIT, doubleHeight, inverse);
}

// Glyph tops at row y; the 6 x 8 cell spans rows y - 1 to y + 6 because the
// always-clear top bit of a column byte is the row above the glyph. From
// character invertFrom on the text is inverse, but the small font never
// clears: inverse lights the clear bits and leaves the glyph's bits as they
// were, so it reads correctly only on a blank background.
static void DrawSmall(u8 x, u8 y, const char* text, u32 limit, u8 invertFrom) {
    s32 top;
    if (!CellTop((u8)(y - 1), 8, &top)) {
        return;
    }
    const CellPages pages = PagesOfCell(top, 8);
    u8 i = 0;
    u8 inverted = 0;
    for (; limit > 0 && *text != '\0'; text++, limit--, i = (u8)(i + 1)) {
        if (i == invertFrom) {
            inverted = 1;
        }
        const u8* glyph = &SmallFont[GlyphIndex(*text) * 5];
        for (u8 k = 0; k < 6; k++, x = (u8)(x + 1)) {
            if (x >= LCD_WIDTH) {
                continue;
            }
            // Top row in the least significant bit, as in a page byte.
            u8 column = k < 5 ? glyph[k] : 0;
            column = (u8)(((column & 0xF0) >> 4) | ((column & 0x0F) << 4));
            column = (u8)(((column & 0xCC) >> 2) | ((column & 0x33) << 2));
            column = (u8)(((column & 0xAA) >> 1) | ((column & 0x55) << 1));
            if (inverted) {
                column = (u8)~column;
            }
            if (column != 0) {
                WriteCellColumn(x, pages, (u32)column << pages.shift, 0);
            }
        }
    }
}

void LcdTextSmall(u8 x, u8 y, const char* text, u8 invertFrom) {
    DrawSmall(x, y, text, NO_LIMIT, invertFrom);
}

static void DrawSmallCentred(u8 x, u8 y, const char* text, u32 limit, u8 invertFrom) {
    const u8 n = (u8)Length(text, limit);
    DrawSmall((u8)(x - 3 * n), y, text, limit, invertFrom);
}

void LcdTextSmallCentred(u8 x, u8 y, const char* text, u8 invertFrom) {
    DrawSmallCentred(x, y, text, NO_LIMIT, invertFrom);
}

// Title centred on column 57 in rows 0..7, with a rule along row 4 on each
// side. Titles begin and end with a space, and the rules reach into those
// spaces: the left one to the third column of the first cell, the right one
// from the seventh column of the last cell. The rule ends are signed so that
// a 15-character title's left rule is the single pixel (0, 4).
static void DrawTitle(const char* text, u32 limit) {
    const u8 n = (u8)Length(text, limit);
    const s32 width4 = 4 * (s32)n;
    DrawLarge((u8)(57 - 4 * n), 0, text, limit, 0, 0);
    LcdLine(0, 4, 59 - width4, 4, 1);
    LcdLine(width4 + 55, 4, 118, 4, 1);
}

void LcdTitle(const char* text) { DrawTitle(text, NO_LIMIT); }

// Rows 0..7 belong to the title: a row text placed there is not drawn.
static void DrawRowText(u8 x, u8 y, const char* text, u32 limit, u8 inverse) {
    if (y <= 7) {
        return;
    }
    DrawLarge(x, y, text, limit, 0, inverse);
}

void LcdRowText(u8 x, u8 y, const char* text, u8 inverse) { DrawRowText(x, y, text, NO_LIMIT, inverse); }

// One menu line under the title: line 0 is rows 8..15, line 6 rows 56..63.
// Past the seventh entry the list scrolls so that the selected entry stays on
// line 6; the screens pass row = entry - top, so entries above the window come
// in as row 255 and land at y 0, where LcdRowText drops them. The selected
// line is inverse; while its value is being edited only the value is.
static void DrawMenuRow(u8 gap, u8 row, const char* label, const char* value, u32 limit) {
    const u8 top = MenuCursor >= 7 ? (u8)(MenuCursor - 6) : 0;
    const u8 selected = (u8)(MenuCursor - top) == row;
    const u8 y = (u8)(8 * row + 8);
    DrawRowText(0, y, label, limit, (selected && EditMode == 0) ? 1 : 0);
    DrawRowText((u8)(8 * (u8)Length(label, limit) + gap), y, value, limit, selected);
}

void LcdMenuRow(u8 gap, u8 row, const char* label, const char* value) {
    DrawMenuRow(gap, row, label, value, NO_LIMIT);
}

void AppendTempUnit(char* text) { strcat(text, TempUnitF == 0 ? "|C" : "|F"); }

void LcdTextLargeConst(u8 x, u8 y, const char* text, u8 doubleHeight, u8 inverse) {
    DrawLarge(x, y, text, CONST_LIMIT, doubleHeight, inverse);
}

void LcdTextLargeCentredConst(u8 x, u8 y, const char* text, u8 doubleHeight, u8 inverse) {
    DrawLargeCentred(x, y, text, CONST_LIMIT, doubleHeight, inverse);
}

void LcdTextSmallConst(u8 x, u8 y, const char* text, u8 invertFrom) {
    DrawSmall(x, y, text, CONST_LIMIT, invertFrom);
}

void LcdTextSmallCentredConst(u8 x, u8 y, const char* text, u8 invertFrom) {
    DrawSmallCentred(x, y, text, CONST_LIMIT, invertFrom);
}

void LcdTitleConst(const char* text) { DrawTitle(text, CONST_LIMIT); }

void LcdMenuRowConst(u8 gap, u8 row, const char* label, const char* value) {
    DrawMenuRow(gap, row, label, value, CONST_LIMIT);
}
