#include "tools/stampel/packing.h"

#include <cstddef>

namespace {

void Append(std::vector<Span>* spans, uint8_t* data, size_t size) {
  if (!spans->empty() && spans->back().data + spans->back().size == data) {
    spans->back().size += size;
  } else {
    spans->push_back(Span{data, size});
  }
}

// Rows of one plane, top-down, or bottom-up storage read from the top.
void AppendPlane(std::vector<Span>* spans, uint8_t* first, int pitch, int rowSize, int rows,
                 bool bottomUp) {
  for (int r = 0; r < rows; ++r) {
    const ptrdiff_t stored = bottomUp ? rows - 1 - r : r;
    Append(spans, first + stored * pitch, static_cast<size_t>(rowSize));
  }
}

}  // namespace

void AppendStreamOrderSpans(const Picture& picture, const VideoFrame& frame,
                            std::vector<Span>* spans) {
  uint8_t* data = frame.vfb->data;
  uint8_t* luma = data + frame.offset;
  const int w = picture.width;
  const int h = picture.height;
  switch (picture.layout) {
    case FileLayout::kRgb24:
      AppendPlane(spans, luma, frame.pitch, w * 3, h, true);
      break;
    case FileLayout::kRgb32:
      AppendPlane(spans, luma, frame.pitch, w * 4, h, true);
      break;
    case FileLayout::kYuy2:
      AppendPlane(spans, luma, frame.pitch, w * 2, h, false);
      break;
    case FileLayout::kYv12:
    case FileLayout::kI420: {
      uint8_t* u = data + frame.offsetU;
      uint8_t* v = data + frame.offsetV;
      AppendPlane(spans, luma, frame.pitch, w, h, false);
      const bool uFirst = picture.layout == FileLayout::kI420;
      AppendPlane(spans, uFirst ? u : v, frame.pitchUV, w / 2, h / 2, false);
      AppendPlane(spans, uFirst ? v : u, frame.pitchUV, w / 2, h / 2, false);
      break;
    }
    case FileLayout::kPlanar422:
      break;
  }
}

// Plain indexed loops over restrict pointers, so that the compiler turns them
// into vector shuffles.
void Pack422(const uint8_t* __restrict y, const uint8_t* __restrict u, const uint8_t* __restrict v,
             int width, int height, uint8_t* __restrict dst, int dstPitch) {
  const int pairs = width / 2;
  for (int r = 0; r < height; ++r) {
    const uint8_t* __restrict yr = y + static_cast<ptrdiff_t>(r) * width;
    const uint8_t* __restrict ur = u + static_cast<ptrdiff_t>(r) * pairs;
    const uint8_t* __restrict vr = v + static_cast<ptrdiff_t>(r) * pairs;
    uint8_t* __restrict out = dst + static_cast<ptrdiff_t>(r) * dstPitch;
    for (int i = 0; i < pairs; ++i) {
      out[4 * i] = yr[2 * i];
      out[4 * i + 1] = ur[i];
      out[4 * i + 2] = yr[2 * i + 1];
      out[4 * i + 3] = vr[i];
    }
  }
}

void Unpack422(const uint8_t* __restrict src, int srcPitch, int width, int height,
               uint8_t* __restrict y, uint8_t* __restrict u, uint8_t* __restrict v) {
  const int pairs = width / 2;
  for (int r = 0; r < height; ++r) {
    const uint8_t* __restrict in = src + static_cast<ptrdiff_t>(r) * srcPitch;
    uint8_t* __restrict yr = y + static_cast<ptrdiff_t>(r) * width;
    uint8_t* __restrict ur = u + static_cast<ptrdiff_t>(r) * pairs;
    uint8_t* __restrict vr = v + static_cast<ptrdiff_t>(r) * pairs;
    for (int i = 0; i < pairs; ++i) {
      yr[2 * i] = in[4 * i];
      ur[i] = in[4 * i + 1];
      yr[2 * i + 1] = in[4 * i + 2];
      vr[i] = in[4 * i + 3];
    }
  }
}
