// The plugin module loaded into the project's own host, as a frame server
// loads it, with helpers to build the script call Stampel(clip, ...).
#pragma once

#include <memory>
#include <string>

#include "host/local/environment.h"
#include "host/local/plugin_library.h"
#include "host/local/source_clip.h"

class PluginHost {
 public:
  explicit PluginHost(int rowPadding = 16);

  // Stampel(source[, offset][, left]); a void value stands for an omitted one.
  PClip Stampel(const PClip& source, const AVSValue& offset = AVSValue(),
                const AVSValue& left = AVSValue());

  std::unique_ptr<PluginLibrary> plugin;
  LocalEnvironment env;
  std::string description;
};
