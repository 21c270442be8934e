// libFuzzer target: arbitrary bytes read as a property list (any format), as the daemon's
// configuration files and the preferences file are; then the thermal configuration
// patcher over whatever dictionary comes out, and the preferences read from it the way
// the engine and the replacement layer read them. None of it may crash, raise or hang.
#include <cstddef>
#include <cstdint>

#include "common/objc/foundation.hpp"
#include "common/objc/thread.hpp"
#include "extension/config/dict_helper.hpp"
#include "extension/contract/contract.hpp"

namespace {

struct AlwaysDimmingEngine final : HDictHepler::Engine {
  bool preventDimmingEnabled() override { return true; }
  void observeComponentPower(std::int64_t) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  static const bool attached = [] {
    objc::attachCurrentThread();
    return true;
  }();
  (void)attached;
  static AlwaysDimmingEngine engine;
  static HDictHepler patcher(engine);

  objc::AutoreleasePool pool;
  id data = objc::send<id>(objc::cls("NSData"), objc::sel("dataWithBytes:length:"),
                           static_cast<const void*>(bytes), static_cast<unsigned long>(size));
  objc::Ref plist = objc::parsePropertyList(data);
  if (objc::isDictionary(plist.get())) {
    objc::Ref patched = patcher.patchThermalConfiguration(plist.get());
    if (!patched) __builtin_trap();  // never nil for a dictionary

    namespace contract = halvernic::contract;
    (void)contract::powerModeOf(plist.get());
    for (const char* key : {contract::kPreventDimmingKey, contract::kSuppressNotificationsKey,
                            contract::kDisablePocketSunlightKey, contract::kSunlightLockedKey}) {
      (void)contract::engineBoolPreference(plist.get(), key, false);
      (void)objc::platformBoolValue(objc::dictionaryGet(plist.get(), key));
    }
  }
  if (objc::isArray(plist.get())) {
    for (std::size_t i = 0; i < objc::count(plist.get()) && i < 8; ++i) {
      (void)HDictHepler::configIntegerValue(objc::arrayGet(plist.get(), i));
    }
  } else {
    (void)HDictHepler::configIntegerValue(plist.get());
  }
  return 0;
}
