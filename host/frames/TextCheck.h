// `expect-text` and `expect-text-centred`: is exactly this text at this place
// of the frame last rendered?
//
//   expect-text X Y [double] [inverse] [small] "TEXT"
//   expect-text-centred X Y [double] [inverse] [small] "TEXT"
//
// X and Y are 0..255, as the instrument's text routines take them (u8,
// arithmetic modulo 256): the left edge, or the centre for the centred form,
// and the top row of the cells (small text: the glyph tops, its cells start a
// row above). The flags, each at most once and in any order, choose double
// height, inverse video and the small font; small text has no double height.
// TEXT is 1 to 31 characters of codes 32..127 in double quotes; \" is a quote
// and \\ a backslash, so blanks at either end survive (" MAIN MENU ").
//
// The text is drawn with the instrument's own routines into a blank scratch
// frame, and the glyph cells it covers (8 x 8, 8 x 16 double, 6 x 8 small),
// clipped to the display, are compared pixel for pixel with the same cells of
// the frame: a lit pixel beside a glyph inside its cell is a mismatch too.
#pragma once

#include <string>
#include <vector>

#include "frames/FrameConvert.h"

struct TextExpectation {
    int x = 0, y = 0; // as written
    bool centred = false;
    bool tall = false;    // double
    bool inverse = false; // inverse
    bool small = false;   // small
    std::string text;     // decoded, 1..31 characters of codes 32..127
};

// Reads the words after the command word (X, Y, flags, the quoted text as
// one word). On a bad line returns false and says why.
bool ParseTextExpectation(const std::vector<std::string>& words, bool centred, TextExpectation* t,
                          std::string* why);

// Decodes one double-quoted word: "..." with \" and \\ escapes, codes 32..127,
// 1 to 31 characters, nothing after the closing quote.
bool UnquoteText(const std::string& word, std::string* text, std::string* why);

// The text as it is written in a script: in double quotes, " and \ escaped.
std::string QuoteText(const std::string& text);

// The display columns and rows the text's cells cover, in the order of the
// text (left to right, top to bottom), without those outside the display.
void TextCells(const TextExpectation& t, std::vector<int>* columns, std::vector<int>* rows);

// Draws the text into a blank 912-byte frame with the instrument's text
// routines. The instrument's FrameBuffer is saved before and restored after,
// so the instrument never sees the scratch drawing.
void RenderText(const TextExpectation& t, u8* frame);

// Compares the text's cells of frame got with the text drawn alone. Returns
// the number of differing pixels; when there are any, *strips holds the
// "expected:" and "actual:" strips in '#' (lit) / '.' (unlit) form, each line
// indented by two spaces and ended by '\n'.
int CompareText(const TextExpectation& t, const u8* got, std::string* strips);
