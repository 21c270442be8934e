// A host with answers the tests choose: three classes that stand in for the daemon's
// CommonProduct, ThermalManager and MitigationController, record every message that
// reaches them ("setCPUPowerFloor:fromDecisionSource: 50000 7") and answer with the
// values set in probe::answers.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "common/objc/ref.hpp"
#include "extension/replacements/replacements.hpp"

namespace probe {

struct Answers {
  std::int64_t pressureLevel = 0;   // thermalPressureLevel
  bool forcedPressureLevel = true;  // getPotentialForcedThermalPressureLevel
  std::uint64_t forcedLevel = 7;    // getPotentialForcedThermalLevel:
  objc::Ref object;                 // suggestions, mitigation
  objc::Ref pressure;               // thermalPressure:
  objc::Ref configuration;          // getConfigurationFor: (any key)
};

// [manager getConfigurationFor:key] as the daemon sends it, the answer as an object.
id configurationFor(id manager, const char* key);
Answers& answers();

// Registers the classes once and answers them.
halvernic::replacements::HostClassList classes();
// Instances of the three classes (kept for the process).
id product();
id manager();
id controller();

std::vector<std::string> calls();
void clearCalls();

}  // namespace probe
