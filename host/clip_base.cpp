#include "host/clip_base.h"

#include <new>

#if HOST_ABI_IS_HOSTS
#include <cstdlib>

// The module's nothrow allocation, on the host's build. The runtime's own
// throws and catches std::bad_alloc internally, and the first exception this
// module raises needs heap memory for the unwinder's tables: with the heap
// exhausted that ends in abort(), taking the host's process with it, instead
// of a null the factory can report. Straight from the C heap instead, which
// the runtime's operator delete returns memory to.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size ? size : 1);
}
#endif

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
