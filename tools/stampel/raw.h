// Raw video: frames of one picture format back to back, nothing else.
#pragma once

#include "tools/stampel/frame_io.h"
#include "tools/stampel/stream.h"

class RawReader : public FrameReader {
 public:
  RawReader(InStream& in, const Picture& picture) : in_(in), picture_(picture), io_(picture) {}

  const Picture& GetPicture() const override { return picture_; }
  // Raises Failure when a file's size is no whole number of frames.
  int64_t CountFrames() override;
  PVideoFrame Next(int n, FramePool& pool) override;
  bool MoreFollows() override;

 private:
  InStream& in_;
  Picture picture_;
  PictureIo io_;
};

class RawWriter : public FrameWriter {
 public:
  RawWriter(OutStream& out, const Picture& picture) : out_(out), io_(picture) {}

  void Begin() override {}
  void Write(const VideoFrame& frame) override { io_.Write(out_, frame, Span{nullptr, 0}); }

 private:
  OutStream& out_;
  PictureIo io_;
};
