// Control Center's side of a module bundle: the folder CCSupport adds below the jailbreak
// root, and a bundle loaded from it as Control Center loads one (its executable, named by the
// Info property list, then the principal class).
#pragma once

#include <string>

#include "common/objc/runtime.hpp"

namespace hv_controlcenter_sim {

// The module folder below a device root.
inline constexpr char kModuleFolder[] = "var/jb/Library/ControlCenter/Bundles";

struct LoadedBundle {
  std::string path;        // the .bundle folder
  std::string identifier;  // CFBundleIdentifier
  Class principal = nullptr;
};

// Loads root/kModuleFolder/name.bundle. false (and a message) when the folder, its Info
// property list, its executable or its principal class is missing, or the class does not
// adopt CCUIContentModule.
bool load_module_bundle(const std::string& root, const std::string& name, LoadedBundle* bundle,
                        std::string* error);

}  // namespace hv_controlcenter_sim
