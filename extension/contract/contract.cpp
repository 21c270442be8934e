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

namespace {

constexpr std::int64_t kSecond = 1'000'000'000;

std::int64_t whole_seconds(std::int64_t nanoseconds) noexcept {
  const std::int64_t seconds = nanoseconds / kSecond;
  return (nanoseconds % kSecond < 0) ? seconds - 1 : seconds;
}

// Whether a file with this stamp, parsed at now, may still be rewritten without its stamp
// changing. A file system that keeps whole seconds gives every write within one second the
// same times: while the file's second is not earlier than the parse's, a same-size rewrite
// in place later in that second looks like no change (git's "racily clean"). With finer
// times, a write within the window of the parse may still fall within one tick of the
// clock that stamped the file (a coarse clock, lagging the wall clock by up to a tick).
bool racily_clean(const os::FileStamp& stamp, std::int64_t window, std::int64_t now) noexcept {
  const std::int64_t latest = std::max(stamp.modified_ns, stamp.changed_ns);
  return whole_seconds(latest) >= whole_seconds(now) || stamp.changed_within(window, now);
}

}  // namespace

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
  racy_ = racily_clean(*stamp, window_, wallClock_());
  last_ = plist;
  return Reading{std::move(plist), true, sequence};
}

void PreferencesFileReader::reset() noexcept {
  std::lock_guard lock(mutex_);
  kept_ = Kept::nothing;
  last_ = objc::Ref();
}

std::string resolved_jailbreak_root() {
  char buffer[rootpath::kBufferSize];
  const char* resolved = jbroot("/", buffer);
  std::string root = resolved ? std::string(resolved) : std::string();
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return root;
}

bool write_preference_value(std::string_view path, std::string_view key, id value,
                            const WriteOptions& options) {
  if (path.empty()) return false;
  const std::string file(path);
  const std::size_t slash = file.find_last_of('/');
  if (slash != std::string::npos && slash > 0) {
    const std::string below = options.foldersBelow.empty() ? resolved_jailbreak_root()
                                                           : options.foldersBelow;
    const std::string folder = file.substr(0, slash);
    // Only missing folders are made, and only below the root: a folder missing elsewhere
    // fails the write, as it always did.
    if (os::entry_at(folder) == os::Entry::none &&
        !os::make_folders(folder, below, options.ownership)) {
      return false;
    }
  }

  objc::AutoreleasePool pool;
  objc::Ref preferences = read_preferences(path);
  if (!preferences) {
    preferences = objc::make_mutable_dictionary();
    // A file (or a link) there could not be read: kept aside, never overwritten. One that
    // another writer put in place since the reading is kept aside the same way. A folder
    // in the file's place is left alone, and the write fails on it.
    if (os::entry_at(file) == os::Entry::other && !os::set_aside(file, kUnreadableSuffix)) {
      return false;
    }
  }
  if (value) {
    objc::dictionary_set(preferences.get(), key, value);
  } else {
    objc::dictionary_remove(preferences.get(), key);
  }
  for (const char* reset_key : kModeResetKeys) objc::dictionary_remove(preferences.get(), reset_key);
  return objc::write_property_list_xml_atomically(preferences.get(), path, options.ownership);
}

}  // namespace halvernic::contract
