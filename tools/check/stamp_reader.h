// Reads stamped numbers back out of frames: finds the digit cells where the
// filter puts them and matches each against the font, tolerating what lossy
// encoders do to an opaque black-and-white block.
#pragma once

#include <cstdint>
#include <string>

#include "host/interface.h"

inline constexpr int kMaxDigits = 10;
inline constexpr int kMinusGlyph = 10;

struct CellMatch {
  int glyph = -1;           // 0-9, kMinusGlyph, or -1 when nothing matches
  double confidence = 0.0;  // 0 (a tie with another glyph) to 1 (exact)
  bool readable = false;
};

struct StampReading {
  int digitCount = 0;
  CellMatch cells[kMaxDigits];
  bool readable = false;    // every cell matched with confidence
  int64_t number = 0;       // valid when readable
  std::string text;         // the cells as characters, '?' for unreadable ones
  double confidence = 0.0;  // the least of the cells'
};

class StampReader {
 public:
  // vi gives the picture's size and pixel type; left as the stamp was made.
  StampReader(const VideoInfo& vi, bool left);

  // Reads digitCount cells of a frame laid out as the host stores it.
  StampReading Read(const VideoFrame& frame, int digitCount) const;
  // The most cells, counted from the aligned edge, that read as a stamp:
  // digits, and a minus only as the first of them. 0 when none do.
  int FindDigitCount(const VideoFrame& frame) const;

  // Matches one cell whose first pixel column is x.
  CellMatch MatchCell(const VideoFrame& frame, int x) const;

 private:
  // First pixel column of cell i when digitCount cells are drawn.
  int CellColumn(int digitCount, int i) const;
  // The light samples of the cell row at picture row y (0 = top of the
  // cells) from pixel column x on, as bits, column 0 lowest.
  uint16_t LightBits(const VideoFrame& frame, int x, int y) const;

  VideoInfo vi_;
  bool left_;
  int bytesPerPixel_ = 0;  // 0 for pixel types no stamp is drawn into
  int channels_ = 1;       // samples averaged per pixel (RGB: 3)
  int rightGap_ = 0;       // pixels left free at the right edge
  bool bottomUp_ = false;
  // Per glyph its 140 pixels (8 glyph columns and 2 black ones, 14 rows) as
  // light bits, six rows of ten to a word, so that a cell is compared with a
  // glyph in three population counts.
  uint64_t templates_[11][3] = {};
};
