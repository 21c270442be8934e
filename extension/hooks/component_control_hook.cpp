#include "extension/hooks/component_control_hook.hpp"

#include "common/objc/foundation.hpp"
#include "extension/config/dict_helper.hpp"
#include "extension/hooking/host.hpp"
#include "extension/policy/power_helper.hpp"

namespace halvernic::hooks {
namespace {

// -currentPower, -computePowerTarget, -powerTarget: the daemon's value, as the engine's
// component power limit for this component's type allows it.
std::uint32_t componentPowerLimit(hook::Orig<std::uint32_t()> orig, id self) {
  const std::uint32_t requested = orig(self);
  const std::int64_t componentType = host::kMitigationType.send(self);
  return componentPowerAnswer(
      HPowerHepler::shared().adjustComponentPowerLimit(requested, componentType));
}

// -updatePowerParameters: with prevent-dimming on, the component is configured from the
// patched copy of its parameters.
void updatePowerParameters(hook::Orig<void(id)> orig, id self, id parameters) {
  HPowerHepler& engine = HPowerHepler::shared();
  if (!objc::isDictionary(parameters) || !engine.preventDimmingEnabled()) {
    orig(self, parameters);
    return;
  }
  objc::Ref patched;
  {
    objc::AutoreleasePool pool;  // the walk's temporaries end here
    patched = HDictHepler::shared().patchThermalConfiguration(parameters);
  }
  orig(self, patched ? patched.get() : parameters);
}

constexpr hook::Replacement kReplacements[] = {
    hook::instanceMethod<host::kCurrentPower, &componentPowerLimit>(),
    hook::instanceMethod<host::kComputePowerTarget, &componentPowerLimit>(),
    hook::instanceMethod<host::kPowerTarget, &componentPowerLimit>(),
    hook::instanceMethod<host::kUpdatePowerParameters, &updatePowerParameters>(),
};

}  // namespace

constinit const hook::ClassHook ComponentControlHook{"ComponentControlHook",
                                                     host::kComponentControl, kReplacements};

}  // namespace halvernic::hooks
