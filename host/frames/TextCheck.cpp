#include "TextCheck.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "lcd/Lcd.h"

static const size_t MAX_TEXT = TEXT_BUFFER - 1;

static bool ParseCoordinate(const std::string& s, int* value) {
    if (s.empty() || s.size() > 3) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    long v = std::strtol(s.c_str(), nullptr, 10);
    if (v > 255) return false;
    *value = (int)v;
    return true;
}

bool UnquoteText(const std::string& word, std::string* text, std::string* why) {
    if (word.empty() || word[0] != '"') {
        *why = "the text goes in double quotes: \"TEXT\"";
        return false;
    }
    std::string t;
    size_t i = 1;
    for (;; i++) {
        if (i >= word.size()) {
            *why = "the closing quote of the text is missing";
            return false;
        }
        const unsigned char c = (unsigned char)word[i];
        if (c == '"') break;
        if (c == '\\') {
            if (i + 1 >= word.size() || (word[i + 1] != '"' && word[i + 1] != '\\')) {
                *why = "a backslash in the text is written \\\\ (and a quote \\\")";
                return false;
            }
            t += word[++i];
            continue;
        }
        if (c < 32 || c > 127) {
            *why = "the text holds character code " + std::to_string(c) + "; the fonts draw codes 32 to 127";
            return false;
        }
        t += (char)c;
    }
    if (i + 1 != word.size()) {
        *why = "nothing may follow the closing quote of the text";
        return false;
    }
    if (t.empty()) {
        *why = "the text is empty";
        return false;
    }
    if (t.size() > MAX_TEXT) {
        *why = "the text has " + std::to_string(t.size()) + " characters; at most 31 fit a text buffer";
        return false;
    }
    *text = t;
    return true;
}

std::string QuoteText(const std::string& text) {
    std::string q = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') q += '\\';
        q += c;
    }
    return q + "\"";
}

bool ParseTextExpectation(const std::vector<std::string>& w, bool centred, TextExpectation* t,
                          std::string* why) {
    const char* usage = centred ? "usage: expect-text-centred X Y [double] [inverse] [small] \"TEXT\""
                                : "usage: expect-text X Y [double] [inverse] [small] \"TEXT\"";
    if (w.size() < 3) {
        *why = usage;
        return false;
    }
    TextExpectation e;
    e.centred = centred;
    if (!ParseCoordinate(w[0], &e.x) || !ParseCoordinate(w[1], &e.y)) {
        *why = "text coordinates are 0 to 255, not " + w[0] + " " + w[1];
        return false;
    }
    size_t i = 2;
    for (; i < w.size() && w[i][0] != '"'; i++) {
        bool* flag = w[i] == "double"    ? &e.tall
                     : w[i] == "inverse" ? &e.inverse
                     : w[i] == "small"   ? &e.small
                                         : nullptr;
        if (flag == nullptr) {
            *why = "unknown flag " + w[i] + " (double, inverse, small), or the text is not in double quotes";
            return false;
        }
        if (*flag) {
            *why = "flag " + w[i] + " given twice";
            return false;
        }
        *flag = true;
    }
    if (i == w.size()) {
        *why = usage;
        return false;
    }
    if (i + 1 != w.size()) {
        *why = "nothing may follow the closing quote of the text";
        return false;
    }
    if (!UnquoteText(w[i], &e.text, why)) return false;
    if (e.small && e.tall) {
        *why = "small text has no double height";
        return false;
    }
    std::vector<int> columns, rows;
    TextCells(e, &columns, &rows);
    if (columns.empty() || rows.empty()) {
        *why = "the text at (" + w[0] + ", " + w[1] + ") lies wholly outside the display";
        return false;
    }
    *t = e;
    return true;
}

// The left edge of the first cell, modulo 256 as the text routines compute it.
static int LeftEdge(const TextExpectation& t) {
    const int n = (int)t.text.size();
    if (!t.centred) return t.x;
    return (t.x - (t.small ? 3 : 4) * n) & 0xFF;
}

void TextCells(const TextExpectation& t, std::vector<int>* columns, std::vector<int>* rows) {
    columns->clear();
    rows->clear();
    const int cellWidth = t.small ? 6 : 8;
    const int left = LeftEdge(t);
    for (int k = 0; k < cellWidth * (int)t.text.size(); k++) {
        const int x = (left + k) & 0xFF;
        if (x < LCD_WIDTH) columns->push_back(x);
    }
    const int top = t.small ? t.y - 1 : t.y;
    const int height = t.tall ? 16 : 8;
    for (int r = 0; r < height; r++) {
        const int y = (top + r) & 0xFF;
        if (y < LCD_HEIGHT) rows->push_back(y);
    }
}

void RenderText(const TextExpectation& t, u8* frame) {
    u8 saved[LCD_BYTES];
    std::memcpy(saved, FrameBuffer, LCD_BYTES);
    LcdClear();
    char buf[TEXT_BUFFER];
    std::strncpy(buf, t.text.c_str(), TEXT_BUFFER - 1);
    buf[TEXT_BUFFER - 1] = '\0';
    const u8 x = (u8)t.x, y = (u8)t.y;
    // invertFrom past the last character inverts nothing.
    const u8 invertFrom = t.inverse ? 0 : 255;
    if (t.small) {
        if (t.centred)
            LcdTextSmallCentred(x, y, buf, invertFrom);
        else
            LcdTextSmall(x, y, buf, invertFrom);
    } else {
        if (t.centred)
            LcdTextLargeCentred(x, y, buf, t.tall ? 1 : 0, t.inverse ? 1 : 0);
        else
            LcdTextLarge(x, y, buf, t.tall ? 1 : 0, t.inverse ? 1 : 0);
    }
    std::memcpy(frame, FrameBuffer, LCD_BYTES);
    std::memcpy(FrameBuffer, saved, LCD_BYTES);
}

int CompareText(const TextExpectation& t, const u8* got, std::string* strips) {
    u8 want[LCD_BYTES];
    RenderText(t, want);
    std::vector<int> columns, rows;
    TextCells(t, &columns, &rows);
    int differ = 0;
    std::string expected, actual;
    for (int y : rows) {
        expected += "  ";
        actual += "  ";
        for (int x : columns) {
            const u8 w = FramePixel(want, x, y), g = FramePixel(got, x, y);
            differ += w != g;
            expected += w ? '#' : '.';
            actual += g ? '#' : '.';
        }
        expected += '\n';
        actual += '\n';
    }
    strips->clear();
    if (differ > 0) *strips = "  expected:\n" + expected + "  actual:\n" + actual;
    return differ;
}
