// The picture a stream carries: how its bytes lie in the file, the host's
// pixel type it is stamped as, and moving one frame's bytes between the
// stream and the host's frame storage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/interface.h"
#include "host/local/frame_pool.h"
#include "tools/stampel/stream.h"

enum class FileLayout {
  kRgb24,      // B, G, R rows, top-down
  kRgb32,      // B, G, R, A rows, top-down
  kYuy2,       // Y0, U, Y1, V rows
  kYv12,       // Y plane, V plane, U plane (chroma halved both ways)
  kI420,       // Y plane, U plane, V plane
  kPlanar422,  // Y, U, V planes, chroma halved across: stamped as YUY2
};

struct Picture {
  FileLayout layout;
  int width;
  int height;
  uint32_t pixelType;
  size_t frameBytes;  // picture bytes of one frame in the stream
};

// Checks width and height for a layout before anything is allocated: they
// must be positive, even where the host's pixel type needs it, and small
// enough that a frame's storage fits the host's 32-bit sizes. A bad size
// raises Failure with exitCode.
Picture MakePicture(FileLayout layout, long long width, long long height, int exitCode);

// Video only, frames as given.
VideoInfo VideoInfoOf(const Picture& picture, int frames, unsigned fpsNumerator,
                      unsigned fpsDenominator);

// The plugin draws only into this many picture rows at the bottom of the
// default plane. Output copied from the input file inside the kernel relies
// on it: only those rows of a frame are written from the frame's memory.
inline constexpr int kStampRows = 14;

// Moves one frame's picture bytes between a stream and frame storage, with
// as few calls as the layouts allow.
class PictureIo {
 public:
  explicit PictureIo(const Picture& picture) : picture_(picture) {}

  // Reads one frame into frame; returns the bytes read, fewer than
  // frameBytes when the input ends.
  size_t Read(InStream& in, VideoFrame& frame);
  // For layouts whose stream bytes are the host's frame as they stand (4:2:0,
  // YUY2): the next frame as a frame of the pool over a view of a mapped
  // input file, with nothing copied. Null, with nothing consumed, when the
  // layout or the input does not allow it or the input holds no whole frame.
  PVideoFrame Map(InStream& in, FramePool& pool);
  // Writes prefix (may be empty) and then the frame, in one call where it can.
  void Write(OutStream& out, const VideoFrame& frame, const Span& prefix);

 private:
  Picture picture_;
  std::vector<Span> spans_;
  std::vector<uint8_t> planes_;  // 4:2:2 planes, as the stream has them
};
