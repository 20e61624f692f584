// The filter and the project's own host under conditions a well-behaved host
// never sets up: a host that cannot make a frame writable, and clips whose
// VideoInfo holds extreme values.
#include <gtest/gtest.h>

#include <climits>

#include "host/local/source_clip.h"
#include "tests/support/reference_stamp.h"

namespace {

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

}  // namespace
