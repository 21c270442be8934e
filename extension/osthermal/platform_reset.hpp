// The platform's own thermal state put back: every key the extension's settings write into
// the OS thermal status store removed, and the system thermal-pressure level published as
// nominal. The package's removal runs it (halvernicctl reset, and the extension itself when
// it stands down); a value something else stored under one of these keys before is not
// restored, only removed.
//
// Plain calls of the exported functions (osthermal.h), with nothing of the library's start-up:
// a program that compiles this folder in runs the same code the daemon runs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace halvernic::osthermal {

// The OS thermal status store's keys the exported functions write, by feature: the flag key
// and its persistence key (simulateHip has none).
struct ThermalStatusFeature {
  const char* feature;  // for people
  const char* flagKey;
  const char* persistenceKey;  // or null
};
inline constexpr ThermalStatusFeature kThermalNotifications{
    "thermal notifications", "OSThermalNotificationEnabled",
    "OSThermalNotificationPersistentlyEnabled"};
inline constexpr ThermalStatusFeature kThermalMitigations{"thermal mitigations", "engageBehavior",
                                                          "engageBehaviorPersistentlyEnabled"};
inline constexpr ThermalStatusFeature kPocketOverride{"pocket override", "hipOverride",
                                                      "hipPersistentlyEnabled"};
inline constexpr ThermalStatusFeature kPocketSimulation{"pocket simulation", "simulateHip",
                                                        nullptr};
inline constexpr ThermalStatusFeature kSunlightOverride{"sunlight override", "sunlightOverride",
                                                        "sunlightOverridePersistentlyEnabled"};
// The five, nine keys in all: what a reset removes.
inline constexpr std::array<ThermalStatusFeature, 5> kThermalStatusFeatures = {
    kThermalNotifications, kThermalMitigations, kPocketOverride, kPocketSimulation,
    kSunlightOverride};

struct ResetStep {
  const char* function;                 // the exported function, e.g. "halvernicResetHIP"
  const ThermalStatusFeature* feature;  // the store's keys it removes; null for the pressure
  std::int32_t status;                  // what it answered (osthermal.h)

  // What it puts back, for people: "thermal mitigations (engageBehavior,
  // engageBehaviorPersistentlyEnabled)", "the thermal-pressure level (nominal)".
  std::string what() const;
};

inline constexpr std::size_t kResetStepCount = 6;

struct PlatformReset {
  std::array<ResetStep, kResetStepCount> steps;
  bool succeeded() const noexcept;
};

// The five reset functions (thermal notifications, thermal mitigations, the pocket override,
// the pocket simulation, the sunlight override: nine keys, each function with its own
// preferences handles), then halvernicSetDarwinThermalPressure(0). Every step runs whatever
// the others answer.
PlatformReset resetPlatformThermalState() noexcept;

// Why a step failed, in words: "SystemConfiguration is not available", "the store's commit
// failed (SCError 3)", "notify status 5"... ("" for status 0).
std::string describeStatus(const ResetStep& step);

}  // namespace halvernic::osthermal
