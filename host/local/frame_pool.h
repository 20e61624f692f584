// Frame storage of the project's own host: frames laid out as the frame server
// lays them out, with rows padded past their picture bytes so that a writer
// that confuses pitch and row size shows up, recycled once no handle holds them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "host/interface.h"

// Stored size of one picture: the default plane and, for 4:2:0 pictures, the
// two chroma planes.
struct FrameShape {
  int rowSize = 0;
  int height = 0;
  int chromaRowSize = 0;  // 0 for interleaved pictures
  int chromaHeight = 0;
};

// Bytes per stored row and plane sizes for a clip, by the host's pixel-type
// tests; an unknown type is stored as one byte per pixel in one plane.
FrameShape ShapeOf(const VideoInfo& vi);

class FramePool {
 public:
  // rowPadding: bytes added to every row's pitch beyond its picture bytes
  // (rounded up to a multiple of 16 before padding).
  explicit FramePool(int rowPadding = 16);
  FramePool(const FramePool&) = delete;
  FramePool& operator=(const FramePool&) = delete;
  ~FramePool();

  // A writable frame held by the returned handle alone. Its bytes, padding
  // included, are left as the recycled storage had them.
  PVideoFrame New(const FrameShape& shape);
  // A frame over memory the caller owns and keeps alive while the frame lives.
  PVideoFrame Wrap(const FrameShape& shape, uint8_t* data, int dataSize, int pitch, int chromaPitch,
                   int offsetU, int offsetV);
  // A writable copy of the frame's whole storage.
  PVideoFrame Copy(const VideoFrame& frame);

  // Frames currently held by some handle.
  int FramesInUse() const;
  int FramesAllocated() const { return static_cast<int>(slots_.size()); }

  // Bytes of a frame's whole storage, for tests that compare frames whole.
  static int StorageBytes(const VideoFrame& frame) { return frame.vfb->data_size; }

 private:
  struct Slot;
  Slot* FreeSlot(int dataSize, bool wrapped);

  int rowPadding_;
  std::vector<std::unique_ptr<Slot>> slots_;
};
