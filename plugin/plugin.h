// The plugin's two entry points: the module export the host calls after
// loading, and the factory behind the script function it registers.
#pragma once

#include "host/interface.h"

extern "C" HOST_EXPORT const char* HOST_STDCALL AvisynthPluginInit2(IScriptEnvironment* env);

// Stampel(clip [, offset] [, left]): args is [clip, offset, left].
AVSValue CreateStampel(AVSValue args, void* user_data, IScriptEnvironment* env);
