// Whole frames stamped through the plugin module, compared byte for byte,
// padding and chroma planes included, with an independent model.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "tests/support/plugin_host.h"
#include "tests/support/reference_stamp.h"

namespace {

struct Case {
  uint32_t type;
  int width;
  int height;
  int frames;
  int offset;
  int left;
  Sharing sharing;
};

std::string TypeName(uint32_t type) {
  switch (type) {
    case CS_BGR24:
      return "RGB24";
    case CS_BGR32:
      return "RGB32";
    case CS_YUY2:
      return "YUY2";
    case CS_YV12:
      return "YV12";
    case CS_I420:
      return "I420";
    default:
      return "type" + std::to_string(type);
  }
}

std::string Name(const Case& c) {
  return TypeName(c.type) + "_" + std::to_string(c.width) + "x" + std::to_string(c.height) + "_" +
         std::to_string(c.frames) + "f_off" + (c.offset < 0 ? "m" : "") +
         std::to_string(static_cast<int64_t>(c.offset) < 0 ? -static_cast<int64_t>(c.offset)
                                                           : c.offset) +
         (c.left ? "_left" : "_right") + (c.sharing == Sharing::kShared ? "_shared" : "_unshared");
}

std::vector<Case> Cases() {
  struct Size {
    int width, height, frames, offset;
  };
  // Odd sizes only where the host allows them: any for RGB, even widths for
  // YUY2, even widths and heights for 4:2:0.
  const auto sizes = [](uint32_t type) {
    const bool evenWidth = type == CS_YUY2 || type == CS_YV12 || type == CS_I420;
    const bool evenHeight = type == CS_YV12 || type == CS_I420;
    return std::vector<Size>{
        {32, 14, 100, 0},  // exactly the narrowest for three digits
        {evenWidth ? 34 : 33, evenHeight ? 16 : 15, 100, 0},
        {12, 14, 7, 0},               // one digit, narrowest
        {320, 240, 1000, -3},         // negative numbers first
        {102, 20, 50, INT_MAX - 50},  // ten digits; numbers wrap past the limit
        {evenWidth ? 720 : 719, 480, 100000, 100},
    };
  };
  std::vector<Case> cases;
  for (uint32_t type : {CS_BGR24, CS_BGR32, CS_YUY2, CS_YV12, CS_I420}) {
    for (const Size& s : sizes(type)) {
      for (int left : {0, 1}) {
        for (Sharing sharing : {Sharing::kShared, Sharing::kUnshared}) {
          cases.push_back({type, s.width, s.height, s.frames, s.offset, left, sharing});
        }
      }
    }
  }
  // Pixel types the filter does not draw into pass through untouched.
  for (uint32_t type : {0u, 0x40000000u, 0x20000020u}) {
    cases.push_back({type, 64, 20, 100, 0, 0, Sharing::kShared});
    cases.push_back({type, 64, 20, 100, 0, 1, Sharing::kUnshared});
  }
  return cases;
}

class WholeFrame : public ::testing::TestWithParam<Case> {};

TEST_P(WholeFrame, EveryByteIsTheSourcesOrTheStamps) {
  const Case& c = GetParam();
  PluginHost host;
  const VideoInfo vi = MakeVideoInfo(c.width, c.height, c.type, c.frames);
  auto* source = new SourceClip(vi, host.env, c.sharing);
  const PClip sourceClip = source;
  // A twin that serves the same pictures, for the bytes before stamping.
  const PClip twin = new SourceClip(vi, host.env, Sharing::kShared);
  const PClip clip = host.Stampel(sourceClip, AVSValue(c.offset), AVSValue(c.left));
  const int digits = reference::DigitCount(c.frames, c.offset);

  for (int n : {0, 1, 2, c.frames - 1, c.frames, c.frames + 123}) {
    SCOPED_TRACE("frame " + std::to_string(n));
    const PVideoFrame before = twin->GetFrame(n, &host.env);
    const PVideoFrame frame = clip->GetFrame(n, &host.env);
    const std::string text = reference::Text(n, c.offset, digits);
    EXPECT_EQ(reference::Storage(*frame.get()),
              reference::Stamp(reference::Storage(*before.get()), *frame.get(), vi, text, c.left));
    if (c.sharing == Sharing::kShared) {
      // The source's own frame is copied, never drawn into.
      EXPECT_NE(frame.get(), source->Cached().get());
      EXPECT_EQ(reference::Storage(*source->Cached().get()), reference::Storage(*before.get()));
    }
  }
  if (c.sharing == Sharing::kUnshared) {
    EXPECT_EQ(host.env.CopiesMade(), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(AllPixelTypes, WholeFrame, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return Name(info.param); });

// A 100-frame YV12 clip of 320 x 240, frame 42: three cells of ten luma
// bytes at 288, 298 and 308 of rows 226 to 239, chroma untouched.
TEST(WorkedExample, Frame42OfA320x240Yv12Clip) {
  PluginHost host;
  const VideoInfo vi = MakeVideoInfo(320, 240, CS_YV12, 100);
  const PClip source = new SourceClip(vi, host.env, Sharing::kShared);
  const PClip clip = host.Stampel(source);
  const PVideoFrame before = source->GetFrame(42, &host.env);
  const std::vector<uint8_t> original = reference::Storage(*before.get());
  const PVideoFrame frame = clip->GetFrame(42, &host.env);
  const uint8_t* luma = frame->GetReadPtr();
  const int pitch = frame->GetPitch();

  auto row = [&](int y) { return std::string(luma + y * pitch + 288, luma + y * pitch + 318); };
  auto art = [](const char* s) {
    std::string bytes;
    for (const char* p = s; *p; ++p) bytes += static_cast<char>(*p == '#' ? 255 : 0);
    return bytes;
  };
  EXPECT_EQ(row(226), art("..####.......##.......####...."));  // glyphs' top rows
  EXPECT_EQ(row(239), art("..####........##....########.."));  // bottom rows
  for (int y = 0; y < 240; ++y) {
    const bool stamped = y >= 226;
    for (int x = 0; x < 320; ++x) {
      const bool inCell = stamped && x >= 288 && x < 318;
      if (!inCell) {
        ASSERT_EQ(luma[y * pitch + x], original[y * pitch + x]) << x << "," << y;
      }
    }
  }
  const int chromaStart = frame->offsetV;  // V then U follow the luma plane
  EXPECT_TRUE(std::equal(original.begin() + chromaStart, original.end(),
                         reference::Storage(*frame.get()).begin() + chromaStart));
}

// Past the clip's end the number keeps counting and loses the digits that
// do not fit; negative numbers start with a minus cell.
TEST(Numbers, ShownTextsForEdgeNumbers) {
  struct Shown {
    int frames, offset, n;
    const char* text;
  } const shown[] = {
      {100, 0, 7, "007"},
      {100, 100, 7, "107"},
      {10, 0, 123, "12"},
      {100, -3, 0, "-3"},
      {100, -3, 3, "00"},
      {100, -200, 5, "-"},
      {50, INT_MAX - 50, 50, "2147483647"},
      {50, INT_MAX - 50, 51, "-214748364"},
      {9, 0, 8, "8"},
  };
  for (const Shown& s : shown) {
    EXPECT_EQ(reference::Text(s.n, s.offset, reference::DigitCount(s.frames, s.offset)), s.text);
  }
}

}  // namespace
