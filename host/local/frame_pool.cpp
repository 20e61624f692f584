#include "host/local/frame_pool.h"

#include <climits>
#include <cstring>
#include <new>

struct FramePool::Slot {
  VideoFrameBuffer buffer{};
  VideoFrame frame{};
  std::unique_ptr<uint8_t[]> storage;  // null for wrapped memory
  bool wrapped = false;
};

FrameShape ShapeOf(const VideoInfo& vi) {
  FrameShape shape;
  shape.height = vi.height;
  // A row past the host's 32-bit sizes cannot be stored at all.
  auto row = [&vi](int bytesPerPixel) {
    const int64_t bytes = int64_t{vi.width} * bytesPerPixel;
    if (bytes > INT_MAX) throw std::bad_alloc();
    return static_cast<int>(bytes);
  };
  if (vi.IsRGB24()) {
    shape.rowSize = row(3);
  } else if (vi.IsRGB32()) {
    shape.rowSize = row(4);
  } else if (vi.IsYUY2()) {
    shape.rowSize = row(2);
  } else if (vi.IsYV12()) {
    shape.rowSize = vi.width;
    shape.chromaRowSize = vi.width / 2;
    shape.chromaHeight = vi.height / 2;
  } else {
    shape.rowSize = vi.width;
  }
  return shape;
}

FramePool::FramePool(int rowPadding) : rowPadding_(rowPadding) {}

FramePool::~FramePool() = default;

FramePool::Slot* FramePool::FreeSlot(int dataSize, bool wrapped) {
  for (auto& slot : slots_) {
    if (slot->frame.refcount == 0 && slot->buffer.refcount == 0 && slot->wrapped == wrapped &&
        (wrapped || slot->buffer.data_size == dataSize)) {
      return slot.get();
    }
  }
  auto slot = std::make_unique<Slot>();
  slot->wrapped = wrapped;
  if (!wrapped) {
    slot->storage = std::make_unique<uint8_t[]>(static_cast<size_t>(dataSize));
    slot->buffer.data = slot->storage.get();
    slot->buffer.data_size = dataSize;
  }
  slots_.push_back(std::move(slot));
  return slots_.back().get();
}

PVideoFrame FramePool::New(const FrameShape& shape) {
  // Sizes are worked out in 64 bits: storage past the host's 32-bit sizes,
  // padding included, or of a negative shape, cannot be had.
  if (shape.rowSize < 0 || shape.height < 0 || shape.chromaRowSize < 0 || shape.chromaHeight < 0) {
    throw std::bad_alloc();
  }
  auto padded = [this](int64_t rowSize) { return (rowSize + 15) / 16 * 16 + rowPadding_; };
  const int64_t pitch64 = padded(shape.rowSize);
  const int64_t chromaPitch64 = shape.chromaRowSize ? padded(shape.chromaRowSize) : 0;
  const int64_t lumaBytes64 = pitch64 * shape.height;
  const int64_t chromaBytes64 = chromaPitch64 * shape.chromaHeight;
  if (pitch64 > INT_MAX || chromaPitch64 > INT_MAX || lumaBytes64 + 2 * chromaBytes64 > INT_MAX) {
    throw std::bad_alloc();
  }
  const int pitch = static_cast<int>(pitch64);
  const int chromaPitch = static_cast<int>(chromaPitch64);
  const int lumaBytes = static_cast<int>(lumaBytes64);
  const int chromaBytes = static_cast<int>(chromaBytes64);
  Slot* slot = FreeSlot(lumaBytes + 2 * chromaBytes, false);
  slot->buffer.refcount = 1;
  // The planar order of the frame server: luma, then V, then U.
  slot->frame = VideoFrame{
      0,         &slot->buffer, 0, pitch, shape.rowSize, shape.height, lumaBytes + chromaBytes,
      lumaBytes, chromaPitch};
  return PVideoFrame(&slot->frame);
}

PVideoFrame FramePool::Wrap(const FrameShape& shape, uint8_t* data, int dataSize, int pitch,
                            int chromaPitch, int offsetU, int offsetV) {
  Slot* slot = FreeSlot(dataSize, true);
  slot->buffer = VideoFrameBuffer{data, dataSize, 0, 1};
  slot->frame = VideoFrame{0,       &slot->buffer, 0,          pitch, shape.rowSize, shape.height,
                           offsetU, offsetV,       chromaPitch};
  return PVideoFrame(&slot->frame);
}

PVideoFrame FramePool::Copy(const VideoFrame& source) {
  Slot* slot = FreeSlot(source.vfb->data_size, false);
  std::memcpy(slot->buffer.data, source.vfb->data, static_cast<size_t>(source.vfb->data_size));
  slot->buffer.refcount = 1;
  slot->frame = source;
  slot->frame.refcount = 0;
  slot->frame.vfb = &slot->buffer;
  return PVideoFrame(&slot->frame);
}

int FramePool::FramesInUse() const {
  int inUse = 0;
  for (const auto& slot : slots_) inUse += slot->frame.refcount > 0;
  return inUse;
}
