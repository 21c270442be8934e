// What passes between the Settings pane, the Control Center module and the extension
// inside thermalmonitord: the preferences file and its keys, three Darwin notifications,
// and the runtime-state word. All three binaries compile this folder in.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "common/objc/ref.hpp"
#include "common/objc/runtime.hpp"
#include "common/os/clock.hpp"
#include "common/os/file.hpp"
#include "common/os/write.hpp"

namespace halvernic::contract {

// ---- the preferences file ----------------------------------------------------------------
// Absolute path as the system names it; every reader and writer opens it through
// resolvedPreferencesPath().
inline constexpr char kPreferencesPath[] =
    "/var/mobile/Library/Preferences/com.nu-falk.halvernic-prefs.plist";

// The file is the mobile user's: the front-ends run as mobile and leave it so. A writer
// that runs as root on the user's behalf (halvernicctl) gives it this owner and mode.
inline constexpr std::uint32_t kMobileUserId = 501;
inline constexpr std::uint32_t kMobileGroupId = 501;
inline constexpr std::uint32_t kPreferencesFileMode = 0644;

inline constexpr char kPowerModeKey[] = "thermalPowerMode";
inline constexpr char kPreventDimmingKey[] = "thermalPreventDimmingEnabled";
inline constexpr char kSuppressNotificationsKey[] = "thermalSuppressNotificationsEnabled";
inline constexpr char kDisablePocketSunlightKey[] = "thermalDisablePocketSunlightEnabled";
inline constexpr char kSunlightLockedKey[] = "thermalSunlightLockedEnabled";
// thermalOverheatProtectionEnabled (kOverheatProtectionKey) lives with the protection's
// other shared facts in contract/overheat.hpp.

// Keys of earlier versions that no one reads any more; every write drops them, in this order.
inline constexpr std::array<const char*, 7> kModeResetKeys = {
    "thermalPuppetValue",
    "cpuMinPowerValue",
    "thermalCPUPerformanceMode",
    "thermalMaxPerformanceEnabled",
    "thermalCPULimitEnabled",
    "thermalCPULimitPercent",
    "thermalDisableMitigationsEnabled",
};

// ---- power modes -----------------------------------------------------------------------
// The mode table: index 0 native ("off"), 1 "lowPower", 2 "fullPower". Both front-ends keep
// their texts in arrays indexed the same way.
enum class PowerMode : int { off = 0, lowPower = 1, fullPower = 2 };

inline constexpr std::array<const char*, 3> kPowerModeValues = {"off", "lowPower", "fullPower"};
// What each mode does, as both front-ends show it: the pane's menu titles, the Control
// Center menu's row subtitles.
inline constexpr std::array<const char*, 3> kPowerModeTitles = {"苹果原生温控", "模拟低电频率",
                                                                "防止温控降频"};

constexpr const char* powerModeValue(PowerMode mode) noexcept {
  return kPowerModeValues[static_cast<std::size_t>(mode)];
}

// The mode an object stored under thermalPowerMode stands for: "lowPower" and "fullPower"
// (exact, case-sensitive strings) are themselves; anything else, nil included, is off.
PowerMode normalizePowerMode(id value) noexcept;
// The mode of a preferences dictionary (nil or a non-dictionary reads as off).
PowerMode powerModeOf(id preferences) noexcept;

// ---- Booleans as the power-policy engine reads them ---------------------------------------
// A Boolean is itself; a number is true when non-zero; a string is true when, lower-cased,
// it is exactly "1", "true", "yes" or "on", and false otherwise. Any other object (or nil)
// has no value: the caller uses its fallback.
std::optional<bool> engineBoolValue(id value) noexcept;
// The same for the entry under key in a dictionary, with the fallback applied.
bool engineBoolPreference(id preferences, std::string_view key, bool fallback);

// ---- Darwin notifications ------------------------------------------------------------------
inline constexpr char kExecutePuppetEventNotification[] =
    "com.nu-falk.halvernic-executePuppetEvent";
inline constexpr char kRestartThermalMonitorNotification[] =
    "com.nu-falk.halvernic-restartThermalMonitor";
// Posted with the runtime-state word stored as its notify state.
inline constexpr char kRuntimeStateNotification[] = "com.nu-falk.halvernic.runtimeState";

// Posted before the package is removed (halvernicctl stand-down): the running extension
// stops applying for the rest of its process, puts the daemon and the OS thermal status
// store back to the platform's own behaviour, and restarts the daemon no more. Any local
// process can post it; standing down only ever moves the device towards native thermal
// control.
inline constexpr char kStandDownNotification[] = "com.nu-falk.halvernic-standDown";
// Posted by the extension once it has stood down, with its process id as the name's notify
// state.
inline constexpr char kStoodDownNotification[] = "com.nu-falk.halvernic-stoodDown";

// ---- the runtime-state word ----------------------------------------------------------------
// Bits 63-32 the magic "HALV", 31-16 zero, 15-8 the first value, 7-0 the second.
inline constexpr std::uint32_t kRuntimeStateMagic = 0x48414C56;

struct RuntimeStateValues {
  std::uint8_t first;
  std::uint8_t second;
};

// Only the low 8 bits of each value are kept.
constexpr std::uint64_t encodeRuntimeState(std::uint32_t first, std::uint32_t second) noexcept {
  return (std::uint64_t{kRuntimeStateMagic} << 32) | (std::uint64_t{first & 0xFFu} << 8) |
         std::uint64_t{second & 0xFFu};
}

constexpr bool runtimeStateHasMagic(std::uint64_t word) noexcept {
  return static_cast<std::uint32_t>(word >> 32) == kRuntimeStateMagic;
}

// The two values of a word; meaningful only when runtimeStateHasMagic(word).
constexpr RuntimeStateValues decodeRuntimeState(std::uint64_t word) noexcept {
  return {static_cast<std::uint8_t>((word >> 8) & 0xFFu), static_cast<std::uint8_t>(word & 0xFFu)};
}

// What every writer of the system publishes: both values 0.
inline constexpr std::uint64_t kPublishedRuntimeState = encodeRuntimeState(0, 0);

// ---- writing ------------------------------------------------------------------------------
// The preferences file's path below the jailbreak root; "" when it cannot be resolved
// (reads as a missing file).
std::string resolvedPreferencesPath();

// The largest preferences file any reader accepts. The file is written by user-level
// processes and read by a root daemon on its hot paths; a real one is under 2 KB. A larger
// file is unreadable: it reads as a missing one, and is never read whole or parsed.
inline constexpr std::size_t kMaxPreferencesFileSize = std::size_t{1024} * 1024;  // 1 MiB

// How a reading of the preferences file ended.
enum class PreferencesFileStatus {
  read,        // parsed: propertyList holds the list
  missing,     // no file at the path
  unreadable,  // a file the readers do not take (below): it reads as a missing one
};

struct PreferencesFileContents {
  PreferencesFileStatus status = PreferencesFileStatus::missing;
  objc::Ref propertyList;  // mutable containers, any root; nil unless read
};

// The preferences file at path, read as every reader of it in every binary reads it: opened
// without following a final symbolic link and without blocking (a FIFO planted there
// freezes no one), taken only when that open file is a regular file of at most
// kMaxPreferencesFileSize (and still is when read whole: a file growing past the limit is
// never read past it), passed through the bounded scan of common/plist (an XML or binary
// list, at most plist::kMaxContainerDepth containers deep) and only then parsed by the
// platform. Anything else is unreadable: a symbolic link, a FIFO or other special file, a
// larger file, old-style text or any other form, a deeper or damaged list.
PreferencesFileContents readPreferencesFile(std::string_view path);

// The property list of readPreferencesFile: nil when the file is missing or unreadable.
objc::Ref readPreferencesPropertyList(std::string_view path);

// The preferences as stored in the file at path: a mutable dictionary, or nil when the file is
// missing or unreadable (above the limit included), is not a property list, or its root is not
// a dictionary. The front-ends read each row with it, and writePreferenceValue loads with it.
objc::Ref readPreferences(std::string_view path);

// The preferences file read again only when it changed. A reading costs one stat while the
// file keeps its device, inode, size and modification and status change times (a file
// renamed into place, as every atomic write does, has a new inode); otherwise (or the first
// time) the file is read and parsed with readPreferencesPropertyList. As git does with
// racily clean files, a file whose times' second is not earlier than the second it was
// parsed in, or whose times lie within `window` of that moment, is parsed again at the next
// reading: two rewrites of the same size within one tick of the file system's clock (a
// whole second on some) leave the stamp as it was.
//
// Threads: readings are serialised by a lock held for the stat and, when the file changed,
// the bounded read and the parse.
class PreferencesFileReader {
public:
  // For tests: how the file is stat'ed, and the wall clock its times are compared with.
  using StatFunction = std::optional<os::FileStamp> (*)(const char* path) noexcept;
  using Clock = std::int64_t (*)() noexcept;

