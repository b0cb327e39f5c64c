// Text drawing in the two fonts and the layout helpers built on it: screen
// titles, menu lines and the temperature unit suffix.
//
// All x and y arithmetic here is u8, modulo 256, on purpose: text that starts
// left of the display (x 253 for a centred 15-character line) runs in from
// column 0 after LcdPixel has dropped its first columns. Nothing here clips.
#include "Lcd.h"

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

// Inverse video writes every pixel of each cell, so a run of inverse
// characters is one solid bar with the letters cut out. Normal video only
// lights glyph pixels and leaves the background as it was.
void LcdTextLarge(u8 x, u8 y, const char* text, u8 doubleHeight, u8 inverse) {
    const u8 tall = doubleHeight == 1;
    const u8 inv = inverse == 1;
    for (; *text != '\0'; text++) {
        const u8* glyph = &LargeFont[GlyphIndex(*text) * 8];
        for (u8 k = 0; k < 8; k++) {
            for (u8 r = 0; r < 8; r++) {
                const u8 bit = glyph[k] & PixelMask[r];
                if (!inv && bit == 0) {
                    continue; // transparent background
                }
                const u8 on = inv ? (bit == 0) : 1;
                if (tall) {
                    LcdPixel(x, (u8)(y + 2 * r), on);
                    LcdPixel(x, (u8)(y + 2 * r + 1), on);
                } else {
                    LcdPixel(x, (u8)(y + r), on);
                }
            }
            x = (u8)(x + 1);
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
    u8 i = 0;
    u8 inverted = 0;
    for (; *text != '\0'; text++) {
        if (i == invertFrom) {
            inverted = 1;
        }
        const u8* glyph = &SmallFont[GlyphIndex(*text) * 5];
        for (u8 k = 0; k < 6; k++) {
            const u8 column = k < 5 ? glyph[k] : 0;
            for (u8 r = 0; r < 8; r++) {
                const u8 bit = column & (u8)(0x80 >> r);
                if ((bit != 0) != (inverted != 0)) {
                    LcdPixel((u8)(x + k), (u8)(y + r - 1), 1);
                }
            }
        }
        x = (u8)(x + 6);
        i = (u8)(i + 1);
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
