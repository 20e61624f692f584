#include "host/clip_base.h"

#include <new>

PVideoFrame* ClipBase::GetFrameInto(PVideoFrame* result, int n, IScriptEnvironment* env) {
  return new (result) PVideoFrame(GetFrame(n, env));
}

void* ClipBase::DeletingDestructor(unsigned flags) {
  void* self = this;
  if (flags & 1u) {
    delete this;
  } else {
    this->~ClipBase();
  }
  return self;
}

GenericVideoFilter::GenericVideoFilter(PClip clip)
    : child(std::move(clip)), vi(child->GetVideoInfo()) {}

PVideoFrame GenericVideoFilter::GetFrame(int n, IScriptEnvironment* env) {
  return child->GetFrame(n, env);
}

bool GenericVideoFilter::GetParity(int n) {
  return child->GetParity(n);
}

void GenericVideoFilter::GetAudio(void* buf, int64_t start, int64_t count,
                                  IScriptEnvironment* env) {
  child->GetAudio(buf, start, count, env);
}
