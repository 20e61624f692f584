// The frame server's plugin interface, version 2, as this project binds it:
// the records, counted handles and slot tables a plugin and its host share.
// Layouts and slot orders follow the host's 32-bit binary interface; the
// differences between compilers are handled in host/abi.h and by the shape of
// the few slots that carry non-trivial values.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <utility>

#include "host/abi.h"

inline constexpr int AVISYNTH_INTERFACE_VERSION = 2;

class IClip;
class IScriptEnvironment;
class AVSValue;

// Pixel types: a test holds when the pixel type AND its mask equals the mask.
inline constexpr uint32_t CS_BGR24 = 0x50000001u;
inline constexpr uint32_t CS_BGR32 = 0x50000002u;
inline constexpr uint32_t CS_YUY2 = 0x60000004u;
inline constexpr uint32_t CS_YV12 = 0xA0000008u;
inline constexpr uint32_t CS_I420 = 0xA0000010u;

struct VideoInfo {
  int width;
  int height;
  unsigned fps_numerator;
  unsigned fps_denominator;
  int num_frames;
  int pixel_type;
  int audio_samples_per_second;
  int sample_type;
  int64_t num_audio_samples;
  int nchannels;
  int image_type;

  bool Is(uint32_t mask) const { return (static_cast<uint32_t>(pixel_type) & mask) == mask; }
  bool HasVideo() const { return width != 0; }
  bool IsRGB24() const { return Is(CS_BGR24); }
  bool IsRGB32() const { return Is(CS_BGR32); }
  bool IsYUY2() const { return Is(CS_YUY2); }
  bool IsYV12() const { return Is(CS_YV12) || Is(CS_I420); }
};

// Host-owned frame storage. Only the host creates or recycles these; the
// handle rules below are compiled into both sides and must agree.
struct VideoFrameBuffer {
  uint8_t* data;
  int data_size;
  int sequence_number;
  int refcount;
};

struct VideoFrame {
  int refcount;
  VideoFrameBuffer* vfb;
  int offset;
  int pitch;
  int row_size;
  int height;
  int offsetU;
  int offsetV;
  int pitchUV;

  bool IsWritable() const { return refcount == 1 && vfb->refcount == 1; }
  int GetPitch() const { return pitch; }
  int GetRowSize() const { return row_size; }
  int GetHeight() const { return height; }
  const uint8_t* GetReadPtr() const { return vfb->data + offset; }
  // Null unless this caller alone holds the frame; bumps the buffer's
  // sequence number, which the host's caches watch.
  uint8_t* GetWritePtr() const {
    if (!IsWritable()) return nullptr;
    ++vfb->sequence_number;
    return vfb->data + offset;
  }
};

class PVideoFrame {
 public:
  PVideoFrame() = default;
  explicit PVideoFrame(VideoFrame* frame) : frame_(frame) { AddRef(); }
  PVideoFrame(const PVideoFrame& other) : frame_(other.frame_) { AddRef(); }
  PVideoFrame(PVideoFrame&& other) noexcept : frame_(std::exchange(other.frame_, nullptr)) {}
  PVideoFrame& operator=(PVideoFrame other) noexcept {
    std::swap(frame_, other.frame_);
    return *this;
  }
  ~PVideoFrame() { Release(); }

  VideoFrame* operator->() const { return frame_; }
  VideoFrame* get() const { return frame_; }
  explicit operator bool() const { return frame_ != nullptr; }

 private:
  void AddRef() {
    if (frame_) ++frame_->refcount;
  }
  void Release() {
    if (!frame_) return;
    if (frame_->refcount == 1) --frame_->vfb->refcount;
    --frame_->refcount;
  }

  VideoFrame* frame_ = nullptr;
};

class PClip {
 public:
  PClip() = default;
  PClip(IClip* clip);  // NOLINT(google-explicit-constructor): a clip is its own handle
  PClip(const PClip& other) : PClip(other.clip_) {}
  PClip(PClip&& other) noexcept : clip_(std::exchange(other.clip_, nullptr)) {}
  PClip& operator=(PClip other) noexcept {
    std::swap(clip_, other.clip_);
    return *this;
  }
  ~PClip();

  IClip* operator->() const { return clip_; }
  IClip* get() const { return clip_; }
  explicit operator bool() const { return clip_ != nullptr; }

 private:
  IClip* clip_ = nullptr;
};

// A clip as the host sees it: a slot table and a reference count.
class IClip {
 public:
  virtual int HOST_STDCALL GetVersion() = 0;
  // Builds frame n in the uninitialised handle at result and returns result,
  // which is how the host returns a frame handle from this slot.
  virtual PVideoFrame* HOST_STDCALL GetFrameInto(PVideoFrame* result, int n,
                                                 IScriptEnvironment* env) = 0;
  virtual bool HOST_STDCALL GetParity(int n) = 0;
  virtual void HOST_STDCALL GetAudio(void* buf, int64_t start, int64_t count,
                                     IScriptEnvironment* env) = 0;
  virtual void HOST_STDCALL SetCacheHints(int cachehints, int frame_range) = 0;
  virtual const VideoInfo& HOST_STDCALL GetVideoInfo() = 0;
  // The host's single destructor slot: destroys the clip, and frees it when
  // bit 0 of flags is set. Returns the clip's address.
  virtual void* HOST_THISCALL DeletingDestructor(unsigned flags) = 0;

