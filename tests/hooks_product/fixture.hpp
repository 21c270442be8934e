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

namespace hv_hooks_test {

// One device root per process (libroot binds it once): a fresh temporary folder.
const std::filesystem::path& device_root();

// The engine's preferences file, below the device root (its folder exists).
const std::string& preferences_path();

// Replaces the preferences file with these entries (a key and a string, Boolean or
// number), or removes it for an empty list.
void write_preferences(std::initializer_list<std::pair<const char*, id>> entries);

// Writes a property list to path (folders created).
void write_plist(const std::filesystem::path& path, id plist);

// Installs CommonProductClassHook, HidSensorsHook, ComponentControlHook and
// NSDictionaryHook once per process. Answers the number of replacements in place; what
// the layer reported as skipped is in install_errors().
std::size_t install_product_hooks();
const std::vector<std::string>& install_errors();

}  // namespace hv_hooks_test
