#include "bench/still_clip.h"

#include <cstring>

StillClip::StillClip(const VideoInfo& vi, LocalEnvironment& host, Sharing sharing)
    : vi_(vi), sharing_(sharing) {
  PVideoFrame picture = host.Frames().New(ShapeOf(vi));
  const int bytes = picture->vfb->data_size;
  std::memset(picture->vfb->data, 0x80, static_cast<size_t>(bytes));
  buffer_ = *picture->vfb;
  frame_ = *picture.get();
  if (sharing == Sharing::kShared) {
    shared_ = std::move(picture);
    return;
  }
  storage_ = std::make_unique<uint8_t[]>(static_cast<size_t>(bytes));
  std::memcpy(storage_.get(), buffer_.data, static_cast<size_t>(bytes));
  buffer_ = VideoFrameBuffer{storage_.get(), bytes, 0, 0};
  frame_.refcount = 0;
  frame_.vfb = &buffer_;
}

PVideoFrame StillClip::GetFrame(int, IScriptEnvironment* env) {
  if (sharing_ == Sharing::kShared) return shared_;
  if (frame_.refcount != 0) env->ThrowError("StillClip: the previous frame is still held");
  // The buffer goes back to a single owner, as a host's pool hands out a
  // recycled buffer.
  buffer_.refcount = 1;
  return PVideoFrame(&frame_);
}
