#include "extension/hooks/common_product_class_hook.hpp"

#include "common/objc/foundation.hpp"
#include "extension/hooking/host.hpp"
#include "extension/policy/power_helper.hpp"

namespace halvernic::hooks {
namespace {

using PowerMode = HPowerHepler::PowerMode;

// The two forced simulation values, made once and kept for the life of the process:
// tryTakeAction runs on every step of the daemon and allocates nothing for them.
id nominalState() {
  static id const value = objc::keepForever(objc::makeString("nominal"));
  return value;
}
id lightState() {
  static id const value = objc::keepForever(objc::makeString("light"));
  return value;
}

// -[CommonProduct initProduct:]
//
// The engine keeps the product the daemon ends up with. That is the receiver whenever
// the initialiser succeeds in the usual way (it answers self). An initialiser that
// answers nil or another object has, by the initialiser contract, given up the receiver,
// which may already be gone: then the answer is kept instead (nil keeps the product the
// engine had), never a reference to a released object.
id initProduct(hook::Orig<id(id)> orig, id self, id configuration) {
  id product = orig(self, configuration);
  HPowerHepler& engine = HPowerHepler::shared();
  if (product) engine.setCommonProductObject(product == self ? self : product);
  engine.applyThermalState();
  engine.scheduleReapplications();
  return product;
}

// -[CommonProduct tryTakeAction]: the daemon's own control step. The battery is read here
// (at most every 5 s: a clock compare otherwise), so that a change of the overheat
// protection is in force for this step; the simulation state the policy requires is in
// place before the product decides, and the policy is applied after it has.
void tryTakeAction(hook::Orig<void()> orig, id self) {
  HPowerHepler& engine = HPowerHepler::shared();
  engine.sampleBatteryIfDue();
  id state = nullptr;
  if (engine.currentPowerMode() == PowerMode::fullPower) {
    state = nominalState();
  } else if (engine.preventDimmingEnabled()) {
    state = lightState();
  }
  if (state) {
    host::kPutDeviceInThermalSimulationMode.send(self, state);
    host::kPutDeviceInLowTempSimulationMode.send(self, state);
  }
  orig(self);
  engine.applyThermalState();
}

// -handleMCSThermalPressure, -simulateLightThermalPressure, -updatePowerzoneTelemetry:
// while the engine forces the thermal state the product's own pressure handling does not
// run; the engine applies its state instead (its re-entry guard makes overlapping calls
// return at once).
void pressureHandling(hook::Orig<void()> orig, id self) {
  HPowerHepler& engine = HPowerHepler::shared();
  if (engine.shouldForceThermalState()) {
    engine.applyThermalState();
    return;
  }
  orig(self);
}

constexpr hook::Replacement kReplacements[] = {
    hook::instanceMethod<host::kInitProduct, &initProduct>(),
    hook::instanceMethod<host::kTryTakeAction, &tryTakeAction>(),
    hook::instanceMethod<host::kHandleMCSThermalPressure, &pressureHandling>(),
    hook::instanceMethod<host::kSimulateLightThermalPressure, &pressureHandling>(),
    hook::instanceMethod<host::kUpdatePowerzoneTelemetry, &pressureHandling>(),
};

}  // namespace

constinit const hook::ClassHook CommonProductClassHook{"CommonProductClassHook",
                                                       host::kCommonProduct, kReplacements};

}  // namespace halvernic::hooks
