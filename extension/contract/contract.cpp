#include "extension/contract/contract.hpp"

#include <algorithm>
#include <utility>

#include "common/objc/foundation.hpp"
#include "common/objc/ref.hpp"
#include "common/plist/scan.hpp"
#include "common/rootpath/rootpath.hpp"

namespace halvernic::contract {

PowerMode normalizePowerMode(id value) noexcept {
  if (!objc::isString(value)) return PowerMode::off;
  if (objc::stringEquals(value, powerModeValue(PowerMode::lowPower))) return PowerMode::lowPower;
  if (objc::stringEquals(value, powerModeValue(PowerMode::fullPower))) return PowerMode::fullPower;
  return PowerMode::off;
}

PowerMode powerModeOf(id preferences) noexcept {
  if (!objc::isDictionary(preferences)) return PowerMode::off;
  objc::AutoreleasePool pool;
  id value = nullptr;
  try {
    value = objc::dictionaryGet(preferences, kPowerModeKey);
  } catch (...) {
    return PowerMode::off;
  }
  return normalizePowerMode(value);
}

std::optional<bool> engineBoolValue(id value) noexcept {
  if (!value) return std::nullopt;
  if (objc::isBoolean(value)) return objc::platformBoolValue(value);
  if (objc::isNumber(value)) return objc::doubleValue(value) != 0.0;
  if (!objc::isString(value)) return std::nullopt;
  std::string text;
  try {
    text = objc::toString(value);
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

bool engineBoolPreference(id preferences, std::string_view key, bool fallback) {
  if (!objc::isDictionary(preferences)) return fallback;
  objc::AutoreleasePool pool;
  return engineBoolValue(objc::dictionaryGet(preferences, key)).value_or(fallback);
}

std::string resolvedPreferencesPath() {
  char buffer[rootpath::kBufferSize];
  const char* resolved = jbroot(kPreferencesPath, buffer);
  return resolved ? std::string(resolved) : std::string();
}

PreferencesFileContents readPreferencesFile(std::string_view path) {
  PreferencesFileContents contents;
  std::string bytes;
  switch (os::readFile(std::string(path).c_str(), kMaxPreferencesFileSize, bytes)) {
    case os::ReadStatus::ok: break;
    case os::ReadStatus::missing: return contents;
    case os::ReadStatus::tooLarge:
    case os::ReadStatus::failed:
      contents.status = PreferencesFileStatus::unreadable;
      return contents;
  }
  contents.status = PreferencesFileStatus::unreadable;
  if (plist::scan(bytes.data(), bytes.size()) == plist::Form::refused) return contents;
  objc::AutoreleasePool pool;
  try {
    objc::Ref data = objc::makeData(bytes);
    contents.propertyList = objc::parsePropertyList(data.get());
  } catch (...) {
    contents.propertyList = objc::Ref();
  }
  if (contents.propertyList) contents.status = PreferencesFileStatus::read;
  return contents;
}

objc::Ref readPreferencesPropertyList(std::string_view path) {
  return readPreferencesFile(path).propertyList;
}

objc::Ref readPreferences(std::string_view path) {
  objc::AutoreleasePool pool;
  objc::Ref preferences = readPreferencesPropertyList(path);
  if (!objc::isDictionary(preferences.get())) return objc::Ref();
  return preferences;
}

namespace {

constexpr std::int64_t kSecond = 1'000'000'000;

std::int64_t wholeSeconds(std::int64_t nanoseconds) noexcept {
  const std::int64_t seconds = nanoseconds / kSecond;
  return (nanoseconds % kSecond < 0) ? seconds - 1 : seconds;
}

// Whether a file with this stamp, parsed at now, may still be rewritten without its stamp
// changing. A file system that keeps whole seconds gives every write within one second the
// same times: while the file's second is not earlier than the parse's, a same-size rewrite
// in place later in that second looks like no change (git's "racily clean"). With finer
// times, a write within the window of the parse may still fall within one tick of the
// clock that stamped the file (a coarse clock, lagging the wall clock by up to a tick).
bool racilyClean(const os::FileStamp& stamp, std::int64_t window, std::int64_t now) noexcept {
  const std::int64_t latest = std::max(stamp.modified_ns, stamp.changed_ns);
  return wholeSeconds(latest) >= wholeSeconds(now) || stamp.changedWithin(window, now);
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
  objc::Ref plist = readPreferencesPropertyList(path_);
  parses_.fetch_add(1, std::memory_order_relaxed);
  kept_ = Kept::file;
  stamp_ = *stamp;
  racy_ = racilyClean(*stamp, window_, wallClock_());
  last_ = plist;
  return Reading{std::move(plist), true, sequence};
}

void PreferencesFileReader::reset() noexcept {
  std::lock_guard lock(mutex_);
  kept_ = Kept::nothing;
  last_ = objc::Ref();
}

std::string resolvedJailbreakRoot() {
  char buffer[rootpath::kBufferSize];
  const char* resolved = jbroot("/", buffer);
  std::string root = resolved ? std::string(resolved) : std::string();
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return root;
}

bool writePreferenceValue(std::string_view path, std::string_view key, id value,
                          const WriteOptions& options) {
  if (path.empty()) return false;
  const std::string file(path);
  const std::size_t slash = file.find_last_of('/');
  if (slash != std::string::npos && slash > 0) {
    const std::string below =
        options.foldersBelow.empty() ? resolvedJailbreakRoot() : options.foldersBelow;
    const std::string folder = file.substr(0, slash);
    // Only missing folders are made, and only below the root: a folder missing elsewhere
    // fails the write, as it always did.
    if (os::entryAt(folder) == os::Entry::none &&
        !os::makeFolders(folder, below, options.ownership)) {
      return false;
    }
  }

  objc::AutoreleasePool pool;
  objc::Ref preferences = readPreferences(path);
  if (!preferences) {
    preferences = objc::makeMutableDictionary();
    // A file (or a link) there could not be read: kept aside, never overwritten. One that
    // another writer put in place since the reading is kept aside the same way. A folder
    // in the file's place is left alone, and the write fails on it.
    if (os::entryAt(file) == os::Entry::other && !os::setAside(file, kUnreadableSuffix)) {
      return false;
    }
  }
  if (value) {
    objc::dictionarySet(preferences.get(), key, value);
  } else {
    objc::dictionaryRemove(preferences.get(), key);
  }
  for (const char* reset_key : kModeResetKeys) objc::dictionaryRemove(preferences.get(), reset_key);
  return objc::writePropertyListXmlAtomically(preferences.get(), path, options.ownership);
}

}  // namespace halvernic::contract
