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
      {"halvernicResetOSNotifEnabled", &kThermalNotifications, halvernicResetOSNotifEnabled()},
      {"halvernicResetThermalMitigations", &kThermalMitigations,
       halvernicResetThermalMitigations()},
      {"halvernicResetHIP", &kPocketOverride, halvernicResetHIP()},
      {"halvernicResetSimulateHIP", &kPocketSimulation, halvernicResetSimulateHIP()},
      {"halvernicResetSunlightOverride", &kSunlightOverride, halvernicResetSunlightOverride()},
      {kPressureFunction, nullptr, halvernicSetDarwinThermalPressure(0)},
  }}};
  return reset;
}

std::string ResetStep::what() const {
  if (!feature) return "the thermal-pressure level (nominal)";
  std::string text = std::string(feature->feature) + " (" + feature->flagKey;
  if (feature->persistenceKey) text += std::string(", ") + feature->persistenceKey;
  return text + ")";
}

std::string describeStatus(const ResetStep& step) {
  if (step.status == 0) return "";
  if (!step.feature) {
    if (step.status == -1) return "notify registration failed";
    return "notify status " + std::to_string(step.status);
  }
  if (step.status == kSCStatusFailed) {
    return "SystemConfiguration is not available, or the store could not be opened";
  }
  return "the store's commit failed (SCError " + std::to_string(step.status) + ")";
}

}  // namespace halvernic::osthermal
