// A source clip that hands out one still picture for every frame index and
// does no work per frame, so that what a benchmark times is the caller's work.
#pragma once

#include <memory>

#include "host/clip_base.h"
#include "host/local/environment.h"
#include "host/local/source_clip.h"

class StillClip : public ClipBase {
 public:
  // Shared: the clip keeps a handle on the picture, as a frame cache does, so
  // every frame it hands out is shared. Unshared: the picture is handed out
  // with a count of one, writable in place; the caller must have released the
  // previous frame before asking for the next.
  StillClip(const VideoInfo& vi, LocalEnvironment& host, Sharing sharing);

  PVideoFrame GetFrame(int n, IScriptEnvironment* env) override;
  int HOST_STDCALL GetVersion() override { return AVISYNTH_INTERFACE_VERSION; }
  bool HOST_STDCALL GetParity(int) override { return false; }
  void HOST_STDCALL GetAudio(void*, int64_t, int64_t, IScriptEnvironment*) override {}
  void HOST_STDCALL SetCacheHints(int, int) override {}
  const VideoInfo& HOST_STDCALL GetVideoInfo() override { return vi_; }

  // Bytes of the picture's whole storage, as the host copies it.
  int StorageBytes() const { return buffer_.data_size; }

 private:
  VideoInfo vi_;
  Sharing sharing_;
  PVideoFrame shared_;
  // The unshared picture: laid out as the host's pool lays it out, in storage
  // of the clip's own that no pool recycles.
  std::unique_ptr<uint8_t[]> storage_;
  VideoFrameBuffer buffer_{};
  VideoFrame frame_{};
};
