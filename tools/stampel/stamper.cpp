#include "tools/stampel/stamper.h"

#include <sys/stat.h>

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "tools/stampel/failure.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

#if defined(_WIN32)
constexpr const char* kModule = "Stampel.dll";
constexpr char kSeparator = '\\';

std::string ProgramPath() {
  std::vector<char> path(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return "";
    if (length < path.size()) return std::string(path.data(), length);
    path.resize(path.size() * 2);
  }
}
#else
constexpr const char* kModule = "Stampel.so";
constexpr char kSeparator = '/';

std::string ProgramPath() {
  std::vector<char> path(4096);
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0 || static_cast<size_t>(length) >= path.size()) return "";
  return std::string(path.data(), static_cast<size_t>(length));
}
#endif

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// Frames come unpadded past the 16-byte rounding of their rows, so that a
// typical frame is one run of bytes in storage and in the stream.
constexpr int kRowPadding = 0;

}  // namespace

std::string DefaultPluginPath() {
  const std::string program = ProgramPath();
  std::string folder = ".";
  const size_t slash = program.find_last_of(kSeparator == '/' ? "/" : "\\/");
  if (slash != std::string::npos) folder = program.substr(0, slash);
  const std::string beside = folder + kSeparator + kModule;
  const std::string installed = folder + kSeparator + ".." + kSeparator + "lib" + kSeparator +
                                "stampel" + kSeparator + kModule;
  return Exists(beside) || !Exists(installed) ? beside : installed;
}

void ToolEnvironment::ThrowError(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(message, sizeof message, fmt, args);
  va_end(args);
  if (std::jmp_buf* target = escape) {
    escape = nullptr;
    std::longjmp(*target, 1);
  }
  throw HostError(message);
}

Stamper::Stamper(const std::string& pluginPath) {
  std::string error;
  plugin_ = PluginLibrary::Open(pluginPath, &error);
  if (!plugin_) Fail(error);
  env_ = std::make_unique<ToolEnvironment>(kRowPadding);
  plugin_->Init(env_.get());
  if (!env_->FunctionExists("Stampel")) Fail("plugin " + pluginPath + " has no Stampel function");
}

Stamper::~Stamper() {
  env_.reset();
}

bool Stamper::CallGuarded(const std::string& name, const AVSValue& args, AVSValue* result) {
#if defined(_WIN32)
  // Nothing with a destructor lives in this frame between the two points.
  std::jmp_buf escape;
  if (setjmp(escape) != 0) return false;
  env_->escape = &escape;
  *result = env_->CallFunction(name, args);
  env_->escape = nullptr;
  return true;
#else
  try {
    *result = env_->CallFunction(name, args);
    return true;
  } catch (const HostError&) {
    return false;
  }
#endif
}

PClip Stamper::Stamp(const PClip& input, std::optional<int> offset, bool left) {
  const AVSValue args[3] = {input, offset ? AVSValue(*offset) : AVSValue(),
                            left ? AVSValue(1) : AVSValue()};
  const std::string name = "Stampel";
  AVSValue result;
  if (!CallGuarded(name, AVSValue(args, 3), &result)) Fail(env_->message);
  if (!result.IsClip()) Fail("the plugin's Stampel returned no clip");
  return result.AsClip();
}
