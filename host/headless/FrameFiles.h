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

// Encodes an 8-bit grey picture as PNG bytes (stored deflate blocks).
std::string EncodePngGrey(const u8* pixels, int width, int height);

// Reads a 114 x 64 PBM (P1 or P4) into a page-layout frame. On failure
// returns false and says why in *error.
bool ReadFramePbm(const std::string& path, u8* frame, std::string* error);
