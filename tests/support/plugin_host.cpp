#include "tests/support/plugin_host.h"

#include <stdexcept>

PluginHost::PluginHost(int rowPadding) : env(rowPadding) {
  std::string error;
  plugin = PluginLibrary::Open(STAMPEL_PLUGIN_PATH, &error);
  if (!plugin) throw std::runtime_error(error);
  description = plugin->Init(&env);
}

PClip PluginHost::Stampel(const PClip& source, const AVSValue& offset, const AVSValue& left) {
  const AVSValue args[3] = {source, offset, left};
  return env.CallFunction("Stampel", AVSValue(args, 3)).AsClip();
}
