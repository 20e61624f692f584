// The frame server's plugin interface as a host built with the MSVC C++ ABI
// declares it: virtual destructors, counted handles with copy constructors
// passed and returned by value, __stdcall members, a C++ exception for script
// errors. Written apart from host/ on purpose: the plugin's binding is proven
// by running it against the host's own conventions, not against itself.
#pragma once

#include "tests/windows/runtime.h"

class IClip;
class IScriptEnvironment;

constexpr int kCsBgr24 = 0x50000001;
constexpr int kCsBgr32 = 0x50000002;
constexpr int kCsYuy2 = 0x60000004;
constexpr int kCsYv12 = static_cast<int>(0xA0000008u);
constexpr int kCsI420 = static_cast<int>(0xA0000010u);

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
};

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

  void AddRef() { ++refcount; }
  void Release() {
    if (refcount == 1) --vfb->refcount;
    --refcount;
  }
  bool IsWritable() const { return refcount == 1 && vfb->refcount == 1; }
};

class PVideoFrame {
 public:
  PVideoFrame() : p_(nullptr) {}
  PVideoFrame(VideoFrame* frame) : p_(frame) {
    if (p_) p_->AddRef();
  }
  PVideoFrame(const PVideoFrame& other) : p_(other.p_) {
    if (p_) p_->AddRef();
  }
  PVideoFrame& operator=(const PVideoFrame& other) {
    if (other.p_) other.p_->AddRef();
    if (p_) p_->Release();
    p_ = other.p_;
    return *this;
  }
  ~PVideoFrame() {
    if (p_) p_->Release();
  }
  VideoFrame* operator->() const { return p_; }
  VideoFrame* get() const { return p_; }

 private:
  VideoFrame* p_;
};

class IClip {
 public:
  IClip() : refcnt(0) {}
  virtual int __stdcall GetVersion() = 0;
  virtual PVideoFrame __stdcall GetFrame(int n, IScriptEnvironment* env) = 0;
  virtual bool __stdcall GetParity(int n) = 0;
  virtual void __stdcall GetAudio(void* buf, int64_t start, int64_t count,
                                  IScriptEnvironment* env) = 0;
  virtual void __stdcall SetCacheHints(int cachehints, int frame_range) = 0;
  virtual const VideoInfo& __stdcall GetVideoInfo() = 0;
  virtual ~IClip() {}

  int refcnt;
};

class PClip {
 public:
  PClip() : p_(nullptr) {}
  PClip(IClip* clip) : p_(clip) {
    if (p_) ++p_->refcnt;
  }
  PClip(const PClip& other) : PClip(other.p_) {}
  PClip& operator=(const PClip& other) {
    if (other.p_) ++other.p_->refcnt;
    Drop();
    p_ = other.p_;
    return *this;
  }
  ~PClip() { Drop(); }
  IClip* operator->() const { return p_; }
  IClip* get() const { return p_; }

 private:
  void Drop() {
    if (p_ && --p_->refcnt == 0) delete p_;
    p_ = nullptr;
  }
  IClip* p_;
};

class AVSValue {
 public:
  AVSValue() : type('v'), array_size(0), integer(0) {}
  AVSValue(IClip* c) : type(c ? 'c' : 'v'), array_size(0), clip(c) {
    if (c) ++c->refcnt;
  }
  AVSValue(int i) : type('i'), array_size(0), integer(i) {}
  AVSValue(const AVSValue* elements, int size)
      : type('a'), array_size(static_cast<short>(size)), array(elements) {}
  AVSValue(const AVSValue& other)
      : type(other.type), array_size(other.array_size), integer(other.integer) {
    if (type == 'c') ++clip->refcnt;
  }
  AVSValue& operator=(const AVSValue& other) {
    if (other.type == 'c') ++other.clip->refcnt;
    Drop();
    type = other.type;
    array_size = other.array_size;
    integer = other.integer;
    return *this;
  }
  ~AVSValue() { Drop(); }

  bool IsClip() const { return type == 'c'; }
  IClip* AsClipPointer() const { return type == 'c' ? clip : nullptr; }

  short type;
  short array_size;
  union {
    IClip* clip;
    bool boolean;
    int integer;
    float floating_pt;
    const char* string;
    const AVSValue* array;
  };

 private:
  void Drop() {
    if (type == 'c' && --clip->refcnt == 0) delete clip;
    type = 'v';
  }
};

class IScriptEnvironment {
 public:
  typedef AVSValue(__cdecl* ApplyFunc)(AVSValue args, void* user_data, IScriptEnvironment* env);
  typedef void(__cdecl* ShutdownFunc)(void* user_data, IScriptEnvironment* env);

  virtual ~IScriptEnvironment() {}
  virtual long __stdcall GetCPUFlags() = 0;
  virtual char* __stdcall SaveString(const char* s, int length) = 0;
  virtual char* Sprintf(const char* fmt, ...) = 0;
  virtual char* __stdcall VSprintf(const char* fmt, va_list args) = 0;
  [[noreturn]] virtual void ThrowError(const char* fmt, ...) = 0;
  virtual void __stdcall AddFunction(const char* name, const char* params, ApplyFunc apply,
                                     void* user_data) = 0;
  virtual bool __stdcall FunctionExists(const char* name) = 0;
  virtual AVSValue __stdcall Invoke(const char* name, const AVSValue args,
                                    const char** arg_names) = 0;
  virtual AVSValue __stdcall GetVar(const char* name) = 0;
  virtual bool __stdcall SetVar(const char* name, const AVSValue& value) = 0;
  virtual bool __stdcall SetGlobalVar(const char* name, const AVSValue& value) = 0;
  virtual void __stdcall PushContext(int level) = 0;
  virtual void __stdcall PopContext() = 0;
  virtual PVideoFrame __stdcall NewVideoFrame(const VideoInfo& vi, int align) = 0;
  virtual bool __stdcall MakeWritable(PVideoFrame* frame) = 0;
  virtual void __stdcall BitBlt(uint8_t* dst, int dst_pitch, const uint8_t* src, int src_pitch,
                                int row_size, int height) = 0;
  virtual void __stdcall AtExit(ShutdownFunc function, void* user_data) = 0;
  virtual void __stdcall CheckVersion(int version) = 0;
  virtual PVideoFrame __stdcall Subframe(PVideoFrame src, int rel_offset, int new_pitch,
                                         int new_row_size, int new_height) = 0;
  virtual int __stdcall SetMemoryMax(int mem) = 0;
  virtual int __stdcall SetWorkingDir(const char* dir) = 0;
};

// The host's script error, as ThrowError raises it.
struct ScriptError {
  const char* message;
};

static_assert(sizeof(VideoInfo) == 48 && sizeof(AVSValue) == 8 && sizeof(PVideoFrame) == 4);
