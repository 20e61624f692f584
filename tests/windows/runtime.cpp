// What a C++ program compiled for the MSVC ABI expects from its runtime
// library, supplied here because the host links against msvcrt.dll alone.
#include "tests/windows/runtime.h"

void* operator new(size_t size) {
  void* p = malloc(size ? size : 1);
  if (!p) {
    printf("host: out of memory\n");
    fflush(nullptr);
    ExitProcess(3);
  }
  return p;
}
void* operator new[](size_t size) {
  return operator new(size);
}
void operator delete(void* p) noexcept {
  free(p);
}
void operator delete(void* p, size_t) noexcept {
  free(p);
}
void operator delete[](void* p) noexcept {
  free(p);
}
void operator delete[](void* p, size_t) noexcept {
  free(p);
}

extern "C" {
// RTTI records of thrown types point at type_info's vtable, which msvcrt.dll
// exports only as data; the link points ??_7type_info@@6B@ here instead.
// Nothing calls through it: catching compares the records' names.
const void* type_info_vtable[4] = {};

// Referenced by code that touches floating point at all.
int _fltused = 0;

[[noreturn]] void __std_terminate() {
  printf("host: terminate called\n");
  fflush(nullptr);
  ExitProcess(3);
}
}
