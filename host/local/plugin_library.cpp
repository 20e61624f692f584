#include "host/local/plugin_library.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

#if defined(_WIN32)
// The export's decorated name, as the host looks it up.
constexpr const char* kEntryName = "_AvisynthPluginInit2@4";

void* Load(const std::string& path) {
  return LoadLibraryA(path.c_str());
}
void* Find(void* handle) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), kEntryName));
}
void Unload(void* handle) {
  FreeLibrary(static_cast<HMODULE>(handle));
}
std::string LastError() {
  return "error " + std::to_string(GetLastError());
}
#else
constexpr const char* kEntryName = "AvisynthPluginInit2";

void* Load(const std::string& path) {
  return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}
void* Find(void* handle) {
  return dlsym(handle, kEntryName);
}
void Unload(void* handle) {
  dlclose(handle);
}
std::string LastError() {
  const char* message = dlerror();
  return message ? message : "unknown error";
}
#endif

}  // namespace

std::unique_ptr<PluginLibrary> PluginLibrary::Open(const std::string& path, std::string* error) {
  void* handle = Load(path);
  if (!handle) {
    *error = "cannot load plugin " + path + ": " + LastError();
    return nullptr;
  }
  void* entry = Find(handle);
  if (!entry) {
    *error = "plugin " + path + " has no " + kEntryName;
    Unload(handle);
    return nullptr;
  }
  return std::unique_ptr<PluginLibrary>(
      new PluginLibrary(handle, reinterpret_cast<InitFunc>(entry)));
}

PluginLibrary::~PluginLibrary() {
  Unload(handle_);
}
