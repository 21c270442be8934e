#include "extension/hooks/mitigation_controller_hook.hpp"

#include <cstdint>

#include "common/objc/foundation.hpp"
#include "extension/hooking/host.hpp"
#include "extension/policy/power_helper.hpp"

namespace halvernic::hooks {

namespace {

using hook::Orig;
using Mode = HPowerHepler::PowerMode;

constexpr int kFullPowerArg = static_cast<int>(HPowerHepler::unrestrictedPowerTarget);  // 50000

HPowerHepler& engine() { return HPowerHepler::shared(); }
// Asked afresh for every decision: a mode change shows at the next call.
Mode mode() { return engine().currentPowerMode(); }
bool fullPower() { return mode() == Mode::fullPower; }

// ---- initialiser -----------------------------------------------------------------------

// The controller the daemon has just made becomes the engine's, which applies the policy to
// it at once and again over the next seconds.
id initForFastLoop(Orig<id(BOOL, BOOL, id, id)> orig, id self, BOOL fastLoop, BOOL noDisplay,
                   id powerSaveParams, id powerZoneParams) {
  id result = orig(self, fastLoop, noDisplay, powerSaveParams, powerZoneParams);
  HPowerHepler& policy = engine();
  // The receiver is the controller. An initialiser that answers another object (or nil)
  // has released its receiver, so retaining the receiver then would touch a freed object:
  // the object answered is the controller instead, and a failed initialisation (nil)
  // leaves the controller captured before in place.
  id controller = result == self ? self : result;
  if (controller) policy.setMitigationControllerObject(controller);
  policy.applyThermalState();
  policy.scheduleReapplications();
  return result;
}

// ---- getters ---------------------------------------------------------------------------

BOOL powerSaveActive(Orig<BOOL()> orig, id self) {
  switch (mode()) {
    case Mode::fullPower: return NO;
    case Mode::lowPower: return YES;
    case Mode::off: break;
  }
  return orig(self);
}

// The getters answer the daemon's 32-bit int: the engine decides in 64 bits from the
// daemon's value widened with its sign, and its answer is saturated back into 32 bits.

// lowPower: filterCPULevel holds the level at 2; native: it passes the level unchanged.
int CPULevel(Orig<int()> orig, id self) {
  if (fullPower()) return 0;
  return host::saturated<int>(engine().filterCPULevel(orig(self)));
}

// Every mode reports the daemon's target to the engine; fullPower answers at least the
// largest target observed and at least 50000.
int getCPUTargetPower(Orig<int()> orig, id self) {
  return host::saturated<int>(engine().adjustCPUPowerTarget(orig(self)));
}

int getPackageCPUPowerTarget(Orig<int()> orig, id self) {
  return host::saturated<int>(engine().adjustCPUPowerTarget(orig(self)));
}

int getPackageTargetPower(Orig<int()> orig, id self) {
  if (fullPower()) return kFullPowerArg;
  return orig(self);
}

// ---- GPU setters -------------------------------------------------------------------------

void setGPUPowerCeiling(Orig<void(int, int)> orig, id self, int ceiling, int source) {
  orig(self, fullPower() ? kFullPowerArg : ceiling, source);
}

void setGPUPowerFloor(Orig<void(int, int)> orig, id self, int floor, int source) {
  orig(self, fullPower() ? 0 : floor, source);
}

void setGPUPowerZoneTarget(Orig<void(int)> orig, id self, int target) {
  if (!fullPower()) orig(self, target);
}

void setSGXLevel(Orig<void(int)> orig, id self, int level) { orig(self, fullPower() ? 0 : level); }

void setMaxGraphicsDrivePowerTarget(Orig<void(int)> orig, id self, int target) {
  orig(self, fullPower() ? kFullPowerArg : target);
}

// ---- updates -----------------------------------------------------------------------------

// fullPower: mitigations and power save off and level 0 around the daemon's own update,
// then every CPU limit at the full value. lowPower: power save on around the update, then
// the level held at 2 while the mode still is lowPower.
void updateCPU(Orig<void()> orig, id self) {
  switch (mode()) {
    case Mode::fullPower:
      host::kSetCPMSMitigationsEnabled.send(self, NO);
      host::kSetPowerSaveActive.send(self, NO);
      host::kSetCPULevel.send(self, 0);
      orig(self);
      host::kSetCPMSMitigationsEnabled.send(self, NO);
      host::kSetCPULowPowerTarget.send(self, kFullPowerArg);
      host::kSetCPUPowerCeilingFromDecisionSource.send(self, kFullPowerArg, 0);
      host::kSetCPUPowerFloorFromDecisionSource.send(self, kFullPowerArg, 0);
      host::kSetCPUPowerZoneTarget.send(self, kFullPowerArg);
      host::kSetCPULevel.send(self, 0);
      objc::log("halvernic disables CPU mitigations with full target %d", kFullPowerArg);
      return;
    case Mode::lowPower: {
      host::kSetPowerSaveActive.send(self, YES);
      orig(self);
      // Asked again after the daemon's own update, and once more for the level: a mode
      // change that lands meanwhile (the engine reloads on another thread) ends the hold
      // here, or sends level 0, rather than holding the CPU low for a mode that has ended.
      if (mode() != Mode::lowPower) return;
      host::kSetPowerSaveActive.send(self, YES);
      // The level sent is the level logged.
      const int level = mode() == Mode::lowPower ? host::kLowPowerCPULevel : 0;
      host::kSetCPULevel.send(self, level);
      objc::log("halvernic simulates low power mode at CPU level %d", level);
      return;
    }
    case Mode::off: break;
  }
  orig(self);
}

void updateGPU(Orig<void()> orig, id self) {
  if (!fullPower()) orig(self);
}

void updatePackage(Orig<void()> orig, id self) {
  if (!fullPower()) orig(self);
}

constexpr hook::Replacement kReplacements[] = {
    hook::instanceMethod<host::kInitForFastLoop, &initForFastLoop>(),
    hook::instanceMethod<host::kPowerSaveActive, &powerSaveActive>(),
    hook::instanceMethod<host::kCPULevel, &CPULevel>(),
    hook::instanceMethod<host::kGetCPUTargetPower, &getCPUTargetPower>(),
    hook::instanceMethod<host::kGetPackageCPUPowerTarget, &getPackageCPUPowerTarget>(),
    hook::instanceMethod<host::kGetPackageTargetPower, &getPackageTargetPower>(),
    hook::instanceMethod<host::kSetGPUPowerCeilingFromDecisionSource, &setGPUPowerCeiling>(),
    hook::instanceMethod<host::kSetGPUPowerFloorFromDecisionSource, &setGPUPowerFloor>(),
    hook::instanceMethod<host::kSetGPUPowerZoneTarget, &setGPUPowerZoneTarget>(),
    hook::instanceMethod<host::kSetSGXLevel, &setSGXLevel>(),
    hook::instanceMethod<host::kSetMaxGraphicsDrivePowerTarget, &setMaxGraphicsDrivePowerTarget>(),
    hook::instanceMethod<host::kUpdateCPU, &updateCPU>(),
    hook::instanceMethod<host::kUpdateGPU, &updateGPU>(),
    hook::instanceMethod<host::kUpdatePackage, &updatePackage>(),
};

}  // namespace

constinit const hook::ClassHook MitigationControllerHook{
    "MitigationControllerHook", host::kMitigationController, kReplacements};

}  // namespace halvernic::hooks
