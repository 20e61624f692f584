// The filter's parts linked directly: font table, digit count and format,
// and the rasterizer's placement of single cells.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "filter/stampel_filter.h"
#include "host/local/source_clip.h"
#include "tests/support/reference_stamp.h"

namespace {

TEST(DigitGlyphs, MatchTheFontStoredBottomRowFirst) {
  const int strokes[10] = {64, 38, 42, 47, 42, 46, 48, 34, 56, 48};
  for (int d = 0; d < 10; ++d) {
    int count = 0;
    for (int r = 0; r < 14; ++r) {
      for (int c = 0; c < 8; ++c) {
        const uint8_t byte = DigitGlyphs[d * 112 + r * 8 + c];
        EXPECT_EQ(byte, reference::Stroke(d, 13 - r, c) ? 255 : 0) << d << " " << r << " " << c;
        count += byte == 255;
      }
    }
    EXPECT_EQ(count, strokes[d]) << "digit " << d;
  }
  // Printed from the top, glyph 7 shows its bar first; glyph 1 stands on a foot.
  EXPECT_EQ(std::string(DigitGlyphs + 7 * 112 + 13 * 8, DigitGlyphs + 7 * 112 + 14 * 8),
            std::string(8, '\xff'));
  EXPECT_EQ(std::string(DigitGlyphs + 112, DigitGlyphs + 120), std::string(8, '\xff'));
}

TEST(MinusGlyph, IsAnOpaqueCellWithABarAcrossItsMiddle) {
  for (int r = 0; r < 14; ++r) {
    for (int c = 0; c < 8; ++c) {
      EXPECT_EQ(MinusGlyph[r * 8 + c], reference::Stroke(10, 13 - r, c) ? 255 : 0);
    }
  }
  for (int c = 0; c < 8; ++c) {
    EXPECT_EQ(MinusGlyph[c], 0);
    EXPECT_EQ(MinusGlyph[13 * 8 + c], 0);
  }
}

struct Count {
  int frames, offset, digits;
  const char* format;
};

class DigitCount : public ::testing::TestWithParam<Count> {};

TEST_P(DigitCount, CountsTheDigitsOfFramesPlusOffset) {
  const Count& c = GetParam();
  LocalEnvironment env;
  const PClip source =
      new SourceClip(MakeVideoInfo(200, 14, CS_YV12, c.frames), env, Sharing::kShared);
  const StampelFilter filter(source, c.offset, 0, &env);
  EXPECT_EQ(filter.DigitCount(), c.digits);
  EXPECT_STREQ(filter.NumberFormat(), c.format);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DigitCount,
    ::testing::Values(Count{9, 0, 1, "%01d"}, Count{10, 0, 2, "%02d"}, Count{95, 5, 3, "%03d"},
                      Count{100, 0, 3, "%03d"}, Count{0, 0, 1, "%01d"}, Count{100, -200, 1, "%01d"},
                      Count{100, INT_MAX, 1, "%01d"}, Count{99999, 1, 6, "%06d"},
                      Count{1000000000, 0, 10, "%010d"}, Count{100, INT_MAX - 100, 10, "%010d"}),
    [](const auto& info) {
      const Count& c = info.param;
      return std::to_string(c.frames) + "_frames_offset_" + (c.offset < 0 ? "minus_" : "") +
             std::to_string(c.offset < 0 ? -static_cast<int64_t>(c.offset) : c.offset);
    });

// Single cells in the corners the rasterizer knows: RGB's first stored row
// is the picture's bottom; YUY2 writes its last 14 stored rows.
TEST(DrawDigit, WritesExactlyItsCellInTheBottomRows) {
  struct Cell {
    uint32_t type;
    int width, height, x, digit;
  } const cells[] = {
      {CS_BGR24, 20, 14, 0, 1}, {CS_BGR32, 20, 15, 40, 7}, {CS_YUY2, 16, 16, 0, 4},
      {CS_YV12, 24, 16, 3, 0},  {CS_I420, 24, 14, 14, 9},
  };
  for (const Cell& c : cells) {
    SCOPED_TRACE(std::to_string(c.type) + " digit " + std::to_string(c.digit));
    LocalEnvironment env;
    const VideoInfo vi = MakeVideoInfo(c.width, c.height, c.type, 1);
    const PClip source = new SourceClip(vi, env, Sharing::kUnshared);
    const StampelFilter filter(source, 0, 0, &env);
    PVideoFrame frame = source->GetFrame(0, &env);
    const std::vector<uint8_t> before = reference::Storage(*frame.get());
    filter.DrawDigit(frame->GetWritePtr(), frame->GetPitch(), c.x, static_cast<uint8_t>(c.digit));

    const int bytesPerPixel = c.type == CS_BGR24   ? 3
                              : c.type == CS_BGR32 ? 4
                              : c.type == CS_YUY2  ? 2
                                                   : 1;
    EXPECT_EQ(
        reference::Storage(*frame.get()),
        reference::StampAt(before, *frame.get(), vi, std::to_string(c.digit), c.x / bytesPerPixel));
  }
}

}  // namespace
