// Whole frames from the plugin module, compared byte for byte with the
// independent model over thousands of random clips: every pixel type, both
// alignments, sizes at and just below the narrowest and lowest a clip may be,
// frame counts and offsets near the 32-bit limits, and negative numbers. The
// generator has a fixed seed, so a failure names a case that reproduces.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/local/plugin_library.h"
#include "host/local/source_clip.h"
#include "tests/support/reference_stamp.h"

namespace {

constexpr int kCases = 4000;

// splitmix64: the same sequence on every platform and standard library.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
  }
  // Uniform enough in [lo, hi] for test data.
  int64_t In(int64_t lo, int64_t hi) {
    return lo + static_cast<int64_t>(Next() % static_cast<uint64_t>(hi - lo + 1));
  }
  bool OneIn(int n) { return Next() % static_cast<uint64_t>(n) == 0; }
  template <typename T, size_t N>
  T Pick(const T (&values)[N]) {
    return values[Next() % N];
  }

 private:
  uint64_t state_;
};

int Wrap(int64_t v) {
  return static_cast<int>(static_cast<uint32_t>(static_cast<uint64_t>(v)));
}

struct Case {
  uint32_t type;
  int width, height, frames, offset, left;
  Sharing sharing;
  int rowPadding;
  std::vector<int> numbers;
};

std::string Describe(const Case& c) {
  char text[200];
  std::snprintf(text, sizeof text,
                "type 0x%08x %dx%d, %d frames, offset %d, left %d, %s, padding %d",
                static_cast<unsigned>(c.type), c.width, c.height, c.frames, c.offset, c.left,
                c.sharing == Sharing::kShared ? "shared" : "unshared", c.rowPadding);
  return text;
}

int PowerOfTen(int k) {
  int p = 1;
  for (int i = 0; i < k; ++i) p *= 10;
  return p;
}

Case Generate(Random& r) {
  static const uint32_t kTypes[] = {CS_BGR24, CS_BGR32, CS_YUY2, CS_YV12, CS_I420};
  static const uint32_t kOthers[] = {0u,          0x40000000u, 0x20000020u,
                                     0xFFFFFFFFu, 0x50000003u, 0xE000000Cu};
  Case c{};
  c.type = r.OneIn(20) ? r.Pick(kOthers) : r.Pick(kTypes);

  switch (r.In(0, 4)) {
    case 0:
      c.frames = static_cast<int>(r.In(1, 300));
      break;
    case 1:  // just around a power of ten, where the digit count changes
      c.frames = Wrap(PowerOfTen(static_cast<int>(r.In(0, 9))) + r.In(-1, 1));
      break;
    case 2:
      c.frames = Wrap(INT_MAX - r.In(0, 3));
      break;
    case 3:
      c.frames = static_cast<int>(r.In(-5, 0));
      break;
    default:
      c.frames = static_cast<int>(r.In(1, 1000000));
      break;
  }
  switch (r.In(0, 5)) {
    case 0:
      c.offset = 0;
      break;
    case 1:
      c.offset = static_cast<int>(r.In(-1000, 1000));
      break;
    case 2:  // the sum, or the numbers shown, pass INT_MAX
      c.offset = Wrap(int64_t{INT_MAX} - c.frames + r.In(-3, 3));
      break;
    case 3:
      c.offset = Wrap(int64_t{INT_MIN} + r.In(0, 3));
      break;
    case 4:  // numbers around zero
      c.offset = Wrap(-int64_t{c.frames} + r.In(-3, 3));
      break;
    default:  // the sum just around a power of ten
      c.offset = Wrap(PowerOfTen(static_cast<int>(r.In(1, 9))) - int64_t{c.frames} + r.In(-1, 1));
      break;
  }
  const int digits = reference::DigitCount(c.frames, c.offset);

  // Even widths for YUY2 and 4:2:0, even heights for 4:2:0, as the host
  // allows; the narrowest and lowest sizes, and one below, are the edges.
  const bool packed = c.type == CS_YUY2;
  const bool planar = c.type == CS_YV12 || c.type == CS_I420;
  const int narrowest = digits * 10 + 2;
  switch (r.In(0, 3)) {
    case 0:
      c.width = narrowest;
      break;
    case 1:
      c.width = narrowest - static_cast<int>(r.In(1, 2));
      break;
    case 2:
      c.width = narrowest + static_cast<int>(r.In(1, 40));
      break;
    default:
      c.width = static_cast<int>(r.In(narrowest, r.OneIn(10) ? 1920 : 400));
      break;
  }
  switch (r.In(0, 3)) {
    case 0:
      c.height = 14;
      break;
    case 1:
      c.height = static_cast<int>(r.In(12, 13));
      break;
    case 2:
      c.height = static_cast<int>(r.In(15, 17));
      break;
    default:
      c.height = static_cast<int>(r.In(14, r.OneIn(10) ? 1080 : 64));
      break;
  }
  if (packed || planar) c.width &= ~1;
  if (planar) c.height &= ~1;

  static const int kLefts[] = {1, -1, 2, INT_MIN, INT_MAX};
  c.left = r.OneIn(2) ? 0 : r.Pick(kLefts);
  c.sharing = r.OneIn(2) ? Sharing::kShared : Sharing::kUnshared;
  c.rowPadding = static_cast<int>(r.In(0, 48));

  // Inside the clip, at its ends, past them, and numbers that wrap.
  c.numbers = {0, Wrap(int64_t{c.frames} - 1),
               static_cast<int>(r.In(0, c.frames > 1 ? c.frames : 1))};
  static const int kOutside[] = {-1, INT_MIN, INT_MAX, 123456789};
  c.numbers.push_back(r.OneIn(2) ? r.Pick(kOutside)
                                 : Wrap(int64_t{INT_MAX} - c.offset + r.In(-2, 2)));
  return c;
}