  PVideoFrame GetFrame(int n, IScriptEnvironment* env);
  int RefCount() const { return refcnt_; }

 protected:
  IClip() = default;
  IClip(const IClip&) = delete;
  IClip& operator=(const IClip&) = delete;
  ~IClip() = default;

 private:
  friend class PClip;
  friend class AVSValue;
  // The counting rule both sides compile in: whoever takes the count to 0
  // destroys and frees the clip through its destructor slot.
  static void AddRef(IClip* clip) {
    if (clip) ++clip->refcnt_;
  }
  static void Release(IClip* clip) {
    if (clip && --clip->refcnt_ == 0) clip->DeletingDestructor(1);
  }

  int refcnt_ = 0;
};

inline PClip::PClip(IClip* clip) : clip_(clip) {
  IClip::AddRef(clip_);
}

inline PClip::~PClip() {
  IClip::Release(clip_);
}

inline PVideoFrame IClip::GetFrame(int n, IScriptEnvironment* env) {
  alignas(PVideoFrame) unsigned char raw[sizeof(PVideoFrame)];
  PVideoFrame* built = GetFrameInto(reinterpret_cast<PVideoFrame*>(raw), n, env);
  PVideoFrame frame(std::move(*built));
  built->~PVideoFrame();
  return frame;
}

// The bytes of a script value, as they cross the interface by value.
struct AVSValueData {
  int16_t type;  // 'v', 'c', 'b', 'i', 'f', 's' or 'a'
  int16_t array_size;
  union {
    IClip* clip;
    bool boolean;
    int integer;
    float floating_pt;
    const char* string;
    const AVSValue* array;
  };
};

// A script value. A clip value holds one reference to its clip; an array
// value points at elements it does not own.
class AVSValue {
 public:
  AVSValue() { Set('v').integer = 0; }
  AVSValue(IClip* clip) {  // NOLINT
    Set(clip ? 'c' : 'v').clip = clip;
    AddRef();
  }
  AVSValue(const PClip& clip) : AVSValue(clip.get()) {}  // NOLINT
  AVSValue(bool b) { Set('b').boolean = b; }             // NOLINT
  AVSValue(int i) { Set('i').integer = i; }              // NOLINT
  AVSValue(float f) { Set('f').floating_pt = f; }        // NOLINT
  AVSValue(const char* s) { Set('s').string = s; }       // NOLINT
  AVSValue(const AVSValue* elements, int size) {
    Set('a').array = elements;
    d_.array_size = static_cast<int16_t>(size);
  }
  AVSValue(const AVSValue& other) : d_(other.d_) { AddRef(); }
  AVSValue(AVSValue&& other) noexcept : d_(std::exchange(other.d_, Void())) {}
  AVSValue& operator=(AVSValue other) noexcept {
    std::swap(d_, other.d_);
    return *this;
  }
  ~AVSValue() {
    if (IsClip()) IClip::Release(d_.clip);
  }

  // Takes over the reference that bits crossing the interface carry.
  static AVSValue Adopt(const AVSValueData& bits) {
    AVSValue value;
    value.d_ = bits;
    return value;
  }
  // Hands the bits, and the reference they carry, to the other side.
  AVSValueData Release() && { return std::exchange(d_, Void()); }

  bool Defined() const { return d_.type != 'v'; }
  bool IsClip() const { return d_.type == 'c'; }
  bool IsBool() const { return d_.type == 'b'; }
  bool IsInt() const { return d_.type == 'i'; }
  bool IsFloat() const { return d_.type == 'f'; }
  bool IsString() const { return d_.type == 's'; }
  bool IsArray() const { return d_.type == 'a'; }
  int ArraySize() const { return IsArray() ? d_.array_size : 1; }

  PClip AsClip() const { return IsClip() ? PClip(d_.clip) : PClip(); }
  int AsInt(int def) const { return IsInt() ? d_.integer : def; }
  bool AsBool(bool def) const { return IsBool() ? d_.boolean : def; }
  const char* AsString(const char* def) const { return IsString() ? d_.string : def; }

  // Element i of an array; the value itself when it is no array or i is past
  // its end.
  const AVSValue& operator[](int i) const {
    return IsArray() && i >= 0 && i < d_.array_size ? d_.array[i] : *this;
  }

 private:
  static AVSValueData Void() {
    AVSValueData v;
    v.type = 'v';
    v.array_size = 0;
    v.integer = 0;
    return v;
  }
  AVSValueData& Set(int16_t type) {
    d_ = Void();
    d_.type = type;
    return d_;
  }
  void AddRef() const {
    if (IsClip()) IClip::AddRef(d_.clip);
  }

