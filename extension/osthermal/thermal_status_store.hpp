// The OS thermal status store as the exported functions open it, and a reading of it for
// people (halvernicctl status): the same handle parameters, so a reader sees the store the
// extension writes.
#pragma once

#include <cstdint>
#include <string>

#include "common/objc/ref.hpp"

namespace halvernic::osthermal {

// The preferences handle's parameters, the same for every call: the handle's name, and
// the store's identifier (relative: the platform places it in its system-configuration
// preferences folder).
inline constexpr char kThermalStatusHandleName[] = "halvernic";
inline constexpr char kThermalStatusIdentifier[] = "OSThermalStatus.plist";

struct ThermalStatusReading {
  // 0, or 1001 (kSCStatusFailed) when SystemConfiguration's functions are missing or no
  // handle could be made.
  std::int32_t status = 0;
  std::string problem;  // in words, when status is not 0
  // Every key the store holds, with its value (a dictionary, empty for an empty or a
  // missing store); nil when status is not 0.
  objc::Ref values;

  bool ok() const noexcept { return status == 0; }
};

// One fresh handle on the store, its key list and each key's value, the handle released
// before the return. SystemConfiguration is looked up by name, as the exported functions
// look it up. Never raises.
ThermalStatusReading readThermalStatusStore() noexcept;

}  // namespace halvernic::osthermal
