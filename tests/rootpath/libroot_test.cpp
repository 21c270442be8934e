// jbroot and rootfs in a process that has libroot on its run path: with libroot's path
// entries (HV_LIBROOT_HAS_PATH_FUNCTION 1) or with only its prefix functions (0), where the
// fallbacks build the paths on libroot's prefixes.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "common/objc/platform_names.hpp"
#include "common/rootpath/rootpath.hpp"

namespace {

constexpr char kPrefs[] = "/var/mobile/Library/Preferences/com.nu-falk.halvernic-prefs.plist";

// libroot reads the device root when first asked; set it before anything runs.
const std::string kDeviceRoot = [] {
  std::string root = "/tmp/hv-rootpath-device-" + std::to_string(getpid());
  setenv("HALVERNIC_DEVICE_ROOT", root.c_str(), 1);
  return root;
}();

TEST(RootpathWithLibroot, UsesLibrootsMappingOfTheJailbreakRoot) {
  char buffer[rootpath::kBufferSize];
  const char* resolved = jbroot(kPrefs, buffer);
  ASSERT_NE(resolved, nullptr);
  EXPECT_EQ(std::string(resolved), kDeviceRoot + "/var/jb" + kPrefs);

  void* libroot = dlopen(objc::platform::kLibrootImage, RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(libroot, nullptr) << "jbroot should have loaded libroot";
  EXPECT_EQ(dlsym(libroot, "libroot_jbrootpath") != nullptr, HV_LIBROOT_HAS_PATH_FUNCTION == 1)
      << "the program runs against the wrong libroot";
  dlclose(libroot);

  EXPECT_STREQ(jbroot("relative", buffer), "relative");
  EXPECT_EQ(jbroot(nullptr, buffer), nullptr);
}

// Whether libroot or the fallback on its prefix builds the path, a long one is cut to the
// 1024-byte buffer every caller passes.
TEST(RootpathWithLibroot, LongPathsStayInsideTheBuffer) {
  struct Guarded {
    char buffer[rootpath::kBufferSize];
    char guard[64];
  } g;
  std::memset(&g, '#', sizeof g);
  const std::string absolute = "/" + std::string(2000, 'p');
  ASSERT_EQ(jbroot(absolute.c_str(), g.buffer), g.buffer);
  EXPECT_EQ(std::string(g.buffer),
            (kDeviceRoot + "/var/jb" + absolute).substr(0, rootpath::kBufferSize - 1));
  for (char c : g.guard) ASSERT_EQ(c, '#') << "wrote past the 1024-byte buffer";
}

// The system's own files lie below the device root, as libroot places them.
TEST(RootpathWithLibroot, SystemPathsFollowLibrootsRootPrefix) {
  char buffer[rootpath::kBufferSize];
  constexpr char kLaunchd[] = "/System/Library/LaunchDaemons/com.apple.thermalmonitord.plist";
  EXPECT_EQ(std::string(rootfs(kLaunchd, buffer)), kDeviceRoot + kLaunchd);
  EXPECT_STREQ(rootfs("relative", buffer), "relative");
  EXPECT_EQ(rootfs(nullptr, buffer), nullptr);
  void* libroot = dlopen(objc::platform::kLibrootImage, RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(libroot, nullptr);
  EXPECT_EQ(dlsym(libroot, "libroot_rootfspath") != nullptr, HV_LIBROOT_HAS_PATH_FUNCTION == 1);
  dlclose(libroot);
}

#if HV_LIBROOT_HAS_PATH_FUNCTION == 0
TEST(RootpathWithLibroot, FallbackOnLibrootsPrefixAllocatesWithoutABuffer) {
  char* owned = jbroot("/x", nullptr);  // the fallback allocates when given no buffer
  ASSERT_NE(owned, nullptr);
  EXPECT_EQ(std::string(owned), kDeviceRoot + "/var/jb/x");
  free(owned);
}
#endif

}  // namespace
