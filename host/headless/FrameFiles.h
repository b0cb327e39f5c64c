// Frame pictures on disk: the headless host's snapshots and the reference
// frames that scenarios compare against.
//
//   .pbm  plain PBM (P1), 114 x 64, 1 = lit; P1 and raw P4 are both read
//   .png  the 228 x 128 magnified picture, lit black on a grey background
//   .txt  64 lines of 114 characters, '#' lit and '.' unlit
#pragma once

#include <string>

#include "runtime/State.h"

enum FrameFormat { FRAME_PBM, FRAME_PNG, FRAME_TXT, FRAME_UNKNOWN };

// By the file name's ending (case-sensitive: .pbm, .png, .txt).
FrameFormat FrameFormatOf(const std::string& path);

// Writes a 912-byte page-layout frame; false (with errno) when the file
// cannot be written.
bool WriteFrame(const std::string& path, const u8* frame);
bool WriteFramePbm(const std::string& path, const u8* frame);
bool WriteFramePng(const std::string& path, const u8* frame);
bool WriteFrameTxt(const std::string& path, const u8* frame);

// Encodes a picture as PNG bytes (stored deflate blocks): 8-bit grey, one
// byte a pixel, or 8-bit RGB, three bytes a pixel; rows top to bottom.
std::string EncodePngGrey(const u8* pixels, int width, int height);
std::string EncodePngRgb(const u8* pixels, int width, int height);

// Writes bytes to a file; false (with errno) when it cannot be written.
bool WriteBytes(const std::string& path, const std::string& bytes);

// Reads a 114 x 64 PBM (P1 or P4) into a page-layout frame. On failure
// returns false and says why in *error.
bool ReadFramePbm(const std::string& path, u8* frame, std::string* error);
