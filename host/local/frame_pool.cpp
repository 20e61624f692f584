#include "host/local/frame_pool.h"

#include <cstring>

struct FramePool::Slot {
  VideoFrameBuffer buffer{};
  VideoFrame frame{};
  std::unique_ptr<uint8_t[]> storage;  // null for wrapped memory
  bool wrapped = false;
};

FrameShape ShapeOf(const VideoInfo& vi) {
  FrameShape shape;
  shape.height = vi.height;
  if (vi.IsRGB24()) {
    shape.rowSize = vi.width * 3;
  } else if (vi.IsRGB32()) {
    shape.rowSize = vi.width * 4;
  } else if (vi.IsYUY2()) {
    shape.rowSize = vi.width * 2;
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
  auto padded = [this](int rowSize) { return (rowSize + 15) / 16 * 16 + rowPadding_; };
  const int pitch = padded(shape.rowSize);
  const int chromaPitch = shape.chromaRowSize ? padded(shape.chromaRowSize) : 0;
  const int lumaBytes = pitch * shape.height;
  const int chromaBytes = chromaPitch * shape.chromaHeight;
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
