// ComponentControlHook: the daemon's power-controlled components.
//
// -[ComponentControl currentPower], -computePowerTarget, -powerTarget
//     the daemon's value goes through HPowerHepler::adjustComponentPowerLimit with the
//     component's mitigationType (raised in fullPower, recorded in every mode); an engine
//     value beyond 32 bits answers 4294967295, never a wrapped value
// -[ComponentControl updatePowerParameters:]
//     with thermalPreventDimmingEnabled on, a dictionary reaches the daemon patched by
//     HDictHepler; anything else passes unchanged
#pragma once

#include <cstdint>

#include "extension/hooking/hook.hpp"

namespace halvernic::hooks {

extern constinit const hook::ClassHook ComponentControlHook;

// An engine power value as the daemon's unsigned 32-bit answer: saturated to
// [0, 4294967295].
constexpr std::uint32_t componentPowerAnswer(std::int64_t value) noexcept {
  if (value <= 0) return 0;
  if (value >= std::int64_t{UINT32_MAX}) return UINT32_MAX;
  return static_cast<std::uint32_t>(value);
}

}  // namespace halvernic::hooks
