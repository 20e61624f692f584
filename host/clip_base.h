// Bases for clips implemented on this side of the interface.
#pragma once

#include "host/interface.h"

// Fills the host's frame and destructor slots from plain C++: subclasses
// override GetFrame and are destroyed through their virtual destructor.
class ClipBase : public IClip {
 public:
  virtual ~ClipBase() = default;
  virtual PVideoFrame GetFrame(int n, IScriptEnvironment* env) = 0;

 private:
  PVideoFrame* HOST_STDCALL GetFrameInto(PVideoFrame* result, int n, IScriptEnvironment* env) final;
  void* HOST_THISCALL DeletingDestructor(unsigned flags) final;
};

// The pass-through filter: forwards frames, parity and audio to its child and
// reports the child's VideoInfo as copied at construction.
class GenericVideoFilter : public ClipBase {
 public:
  explicit GenericVideoFilter(PClip clip);

  PVideoFrame GetFrame(int n, IScriptEnvironment* env) override;
  int HOST_STDCALL GetVersion() override { return AVISYNTH_INTERFACE_VERSION; }
  bool HOST_STDCALL GetParity(int n) override;
  void HOST_STDCALL GetAudio(void* buf, int64_t start, int64_t count,
                             IScriptEnvironment* env) override;
  void HOST_STDCALL SetCacheHints(int, int) override {}
  const VideoInfo& HOST_STDCALL GetVideoInfo() override { return vi; }

 protected:
  PClip child;
  VideoInfo vi;
};
