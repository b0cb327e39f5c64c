// Frame pictures on disk: the headless host's snapshots and the reference
// frames that scenarios compare against.
//
//   .pbm  plain PBM (P1), 114 x 64, 1 = lit; P1 and raw P4 are both read
//   .png  the frame magnified (2x: 228 x 128 by default), lit black on a
//         light grey background, as a compressed 1-bit palette picture
//   .txt  64 lines of 114 characters, '#' lit and '.' unlit
#pragma once

#include <string>
#include <vector>

#include "runtime/State.h"

enum FrameFormat { FRAME_PBM, FRAME_PNG, FRAME_TXT, FRAME_UNKNOWN };

// By the file name's ending (case-sensitive: .pbm, .png, .txt).
FrameFormat FrameFormatOf(const std::string& path);
// A movie's name, by its ending (case-sensitive: .gif).
bool IsMovieName(const std::string& path);

// How much larger than the display's 114 x 64 pixels a picture is drawn.
const int PICTURE_SCALE_DEFAULT = 2;
const int PICTURE_SCALE_MAX = 8;

// "1x" to "8x" as the number; false for anything else.
bool ParsePictureScale(const std::string& word, int* scale);

struct Rgb {
    u8 r, g, b;
};

// The colours of a frame picture (and of the window's display).
const Rgb PICTURE_UNLIT = {200, 200, 200}; // light grey, like an unlit liquid-crystal segment
const Rgb PICTURE_LIT = {0, 0, 0};

// A picture of at most 256 colours: one byte a pixel, the index of its
// colour in the palette; rows top to bottom.
struct PalettePicture {
    int width = 0, height = 0;
    std::vector<Rgb> palette;
    std::vector<u8> pixels;
};

// The frame magnified scale times: index 0 unlit, 1 lit.
PalettePicture FramePicture(const u8* frame, int scale);

// Encodes a picture as a compressed PNG of the smallest palette bit depth
// that holds its colours (1, 2, 4 or 8 bits a pixel); "" when it cannot.
std::string EncodePng(const PalettePicture& picture);

// Writes a 912-byte page-layout frame, whole or not at all (SafeFiles.h);
// false (with errno) when the file cannot be written, the old file kept. The scale applies to .png pictures
// alone.
bool WriteFrame(const std::string& path, const u8* frame, int scale = PICTURE_SCALE_DEFAULT);
bool WriteFramePbm(const std::string& path, const u8* frame);
bool WriteFramePng(const std::string& path, const u8* frame, int scale = PICTURE_SCALE_DEFAULT);
bool WriteFrameTxt(const std::string& path, const u8* frame);

// Writes bytes to a file; false (with errno) when it cannot be written.
bool WriteBytes(const std::string& path, const std::string& bytes);

// A reference frame is read only up to this size (a plain PBM of the
// display takes about 15 KB); a larger file is a broken reference.
const size_t FRAME_FILE_LIMIT = 1 << 20;

// Reads a 114 x 64 PBM (P1 or P4) of at most FRAME_FILE_LIMIT bytes into a
// page-layout frame. On failure returns false and says why in *error.
bool ReadFramePbm(const std::string& path, u8* frame, std::string* error);