class RandomClips : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    plugin_ = PluginLibrary::Open(STAMPEL_PLUGIN_PATH, &error).release();
    ASSERT_NE(plugin_, nullptr) << error;
  }
  static void TearDownTestSuite() { delete plugin_; }

  static PluginLibrary* plugin_;
};

PluginLibrary* RandomClips::plugin_ = nullptr;

TEST_F(RandomClips, AreRefusedExactlyWhenTooSmallAndStampedLikeTheModel) {
  Random random(20261211);
  int failures = 0;
  std::map<std::string, int> stamped;  // by pixel type and alignment
  int refused = 0;

  for (int i = 0; i < kCases && failures < 5; ++i) {
    const Case c = Generate(random);
    SCOPED_TRACE("case " + std::to_string(i) + ": " + Describe(c));
    const VideoInfo vi = MakeVideoInfo(c.width, c.height, c.type, c.frames);
    const int digits = reference::DigitCount(c.frames, c.offset);
    const bool fits = c.width >= digits * 10 + 2 && c.height >= 14;

    LocalEnvironment env(c.rowPadding);
    plugin_->Init(&env);
    auto* source = new SourceClip(vi, env, c.sharing);
    const PClip sourceClip = source;
    const PClip twin = new SourceClip(vi, env, Sharing::kShared);
    const AVSValue args[3] = {sourceClip, AVSValue(c.offset), AVSValue(c.left)};
    PClip clip;
    try {
      clip = env.CallFunction("Stampel", AVSValue(args, 3)).AsClip();
    } catch (const HostError& e) {
      EXPECT_STREQ(e.what(), "Stampel: video too small");
    }
    if (!fits) {
      failures += !!clip;
      EXPECT_FALSE(clip) << "accepted a clip too small";
      ++refused;
      continue;
    }
    if (!clip) {
      ++failures;
      ADD_FAILURE() << "refused a clip that fits";
      continue;
    }

    for (int n : c.numbers) {
      const PVideoFrame before = twin->GetFrame(n, &env);
      const PVideoFrame frame = clip->GetFrame(n, &env);
      const std::string text = reference::Text(n, c.offset, digits);
      if (reference::Storage(*frame.get()) !=
          reference::Stamp(reference::Storage(*before.get()), *frame.get(), vi, text, c.left)) {
        ++failures;
        ADD_FAILURE() << "frame " << n << " (text " << text << ") differs from the model";
        break;
      }
    }
    const bool known = c.type == CS_BGR24 || c.type == CS_BGR32 || c.type == CS_YUY2 ||
                       c.type == CS_YV12 || c.type == CS_I420;
    if (known) ++stamped[std::to_string(c.type) + (c.left ? " left" : " right")];
  }

  // The generator reaches every pixel type in both alignments, and the edges.
  EXPECT_EQ(stamped.size(), 10u);
  for (const auto& [kind, count] : stamped) EXPECT_GE(count, 50) << kind;
  EXPECT_GE(refused, 500);
}

}  // namespace
