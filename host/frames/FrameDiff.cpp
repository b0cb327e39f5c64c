#include "FrameDiff.h"

#include <cstdio>
#include <cstring>

#include "frames/FrameFiles.h"

static bool Ignored(const std::vector<FrameBox>& ignore, int x, int y) {
    for (const FrameBox& b : ignore)
        if (x >= b.x0 && x <= b.x1 && y >= b.y0 && y <= b.y1) return true;
    return false;
}

FrameDiff CompareFrames(const u8* want, const u8* got, const std::vector<FrameBox>& ignore) {
    FrameDiff d;
    for (int y = 0; y < LCD_HEIGHT; y++)
        for (int x = 0; x < LCD_WIDTH; x++) {
            if (Ignored(ignore, x, y)) {
                d.mark[y][x] = MARK_IGNORED;
                continue;
            }
            const u8 w = FramePixel(want, x, y), g = FramePixel(got, x, y);
            if (w == g) continue;
            d.mark[y][x] = g ? MARK_EXTRA : MARK_MISSING;
            if (d.count++ == 0) {
                d.firstX = d.x0 = d.x1 = x;
                d.firstY = d.y0 = d.y1 = y;
            } else {
                if (x < d.x0) d.x0 = x;
                if (x > d.x1) d.x1 = x;
                d.y1 = y; // rows are visited in order
            }
        }
    return d;
}

std::string DescribeFrameDiff(const FrameDiff& d, const u8* want, const u8* got) {
    if (d.count == 0) return "";
    const int width = d.x1 - d.x0 + 1, height = d.y1 - d.y0 + 1;
    bool anyIgnored = false;
    for (int y = d.y0; y <= d.y1; y++)
        for (int x = d.x0; x <= d.x1; x++) anyIgnored = anyIgnored || d.mark[y][x] == MARK_IGNORED;
    char line[64];
    std::snprintf(line, sizeof line, "(%d, %d) to (%d, %d), %d x %d", d.x0, d.y0, d.x1, d.y1, width, height);
    std::string out = std::string("  differences within ") + line + "\n";
    out +=
        "  legend: '#' lit, '.' unlit; in the actual frame 'X' is lit but should be unlit, 'o' is unlit "
        "but should be lit";
    out += anyIgnored ? "; blank: ignored\n" : "\n";
    // Both columns are as wide as the box, or as their heading.
    const int column = width < 8 ? 8 : width;
    std::string heading = "expected";
    heading.resize((size_t)column, ' ');
    out += "     y  " + heading + "  actual\n";
    for (int y = d.y0; y <= d.y1; y++) {
        std::snprintf(line, sizeof line, "  %4d  ", y);
        out += line;
        std::string left, right;
        for (int x = d.x0; x <= d.x1; x++) {
            const u8 m = d.mark[y][x];
            if (m == MARK_IGNORED) {
                left += ' ';
                right += ' ';
                continue;
            }
            left += FramePixel(want, x, y) ? '#' : '.';
            right += m == MARK_EXTRA ? 'X' : m == MARK_MISSING ? 'o' : FramePixel(got, x, y) ? '#' : '.';
        }
        left.resize((size_t)column, ' ');
        out += left + "  " + right + "\n";
    }
    return out;
}

Rgb DiffColour(u8 lit, PixelMark mark) {
    switch (mark) {
        case MARK_EXTRA:
            return {220, 0, 0};
        case MARK_MISSING:
            return {0, 90, 255};
        case MARK_IGNORED:
            return lit ? Rgb{90, 80, 0} : Rgb{240, 220, 120};
        default:
            return lit ? PICTURE_LIT : PICTURE_UNLIT;
    }
}

std::string EncodeDiffPng(const FrameDiff& d, const u8* got) {
    // Palette index: mark * 2 + lit.
    PalettePicture p;
    for (int mark = MARK_SAME; mark <= MARK_IGNORED; mark++)
        for (u8 lit = 0; lit < 2; lit++) p.palette.push_back(DiffColour(lit, (PixelMark)mark));
    p.width = LCD_WIDTH * DIFF_PNG_SCALE;
    p.height = LCD_HEIGHT * DIFF_PNG_SCALE;
    p.pixels.resize((size_t)p.width * p.height);
    for (int y = 0; y < p.height; y++)
        for (int x = 0; x < p.width; x++) {
            const int fx = x / DIFF_PNG_SCALE, fy = y / DIFF_PNG_SCALE;
            p.pixels[(size_t)y * p.width + x] = (u8)(d.mark[fy][fx] * 2 + FramePixel(got, fx, fy));
        }
    return EncodePng(p);
}

void MergeIgnored(const u8* want, const u8* got, const std::vector<FrameBox>& ignore, u8* merged) {
    u8 pixels[LCD_HEIGHT][LCD_WIDTH];
    for (int y = 0; y < LCD_HEIGHT; y++)
        for (int x = 0; x < LCD_WIDTH; x++)
            pixels[y][x] = Ignored(ignore, x, y) ? FramePixel(want, x, y) : FramePixel(got, x, y);
    PixelsToFrame(pixels, merged);
}
