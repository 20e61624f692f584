// Loads a plugin module and finds its entry point, as the frame server does.
#pragma once

#include <memory>
#include <string>

#include "host/interface.h"

class PluginLibrary {
 public:
  using InitFunc = const char*(HOST_STDCALL*)(IScriptEnvironment* env);

  // Null with *error set when the module cannot be loaded or has no entry.
  static std::unique_ptr<PluginLibrary> Open(const std::string& path, std::string* error);
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  // Calls the entry point: the plugin registers its functions with env.
  const char* Init(IScriptEnvironment* env) const { return init_(env); }

 private:
  PluginLibrary(void* handle, InitFunc init) : handle_(handle), init_(init) {}

  void* handle_;
  InitFunc init_;
};
