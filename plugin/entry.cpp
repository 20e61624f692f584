// The module's only export: registers the script function with the host.
#include "plugin/plugin.h"

extern "C" const char* HOST_STDCALL AvisynthPluginInit2(IScriptEnvironment* env) {
  env->AddFunction<CreateStampel>("Stampel", "c[offset]i[left]i", nullptr);
  return "`Stampel' Stampel plugin";
}
