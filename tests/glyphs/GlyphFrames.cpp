// Writes every glyph of both fonts, drawn by the display's own text routines,
// as two frames for tools/framecheck.py, which draws them again from its own
// copy of the fonts: glyphs-large.pbm (14 glyphs of 8 x 8 a row) and
// glyphs-small.pbm (19 glyphs of 6 x 8 a row), codes 32 to 127 in order.
//
// Usage: glyph_frames DIR (made when missing)
#include <cstdio>
#include <filesystem>
#include <string>

#include "lcd/Lcd.h"

static bool WriteFrame(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "w");
    if (f == nullptr) return false;
    std::fprintf(f, "P1\n%d %d\n", LCD_WIDTH, LCD_HEIGHT);
    for (int y = 0; y < LCD_HEIGHT; y++) {
        for (int x = 0; x < LCD_WIDTH; x++)
            std::fputc((FrameBuffer[(y / 8) * LCD_WIDTH + x] & PixelMask[y & 7]) != 0 ? '1' : '0', f);
        std::fputc('\n', f);
    }
    return std::fclose(f) == 0;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: glyph_frames DIR\n");
        return 2;
    }
    std::string dir = argv[1];
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    char text[2] = {0, 0};
    LcdClear();
    for (int i = 0; i < 96; i++) {
        text[0] = (char)(32 + i);
        LcdTextLarge((u8)(8 * (i % 14)), (u8)(8 * (i / 14)), text, 0, 0);
    }
    bool ok = WriteFrame(dir + "/glyphs-large.pbm");
    LcdClear();
    for (int i = 0; i < 96; i++) {
        text[0] = (char)(32 + i);
        // The small font's top row is drawn one row above y.
        LcdTextSmall((u8)(6 * (i % 19)), (u8)(8 * (i / 19) + 1), text, 255);
    }
    ok = WriteFrame(dir + "/glyphs-small.pbm") && ok;
    if (!ok) std::fprintf(stderr, "glyph_frames: cannot write into %s\n", dir.c_str());
    return ok ? 0 : 1;
}
