// Per-frame work: fetch the source frame, make it ours, draw n + offset.
#include <cstdio>

#include "filter/pixel_layout.h"
#include "filter/stampel_filter.h"

PVideoFrame StampelFilter::GetFrame(int n, IScriptEnvironment* env) {
  PVideoFrame frame = child->GetFrame(n, env);
  if (!frame) return frame;
  env->MakeWritable(&frame);

  const CellGeometry geometry = GeometryOf(LayoutOf(vi));
  uint8_t* base = frame->GetWritePtr();
  const int pitch = frame->GetPitch();
  const int rowSize = frame->GetRowSize();
  const int cellsBytes = geometry.cellBytes * digitCount;
  const int x0 = left ? 0 : rowSize - cellsBytes - geometry.rightGap;

  // Draw only into a frame this filter may write whose geometry holds every
  // cell; anything else (an unknown pixel type, a host that left the frame
  // shared, a frame smaller than the clip claims) passes through untouched.
  if (!base || geometry.cellBytes == 0 || x0 < 0 || x0 + cellsBytes > rowSize ||
      frame->GetHeight() < vi.height) {
    return frame;
  }

  char text[20];
  std::snprintf(text, sizeof text, numberFormat, WrappingSum(n, offset));
  for (int i = 0; i < digitCount; ++i) {
    DrawDigit(base, pitch, x0 + i * geometry.cellBytes, static_cast<uint8_t>(text[i] - '0'));
  }
  return frame;
}
