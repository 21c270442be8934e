// HDictHepler: rewrites the daemon's thermal configuration so that the display is not
// dimmed for heat.
//
// Every dictionary of a configuration that describes a backlight component (found under a
// key containing "backlight", or holding a key containing "brightness" or
// "backlightpower", all case-insensitive) gets its brightness and backlight-power tables
// flattened to their largest entry, maxThermalPower and minThermalPower pinned to one
// value of at least 1000000, and expectsCPMSSupport set to 0. The patch applies only
// while thermalPreventDimmingEnabled is on.
//
// The walk builds a new mutable tree (every dictionary and array is new; other values
// are shared with the input) children first, on an explicit stack: any nesting depth is
// safe on any thread's stack.
//
// The patcher keeps no state between calls. What it needs of the power policy engine
// (the prevent-dimming setting, and a place to report backlight power values) comes
// through HDictHepler::Engine; shared() wires it to HPowerHepler::shared().
#pragma once

#include <cstdint>
#include <optional>

#include "common/objc/ref.hpp"
#include "common/objc/runtime.hpp"

class HDictHepler {
public:
  // What the patcher needs of the power policy engine.
  class Engine {
  public:
    virtual ~Engine() = default;
    // thermalPreventDimmingEnabled (fallback false), loading the preferences first while
    // the engine holds none.
    virtual bool preventDimmingEnabled() = 0;
    // A positive backlight power value found in a configuration: raises the engine's
    // observedComponentPowerGlobalMax to it (never lowers it).
    virtual void observeComponentPower(std::int64_t value) = 0;
  };

  static constexpr std::int64_t thermalPowerFloor = 1000000;

  // The process-wide instance, made on first use from any thread and never destroyed,
  // speaking to HPowerHepler::shared().
  static HDictHepler& shared();

  // A patcher speaking to engine, which must outlive it (tests, benchmarks).
  explicit HDictHepler(Engine& engine) noexcept : engine_(engine) {}

  HDictHepler(const HDictHepler&) = delete;
  HDictHepler& operator=(const HDictHepler&) = delete;

  // The patched copy of dictionary while thermalPreventDimmingEnabled is on; otherwise,
  // or when dictionary is not a dictionary, the very object given. Never raises.
  objc::Ref patchThermalConfiguration(id dictionary);

  // The integer value of a configuration value: a number's integer value (fractions
  // truncated towards zero, saturating at the 64-bit range, NaN reads 0); a string
  // trimmed of leading and trailing whitespace and newlines that is then exactly a
  // decimal integer with an optional "+" or "-" and fits in 64 bits; nothing otherwise.
  static std::optional<std::int64_t> configIntegerValue(id value) noexcept;

private:
  Engine& engine_;
};
