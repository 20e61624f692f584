#include "tools/stampel/checker.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "tools/check/sequence_check.h"
#include "tools/check/stamp_reader.h"
#include "tools/stampel/failure.h"

namespace {

// Digits of a clip's stamp: those of frames + offset as a wrapping 32-bit
// sum, at least one, as the plugin counts them.
int DigitsFor(int frames, int offset) {
  int v = static_cast<int>(static_cast<uint32_t>(frames) + static_cast<uint32_t>(offset));
  int digits = 1;
  for (; v > 9; v /= 10) ++digits;
  return digits;
}

void PrintLine(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
}

}  // namespace

int RunCheck(const Options& options, FrameReader& reader, const std::string& inputName) {
  const Picture& picture = reader.GetPicture();
  const VideoInfo vi = VideoInfoOf(picture, options.frames.value_or(0), reader.FpsNumerator(),
                                   reader.FpsDenominator());
  const int offset = options.offset.value_or(0);
  int digits = options.frames ? DigitsFor(*options.frames, offset) : 0;
  if (digits && (vi.width < digits * 10 + 2 || vi.height < 14)) {
    Fail(inputName + " is too small for a stamp of " + std::to_string(digits) + " digits");
  }

  const StampReader stampReader(vi, options.left);
  SequenceCheck sequence(offset, options.frames ? *options.frames : -1);
  std::vector<SequenceEvent> events;
  int64_t eventCount = 0;
  FramePool pool(0);
  for (int n = 0;; ++n) {
    const PVideoFrame frame = reader.Next(n, pool);
    if (!frame) break;
    // Without a frame count the first frame that shows a stamp fixes it.
    if (!digits) digits = stampReader.FindDigitCount(*frame.get());
    StampReading reading;
    if (digits) reading = stampReader.Read(*frame.get(), digits);
    SequenceEvent event;
    if (sequence.Add(reading.readable, reading.number, reading.confidence,
                     reading.text.empty() ? "?" : reading.text, &event)) {
      ++eventCount;
      if (options.json) {
        events.push_back(event);
      } else {
        PrintLine(SequenceCheck::Describe(event));
      }
    }
  }
  const SequenceSummary summary = sequence.Finish();
  if (options.json) {
    std::fputs(SequenceCheck::Json(events, summary).c_str(), stdout);
  } else {
    for (const auto& [first, last] : summary.droppedRanges) {
      PrintLine(first == last
                    ? "dropped: " + std::to_string(first)
                    : "dropped: " + std::to_string(first) + " to " + std::to_string(last));
    }
    PrintLine(SequenceCheck::Describe(summary));
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) Fail("cannot write the report");
  return CheckExitStatus(summary, eventCount > 0);
}
