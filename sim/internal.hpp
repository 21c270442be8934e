// Inside the simulation: the call record and the wiring between the daemon's objects.
#pragma once

#include <cstdint>
#include <mutex>
#include <type_traits>
#include <vector>

#include "common/objc/message.hpp"
#include "common/objc/ref.hpp"
#include "sim/sim.hpp"

namespace halvernic::sim::detail {

Arg object_arg(id object);
Arg integer_arg(std::int64_t value);

void record(id self, SEL cmd, std::vector<Arg> args);

template <class T>
Arg to_arg(T value) {
  if constexpr (std::is_same_v<T, id>) {
    return object_arg(value);
  } else {
    static_assert(std::is_integral_v<T>);
    return integer_arg(static_cast<std::int64_t>(value));
  }
}

// Records one message that reached a simulated method.
template <class... A>
void record_call(id self, SEL cmd, A... args) {
  record(self, cmd, std::vector<Arg>{to_arg(args)...});
}

// The objects of the running Daemon, as the daemon's objects know one another, and the
// temperature its sensor last reported. Empty when no Daemon runs (objects made one by
// one in a test talk to nobody).
struct Wiring {
  objc::Ref product, controller;
  double sensed_temperature = 30.0;
};
Wiring wiring();
void set_wiring(id product, id controller);
void clear_wiring(id product);
void set_sensed_temperature(double celsius);

// The product's pressure level as it reports it (the model's level unless a simulation
// mode holds it), read without sending a message.
std::int64_t effective_pressure_level(id product);

// Sim-only messages the Daemon uses to wire its objects (the simulated classes register
// them from these declarations; the daemon's own messages are extension/hooking/host.hpp's).
inline constinit objc::Message<void(id)> kLoadConfigurationsFromFolder{
    "loadConfigurationsFromFolder:"};
inline constinit objc::Message<void(id)> kConfigureComponents{"configureComponents:"};
// A component of the given type (int, as the daemon's mitigationType) and its power helper.
inline constinit objc::Message<id(int, id)> kInitWithTypeHelper{"initWithType:helper:"};
// The power the component asks for, in the daemon's unit.
inline constinit objc::Message<void(unsigned int)> kSetDemand{"setDemand:"};

// The daemon's own type encoding of one of its methods, as Apple's class dumps give it;
// nullptr for a method the dumps do not have (the simulation's own, and the four
// ThermalManager queries the extension names but Apple's daemon lacks).
const char* daemon_method_types(const char* class_name, const char* selector) noexcept;

// Thermal decision source of the product's own limits.
inline constexpr int kThermalDecisionSource = 1;

// Nominal limits, in the daemon's power unit.
inline constexpr int kCPUMaxPower = 45000;
inline constexpr int kPackageMaxPower = 60000;
inline constexpr int kGPUMaxPower = 30000;
inline constexpr int kCPULowPowerTarget = 20000;

}  // namespace halvernic::sim::detail
