// libroot, the rootless jailbreak's path library, for the simulated device: the jailbreak
// root /var/jb lies below the device root ($HALVERNIC_DEVICE_ROOT; "/" when unset), and so
// do the system's own files (the root prefix is the device root).
//
// Built twice: with every entry, and (HV_LIBROOT_PREFIX_ONLY) without libroot_jbrootpath
// and libroot_rootfspath, as an older libroot that only reports its prefixes.
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>

#include "hvplatform/environment.h"

namespace {

// PATH_MAX as the device defines it (Darwin's 1024, not Linux's 4096): callers size their
// buffers by it.
[[maybe_unused]] constexpr std::size_t kDevicePathMax = 1024;

// The device root without a trailing "/" ("" for the machine's own root).
const std::string& root_prefix() {
  static const std::string prefix = [] {
    std::string root;
    if (const char* env = std::getenv(HV_ENV_DEVICE_ROOT)) root = env;
    while (!root.empty() && root.back() == '/') root.pop_back();
    return root;
  }();
  return prefix;
}

const std::string& jbroot_prefix() {
  static const std::string prefix = root_prefix() + "/var/jb";
  return prefix;
}

// prefix + path for an absolute path, the path itself otherwise, cut to the device's
// PATH_MAX.
[[maybe_unused]] char* resolve(const std::string& prefix, const char* path, char* resolvedPath) {
  if (!path || !resolvedPath) return nullptr;
  std::string result = path[0] == '/' ? prefix + path : std::string(path);
  if (result.size() >= kDevicePathMax) result.resize(kDevicePathMax - 1);
  std::memcpy(resolvedPath, result.c_str(), result.size() + 1);
  return resolvedPath;
}

}  // namespace

extern "C" {

[[gnu::visibility("default")]] const char* libroot_get_jbroot_prefix(void) {
  return jbroot_prefix().c_str();
}

[[gnu::visibility("default")]] const char* libroot_get_root_prefix(void) {
  return root_prefix().c_str();
}

#if !defined(HV_LIBROOT_PREFIX_ONLY)
// An absolute path is placed below the jailbreak root; a relative one is returned as it
// is. resolvedPath holds the device's PATH_MAX (1024) bytes, as libroot's own contract
// says; a longer result is cut at 1023 bytes.
[[gnu::visibility("default")]] char* libroot_jbrootpath(const char* path, char* resolvedPath) {
  return resolve(jbroot_prefix(), path, resolvedPath);
}

// The same for the system's own files: below the device root.
[[gnu::visibility("default")]] char* libroot_rootfspath(const char* path, char* resolvedPath) {
  return resolve(root_prefix(), path, resolvedPath);
}
#endif

}  // extern "C"
