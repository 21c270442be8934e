// The jailbreak root: where a rootless jailbreak keeps its files instead of "/".
//
// jbroot() prefers the jailbreak's own path library (libroot, loaded at run time when it
// is installed) and falls back to the fixed prefix "/var/jb" without it. Each of the three
// binaries carries its own copy of this code; the symbol stays inside each of them.
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
