#include "extension/hooks/cpms_helper_hook.hpp"

#include <cstdint>

#include "extension/hooking/host.hpp"
#include "extension/policy/power_helper.hpp"

namespace halvernic::hooks {

namespace {

using hook::Orig;

constexpr std::uint32_t kFullPower =
    static_cast<std::uint32_t>(HPowerHepler::unrestrictedPowerTarget);  // 50000

bool fullPower() {
  return HPowerHepler::shared().currentPowerMode() == HPowerHepler::PowerMode::fullPower;
}

std::uint32_t getMaxPowerForComponent(Orig<std::uint32_t(int)> orig, id self, int component) {
  if (fullPower()) return kFullPower;
  return orig(self, component);
}

std::uint32_t getMinPowerForComponent(Orig<std::uint32_t(int)> orig, id self, int component) {
  if (fullPower()) return 0;
  return orig(self, component);
}

constexpr hook::Replacement kReplacements[] = {
    hook::instanceMethod<host::kGetMaxPowerForComponent, &getMaxPowerForComponent>(),
    hook::instanceMethod<host::kGetMinPowerForComponent, &getMinPowerForComponent>(),
};

}  // namespace

constinit const hook::ClassHook CPMSHelperHook{"CPMSHelperHook", host::kCPMSHelper, kReplacements};

}  // namespace halvernic::hooks
