#include "extension/osthermal/thermal_status_store.hpp"

#include <CoreFoundation/CoreFoundation.h>
#include <SystemConfiguration/SystemConfiguration.h>
#include <dlfcn.h>

#include "common/objc/foundation.hpp"
#include "common/objc/runtime.hpp"

namespace halvernic::osthermal {

namespace {

// The calls are not declared for iOS; these are their documented signatures.
using CreateFunction = SCPreferencesRef (*)(CFAllocatorRef, CFStringRef, CFStringRef);
using CopyKeyListFunction = CFArrayRef (*)(SCPreferencesRef);
using GetValueFunction = CFPropertyListRef (*)(SCPreferencesRef, CFStringRef);
using ReleaseFunction = void (*)(CFTypeRef);

template <class Function>
Function lookup(const char* name) noexcept {
  return reinterpret_cast<Function>(dlsym(RTLD_DEFAULT, name));
}

// A CF reference is the Foundation object.
id objectOf(CFTypeRef reference) noexcept {
  return const_cast<id>(static_cast<const objc_object*>(reference));
}

ThermalStatusReading failure(std::string problem) {
  ThermalStatusReading reading;
  reading.status = kSCStatusFailed;
  reading.problem = std::move(problem);
  return reading;
}

}  // namespace

ThermalStatusReading readThermalStatusStore() noexcept {
  try {
    auto create = lookup<CreateFunction>("SCPreferencesCreate");
    auto copyKeys = lookup<CopyKeyListFunction>("SCPreferencesCopyKeyList");
    auto get = lookup<GetValueFunction>("SCPreferencesGetValue");
    auto release = lookup<ReleaseFunction>("CFRelease");
    if (!create || !copyKeys || !get || !release) {
      return failure("SystemConfiguration is not available");
    }
    objc::AutoreleasePool pool;
    objc::Ref name = objc::makeString(kThermalStatusHandleName);
    objc::Ref identifier = objc::makeString(kThermalStatusIdentifier);
    SCPreferencesRef prefs = create(nullptr, reinterpret_cast<CFStringRef>(name.get()),
                                    reinterpret_cast<CFStringRef>(identifier.get()));
    if (!prefs) return failure("the store could not be opened");
    ThermalStatusReading reading;
    reading.values = objc::makeMutableDictionary();
    if (CFArrayRef keys = copyKeys(prefs)) {
      id list = objectOf(keys);
      for (std::size_t i = 0, n = objc::count(list); i < n; ++i) {
        id key = objc::arrayGet(list, i);
        if (!objc::isString(key)) continue;
        if (CFPropertyListRef value = get(prefs, reinterpret_cast<CFStringRef>(key))) {
          objc::dictionarySet(reading.values.get(), key, objectOf(value));
        }
      }
      release(keys);
    }
    release(prefs);
    return reading;
  } catch (...) {
    return failure("the store could not be read");
  }
}

}  // namespace halvernic::osthermal
