// Overheat protection, as the binaries and the shell tool share it: the setting, the
// temperatures it acts at, and the file in which the extension keeps it engaged across the
// daemon's restarts.
//
// fullPower forces the daemon's thermal pressure to nominal and switches its mitigations
// off, and prevent-dimming holds its simulation at "light": the platform's own protection
// of the battery no longer acts. While the protection is on and the file asks for either,
// a battery reading of kOverheatEngageCentiCelsius or more engages it: the extension acts as
// in the native mode without prevent-dimming (fullPower), or only drops prevent-dimming (the
// other modes). It releases at kOverheatReleaseCentiCelsius or less, and not sooner than
// kOverheatMinimumEngagedSeconds after engaging; turning the setting off releases at once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace halvernic::contract {

// ---- the setting -------------------------------------------------------------------------
// A Boolean, read by the engine alone with engineBoolPreference; absent means on.
inline constexpr char kOverheatProtectionKey[] = "thermalOverheatProtectionEnabled";
inline constexpr bool kOverheatProtectionDefault = true;

// ---- the temperatures, in the battery reading's unit (hundredths of a degree Celsius) -----
// Lithium-ion cells are charged below about 45 °C and operated below about 60 °C, and the
// iPhone's own ambient range ends at 35 °C: a battery above 50 °C is past anything normal
// use asks of it and ages fast, while one back at 45 °C is inside its charging range
// again. The gap and the minimum time engaged keep a battery near the threshold from
// engaging and releasing (each change of fullPower restarts the daemon) every few seconds.
inline constexpr int kOverheatEngageCentiCelsius = 5000;   // 50 °C or above: engage
inline constexpr int kOverheatReleaseCentiCelsius = 4500;  // 45 °C or below: release
inline constexpr std::int64_t kOverheatMinimumEngagedSeconds = 60;
// The battery is read at most this often (by the daemon's own CommonProduct tryTakeAction).
inline constexpr std::int64_t kBatterySampleIntervalSeconds = 5;

// "50.25" for 5025 (a reading in hundredths of a degree), "-3.05" for -305.
std::string celsiusText(int centiCelsius);

// ---- the engaged state, kept across the daemon's restarts ---------------------------------
// Root's, in the extension's own state folder (beside its report, contract/report.hpp): only
// root writes there. Present while the protection is engaged; the package's removal
// deletes it.
inline constexpr char kOverheatStatePath[] = "/var/lib/com.nu-falk.halvernic/overheat.plist";
inline constexpr unsigned kOverheatStateFileMode = 0600;
// An XML property list, a dictionary:
//   engaged        Boolean  true
//   engagedAt      integer  nanoseconds of the device's continuous clock (mach_continuous_time)
//   engagedAtWall  integer  seconds since 1970
//   reading        integer  the reading that engaged it, hundredths of a degree Celsius
inline constexpr char kOverheatEngagedKey[] = "engaged";
inline constexpr char kOverheatEngagedAtKey[] = "engagedAt";
inline constexpr char kOverheatEngagedAtWallKey[] = "engagedAtWall";
inline constexpr char kOverheatReadingKey[] = "reading";
// The file is a few hundred bytes; a larger one is damaged.
inline constexpr std::size_t kMaxOverheatStateFileSize = 4096;

// The state file's path below the jailbreak root; "" when it cannot be resolved.
std::string resolvedOverheatStatePath();

struct OverheatState {
  std::int64_t engagedAt = 0;      // continuous clock, nanoseconds
  std::int64_t engagedAtWall = 0;  // seconds since 1970
  int readingCentiCelsius = 0;
  bool operator==(const OverheatState&) const = default;
};

struct OverheatStateReading {
  enum class Status {
    released,  // no file
    engaged,   // a state
    damaged,   // a file that holds no state (unreadable, not a property list, fields missing)
  };
  Status status = Status::released;
  OverheatState state;  // when engaged
};

// Never raises. A path that cannot be resolved ("") reads as released.
OverheatStateReading readOverheatState(std::string_view path);
// Writes the state atomically with kOverheatStateFileMode, making the folder (not its
// parents) when missing. 0 or the errno of the step that failed.
int writeOverheatState(std::string_view path, const OverheatState& state);
// Deletes the file; 0 when it is gone (or was never there), else the errno.
int removeOverheatState(std::string_view path);

}  // namespace halvernic::contract
