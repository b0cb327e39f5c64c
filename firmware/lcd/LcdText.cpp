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

// Copies at most 31 characters of text into buf and terminates it; longer
// text is cut, never overrun.
static void CopyText(char* buf, const char* text) {
    u8 i = 0;
    while (i < TEXT_BUFFER - 1 && text[i] != '\0') {
        buf[i] = text[i];
        i++;
    }
    buf[i] = '\0';
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

static void Store8(u8* p, uint64_t w) {
    memcpy(p, &w, 8);
}

// Double height: the four rows of each nibble spread to eight, each row
// twice. Rows 0..3 of a column become its upper page byte, rows 4..7 the
// lower one.
static uint64_t DoubleNibbles(uint64_t nibbles) {
    uint64_t v = nibbles & (EACH_BYTE * 0x0F);
    v = (v | (v << 2)) & (EACH_BYTE * 0x33);
    v = (v | (v << 1)) & (EACH_BYTE * 0x55);
    return v | (v << 1);
}

// Inverse video writes every pixel of each cell, so a run of inverse
// characters is one solid bar with the letters cut out. Normal video only
// lights glyph pixels and leaves the background as it was. A cell is at most
// three page rows of eight column bytes: in each, the cell's bits (clear) go
// dark first, then the lit bits (set) are written. A cell wholly on the
// display is written a page row at a time; one that crosses the right edge or
// starts left of it (x wrapped past 255) is written column by column.
void LcdTextLarge(u8 x, u8 y, const char* text, u8 doubleHeight, u8 inverse) {
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
    uint64_t cell[3];
    cell[0] = downMask;
    cell[1] = upMask | ((lowerRows << s) & downMask);
    cell[2] = (lowerRows >> back) & upMask;
    for (; *text != '\0'; text++, x = (u8)(x + 8)) {
        uint64_t upper = Load8(&LargeFont[GlyphIndex(*text) * 8]);
        uint64_t lower = 0;
        if (tall) {
            lower = DoubleNibbles(upper >> 4);
            upper = DoubleNibbles(upper);
        }
        uint64_t set[3];
        set[0] = (upper << s) & downMask;
        set[1] = ((upper >> back) & upMask) | ((lower << s) & downMask);
        set[2] = (lower >> back) & upMask;
        uint64_t clear[3] = {0, 0, 0};
        if (inv) {
            for (u8 q = 0; q < 3; q++) {
                set[q] = cell[q] & ~set[q];
                clear[q] = cell[q];
            }
        }
        if (x <= LCD_WIDTH - 8) {
            u8* b = &FrameBuffer[(pages.first + pages.pageFrom) * LCD_WIDTH + x];
            for (u8 q = pages.pageFrom; q <= pages.pageTo; q++, b += LCD_WIDTH) {
                Store8(b, (Load8(b) & ~clear[q]) | set[q]);
            }
            continue;
        }
        for (u8 q = pages.pageFrom; q <= pages.pageTo; q++) {
            u8* b = &FrameBuffer[(pages.first + q) * LCD_WIDTH];
            u8 setBytes[8];
            u8 clearBytes[8];
            Store8(setBytes, set[q]);
            Store8(clearBytes, clear[q]);
            for (u8 k = 0; k < 8; k++) {
                const u8 column = (u8)(x + k);
                if (column < LCD_WIDTH) {
                    b[column] = (u8)((b[column] & ~clearBytes[k]) | setBytes[k]);
                }
            }
        }
    }
}

// Centred on the boundary between columns x - 1 and x.
void LcdTextLargeCentred(u8 x, u8 y, const char* text, u8 doubleHeight, u8 inverse) {
    const u8 n = (u8)strlen(text);
    LcdTextLarge((u8)(x - 4 * n), y, text, doubleHeight, inverse);
}

// Glyph tops at row y; the 6 x 8 cell spans rows y - 1 to y + 6 because the
// always-clear top bit of a column byte is the row above the glyph. From
// character invertFrom on the text is inverse, but the small font never
// clears: inverse lights the clear bits and leaves the glyph's bits as they
// were, so it reads correctly only on a blank background.
void LcdTextSmall(u8 x, u8 y, const char* text, u8 invertFrom) {
    s32 top;
    if (!CellTop((u8)(y - 1), 8, &top)) {
        return;
    }
    const CellPages pages = PagesOfCell(top, 8);
    u8 i = 0;
    u8 inverted = 0;
    for (; *text != '\0'; text++, i = (u8)(i + 1)) {
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

void LcdTextSmallCentred(u8 x, u8 y, const char* text, u8 invertFrom) {
    const u8 n = (u8)strlen(text);
    LcdTextSmall((u8)(x - 3 * n), y, text, invertFrom);
}

// Title centred on column 57 in rows 0..7, with a rule along row 4 on each
// side. Titles begin and end with a space, and the rules reach into those
// spaces: the left one to the third column of the first cell, the right one
// from the seventh column of the last cell. The rule ends are signed so that
// a 15-character title's left rule is the single pixel (0, 4).
void LcdTitle(const char* text) {
    const u8 n = (u8)strlen(text);
    const s32 width4 = 4 * (s32)n;
    LcdTextLarge((u8)(57 - 4 * n), 0, text, 0, 0);
    LcdLine(0, 4, 59 - width4, 4, 1);
    LcdLine(width4 + 55, 4, 118, 4, 1);
}

// Rows 0..7 belong to the title: a row text placed there is not drawn.
void LcdRowText(u8 x, u8 y, const char* text, u8 inverse) {
    if (y <= 7) {
        return;
    }
    LcdTextLarge(x, y, text, 0, inverse);
}

// One menu line under the title: line 0 is rows 8..15, line 6 rows 56..63.
// Past the seventh entry the list scrolls so that the selected entry stays on
// line 6; the screens pass row = entry - top, so entries above the window come
// in as row 255 and land at y 0, where LcdRowText drops them. The selected
// line is inverse; while its value is being edited only the value is.
void LcdMenuRow(u8 gap, u8 row, const char* label, const char* value) {
    const u8 top = MenuCursor >= 7 ? (u8)(MenuCursor - 6) : 0;
    const u8 selected = (u8)(MenuCursor - top) == row;
    const u8 y = (u8)(8 * row + 8);
    LcdRowText(0, y, label, (selected && EditMode == 0) ? 1 : 0);
    LcdRowText((u8)(8 * (u8)strlen(label) + gap), y, value, selected);
}

void AppendTempUnit(char* text) {
    strcat(text, TempUnitF == 0 ? "|C" : "|F");
}

void LcdTextLargeConst(u8 x, u8 y, const char* text, u8 doubleHeight, u8 inverse) {
    char buf[TEXT_BUFFER];
    CopyText(buf, text);
    LcdTextLarge(x, y, buf, doubleHeight, inverse);
}

void LcdTextLargeCentredConst(u8 x, u8 y, const char* text, u8 doubleHeight, u8 inverse) {
    char buf[TEXT_BUFFER];
    CopyText(buf, text);
    LcdTextLargeCentred(x, y, buf, doubleHeight, inverse);
}

void LcdTextSmallConst(u8 x, u8 y, const char* text, u8 invertFrom) {
    char buf[TEXT_BUFFER];
    CopyText(buf, text);
    LcdTextSmall(x, y, buf, invertFrom);
}

void LcdTextSmallCentredConst(u8 x, u8 y, const char* text, u8 invertFrom) {
    char buf[TEXT_BUFFER];
    CopyText(buf, text);
    LcdTextSmallCentred(x, y, buf, invertFrom);
}

void LcdTitleConst(const char* text) {
    char buf[TEXT_BUFFER];
    CopyText(buf, text);
    LcdTitle(buf);
}

void LcdMenuRowConst(u8 gap, u8 row, const char* label, const char* value) {
    char labelBuf[TEXT_BUFFER];
    char valueBuf[TEXT_BUFFER];
    CopyText(labelBuf, label);
    CopyText(valueBuf, value);
    LcdMenuRow(gap, row, labelBuf, valueBuf);
}
