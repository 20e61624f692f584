// The few C runtime and kernel32 functions the test host calls. There are no
// MSVC headers on the build machine, so they are declared here by hand, as
// msvcrt.dll and kernel32.dll export them.
#pragma once

using size_t = decltype(sizeof 0);
using uint8_t = unsigned char;
using int64_t = long long;
using va_list = __builtin_va_list;
#define va_start(ap, last) __builtin_va_start(ap, last)
#define va_end(ap) __builtin_va_end(ap)

extern "C" {
// msvcrt.dll
void* __cdecl malloc(size_t size);
void* __cdecl calloc(size_t count, size_t size);
void* __cdecl realloc(void* block, size_t size);
void __cdecl free(void* block);
void* __cdecl memcpy(void* dst, const void* src, size_t size);
void* __cdecl memset(void* dst, int value, size_t size);
int __cdecl memcmp(const void* a, const void* b, size_t size);
int __cdecl strcmp(const char* a, const char* b);
size_t __cdecl strlen(const char* s);
int __cdecl _stricmp(const char* a, const char* b);
int __cdecl printf(const char* format, ...);
int __cdecl _vsnprintf(char* buffer, size_t size, const char* format, va_list args);
int __cdecl fflush(void* stream);
int __cdecl __getmainargs(int* argc, char*** argv, char*** envp, int expand_wildcards,
                          int* startup_info);

// kernel32.dll
__declspec(dllimport) void* __stdcall LoadLibraryA(const char* name);
__declspec(dllimport) void* __stdcall GetProcAddress(void* module, const char* name);
__declspec(dllimport) int __stdcall VirtualProtect(void* address, size_t size, unsigned protect,
                                                   unsigned* old_protect);
[[noreturn]] __declspec(dllimport) void __stdcall ExitProcess(unsigned code);
}
