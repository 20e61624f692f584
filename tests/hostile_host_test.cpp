// The filter and the project's own host under conditions a well-behaved host
// never sets up: a host that cannot make a frame writable, clips whose frames
// are smaller than their VideoInfo claims, and sizes and frame counts at the
// limits of their types.
#include <gtest/gtest.h>

#include <climits>
#include <new>
#include <vector>

#include "host/clip_base.h"
#include "host/local/source_clip.h"
#include "plugin/plugin.h"
#include "tests/support/reference_stamp.h"

namespace {

// A host whose MakeWritable leaves every frame as it was, shared or not.
class StubbornEnvironment : public LocalEnvironment {
 public:
  bool HOST_STDCALL MakeWritable(PVideoFrame*) override {
    ++calls;
    return false;
  }
  int calls = 0;
};

// A frame the filter cannot write (the source still holds it, so the write
// pointer is null) comes back as the source's own frame, untouched: no
// digits, no write anywhere, no copy, every reference returned.
TEST(UnwritableFrame, ComesBackUntouchedAndUnstamped) {
  for (uint32_t type : {CS_BGR24, CS_BGR32, CS_YUY2, CS_YV12, CS_I420}) {
    SCOPED_TRACE(type);
    StubbornEnvironment env;
    AvisynthPluginInit2(&env);
    const VideoInfo vi = MakeVideoInfo(64, 20, type, 100);
    auto* source = new SourceClip(vi, env, Sharing::kShared);
    const PClip sourceClip = source;
    const PClip twin = new SourceClip(vi, env, Sharing::kShared);
    const AVSValue args[1] = {sourceClip};
    const PClip clip = env.CallFunction("Stampel", AVSValue(args, 1)).AsClip();

    for (int n : {0, 42, 42}) {
      const PVideoFrame frame = clip->GetFrame(n, &env);
      EXPECT_EQ(frame.get(), source->Cached().get());
      EXPECT_EQ(frame->refcount, 2);  // the source's and ours
      EXPECT_EQ(frame->vfb->sequence_number, 0);
      EXPECT_EQ(reference::Storage(*frame.get()),
                reference::Storage(*twin->GetFrame(n, &env).get()));
    }
    EXPECT_EQ(env.calls, 3);
    EXPECT_EQ(env.CopiesMade(), 0);
    EXPECT_EQ(source->Cached()->refcount, 1);
  }
}

// The filter goes by the frame, not by what MakeWritable reports: a frame it
// holds alone is stamped even by a host that did nothing to it.
TEST(UnwritableFrame, AFrameHeldAloneIsStampedWhateverMakeWritableDid) {
  StubbornEnvironment env;
  AvisynthPluginInit2(&env);
  const VideoInfo vi = MakeVideoInfo(64, 20, CS_YV12, 100);
  const PClip source = new SourceClip(vi, env, Sharing::kUnshared);
  const PClip twin = new SourceClip(vi, env, Sharing::kShared);
  const AVSValue args[1] = {source};
  const PClip clip = env.CallFunction("Stampel", AVSValue(args, 1)).AsClip();
  const PVideoFrame frame = clip->GetFrame(42, &env);
  EXPECT_EQ(reference::Storage(*frame.get()),
            reference::Stamp(reference::Storage(*twin->GetFrame(42, &env).get()), *frame.get(), vi,
                             "042", false));
  EXPECT_EQ(env.calls, 1);
}

// A clip that claims another VideoInfo than its child's frames have, as a
// faulty filter upstream might.
class ClaimingClip : public GenericVideoFilter {
 public:
  ClaimingClip(PClip child, const VideoInfo& claimed) : GenericVideoFilter(std::move(child)) {
    vi = claimed;
  }
};

// Frames smaller than the clip claims (rows too short for the cells, or too
// few rows) come back untouched; rows stored without padding let the
// sanitizers see any write past the storage.
TEST(SmallerFrame, ThanTheClipClaimsComesBackUntouched) {
  struct Lie {
    const char* what;
    uint32_t claimedType;
    int claimedWidth, claimedHeight;
    uint32_t type;
    int width, height, left;
  } const lies[] = {
      {"rows too short, right-aligned", CS_BGR24, 320, 20, CS_BGR24, 20, 20, 0},
      {"rows too short, left-aligned", CS_BGR32, 320, 20, CS_BGR32, 20, 20, 1},
      {"too few rows", CS_YUY2, 64, 240, CS_YUY2, 64, 16, 0},
      {"too few rows, bottom-up", CS_BGR24, 64, 240, CS_BGR24, 64, 16, 1},
      {"planar rows too short", CS_YV12, 320, 20, CS_YV12, 16, 20, 0},
      {"RGB32 claimed over planar rows", CS_BGR32, 64, 20, CS_YV12, 64, 20, 0},
  };
  for (const Lie& lie : lies) {
    SCOPED_TRACE(lie.what);
    LocalEnvironment env(0);
    AvisynthPluginInit2(&env);
    const VideoInfo frames = MakeVideoInfo(lie.width, lie.height, lie.type, 100);
    const PClip source = new SourceClip(frames, env, Sharing::kUnshared);
    const PClip twin = new SourceClip(frames, env, Sharing::kShared);
    const PClip claiming = new ClaimingClip(
        source, MakeVideoInfo(lie.claimedWidth, lie.claimedHeight, lie.claimedType, 100));
    const AVSValue args[3] = {claiming, AVSValue(0), AVSValue(lie.left)};
    const PClip clip = env.CallFunction("Stampel", AVSValue(args, 3)).AsClip();
    const PVideoFrame frame = clip->GetFrame(7, &env);
    EXPECT_EQ(reference::Storage(*frame.get()), reference::Storage(*twin->GetFrame(7, &env).get()));
  }
}

// Past either end of a clip the nearest frame is served, also for frame
// counts at the limits of their type and for clips without frames.
TEST(SourceClip, ServesTheNearestFrameForExtremeFrameCounts) {
  struct Served {
    int frames, n;
    int index;  // the frame painted
  } const cases[] = {
      {INT_MIN, 5, 0}, {INT_MIN, INT_MIN, 0},           {-1, 3, 0},  {0, -1, 0},  {0, 7, 0},
      {1, INT_MAX, 0}, {INT_MAX, INT_MAX, INT_MAX - 1}, {10, -5, 0}, {10, 12, 9},
  };
  for (const Served& c : cases) {
    SCOPED_TRACE(std::to_string(c.frames) + " frames, frame " + std::to_string(c.n));
    LocalEnvironment env;
    int painted = -1;
    const PClip clip =
        new SourceClip(MakeVideoInfo(16, 14, CS_YV12, c.frames), env, Sharing::kUnshared,
                       [&painted](int n, VideoFrame&) { painted = n; });
    EXPECT_TRUE(clip->GetFrame(c.n, &env));
    EXPECT_EQ(painted, c.index);
  }
}

// Frames whose storage would pass the host's 32-bit sizes, padding included,
// or whose shape is negative, are refused as an allocation that cannot be
// had, before any size is computed in 32 bits.
TEST(FramePool, RefusesFramesPastThe32BitSizes) {
  struct Refused {
    const char* what;
    uint32_t type;
    int width, height;
  } const pictures[] = {
      {"RGB24 row past 32 bits", CS_BGR24, INT_MAX / 3 + 1, 14},
      {"RGB32 row past 32 bits", CS_BGR32, INT_MAX / 4 + 1, 14},
      {"YUY2 row past 32 bits", CS_YUY2, INT_MAX / 2 + 1, 14},
      {"fits without row padding only", CS_BGR32, 16384, 32767},
      {"4:2:0 planes past 32 bits", CS_YV12, 1 << 16, 1 << 15},
      {"unknown type past 32 bits", 0, 1 << 16, 1 << 15},
      {"negative width", CS_YUY2, -64, 14},
      {"negative height", CS_I420, 64, -14},
  };
  for (const Refused& p : pictures) {
    SCOPED_TRACE(p.what);
    LocalEnvironment env;
    const VideoInfo vi = MakeVideoInfo(p.width, p.height, p.type, 1);
    PVideoFrame frame;
    EXPECT_THROW(env.NewVideoFrame(&frame, vi, 16), std::bad_alloc);
    EXPECT_EQ(env.Frames().FramesAllocated(), 0);
  }
}

}  // namespace
