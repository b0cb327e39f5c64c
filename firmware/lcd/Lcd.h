// The 114 x 64 monochrome display: frame buffer, primitives, fonts, text
// helpers, menu pictures and the scroll indicator.
//
// Frame buffer format: 8 pages of 114 column bytes, 912 bytes. Page p covers
// rows 8p..8p+7; the byte of pixel (x, y) is (y / 8) * 114 + x and the pixel is
// bit PixelMask[y & 7] of it: least significant bit = top row of the page.
// A set bit is a lit (dark) pixel; 912 zero bytes are a blank screen.
//
// Every operation clips as LcdPixel does: it takes the low 8 bits of its
// coordinates and drops what lies outside. Lines, blocks and text write whole
// column bytes (LcdColumns.h) with exactly the pixels LcdPixel would give.
#pragma once

#include "../runtime/State.h"

const u8 LCD_WIDTH = 114;
const u8 LCD_HEIGHT = 64;
const u8 LCD_PAGES = 8;
const u16 LCD_BYTES = 912;
const u8 TEXT_BUFFER = 32; // every working text buffer: 31 characters and the NUL

extern u8 FrameBuffer[LCD_BYTES];
extern const u8 PixelMask[8];

// 8 x 8 font, 96 glyphs (codes 32..127) of 8 column bytes, LSB = top row.
extern const u8 LargeFont[768];
// 6 x 8 font (5 stored columns), 96 glyphs of 5 column bytes, MSB = top row.
extern const u8 SmallFont[480];
// 128 x 64 sheet of eight 32 x 32 menu pictures, in frame-buffer page layout.
extern const u8 IconSheet[1024];

// --- Primitives -------------------------------------------------------------
void LcdClear(void);
void LcdPixel(u8 x, u8 y, u8 on);
void LcdLine(s32 x0, s32 y0, s32 x1, s32 y1, u8 on);
void LcdRect(u8 x0, u8 y0, u8 x1, u8 y1, u8 on);
void LcdFillRect(u8 x0, u8 y0, u8 x1, u8 y1, u8 on); // x1 exclusive, y1 inclusive

// --- Text -------------------------------------------------------------------
// Flags are on only when exactly 1. x and y arithmetic is modulo 256.
void LcdTextLarge(u8 x, u8 y, const char* text, u8 doubleHeight, u8 inverse);
void LcdTextLargeCentred(u8 x, u8 y, const char* text, u8 doubleHeight, u8 inverse);
void LcdTextSmall(u8 x, u8 y, const char* text, u8 invertFrom);
void LcdTextSmallCentred(u8 x, u8 y, const char* text, u8 invertFrom);
void LcdTitle(const char* text);
void LcdRowText(u8 x, u8 y, const char* text, u8 inverse);
void LcdMenuRow(u8 gap, u8 row, const char* label, const char* value);
// Appends "|C" or "|F" by TempUnitF; text has room for two more characters.
void AppendTempUnit(char* text);

// Constant-text forms: copy the text (at most 31 characters) into a 32-byte
// working buffer and draw the copy.
void LcdTextLargeConst(u8 x, u8 y, const char* text, u8 doubleHeight, u8 inverse);
void LcdTextLargeCentredConst(u8 x, u8 y, const char* text, u8 doubleHeight, u8 inverse);
void LcdTextSmallConst(u8 x, u8 y, const char* text, u8 invertFrom);
void LcdTextSmallCentredConst(u8 x, u8 y, const char* text, u8 invertFrom);
void LcdTitleConst(const char* text);
void LcdMenuRowConst(u8 gap, u8 row, const char* label, const char* value);

// --- Menu pictures and scroll indicator ---------------------------------------
void LcdIcon(u8 index);                   // 0..7, into columns 5..36
void LcdScrollBar(u8 position, u8 count); // count >= 1
