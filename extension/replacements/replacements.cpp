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

// While the overheat protection is engaged the engine decides (fullPower acts as native,
// prevent-dimming is off), as it does for the hooks. Rare: kept out of the callers' code.
[[gnu::noinline, gnu::cold]] PreferenceFlags engineFlags() {
  HPowerHepler& engine = HPowerHepler::shared();
  const HPowerHepler::PowerMode mode = engine.currentPowerMode();
  return PreferenceFlags{mode == HPowerHepler::PowerMode::fullPower,
                         mode == HPowerHepler::PowerMode::lowPower, engine.preventDimmingEnabled()};
}

// Each replacement takes the flags once per call: one clock read and one load of the
// snapshot's word within its reuse window, one atomic load of the engine's engaged bit, and
// every decision of the call made from the same reading.
[[gnu::always_inline]] inline PreferenceFlags flags() {
  const PreferenceFlags own = preferenceSnapshot().refresh();
  if (__builtin_expect(!HPowerHepler::overheatProtectionEngaged(), 1)) return own;
  return engineFlags();
}

bool suppressesThermalSignals(const PreferenceFlags& f) {
  return f.preventDimming || f.fullPowerMode;
}

std::int64_t clampedLevel(const PreferenceFlags& f, std::int64_t level) {
  if (f.fullPowerMode) return 0;
  if (f.preventDimming && level >= kHighestDimmedPressure) return kHighestDimmedPressure;
  return level;
}

// The pressure numbers the layer answers most: made once, kept for the life of the process.
id pressureNumber(std::int64_t level) {
  static const id zero = [] {
    objc::AutoreleasePool pool;
    return objc::keepForever(objc::Ref::retain(objc::number(0)));
  }();
  static const id one = [] {
    objc::AutoreleasePool pool;
    return objc::keepForever(objc::Ref::retain(objc::number(1)));
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
  if (!objc::isDictionary(config) || objc::count(config) == 0) return {};
  objc::Ref copy = objc::mutableCopy(config);
  if (!copy) return {};
  id off = objc::boolean(false);
  if (preventDimming) {
    objc::dictionarySet(copy.get(), "needsPushingTSFDtoDisplayDriver", off);
    objc::dictionarySet(copy.get(), "displayBrightnessMitigation", off);
    objc::dictionarySet(copy.get(), "displayMitigation", off);
  }
  if (fullPower) {
    objc::dictionarySet(copy.get(), "needsContextualClamp", off);
    objc::dictionarySet(copy.get(), "shouldEnforceLightThermalPressure", off);
    objc::dictionarySet(copy.get(), "shouldEnforceThermalPressure", off);
    objc::dictionarySet(copy.get(), "thermalPressureMitigation", off);
    objc::dictionarySet(copy.get(), "forcedThermalLevel", int32Number(0));
    objc::dictionarySet(copy.get(), "performanceMitigation", off);
    objc::dictionarySet(copy.get(), "CPMSMitigationState", off);
    objc::dictionarySet(copy.get(), "CPMSMitigationLevel", int32Number(0));
    objc::dictionarySet(copy.get(), "maxPower", int32Number(kFullPower));
    objc::dictionarySet(copy.get(), "packagePowerTarget", int32Number(kFullPower));
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
  if (id attached = objc::getAssociated(config, patchedKey)) return attached;
  objc::Ref patched;
  bool completed;
  {
    objc::AutoreleasePool pool;
    std::string reason;
    completed = objc::catchException(
        [&] { patched = patchConfiguration(config, preventDimming, fullPower); }, &reason);
    if (!completed) {
      objc::log("halvernic thermal manager dim patch exception: %@", objc::string(reason));
    }
  }
  if (!completed || !patched) return config;
  // Owned by the host's dictionary from here on; the daemon borrows it as it borrows that.
  objc::setAssociated(config, patchedKey, patched.get());
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
  if (f.preventDimming && objc::isNumber(result)) {
    return pressureNumber(clampedLevel(f, objc::int64Value(result)));
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
    hook::instanceMethod<host::kThermalPressureLevel, &thermalPressureLevel>(),
    hook::instanceMethod<host::kSetThermalState, &setThermalState>(),
    hook::instanceMethod<host::kGetPotentialForcedThermalPressureLevel,
                         &getPotentialForcedThermalPressureLevel>(),
    hook::instanceMethod<host::kGetPotentialForcedThermalLevel, &getPotentialForcedThermalLevel>(),
    hook::instanceMethod<host::kThermalUpdatesToWatchdogEnabled,
                         &thermalUpdatesToWatchdogEnabled>(),
};

constinit const hook::Replacement kThermalManagerReplacements[] = {
    hook::instanceMethod<host::kGetConfigurationFor, &getConfigurationFor>(),
    hook::instanceMethod<host::kGetThermalSuggestion, &getThermalSuggestion>(),
    hook::instanceMethod<host::kThermalSuggestion, &thermalSuggestion>(),
    hook::instanceMethod<host::kThermalMitigation, &thermalMitigation>(),
    hook::instanceMethod<host::kThermalPressure, &thermalPressure>(),
};

constinit const hook::Replacement kMitigationControllerReplacements[] = {
    hook::instanceMethod<host::kSetPowerSaveActive, &setPowerSaveActive>(),
    hook::instanceMethod<host::kSetCPMSMitigationsEnabled, &setCPMSMitigationsEnabled>(),
    hook::instanceMethod<host::kSetDVD1Level, &setDVD1Level>(),
    hook::instanceMethod<host::kSetCPULevel, &setCPULevel>(),
    hook::instanceMethod<host::kSetCPULowPowerTarget, &setCPULowPowerTarget>(),
    hook::instanceMethod<host::kSetCPUPowerCeilingFromDecisionSource,
                         &setCPUPowerCeilingFromDecisionSource>(),
    hook::instanceMethod<host::kSetCPUPowerCeilingForDVD1Contributor,
                         &setCPUPowerCeilingForDVD1Contributor>(),
    hook::instanceMethod<host::kSetCPUPowerFloorFromDecisionSource,
                         &setCPUPowerFloorFromDecisionSource>(),
    hook::instanceMethod<host::kSetCPUPowerZoneTarget, &setCPUPowerZoneTarget>(),
    hook::instanceMethod<host::kSetPackagePowerCeilingFromDecisionSource,
                         &setPackagePowerCeilingFromDecisionSource>(),
    hook::instanceMethod<host::kSetPackagePowerFloorFromDecisionSource,
                         &setPackagePowerFloorFromDecisionSource>(),
    hook::instanceMethod<host::kSetMaxPackagePower, &setMaxPackagePower>(),
    hook::instanceMethod<host::kSetPackageLowPowerTarget, &setPackageLowPowerTarget>(),
    hook::instanceMethod<host::kSetPackagePowerZoneTarget, &setPackagePowerZoneTarget>(),
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
    inPlace += hook::installInto(observer, *kInstallationTable[i].group, hostClasses[i]);
  }
  return inPlace;
}

std::size_t installMethodReplacements(const HostClassList& classes) {
  hook::InstallObserver silent;
  return installMethodReplacements(classes, silent);
}

}  // namespace halvernic::replacements