  AVSValueData d_;
};

// The host's script environment, slot for slot.
class IScriptEnvironment {
 public:
  // A script function as the host calls it: hidden result first, then the
  // argument array's own bytes.
  using ApplyFunc = AVSValueData*(HOST_CDECL*)(AVSValueData* result, AVSValueData args,
                                               void* user_data, IScriptEnvironment* env);
  using ShutdownFunc = void(HOST_CDECL*)(void* user_data, IScriptEnvironment* env);
  // A script function as this side writes it.
  using PlainApplyFunc = AVSValue (*)(AVSValue args, void* user_data, IScriptEnvironment* env);

  virtual void* HOST_THISCALL DeletingDestructor(unsigned flags) = 0;  // never called by plugins
  virtual long HOST_STDCALL GetCPUFlags() = 0;
  virtual char* HOST_STDCALL SaveString(const char* s, int length) = 0;
  virtual char* HOST_CDECL Sprintf(const char* fmt, ...) = 0;
  virtual char* HOST_STDCALL VSprintf(const char* fmt, va_list args) = 0;
  // Raises the host's script error with the formatted message; never returns.
  [[noreturn]] virtual void HOST_CDECL ThrowError(const char* fmt, ...) = 0;
  virtual void HOST_STDCALL AddFunction(const char* name, const char* params, ApplyFunc apply,
                                        void* user_data) = 0;
  virtual bool HOST_STDCALL FunctionExists(const char* name) = 0;
  virtual AVSValueData* HOST_STDCALL Invoke(AVSValueData* result, const char* name,
                                            AVSValueData args, const char** arg_names) = 0;
  virtual AVSValueData* HOST_STDCALL GetVar(AVSValueData* result, const char* name) = 0;
  virtual bool HOST_STDCALL SetVar(const char* name, AVSValueData value) = 0;
  virtual bool HOST_STDCALL SetGlobalVar(const char* name, AVSValueData value) = 0;
  virtual void HOST_STDCALL PushContext(int level) = 0;
  virtual void HOST_STDCALL PopContext() = 0;
  virtual PVideoFrame* HOST_STDCALL NewVideoFrame(PVideoFrame* result, const VideoInfo& vi,
                                                  int align) = 0;
  // Afterwards *frame is held by this caller alone, copied if it was shared.
  virtual bool HOST_STDCALL MakeWritable(PVideoFrame* frame) = 0;
  virtual void HOST_STDCALL BitBlt(uint8_t* dst, int dst_pitch, const uint8_t* src, int src_pitch,
                                   int row_size, int height) = 0;
  virtual void HOST_STDCALL AtExit(ShutdownFunc function, void* user_data) = 0;
  virtual void HOST_STDCALL CheckVersion(int version) = 0;
  virtual PVideoFrame* HOST_STDCALL Subframe(PVideoFrame* result, VideoFrame* src, int rel_offset,
                                             int new_pitch, int new_row_size, int new_height) = 0;
  virtual int HOST_STDCALL SetMemoryMax(int mem) = 0;
  virtual int HOST_STDCALL SetWorkingDir(const char* dir) = 0;

  // Registers a plainly written script function.
  template <PlainApplyFunc Apply>
  void AddFunction(const char* name, const char* params, void* user_data) {
    AddFunction(name, params, &Adapt<Apply>, user_data);
  }

  // Calls a script function across the interface; the array's bytes travel
  // with whatever reference they carry.
  static AVSValue CallApply(ApplyFunc apply, const AVSValue& args, void* user_data,
                            IScriptEnvironment* env) {
    AVSValueData result;
    apply(&result, AVSValue(args).Release(), user_data, env);
    return AVSValue::Adopt(result);
  }

 protected:
  IScriptEnvironment() = default;
  ~IScriptEnvironment() = default;

 private:
  template <PlainApplyFunc Apply>
  static AVSValueData* HOST_CDECL Adapt(AVSValueData* result, AVSValueData args, void* user_data,
                                        IScriptEnvironment* env) {
    *result = Apply(AVSValue::Adopt(args), user_data, env).Release();
    return result;
  }
};

#if HOST_ABI_IS_HOSTS
#include <cstddef>
static_assert(sizeof(VideoInfo) == 48 && offsetof(VideoInfo, num_frames) == 16 &&
              offsetof(VideoInfo, pixel_type) == 20 &&
              offsetof(VideoInfo, num_audio_samples) == 32 &&
              offsetof(VideoInfo, image_type) == 44);
static_assert(offsetof(VideoFrameBuffer, refcount) == 12);
static_assert(offsetof(VideoFrame, vfb) == 4 && offsetof(VideoFrame, pitch) == 12 &&
              offsetof(VideoFrame, pitchUV) == 32);
static_assert(sizeof(PVideoFrame) == 4 && sizeof(PClip) == 4 && sizeof(AVSValueData) == 8 &&
              sizeof(AVSValue) == 8);
#endif
