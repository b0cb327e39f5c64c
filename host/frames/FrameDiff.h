// Comparing the frame last rendered with a reference frame, and showing the
// difference so that a failed `expect-frame` can be read without a picture
// viewer: the count, the bounding box, the rows of the box side by side, and
// a magnified picture with the differing pixels in colour.
//
// Pixels inside an ignore box are left out of every count; boxes have
// inclusive corners, like the rows and columns a user reads off a snapshot.
#pragma once

#include <string>
#include <vector>

#include "frames/FrameConvert.h"
#include "frames/FrameFiles.h"

struct FrameBox {
    int x0, y0, x1, y1; // inclusive corners, 0 <= x0 <= x1 <= 113, 0 <= y0 <= y1 <= 63
};

// How one pixel of the actual frame stands against the reference.
enum PixelMark : u8 {
    MARK_SAME = 0,
    MARK_EXTRA,   // lit, should be unlit
    MARK_MISSING, // unlit, should be lit
    MARK_IGNORED, // inside an ignore box: not compared
};

struct FrameDiff {
    int count = 0;                        // differing pixels outside the ignore boxes
    int firstX = -1, firstY = -1;         // the first in reading order (row by row)
    int x0 = 0, y0 = 0, x1 = -1, y1 = -1; // bounding box of the differences, inclusive
    u8 mark[LCD_HEIGHT][LCD_WIDTH] = {};
};

// Compares two 912-byte page-layout frames.
FrameDiff CompareFrames(const u8* want, const u8* got, const std::vector<FrameBox>& ignore);

// The rows of the bounding box from both frames side by side, after a line
// with the box and a legend; every line ends with '\n' and starts with two
// spaces. Empty when the frames agree.
std::string DescribeFrameDiff(const FrameDiff& diff, const u8* want, const u8* got);

const int DIFF_PNG_SCALE = 4;

// The actual frame magnified DIFF_PNG_SCALE times as palette PNG bytes: lit
// black, unlit grey, lit-should-be-unlit red, unlit-should-be-lit blue,
// ignored pixels tinted yellow. "" when it cannot be encoded.
std::string EncodeDiffPng(const FrameDiff& diff, const u8* got);

// The colours of EncodeDiffPng, for whoever reads the picture back.
Rgb DiffColour(u8 lit, PixelMark mark);

// The reference kept where it is ignored and the actual frame elsewhere:
// what `--update-frames` writes over an existing reference.
void MergeIgnored(const u8* want, const u8* got, const std::vector<FrameBox>& ignore, u8* merged);
