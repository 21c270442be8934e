// The module's side of the preferences file and the notifications: which mode is current,
// and one mode choice written and announced. Everything runs on Control Center's main
// thread, synchronously; nothing is cached between calls.
#pragma once

#include <string>

#include "common/objc/runtime.hpp"

namespace halvernic::ccmodule {

// The preferences file's path below the jailbreak root, resolved afresh at every call
// through this binary's own jbroot; "" when it cannot be resolved (reads as a missing file,
// and a write to it fails).
std::string preferencesFilePath();

// The file's mode value from the contract's mode table, as every reader normalises it
// (contract::powerModeOf).
const char* currentPowerModeValue();

// One mode choice: thermalPowerMode = modeValue written through
// contract::writePreferenceValue; then the runtime-state word published
// (contract::publishRuntimeState); then executePuppetEvent and restartThermalMonitor
// posted, in that order, whatever became of the write and the publication.
void applyPowerModeValue(id modeValue);

// Posts name on the Darwin notify center: no object, no user info, delivered immediately.
void postDarwinNotification(const char* name);

}  // namespace halvernic::ccmodule
