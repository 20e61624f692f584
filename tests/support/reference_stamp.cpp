#include "tests/support/reference_stamp.h"

#include <cstddef>

namespace reference {
namespace {

const char* const kFont[11][14] = {
#include "tests/support/font_art.inc"
};

enum class Kind { kRgb24, kRgb32, kYuy2, kPlanar, kOther };

Kind KindOf(const VideoInfo& vi) {
  const uint32_t t = static_cast<uint32_t>(vi.pixel_type);
  auto is = [t](uint32_t mask) { return (t & mask) == mask; };
  if (is(CS_BGR24)) return Kind::kRgb24;
  if (is(CS_BGR32)) return Kind::kRgb32;
  if (is(CS_YUY2)) return Kind::kYuy2;
  if (is(CS_YV12) || is(CS_I420)) return Kind::kPlanar;
  return Kind::kOther;
}

}  // namespace

bool Stroke(int glyph, int topRow, int column) {
  return kFont[glyph][topRow][column] == '#';
}

int DigitCount(int numFrames, int offset) {
  const int64_t wrapped =
      static_cast<int32_t>(static_cast<uint32_t>(numFrames) + static_cast<uint32_t>(offset));
  return wrapped <= 9 ? 1 : static_cast<int>(std::to_string(wrapped).size());
}

std::string Text(int n, int offset, int digitCount) {
  const int64_t number =
      static_cast<int32_t>(static_cast<uint32_t>(n) + static_cast<uint32_t>(offset));
  std::string digits = std::to_string(number < 0 ? -number : number);
  const size_t width = static_cast<size_t>(digitCount) - (number < 0 ? 1 : 0);
  if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  const std::string text = (number < 0 ? "-" : "") + digits;
  return text.substr(0, static_cast<size_t>(digitCount));
}

std::vector<uint8_t> Storage(const VideoFrame& frame) {
  return std::vector<uint8_t>(frame.vfb->data, frame.vfb->data + frame.vfb->data_size);
}

std::vector<uint8_t> Stamp(const std::vector<uint8_t>& before, const VideoFrame& frame,
                           const VideoInfo& vi, const std::string& text, bool left) {
  const int gap = KindOf(vi) == Kind::kPlanar ? 2 : 0;
  const int cells = static_cast<int>(text.size());
  return StampAt(before, frame, vi, text, left ? 0 : vi.width - 10 * cells - gap);
}

std::vector<uint8_t> StampAt(const std::vector<uint8_t>& before, const VideoFrame& frame,
                             const VideoInfo& vi, const std::string& text, int firstPixel) {
  std::vector<uint8_t> after = before;
  const Kind kind = KindOf(vi);
  if (kind == Kind::kOther) return after;

  const int cells = static_cast<int>(text.size());
  for (int i = 0; i < cells; ++i) {
    const int glyph = text[i] == '-' ? 10 : text[i] - '0';
    for (int pictureRow = vi.height - 14; pictureRow < vi.height; ++pictureRow) {
      const int topRow = pictureRow - (vi.height - 14);
      const bool bottomUp = kind == Kind::kRgb24 || kind == Kind::kRgb32;
      const int storedRow = bottomUp ? vi.height - 1 - pictureRow : pictureRow;
      uint8_t* row = after.data() + frame.offset + static_cast<ptrdiff_t>(storedRow) * frame.pitch;
      for (int column = 0; column < 10; ++column) {
        const int x = firstPixel + 10 * i + column;
        const bool glyphColumn = column < 8;
        const uint8_t v = glyphColumn && Stroke(glyph, topRow, column) ? 255 : 0;
        switch (kind) {
          case Kind::kRgb24:
            row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = v;
            break;
          case Kind::kRgb32:
            row[4 * x] = row[4 * x + 1] = row[4 * x + 2] = v;
            if (!glyphColumn) row[4 * x + 3] = 0;
            break;
          case Kind::kYuy2:
            row[2 * x] = v;
            row[2 * x + 1] = 127;
            break;
          case Kind::kPlanar:
            row[x] = v;
            break;
          case Kind::kOther:
            break;
        }
      }
    }
  }
  return after;
}

}  // namespace reference
