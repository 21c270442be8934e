// _NSGetArgv, libroot (both variants), the thermal-pressure name, CoreFoundation basics,
// and what a process without SystemConfiguration sees.
#include <CoreFoundation/CoreFoundation.h>
#include <crt_externs.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/objc/foundation.hpp"
#include "hvplatform/environment.h"

namespace {

id obj(CFTypeRef cf) { return const_cast<id>(static_cast<const objc_object*>(cf)); }

TEST(CrtExterns, ArgvIsTheProcesssOwn) {
  std::ifstream cmdline("/proc/self/cmdline", std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(cmdline)), std::istreambuf_iterator<char>());
  std::vector<std::string> expected;
  for (std::size_t start = 0; start < all.size();) {
    std::size_t end = all.find('\0', start);
    expected.push_back(all.substr(start, end - start));
    start = end + 1;
  }
  ASSERT_NE(_NSGetArgv(), nullptr);
  ASSERT_EQ(*_NSGetArgc(), static_cast<int>(expected.size()));
  // The process's own vector: the test main's flag parsing has already taken the
  // --gtest_ options out of it (moving later entries down), so every entry left is one of
  // the command line's, in the command line's order.
  char** argv = *_NSGetArgv();
  ASSERT_NE(argv, nullptr);
  EXPECT_EQ(argv[0], expected[0]);
  std::size_t next = 1;
  for (int i = 1; i < *_NSGetArgc() && argv[i]; ++i) {
    while (next < expected.size() && expected[next] != argv[i]) ++next;
    EXPECT_LT(next, expected.size()) << argv[i] << " is not on the command line";
  }
  EXPECT_STREQ(*_NSGetProgname(), "platform_misc_test");
}

TEST(Libroot, MapsTheJailbreakRootBelowTheDeviceRootAndTheVariantLacksThePathEntry) {
  setenv(HV_ENV_DEVICE_ROOT, "/tmp/hv-device/", 1);
  void* full = dlopen(HV_LIBROOT_DIR "/libroot.so", RTLD_NOW | RTLD_LOCAL);
  void* prefix_only = dlopen(HV_LIBROOT_PREFIX_ONLY_DIR "/libroot.so", RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(full, nullptr) << dlerror();
  ASSERT_NE(prefix_only, nullptr) << dlerror();
  ASSERT_NE(full, prefix_only);

  using Prefix = const char* (*)();
  using Path = char* (*)(const char*, char*);
  auto prefix = reinterpret_cast<Prefix>(dlsym(full, "libroot_get_jbroot_prefix"));
  auto path = reinterpret_cast<Path>(dlsym(full, "libroot_jbrootpath"));
  ASSERT_TRUE(prefix && path);
  EXPECT_STREQ(prefix(), "/tmp/hv-device/var/jb");
  char buffer[PATH_MAX];
  EXPECT_STREQ(path("/var/mobile/Library/Preferences/x.plist", buffer),
               "/tmp/hv-device/var/jb/var/mobile/Library/Preferences/x.plist");
  EXPECT_STREQ(path("relative/x", buffer), "relative/x");
  EXPECT_EQ(path(nullptr, buffer), nullptr);
  const std::string long_path = "/" + std::string(PATH_MAX + 100, 'a');
  ASSERT_EQ(path(long_path.c_str(), buffer), buffer);
  EXPECT_EQ(std::string(buffer).size(), 1023u) << "cut at the device's PATH_MAX of 1024";

  auto variant_prefix = reinterpret_cast<Prefix>(dlsym(prefix_only, "libroot_get_jbroot_prefix"));
  ASSERT_NE(variant_prefix, nullptr);
  EXPECT_STREQ(variant_prefix(), "/tmp/hv-device/var/jb");
  EXPECT_EQ(dlsym(prefix_only, "libroot_jbrootpath"), nullptr);
  dlclose(full);
  dlclose(prefix_only);
}

TEST(OptionalLibraries, AbsentUntilLoadedAndThenFoundByName) {
  EXPECT_EQ(dlsym(RTLD_DEFAULT, "SCPreferencesCreate"), nullptr);
  EXPECT_EQ(dlsym(RTLD_DEFAULT, "SCError"), nullptr);
  EXPECT_EQ(dlsym(RTLD_DEFAULT, "kOSThermalNotificationPressureLevelName"), nullptr);
  EXPECT_NE(dlsym(RTLD_DEFAULT, "notify_post"), nullptr);
  EXPECT_NE(dlsym(RTLD_DEFAULT, "CFRelease"), nullptr);
  EXPECT_NE(dlsym(RTLD_DEFAULT, "kCFBooleanTrue"), nullptr);

  void* thermal = dlopen(HV_PLATFORM_LIB_DIR "/libhvosthermal.so", RTLD_NOW | RTLD_GLOBAL);
  void* sc = dlopen(HV_PLATFORM_LIB_DIR "/libhvSystemConfiguration.so", RTLD_NOW | RTLD_GLOBAL);
  ASSERT_TRUE(thermal && sc) << dlerror();
  auto name = static_cast<const char* const*>(
      dlsym(RTLD_DEFAULT, "kOSThermalNotificationPressureLevelName"));
  ASSERT_NE(name, nullptr);
  EXPECT_STREQ(*name, "com.apple.system.thermalpressurelevel");
  EXPECT_NE(dlsym(RTLD_DEFAULT, "SCPreferencesCreate"), nullptr);
}

TEST(CoreFoundation, ReferencesAreFoundationObjects) {
  objc::AutoreleasePool pool;
  EXPECT_TRUE(objc::isBoolean(obj(kCFBooleanTrue)));
  EXPECT_TRUE(objc::objectsEqual(obj(kCFBooleanTrue), objc::boolean(true)));
  EXPECT_TRUE(objc::objectsEqual(obj(kCFBooleanFalse), objc::boolean(false)));
  EXPECT_TRUE(CFBooleanGetValue(kCFBooleanTrue));
  EXPECT_FALSE(CFBooleanGetValue(kCFBooleanFalse));

  CFStringRef literal = CFSTR("com.nu-falk.halvernic-executePuppetEvent");
  EXPECT_EQ(literal, CFSTR("com.nu-falk.halvernic-executePuppetEvent"));
  EXPECT_TRUE(objc::stringEquals(obj(literal), "com.nu-falk.halvernic-executePuppetEvent"));
  CFStringRef made =
      CFStringCreateWithCString(kCFAllocatorDefault, "caf\xc3\xa9", kCFStringEncodingUTF8);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(CFStringGetLength(made), 4);
  char small[5], enough[6];
  EXPECT_FALSE(CFStringGetCString(made, small, sizeof(small), kCFStringEncodingUTF8));
  EXPECT_TRUE(CFStringGetCString(made, enough, sizeof(enough), kCFStringEncodingUTF8));
  EXPECT_STREQ(enough, "caf\xc3\xa9");
  EXPECT_FALSE(CFStringGetCString(made, enough, sizeof(enough), kCFStringEncodingASCII));

  const CFIndex count = CFGetRetainCount(made);
  EXPECT_EQ(CFRetain(made), made);
  EXPECT_EQ(CFGetRetainCount(made), count + 1);
  CFRelease(made);
  EXPECT_EQ(CFGetRetainCount(made), count);
  EXPECT_TRUE(CFEqual(made, obj(objc::string("caf\xc3\xa9"))));
  CFRelease(made);
}

}  // namespace
