// Helpers shared by the display tests: pixel reads straight from the buffer
// bytes (not through PixelMask), glyph bytes decoded from hex strings written
// down by hand, and a fixture that starts every case from a blank screen.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "lcd/Lcd.h"

typedef std::pair<int, int> Px; // (x, y)
typedef std::set<Px> PxSet;

inline bool Lit(int x, int y) { return (FrameBuffer[(y / 8) * 114 + x] >> (y % 8)) & 1; }

inline PxSet LitPixels() {
    PxSet lit;
    for (int y = 0; y < 64; y++) {
        for (int x = 0; x < 114; x++) {
            if (Lit(x, y)) {
                lit.insert(Px(x, y));
            }
        }
    }
    return lit;
}

// "7C7E13..." -> {0x7C, 0x7E, 0x13, ...}
inline std::vector<int> Hex(const std::string& s) {
    std::vector<int> bytes;
    for (size_t i = 0; i + 1 < s.size(); i += 2) {
        bytes.push_back(std::stoi(s.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

// Pixels of a large glyph (LSB = top row) drawn with its cell at (x, y).
inline PxSet LargeGlyphPixels(const std::string& hex, int x, int y) {
    PxSet lit;
    std::vector<int> cols = Hex(hex);
    for (int k = 0; k < 8; k++) {
        for (int r = 0; r < 8; r++) {
            if (cols[k] & (1 << r)) {
                lit.insert(Px(x + k, y + r));
            }
        }
    }
    return lit;
}

// Pixels of a small glyph (MSB = top row of the cell); the cell's top row is
// y - 1 because the glyph's top is row y.
inline PxSet SmallGlyphPixels(const std::string& hex, int x, int y) {
    PxSet lit;
    std::vector<int> cols = Hex(hex);
    for (int k = 0; k < 5; k++) {
        for (int r = 0; r < 8; r++) {
            if (cols[k] & (0x80 >> r)) {
                lit.insert(Px(x + k, y - 1 + r));
            }
        }
    }
    return lit;
}

inline PxSet Block(int x0, int y0, int x1, int y1) // both corners included
{
    PxSet lit;
    for (int y = y0; y <= y1; y++) {
        for (int x = x0; x <= x1; x++) {
            lit.insert(Px(x, y));
        }
    }
    return lit;
}

inline PxSet Minus(PxSet a, const PxSet& b) {
    for (const Px& p : b) {
        a.erase(p);
    }
    return a;
}

inline PxSet Union(PxSet a, const PxSet& b) {
    a.insert(b.begin(), b.end());
    return a;
}

inline PxSet OnScreen(const PxSet& a) {
    PxSet out;
    for (const Px& p : a) {
        if (p.first >= 0 && p.first < 114 && p.second >= 0 && p.second < 64) {
            out.insert(p);
        }
    }
    return out;
}

class LcdTest : public ::testing::Test {
protected:
    void SetUp() override {
        LcdClear();
        MenuCursor = 0;
        EditMode = 0;
        TempUnitF = 0;
    }
};
