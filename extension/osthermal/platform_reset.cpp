#include "extension/osthermal/platform_reset.hpp"

#include <SystemConfiguration/SystemConfiguration.h>

#include "extension/osthermal/osthermal.h"

namespace halvernic::osthermal {

namespace {

constexpr char kPressureFunction[] = "halvernicSetDarwinThermalPressure";

}  // namespace

bool PlatformReset::succeeded() const noexcept {
  for (const ResetStep& step : steps) {
    if (step.status != 0) return false;
  }
  return true;
}

PlatformReset resetPlatformThermalState() noexcept {
  PlatformReset reset{{{
      {"halvernicResetOSNotifEnabled",
       "thermal notifications (OSThermalNotificationEnabled, OSThermalNotificationPersistentlyEnabled)",
       halvernicResetOSNotifEnabled()},
      {"halvernicResetThermalMitigations",
       "thermal mitigations (engageBehavior, engageBehaviorPersistentlyEnabled)",
       halvernicResetThermalMitigations()},
      {"halvernicResetHIP", "the pocket override (hipOverride, hipPersistentlyEnabled)",
       halvernicResetHIP()},
      {"halvernicResetSimulateHIP", "the pocket simulation (simulateHip)",
       halvernicResetSimulateHIP()},
      {"halvernicResetSunlightOverride",
       "the sunlight override (sunlightOverride, sunlightOverridePersistentlyEnabled)",
       halvernicResetSunlightOverride()},
      {kPressureFunction, "the system thermal-pressure level (nominal)",
       halvernicSetDarwinThermalPressure(0)},
  }}};
  return reset;
}

std::string describeStatus(const ResetStep& step) {
  if (step.status == 0) return "";
  const bool pressure = std::string(step.function) == kPressureFunction;
  if (pressure) {
    if (step.status == -1) return "notify registration failed";
    return "notify status " + std::to_string(step.status);
  }
  if (step.status == kSCStatusFailed) {
    return "SystemConfiguration is not available, or the store could not be opened";
  }
  return "the store's commit failed (SCError " + std::to_string(step.status) + ")";
}

}  // namespace halvernic::osthermal
