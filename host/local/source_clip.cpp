#include "host/local/source_clip.h"

#include <algorithm>
#include <cstring>

SourceClip::SourceClip(const VideoInfo& vi, LocalEnvironment& host, Sharing sharing, Painter paint)
    : vi_(vi), host_(host), sharing_(sharing), paint_(std::move(paint)) {}

void SourceClip::PaintNoise(int n, VideoFrame& frame) {
  uint32_t state = 0x9E3779B9u ^ (static_cast<uint32_t>(n) * 0x85EBCA6Bu);
  uint8_t* data = frame.vfb->data;
  for (int i = 0; i < frame.vfb->data_size; ++i) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    data[i] = static_cast<uint8_t>(state >> 24);
  }
}

PVideoFrame SourceClip::GetFrame(int n, IScriptEnvironment*) {
  ++framesServed_;
  // Past either end the nearest frame is served, as the frame server does.
  const int index = std::clamp(n, 0, std::max(vi_.num_frames, 1) - 1);
  if (sharing_ == Sharing::kShared && cached_ && cachedIndex_ == index) return cached_;

  PVideoFrame frame = host_.Frames().New(ShapeOf(vi_));
  paint_(index, *frame.get());
  if (sharing_ == Sharing::kShared) {
    cached_ = frame;
    cachedIndex_ = index;
  }
  return frame;
}

void SourceClip::GetAudio(void* buf, int64_t start, int64_t count, IScriptEnvironment*) {
  lastAudioStart_ = start;
  lastAudioCount_ = count;
  // Two bytes a sample of a ramp that tells which samples were asked for.
  auto* out = static_cast<uint8_t*>(buf);
  for (int64_t i = 0; i < count * 2; ++i) out[i] = static_cast<uint8_t>(start + i);
}

void SourceClip::SetCacheHints(int, int) {
  ++cacheHintCalls_;
}

VideoInfo MakeVideoInfo(int width, int height, uint32_t pixelType, int numFrames) {
  VideoInfo vi;
  std::memset(&vi, 0, sizeof vi);
  vi.width = width;
  vi.height = height;
  vi.fps_numerator = 25;
  vi.fps_denominator = 1;
  vi.num_frames = numFrames;
  vi.pixel_type = static_cast<int>(pixelType);
  return vi;
}
