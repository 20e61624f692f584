// Reading stamps back: every pixel type and alignment through the plugin,
// the digit count found from the cells, and the sequence verdicts.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <vector>

#include "tests/support/plugin_host.h"
#include "tools/check/sequence_check.h"
#include "tools/check/stamp_reader.h"

namespace {

struct ReadCase {
  uint32_t type;
  int width, height, frames, offset, left;
};

class ReadBack : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadBack, ReadsEveryStampedNumberAndItsDigitCount) {
  const ReadCase& c = GetParam();
  PluginHost host;
  const VideoInfo vi = MakeVideoInfo(c.width, c.height, c.type, c.frames);
  const PClip source = new SourceClip(vi, host.env, Sharing::kUnshared);
  const PClip clip = host.Stampel(source, AVSValue(c.offset), AVSValue(c.left));
  const StampReader reader(vi, c.left != 0);
  const int digits = std::to_string(c.frames + c.offset).size();
  for (int n = 0; n < c.frames; n += 37) {
    const PVideoFrame frame = clip->GetFrame(n, &host.env);
    const StampReading reading = reader.Read(*frame.get(), digits);
    ASSERT_TRUE(reading.readable) << n << " read " << reading.text;
    EXPECT_EQ(reading.number, n + c.offset);
    EXPECT_EQ(reading.confidence, 1.0);
    EXPECT_EQ(reader.FindDigitCount(*frame.get()), digits) << n;
  }
  // The source's own noise holds no stamp.
  const PVideoFrame plain = source->GetFrame(0, &host.env);
  EXPECT_FALSE(reader.Read(*plain.get(), digits).readable);
}

INSTANTIATE_TEST_SUITE_P(AllPixelTypes, ReadBack,
                         ::testing::Values(ReadCase{CS_BGR24, 321, 33, 1000, 0, 0},
                                           ReadCase{CS_BGR32, 64, 14, 500, 7, 1},
                                           ReadCase{CS_YUY2, 320, 240, 300, -50, 0},
                                           ReadCase{CS_YV12, 42, 16, 1000, 0, 0},
                                           ReadCase{CS_I420, 320, 240, 200, 0, 1}),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

// A cell keeps its reading when every sample is pushed towards the middle and
// some are flipped outright, as lossy encoding does at the strokes' edges.
TEST(ReadBack, ToleratesNoiseAndAFewFlippedSamples) {
  PluginHost host;
  const VideoInfo vi = MakeVideoInfo(64, 16, CS_I420, 100);
  const PClip clip =
      host.Stampel(new SourceClip(vi, host.env, Sharing::kUnshared), AVSValue(), AVSValue());
  PVideoFrame frame = clip->GetFrame(38, &host.env);
  uint8_t* luma = frame->GetWritePtr();
  std::srand(7);
  for (int y = 2; y < 16; ++y) {
    for (int x = 0; x < 64; ++x) {
      uint8_t& v = luma[y * frame->GetPitch() + x];
      v = v > 127 ? v - std::rand() % 90 : v + std::rand() % 90;
    }
  }
  for (int x : {32, 43, 55}) luma[9 * frame->GetPitch() + x] ^= 0xFF;
  const StampReading reading = StampReader(vi, false).Read(*frame.get(), 3);
  EXPECT_TRUE(reading.readable);
  EXPECT_EQ(reading.number, 38);
}

struct SequenceCase {
  const char* what;
  std::vector<int> numbers;  // INT_MIN for an unreadable frame
  int64_t expectedFrames;
  SequenceSummary summary;  // only the counts are compared
  int events;
};

class Sequences : public ::testing::TestWithParam<SequenceCase> {};

TEST_P(Sequences, CountsWhatHappenedToTheFrames) {
  const SequenceCase& c = GetParam();
  SequenceCheck check(10, c.expectedFrames);
  int events = 0;
  for (int n : c.numbers) {
    SequenceEvent event;
    events += check.Add(n != INT_MIN, n, 1.0, "", &event);
  }
  const SequenceSummary s = check.Finish();
  EXPECT_EQ(events, c.events);
  EXPECT_EQ(s.framesRead, static_cast<int64_t>(c.numbers.size()));
  EXPECT_EQ(s.numbersSeen, c.summary.numbersSeen);
  EXPECT_EQ(s.dropped, c.summary.dropped);
  EXPECT_EQ(s.repeated, c.summary.repeated);
  EXPECT_EQ(s.outOfOrder, c.summary.outOfOrder);
  EXPECT_EQ(s.unreadable, c.summary.unreadable);
  EXPECT_EQ(CheckExitStatus(s, events > 0), c.events || s.dropped ? 3 : 0);
}

SequenceSummary Counts(int64_t seen, int64_t dropped, int64_t repeated, int64_t outOfOrder,
                       int64_t unreadable) {
  SequenceSummary s;
  s.numbersSeen = seen, s.dropped = dropped, s.repeated = repeated, s.outOfOrder = outOfOrder,
  s.unreadable = unreadable;
  return s;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Sequences,
    ::testing::Values(SequenceCase{"exact", {10, 11, 12, 13}, 4, Counts(4, 0, 0, 0, 0), 0},
                      SequenceCase{
                          "exact_count_unknown", {10, 11, 12}, -1, Counts(3, 0, 0, 0, 0), 0},
                      SequenceCase{"dropped_range", {10, 11, 14, 15}, 6, Counts(4, 2, 0, 0, 0), 1},
                      SequenceCase{"dropped_at_end", {10, 11}, 4, Counts(2, 2, 0, 0, 0), 0},
                      SequenceCase{"late_start", {12, 13}, 4, Counts(2, 2, 0, 0, 0), 1},
                      SequenceCase{"repeat", {10, 11, 11, 12}, 3, Counts(3, 0, 1, 0, 0), 1},
                      SequenceCase{"swapped", {10, 12, 11, 13}, 4, Counts(4, 0, 0, 1, 0), 2},
                      SequenceCase{"unreadable", {10, INT_MIN, 12}, 3, Counts(2, 1, 0, 0, 1), 2}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(Sequences, ReportsDroppedRangesAndJson) {
  SequenceCheck check(0, 10);
  std::vector<SequenceEvent> events;
  for (int n : {0, 1, 4, 4, 5, 9}) {
    SequenceEvent event;
    if (check.Add(true, n, 1.0, "", &event)) events.push_back(event);
  }
  const SequenceSummary s = check.Finish();
  ASSERT_EQ(s.droppedRanges.size(), 2u);
  EXPECT_EQ(s.droppedRanges[0], std::make_pair(int64_t{2}, int64_t{3}));
  EXPECT_EQ(s.droppedRanges[1], std::make_pair(int64_t{6}, int64_t{8}));
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(SequenceCheck::Describe(events[0]), "frame 2: 4 after 1, skips 2 to 3");
  EXPECT_EQ(SequenceCheck::Describe(events[1]), "frame 3: 4 again, after 4");
  EXPECT_EQ(SequenceCheck::Describe(s),
            "summary: 6 frames read, 5 numbers seen, 5 dropped, 1 repeated, 0 out of order, "
            "0 unreadable");
  const std::string json = SequenceCheck::Json(events, s);
  EXPECT_NE(json.find("\"dropped_ranges\": [[2, 3], [6, 8]]"), std::string::npos) << json;
  EXPECT_NE(json.find("\"kind\": \"repeat\""), std::string::npos);
}

}  // namespace
