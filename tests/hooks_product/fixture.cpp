#include "tests/hooks_product/fixture.hpp"

#include <gtest/gtest.h>

#include "common/objc/foundation.hpp"
#include "extension/hooks/common_product_class_hook.hpp"
#include "extension/hooks/component_control_hook.hpp"
#include "extension/hooks/hid_sensors_hook.hpp"
#include "extension/hooks/ns_dictionary_hook.hpp"

namespace hv_hooks_test {

namespace fs = std::filesystem;
namespace hook = halvernic::hook;
namespace hooks = halvernic::hooks;

void write_plist(const fs::path& path, id plist) {
  fs::create_directories(path.parent_path());
  ASSERT_TRUE(objc::writePropertyListXmlAtomically(plist, path.string())) << path;
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
