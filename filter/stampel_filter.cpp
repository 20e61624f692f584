// Construction: digit count, size check and number format, fixed for the
// clip's life.
#include "filter/stampel_filter.h"

#include <cstdio>
#include <cstring>

int StampelFilter::CountDigits(int num_frames, int offset) {
  int v = WrappingSum(num_frames, offset);
  int count = 1;
  while (v > 9) {
    v /= 10;
    ++count;
  }
  return count;
}

void StampelFilter::Admit(const VideoInfo& vi, int offset, IScriptEnvironment* env) {
  const int digits = CountDigits(vi.num_frames, offset);
  if (vi.width < digits * kCellPixels + 2 || vi.height < kCellRows) {
    env->ThrowError("Stampel: video too small");
  }
}

StampelFilter::StampelFilter(PClip clip, int offset_, int left_, IScriptEnvironment* env)
    : GenericVideoFilter(std::move(clip)), offset(offset_), left(left_) {
  std::memcpy(glyphs, DigitGlyphs, sizeof glyphs);
  digitCount = CountDigits(vi.num_frames, offset);
  Admit(vi, offset, env);
  std::snprintf(numberFormat, sizeof numberFormat, "%s0%id", "%", digitCount);
}
