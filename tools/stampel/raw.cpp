#include "tools/stampel/raw.h"

#include <string>

#include "tools/stampel/failure.h"

int64_t RawReader::CountFrames() {
  if (!in_.IsFile()) return -1;
  const auto frameBytes = static_cast<int64_t>(picture_.frameBytes);
  if (in_.Size() % frameBytes != 0) {
    Fail(in_.Name() + ": its " + std::to_string(in_.Size()) + " bytes are no whole number of " +
         std::to_string(frameBytes) + "-byte frames; check --format and --size");
  }
  return in_.Size() / frameBytes;
}

PVideoFrame RawReader::Next(int n, FramePool& pool) {
  if (PVideoFrame mapped = io_.Map(in_, pool)) return mapped;
  VideoInfo vi = VideoInfoOf(picture_, 0, 1, 1);
  PVideoFrame frame = pool.New(ShapeOf(vi));
  const size_t got = io_.Read(in_, *frame.get());
  if (got == 0) return PVideoFrame();
  if (got < picture_.frameBytes) {
    Fail(in_.Name() + ": frame " + std::to_string(n) + " is cut short (" + std::to_string(got) +
         " of " + std::to_string(picture_.frameBytes) + " bytes)");
  }
  return frame;
}

bool RawReader::MoreFollows() {
  uint8_t byte;
  return in_.Read(&byte, 1) == 1;
}
