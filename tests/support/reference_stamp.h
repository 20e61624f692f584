// An independent model of a stamped frame, written from what the picture
// must show rather than from how the filter draws it: pixels, not bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/interface.h"

namespace reference {

// The font as it looks on screen: glyph d (0-9, 10 = minus), row 0 = top.
bool Stroke(int glyph, int topRow, int column);

// Digits a clip shows: those of num_frames + offset (32-bit, wrapping).
int DigitCount(int numFrames, int offset);

// The characters drawn for number n + offset: zero-padded to digitCount,
// a leading minus counting as one, cut to digitCount characters.
std::string Text(int n, int offset, int digitCount);

// The whole storage of `frame` (data, padding, every plane) after stamping
// text into it, computed from a copy of its bytes before stamping.
std::vector<uint8_t> Stamp(const std::vector<uint8_t>& before, const VideoFrame& frame,
                           const VideoInfo& vi, const std::string& text, bool left);

// The same with the first cell at a given pixel column.
std::vector<uint8_t> StampAt(const std::vector<uint8_t>& before, const VideoFrame& frame,
                             const VideoInfo& vi, const std::string& text, int firstPixel);

// A frame's whole storage as bytes.
std::vector<uint8_t> Storage(const VideoFrame& frame);

}  // namespace reference
