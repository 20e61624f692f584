// The project's own small host: a script environment that registers and calls
// script functions, raises script errors as HostError, and owns the frames.
#pragma once

#include <deque>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/interface.h"
#include "host/local/frame_pool.h"

// The host's script error, as ThrowError raises it.
class HostError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class LocalEnvironment : public IScriptEnvironment {
 public:
  struct Function {
    std::string name;
    std::string params;
    ApplyFunc apply;
    void* user_data;
  };

  explicit LocalEnvironment(int rowPadding = 16);
  LocalEnvironment(const LocalEnvironment&) = delete;
  LocalEnvironment& operator=(const LocalEnvironment&) = delete;
  // Virtual for subclasses that alter the host's behaviour; it takes slots
  // after the host's own, which stay as they are.
  virtual ~LocalEnvironment();

  // Calls the registered script function name with an argument array, as a
  // script line would. Raises HostError for an unknown name.
  AVSValue CallFunction(const std::string& name, const AVSValue& args);

  const std::vector<Function>& Functions() const { return functions_; }
  FramePool& Frames() { return frames_; }
  // Copies MakeWritable has made of shared frames.
  int CopiesMade() const { return copies_; }

  void* HOST_THISCALL DeletingDestructor(unsigned flags) override;
  long HOST_STDCALL GetCPUFlags() override { return 0; }
  char* HOST_STDCALL SaveString(const char* s, int length) override;
  char* HOST_CDECL Sprintf(const char* fmt, ...) override;
  char* HOST_STDCALL VSprintf(const char* fmt, va_list args) override;
  [[noreturn]] void HOST_CDECL ThrowError(const char* fmt, ...) override;
  void HOST_STDCALL AddFunction(const char* name, const char* params, ApplyFunc apply,
                                void* user_data) override;
  bool HOST_STDCALL FunctionExists(const char* name) override;
  AVSValueData* HOST_STDCALL Invoke(AVSValueData* result, const char* name, AVSValueData args,
                                    const char** arg_names) override;
  AVSValueData* HOST_STDCALL GetVar(AVSValueData* result, const char* name) override;
  bool HOST_STDCALL SetVar(const char* name, AVSValueData value) override;
  bool HOST_STDCALL SetGlobalVar(const char* name, AVSValueData value) override;
  void HOST_STDCALL PushContext(int) override {}
  void HOST_STDCALL PopContext() override {}
  PVideoFrame* HOST_STDCALL NewVideoFrame(PVideoFrame* result, const VideoInfo& vi,
                                          int align) override;
  bool HOST_STDCALL MakeWritable(PVideoFrame* frame) override;
  void HOST_STDCALL BitBlt(uint8_t* dst, int dst_pitch, const uint8_t* src, int src_pitch,
                           int row_size, int height) override;
  void HOST_STDCALL AtExit(ShutdownFunc function, void* user_data) override;
  void HOST_STDCALL CheckVersion(int version) override;
  PVideoFrame* HOST_STDCALL Subframe(PVideoFrame* result, VideoFrame* src, int rel_offset,
                                     int new_pitch, int new_row_size, int new_height) override;
  int HOST_STDCALL SetMemoryMax(int) override { return 0; }
  int HOST_STDCALL SetWorkingDir(const char*) override { return -1; }

 private:
  const Function* Find(const char* name) const;

  std::vector<Function> functions_;
  std::map<std::string, AVSValue> vars_;
  std::deque<std::string> strings_;
  std::vector<std::pair<ShutdownFunc, void*>> atExit_;
  FramePool frames_;
  int copies_ = 0;
};
