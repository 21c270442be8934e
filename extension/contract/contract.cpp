#include "extension/contract/contract.hpp"

#include <algorithm>

#include "common/objc/foundation.hpp"
#include "common/objc/ref.hpp"
#include "common/rootpath/rootpath.hpp"

namespace halvernic::contract {

PowerMode normalize_power_mode(id value) noexcept {
  if (!objc::is_string(value)) return PowerMode::off;
  if (objc::string_equals(value, power_mode_value(PowerMode::lowPower))) return PowerMode::lowPower;
  if (objc::string_equals(value, power_mode_value(PowerMode::fullPower))) return PowerMode::fullPower;
  return PowerMode::off;
}

PowerMode power_mode_of(id preferences) noexcept {
  if (!objc::is_dictionary(preferences)) return PowerMode::off;
  objc::AutoreleasePool pool;
  id value = nullptr;
  try {
    value = objc::dictionary_get(preferences, kPowerModeKey);
  } catch (...) {
    return PowerMode::off;
  }
  return normalize_power_mode(value);
}

std::optional<bool> engine_bool_value(id value) noexcept {
  if (!value) return std::nullopt;
  if (objc::is_boolean(value)) return objc::platform_bool_value(value);
  if (objc::is_number(value)) return objc::double_value(value) != 0.0;
  if (!objc::is_string(value)) return std::nullopt;
  std::string text;
  try {
    text = objc::to_string(value);
  } catch (...) {
    return false;
  }
  // The four true words are ASCII and no other character lower-cases into ASCII letters
  // or digits, so an ASCII lower-casing decides exactly as a full Unicode one would.
  std::transform(text.begin(), text.end(), text.begin(), [](char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return text == "1" || text == "true" || text == "yes" || text == "on";
}

bool engine_bool_preference(id preferences, std::string_view key, bool fallback) {
  if (!objc::is_dictionary(preferences)) return fallback;
  objc::AutoreleasePool pool;
  return engine_bool_value(objc::dictionary_get(preferences, key)).value_or(fallback);
}

std::string resolved_preferences_path() {
  char buffer[rootpath::kBufferSize];
  const char* resolved = jbroot(kPreferencesPath, buffer);
  return resolved ? std::string(resolved) : std::string();
}

objc::Ref read_preferences(std::string_view path) {
  objc::AutoreleasePool pool;
  objc::Ref preferences = objc::read_property_list_file(path);
  if (!objc::is_dictionary(preferences.get())) return objc::Ref();
  return preferences;
}

bool write_preference_value(std::string_view path, std::string_view key, id value) {
  objc::AutoreleasePool pool;
  objc::Ref preferences = read_preferences(path);
  if (!preferences) preferences = objc::make_mutable_dictionary();
  if (value) {
    objc::dictionary_set(preferences.get(), key, value);
  } else {
    objc::dictionary_remove(preferences.get(), key);
  }
  for (const char* reset_key : kModeResetKeys) objc::dictionary_remove(preferences.get(), reset_key);
  return objc::write_property_list_xml_atomically(preferences.get(), path);
}

}  // namespace halvernic::contract
