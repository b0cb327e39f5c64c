#include "FrameFiles.h"

// The web page is built without libpng: its host supplies EncodePng.
#ifndef TMX5_NO_LIBPNG
#include <png.h>
#endif

#include <cctype>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include "frames/FrameConvert.h"
#include "frames/SafeFiles.h"

static bool EndsWith(const std::string& s, const char* tail) {
    size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

FrameFormat FrameFormatOf(const std::string& path) {
    if (EndsWith(path, ".pbm")) return FRAME_PBM;
    if (EndsWith(path, ".png")) return FRAME_PNG;
    if (EndsWith(path, ".txt")) return FRAME_TXT;
    return FRAME_UNKNOWN;
}

bool IsMovieName(const std::string& path) {
    return path.size() > 4 && path.compare(path.size() - 4, 4, ".gif") == 0;
}

// Whole or not at all: a failed write keeps the old file (SafeFiles.h).
static bool WriteAll(const std::string& path, const std::string& bytes) {
    return WriteFileAtomically(path, bytes);
}

bool WriteFramePbm(const std::string& path, const u8* frame) {
    std::string out = "P1\n114 64\n";
    for (int y = 0; y < LCD_HEIGHT; y++) {
        for (int x = 0; x < LCD_WIDTH; x++) {
            out += FramePixel(frame, x, y) ? '1' : '0';
            // Plain PBM lines stay under 70 characters.
            out += (x % 57 == 56) ? '\n' : ' ';
        }
    }
    return WriteAll(path, out);
}

bool WriteFrameTxt(const std::string& path, const u8* frame) {
    std::string out;
    for (int y = 0; y < LCD_HEIGHT; y++) {
        for (int x = 0; x < LCD_WIDTH; x++) out += FramePixel(frame, x, y) ? '#' : '.';
        out += '\n';
    }
    return WriteAll(path, out);
}

bool ParsePictureScale(const std::string& word, int* scale) {
    if (word.size() != 2 || word[1] != 'x' || word[0] < '1' || word[0] > '0' + PICTURE_SCALE_MAX)
        return false;
    *scale = word[0] - '0';
    return true;
}

PalettePicture FramePicture(const u8* frame, int scale) {
    PalettePicture p;
    p.width = LCD_WIDTH * scale;
    p.height = LCD_HEIGHT * scale;
    p.palette = {PICTURE_UNLIT, PICTURE_LIT};
    p.pixels.resize((size_t)p.width * p.height);
    MagnifyFrame<u8>(frame, scale, 1, 0, p.pixels.data(), (size_t)p.width);
    return p;
}

#ifndef TMX5_NO_LIBPNG
static void PngAppend(png_structp png, png_bytep data, png_size_t n) {
    try {
        static_cast<std::string*>(png_get_io_ptr(png))->append((const char*)data, n);
    } catch (...) {
        png_error(png, "out of memory");
    }
}

static void PngFlush(png_structp) {}

// libpng reports an error by a long jump back to the setjmp here, so this
// function holds nothing that needs destroying: the palette, the rows and
// the output belong to the caller.
static bool EncodePngRows(int width, int height, int depth, png_colorp palette, int colours, png_bytepp rows,
                          std::string* out) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, PngAppend, PngFlush);
    png_set_compression_level(png, 9);
    png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, depth, PNG_COLOR_TYPE_PALETTE,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_PLTE(png, info, palette, colours);
    png_write_info(png, info);
    png_set_packing(png); // one byte a pixel in, depth bits a pixel out
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

std::string EncodePng(const PalettePicture& p) {
    const int colours = (int)p.palette.size();
    if (colours < 1 || colours > 256 || p.width < 1 || p.height < 1 ||
        p.pixels.size() != (size_t)p.width * p.height)
        return "";
    for (u8 index : p.pixels)
        if (index >= colours) return "";
    const int depth = colours <= 2 ? 1 : colours <= 4 ? 2 : colours <= 16 ? 4 : 8;
    std::vector<png_color> palette;
    for (const Rgb& c : p.palette) palette.push_back({c.r, c.g, c.b});
    std::vector<png_bytep> rows;
    for (int y = 0; y < p.height; y++) rows.push_back(const_cast<png_bytep>(&p.pixels[(size_t)y * p.width]));
    std::string out;
    if (!EncodePngRows(p.width, p.height, depth, palette.data(), colours, rows.data(), &out)) return "";
    return out;
}

