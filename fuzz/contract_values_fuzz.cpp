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
  const contract::PowerMode mode = contract::normalize_power_mode(value);
  if (mode != contract::PowerMode::off) {
    if (!objc::is_string(value)) hv_fuzz::fail("a mode from a non-string");
    if (!objc::string_equals(value, contract::power_mode_value(mode))) hv_fuzz::fail("a mode from another string");
  } else if (objc::is_string(value) &&
             (objc::string_equals(value, "lowPower") || objc::string_equals(value, "fullPower"))) {
    hv_fuzz::fail("a mode string read as off");
  }

  const std::optional<bool> truth = contract::engine_bool_value(value);
  if (!value || !(objc::is_number(value) || objc::is_string(value))) {
    if (truth) hv_fuzz::fail("a Boolean from a value that has none");
    return;
  }
  if (!truth) hv_fuzz::fail("no Boolean from a number or a string");
  if (objc::is_string(value)) {
    const std::string lowered = objc::to_string(objc::send<id>(value, objc::sel("lowercaseString")));
    const bool expected = lowered == "1" || lowered == "true" || lowered == "yes" || lowered == "on";
    if (*truth != expected) hv_fuzz::fail("a string's Boolean is not its lower-cased reading");
  }
}

void check_each(id container) {
  if (objc::is_dictionary(container)) {
    objc::for_each_entry(container, [](id key, id value) {
      check_value(key);
      check_value(value);
      return true;
    });
  } else if (objc::is_array(container)) {
    for (std::size_t i = 0; i < objc::count(container); ++i) check_value(objc::array_get(container, i));
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
  objc::Ref plist = objc::parse_property_list(data);
  id root = plist.get();
  check_value(root);
  check_each(root);
  if (objc::is_dictionary(root)) {
    (void)contract::power_mode_of(root);
    for (const char* key : {contract::kPreventDimmingKey, contract::kSuppressNotificationsKey,
                            contract::kDisablePocketSunlightKey, contract::kSunlightLockedKey}) {
      const std::optional<bool> truth = contract::engine_bool_value(objc::dictionary_get(root, key));
      if (contract::engine_bool_preference(root, key, false) != truth.value_or(false) ||
          contract::engine_bool_preference(root, key, true) != truth.value_or(true)) {
        hv_fuzz::fail("a preference is not its value's Boolean with the fallback");
      }
    }
    objc::for_each_entry(root, [](id, id value) {
      check_each(value);
      return true;
    });
  } else if (contract::power_mode_of(root) != contract::PowerMode::off) {
    hv_fuzz::fail("a mode from preferences that are no dictionary");
  }
  return 0;
}
