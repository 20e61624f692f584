// The tool as the plugin's host: loads the module, lets it register its
// script function, and calls Stampel as a script line would.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "host/local/environment.h"
#include "host/local/plugin_library.h"

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
  // Declared first so that it is unloaded last, after every clip and frame
  // of the environment is gone.
  std::unique_ptr<PluginLibrary> plugin_;
  std::unique_ptr<LocalEnvironment> env_;
};
