// A long run of one stamped clip through the project's own host: a million
// GetFrame calls (STAMPEL_SOAK_CALLS overrides the count) over frames that
// come shared and unshared, some held across calls. The host's frame storage
// must stop growing once warm, sampled frames must match the model, and every
// frame and clip reference must be back at its start when the clip goes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/clip_base.h"
#include "host/local/environment.h"
#include "host/local/source_clip.h"
#include "plugin/plugin.h"
#include "tests/support/reference_stamp.h"

namespace {

// Frame n is every byte n * 37: cheap to paint and to predict.
uint8_t Fill(int n) {
  return static_cast<uint8_t>(n * 37);
}

// A source that hands out frames unshared (every third index) or shared
// from a small cache of the last few, as the frame server's cache does.
class MixedSource : public ClipBase {
 public:
  static constexpr int kCached = 4;

  MixedSource(const VideoInfo& vi, LocalEnvironment& host) : vi_(vi), host_(host) {}

  PVideoFrame GetFrame(int n, IScriptEnvironment*) override {
    // Past either end the nearest frame, as the frame server serves it.
    n = std::clamp(n, 0, vi_.num_frames - 1);
    const bool shared = n % 3 != 0;
    Entry& entry = cache_[n % kCached];
    if (shared && entry.frame && entry.n == n) return entry.frame;
    PVideoFrame frame = host_.Frames().New(ShapeOf(vi_));
    std::memset(frame->vfb->data, Fill(n), static_cast<size_t>(frame->vfb->data_size));
    if (shared) entry = {n, frame};
    return frame;
  }
  int HOST_STDCALL GetVersion() override { return AVISYNTH_INTERFACE_VERSION; }
  bool HOST_STDCALL GetParity(int) override { return false; }
  void HOST_STDCALL GetAudio(void*, int64_t, int64_t, IScriptEnvironment*) override {}
  void HOST_STDCALL SetCacheHints(int, int) override {}
  const VideoInfo& HOST_STDCALL GetVideoInfo() override { return vi_; }

  // Frames the cache holds, and whether each is held by it alone.
  int CachedFrames(bool* alone) const {
    int count = 0;
    *alone = true;
    for (const Entry& entry : cache_) {
      if (!entry.frame) continue;
      ++count;
      *alone = *alone && entry.frame->refcount == 1 && entry.frame->vfb->refcount == 1;
    }
    return count;
  }

 private:
  struct Entry {
    int n = -1;
    PVideoFrame frame;
  };
  VideoInfo vi_;
  LocalEnvironment& host_;
  Entry cache_[kCached];
};

long SoakCalls() {
  const char* text = std::getenv("STAMPEL_SOAK_CALLS");
  return text ? std::strtol(text, nullptr, 10) : 1000000;
}

TEST(Soak, AMillionFramesLeaveNoReferenceAndNoGrowthBehind) {
  const long calls = SoakCalls();
  ASSERT_GT(calls, 20000);
  constexpr int kFrames = 50;
  constexpr int kHeld = 3;

  LocalEnvironment env;
  AvisynthPluginInit2(&env);
  const VideoInfo vi = MakeVideoInfo(64, 16, CS_YV12, kFrames);
  auto* source = new MixedSource(vi, env);
  PClip sourceClip = source;
  ASSERT_EQ(source->RefCount(), 1);
  {
    const PClip clip = [&] {
      const AVSValue args[3] = {sourceClip, AVSValue(-7), AVSValue()};
      return env.CallFunction("Stampel", AVSValue(args, 3)).AsClip();
    }();
    ASSERT_EQ(source->RefCount(), 2);
    ASSERT_EQ(clip->RefCount(), 1);

    PVideoFrame held[kHeld];
    uint32_t state = 12345;
    int warm = 0;
    int sampled = 0;
    for (long i = 0; i < calls; ++i) {
      state = state * 1103515245u + 12345u;
      // Mostly inside the clip, some past its ends.
      const int n = static_cast<int>((state >> 8) % (kFrames + 10)) - 5;
      PVideoFrame frame = clip->GetFrame(n, &env);
      if (i % 997 == 0) {
        const int index = n < 0 ? 0 : n >= kFrames ? kFrames - 1 : n;
        const std::vector<uint8_t> before(static_cast<size_t>(frame->vfb->data_size), Fill(index));
        ASSERT_EQ(reference::Storage(*frame.get()),
                  reference::Stamp(before, *frame.get(), vi, reference::Text(n, -7, 2), false))
            << "call " << i << ", frame " << n;
        ++sampled;
      }
      // Some outputs are kept a while, as a downstream filter might.
      if ((state >> 4) % 5 == 0) held[(state >> 12) % kHeld] = std::move(frame);
      if (i == 10000) warm = env.Frames().FramesAllocated();
    }
    EXPECT_GT(sampled, 20);
    // Cache, held frames, the call's own frame and the host's copy.
    EXPECT_LE(env.Frames().FramesAllocated(), MixedSource::kCached + kHeld + 2);
    EXPECT_EQ(env.Frames().FramesAllocated(), warm);

    for (PVideoFrame& frame : held) frame = PVideoFrame();
    bool alone = false;
    EXPECT_EQ(env.Frames().FramesInUse(), source->CachedFrames(&alone));
    EXPECT_TRUE(alone);
    EXPECT_EQ(source->RefCount(), 2);
    EXPECT_EQ(clip->RefCount(), 1);
  }
  EXPECT_EQ(source->RefCount(), 1);
  sourceClip = PClip();
  EXPECT_EQ(env.Frames().FramesInUse(), 0);
}

}  // namespace
