// The two places where the stream's layout and the host's differ: 4:2:2
// planes against packed YUY2, and top-down RGB rows against the host's
// bottom-up ones.
#pragma once

#include <cstdint>
#include <vector>

#include "host/interface.h"
#include "tools/stampel/picture.h"
#include "tools/stampel/stream.h"

// The frame's storage as spans in the stream's byte order: planes in the
// stream's order, and RGB rows from the picture's top (the host's last stored
// row) down, so that reading or writing them flips the rows without a copy.
// Adjacent spans are merged. Not for kPlanar422.
void AppendStreamOrderSpans(const Picture& picture, const VideoFrame& frame,
                            std::vector<Span>* spans);

// Y (width x height), U and V (width/2 x height) planes into YUY2 rows.
void Pack422(const uint8_t* y, const uint8_t* u, const uint8_t* v, int width, int height,
             uint8_t* dst, int dstPitch);
// YUY2 rows back into the three planes.
void Unpack422(const uint8_t* src, int srcPitch, int width, int height, uint8_t* y, uint8_t* u,
               uint8_t* v);
