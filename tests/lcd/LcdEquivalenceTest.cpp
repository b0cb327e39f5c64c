// The drawing layer writes whole column bytes; this checks it against the
// plain pixel-by-pixel drawing it replaced, kept here as the reference: every
// text, line and block goes one pixel at a time through RefPixel, the single
// clipping point, with the same 8-bit coordinate arithmetic.
//
// Millions of random calls of every drawing operation (clipped, wrapped in x
// and y, inverse, double height, both fonts, every byte value as a character)
// run on the product and on the reference from the same random background; the
// two 912-byte buffers must agree after every call. Unoptimised and sanitizer
// builds run a twentieth of the calls to keep their test run short.
#include "LcdTestSupport.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#if defined(__OPTIMIZE__) && !defined(__SANITIZE_ADDRESS__)
static const long CALL_SCALE = 1;
#else
static const long CALL_SCALE = 20;
#endif

namespace Ref {

u8 Frame[LCD_BYTES];

void Pixel(u8 x, u8 y, u8 on) {
    if (x >= LCD_WIDTH || y >= LCD_HEIGHT) {
        return;
    }
    u8* b = &Frame[(y / 8) * LCD_WIDTH + x];
    if (on != 0) {
        *b = (u8)(*b | PixelMask[y & 7]);
    } else {
        *b = (u8)(*b & ~PixelMask[y & 7]);
    }
}

void Line(s32 x0, s32 y0, s32 x1, s32 y1, u8 on) {
    s32 dx = x1 > x0 ? x1 - x0 : x0 - x1;
    s32 dy = y1 > y0 ? y1 - y0 : y0 - y1;
    s32 sx = x0 > x1 ? -1 : 1;
    s32 sy = y0 > y1 ? -1 : 1;
    s32 x = x0;
    s32 y = y0;
    if (dx >= dy) {
        s32 e = 2 * dy - dx;
        for (s32 i = 0; i <= dx; i++) {
            Pixel((u8)x, (u8)y, on);
            if (e > 0) {
                x += sx;
                y += sy;
                e += 2 * dy - 2 * dx;
            } else {
                x += sx;
                e += 2 * dy;
            }
        }
    } else {
        s32 e = 2 * dx - dy;
        for (s32 i = 0; i <= dy; i++) {
            Pixel((u8)x, (u8)y, on);
            if (e > 0) {
                x += sx;
                y += sy;
                e += 2 * dx - 2 * dy;
            } else {
                y += sy;
                e += 2 * dx;
            }
        }
    }
}

void Rect(u8 x0, u8 y0, u8 x1, u8 y1, u8 on) {
    Line(x0, y0, x0, y1, on);
    Line(x0, y0, x1, y0, on);
    Line(x1, y0, x1, y1, on);
    Line(x0, y1, x1, y1, on);
}

void FillRect(u8 x0, u8 y0, u8 x1, u8 y1, u8 on) {
    for (u8 x = x0; x < x1; x++) {
        Line(x, y0, x, y1, on);
    }
}

u8 GlyphIndex(char ch) {
    u8 g = (u8)((u8)ch - 32);
    return g < 96 ? g : 0;
}

void CopyText(char* buf, const char* text) {
    u8 i = 0;
    while (i < TEXT_BUFFER - 1 && text[i] != '\0') {
        buf[i] = text[i];
        i++;
    }
    buf[i] = '\0';
}

void TextLarge(u8 x, u8 y, const char* text, u8 doubleHeight, u8 inverse) {
    const u8 tall = doubleHeight == 1;
    const u8 inv = inverse == 1;
    for (; *text != '\0'; text++) {
        const u8* glyph = &LargeFont[GlyphIndex(*text) * 8];
        for (u8 k = 0; k < 8; k++) {
            for (u8 r = 0; r < 8; r++) {
                const u8 bit = glyph[k] & PixelMask[r];
                if (!inv && bit == 0) {
                    continue;
                }
                const u8 on = inv ? (bit == 0) : 1;
                if (tall) {
                    Pixel(x, (u8)(y + 2 * r), on);
                    Pixel(x, (u8)(y + 2 * r + 1), on);
                } else {
                    Pixel(x, (u8)(y + r), on);
                }
            }
            x = (u8)(x + 1);
        }
    }
}

void TextLargeCentred(u8 x, u8 y, const char* text, u8 doubleHeight, u8 inverse) {
    const u8 n = (u8)strlen(text);
    TextLarge((u8)(x - 4 * n), y, text, doubleHeight, inverse);
}

void TextSmall(u8 x, u8 y, const char* text, u8 invertFrom) {
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
                    Pixel((u8)(x + k), (u8)(y + r - 1), 1);
                }
            }
        }
        x = (u8)(x + 6);
        i = (u8)(i + 1);
    }
}

