#include "extension/contract/contract.hpp"

#include <algorithm>
#include <utility>

#include "common/objc/foundation.hpp"
#include "common/objc/ref.hpp"
#include "common/plist/scan.hpp"
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

PreferencesFileContents read_preferences_file(std::string_view path) {
  PreferencesFileContents contents;
  std::string bytes;
  switch (os::read_file(std::string(path).c_str(), kMaxPreferencesFileSize, bytes)) {
    case os::ReadStatus::ok:
      break;
    case os::ReadStatus::missing:
      return contents;
    case os::ReadStatus::tooLarge:
    case os::ReadStatus::failed:
      contents.status = PreferencesFileStatus::unreadable;
      return contents;
  }
  contents.status = PreferencesFileStatus::unreadable;
  if (plist::scan(bytes.data(), bytes.size()) == plist::Form::refused) return contents;
  objc::AutoreleasePool pool;
  try {
    objc::Ref data = objc::make_data(bytes);
    contents.propertyList = objc::parse_property_list(data.get());
  } catch (...) {
    contents.propertyList = objc::Ref();
  }
  if (contents.propertyList) contents.status = PreferencesFileStatus::read;
  return contents;
}

objc::Ref read_preferences_property_list(std::string_view path) {
  return read_preferences_file(path).propertyList;
}

objc::Ref read_preferences(std::string_view path) {
  objc::AutoreleasePool pool;
  objc::Ref preferences = read_preferences_property_list(path);
  if (!objc::is_dictionary(preferences.get())) return objc::Ref();
  return preferences;
}

PreferencesFileReader::PreferencesFileReader(std::string path, std::int64_t windowNanoseconds,
                                             StatFunction stat, Clock wallClock)
    : path_(std::move(path)), window_(windowNanoseconds), stat_(stat), wallClock_(wallClock) {}

PreferencesFileReader::Reading PreferencesFileReader::read() {
  std::lock_guard lock(mutex_);
  // The stamp is taken before the file is read: a file replaced meanwhile is read new and
  // stamped old, which only costs one more parse at the next reading.
  const std::uint64_t sequence = ++sequence_;
  const std::optional<os::FileStamp> stamp = stat_(path_.c_str());
  if (!stamp) {
    if (kept_ == Kept::missing) return Reading{last_, false, sequence};
    kept_ = Kept::missing;
    last_ = objc::Ref();
    return Reading{objc::Ref(), true, sequence};
  }
  if (kept_ == Kept::file && *stamp == stamp_ && !racy_) return Reading{last_, false, sequence};
  objc::Ref plist = read_preferences_property_list(path_);
  parses_.fetch_add(1, std::memory_order_relaxed);
  kept_ = Kept::file;
  stamp_ = *stamp;
  racy_ = stamp->changed_within(window_, wallClock_());
  last_ = plist;
  return Reading{std::move(plist), true, sequence};
}

void PreferencesFileReader::reset() noexcept {
  std::lock_guard lock(mutex_);
  kept_ = Kept::nothing;
  last_ = objc::Ref();
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
