/* Preloaded into 32-bit programs that run under qemu's user-mode emulator.
 * qemu 7.2 treats MAP_FIXED_NOREPLACE as a plain hint and maps elsewhere
 * when the address is taken; Wine lays out its address space relying on the
 * kernel's meaning (that address or EEXIST) and fails to start without it.
 * This gives mmap that meaning back.
 *
 * The emulator's wrapper sets LD_PRELOAD for each 32-bit program it starts;
 * the library takes it out of the environment again, so that 64-bit
 * programs started from there (shell scripts, for one) do not try to preload
 * it. Built freestanding: no 32-bit C headers are needed, only the 32-bit C
 * library that wine32 brings. */
typedef unsigned int size_t;

#define RTLD_NEXT ((void*)-1l)
#define MAP_FIXED_NOREPLACE 0x100000
#define MAP_FAILED ((void*)-1)
#define EEXIST 17

extern void* dlsym(void* handle, const char* name);
extern int munmap(void* address, size_t length);
extern int* __errno_location(void);
extern int unsetenv(const char* name);

typedef void* (*mmap_fn)(void*, size_t, int, int, int, long);
typedef void* (*mmap64_fn)(void*, size_t, int, int, int, long long);

__attribute__((constructor)) static void forget_preload(void) { unsetenv("LD_PRELOAD"); }

static void* settle(void* wanted, void* got, size_t length, int flags) {
  if ((flags & MAP_FIXED_NOREPLACE) && got != MAP_FAILED && got != wanted) {
    munmap(got, length);
    *__errno_location() = EEXIST;
    return MAP_FAILED;
  }
  return got;
}

void* mmap(void* address, size_t length, int prot, int flags, int fd, long offset) {
  static mmap_fn real;
  if (!real) real = (mmap_fn)dlsym(RTLD_NEXT, "mmap");
  return settle(address, real(address, length, prot, flags & ~MAP_FIXED_NOREPLACE, fd, offset),
                length, flags);
}

void* mmap64(void* address, size_t length, int prot, int flags, int fd, long long offset) {
  static mmap64_fn real;
  if (!real) real = (mmap64_fn)dlsym(RTLD_NEXT, "mmap64");
  return settle(address, real(address, length, prot, flags & ~MAP_FIXED_NOREPLACE, fd, offset),
                length, flags);
}
