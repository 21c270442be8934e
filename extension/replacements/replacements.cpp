#include "extension/replacements/replacements.hpp"

#include <mutex>
#include <string>

#include "common/objc/exception.hpp"
#include "common/objc/foundation.hpp"
#include "common/objc/swizzle.hpp"
#include "common/objc/weak.hpp"
#include "extension/hooking/host.hpp"
#include "extension/policy/power_helper.hpp"
#include "extension/replacements/preference_snapshot.hpp"

namespace halvernic::replacements {

namespace {

using hook::Orig;
using host::PassedOnArg;

constexpr int kFullPower = static_cast<int>(host::kFullPowerValue);
constexpr std::int64_t kHighestDimmedPressure = 1;

constinit objc::ClassName kNSNumber{"NSNumber"};
constinit objc::Selector kNumberWithInt{"numberWithInt:"};
constinit objc::Selector kCopy{"copy"};

// Each replacement takes the flags once per call: one clock read within the snapshot's reuse
// window and one atomic load of the engine's word, and every decision of the call made from
// the same reading. While the overheat protection is engaged the engine decides (fullPower
// acts as native, prevent-dimming is off), as it does for the hooks.
PreferenceFlags flags() {
  const PreferenceFlags own = preferenceSnapshot().refresh();
  if (!HPowerHepler::overheatProtectionEngaged()) return own;
  HPowerHepler& engine = HPowerHepler::shared();
  const HPowerHepler::PowerMode mode = engine.currentPowerMode();
  return PreferenceFlags{mode == HPowerHepler::PowerMode::fullPower,
                         mode == HPowerHepler::PowerMode::lowPower, engine.preventDimmingEnabled()};
}

bool suppressesThermalSignals(const PreferenceFlags& f) { return f.preventDimming || f.fullPowerMode; }

std::int64_t clampedLevel(const PreferenceFlags& f, std::int64_t level) {
  if (f.fullPowerMode) return 0;
  if (f.preventDimming && level >= kHighestDimmedPressure) return kHighestDimmedPressure;
  return level;
}

// The pressure numbers the layer answers most: made once, kept for the life of the process.
id pressureNumber(std::int64_t level) {
  static const id zero = [] {
    objc::AutoreleasePool pool;
    return objc::keep_forever(objc::Ref::retain(objc::number(0)));
  }();
  static const id one = [] {
    objc::AutoreleasePool pool;
    return objc::keep_forever(objc::Ref::retain(objc::number(1)));
  }();
  if (level == 0) return zero;
  if (level == 1) return one;
  return objc::number(level);
}

// ---- patched configurations live as long as the daemon's ----------------------------------
// The daemon borrows the section getConfigurationFor: answers and keeps using it for the
// life of the process, while asking for other sections. Each patched copy is therefore
// attached to the host dictionary it came from (an associated object, one per combination
// of the two flags) and answered again for the same input: it lives exactly as long as the
// daemon's section, and memory stays bounded by the number of sections.
constinit const char kPatchedForPreventDimming = 0;
constinit const char kPatchedForFullPower = 0;
constinit const char kPatchedForBoth = 0;

const void* patchKey(bool preventDimming, bool fullPower) {
  if (preventDimming && fullPower) return &kPatchedForBoth;
  return preventDimming ? &kPatchedForPreventDimming : &kPatchedForFullPower;
}

// Two threads patching the same section at once attach one copy, never two.
std::mutex gPatchMutex;

// ---- the configuration patch ------------------------------------------------------------
id int32Number(int value) { return objc::send<id>(kNSNumber.get(), kNumberWithInt.get(), value); }

// The patched immutable copy of config (+1), or nothing when config is left as it is.
// Runs inside the caller's pool: a pool of its own would be drained while an exception
// passes through and release the exception in flight.
objc::Ref patchConfiguration(id config, bool preventDimming, bool fullPower) {
  if (!objc::is_dictionary(config) || objc::count(config) == 0) return {};
  objc::Ref copy = objc::mutable_copy(config);
  if (!copy) return {};
  id off = objc::boolean(false);
  if (preventDimming) {
    objc::dictionary_set(copy.get(), "needsPushingTSFDtoDisplayDriver", off);
    objc::dictionary_set(copy.get(), "displayBrightnessMitigation", off);
    objc::dictionary_set(copy.get(), "displayMitigation", off);
  }
  if (fullPower) {
    objc::dictionary_set(copy.get(), "needsContextualClamp", off);
    objc::dictionary_set(copy.get(), "shouldEnforceLightThermalPressure", off);
    objc::dictionary_set(copy.get(), "shouldEnforceThermalPressure", off);
    objc::dictionary_set(copy.get(), "thermalPressureMitigation", off);
    objc::dictionary_set(copy.get(), "forcedThermalLevel", int32Number(0));
    objc::dictionary_set(copy.get(), "performanceMitigation", off);
    objc::dictionary_set(copy.get(), "CPMSMitigationState", off);
    objc::dictionary_set(copy.get(), "CPMSMitigationLevel", int32Number(0));
    objc::dictionary_set(copy.get(), "maxPower", int32Number(kFullPower));
    objc::dictionary_set(copy.get(), "packagePowerTarget", int32Number(kFullPower));
  }
  return objc::Ref::adopt(objc::send<id>(copy.get(), kCopy.get()));
}

// ---- CommonProduct ------------------------------------------------------------------------

std::int64_t thermalPressureLevel(Orig<std::int64_t()> orig, id self) {
  const PreferenceFlags f = flags();
  if (f.fullPowerMode || !orig.available()) return 0;
  return clampedLevel(f, orig(self));
}

void setThermalState(Orig<void(int)> orig, id self, int state) {
  const PreferenceFlags f = flags();
  if (f.fullPowerMode) {
    if (state == 0) orig(self, 0);
    return;
  }
  orig(self, static_cast<int>(clampedLevel(f, state)));
}

bool getPotentialForcedThermalPressureLevel(Orig<bool()> orig, id self) {
  if (suppressesThermalSignals(flags())) return false;
  return orig(self);
}

// The daemon's "no forced level" is the value 0.
std::uint64_t getPotentialForcedThermalLevel(Orig<std::uint64_t(std::uint64_t)> orig, id self,
                                             std::uint64_t argument) {
  if (suppressesThermalSignals(flags())) return 0;
  return orig(self, argument);
}

void thermalUpdatesToWatchdogEnabled(Orig<void(id)> orig, id self, id enabled) {
  orig(self, flags().fullPowerMode ? objc::boolean(false) : enabled);
}

// ---- ThermalManager -------------------------------------------------------------------------

// The daemon borrows the section answered and keeps using it (see the patch's lifetime
// below).
void* getConfigurationFor(Orig<void*(host::CFStringRef)> orig, id self, host::CFStringRef key) {
  id config = static_cast<id>(orig(self, key));
  const PreferenceFlags f = flags();
  const bool preventDimming = f.preventDimming;
  const bool fullPower = f.fullPowerMode;
  if (!config || (!preventDimming && !fullPower)) return config;

  const void* patchedKey = patchKey(preventDimming, fullPower);
  std::lock_guard lock(gPatchMutex);
  if (id attached = objc::get_associated(config, patchedKey)) return attached;
  objc::Ref patched;
  bool completed;
  {
    objc::AutoreleasePool pool;
    std::string reason;
    completed = objc::catch_exception(
        [&] { patched = patchConfiguration(config, preventDimming, fullPower); }, &reason);
    if (!completed) {
      objc::log("halvernic thermal manager dim patch exception: %@", objc::string(reason));
    }
  }
  if (!completed || !patched) return config;
  // Owned by the host's dictionary from here on; the daemon borrows it as it borrows that.
  objc::set_associated(config, patchedKey, patched.get());
  return patched.get();
}

id getThermalSuggestion(Orig<id(id)> orig, id self, id argument) {
  if (suppressesThermalSignals(flags())) return nullptr;
  return orig(self, argument);
}

id thermalSuggestion(Orig<id(id)> orig, id self, id argument) {
  if (suppressesThermalSignals(flags())) return nullptr;
  return orig(self, argument);
}

id thermalMitigation(Orig<id(id)> orig, id self, id argument) {
  if (suppressesThermalSignals(flags())) return nullptr;
  return orig(self, argument);
}

id thermalPressure(Orig<id(id)> orig, id self, id argument) {
  const PreferenceFlags f = flags();
  if (f.fullPowerMode || !orig.available()) return pressureNumber(0);
  id result = orig(self, argument);
  if (f.preventDimming && objc::is_number(result)) {
    return pressureNumber(clampedLevel(f, objc::int64_value(result)));
  }
  return result;
}

// ---- MitigationController ---------------------------------------------------------------------

void setPowerSaveActive(Orig<void(BOOL)> orig, id self, BOOL active) {
  const PreferenceFlags f = flags();
  if (f.fullPowerMode) return orig(self, NO);
  orig(self, f.lowPowerMode ? YES : active);
}

void setCPMSMitigationsEnabled(Orig<void(BOOL)> orig, id self, BOOL enabled) {
  orig(self, flags().fullPowerMode ? NO : enabled);
}

void setDVD1Level(Orig<void(int)> orig, id self, int level) {
  orig(self, flags().fullPowerMode ? 0 : level);
}

void setCPULevel(Orig<void(int)> orig, id self, int level) {
  const PreferenceFlags f = flags();
  if (f.fullPowerMode) return orig(self, 0);
  orig(self, f.lowPowerMode ? host::kLowPowerCPULevel : level);
}

// The CPU and package power limits: the full power value in fullPower, else unchanged.
void setCPULowPowerTarget(Orig<void(int)> orig, id self, int target) {
  orig(self, flags().fullPowerMode ? kFullPower : target);
}

void setCPUPowerCeilingFromDecisionSource(Orig<void(int, PassedOnArg)> orig, id self, int ceiling,
                                          PassedOnArg source) {
  orig(self, flags().fullPowerMode ? kFullPower : ceiling, source);
}

void setCPUPowerCeilingForDVD1Contributor(Orig<void(int, PassedOnArg)> orig, id self, int ceiling,
                                          PassedOnArg contributor) {
  orig(self, flags().fullPowerMode ? kFullPower : ceiling, contributor);
}

// A floor is raised to the full power value, not lowered.
void setCPUPowerFloorFromDecisionSource(Orig<void(int, PassedOnArg)> orig, id self, int floor,
                                        PassedOnArg source) {
  orig(self, flags().fullPowerMode ? kFullPower : floor, source);
}

void setCPUPowerZoneTarget(Orig<void(int)> orig, id self, int target) {
  orig(self, flags().fullPowerMode ? kFullPower : target);
}

void setPackagePowerCeilingFromDecisionSource(Orig<void(int, PassedOnArg)> orig, id self,
                                              int ceiling, PassedOnArg source) {
  orig(self, flags().fullPowerMode ? kFullPower : ceiling, source);
}

void setPackagePowerFloorFromDecisionSource(Orig<void(int, PassedOnArg)> orig, id self, int floor,
                                            PassedOnArg source) {
  orig(self, flags().fullPowerMode ? kFullPower : floor, source);
}

void setMaxPackagePower(Orig<void(int)> orig, id self, int power) {
  orig(self, flags().fullPowerMode ? kFullPower : power);
}

void setPackageLowPowerTarget(Orig<void()> orig, id self) {
  if (!flags().fullPowerMode) orig(self);
}

void setPackagePowerZoneTarget(Orig<void()> orig, id self) {
  if (!flags().fullPowerMode) orig(self);
}

// ---- the installation table ----------------------------------------------------------------

constinit const hook::Replacement kCommonProductReplacements[] = {
    hook::instance_method<host::kThermalPressureLevel, &thermalPressureLevel>(),
    hook::instance_method<host::kSetThermalState, &setThermalState>(),
    hook::instance_method<host::kGetPotentialForcedThermalPressureLevel,
                          &getPotentialForcedThermalPressureLevel>(),
    hook::instance_method<host::kGetPotentialForcedThermalLevel, &getPotentialForcedThermalLevel>(),
    hook::instance_method<host::kThermalUpdatesToWatchdogEnabled, &thermalUpdatesToWatchdogEnabled>(),
};

constinit const hook::Replacement kThermalManagerReplacements[] = {
    hook::instance_method<host::kGetConfigurationFor, &getConfigurationFor>(),
    hook::instance_method<host::kGetThermalSuggestion, &getThermalSuggestion>(),
    hook::instance_method<host::kThermalSuggestion, &thermalSuggestion>(),
    hook::instance_method<host::kThermalMitigation, &thermalMitigation>(),
    hook::instance_method<host::kThermalPressure, &thermalPressure>(),
};

constinit const hook::Replacement kMitigationControllerReplacements[] = {
    hook::instance_method<host::kSetPowerSaveActive, &setPowerSaveActive>(),
    hook::instance_method<host::kSetCPMSMitigationsEnabled, &setCPMSMitigationsEnabled>(),
    hook::instance_method<host::kSetDVD1Level, &setDVD1Level>(),
    hook::instance_method<host::kSetCPULevel, &setCPULevel>(),
    hook::instance_method<host::kSetCPULowPowerTarget, &setCPULowPowerTarget>(),
    hook::instance_method<host::kSetCPUPowerCeilingFromDecisionSource,
                          &setCPUPowerCeilingFromDecisionSource>(),
    hook::instance_method<host::kSetCPUPowerCeilingForDVD1Contributor,
                          &setCPUPowerCeilingForDVD1Contributor>(),
    hook::instance_method<host::kSetCPUPowerFloorFromDecisionSource,
                          &setCPUPowerFloorFromDecisionSource>(),
    hook::instance_method<host::kSetCPUPowerZoneTarget, &setCPUPowerZoneTarget>(),
    hook::instance_method<host::kSetPackagePowerCeilingFromDecisionSource,
                          &setPackagePowerCeilingFromDecisionSource>(),
    hook::instance_method<host::kSetPackagePowerFloorFromDecisionSource,
                          &setPackagePowerFloorFromDecisionSource>(),
    hook::instance_method<host::kSetMaxPackagePower, &setMaxPackagePower>(),
    hook::instance_method<host::kSetPackageLowPowerTarget, &setPackageLowPowerTarget>(),
    hook::instance_method<host::kSetPackagePowerZoneTarget, &setPackagePowerZoneTarget>(),
};

constinit const hook::ClassHook kCommonProductGroup{kReplacementGroupName, host::kCommonProduct,
                                                   kCommonProductReplacements};
constinit const hook::ClassHook kThermalManagerGroup{kReplacementGroupName, host::kThermalManager,
                                                    kThermalManagerReplacements};
constinit const hook::ClassHook kMitigationControllerGroup{
    kReplacementGroupName, host::kMitigationController, kMitigationControllerReplacements};

constinit const ReplacementGroup kInstallationTable[] = {
    {&host::kCommonProduct, kCommonProductReplacements, &kCommonProductGroup},
    {&host::kThermalManager, kThermalManagerReplacements, &kThermalManagerGroup},
    {&host::kMitigationController, kMitigationControllerReplacements, &kMitigationControllerGroup},
};

}  // namespace

bool shouldSuppressThermalSignals() { return suppressesThermalSignals(flags()); }

std::int64_t clampedPressureLevel(std::int64_t level) { return clampedLevel(flags(), level); }

HostClassList hostClassesByName() noexcept {
  return HostClassList{host::kCommonProduct.get(), host::kThermalManager.get(),
                       host::kMitigationController.get()};
}

std::span<const ReplacementGroup> installationTable() noexcept { return kInstallationTable; }

std::size_t installMethodReplacements(const HostClassList& classes,
                                      hook::InstallObserver& observer) {
  const Class hostClasses[] = {classes.commonProduct, classes.thermalManager,
                               classes.mitigationController};
  std::size_t inPlace = 0;
  for (std::size_t i = 0; i < std::size(kInstallationTable); ++i) {
    inPlace += hook::install_into(observer, *kInstallationTable[i].group, hostClasses[i]);
  }
  return inPlace;
}

std::size_t installMethodReplacements(const HostClassList& classes) {
  hook::InstallObserver silent;
  return installMethodReplacements(classes, silent);
}

}  // namespace halvernic::replacements
