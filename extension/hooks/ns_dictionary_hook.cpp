#include "extension/hooks/ns_dictionary_hook.hpp"

#include <string>

#include "common/objc/foundation.hpp"
#include "extension/config/dict_helper.hpp"
#include "extension/hooking/host.hpp"

namespace halvernic::hooks {
namespace {

bool inThermalConfigurationFolder(id path) {
  if (!objc::isString(path)) return false;
  return objc::toString(path).find(host::kThermalConfigurationFolder) != std::string::npos;
}

// +[NSDictionary dictionaryWithContentsOfFile:] (self is the class the message was sent
// to). The answer stays +0: a patched copy is autoreleased into the caller's pool.
id dictionaryWithContentsOfFile(hook::Orig<id(id)> orig, id self, id path) {
  id loaded = orig(self, path);
  if (!objc::isDictionary(loaded) || !inThermalConfigurationFolder(path) ||
      !objc::allKeysAreStrings(loaded)) {
    return loaded;
  }
  objc::Ref patched;
  {
    objc::AutoreleasePool pool;  // the walk's temporaries end here
    patched = HDictHepler::shared().patchThermalConfiguration(loaded);
  }
  if (!patched || patched.get() == loaded) return loaded;
  return objc::autorelease(patched.leak());
}

constexpr hook::Replacement kReplacements[] = {
    hook::classMethod<host::kDictionaryWithContentsOfFile, &dictionaryWithContentsOfFile>(),
};

}  // namespace

constinit const hook::ClassHook NSDictionaryHook{"NSDictionaryHook", host::kNSDictionary,
                                                 kReplacements};

}  // namespace halvernic::hooks