  PreferencesFileReader(std::string path, std::int64_t windowNanoseconds,
                        StatFunction stat = &os::fileStamp,
                        Clock wallClock = &os::wallClockNanoseconds);
  PreferencesFileReader(const PreferencesFileReader&) = delete;
  PreferencesFileReader& operator=(const PreferencesFileReader&) = delete;

  struct Reading {
    objc::Ref propertyList;  // as readPreferencesPropertyList answers it
    bool fresh = false;      // taken now (else: the previous reading, the file unchanged)
    // The order of the readings of this reader, from 1: a reading with a larger sequence
    // saw the file as it was at that moment or later.
    std::uint64_t sequence = 0;
  };
  Reading read();

  const std::string& path() const noexcept { return path_; }
  // How many times the file was read and parsed (a missing file is neither).
  std::uint64_t parses() const noexcept { return parses_.load(std::memory_order_relaxed); }
  // Forgets the previous reading: the next one parses.
  void reset() noexcept;

private:
  const std::string path_;
  const std::int64_t window_;
  const StatFunction stat_;
  const Clock wallClock_;
  std::mutex mutex_;
  enum class Kept { nothing, missing, file } kept_ = Kept::nothing;
  os::FileStamp stamp_;  // of the file kept
  bool racy_ = false;    // it could still change unseen when it was parsed (racily clean)
  objc::Ref last_;
  std::atomic<std::uint64_t> parses_{0};
  std::uint64_t sequence_ = 0;
};

// The jailbreak root, resolved as the preferences file's path is ("" when it cannot be).
std::string resolvedJailbreakRoot();

// The suffix a preferences file that could not be read is renamed to before a write
// replaces it.
inline constexpr char kUnreadableSuffix[] = ".unreadable";

struct WriteOptions {
  // Owner and mode of the file, and the owner of the folders made for it, set on their
  // descriptors (for a writer running as root on the user's behalf); by default the
  // writer's own, the file keeping the owner and mode of the one it replaces.
  os::Ownership ownership;
  // Missing folders between this one and the file are made (mode 0755): the folders the
  // writing process may create. Empty: the jailbreak root.
  std::string foldersBelow;
};

// One front-end change, the part both front-ends share: load the file at path as a mutable
// dictionary (an empty one when it is missing, unreadable or not a dictionary), set value
// under key (nil removes the key), drop the seven mode-reset keys in their order, and write
// the whole dictionary back as an XML property list, atomically. Every other key is kept,
// every value as it was. Nothing is destroyed that could not be read: a file at path that
// did not load (too large, corrupt, not a dictionary, a format the readers refuse) is
// renamed to path + kUnreadableSuffix first, replacing an older one. Missing folders below
// options.foldersBelow are made first; if that fails, so does the write.
// Returns whether the write succeeded; the front-ends ignore it. Publishing the runtime-state
// word and posting the notifications are the caller's (announce.hpp).
bool writePreferenceValue(std::string_view path, std::string_view key, id value,
                          const WriteOptions& options = {});

}  // namespace halvernic::contract
