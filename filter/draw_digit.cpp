// The rasterizer: one digit cell, written byte by byte into the bottom 14
// picture rows of the frame's default plane.
#include <cstddef>
#include <cstring>

#include "filter/pixel_layout.h"
#include "filter/stampel_filter.h"

namespace {

constexpr uint8_t kChroma = 127;

}  // namespace

void StampelFilter::DrawDigit(uint8_t* base, int pitch, int x, uint8_t digit) const {
  const PixelLayout layout = LayoutOf(vi);
  if (layout == PixelLayout::kNone) return;
  const bool bottomUp = GeometryOf(layout).bottomUp;
  const uint8_t* glyph = digit < 10 ? glyphs + digit * kGlyphBytes : MinusGlyph;

  for (int k = 0; k < kCellRows; ++k) {
    // Bottom-up pictures store the bottom row first; top-down ones last.
    const ptrdiff_t stored = bottomUp ? k : ptrdiff_t{vi.height} - kCellRows + k;
    const int glyphRow = bottomUp ? k : kCellRows - 1 - k;
    uint8_t* cell = base + stored * pitch + x;
    const uint8_t* v = glyph + glyphRow * kGlyphWidth;

    switch (layout) {
      case PixelLayout::kRgb24:
        for (int c = 0; c < kGlyphWidth; ++c) std::memset(cell + 3 * c, v[c], 3);
        std::memset(cell + 24, 0, 6);
        break;
      case PixelLayout::kRgb32:
        for (int c = 0; c < kGlyphWidth; ++c) std::memset(cell + 4 * c, v[c], 3);
        std::memset(cell + 32, 0, 8);
        break;
      case PixelLayout::kYuy2:
        for (int c = 0; c < kGlyphWidth; ++c) {
          cell[2 * c] = v[c];
          cell[2 * c + 1] = kChroma;
        }
        cell[16] = 0;
        cell[17] = kChroma;
        cell[18] = 0;
        cell[19] = kChroma;
        break;
      case PixelLayout::kPlanar:
        std::memcpy(cell, v, kGlyphWidth);
        cell[8] = 0;
        cell[9] = 0;
        break;
      case PixelLayout::kNone:
        break;
    }
  }
}
