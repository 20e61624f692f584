// What the tool's main loop reads frames from and writes them to, whatever
// the container.
#pragma once

#include <cstdint>

#include "host/interface.h"
#include "host/local/frame_pool.h"
#include "tools/stampel/picture.h"

class FrameReader {
 public:
  virtual ~FrameReader() = default;

  virtual const Picture& GetPicture() const = 0;
  virtual unsigned FpsNumerator() const { return 25; }
  virtual unsigned FpsDenominator() const { return 1; }
  // Frames that a regular file holds, from its size; -1 when that cannot be
  // known (a pipe).
  virtual int64_t CountFrames() = 0;
  // Frame n, the next one of the stream, in storage of the pool (a reader of
  // mapped input may wrap the mapping instead). Null when the input ends
  // before it; raises Failure when it is cut short or malformed.
  virtual PVideoFrame Next(int n, FramePool& pool) = 0;
  // Whether any byte follows the frames read so far.
  virtual bool MoreFollows() = 0;
};

class FrameWriter {
 public:
  virtual ~FrameWriter() = default;
  // Whatever precedes the frames.
  virtual void Begin() = 0;
  virtual void Write(const VideoFrame& frame) = 0;
};
