// The tool's raw-video reader on arbitrary bytes, from a file and from a
// pipe, for any of its formats and sizes. Bad input may only raise the
// tool's Failure, with a message and an exit status of 1 or 2. The tool's
// writer, given the frames read, reproduces the input's bytes up to the last
// of them, and a file's frame count matches the frames read from it.
//
// Input: u8 format, u16 width, u16 height (little-endian), then the video.
#include <algorithm>
#include <cstdint>
#include <string>

#include "fuzz/byte_streams.h"
#include "host/local/frame_pool.h"
#include "tools/stampel/failure.h"
#include "tools/stampel/raw.h"

namespace {

constexpr int kMaxFrames = 64;
constexpr size_t kMaxFrameBytes = size_t{1} << 20;
constexpr FileLayout kFormats[] = {FileLayout::kRgb24, FileLayout::kRgb32, FileLayout::kYuy2,
                                   FileLayout::kYv12, FileLayout::kI420};

void Check(const Picture& picture, const uint8_t* data, size_t size, Source source) {
  const auto in = OpenBytes(data, size, source);
  if (!in) return;
  try {
    RawReader reader(*in, picture);
    const int64_t counted = reader.CountFrames();
    if ((counted < 0) != (source == Source::kPipe)) FuzzFail("raw", "frame count of a pipe");
    if (counted >= 0 && static_cast<size_t>(counted) * picture.frameBytes != size) {
      FuzzFail("raw", "counted " + std::to_string(counted) + " frames in " + std::to_string(size) +
                          " bytes");
    }

    FramePool pool;
    MemoryFile output;
    int read = 0;
    bool ended = false;
    {
      const auto out = OutStream::Open(output.Path(), *in);
      RawWriter writer(*out, picture);
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
    if (pool.FramesInUse() != 0) FuzzFail("raw", "frames still held");
    const std::vector<uint8_t> written = output.Contents();
    if (written.size() != static_cast<size_t>(read) * picture.frameBytes || written.size() > size ||
        !std::equal(written.begin(), written.end(), data)) {
      FuzzFail("raw", "the frames read are not the input's bytes");
    }
    if (ended) {
      if (written.size() != size) FuzzFail("raw", "input left over after the last frame");
      if (reader.MoreFollows()) FuzzFail("raw", "more follows the end");
      if (counted >= 0 && counted != read) FuzzFail("raw", "frame count differs from frames read");
    }
  } catch (const Failure& failure) {
    if (std::string(failure.what()).empty()) FuzzFail("raw", "a failure without a message");
    if (failure.ExitCode() != kExitFailure && failure.ExitCode() != kExitUsage) {
      FuzzFail("raw", "exit status " + std::to_string(failure.ExitCode()));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  const FileLayout format = kFormats[data[0] % std::size(kFormats)];
  const long long width = data[1] | data[2] << 8;
  const long long height = data[3] | data[4] << 8;
  Picture picture;
  try {
    picture = MakePicture(format, width, height, kExitUsage);
  } catch (const Failure& failure) {
    if (failure.ExitCode() != kExitUsage || std::string(failure.what()).empty()) {
      FuzzFail("raw", "a size refused without a usage message");
    }
    return 0;
  }
  if (picture.frameBytes == 0) FuzzFail("raw", "a picture without bytes");
  if (picture.frameBytes > kMaxFrameBytes) return 0;
  Check(picture, data + 5, size - 5, Source::kFile);
  Check(picture, data + 5, size - 5, Source::kPipe);
  return 0;
}