void TextSmallCentred(u8 x, u8 y, const char* text, u8 invertFrom) {
    const u8 n = (u8)strlen(text);
    TextSmall((u8)(x - 3 * n), y, text, invertFrom);
}

void Title(const char* text) {
    const u8 n = (u8)strlen(text);
    const s32 width4 = 4 * (s32)n;
    TextLarge((u8)(57 - 4 * n), 0, text, 0, 0);
    Line(0, 4, 59 - width4, 4, 1);
    Line(width4 + 55, 4, 118, 4, 1);
}

void RowText(u8 x, u8 y, const char* text, u8 inverse) {
    if (y <= 7) {
        return;
    }
    TextLarge(x, y, text, 0, inverse);
}

void MenuRow(u8 gap, u8 row, const char* label, const char* value) {
    const u8 top = MenuCursor >= 7 ? (u8)(MenuCursor - 6) : 0;
    const u8 selected = (u8)(MenuCursor - top) == row;
    const u8 y = (u8)(8 * row + 8);
    RowText(0, y, label, (selected && EditMode == 0) ? 1 : 0);
    RowText((u8)(8 * (u8)strlen(label) + gap), y, value, selected);
}

void ScrollBar(u8 position, u8 count) {
    Line(111, 8, 111, 63, 1);
    if (count == 0) {
        return;
    }
    const float step = 56.0f / (float)count;
    const float top = (float)position * step + 8.0f;
    const float bottom = top + step;
    FillRect(109, (u8)(s32)top, 114, (u8)(s32)bottom, 1);
}

} // namespace Ref

namespace {

class Equivalence : public ::testing::Test {
protected:
    // xorshift64*: a state of one word, saved before each call so that a
    // failing call can be replayed to describe it.
    struct Rng {
        typedef u32 result_type;
        uint64_t state = 20261208;
        static constexpr u32 min() { return 0; }
        static constexpr u32 max() { return 0xFFFFFFFFu; }
        u32 operator()() {
            state ^= state >> 12;
            state ^= state << 25;
            state ^= state >> 27;
            return (u32)((state * 0x2545F4914F6CDD1Dull) >> 32);
        }
    } rng;

    int Uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
    bool Chance(int percent) { return Uniform(0, 99) < percent; }

    // Same random background in both buffers: noise mostly, sometimes blank
    // or solid, since inverse and clearing draws depend on what lies beneath.
    void NewBackground() {
        const int kind = Uniform(0, 7);
        for (u16 i = 0; i < LCD_BYTES; i++) {
            FrameBuffer[i] = kind == 0 ? 0 : kind == 1 ? 0xFF : (u8)rng();
        }
        memcpy(Ref::Frame, FrameBuffer, LCD_BYTES);
    }

    // Half anywhere in 0..255, half around the display so that most calls
    // cross an edge or land on it; the 8-bit wrap brings -16 in as 240.
    u8 X() { return Chance(50) ? (u8)Uniform(0, 255) : (u8)Uniform(-16, 130); }
    u8 Y() { return Chance(50) ? (u8)Uniform(0, 255) : (u8)Uniform(-20, 75); }
    // Block corners: a block across the whole 8-bit range costs the reference
    // tens of thousands of pixels, so those come less often.
    u8 BlockX() { return Chance(10) ? (u8)Uniform(0, 255) : (u8)Uniform(-16, 130); }
    u8 BlockY() { return Chance(10) ? (u8)Uniform(0, 255) : (u8)Uniform(-20, 75); }
    // Line ends: mostly near the display, sometimes hundreds of pixels out,
    // where the low 8 bits of a coordinate bring a line back on screen.
    s32 LineCoord(int size) { return Chance(95) ? Uniform(-20, size + 20) : Uniform(-700, 700); }
    u8 Flag() {
        static const u8 values[] = {0, 1, 0, 1, 2, 255};
        return values[Uniform(0, 5)];
    }

    // Mostly short, sometimes past the 31 characters of a working buffer and
    // past 256 columns, so the text wraps over itself. Mostly font codes,
    // sometimes any other byte (drawn as a space).
    std::string Text() {
        const int n = Chance(80) ? Uniform(0, 5) : Chance(80) ? Uniform(6, 31) : Uniform(32, 40);
        std::string s;
        for (int i = 0; i < n; i++) {
            s.push_back((char)(Chance(85) ? Uniform(32, 127) : Uniform(1, 255)));
        }
        return s;
    }

