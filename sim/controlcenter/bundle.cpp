#include "sim/controlcenter/bundle.hpp"

#include <dlfcn.h>

#include <filesystem>

#include "common/objc/foundation.hpp"
#include "common/objc/ref.hpp"
#include "common/ui/controlcenter.hpp"

namespace hv_controlcenter_sim {

namespace fs = std::filesystem;

bool load_module_bundle(const std::string& root, const std::string& name, LoadedBundle* bundle,
                        std::string* error) {
  objc::AutoreleasePool pool;
  const fs::path folder = fs::path(root) / kModuleFolder / (name + ".bundle");
  if (!fs::is_directory(folder)) {
    *error = "no module bundle at " + folder.string();
    return false;
  }
  objc::Ref info = objc::readPropertyListFile((folder / "Info.plist").string());
  if (!objc::isDictionary(info.get())) {
    *error = "no readable Info.plist in " + folder.string();
    return false;
  }
  const std::string executable =
      objc::toString(objc::dictionaryGet(info.get(), "CFBundleExecutable"));
  const std::string principal = objc::toString(objc::dictionaryGet(info.get(), "NSPrincipalClass"));
  if (executable.empty() || principal.empty()) {
    *error = folder.string() + ": Info.plist names no CFBundleExecutable or NSPrincipalClass";
    return false;
  }
  const fs::path binary = folder / executable;
  if (!dlopen(binary.c_str(), RTLD_NOW | RTLD_GLOBAL)) {
    const char* why = dlerror();
    *error = "cannot load " + binary.string() + ": " + (why ? why : "unknown error");
    return false;
  }
  Class principal_class = objc::cls(principal.c_str());
  if (!principal_class) {
    *error = binary.string() + " defines no class " + principal;
    return false;
  }
  Protocol* module_protocol = objc_getProtocol(halvernic::ui::kCCUIContentModuleProtocol);
  if (!module_protocol || !class_conformsToProtocol(principal_class, module_protocol)) {
    *error = principal + " does not adopt " + halvernic::ui::kCCUIContentModuleProtocol;
    return false;
  }
  bundle->path = folder.string();
  bundle->identifier = objc::toString(objc::dictionaryGet(info.get(), "CFBundleIdentifier"));
  bundle->principal = principal_class;
  return true;
}

}  // namespace hv_controlcenter_sim
