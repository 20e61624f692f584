// The clip that Stampel(clip, offset, left) returns: the source's frames with
// each frame's own number burnt into the bottom 14 rows.
#pragma once

#include <cstdint>

#include "filter/digit_glyphs.h"
#include "host/clip_base.h"

// Signed 32-bit sum that wraps around on overflow, as frame numbers do.
inline int WrappingSum(int a, int b) {
  return static_cast<int>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

class StampelFilter : public GenericVideoFilter {
 public:
  // Digit cells: 8 glyph columns and 2 black ones, over the glyph's rows.
  static constexpr int kCellPixels = 10;
  static constexpr int kCellRows = kGlyphHeight;

  // Digits drawn for a clip: those of num_frames + offset, at least one.
  static int CountDigits(int num_frames, int offset);
  // Raises the host's error for a clip too small for its digits. Holds nothing
  // while doing so, so it may run before anything is allocated.
  static void Admit(const VideoInfo& vi, int offset, IScriptEnvironment* env);

  // Refuses, through env, a clip that Admit refuses.
  StampelFilter(PClip child, int offset, int left, IScriptEnvironment* env);

  PVideoFrame GetFrame(int n, IScriptEnvironment* env) override;

  // Draws one cell (glyph and two black columns) at byte x of the bottom 14
  // picture rows. A digit past 9 draws the minus sign.
  void DrawDigit(uint8_t* base, int pitch, int x, uint8_t digit) const;

  int DigitCount() const { return digitCount; }
  const char* NumberFormat() const { return numberFormat; }

 private:
  uint8_t glyphs[sizeof DigitGlyphs];
  char numberFormat[20];
  int digitCount;
  int offset;
  int left;
};
