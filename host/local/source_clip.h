// A source clip of the project's own host: frames painted by a function of
// the frame index, handed out either shared (held by the clip too, as a
// frame cache holds them) or unshared (held by the caller alone).
#pragma once

#include <cstdint>
#include <functional>

#include "host/clip_base.h"
#include "host/local/environment.h"

enum class Sharing { kShared, kUnshared };

class SourceClip : public ClipBase {
 public:
  // Fills the frame for index n (already clamped to the clip), all of its
  // storage including the row padding.
  using Painter = std::function<void(int n, VideoFrame& frame)>;

  SourceClip(const VideoInfo& vi, LocalEnvironment& host, Sharing sharing,
             Painter paint = PaintNoise);

  // Deterministic noise over a frame's whole storage, different for every n.
  static void PaintNoise(int n, VideoFrame& frame);

  PVideoFrame GetFrame(int n, IScriptEnvironment* env) override;
  int HOST_STDCALL GetVersion() override { return AVISYNTH_INTERFACE_VERSION; }
  bool HOST_STDCALL GetParity(int n) override { return n % 2 != 0; }
  void HOST_STDCALL GetAudio(void* buf, int64_t start, int64_t count,
                             IScriptEnvironment* env) override;
  void HOST_STDCALL SetCacheHints(int cachehints, int frame_range) override;
  const VideoInfo& HOST_STDCALL GetVideoInfo() override { return vi_; }

  // What the clip has been asked, for pass-through checks.
  int FramesServed() const { return framesServed_; }
  int CacheHintCalls() const { return cacheHintCalls_; }
  int64_t LastAudioStart() const { return lastAudioStart_; }
  int64_t LastAudioCount() const { return lastAudioCount_; }
  // The frame it holds while handing it out shared (null otherwise).
  const PVideoFrame& Cached() const { return cached_; }

 private:
  VideoInfo vi_;
  LocalEnvironment& host_;
  Sharing sharing_;
  Painter paint_;
  PVideoFrame cached_;
  int cachedIndex_ = -1;
  int framesServed_ = 0;
  int cacheHintCalls_ = 0;
  int64_t lastAudioStart_ = -1;
  int64_t lastAudioCount_ = -1;
};

// A VideoInfo with video only.
VideoInfo MakeVideoInfo(int width, int height, uint32_t pixelType, int numFrames);
