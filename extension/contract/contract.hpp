// What passes between the Settings pane, the Control Center module and the extension
// inside thermalmonitord: the preferences file and its keys, three Darwin notifications,
// and the runtime-state word. All three binaries compile this folder in.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/objc/ref.hpp"
#include "common/objc/runtime.hpp"

namespace halvernic::contract {

// ---- the preferences file ----------------------------------------------------------------
// Absolute path as the system names it; every reader and writer opens it through
// resolved_preferences_path().
inline constexpr char kPreferencesPath[] =
    "/var/mobile/Library/Preferences/com.nu-falk.halvernic-prefs.plist";

inline constexpr char kPowerModeKey[] = "thermalPowerMode";
inline constexpr char kPreventDimmingKey[] = "thermalPreventDimmingEnabled";
inline constexpr char kSuppressNotificationsKey[] = "thermalSuppressNotificationsEnabled";
inline constexpr char kDisablePocketSunlightKey[] = "thermalDisablePocketSunlightEnabled";
inline constexpr char kSunlightLockedKey[] = "thermalSunlightLockedEnabled";

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
// their titles in arrays indexed the same way.
enum class PowerMode : int { off = 0, lowPower = 1, fullPower = 2 };

inline constexpr std::array<const char*, 3> kPowerModeValues = {"off", "lowPower", "fullPower"};

constexpr const char* power_mode_value(PowerMode mode) noexcept {
  return kPowerModeValues[static_cast<std::size_t>(mode)];
}

// The mode an object stored under thermalPowerMode stands for: "lowPower" and "fullPower"
// (exact, case-sensitive strings) are themselves; anything else, nil included, is off.
PowerMode normalize_power_mode(id value) noexcept;
// The mode of a preferences dictionary (nil or a non-dictionary reads as off).
PowerMode power_mode_of(id preferences) noexcept;

// ---- Booleans as the power-policy engine reads them ---------------------------------------
// A Boolean is itself; a number is true when non-zero; a string is true when, lower-cased,
// it is exactly "1", "true", "yes" or "on", and false otherwise. Any other object (or nil)
// has no value: the caller uses its fallback.
std::optional<bool> engine_bool_value(id value) noexcept;
// The same for the entry under key in a dictionary, with the fallback applied.
bool engine_bool_preference(id preferences, std::string_view key, bool fallback);

// ---- Darwin notifications ------------------------------------------------------------------
inline constexpr char kExecutePuppetEventNotification[] =
    "com.nu-falk.halvernic-executePuppetEvent";
inline constexpr char kRestartThermalMonitorNotification[] =
    "com.nu-falk.halvernic-restartThermalMonitor";
// Posted with the runtime-state word stored as its notify state.
inline constexpr char kRuntimeStateNotification[] = "com.nu-falk.halvernic.runtimeState";

// ---- the runtime-state word ----------------------------------------------------------------
// Bits 63-32 the magic "HALV", 31-16 zero, 15-8 the first value, 7-0 the second.
inline constexpr std::uint32_t kRuntimeStateMagic = 0x48414C56;

struct RuntimeStateValues {
  std::uint8_t first;
  std::uint8_t second;
};

// Only the low 8 bits of each value are kept.
constexpr std::uint64_t encode_runtime_state(std::uint32_t first, std::uint32_t second) noexcept {
  return (std::uint64_t{kRuntimeStateMagic} << 32) | (std::uint64_t{first & 0xFFu} << 8) |
         std::uint64_t{second & 0xFFu};
}

constexpr bool runtime_state_has_magic(std::uint64_t word) noexcept {
  return static_cast<std::uint32_t>(word >> 32) == kRuntimeStateMagic;
}

// The two values of a word; meaningful only when runtime_state_has_magic(word).
constexpr RuntimeStateValues decode_runtime_state(std::uint64_t word) noexcept {
  return {static_cast<std::uint8_t>((word >> 8) & 0xFFu), static_cast<std::uint8_t>(word & 0xFFu)};
}

// What every writer of the system publishes: both values 0.
inline constexpr std::uint64_t kPublishedRuntimeState = encode_runtime_state(0, 0);

// ---- writing ------------------------------------------------------------------------------
// The preferences file's path below the jailbreak root; "" when it cannot be resolved
// (reads as a missing file).
std::string resolved_preferences_path();

// The preferences as stored in the file at path: a mutable dictionary, or nil when the file is
// missing or unreadable, is not a property list, or its root is not a dictionary. Every
// reader outside the engine goes through here (the front-ends read each row with it).
objc::Ref read_preferences(std::string_view path);

// One front-end change, the part both front-ends share: load the file at path as a mutable
// dictionary (an empty one when it is missing, unreadable or not a dictionary), set value
// under key (nil removes the key), drop the seven mode-reset keys in their order, and write
// the whole dictionary back as an XML property list, atomically. Every other key is kept.
// Returns whether the write succeeded; the front-ends ignore it. Publishing the runtime-state
// word and posting the notifications are the caller's.
bool write_preference_value(std::string_view path, std::string_view key, id value);

}  // namespace halvernic::contract
