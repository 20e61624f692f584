// The test host's side of the interface: a script environment, a source clip
// whose frames it builds, and a watch on the plugin's heap.
#pragma once

#include "tests/windows/host_interface.h"

// One frame's storage as the host lays it out: picture rows padded to pitch,
// the planar chroma planes after the luma plane, filler around everything.
struct FrameShape {
  int pixel_type;
  int width;
  int height;
  int padding;  // bytes past each row's picture bytes
};

int RowBytes(int pixel_type, int width);
bool IsPlanar(int pixel_type);

// Everything the host saw the plugin do, reset per check.
struct HostLog {
  int add_function_calls = 0;
  const char* function_name = nullptr;
  const char* function_params = nullptr;
  IScriptEnvironment::ApplyFunc apply = nullptr;
  void* user_data = reinterpret_cast<void*>(1);
  int make_writable_calls = 0;
  int frames_copied = 0;
  int unexpected_calls = 0;
  // The copy MakeWritable made, as it was before the plugin wrote to it.
  uint8_t* copy_snapshot = nullptr;
  VideoFrame* copy = nullptr;
};

class TestEnvironment : public IScriptEnvironment {
 public:
  HostLog log;

  // A frame of the given shape filled with bytes from seed; held by no one.
  VideoFrame* NewFrame(const FrameShape& shape, unsigned seed);
  // Frames the host has made whose count, or whose buffer's, is not 0.
  int LiveFrames() const;
  ~TestEnvironment() override;

  long __stdcall GetCPUFlags() override { return 0; }
  char* __stdcall SaveString(const char* s, int length) override;
  char* Sprintf(const char* fmt, ...) override;
  char* __stdcall VSprintf(const char* fmt, va_list args) override;
  [[noreturn]] void ThrowError(const char* fmt, ...) override;
  void __stdcall AddFunction(const char* name, const char* params, ApplyFunc apply,
                             void* user_data) override;
  bool __stdcall FunctionExists(const char*) override { return Unexpected(), false; }
  AVSValue __stdcall Invoke(const char*, const AVSValue, const char**) override {
    return Unexpected(), AVSValue();
  }
  AVSValue __stdcall GetVar(const char*) override { return Unexpected(), AVSValue(); }
  bool __stdcall SetVar(const char*, const AVSValue&) override { return Unexpected(), false; }
  bool __stdcall SetGlobalVar(const char*, const AVSValue&) override { return Unexpected(), false; }
  void __stdcall PushContext(int) override { Unexpected(); }
  void __stdcall PopContext() override { Unexpected(); }
  PVideoFrame __stdcall NewVideoFrame(const VideoInfo&, int) override {
    return Unexpected(), PVideoFrame();
  }
  bool __stdcall MakeWritable(PVideoFrame* frame) override;
  void __stdcall BitBlt(uint8_t*, int, const uint8_t*, int, int, int) override { Unexpected(); }
  void __stdcall AtExit(ShutdownFunc, void*) override { Unexpected(); }
  void __stdcall CheckVersion(int) override { Unexpected(); }
  PVideoFrame __stdcall Subframe(PVideoFrame, int, int, int, int) override {
    return Unexpected(), PVideoFrame();
  }
  int __stdcall SetMemoryMax(int) override { return Unexpected(), 0; }
  int __stdcall SetWorkingDir(const char*) override { return Unexpected(), 0; }

 private:
  void Unexpected() { ++log.unexpected_calls; }
  void Keep(void* block);

  struct Node {
    void* block;
    Node* next;
  };
  Node* owned_ = nullptr;  // everything this host allocated, freed at the end
  struct FrameNode {
    VideoFrame* frame;
    FrameShape shape;
    FrameNode* next;
  };
  FrameNode* frames_ = nullptr;
};

// The clip a script would pass in: builds each frame from its number, and,
// when shared, keeps its own reference to every frame it hands out, as a
// cache would.
class TestSource : public IClip {
 public:
  struct Calls {
    int destroyed = 0;
    int parity_n = -1;
    void* audio_buf = nullptr;
    int64_t audio_start = 0;
    int64_t audio_count = 0;
    IScriptEnvironment* audio_env = nullptr;
    int cache_hints = 0;
  };

  TestSource(TestEnvironment* env, const VideoInfo& vi, int padding, bool shared, Calls* calls);
  ~TestSource() override;

  int __stdcall GetVersion() override { return 2; }
  PVideoFrame __stdcall GetFrame(int n, IScriptEnvironment* env) override;
  bool __stdcall GetParity(int n) override;
  void __stdcall GetAudio(void* buf, int64_t start, int64_t count,
                          IScriptEnvironment* env) override;
  void __stdcall SetCacheHints(int, int) override { ++calls_->cache_hints; }
  const VideoInfo& __stdcall GetVideoInfo() override { return vi_; }

  // The last frame handed out, and its bytes as they were then.
  VideoFrame* last = nullptr;
  uint8_t* last_original = nullptr;

 private:
  TestEnvironment* env_;
  VideoInfo vi_;
  int padding_;
  bool shared_;
  Calls* calls_;
  PVideoFrame kept_;
};

// Counts the plugin's heap blocks by taking over its imports of the C
// runtime's allocator, and can make its requests fail from a size on.
namespace plugin_heap {
bool Watch(void* module);
int LiveBlocks();
void FailAllocationsFrom(size_t size);  // 0: none fail
}  // namespace plugin_heap
