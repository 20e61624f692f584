// The tool's YUV4MPEG2 reader on arbitrary bytes, from a file and from a
// pipe. Bad input may only raise the tool's Failure, with a message and an
// exit status of 1 or 2. What it reads must be what the stream holds: the
// tool's writer, given the frames read, reproduces the input's bytes up to
// the last of them, and a file's frame count matches the frames read from it.
#include <algorithm>
#include <cstdint>
#include <string>

#include "fuzz/byte_streams.h"
#include "host/local/frame_pool.h"
#include "tools/stampel/failure.h"
#include "tools/stampel/y4m.h"

namespace {

constexpr int kMaxFrames = 64;
// Larger pictures have their header checked only: reading them would take
// the memory of frames the input does not hold.
constexpr size_t kMaxFrameBytes = size_t{1} << 20;

void Check(const uint8_t* data, size_t size, Source source) {
  const auto in = OpenBytes(data, size, source);
  if (!in) return;
  try {
    Y4mReader reader(*in);
    if (reader.GetPicture().frameBytes > kMaxFrameBytes) return;
    const int64_t counted = reader.CountFrames();
    if ((counted < 0) != (source == Source::kPipe)) FuzzFail("y4m", "frame count of a pipe");

    FramePool pool;
    MemoryFile output;
    int read = 0;
    bool ended = false;
    {
      const auto out = OutStream::Open(output.Path(), *in);
      Y4mWriter writer(*out, reader);
      writer.Begin();
      for (; read < kMaxFrames; ++read) {
        const PVideoFrame frame = reader.Next(read, pool);
        if (!frame) {
          ended = true;
          break;
        }
        writer.Write(*frame.get());
      }
      out->Close();
    }
    if (pool.FramesInUse() != 0) FuzzFail("y4m", "frames still held");
    const std::vector<uint8_t> written = output.Contents();
    if (written.size() > size || !std::equal(written.begin(), written.end(), data)) {
      FuzzFail("y4m", "the frames read are not the input's bytes");
    }
    if (ended) {
      if (written.size() != size) FuzzFail("y4m", "input left over after the last frame");
      if (reader.MoreFollows()) FuzzFail("y4m", "more follows the end");
      if (source == Source::kFile && counted != read) {
        FuzzFail("y4m",
                 "counted " + std::to_string(counted) + " frames, read " + std::to_string(read));
      }
    }
  } catch (const Failure& failure) {
    if (std::string(failure.what()).empty()) FuzzFail("y4m", "a failure without a message");
    if (failure.ExitCode() != kExitFailure && failure.ExitCode() != kExitUsage) {
      FuzzFail("y4m", "exit status " + std::to_string(failure.ExitCode()));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Check(data, size, Source::kFile);
  Check(data, size, Source::kPipe);
  return 0;
}
