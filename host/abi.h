// Calling conventions of the frame server's binary interface.
//
// The host is built with the MSVC C++ ABI for 32-bit Windows; the plugin may be
// built with g++ (mingw-w64) there, or natively on Linux against the project's
// own host. Everything that must differ between those builds lives here, so the
// rest of the binding, the filter and the plugin stay plain C++:
//
// - Interface methods are __stdcall, variadic ones __cdecl, and the host's
//   deleting destructor is __thiscall (a plain g++ member on i686 mingw).
// - Values with copy constructors (frame handles, script values) never cross by
//   value or as hidden return values: g++ and MSVC disagree on both. Slots take
//   an explicit result pointer instead, placed where the host puts its hidden
//   one, and script values cross as their trivially copyable bytes.
// - Destructors are not virtual in the host-facing slot tables: g++ would give
//   them two slots where the host has one. Each interface declares the host's
//   single deleting-destructor slot explicitly.
// - Exceptions of this compiler never reach the host: on the host's build the
//   module's nothrow operator new (host/clip_base.cpp) fails with a null
//   without throwing inside, so an exhausted heap becomes the host's error.
#pragma once

#if defined(_WIN32) && defined(__i386__)
#define HOST_STDCALL __attribute__((stdcall))
#define HOST_CDECL __attribute__((cdecl))
#define HOST_THISCALL __attribute__((thiscall))
#define HOST_EXPORT
#elif defined(_WIN32)
#define HOST_STDCALL
#define HOST_CDECL
#define HOST_THISCALL
#define HOST_EXPORT
#else
#define HOST_STDCALL
#define HOST_CDECL
#define HOST_THISCALL
#define HOST_EXPORT __attribute__((visibility("default")))
#endif

// True on the build whose layout must match the host's bytes exactly.
#if defined(_WIN32) && defined(__i386__)
#define HOST_ABI_IS_HOSTS 1
#else
#define HOST_ABI_IS_HOSTS 0
#endif
