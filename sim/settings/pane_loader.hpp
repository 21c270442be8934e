// Finding and loading a tweak's Settings pane as PreferenceLoader does on a device: the
// entries under /var/jb/Library/PreferenceLoader/Preferences name a bundle in
// /var/jb/Library/PreferenceBundles, whose Info names the principal class.
#pragma once

#include <string>
#include <vector>

#include "common/objc/runtime.hpp"

namespace halvernic::sim::settings {

struct PaneEntry {
  std::string entry_file;   // the loader entry's property list
  std::string label;        // the entry's label (the row in Settings' list)
  std::string bundle_path;  // .../PreferenceBundles/<bundle>.bundle
  std::string controller;   // the entry's "detail", else empty (the principal class is used)
};

// The entries below device_root that name a bundle, sorted by file name.
std::vector<PaneEntry> find_panes(const std::string& device_root);

// Loads the entry's bundle binary (as CFBundleExecutable names it) and answers its
// controller class: the entry's "detail" if given, else the Info's NSPrincipalClass.
// nullptr with a reason in error when the bundle, its binary or the class is missing.
Class load_pane(const PaneEntry& entry, std::string& error);

}  // namespace halvernic::sim::settings
