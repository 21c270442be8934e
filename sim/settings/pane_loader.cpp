#include "sim/settings/pane_loader.hpp"

#include <dlfcn.h>

#include <algorithm>
#include <filesystem>

#include "common/objc/foundation.hpp"

namespace halvernic::sim::settings {

namespace fs = std::filesystem;

std::vector<PaneEntry> find_panes(const std::string& device_root) {
  std::vector<PaneEntry> panes;
  const fs::path jb = fs::path(device_root) / "var/jb";
  const fs::path entries = jb / "Library/PreferenceLoader/Preferences";
  std::error_code ec;
  std::vector<fs::path> files;
  for (const auto& item : fs::directory_iterator(entries, ec)) {
    if (item.path().extension() == ".plist") files.push_back(item.path());
  }
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) {
    objc::AutoreleasePool pool;
    objc::Ref plist = objc::readPropertyListFile(file.string());
    id entry = objc::dictionaryGet(plist.get(), "entry");
    id bundle = objc::dictionaryGet(entry, "bundle");
    if (!objc::isString(bundle)) continue;
    PaneEntry pane;
    pane.entry_file = file.string();
    pane.label = objc::toString(objc::dictionaryGet(entry, "label"));
    pane.bundle_path =
        (jb / "Library/PreferenceBundles" / (objc::toString(bundle) + ".bundle")).string();
    pane.controller = objc::toString(objc::dictionaryGet(entry, "detail"));
    panes.push_back(std::move(pane));
  }
  return panes;
}

Class load_pane(const PaneEntry& entry, std::string& error) {
  objc::AutoreleasePool pool;
  const fs::path bundle(entry.bundle_path);
  objc::Ref info = objc::readPropertyListFile((bundle / "Info.plist").string());
  if (!objc::isDictionary(info.get())) {
    error = "no bundle at " + entry.bundle_path + " (or its Info.plist is unreadable)";
    return nullptr;
  }
  const std::string executable =
      objc::toString(objc::dictionaryGet(info.get(), "CFBundleExecutable"));
  const fs::path binary = bundle / executable;
  if (executable.empty() || !fs::is_regular_file(binary)) {
    error = "the bundle " + entry.bundle_path + " has no binary";
    return nullptr;
  }
  if (!::dlopen(binary.c_str(), RTLD_NOW | RTLD_GLOBAL)) {
    error = "cannot load " + binary.string() + ": " + ::dlerror();
    return nullptr;
  }
  std::string name = entry.controller;
  if (name.empty()) name = objc::toString(objc::dictionaryGet(info.get(), "NSPrincipalClass"));
  Class controller = name.empty() ? nullptr : objc::cls(name.c_str());
  if (!controller) error = "the bundle " + entry.bundle_path + " defines no class \"" + name + "\"";
  return controller;
}

}  // namespace halvernic::sim::settings
