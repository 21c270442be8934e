#include "common/rootpath/rootpath.hpp"

#include <dlfcn.h>
#include <pthread.h>

#include <cstdlib>
#include <cstring>

#include "common/objc/platform_names.hpp"

namespace {

using PrefixFunction = const char* (*)();
using PathFunction = char* (*)(const char* path, char* buffer);

// The binding record: written once inside pthread_once, read-only afterwards (the once
// primitive orders the write before every reader that passed it).
struct Binding {
  PrefixFunction prefix;
  PathFunction path;
  PrefixFunction rootPrefix;  // null: the system's files are where the system keeps them
  PathFunction rootPath;
};
Binding g_binding{};
pthread_once_t g_bind_once = PTHREAD_ONCE_INIT;

const char* fallbackPrefix() { return "/var/jb"; }

// Appends src after the first `used` bytes of buffer, never writing past the buffer's
// last byte, which stays for the terminating NUL. Returns the new length.
std::size_t appendBounded(char* buffer, std::size_t used, const char* src) {
  constexpr std::size_t kLimit = rootpath::kBufferSize - 1;
  if (used >= kLimit) return used;
  const std::size_t n = strnlen(src, kLimit - used);
  std::memcpy(buffer + used, src, n);
  buffer[used + n] = '\0';
  return used + n;
}

// path with prefix in front of it when it is absolute (prefix may be null), into buffer
// (allocated when null), bounded to the buffer. Null for a null path.
char* prefixedPath(const char* prefix, const char* path, char* buffer) {
  if (!path) return nullptr;
  if (!buffer) {
    buffer = static_cast<char*>(std::malloc(rootpath::kBufferSize));
    if (!buffer) return nullptr;
  }
  // A caller may hand in a path that lies inside the buffer (resolving in place): take a
  // copy first, or writing the prefix would overwrite the path before it is read.
  char own_copy[rootpath::kBufferSize];
  if (path >= buffer && path < buffer + rootpath::kBufferSize) {
    appendBounded(own_copy, 0, path);
    path = own_copy;
  }
  std::size_t used = 0;
  buffer[0] = '\0';
  if (path[0] == '/' && prefix) used = appendBounded(buffer, used, prefix);
  appendBounded(buffer, used, path);
  return buffer;
}

char* fallbackPath(const char* path, char* buffer) {
  return prefixedPath(path ? g_binding.prefix() : nullptr, path, buffer);
}

char* fallbackRootPath(const char* path, char* buffer) {
  const PrefixFunction root = g_binding.rootPrefix;
  return prefixedPath(path && root ? root() : nullptr, path, buffer);
}

void bindLibroot() {
  Binding binding{&fallbackPrefix, &fallbackPath, nullptr, &fallbackRootPath};
  // The image stays loaded for the life of the process: its functions are bound below.
  if (void* image = dlopen(objc::platform::kLibrootImage, RTLD_NOW)) {
    if (void* prefix = dlsym(image, "libroot_get_jbroot_prefix")) {
      binding.prefix = reinterpret_cast<PrefixFunction>(prefix);
    }
    if (void* path = dlsym(image, "libroot_jbrootpath")) {
      binding.path = reinterpret_cast<PathFunction>(path);
    }
    if (void* prefix = dlsym(image, "libroot_get_root_prefix")) {
      binding.rootPrefix = reinterpret_cast<PrefixFunction>(prefix);
    }
    if (void* path = dlsym(image, "libroot_rootfspath")) {
      binding.rootPath = reinterpret_cast<PathFunction>(path);
    }
  }
  g_binding = binding;
}

}  // namespace

char* jbroot(const char* path, char* buffer) noexcept {
  pthread_once(&g_bind_once, &bindLibroot);
  return g_binding.path(path, buffer);
}

char* rootfs(const char* path, char* buffer) noexcept {
  pthread_once(&g_bind_once, &bindLibroot);
  return g_binding.rootPath(path, buffer);
}
