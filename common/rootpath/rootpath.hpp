// The jailbreak root: where a rootless jailbreak keeps its files instead of "/"; and the
// system's own root file system, as the jailbreak sees it.
//
// jbroot() prefers the jailbreak's own path library (libroot, loaded at run time when it
// is installed) and falls back to the fixed prefix "/var/jb" without it. rootfs() asks the
// same library where the system's files are (on rootless jailbreaks they are where the
// system keeps them; a jailbreak that hides its root may place them elsewhere) and leaves
// the path as it is without it. Each binary carries its own copy of this code; the symbols
// stay inside each of them.
#pragma once

#include <cstddef>

namespace rootpath {

// Size of the buffer every caller passes; results are at most kBufferSize - 1 bytes long.
inline constexpr std::size_t kBufferSize = 1024;

}  // namespace rootpath

// Resolves an absolute path below the jailbreak root.
//   path    a NUL-terminated path in the file-system representation, or null;
//   buffer  rootpath::kBufferSize bytes for the result, or null (then the result is a new
//           buffer of that size that the caller frees with free()).
// Returns the resolved path (the buffer itself when libroot's own function is absent), or
// null for a null path; a relative path comes back unchanged. Longer results are cut
// silently. Safe on any thread; libroot is looked up once per process.
__attribute__((visibility("hidden"))) char* jbroot(const char* path, char* buffer) noexcept;

// Resolves an absolute path of the system's own files (/System/Library/..., for example)
// as the jailbreak sees them: libroot's libroot_rootfspath when it has one, else its root
// prefix (libroot_get_root_prefix) in front of an absolute path, else the path unchanged.
// Same arguments, buffer and results as jbroot.
__attribute__((visibility("hidden"))) char* rootfs(const char* path, char* buffer) noexcept;
