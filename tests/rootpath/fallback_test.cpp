// jbroot in a process without libroot: the fixed prefix and bounded copies.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/objc/platform_names.hpp"
#include "common/rootpath/rootpath.hpp"
#include "extension/contract/contract.hpp"

namespace {

constexpr char kPrefs[] = "/var/mobile/Library/Preferences/com.nu-falk.halvernic-prefs.plist";

// Declared first, and run alone by ctest: the first calls race for the one-time binding.
TEST(RootpathFallback, FirstCallsFromManyThreadsAgreeAndLibrootIsAbsent) {
  std::vector<std::string> results(8);
  {
    std::vector<std::thread> threads;
    for (auto& result : results) {
      threads.emplace_back([&result] {
        char buffer[rootpath::kBufferSize];
        const char* resolved = jbroot(kPrefs, buffer);
        result = resolved ? resolved : "(null)";
      });
    }
    for (auto& thread : threads) thread.join();
  }
  for (const auto& result : results) EXPECT_EQ(result, std::string("/var/jb") + kPrefs);
  EXPECT_EQ(dlopen(objc::platform::kLibrootImage, RTLD_NOW | RTLD_NOLOAD), nullptr)
      << "this program must run without libroot";
}

TEST(RootpathFallback, AbsoluteRelativeAndNullPaths) {
  char buffer[rootpath::kBufferSize];
  EXPECT_EQ(jbroot(kPrefs, buffer), buffer);
  EXPECT_STREQ(buffer, (std::string("/var/jb") + kPrefs).c_str());
  EXPECT_STREQ(jbroot("/", buffer), "/var/jb/");
  EXPECT_STREQ(jbroot("relative/path.plist", buffer), "relative/path.plist");
  EXPECT_STREQ(jbroot("", buffer), "");

  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(jbroot(nullptr, buffer), nullptr);
  EXPECT_EQ(buffer[0], 'x') << "a null path leaves the buffer untouched";

  EXPECT_EQ(halvernic::contract::resolvedPreferencesPath(), std::string("/var/jb") + kPrefs);
}

TEST(RootpathFallback, NullBufferGivesTheCallerANewOne) {
  char* resolved = jbroot("/etc/hosts", nullptr);
  ASSERT_NE(resolved, nullptr);
  EXPECT_STREQ(resolved, "/var/jb/etc/hosts");
  std::memset(resolved, 0, rootpath::kBufferSize);  // all of it is the caller's
  std::free(resolved);
  EXPECT_EQ(jbroot(nullptr, nullptr), nullptr);
}

TEST(RootpathFallback, LongPathsAreCutAtTheBufferWithoutWritingPastIt) {
  struct Guarded {
    char buffer[rootpath::kBufferSize];
    char guard[64];
  } g;
  std::memset(&g, '#', sizeof g);

  const std::string fits =
      "/" + std::string(rootpath::kBufferSize - 1 - 8, 'a');  // 1023 with prefix
  EXPECT_STREQ(jbroot(fits.c_str(), g.buffer), ("/var/jb" + fits).c_str());

  const std::string absolute = "/" + std::string(3000, 'b');
  ASSERT_EQ(jbroot(absolute.c_str(), g.buffer), g.buffer);
  EXPECT_EQ(std::strlen(g.buffer), rootpath::kBufferSize - 1);
  EXPECT_EQ(std::string(g.buffer), ("/var/jb" + absolute).substr(0, rootpath::kBufferSize - 1));

  const std::string relative(3000, 'c');
  ASSERT_EQ(jbroot(relative.c_str(), g.buffer), g.buffer);
  EXPECT_EQ(std::string(g.buffer), relative.substr(0, rootpath::kBufferSize - 1));

  for (char c : g.guard) ASSERT_EQ(c, '#') << "wrote past the 1024-byte buffer";
}

TEST(RootpathFallback, ResolvingInPlaceReadsThePathBeforeOverwritingIt) {
  char buffer[rootpath::kBufferSize];
  std::strcpy(buffer, "/usr/lib/libroot.dylib");
  EXPECT_STREQ(jbroot(buffer, buffer), "/var/jb/usr/lib/libroot.dylib");
}

// Without libroot the system's files are where the system keeps them.
TEST(RootpathFallback, SystemPathsStayAsTheyAre) {
  char buffer[rootpath::kBufferSize];
  constexpr char kLaunchd[] = "/System/Library/LaunchDaemons/com.apple.thermalmonitord.plist";
  EXPECT_EQ(rootfs(kLaunchd, buffer), buffer);
  EXPECT_STREQ(buffer, kLaunchd);
  EXPECT_STREQ(rootfs("relative", buffer), "relative");
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(rootfs(nullptr, buffer), nullptr);
  EXPECT_EQ(buffer[0], 'x');
  const std::string longPath = "/" + std::string(3000, 'd');
  EXPECT_EQ(std::string(rootfs(longPath.c_str(), buffer)),
            longPath.substr(0, rootpath::kBufferSize - 1));
}

}  // namespace
