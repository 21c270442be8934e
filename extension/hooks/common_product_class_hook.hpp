// CommonProductClassHook: the daemon's product object.
//
// -[CommonProduct initProduct:]      the product is handed to HPowerHepler, which applies
//                                    the policy at once and schedules its re-applications
// -[CommonProduct tryTakeAction]     the forced thermal simulation ("nominal" in fullPower,
//                                    "light" with prevent-dimming on) is put in place
//                                    before the product acts, and the policy applied after
// -[CommonProduct handleMCSThermalPressure], -simulateLightThermalPressure,
// -updatePowerzoneTelemetry          never reach the product while the engine forces the
//                                    thermal state; the policy is applied instead
#pragma once

#include "extension/hooking/hook.hpp"

namespace halvernic::hooks {

extern constinit const hook::ClassHook CommonProductClassHook;

}  // namespace halvernic::hooks
