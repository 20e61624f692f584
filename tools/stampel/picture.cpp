#include "tools/stampel/picture.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "tools/stampel/failure.h"
#include "tools/stampel/packing.h"

namespace {

// Bytes per stored row: the host's rows, rounded up to 16 bytes as the
// project's frame pool stores them.
long long Pitch(long long rowSize) {
  return (rowSize + 15) / 16 * 16;
}

}  // namespace

Picture MakePicture(FileLayout layout, long long width, long long height, int exitCode) {
  if (width <= 0 || height <= 0) {
    throw Failure(exitCode, "width and height must be positive, not " + std::to_string(width) +
                                "x" + std::to_string(height));
  }
  // Beyond this nothing can fit a 32-bit size, and the products below stay
  // far inside 64 bits.
  if (width > INT_MAX / 4 || height > INT_MAX) {
    throw Failure(exitCode, "frame size " + std::to_string(width) + "x" + std::to_string(height) +
                                " is too large");
  }

  Picture picture{layout, static_cast<int>(width), static_cast<int>(height), 0, 0};
  const char* name = "";
  bool evenWidth = false;
  bool evenHeight = false;
  long long rowSize = 0;
  long long storage = 0;
  long long frameBytes = 0;
  switch (layout) {
    case FileLayout::kRgb24:
    case FileLayout::kRgb32: {
      const int bytes = layout == FileLayout::kRgb24 ? 3 : 4;
      picture.pixelType = layout == FileLayout::kRgb24 ? CS_BGR24 : CS_BGR32;
      rowSize = width * bytes;
      storage = Pitch(rowSize) * height;
      frameBytes = rowSize * height;
      break;
    }
    case FileLayout::kYuy2:
    case FileLayout::kPlanar422:
      name = layout == FileLayout::kYuy2 ? "YUY2" : "4:2:2 (stamped as YUY2)";
      picture.pixelType = CS_YUY2;
      evenWidth = true;
      rowSize = width * 2;
      storage = Pitch(rowSize) * height;
      frameBytes = rowSize * height;
      break;
    case FileLayout::kYv12:
    case FileLayout::kI420:
      name = layout == FileLayout::kYv12 ? "YV12" : "4:2:0 (stamped as I420)";
      picture.pixelType = layout == FileLayout::kYv12 ? CS_YV12 : CS_I420;
      evenWidth = true;
      evenHeight = true;
      storage = Pitch(width) * height + 2 * Pitch(width / 2) * (height / 2);
      frameBytes = width * height + 2 * (width / 2) * (height / 2);
      break;
  }
  if (evenWidth && width % 2 != 0) {
    throw Failure(exitCode,
                  std::string(name) + " needs an even width, not " + std::to_string(width));
  }
  if (evenHeight && height % 2 != 0) {
    throw Failure(exitCode,
                  std::string(name) + " needs an even height, not " + std::to_string(height));
  }
  if (storage > INT_MAX) {
    throw Failure(exitCode, "frame size " + std::to_string(width) + "x" + std::to_string(height) +
                                " is too large");
  }
  picture.frameBytes = static_cast<size_t>(frameBytes);
  return picture;
}

VideoInfo VideoInfoOf(const Picture& picture, int frames, unsigned fpsNumerator,
                      unsigned fpsDenominator) {
  VideoInfo vi;
  std::memset(&vi, 0, sizeof vi);
  vi.width = picture.width;
  vi.height = picture.height;
  vi.fps_numerator = fpsNumerator;
  vi.fps_denominator = fpsDenominator;
  vi.num_frames = frames;
  vi.pixel_type = static_cast<int>(picture.pixelType);
  return vi;
}

PVideoFrame PictureIo::Map(InStream& in, FramePool& pool) {
  const FileLayout layout = picture_.layout;
  if (layout != FileLayout::kI420 && layout != FileLayout::kYv12 && layout != FileLayout::kYuy2) {
    return PVideoFrame();
  }
  uint8_t* view = in.MapNext(picture_.frameBytes);
  if (!view) return PVideoFrame();
  const FrameShape shape = ShapeOf(VideoInfoOf(picture_, 0, 1, 1));
  // Rows as tight as the stream's; for 4:2:0, the chroma planes in the
  // stream's order after the luma plane.
  const int luma = shape.rowSize * shape.height;
  const int chroma = shape.chromaRowSize * shape.chromaHeight;
  const bool uFirst = layout == FileLayout::kI420;
  return pool.Wrap(shape, view, static_cast<int>(picture_.frameBytes), shape.rowSize,
                   shape.chromaRowSize, uFirst ? luma : luma + chroma,
                   uFirst ? luma + chroma : luma);
}

size_t PictureIo::Read(InStream& in, VideoFrame& frame) {
  if (picture_.layout == FileLayout::kPlanar422) {
    planes_.resize(picture_.frameBytes);
    const size_t got = in.Read(planes_.data(), planes_.size());
    if (got == planes_.size()) {
      const size_t luma = static_cast<size_t>(picture_.width) * picture_.height;
      const size_t chroma = luma / 2;
      Pack422(planes_.data(), planes_.data() + luma, planes_.data() + luma + chroma, picture_.width,
              picture_.height, frame.vfb->data + frame.offset, frame.pitch);
    }
    return got;
  }
  spans_.clear();
  AppendStreamOrderSpans(picture_, frame, &spans_);
  return in.ReadSpans(spans_);
}

void PictureIo::Write(OutStream& out, const VideoFrame& frame, const Span& prefix) {
  spans_.clear();
  if (prefix.size) spans_.push_back(prefix);
  if (picture_.layout == FileLayout::kPlanar422) {
    planes_.resize(picture_.frameBytes);
    const size_t luma = static_cast<size_t>(picture_.width) * picture_.height;
    const size_t chroma = luma / 2;
    Unpack422(frame.GetReadPtr(), frame.pitch, picture_.width, picture_.height, planes_.data(),
              planes_.data() + luma, planes_.data() + luma + chroma);
    spans_.push_back(Span{planes_.data(), planes_.size()});
  } else {
    AppendStreamOrderSpans(picture_, frame, &spans_);
    // A frame stored as the stream has it may be a view of the input, which
    // the output can copy but for the rows the plugin draws into.
    const size_t first = prefix.size ? 1 : 0;
    if (spans_.size() == first + 1 && spans_.back().size == picture_.frameBytes) {
      const auto rowBytes = static_cast<size_t>(frame.row_size);
      const auto height = static_cast<size_t>(picture_.height);
      const size_t planeBytes = std::min(rowBytes * height, picture_.frameBytes);
      const size_t stamped = std::min(rowBytes * std::min<size_t>(kStampRows, height), planeBytes);
      out.WriteFromInput(prefix, spans_.back().data, spans_.back().size, planeBytes - stamped,
                         planeBytes);
      return;
    }
  }
  out.WriteSpans(spans_);
}
