// How each supported pixel type lays out a digit cell in its stored rows.
#pragma once

#include "host/interface.h"

enum class PixelLayout { kRgb24, kRgb32, kYuy2, kPlanar, kNone };

struct CellGeometry {
  int cellBytes;  // bytes of one digit cell within a stored row
  int rightGap;   // bytes left unwritten at the right edge when right-aligned
  bool bottomUp;  // first stored row is the picture's bottom row
};

// The host's pixel-type tests, in the order that decides overlapping types.
inline PixelLayout LayoutOf(const VideoInfo& vi) {
  if (vi.IsRGB24()) return PixelLayout::kRgb24;
  if (vi.IsRGB32()) return PixelLayout::kRgb32;
  if (vi.IsYUY2()) return PixelLayout::kYuy2;
  if (vi.IsYV12()) return PixelLayout::kPlanar;
  return PixelLayout::kNone;
}

inline CellGeometry GeometryOf(PixelLayout layout) {
  switch (layout) {
    case PixelLayout::kRgb24:
      return {30, 0, true};
    case PixelLayout::kRgb32:
      return {40, 0, true};
    case PixelLayout::kYuy2:
      return {20, 0, false};
    case PixelLayout::kPlanar:
      return {10, 2, false};
    case PixelLayout::kNone:
      break;
  }
  return {0, 0, false};
}
