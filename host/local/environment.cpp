#include "host/local/environment.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

std::string Format(const char* fmt, va_list args) {
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, fmt, measure);
  va_end(measure);
  if (length < 0) return fmt;
  std::string text(static_cast<size_t>(length), '\0');
  std::vsnprintf(text.data(), text.size() + 1, fmt, args);
  return text;
}

}  // namespace

LocalEnvironment::LocalEnvironment(int rowPadding) : frames_(rowPadding) {}

LocalEnvironment::~LocalEnvironment() {
  for (auto it = atExit_.rbegin(); it != atExit_.rend(); ++it) it->first(it->second, this);
}

AVSValue LocalEnvironment::CallFunction(const std::string& name, const AVSValue& args) {
  const Function* function = Find(name.c_str());
  if (!function) ThrowError("Script error: there is no function named \"%s\"", name.c_str());
  return CallApply(function->apply, args, function->user_data, this);
}

const LocalEnvironment::Function* LocalEnvironment::Find(const char* name) const {
  for (const Function& function : functions_) {
    if (function.name == name) return &function;
  }
  return nullptr;
}

void* LocalEnvironment::DeletingDestructor(unsigned) {
  return this;
}

char* LocalEnvironment::SaveString(const char* s, int length) {
  strings_.emplace_back(s, length < 0 ? std::strlen(s) : static_cast<size_t>(length));
  return strings_.back().data();
}

char* LocalEnvironment::Sprintf(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  char* saved = VSprintf(fmt, args);
  va_end(args);
  return saved;
}

char* LocalEnvironment::VSprintf(const char* fmt, va_list args) {
  strings_.push_back(Format(fmt, args));
  return strings_.back().data();
}

void LocalEnvironment::ThrowError(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string message = Format(fmt, args);
  va_end(args);
  throw HostError(message);
}

void LocalEnvironment::AddFunction(const char* name, const char* params, ApplyFunc apply,
                                   void* user_data) {
  functions_.push_back(Function{name, params, apply, user_data});
}

bool LocalEnvironment::FunctionExists(const char* name) {
  return Find(name) != nullptr;
}

AVSValueData* LocalEnvironment::Invoke(AVSValueData* result, const char* name, AVSValueData args,
                                       const char**) {
  AVSValue owned = AVSValue::Adopt(args);
  *result = CallFunction(name, owned).Release();
  return result;
}

AVSValueData* LocalEnvironment::GetVar(AVSValueData* result, const char* name) {
  auto it = vars_.find(name);
  if (it == vars_.end()) ThrowError("Script error: there is no variable named \"%s\"", name);
  *result = AVSValue(it->second).Release();
  return result;
}

bool LocalEnvironment::SetVar(const char* name, AVSValueData value) {
  vars_[name] = AVSValue::Adopt(value);
  return true;
}

bool LocalEnvironment::SetGlobalVar(const char* name, AVSValueData value) {
  return SetVar(name, value);
}

PVideoFrame* LocalEnvironment::NewVideoFrame(PVideoFrame* result, const VideoInfo& vi, int) {
  return new (result) PVideoFrame(frames_.New(ShapeOf(vi)));
}

bool LocalEnvironment::MakeWritable(PVideoFrame* frame) {
  if (!*frame || (*frame)->IsWritable()) return false;
  *frame = frames_.Copy(*frame->get());
  ++copies_;
  return true;
}

void LocalEnvironment::BitBlt(uint8_t* dst, int dst_pitch, const uint8_t* src, int src_pitch,
                              int row_size, int height) {
  for (int y = 0; y < height; ++y) {
    std::memcpy(dst + static_cast<ptrdiff_t>(y) * dst_pitch,
                src + static_cast<ptrdiff_t>(y) * src_pitch, static_cast<size_t>(row_size));
  }
}

void LocalEnvironment::AtExit(ShutdownFunc function, void* user_data) {
  atExit_.emplace_back(function, user_data);
}

void LocalEnvironment::CheckVersion(int version) {
  if (version > AVISYNTH_INTERFACE_VERSION) {
    ThrowError("Plugin was designed for a later version of this host (%d)", version);
  }
}

PVideoFrame* LocalEnvironment::Subframe(PVideoFrame*, VideoFrame*, int, int, int, int) {
  LocalEnvironment::ThrowError("Subframe is not supported by this host");
}
