// The tool as the plugin's host: loads the module, lets it register its
// script function, and calls Stampel as a script line would.
#pragma once

#include <csetjmp>
#include <memory>
#include <optional>
#include <string>

#include "host/local/environment.h"
#include "host/local/plugin_library.h"

// The project's host with one change for a plugin built as a Windows DLL:
// an exception raised here cannot unwind through the DLL's frames (each
// module has its own unwinder), so while a script call is guarded the host's
// error leaves by a jump back to the guard instead, as the frame server's own
// error passes over the plugin's frames. The plugin holds nothing at its
// refusals, which is what makes that sound.
class ToolEnvironment : public LocalEnvironment {
 public:
  using LocalEnvironment::LocalEnvironment;

  [[noreturn]] void HOST_CDECL ThrowError(const char* fmt, ...) override;

  // Where ThrowError jumps while a call is guarded; null otherwise.
  std::jmp_buf* escape = nullptr;
  // The message of the error that jumped.
  char message[1024] = {};
};

// The plugin beside the running program, or, for an installed program, in
// the library folder next to its own.
std::string DefaultPluginPath();

class Stamper {
 public:
  // Raises Failure when the module cannot be loaded or has no entry point.
  explicit Stamper(const std::string& pluginPath);
  Stamper(const Stamper&) = delete;
  Stamper& operator=(const Stamper&) = delete;
  ~Stamper();

  // Stampel(input, offset=..., left=1) with the omitted arguments left out.
  // The plugin's refusal raises Failure with the plugin's message.
  PClip Stamp(const PClip& input, std::optional<int> offset, bool left);

  LocalEnvironment& Env() { return *env_; }

 private:
  // Calls the script function; false, with the message in env_, when it
  // raised the host's error.
  bool CallGuarded(const std::string& name, const AVSValue& args, AVSValue* result);

  // Declared first so that it is unloaded last, after every clip and frame
  // of the environment is gone.
  std::unique_ptr<PluginLibrary> plugin_;
  std::unique_ptr<ToolEnvironment> env_;
};
