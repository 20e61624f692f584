// Turns a script call of Stampel into a filter handed to the host as a clip.
#include <new>

#include "filter/stampel_filter.h"
#include "plugin/plugin.h"

AVSValue CreateStampel(AVSValue args, void* /*user_data*/, IScriptEnvironment* env) {
  const int offset = args[1].AsInt(0);
  const int left = args[2].AsInt(0);

  // Every refusal comes before anything is allocated or referenced: on some
  // builds the host's error unwinds this frame without running destructors.
  VideoInfo vi;
  {
    const PClip clip = args[0].AsClip();
    if (!clip) env->ThrowError("Stampel: no clip given");
    vi = clip->GetVideoInfo();
  }
  StampelFilter::Admit(vi, offset, env);

  // Our own allocation failure must reach the host as its script error: an
  // exception of this compiler cannot cross into the host's frames.
  void* memory = ::operator new(sizeof(StampelFilter), std::nothrow);
  if (!memory) env->ThrowError("Stampel: out of memory");
  return AVSValue(new (memory) StampelFilter(args[0].AsClip(), offset, left, env));
}