    // Runs calls random calls of one operation on both sides and stops at the
    // first call after which the buffers differ. call(nullptr, 0) picks its
    // arguments and draws; call(what, size) picks the same arguments again
    // from the replayed generator and only describes the call.
    template <typename Call>
    void Run(long calls, Call call) {
        calls /= CALL_SCALE;
        char what[512];
        for (long i = 0; i < calls; i++) {
            if (i % 16 == 0) {
                NewBackground();
            }
            const uint64_t before = rng.state;
            call(nullptr, 0);
            if (memcmp(FrameBuffer, Ref::Frame, LCD_BYTES) != 0) {
                rng.state = before;
                call(what, sizeof what);
                int at = 0;
                while (FrameBuffer[at] == Ref::Frame[at]) {
                    at++;
                }
                FAIL() << "call " << i << ": " << what << "\nfirst difference at byte " << at << " (page "
                       << at / 114 << ", column " << at % 114 << "): drawn 0x" << std::hex
                       << (int)FrameBuffer[at] << ", reference 0x" << (int)Ref::Frame[at];
            }
        }
    }
};

std::string Quoted(const std::string& s) {
    std::string q = "\"";
    char hex[8];
    for (unsigned char c : s) {
        if (c >= 32 && c < 127 && c != '"' && c != '\\') {
            q.push_back((char)c);
        } else {
            snprintf(hex, sizeof hex, "\\x%02X", c);
            q += hex;
        }
    }
    return q + "\"";
}

TEST_F(Equivalence, PixelsLinesRectsAndBlocks) {
    Run(300000, [&](char* what, size_t size) {
        const u8 x = X(), y = Y(), on = Chance(70) ? 1 : (u8)Uniform(0, 2) * 100;
        if (what != nullptr) {
            snprintf(what, size, "LcdPixel(%d, %d, %d)", x, y, on);
            return;
        }
        LcdPixel(x, y, on);
        Ref::Pixel(x, y, on);
    });
    Run(600000, [&](char* what, size_t size) {
        const s32 x0 = LineCoord(114), y0 = LineCoord(64);
        s32 x1 = LineCoord(114), y1 = LineCoord(64);
        if (Chance(25)) {
            y1 = y0; // the horizontal and vertical lines the screens draw
        } else if (Chance(25)) {
            x1 = x0;
        }
        const u8 on = Chance(60) ? 1 : 0;
        if (what != nullptr) {
            snprintf(what, size, "LcdLine(%d, %d, %d, %d, %d)", x0, y0, x1, y1, on);
            return;
        }
        LcdLine(x0, y0, x1, y1, on);
        Ref::Line(x0, y0, x1, y1, on);
    });
    Run(200000, [&](char* what, size_t size) {
        const u8 x0 = X(), y0 = Y(), x1 = X(), y1 = Y(), on = Chance(60) ? 1 : 0;
        if (what != nullptr) {
            snprintf(what, size, "LcdRect(%d, %d, %d, %d, %d)", x0, y0, x1, y1, on);
            return;
        }
        LcdRect(x0, y0, x1, y1, on);
        Ref::Rect(x0, y0, x1, y1, on);
    });
    Run(300000, [&](char* what, size_t size) {
        const u8 x0 = BlockX(), y0 = BlockY(), x1 = BlockX(), y1 = BlockY(), on = Chance(60) ? 1 : 0;
        if (what != nullptr) {
            snprintf(what, size, "LcdFillRect(%d, %d, %d, %d, %d)", x0, y0, x1, y1, on);
            return;
        }
        LcdFillRect(x0, y0, x1, y1, on);
        Ref::FillRect(x0, y0, x1, y1, on);
    });
    Run(50000, [&](char* what, size_t size) {
        const u8 position = (u8)Uniform(0, 9), count = (u8)Uniform(0, 9);
        if (what != nullptr) {
            snprintf(what, size, "LcdScrollBar(%d, %d)", position, count);
            return;
        }
        LcdScrollBar(position, count);
        Ref::ScrollBar(position, count);
    });
}

TEST_F(Equivalence, LargeText) {
    Run(800000, [&](char* what, size_t size) {
        const u8 x = X(), y = Y(), tall = Flag(), inverse = Flag();
        const std::string text = Text();
        const bool centred = Chance(25);
        const bool constant = Chance(20);
        if (what != nullptr) {
            snprintf(what, size, "LcdTextLarge%s%s(%d, %d, %s, %d, %d)", centred ? "Centred" : "",
                     constant ? "Const" : "", x, y, Quoted(text).c_str(), tall, inverse);
            return;
        }
        if (centred && constant) {
            LcdTextLargeCentredConst(x, y, text.c_str(), tall, inverse);
            char buf[TEXT_BUFFER];
            Ref::CopyText(buf, text.c_str());
            Ref::TextLargeCentred(x, y, buf, tall, inverse);
        } else if (centred) {
            LcdTextLargeCentred(x, y, text.c_str(), tall, inverse);
            Ref::TextLargeCentred(x, y, text.c_str(), tall, inverse);
        } else if (constant) {
            LcdTextLargeConst(x, y, text.c_str(), tall, inverse);
            char buf[TEXT_BUFFER];
            Ref::CopyText(buf, text.c_str());
            Ref::TextLarge(x, y, buf, tall, inverse);
        } else {
            LcdTextLarge(x, y, text.c_str(), tall, inverse);
            Ref::TextLarge(x, y, text.c_str(), tall, inverse);
        }
    });
}

TEST_F(Equivalence, SmallText) {
    Run(600000, [&](char* what, size_t size) {
        const u8 x = X(), y = Y();
        const std::string text = Text();
        const u8 from = Chance(80) ? (u8)Uniform(0, (int)text.size() + 1) : (u8)Uniform(0, 255);
        const bool centred = Chance(25);
        const bool constant = Chance(20);
        if (what != nullptr) {
            snprintf(what, size, "LcdTextSmall%s%s(%d, %d, %s, %d)", centred ? "Centred" : "",
                     constant ? "Const" : "", x, y, Quoted(text).c_str(), from);
            return;
        }
        if (centred && constant) {
            LcdTextSmallCentredConst(x, y, text.c_str(), from);
            char buf[TEXT_BUFFER];
            Ref::CopyText(buf, text.c_str());
            Ref::TextSmallCentred(x, y, buf, from);
        } else if (centred) {
            LcdTextSmallCentred(x, y, text.c_str(), from);
            Ref::TextSmallCentred(x, y, text.c_str(), from);
        } else if (constant) {
            LcdTextSmallConst(x, y, text.c_str(), from);
            char buf[TEXT_BUFFER];
            Ref::CopyText(buf, text.c_str());
            Ref::TextSmall(x, y, buf, from);
        } else {
            LcdTextSmall(x, y, text.c_str(), from);
            Ref::TextSmall(x, y, text.c_str(), from);
        }
    });
}

TEST_F(Equivalence, TitlesRowsAndMenuLines) {
    Run(200000, [&](char* what, size_t size) {
        const std::string text = Text();
        const bool constant = Chance(50);
        if (what != nullptr) {
            snprintf(what, size, "LcdTitle%s(%s)", constant ? "Const" : "", Quoted(text).c_str());
            return;
        }
        if (constant) {
            LcdTitleConst(text.c_str());
            char buf[TEXT_BUFFER];
            Ref::CopyText(buf, text.c_str());
            Ref::Title(buf);
        } else {
            LcdTitle(text.c_str());
            Ref::Title(text.c_str());
        }
    });
    Run(200000, [&](char* what, size_t size) {
        const u8 x = X(), y = Y(), inverse = Flag();
        const std::string text = Text();
        if (what != nullptr) {
            snprintf(what, size, "LcdRowText(%d, %d, %s, %d)", x, y, Quoted(text).c_str(), inverse);
            return;
        }
        LcdRowText(x, y, text.c_str(), inverse);
        Ref::RowText(x, y, text.c_str(), inverse);
    });
    Run(200000, [&](char* what, size_t size) {
        MenuCursor = (u8)Uniform(0, 12);
        EditMode = (u8)Uniform(0, 2);
        const u8 gap = Chance(70) ? 0 : (u8)Uniform(0, 255);
        const u8 row = Chance(90) ? (u8)Uniform(-1, 7) : (u8)Uniform(0, 255);
        const std::string label = Text(), value = Text();
        const bool constant = Chance(50);
        if (what != nullptr) {
            snprintf(what, size, "LcdMenuRow%s(%d, %d, %s, %s) with MenuCursor %d, EditMode %d",
                     constant ? "Const" : "", gap, row, Quoted(label).c_str(), Quoted(value).c_str(),
                     MenuCursor, EditMode);
            return;
        }
        if (constant) {
            LcdMenuRowConst(gap, row, label.c_str(), value.c_str());
            char labelBuf[TEXT_BUFFER];
            char valueBuf[TEXT_BUFFER];
            Ref::CopyText(labelBuf, label.c_str());
            Ref::CopyText(valueBuf, value.c_str());
            Ref::MenuRow(gap, row, labelBuf, valueBuf);
        } else {
            LcdMenuRow(gap, row, label.c_str(), value.c_str());
            Ref::MenuRow(gap, row, label.c_str(), value.c_str());
        }
    });
}

} // namespace
