// YUV4MPEG2 streams: a header line, then each frame as a FRAME line and its
// planes. 4:2:0 chroma is stamped as I420 and 4:2:2 as YUY2; headers pass to
// the output as they came.
#pragma once

#include <string>

#include "tools/stampel/frame_io.h"
#include "tools/stampel/stream.h"

class Y4mReader : public FrameReader {
 public:
  // Reads and checks the stream header. Input without the signature raises a
  // usage Failure (raw video needs --format and --size); a bad header raises
  // Failure.
  explicit Y4mReader(InStream& in);

  const Picture& GetPicture() const override { return picture_; }
  unsigned FpsNumerator() const override { return fpsNumerator_; }
  unsigned FpsDenominator() const override { return fpsDenominator_; }
  // Walks the FRAME lines of a file; a malformed or cut-short frame counts,
  // so that reading stops at it with its own message.
  int64_t CountFrames() override;
  PVideoFrame Next(int n, FramePool& pool) override;
  bool MoreFollows() override;

  // The stream header line, without its newline.
  const std::string& HeaderLine() const { return header_; }
  // The last frame's FRAME line, without its newline.
  const std::string& FrameLine() const { return frameLine_; }

 private:
  // Reads the FRAME line of frame n; false at the end of the input.
  bool ReadFrameLine(int n);

  InStream& in_;
  std::string header_;
  std::string frameLine_;
  Picture picture_{};
  unsigned fpsNumerator_ = 25;
  unsigned fpsDenominator_ = 1;
  PictureIo io_{picture_};
};

class Y4mWriter : public FrameWriter {
 public:
  // Repeats the source's stream header and each frame's FRAME line.
  Y4mWriter(OutStream& out, const Y4mReader& source)
      : out_(out), source_(source), io_(source.GetPicture()) {}

  void Begin() override;
  void Write(const VideoFrame& frame) override;

 private:
  OutStream& out_;
  const Y4mReader& source_;
  PictureIo io_;
  std::string line_;
};
