// What a stamped frame must look like, worked out from the picture's
// geometry on the host's side and independently of the filter's code.
#pragma once

#include "tests/windows/host_interface.h"

// The text a frame shows: number n + offset, as wide as the digits of
// num_frames + offset, zero-padded, a minus sign taking one place.
void ExpectedText(int n, int num_frames, int offset, char (&text)[16]);

// Draws text into the picture of frame's geometry within bytes: bottom 14
// rows, right or left aligned, in the layout of pixel_type.
void DrawExpected(uint8_t* bytes, const VideoFrame& frame, const VideoInfo& vi, const char* text,
                  bool left);
