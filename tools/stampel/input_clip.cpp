#include "tools/stampel/input_clip.h"

#include <utility>

InputClip::InputClip(FrameReader& reader, FramePool& pool, int frames)
    : reader_(reader),
      pool_(pool),
      vi_(VideoInfoOf(reader.GetPicture(), frames, reader.FpsNumerator(),
                      reader.FpsDenominator())) {}

bool InputClip::Fetch(int n) {
  fetched_ = PVideoFrame();
  fetchedIndex_ = -1;
  fetched_ = reader_.Next(n, pool_);
  if (!fetched_) return false;
  fetchedIndex_ = n;
  return true;
}

PVideoFrame InputClip::GetFrame(int n, IScriptEnvironment*) {
  if (n != fetchedIndex_) return PVideoFrame();
  fetchedIndex_ = -1;
  return std::exchange(fetched_, PVideoFrame());
}