#endif

bool WriteBytes(const std::string& path, const std::string& bytes) { return WriteAll(path, bytes); }

bool WriteFramePng(const std::string& path, const u8* frame, int scale) {
    if (scale < 1 || scale > PICTURE_SCALE_MAX) {
        errno = EINVAL;
        return false;
    }
    const std::string png = EncodePng(FramePicture(frame, scale));
    if (png.empty()) {
        errno = ENOMEM;
        return false;
    }
    return WriteAll(path, png);
}

bool WriteFrame(const std::string& path, const u8* frame, int scale) {
    switch (FrameFormatOf(path)) {
        case FRAME_PBM:
            return WriteFramePbm(path, frame);
        case FRAME_PNG:
            return WriteFramePng(path, frame, scale);
        case FRAME_TXT:
            return WriteFrameTxt(path, frame);
        default:
            return false;
    }
}

// Reads the next header number of a PBM, skipping white space and comments.
static bool PbmNumber(const std::string& s, size_t* pos, int* value) {
    size_t p = *pos;
    for (;;) {
        while (p < s.size() && std::isspace((unsigned char)s[p])) p++;
        if (p < s.size() && s[p] == '#') {
            while (p < s.size() && s[p] != '\n') p++;
            continue;
        }
        break;
    }
    if (p >= s.size() || !std::isdigit((unsigned char)s[p])) return false;
    long v = 0;
    while (p < s.size() && std::isdigit((unsigned char)s[p])) {
        v = v * 10 + (s[p] - '0');
        if (v > 100000) return false;
        p++;
    }
    *value = (int)v;
    *pos = p;
    return true;
}

bool ReadFramePbm(const std::string& path, u8* frame, std::string* error) {
    std::string s;
    if (!ReadWholeFile(path, FRAME_FILE_LIMIT, &s, path + " is larger than 1 MiB: not a 114 x 64 frame",
                       "cannot read " + path + ": ", error))
        return false;
    if (s.size() < 2 || s[0] != 'P' || (s[1] != '1' && s[1] != '4')) {
        *error = path + " is not a PBM picture (P1 or P4)";
        return false;
    }
    size_t pos = 2;
    int w = 0, h = 0;
    if (!PbmNumber(s, &pos, &w) || !PbmNumber(s, &pos, &h)) {
        *error = path + " has a broken PBM header";
        return false;
    }
    if (w != LCD_WIDTH || h != LCD_HEIGHT) {
        *error = path + " is " + std::to_string(w) + " x " + std::to_string(h) + ", not 114 x 64";
        return false;
    }
    // On the heap, not the stack: a reference is read on the runner's own
    // stack in the Python module, and the reader stays reentrant.
    std::unique_ptr<u8[][LCD_WIDTH]> pixels(new u8[LCD_HEIGHT][LCD_WIDTH]());
    if (s[1] == '1') {
        int n = 0;
        for (; pos < s.size() && n < w * h; pos++) {
            char c = s[pos];
            if (c == '#') {
                while (pos < s.size() && s[pos] != '\n') pos++;
            } else if (c == '0' || c == '1') {
                pixels[n / w][n % w] = (u8)(c - '0');
                n++;
            } else if (!std::isspace((unsigned char)c)) {
                *error = path + " has a character that is not a pixel";
                return false;
            }
        }
        if (n < w * h) {
            *error = path + " ends before its last pixel";
            return false;
        }
    } else {
        pos++; // the single white-space character after the height
        const int rowBytes = (w + 7) / 8;
        if (s.size() < pos + (size_t)rowBytes * h) {
            *error = path + " ends before its last pixel";
            return false;
        }
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++)
                pixels[y][x] = ((u8)s[pos + (size_t)y * rowBytes + x / 8] >> (7 - x % 8)) & 1;
    }
    PixelsToFrame(pixels.get(), frame);
    return true;
}
