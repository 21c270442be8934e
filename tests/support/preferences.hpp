// The preferences file as the engine and the hooks find it: below a device root of the
// test program's own, through jbroot and the libroot stand-in.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <string>
#include <utility>

#include "common/objc/runtime.hpp"

namespace hv_test {

// A fresh folder for this program, exported as HALVERNIC_DEVICE_ROOT on first use. libroot
// binds the root once per process, so call this before anything resolves a path.
const std::filesystem::path& device_root();

// The preferences file's resolved path below device_root(); its folder exists.
const std::string& preferences_path();

// Writes the preferences file (an XML property list, atomically) with these entries; no
// entries removes the file.
void write_preferences(std::initializer_list<std::pair<const char*, id>> entries);

}  // namespace hv_test
