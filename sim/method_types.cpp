// The type encodings of the daemon's methods as Apple's class dumps of thermalmonitord give
// them (iOS 14 and a decompiled iOS 18.2 agree), written out literally and on purpose not
// derived from the extension's declarations: the simulated classes register their methods
// with these, so a declaration of the extension that differs from the daemon's shows as a
// method the extension refuses to replace.
#include <cstring>

#include "sim/internal.hpp"

namespace halvernic::sim::detail {
namespace {

struct MethodTypes {
  const char* class_name;
  const char* selector;
  const char* types;
};

constexpr MethodTypes kDaemonMethodTypes[] = {
    // CommonProduct
    {"CommonProduct", "initProduct:", "@24@0:8@16"},
    {"CommonProduct", "putDeviceInThermalSimulationMode:", "v24@0:8@16"},
    {"CommonProduct", "putDeviceInLowTempSimulationMode:", "v24@0:8@16"},
    {"CommonProduct", "tryTakeAction", "v16@0:8"},
    {"CommonProduct", "handleMCSThermalPressure", "v16@0:8"},
    {"CommonProduct", "simulateLightThermalPressure", "v16@0:8"},
    {"CommonProduct", "updatePowerzoneTelemetry", "v16@0:8"},
    {"CommonProduct", "thermalPressureLevel", "q16@0:8"},
    {"CommonProduct", "setThermalState:", "v20@0:8i16"},
    {"CommonProduct", "getPotentialForcedThermalPressureLevel", "B16@0:8"},
    {"CommonProduct", "getPotentialForcedThermalLevel:", "Q24@0:8Q16"},
    {"CommonProduct", "thermalUpdatesToWatchdogEnabled:", "v24@0:8@16"},
    // ThermalManager
    {"ThermalManager", "getConfigurationFor:", "^v24@0:8^{__CFString=}16"},
    // MitigationController
    {"MitigationController",
     "initForFastLoop:noDisplay:powerSaveParams:powerZoneParams:", "@40@0:8B16B20@24@32"},
    {"MitigationController", "powerSaveActive", "B16@0:8"},
    {"MitigationController", "CPULevel", "i16@0:8"},
    {"MitigationController", "getCPUTargetPower", "i16@0:8"},
    {"MitigationController", "getPackageCPUPowerTarget", "i16@0:8"},
    {"MitigationController", "getPackageTargetPower", "i16@0:8"},
    {"MitigationController", "setGPUPowerCeiling:fromDecisionSource:", "v24@0:8i16i20"},
    {"MitigationController", "setGPUPowerFloor:fromDecisionSource:", "v24@0:8i16i20"},
    {"MitigationController", "setGPUPowerZoneTarget:", "v20@0:8i16"},
    {"MitigationController", "setSGXLevel:", "v20@0:8i16"},
    {"MitigationController", "setMaxGraphicsDrivePowerTarget:", "v20@0:8i16"},
    {"MitigationController", "updateCPU", "v16@0:8"},
    {"MitigationController", "updateGPU", "v16@0:8"},
    {"MitigationController", "updatePackage", "v16@0:8"},
    {"MitigationController", "setPowerSaveActive:", "v20@0:8B16"},
    {"MitigationController", "setCPMSMitigationsEnabled:", "v20@0:8B16"},
    {"MitigationController", "setDVD1Level:", "v20@0:8i16"},
    {"MitigationController", "setCPULevel:", "v20@0:8i16"},
    {"MitigationController", "setCPULowPowerTarget:", "v20@0:8i16"},
    {"MitigationController", "setCPUPowerCeiling:fromDecisionSource:", "v24@0:8i16i20"},
    {"MitigationController", "setCPUPowerCeiling:forDVD1Contributor:", "v24@0:8i16i20"},
    {"MitigationController", "setCPUPowerFloor:fromDecisionSource:", "v24@0:8i16i20"},
    {"MitigationController", "setCPUPowerZoneTarget:", "v20@0:8i16"},
    {"MitigationController", "setPackagePowerCeiling:fromDecisionSource:", "v24@0:8i16i20"},
    {"MitigationController", "setPackagePowerFloor:fromDecisionSource:", "v24@0:8i16i20"},
    {"MitigationController", "setMaxPackagePower:", "v20@0:8i16"},
    {"MitigationController", "setPackageLowPowerTarget", "v16@0:8"},
    {"MitigationController", "setPackagePowerZoneTarget", "v16@0:8"},
    // CPMSHelper
    {"CPMSHelper", "getMaxPowerForComponent:", "I20@0:8i16"},
    {"CPMSHelper", "getMinPowerForComponent:", "I20@0:8i16"},
    // HidSensors
    {"HidSensors", "handleTemperatureEvent:service:", "v28@0:8i16^{__IOHIDServiceClient=}20"},
    // ComponentControl
    {"ComponentControl", "currentPower", "I16@0:8"},
    {"ComponentControl", "computePowerTarget", "I16@0:8"},
    {"ComponentControl", "powerTarget", "I16@0:8"},
    {"ComponentControl", "mitigationType", "i16@0:8"},
    {"ComponentControl", "updatePowerParameters:", "v24@0:8@16"},
};

}  // namespace

const char* daemon_method_types(const char* class_name, const char* selector) noexcept {
  for (const MethodTypes& m : kDaemonMethodTypes) {
    if (std::strcmp(m.class_name, class_name) == 0 && std::strcmp(m.selector, selector) == 0) {
      return m.types;
    }
  }
  return nullptr;
}

}  // namespace halvernic::sim::detail
