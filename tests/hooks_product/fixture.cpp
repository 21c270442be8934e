#include "tests/hooks_product/fixture.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "common/objc/foundation.hpp"
#include "extension/contract/contract.hpp"
#include "extension/hooks/common_product_class_hook.hpp"
#include "extension/hooks/component_control_hook.hpp"
#include "extension/hooks/hid_sensors_hook.hpp"
#include "extension/hooks/ns_dictionary_hook.hpp"

namespace hv_hooks_test {

namespace fs = std::filesystem;
namespace hook = halvernic::hook;
namespace hooks = halvernic::hooks;

const fs::path& device_root() {
  static const fs::path root = [] {
    fs::path dir = fs::temp_directory_path() / ("hv-hooks-product-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    setenv("HALVERNIC_DEVICE_ROOT", dir.c_str(), 1);
    return dir;
  }();
  return root;
}

const std::string& preferences_path() {
  static const std::string path = [] {
    device_root();
    std::string resolved = halvernic::contract::resolved_preferences_path();
    fs::create_directories(fs::path(resolved).parent_path());
    return resolved;
  }();
  return path;
}

void write_plist(const fs::path& path, id plist) {
  fs::create_directories(path.parent_path());
  ASSERT_TRUE(objc::write_property_list_xml_atomically(plist, path.string())) << path;
}

void write_preferences(std::initializer_list<std::pair<const char*, id>> entries) {
  const std::string& path = preferences_path();
  if (entries.size() == 0) {
    fs::remove(path);
    return;
  }
  objc::AutoreleasePool pool;
  objc::Ref dictionary = objc::make_mutable_dictionary();
  for (const auto& [key, value] : entries) objc::dictionary_set(dictionary.get(), key, value);
  write_plist(path, dictionary.get());
}

namespace {

struct RecordingTweak : hook::Tweak {
  std::vector<std::string> errors;
  void handleError(const hook::HookError& error) override { errors.push_back(error.description()); }
};

RecordingTweak& tweak() {
  static RecordingTweak* instance = new RecordingTweak();
  return *instance;
}

}  // namespace

std::size_t install_product_hooks() {
  static const std::size_t installed = [] {
    const hook::ClassHook* list[] = {&hooks::CommonProductClassHook, &hooks::HidSensorsHook,
                                      &hooks::ComponentControlHook, &hooks::NSDictionaryHook};
    return hook::install(tweak(), list);
  }();
  return installed;
}

const std::vector<std::string>& install_errors() { return tweak().errors; }

}  // namespace hv_hooks_test
