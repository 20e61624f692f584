// The filter driven through the project's own host with arbitrary clips:
// any VideoInfo (unknown pixel types and ones that match several masks
// included), offset, left, frame numbers, and frames shared or not. The
// factory must refuse exactly the clips too small for their digits, and after
// every GetFrame the frame's whole storage (padding and chroma planes too)
// must be the source picture with the reference model's digits and nothing
// else changed. Every reference must be back where it started at the end.
//
// Input layout, little-endian, missing bytes read as 0:
//   u8  pixel type: an index into kPixelTypes, or past it a raw i32 follows
//   u8  size mode: bit 0 reads width and height as raw i32, else as i16
//   width, height, then i32 num_frames, i32 offset, i32 left
//   u8  flags: bit 0 shared source frames, bit 1 keep the previous output
//       frame while asking for the next, bits 2-7 row padding in bytes
//   i32 frame numbers, up to kMaxFrames of them, until the input ends
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/local/environment.h"
#include "host/local/source_clip.h"
#include "plugin/plugin.h"
#include "tests/support/reference_stamp.h"

namespace {

constexpr uint32_t kPixelTypes[] = {
    CS_BGR24,    CS_BGR32,    CS_YUY2,     CS_YV12,     CS_I420,
    0u,          0x40000000u, 0x20000020u, 0xFFFFFFFFu,  // unknown, unknown, every mask
    0x50000003u,                                         // RGB24 and RGB32 at once
    0xE000000Cu,                                         // YUY2 and YV12 at once
    0xA0000018u,                                         // YV12 and I420 at once
    0x80000008u,                                         // YV12's bit, not its mask
};
constexpr int kMaxFrames = 8;
// Larger pictures are only constructed: the host could not allocate them.
constexpr int64_t kMaxPictureBytes = int64_t{1} << 19;

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Empty() const { return pos_ >= size_; }
  uint32_t Bytes(int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) {
      const uint32_t byte = pos_ < size_ ? data_[pos_] : 0;
      ++pos_;
      v |= byte << (8 * i);
    }
    return v;
  }
  uint8_t U8() { return static_cast<uint8_t>(Bytes(1)); }
  int I16() { return static_cast<int16_t>(Bytes(2)); }
  int I32() { return static_cast<int32_t>(Bytes(4)); }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

[[noreturn]] void Fail(const char* what, const VideoInfo& vi, int offset, int left, int n) {
  std::fprintf(stderr,
               "filter fuzz: %s (width %d, height %d, frames %d, type 0x%08x, offset %d, "
               "left %d, frame %d)\n",
               what, vi.width, vi.height, vi.num_frames, static_cast<unsigned>(vi.pixel_type),
               offset, left, n);
  std::abort();
}

int64_t PictureBytes(const VideoInfo& vi) {
  if (vi.width > kMaxPictureBytes || vi.height > kMaxPictureBytes) return kMaxPictureBytes + 1;
  const int64_t pixels = int64_t{vi.width} * vi.height;
  if (vi.IsRGB32()) return pixels * 4;  // the widest stored pixel
  return pixels * 3;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  const uint8_t typeIndex = in.U8();
  const uint32_t pixelType =
      typeIndex < std::size(kPixelTypes) ? kPixelTypes[typeIndex] : static_cast<uint32_t>(in.I32());
  const bool rawSize = in.U8() & 1;
  const int width = rawSize ? in.I32() : in.I16();
  const int height = rawSize ? in.I32() : in.I16();
  const int frames = in.I32();
  const int offset = in.I32();
  const int left = in.I32();
  const uint8_t flags = in.U8();
  const Sharing sharing = flags & 1 ? Sharing::kShared : Sharing::kUnshared;
  const bool keepPrevious = flags & 2;
  const int rowPadding = flags >> 2;

  const VideoInfo vi = MakeVideoInfo(width, height, pixelType, frames);
  const int digits = reference::DigitCount(frames, offset);
  const bool fits = width >= digits * 10 + 2 && height >= 14;

  LocalEnvironment env(rowPadding);
  AvisynthPluginInit2(&env);
  {
    auto* source = new SourceClip(vi, env, sharing);
    const PClip sourceClip = source;
    PClip clip;
    try {
      const AVSValue args[3] = {sourceClip, AVSValue(offset), AVSValue(left)};
      clip = env.CallFunction("Stampel", AVSValue(args, 3)).AsClip();
    } catch (const HostError& error) {
      if (fits) Fail("refused a clip that fits", vi, offset, left, -1);
      if (std::strcmp(error.what(), "Stampel: video too small") != 0) {
        Fail("refused with the wrong message", vi, offset, left, -1);
      }
    }
    if (clip) {
      if (!fits) Fail("accepted a clip too small", vi, offset, left, -1);
      if (std::memcmp(&clip->GetVideoInfo(), &vi, sizeof vi) != 0) {
        Fail("changed the VideoInfo", vi, offset, left, -1);
      }
    }
    if (source->RefCount() != (clip ? 2 : 1)) Fail("clip reference count", vi, offset, left, -1);

    if (clip && PictureBytes(vi) <= kMaxPictureBytes) {
      // Serves the same pictures, for the bytes before stamping.
      const PClip twin = new SourceClip(vi, env, Sharing::kShared);
      PVideoFrame previous;
      for (int i = 0; i < kMaxFrames && !in.Empty(); ++i) {
        const int n = in.I32();
        const PVideoFrame before = twin->GetFrame(n, &env);
        PVideoFrame frame = clip->GetFrame(n, &env);
        const std::string text = reference::Text(n, offset, digits);
        if (reference::Storage(*frame.get()) !=
            reference::Stamp(reference::Storage(*before.get()), *frame.get(), vi, text, left)) {
          Fail("frame differs from the model", vi, offset, left, n);
        }
        if (sharing == Sharing::kShared &&
            reference::Storage(*source->Cached().get()) != reference::Storage(*before.get())) {
          Fail("drew into the source's shared frame", vi, offset, left, n);
        }
        if (keepPrevious) previous = std::move(frame);
      }
    }
    if (clip) clip = PClip();
    if (source->RefCount() != 1) Fail("source reference not released", vi, offset, left, -1);
  }
  if (env.Frames().FramesInUse() != 0) Fail("frames still held", vi, offset, left, -1);
  return 0;
}
