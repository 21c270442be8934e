// What both programs of this folder share: the device root the engine's preferences file
// lives under, writing that file, and installing the four hook classes.
#pragma once

#include <cstddef>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "common/objc/runtime.hpp"
#include "tests/support/preferences.hpp"

namespace hv_hooks_test {

// The device root, the engine's preferences file below it, and writing that file.
using hv_test::device_root;
using hv_test::preferences_path;
using hv_test::write_preferences;

// Writes a property list to path (folders created).
void write_plist(const std::filesystem::path& path, id plist);

// Installs CommonProductClassHook, HidSensorsHook, ComponentControlHook and
// NSDictionaryHook once per process. Answers the number of replacements in place; what
// the layer reported as skipped is in install_errors().
std::size_t install_product_hooks();
const std::vector<std::string>& install_errors();

}  // namespace hv_hooks_test
