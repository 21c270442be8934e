// The switches halvernicctl shows (status) and sets (set): one row each, the key from the
// contract. A new switch is one row here; status, set and their help follow.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "extension/contract/contract.hpp"
#include "extension/contract/overheat.hpp"

namespace halvernic::ctl {

struct Switch {
  const char* key;
  // What the engine takes when the key is absent: off, on, or nothing (it leaves the
  // platform's setting as it is).
  std::optional<bool> whenAbsent;
  std::string_view summary;  // for --help
};

inline constexpr Switch kSwitches[] = {
    {contract::kPreventDimmingKey, false, "hold thermal display dimming off"},
    {contract::kSuppressNotificationsKey, std::nullopt, "turn the thermal warnings off"},
    {contract::kDisablePocketSunlightKey, std::nullopt,
     "turn the pocket (hip) behaviour and its simulation off"},
    {contract::kSunlightLockedKey, std::nullopt, "hold the sunlight override on"},
    {contract::kOverheatProtectionKey, contract::kOverheatProtectionDefault,
     "hand thermal control back while the battery is hot (50 C until 45 C)"},
};

// The key without "thermal" and "Enabled", its first letter lower-cased:
// thermalPreventDimmingEnabled -> preventDimming.
std::string shortName(std::string_view key);

// The switch named by its key or its short name; null when none is.
const Switch* findSwitch(std::string_view name);

}  // namespace halvernic::ctl
