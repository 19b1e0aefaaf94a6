/* Loading a shared library and finding a symbol in it, in one place, for the
 * C and C++ hosts: dlopen/dlsym on POSIX systems, LoadLibrary/GetProcAddress
 * on Windows. Header-only, usable from C.
 *
 *   void* lib = vorn_library_open(path);            null on failure
 *   void* fn  = vorn_library_symbol(lib, "Name");   null when not exported
 *   vorn_library_error(buffer, size);               why the last call failed
 *   vorn_library_close(lib);
 *
 * A symbol comes back as void*; the caller converts it to the function
 * pointer type it knows, with the interfaces' calling convention. */
#ifndef VORN_HOST_SHARED_LIBRARY_H
#define VORN_HOST_SHARED_LIBRARY_H

#include <stddef.h>
#include <stdio.h>
#include <string.h>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

static inline void* vorn_library_open(const char* path) { return (void*)LoadLibraryA(path); }

static inline void* vorn_library_symbol(void* library, const char* name) {
  /* FARPROC to void*: the same address, as the POSIX interface returns it. */
  FARPROC symbol = GetProcAddress((HMODULE)library, name);
  void* address = NULL;
  memcpy(&address, &symbol, sizeof address);
  return address;
}

static inline void vorn_library_close(void* library) { FreeLibrary((HMODULE)library); }

static inline void vorn_library_error(char* buffer, size_t size) {
  snprintf(buffer, size, "Windows error %lu", (unsigned long)GetLastError());
}

#else
#include <dlfcn.h>

static inline void* vorn_library_open(const char* path) {
  return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

static inline void* vorn_library_symbol(void* library, const char* name) {
  return dlsym(library, name);
}

static inline void vorn_library_close(void* library) { dlclose(library); }

static inline void vorn_library_error(char* buffer, size_t size) {
  const char* reason = dlerror();
  snprintf(buffer, size, "%s", reason != NULL ? reason : "unknown reason");
}
#endif

#endif
