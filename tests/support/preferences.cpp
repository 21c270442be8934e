#include "tests/support/preferences.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "common/objc/foundation.hpp"
#include "extension/contract/contract.hpp"

namespace hv_test {

namespace fs = std::filesystem;

const fs::path& device_root() {
  static const fs::path root = [] {
    fs::path dir = fs::temp_directory_path() / ("hv-test-device-" + std::to_string(getpid()));
    fs::create_directories(dir);
    setenv("HALVERNIC_DEVICE_ROOT", dir.c_str(), 1);
    return dir;
  }();
  return root;
}

const std::string& preferences_path() {
  static const std::string path = [] {
    const fs::path& root = device_root();
    std::string resolved = halvernic::contract::resolvedPreferencesPath();
    EXPECT_EQ(resolved.rfind(root.string(), 0), 0u) << "not below the device root: " << resolved;
    fs::create_directories(fs::path(resolved).parent_path());
    return resolved;
  }();
  return path;
}

void write_preferences(std::initializer_list<std::pair<const char*, id>> entries) {
  const std::string& path = preferences_path();
  if (entries.size() == 0) {
    fs::remove(path);
    return;
  }
  objc::AutoreleasePool pool;
  objc::Ref dictionary = objc::makeMutableDictionary();
  for (const auto& [key, value] : entries) objc::dictionarySet(dictionary.get(), key, value);
  ASSERT_TRUE(objc::writePropertyListXmlAtomically(dictionary.get(), path)) << path;
}

}  // namespace hv_test
