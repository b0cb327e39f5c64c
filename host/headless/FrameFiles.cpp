#include "FrameFiles.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "FrameConvert.h"

static const u8 PNG_LIT = 0;        // black
static const u8 PNG_UNLIT = 200;    // light grey, like an unlit liquid-crystal segment
static const int PNG_SCALE = 2;

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

static bool WriteAll(const std::string& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = (std::fclose(f) == 0) && ok;
    return ok;
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

static u32 Crc32(const u8* data, size_t n, u32 crc = 0) {
    static u32 table[256];
    static bool ready = false;
    if (!ready) {
        for (u32 i = 0; i < 256; i++) {
            u32 c = i;
            for (int k = 0; k < 8; k++) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[i] = c;
        }
        ready = true;
    }
    crc = ~crc;
    for (size_t i = 0; i < n; i++) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

static void PutU32(std::string& s, u32 v) {
    s += (char)(v >> 24);
    s += (char)(v >> 16);
    s += (char)(v >> 8);
    s += (char)v;
}

static void PutChunk(std::string& png, const char* type, const std::string& data) {
    PutU32(png, (u32)data.size());
    std::string body = std::string(type, 4) + data;
    png += body;
    PutU32(png, Crc32((const u8*)body.data(), body.size()));
}

// channels 1: 8-bit grey (colour type 0); 3: 8-bit RGB (colour type 2).
static std::string EncodePng(const u8* pixels, int width, int height, int channels) {
    const size_t rowBytes = (size_t)width * channels;
    std::string raw;
    raw.reserve((rowBytes + 1) * height);
    for (int y = 0; y < height; y++) {
        raw += '\0'; // filter: none
        raw.append((const char*)pixels + (size_t)y * rowBytes, rowBytes);
    }
    // zlib stream of stored (uncompressed) deflate blocks.
    std::string z = "\x78\x01";
    size_t pos = 0;
    do {
        size_t n = raw.size() - pos < 65535 ? raw.size() - pos : 65535;
        bool last = pos + n == raw.size();
        z += (char)(last ? 1 : 0);
        z += (char)(n & 0xFF);
        z += (char)(n >> 8);
        z += (char)(~n & 0xFF);
        z += (char)((~n >> 8) & 0xFF);
        z.append(raw, pos, n);
        pos += n;
    } while (pos < raw.size());
    u32 a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    PutU32(z, (b << 16) | a);

    std::string png = "\x89PNG\r\n\x1a\n";
    std::string ihdr;
    PutU32(ihdr, (u32)width);
    PutU32(ihdr, (u32)height);
    ihdr += (char)8; // bit depth
    ihdr += (char)(channels == 3 ? 2 : 0); // truecolour or greyscale
    ihdr += std::string(3, '\0');
    PutChunk(png, "IHDR", ihdr);
    PutChunk(png, "IDAT", z);
    PutChunk(png, "IEND", "");
    return png;
}

std::string EncodePngGrey(const u8* pixels, int width, int height) {
    return EncodePng(pixels, width, height, 1);
}

std::string EncodePngRgb(const u8* pixels, int width, int height) {
    return EncodePng(pixels, width, height, 3);
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
    return WriteAll(path, bytes);
}

bool WriteFramePng(const std::string& path, const u8* frame) {
    const int w = LCD_WIDTH * PNG_SCALE, h = LCD_HEIGHT * PNG_SCALE;
    static u8 pixels[LCD_HEIGHT * PNG_SCALE][LCD_WIDTH * PNG_SCALE];
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            pixels[y][x] = FramePixel(frame, x / PNG_SCALE, y / PNG_SCALE) ? PNG_LIT : PNG_UNLIT;
    return WriteAll(path, EncodePngGrey(&pixels[0][0], w, h));
}

bool WriteFrame(const std::string& path, const u8* frame) {
    switch (FrameFormatOf(path)) {
    case FRAME_PBM: return WriteFramePbm(path, frame);
    case FRAME_PNG: return WriteFramePng(path, frame);
    case FRAME_TXT: return WriteFrameTxt(path, frame);
    default: return false;
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
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot read " + path;
        return false;
    }
    std::stringstream ss;
    ss << in.rdbuf();
    std::string s = ss.str();
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
    static u8 pixels[LCD_HEIGHT][LCD_WIDTH];
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
    PixelsToFrame(pixels, frame);
    return true;
}
