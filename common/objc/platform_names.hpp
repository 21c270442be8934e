// Names that differ between the iOS product and the Linux build, beyond the runtime.
#pragma once

namespace objc::platform {

#if defined(__APPLE__)
// The rootless jailbreak's path library, found through the image's run paths.
inline constexpr const char kLibrootImage[] = "@rpath/libroot.dylib";
#else
// The Linux stand-in of the path library (platform/libroot), found on the library path.
inline constexpr const char kLibrootImage[] = "libroot.so";
#endif

}  // namespace objc::platform
