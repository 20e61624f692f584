#include "tools/check/stamp_reader.h"

#include <bit>
#include <cstddef>

#include "filter/digit_glyphs.h"
#include "filter/pixel_layout.h"

namespace {

constexpr int kCellWidth = 10;
constexpr int kCellRows = 14;
constexpr int kCellPixels = kCellWidth * kCellRows;
// The closest two glyphs differ in 15 of their 140 pixels. A cell reads as a
// glyph when it is within a third of that and clearly nearer to it than to
// any other; an area of flat black (12 pixels from the minus) reads as none.
constexpr int kMaxMismatch = 5;
constexpr int kMinMargin = 8;

}  // namespace

StampReader::StampReader(const VideoInfo& vi, bool left) : vi_(vi), left_(left) {
  // The cells lie where the filter's own layout puts them.
  const CellGeometry geometry = GeometryOf(LayoutOf(vi));
  bytesPerPixel_ = geometry.cellBytes / kCellWidth;
  rightGap_ = bytesPerPixel_ ? geometry.rightGap / bytesPerPixel_ : 0;  // in pixels
  bottomUp_ = geometry.bottomUp;
  channels_ = geometry.bottomUp ? 3 : 1;  // RGB: the mean of blue, green and red
  for (int g = 0; g <= kMinusGlyph; ++g) {
    const uint8_t* glyph = g < 10 ? DigitGlyphs + g * kGlyphBytes : MinusGlyph;
    for (int y = 0; y < kCellRows; ++y) {
      for (int c = 0; c < kGlyphWidth; ++c) {
        if (glyph[(kCellRows - 1 - y) * kGlyphWidth + c] == 255) {
          templates_[g][y / 6] |= uint64_t{1} << ((y % 6) * kCellWidth + c);
        }
      }
    }
  }
}

int StampReader::CellColumn(int digitCount, int i) const {
  const int first = left_ ? 0 : vi_.width - kCellWidth * digitCount - rightGap_;
  return first + kCellWidth * i;
}

uint16_t StampReader::LightBits(const VideoFrame& frame, int x, int y) const {
  const int pictureRow = vi_.height - kCellRows + y;
  const int stored = bottomUp_ ? vi_.height - 1 - pictureRow : pictureRow;
  const uint8_t* p = frame.GetReadPtr() + static_cast<ptrdiff_t>(stored) * frame.GetPitch() +
                     static_cast<ptrdiff_t>(x) * bytesPerPixel_;
  uint16_t bits = 0;
  if (channels_ == 1) {  // luma: light when its top bit is set
    for (int c = 0; c < kCellWidth; ++c) {
      bits |= static_cast<uint16_t>((p[c * bytesPerPixel_] >> 7) << c);
    }
  } else {
    for (int c = 0; c < kCellWidth; ++c, p += bytesPerPixel_) {
      bits |= static_cast<uint16_t>((p[0] + p[1] + p[2] >= 3 * 128) << c);
    }
  }
  return bits;
}

CellMatch StampReader::MatchCell(const VideoFrame& frame, int x) const {
  CellMatch match;
  if (bytesPerPixel_ == 0 || x < 0 || x + kCellWidth > vi_.width || vi_.height < kCellRows ||
      frame.GetRowSize() < vi_.width * bytesPerPixel_ || frame.GetHeight() < vi_.height) {
    return match;
  }
  uint64_t light[3] = {};
  for (int y = 0; y < kCellRows; ++y) {
    light[y / 6] |= uint64_t{LightBits(frame, x, y)} << ((y % 6) * kCellWidth);
  }
  int best = kCellPixels + 1, second = kCellPixels + 1;
  for (int g = 0; g <= kMinusGlyph; ++g) {
    int mismatch = 0;
    for (int w = 0; w < 3; ++w) mismatch += std::popcount(light[w] ^ templates_[g][w]);
    if (mismatch < best) {
      second = best;
      best = mismatch;
      match.glyph = g;
    } else if (mismatch < second) {
      second = mismatch;
    }
  }
  match.confidence = second > 0 ? static_cast<double>(second - best) / second : 0.0;
  match.readable = best <= kMaxMismatch && second - best >= kMinMargin;
  return match;
}

StampReading StampReader::Read(const VideoFrame& frame, int digitCount) const {
  StampReading reading;
  reading.digitCount = digitCount < 1 ? 1 : digitCount > kMaxDigits ? kMaxDigits : digitCount;
  reading.readable = true;
  reading.confidence = 1.0;
  int64_t magnitude = 0;
  bool negative = false;
  for (int i = 0; i < reading.digitCount; ++i) {
    const CellMatch cell = MatchCell(frame, CellColumn(reading.digitCount, i));
    reading.cells[i] = cell;
    if (cell.confidence < reading.confidence) reading.confidence = cell.confidence;
    const bool minusHere = cell.glyph == kMinusGlyph && i == 0 && reading.digitCount > 1;
    if (!cell.readable || (cell.glyph == kMinusGlyph && !minusHere)) {
      reading.readable = false;
      reading.text += '?';
      continue;
    }
    if (minusHere) {
      negative = true;
      reading.text += '-';
    } else {
      magnitude = magnitude * 10 + cell.glyph;
      reading.text += static_cast<char>('0' + cell.glyph);
    }
  }
  reading.number = negative ? -magnitude : magnitude;
  return reading;
}

int StampReader::FindDigitCount(const VideoFrame& frame) const {
  // Right-aligned stamps grow leftwards from a fixed last cell, left-aligned
  // ones rightwards from a fixed first cell.
  int count = 0;
  for (int k = 0; k < kMaxDigits; ++k) {
    const int x = left_ ? kCellWidth * k : vi_.width - rightGap_ - kCellWidth * (k + 1);
    const CellMatch cell = MatchCell(frame, x);
    if (!cell.readable) break;
    if (cell.glyph == kMinusGlyph) {
      // A minus leads a stamp: the first cell of a left-aligned one, the
      // last one met going leftwards through a right-aligned one.
      if (left_ && count == 0) {
        ++count;
        continue;
      }
      if (!left_ && count > 0) ++count;
      break;
    }
    ++count;
  }
  return count;
}
