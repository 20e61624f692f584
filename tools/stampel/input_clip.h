// The clip the tool hands the plugin: frames of the input stream, in order.
#pragma once

#include "host/clip_base.h"
#include "host/local/frame_pool.h"
#include "tools/stampel/frame_io.h"

// The main loop fetches frame n from the stream first, outside any call into
// the plugin, so that bad input is reported there and never has to unwind
// through the plugin; the plugin's request for frame n then takes the frame
// over, leaving the clip no reference, so that it is writable in place.
class InputClip : public ClipBase {
 public:
  InputClip(FrameReader& reader, FramePool& pool, int frames);

  // Reads the stream's next frame as frame n. False when the input ends
  // before it; bad input raises Failure.
  bool Fetch(int n);

  // The fetched frame for n; a null frame for any other n.
  PVideoFrame GetFrame(int n, IScriptEnvironment* env) override;
  int HOST_STDCALL GetVersion() override { return AVISYNTH_INTERFACE_VERSION; }
  bool HOST_STDCALL GetParity(int) override { return false; }
  void HOST_STDCALL GetAudio(void*, int64_t, int64_t, IScriptEnvironment*) override {}
  void HOST_STDCALL SetCacheHints(int, int) override {}
  const VideoInfo& HOST_STDCALL GetVideoInfo() override { return vi_; }

 private:
  FrameReader& reader_;
  FramePool& pool_;
  VideoInfo vi_;
  PVideoFrame fetched_;
  int fetchedIndex_ = -1;
};
