// libFuzzer target: the contract's readings of stored values. The input is parsed as a
// property list; every value in it (the root, a dictionary's entries, an array's elements,
// one level down) is read as a mode and as the engine reads a Boolean. A mode is "lowPower"
// or "fullPower" only for exactly those strings; a string's Boolean is the platform's
// lower-casing compared with the four true words; nothing may crash or raise.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/objc/foundation.hpp"
#include "extension/contract/contract.hpp"
#include "fuzz/fuzz_support.hpp"

namespace contract = halvernic::contract;

namespace {

void check_value(id value) {
  const contract::PowerMode mode = contract::normalizePowerMode(value);
  if (mode != contract::PowerMode::off) {
    if (!objc::isString(value)) hv_fuzz::fail("a mode from a non-string");
    if (!objc::stringEquals(value, contract::powerModeValue(mode)))
      hv_fuzz::fail("a mode from another string");
  } else if (objc::isString(value) &&
             (objc::stringEquals(value, "lowPower") || objc::stringEquals(value, "fullPower"))) {
    hv_fuzz::fail("a mode string read as off");
  }

  const std::optional<bool> truth = contract::engineBoolValue(value);
  if (!value || !(objc::isNumber(value) || objc::isString(value))) {
    if (truth) hv_fuzz::fail("a Boolean from a value that has none");
    return;
  }
  if (!truth) hv_fuzz::fail("no Boolean from a number or a string");
  if (objc::isString(value)) {
    const std::string lowered = objc::toString(objc::send<id>(value, objc::sel("lowercaseString")));
    const bool expected =
        lowered == "1" || lowered == "true" || lowered == "yes" || lowered == "on";
    if (*truth != expected) hv_fuzz::fail("a string's Boolean is not its lower-cased reading");
  }
}

void check_each(id container) {
  if (objc::isDictionary(container)) {
    objc::forEachEntry(container, [](id key, id value) {
      check_value(key);
      check_value(value);
      return true;
    });
  } else if (objc::isArray(container)) {
    for (std::size_t i = 0; i < objc::count(container); ++i)
      check_value(objc::arrayGet(container, i));
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  hv_fuzz::set_up();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  objc::AutoreleasePool pool;
  id data = objc::send<id>(objc::cls("NSData"), objc::sel("dataWithBytes:length:"),
                           static_cast<const void*>(bytes), static_cast<unsigned long>(size));
  objc::Ref plist = objc::parsePropertyList(data);
  id root = plist.get();
  check_value(root);
  check_each(root);
  if (objc::isDictionary(root)) {
    (void)contract::powerModeOf(root);
    for (const char* key : {contract::kPreventDimmingKey, contract::kSuppressNotificationsKey,
                            contract::kDisablePocketSunlightKey, contract::kSunlightLockedKey}) {
      const std::optional<bool> truth = contract::engineBoolValue(objc::dictionaryGet(root, key));
      if (contract::engineBoolPreference(root, key, false) != truth.value_or(false) ||
          contract::engineBoolPreference(root, key, true) != truth.value_or(true)) {
        hv_fuzz::fail("a preference is not its value's Boolean with the fallback");
      }
    }
    objc::forEachEntry(root, [](id, id value) {
      check_each(value);
      return true;
    });
  } else if (contract::powerModeOf(root) != contract::PowerMode::off) {
    hv_fuzz::fail("a mode from preferences that are no dictionary");
  }
  return 0;
}
