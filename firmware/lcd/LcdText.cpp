// Text drawing in the two fonts and the layout helpers built on it: screen
// titles, menu lines and the temperature unit suffix.
//
// All x and y arithmetic here is u8, modulo 256, on purpose: text that starts
// left of the display (x 253 for a centred 15-character line) runs in from
// column 0 after its first columns have been dropped. Clipping happens in
// the column writes (LcdColumns.h), exactly where LcdPixel would clip.
#include "Lcd.h"
#include "LcdColumns.h"

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

// Row r of a glyph column doubled: bits 2r and 2r + 1 of the result.
static u32 DoubleRows(u8 column) {
    u32 v = column;
    v = (v | (v << 4)) & 0x0F0Fu;
    v = (v | (v << 2)) & 0x3333u;
    v = (v | (v << 1)) & 0x5555u;
    return v | (v << 1);
}

// Inverse video writes every pixel of each cell, so a run of inverse
// characters is one solid bar with the letters cut out. Normal video only
// lights glyph pixels and leaves the background as it was. Each column of a
// cell is one shifted mask written into the page bytes it covers.
void LcdTextLarge(u8 x, u8 y, const char* text, u8 doubleHeight, u8 inverse) {
    const u8 tall = doubleHeight == 1;
    const u8 inv = inverse == 1;
    const u8 height = tall ? 16 : 8;
    s32 top;
    if (!CellTop(y, height, &top)) {
        return;
    }
    const CellPages pages = PagesOfCell(top, height);
    const u32 cell = (tall ? 0xFFFFu : 0xFFu) << pages.shift;
    const u32 clear = inv ? cell : 0;
    for (; *text != '\0'; text++) {
        const u8* glyph = &LargeFont[GlyphIndex(*text) * 8];
        for (u8 k = 0; k < 8; k++, x = (u8)(x + 1)) {
            if (x >= LCD_WIDTH || (glyph[k] == 0 && !inv)) {
                continue;
            }
            const u32 bits = (tall ? DoubleRows(glyph[k]) : glyph[k]) << pages.shift;
            WriteCellColumn(x, pages, inv ? (cell & ~bits) : bits, clear);
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
