// The daemon's classes: CommonProduct, ThermalManager, MitigationController, CPMSHelper,
// HidSensors and ComponentControl, each a subclass of NSObject built from C++ with the
// argument and result types the daemon declares. Every method records the message first,
// then acts on the instance's own state. No lock is held while a method sends a message,
// so hooks and replacements may call back into the same object.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>

#include "common/objc/class_builder.hpp"
#include "common/objc/foundation.hpp"
#include "common/objc/swizzle.hpp"
#include "extension/hooking/host.hpp"
#include "sim/internal.hpp"
#include "sim/model.hpp"

namespace halvernic::sim {
namespace {

namespace host = halvernic::host;
using detail::record_call;

constinit objc::Selector kInit{"init"};
constinit objc::Selector kStringByAppendingPathComponent{"stringByAppendingPathComponent:"};

id init_super(id self, const char* class_name) {
  return objc::sendSuper<id>(self, objc::cls(class_name), kInit);
}

// ---- wiring ----------------------------------------------------------------------------

std::mutex g_wiring_mutex;
detail::Wiring g_wiring;

// ---- CommonProduct ---------------------------------------------------------------------

struct Product {
  std::mutex mutex;
  ProductState state;
  objc::Ref config;
  // The control's figures (sim/model.hpp), unless the configuration sets its own.
  std::vector<double> thresholds{std::begin(model::kPressureThresholds),
                                 std::end(model::kPressureThresholds)};
  std::vector<std::int64_t> limit_percent{std::begin(model::kPressureLimitPercent),
                                          std::end(model::kPressureLimitPercent)};
  double hysteresis = model::kPressureHysteresis;
  int cpu_max = detail::kCPUMaxPower;
  int package_max = detail::kPackageMaxPower;
  int gpu_max = detail::kGPUMaxPower;
  bool dims_display = true;  // the configuration's displayBrightnessMitigation
};

Product& product(id self) { return objc::storage<Product>(self); }

std::int64_t simulated_level(const std::string& mode) {
  if (mode == "nominal") return 0;
  if (mode == "light") return 1;
  return -1;
}

std::int64_t effective_level(const Product& p) {
  std::int64_t level = simulated_level(p.state.thermal_simulation_mode);
  if (level < 0) level = simulated_level(p.state.low_temp_simulation_mode);
  return level < 0 ? p.state.pressure_level : level;
}

int config_int(id config, std::string_view key, int fallback) {
  id value = objc::dictionaryGet(config, key);
  return objc::isNumber(value) ? static_cast<int>(objc::int64Value(value)) : fallback;
}

id product_initProduct(id self, SEL cmd, id config) {
  record_call(self, cmd, config);
  self = init_super(self, "CommonProduct");
  if (!self) return nullptr;
  Product& p = product(self);
  std::lock_guard lock(p.mutex);
  p.config = objc::Ref::retain(config);
  if (id dims = objc::dictionaryGet(config, "displayBrightnessMitigation"); dims) {
    p.dims_display = objc::platformBoolValue(dims);
  }
  p.cpu_max = config_int(config, "maxPower", p.cpu_max);
  p.package_max = config_int(config, "packagePowerTarget", p.package_max);
  p.gpu_max = config_int(config, "gpuMaxPower", p.gpu_max);
  if (id thresholds = objc::dictionaryGet(config, "pressureThresholds");
      objc::isArray(thresholds)) {
    p.thresholds.clear();
    for (std::size_t i = 0; i < objc::count(thresholds); ++i) {
      p.thresholds.push_back(objc::doubleValue(objc::arrayGet(thresholds, i)));
    }
  }
  if (id hysteresis = objc::dictionaryGet(config, "pressureHysteresis");
      objc::isNumber(hysteresis)) {
    const double degrees = objc::doubleValue(hysteresis);
    if (std::isfinite(degrees)) p.hysteresis = std::max(degrees, 0.0);
  }
  if (id limits = objc::dictionaryGet(config, "pressureLimitPercent"); objc::isArray(limits)) {
    p.limit_percent.clear();
    for (std::size_t i = 0; i < objc::count(limits); ++i) {
      p.limit_percent.push_back(objc::int64Value(objc::arrayGet(limits, i)));
    }
  }
  return self;
}

void product_putDeviceInThermalSimulationMode(id self, SEL cmd, id mode) {
  record_call(self, cmd, mode);
  Product& p = product(self);
  std::lock_guard lock(p.mutex);
  p.state.thermal_simulation_mode = objc::toString(mode);
}

void product_putDeviceInLowTempSimulationMode(id self, SEL cmd, id mode) {
  record_call(self, cmd, mode);
  Product& p = product(self);
  std::lock_guard lock(p.mutex);
  p.state.low_temp_simulation_mode = objc::toString(mode);
}

// The product's decision: pressure from the sensed temperature (with the control's
// hysteresis, sim/model.hpp), then the controller's limits lowered by the pressure the
// product reports.
void product_tryTakeAction(id self, SEL cmd) {
  record_call(self, cmd);
  const detail::Wiring wiring = detail::wiring();
  Product& p = product(self);
  int cpu_max, package_max, gpu_max;
  std::vector<std::int64_t> limits;
  {
    std::lock_guard lock(p.mutex);
    ++p.state.actions;
    p.state.pressure_level = model::pressure_level(
        p.state.pressure_level, wiring.sensed_temperature, p.thresholds, p.hysteresis);
    cpu_max = p.cpu_max;
    package_max = p.package_max;
    gpu_max = p.gpu_max;
    limits = p.limit_percent;
  }
  const std::int64_t reported = host::kThermalPressureLevel.send(self);
  host::kSetThermalState.send(self, static_cast<int>(reported));
  if (limits.empty()) limits.push_back(100);
  const std::int64_t index =
      std::clamp<std::int64_t>(reported, 0, static_cast<std::int64_t>(limits.size()) - 1);
  const std::int64_t percent = limits[static_cast<std::size_t>(index)];
  {
    // The display's brightness limit follows the reported pressure while the product's
    // configuration asks for brightness mitigation.
    std::lock_guard lock(p.mutex);
    p.state.reported_pressure_level = reported;
    p.state.brightness_limit = p.dims_display ? model::brightness_limit(reported) : 100;
  }
  id mc = wiring.controller.get();
  host::kSetCPUPowerCeilingFromDecisionSource.send(mc, static_cast<int>(cpu_max * percent / 100),
                                                   detail::kThermalDecisionSource);
  host::kSetPackagePowerCeilingFromDecisionSource.send(
      mc, static_cast<int>(package_max * percent / 100), detail::kThermalDecisionSource);
  host::kSetGPUPowerCeilingFromDecisionSource.send(mc, static_cast<int>(gpu_max * percent / 100),
                                                   detail::kThermalDecisionSource);
  host::kUpdateCPU.send(mc);
  host::kUpdateGPU.send(mc);
  host::kUpdatePackage.send(mc);
}

void product_handleMCSThermalPressure(id self, SEL cmd) {
  record_call(self, cmd);
  Product& p = product(self);
  std::lock_guard lock(p.mutex);
  ++p.state.mcs_pressure_handled;
}

void product_simulateLightThermalPressure(id self, SEL cmd) {
  record_call(self, cmd);
  Product& p = product(self);
  std::lock_guard lock(p.mutex);
  ++p.state.light_pressure_simulated;
  p.state.pressure_level = std::max<std::int64_t>(p.state.pressure_level, 1);
}

void product_updatePowerzoneTelemetry(id self, SEL cmd) {
  record_call(self, cmd);
  Product& p = product(self);
  std::lock_guard lock(p.mutex);
  ++p.state.telemetry_updates;
}

std::int64_t product_thermalPressureLevel(id self, SEL cmd) {
  record_call(self, cmd);
  Product& p = product(self);
  std::lock_guard lock(p.mutex);
  return effective_level(p);
}

void product_setThermalState(id self, SEL cmd, int state) {
  record_call(self, cmd, state);
  Product& p = product(self);
  std::lock_guard lock(p.mutex);
  p.state.thermal_state = state;
}

// Whether a simulation mode forces the pressure level.
bool product_getPotentialForcedThermalPressureLevel(id self, SEL cmd) {
  record_call(self, cmd);
  Product& p = product(self);
  std::lock_guard lock(p.mutex);
  return simulated_level(p.state.thermal_simulation_mode) > 0;
}

// The forced level plus one for any component (0: none forced).
std::uint64_t product_getPotentialForcedThermalLevel(id self, SEL cmd, std::uint64_t component) {
  record_call(self, cmd, component);
  Product& p = product(self);
  std::lock_guard lock(p.mutex);
  const std::int64_t level = simulated_level(p.state.thermal_simulation_mode);
  return level < 0 ? 0 : static_cast<std::uint64_t>(level) + 1;
}

void product_thermalUpdatesToWatchdogEnabled(id self, SEL cmd, id enabled) {
  record_call(self, cmd, enabled);
  Product& p = product(self);
  std::lock_guard lock(p.mutex);
  p.state.watchdog_updates = objc::platformBoolValue(enabled);
}

// ---- ThermalManager --------------------------------------------------------------------

struct Manager {
  std::mutex mutex;
  std::vector<objc::Ref> configurations;
};

Manager& manager(id self) { return objc::storage<Manager>(self); }

std::int64_t reported_pressure() {
  const detail::Wiring wiring = detail::wiring();
  return wiring.product ? detail::effective_pressure_level(wiring.product.get()) : 0;
}

// Loads the configuration files in their fixed order, as the daemon does, through the
// class method the extension watches.
void manager_loadConfigurationsFromFolder(id self, SEL cmd, id folder) {
  record_call(self, cmd, folder);
  std::vector<objc::Ref> loaded;
  for (const char* name : kConfigurationFiles) {
    id path = objc::send<id>(folder, kStringByAppendingPathComponent, objc::string(name));
    loaded.push_back(objc::Ref::retain(
        host::kDictionaryWithContentsOfFile.send(host::kNSDictionary.get(), path)));
  }
  Manager& m = manager(self);
  std::lock_guard lock(m.mutex);
  m.configurations = std::move(loaded);
}

// The configuration loaded from "<key>.plist", borrowed: it lives as long as the manager.
void* manager_getConfigurationFor(id self, SEL cmd, host::CFStringRef key) {
  record_call(self, cmd, host::object(key));
  const std::string name = objc::toString(host::object(key)) + ".plist";
  Manager& m = manager(self);
  std::lock_guard lock(m.mutex);
  for (std::size_t i = 0; i < m.configurations.size() && i < std::size(kConfigurationFiles); ++i) {
    if (name == kConfigurationFiles[i]) return m.configurations[i].get();
  }
  return nullptr;
}

id manager_getThermalSuggestion(id self, SEL cmd, id context) {
  record_call(self, cmd, context);
  const std::int64_t level = reported_pressure();
  return level > 0 ? objc::number(level) : nullptr;
}

id manager_thermalSuggestion(id self, SEL cmd, id context) {
  record_call(self, cmd, context);
  const std::int64_t level = reported_pressure();
  return level > 0 ? objc::string(level >= 3 ? "reducePerformance" : "reduceBrightness") : nullptr;
}

id manager_thermalMitigation(id self, SEL cmd, id context) {
  record_call(self, cmd, context);
  const std::int64_t level = reported_pressure();
  return level > 0 ? objc::number(100 - 15 * level) : nullptr;
}

id manager_thermalPressure(id self, SEL cmd, id context) {
  record_call(self, cmd, context);
  return objc::number(reported_pressure());
}

// ---- MitigationController --------------------------------------------------------------

struct Controller {
  std::mutex mutex;
  ControllerState state;
  objc::Ref power_save_params, power_zone_params;
};

Controller& controller(id self) { return objc::storage<Controller>(self); }

template <class Fn>
void with_controller(id self, Fn&& fn) {
  Controller& c = controller(self);
  std::lock_guard lock(c.mutex);
  fn(c.state);
}

id controller_initForFastLoop(id self, SEL cmd, BOOL fast_loop, BOOL no_display,
                              id power_save_params, id power_zone_params) {
  record_call(self, cmd, fast_loop, no_display, power_save_params, power_zone_params);
  self = init_super(self, "MitigationController");
  if (!self) return nullptr;
  Controller& c = controller(self);
  std::lock_guard lock(c.mutex);
  ControllerState& s = c.state;
  s.fast_loop = objc::fromBool(fast_loop);
  s.no_display = objc::fromBool(no_display);
  c.power_save_params = objc::Ref::retain(power_save_params);
  c.power_zone_params = objc::Ref::retain(power_zone_params);
  s.cpu_low_power_target =
      config_int(power_save_params, "cpuLowPowerTarget", detail::kCPULowPowerTarget);
  s.cpu_power_ceiling = s.cpu_dvd1_ceiling = s.cpu_power_zone_target = detail::kCPUMaxPower;
  s.package_power_ceiling = s.max_package_power = detail::kPackageMaxPower;
  s.gpu_power_ceiling = s.gpu_power_zone_target = s.max_graphics_drive_power_target =
      detail::kGPUMaxPower;
  s.cpu_target_power = s.package_cpu_power_target = detail::kCPUMaxPower;
  s.package_target_power = detail::kPackageMaxPower;
  s.gpu_target_power = detail::kGPUMaxPower;
  return self;
}

BOOL controller_powerSaveActive(id self, SEL cmd) {
  record_call(self, cmd);
  bool active = false;
  with_controller(self, [&](ControllerState& s) { active = s.power_save_active; });
  return objc::toBool(active);
}

int controller_CPULevel(id self, SEL cmd) {
  record_call(self, cmd);
  int level = 0;
  with_controller(self, [&](ControllerState& s) { level = s.cpu_level; });
  return level;
}

// The daemon answers its targets as 32-bit ints.
int controller_getCPUTargetPower(id self, SEL cmd) {
  record_call(self, cmd);
  int v = 0;
  with_controller(self, [&](ControllerState& s) { v = static_cast<int>(s.cpu_target_power); });
  return v;
}

int controller_getPackageCPUPowerTarget(id self, SEL cmd) {
  record_call(self, cmd);
  int v = 0;
  with_controller(self,
                  [&](ControllerState& s) { v = static_cast<int>(s.package_cpu_power_target); });
  return v;
}

int controller_getPackageTargetPower(id self, SEL cmd) {
  record_call(self, cmd);
  int v = 0;
  with_controller(self, [&](ControllerState& s) { v = static_cast<int>(s.package_target_power); });
  return v;
}

void controller_setGPUPowerCeiling(id self, SEL cmd, int ceiling, int source) {
  record_call(self, cmd, ceiling, source);
  with_controller(self, [&](ControllerState& s) {
    s.gpu_power_ceiling = ceiling;
    s.gpu_power_ceiling_source = source;
  });
}

void controller_setGPUPowerFloor(id self, SEL cmd, int floor, int source) {
  record_call(self, cmd, floor, source);
  with_controller(self, [&](ControllerState& s) {
    s.gpu_power_floor = floor;
    s.gpu_power_floor_source = source;
  });
}

void controller_setGPUPowerZoneTarget(id self, SEL cmd, int target) {
  record_call(self, cmd, target);
  with_controller(self, [&](ControllerState& s) { s.gpu_power_zone_target = target; });
}

void controller_setSGXLevel(id self, SEL cmd, int level) {
  record_call(self, cmd, level);
  with_controller(self, [&](ControllerState& s) { s.sgx_level = level; });
}

void controller_setMaxGraphicsDrivePowerTarget(id self, SEL cmd, int target) {
  record_call(self, cmd, target);
  with_controller(self, [&](ControllerState& s) { s.max_graphics_drive_power_target = target; });
}

// The CPU target: the lowest of the ceilings (the low-power target while power save is
// on, the zone target while CPMS mitigations are on), less 15% per CPU level, never below
// the floor.
void controller_updateCPU(id self, SEL cmd) {
  record_call(self, cmd);
  with_controller(self, [](ControllerState& s) {
    ++s.cpu_updates;
    std::int64_t target = std::min(s.cpu_power_ceiling, s.cpu_dvd1_ceiling);
    if (s.cpms_mitigations_enabled)
      target = std::min<std::int64_t>(target, s.cpu_power_zone_target);
    if (s.power_save_active) target = std::min<std::int64_t>(target, s.cpu_low_power_target);
    const std::int64_t level = std::clamp(s.cpu_level, 0, 4);
    target = target * (100 - 15 * level) / 100;
    target = std::max<std::int64_t>(target, s.cpu_power_floor);
    s.cpu_target_power = target;
    s.package_cpu_power_target = std::min<std::int64_t>(target, s.package_power_ceiling);
  });
}

void controller_updateGPU(id self, SEL cmd) {
  record_call(self, cmd);
  with_controller(self, [](ControllerState& s) {
    ++s.gpu_updates;
    std::int64_t target =
        std::min({s.gpu_power_ceiling, s.gpu_power_zone_target, s.max_graphics_drive_power_target});
    target = target * (100 - 10 * std::clamp<std::int64_t>(s.sgx_level, 0, 5)) / 100;
    s.gpu_target_power = std::max(target, s.gpu_power_floor);
  });
}

void controller_updatePackage(id self, SEL cmd) {
  record_call(self, cmd);
  with_controller(self, [](ControllerState& s) {
    ++s.package_updates;
    std::int64_t target = std::min(s.package_power_ceiling, s.max_package_power);
    if (s.package_low_power_target) target = target * 60 / 100;
    if (s.package_power_zone_target && s.cpms_mitigations_enabled) target = target * 80 / 100;
    s.package_target_power = std::max<std::int64_t>(target, s.package_power_floor);
  });
}

void controller_setPowerSaveActive(id self, SEL cmd, BOOL active) {
  record_call(self, cmd, active);
  with_controller(self, [&](ControllerState& s) { s.power_save_active = objc::fromBool(active); });
}

void controller_setCPMSMitigationsEnabled(id self, SEL cmd, BOOL enabled) {
  record_call(self, cmd, enabled);
  with_controller(
      self, [&](ControllerState& s) { s.cpms_mitigations_enabled = objc::fromBool(enabled); });
}

void controller_setDVD1Level(id self, SEL cmd, int level) {
  record_call(self, cmd, level);
  with_controller(self, [&](ControllerState& s) { s.dvd1_level = level; });
}

void controller_setCPULevel(id self, SEL cmd, int level) {
  record_call(self, cmd, level);
  with_controller(self, [&](ControllerState& s) { s.cpu_level = level; });
}

void controller_setCPULowPowerTarget(id self, SEL cmd, int target) {
  record_call(self, cmd, target);
  with_controller(self, [&](ControllerState& s) { s.cpu_low_power_target = target; });
}

// The host declares the decision source and the DVD1 contributor as 32-bit values.
void controller_setCPUPowerCeilingFromDecisionSource(id self, SEL cmd, int ceiling, int source) {
  record_call(self, cmd, ceiling, source);
  with_controller(self, [&](ControllerState& s) {
    s.cpu_power_ceiling = ceiling;
    s.cpu_power_ceiling_source = source;
  });
}

void controller_setCPUPowerCeilingForDVD1Contributor(id self, SEL cmd, int ceiling,
                                                     int contributor) {
  record_call(self, cmd, ceiling, contributor);
  with_controller(self, [&](ControllerState& s) {
    s.cpu_dvd1_ceiling = ceiling;
    s.dvd1_contributor = contributor;
  });
}

void controller_setCPUPowerFloor(id self, SEL cmd, int floor, int source) {
  record_call(self, cmd, floor, source);
  with_controller(self, [&](ControllerState& s) {
    s.cpu_power_floor = floor;
    s.cpu_power_floor_source = source;
  });
}

void controller_setCPUPowerZoneTarget(id self, SEL cmd, int target) {
  record_call(self, cmd, target);
  with_controller(self, [&](ControllerState& s) { s.cpu_power_zone_target = target; });
}

void controller_setPackagePowerCeiling(id self, SEL cmd, int ceiling, int source) {
  record_call(self, cmd, ceiling, source);
  with_controller(self, [&](ControllerState& s) {
    s.package_power_ceiling = ceiling;
    s.package_power_ceiling_source = source;
  });
}

void controller_setPackagePowerFloor(id self, SEL cmd, int floor, int source) {
  record_call(self, cmd, floor, source);
  with_controller(self, [&](ControllerState& s) {
    s.package_power_floor = floor;
    s.package_power_floor_source = source;
  });
}

void controller_setMaxPackagePower(id self, SEL cmd, int power) {
  record_call(self, cmd, power);
  with_controller(self, [&](ControllerState& s) { s.max_package_power = power; });
}

void controller_setPackageLowPowerTarget(id self, SEL cmd) {
  record_call(self, cmd);
  with_controller(self, [](ControllerState& s) { s.package_low_power_target = true; });
}

void controller_setPackagePowerZoneTarget(id self, SEL cmd) {
  record_call(self, cmd);
  with_controller(self, [](ControllerState& s) { s.package_power_zone_target = true; });
}

// ---- CPMSHelper ------------------------------------------------------------------------

struct ComponentLimits {
  std::int64_t type;
  std::uint32_t max_power, min_power;
};

struct Helper {
  std::mutex mutex;
  std::vector<ComponentLimits> limits{{0, detail::kCPUMaxPower, 500},
                                      {1, detail::kGPUMaxPower, 300}};
};

Helper& helper(id self) { return objc::storage<Helper>(self); }

void helper_configureComponents(id self, SEL cmd, id components) {
  record_call(self, cmd, components);
  std::vector<ComponentLimits> limits;
  for (std::size_t i = 0; i < objc::count(components); ++i) {
    id c = objc::arrayGet(components, i);
    limits.push_back({config_int(c, "type", 0),
                      static_cast<std::uint32_t>(std::max(config_int(c, "maxPower", 0), 0)),
                      static_cast<std::uint32_t>(std::max(config_int(c, "minPower", 0), 0))});
  }
  Helper& h = helper(self);
  std::lock_guard lock(h.mutex);
  h.limits = std::move(limits);
}

// The largest power of a component, lowered by 15% per level of the product's pressure.
std::uint32_t helper_getMaxPowerForComponent(id self, SEL cmd, int component) {
  record_call(self, cmd, component);
  const std::int64_t level = std::clamp<std::int64_t>(reported_pressure(), 0, 4);
  Helper& h = helper(self);
  std::lock_guard lock(h.mutex);
  for (const ComponentLimits& l : h.limits) {
    if (l.type == component)
      return static_cast<std::uint32_t>(l.max_power * (100 - 15 * level) / 100);
  }
  return 0;
}

std::uint32_t helper_getMinPowerForComponent(id self, SEL cmd, int component) {
  record_call(self, cmd, component);
  Helper& h = helper(self);
  std::lock_guard lock(h.mutex);
  for (const ComponentLimits& l : h.limits) {
    if (l.type == component) return l.min_power;
  }
  return 0;
}

// ---- ComponentControl ------------------------------------------------------------------

struct Component {
  std::mutex mutex;
  ComponentState state;
  objc::Ref helper;
};

Component& component(id self) { return objc::storage<Component>(self); }

id component_initWithTypeHelper(id self, SEL cmd, int type, id cpms_helper) {
  record_call(self, cmd, type, cpms_helper);
  self = init_super(self, "ComponentControl");
  if (!self) return nullptr;
  Component& c = component(self);
  std::lock_guard lock(c.mutex);
  c.state.type = type;
  c.helper = objc::Ref::retain(cpms_helper);
  return self;
}

void component_setDemand(id self, SEL cmd, unsigned int demand) {
  record_call(self, cmd, demand);
  Component& c = component(self);
  std::lock_guard lock(c.mutex);
  c.state.demand = demand;
}

std::uint32_t component_currentPower(id self, SEL cmd) {
  record_call(self, cmd);
  Component& c = component(self);
  std::lock_guard lock(c.mutex);
  c.state.current_power = std::min(c.state.demand, c.state.power_target);
  return c.state.current_power;
}

// The demand bounded by what CPMSHelper allows the component.
std::uint32_t component_computePowerTarget(id self, SEL cmd) {
  record_call(self, cmd);
  Component& c = component(self);
  objc::Ref cpms;
  int type;
  std::uint32_t demand;
  {
    std::lock_guard lock(c.mutex);
    cpms = c.helper;
    type = c.state.type;
    demand = c.state.demand;
  }
  std::uint32_t target = demand;
  if (cpms) {
    const std::uint32_t max_power = host::kGetMaxPowerForComponent.send(cpms.get(), type);
    const std::uint32_t min_power = host::kGetMinPowerForComponent.send(cpms.get(), type);
    target = std::max(std::min(demand, max_power), min_power);
  }
  std::lock_guard lock(c.mutex);
  c.state.power_target = target;
  return target;
}

std::uint32_t component_powerTarget(id self, SEL cmd) {
  record_call(self, cmd);
  Component& c = component(self);
  std::lock_guard lock(c.mutex);
  return c.state.power_target;
}

int component_mitigationType(id self, SEL cmd) {
  record_call(self, cmd);
  Component& c = component(self);
  std::lock_guard lock(c.mutex);
  return c.state.type;
}

void component_updatePowerParameters(id self, SEL cmd, id parameters) {
  record_call(self, cmd, parameters);
  Component& c = component(self);
  std::lock_guard lock(c.mutex);
  c.state.power_parameters = objc::Ref::retain(parameters);
}

// ---- HidSensors ------------------------------------------------------------------------

struct Sensors {
  std::mutex mutex;
  std::vector<std::pair<std::string, std::int64_t>> last_events;
};

Sensors& sensors(id self) { return objc::storage<Sensors>(self); }

// event: the temperature in thousandths of a degree Celsius; service: the sensor (here a
// string naming it, passed as the daemon's opaque service reference).
void sensors_handleTemperatureEvent(id self, SEL cmd, int event,
                                    host::IOHIDServiceClientRef service) {
  record_call(self, cmd, event, host::object(service));
  const std::string name = objc::toString(host::object(service));
  {
    Sensors& s = sensors(self);
    std::lock_guard lock(s.mutex);
    auto it = std::find_if(s.last_events.begin(), s.last_events.end(),
                           [&](const auto& e) { return e.first == name; });
    if (it == s.last_events.end()) {
      s.last_events.emplace_back(name, event);
    } else {
      it->second = event;
    }
  }
  detail::set_sensed_temperature(static_cast<double>(event) / 1000.0);
}

// ---- registration ----------------------------------------------------------------------

struct Registered {
  Class cls;
  std::string class_name;
  std::string selector;
  IMP implementation;
};

std::mutex g_registration_mutex;
bool g_registered = false;
Options g_options;
std::vector<Registered> g_methods;

class Registrar {
public:
  Registrar(const char* name, const Options& options)
      : name_(name), omitted_(options.omitted_classes.count(name) > 0), options_(options) {
    if (!omitted_) builder_.emplace(name, "NSObject");
  }

  // A method is registered from its declaration (the extension's host.hpp for the daemon's
  // own messages, internal.hpp for the simulation's), which the implementation must match
  // exactly. A daemon method takes the daemon's literal encoding (method_types.cpp) rather
  // than the declaration's, or the one the options give it instead: the extension's
  // declarations are what the simulation checks, not what it trusts. The implementation
  // must still be callable as the daemon declares the method.
  template <class M, class Imp>
  Registrar& method(const M& message, Imp imp) {
    const std::string key = name_ + "/" + message.name();
    if (omitted_ || options_.omitted_methods.count(key)) return *this;
    const std::string derived = objc::methodEncoding(imp);
    std::string types = derived;
    if (const char* daemon = detail::daemon_method_types(name_.c_str(), message.name())) {
      if (!objc::sameCallingConvention(daemon, derived.c_str())) {
        std::fprintf(stderr, "sim: -[%s %s] is implemented as %s, the daemon declares %s\n",
                     name_.c_str(), message.name(), derived.c_str(), daemon);
        std::abort();
      }
      types = daemon;
    }
    if (auto retyped = options_.retyped_methods.find(key);
        retyped != options_.retyped_methods.end()) {
      types = retyped->second;
    }
    builder_->methodWithEncoding(message, imp, types.c_str());
    methods_.push_back({message.name(), reinterpret_cast<IMP>(imp)});
    return *this;
  }

  template <class T>
  void build() {
    if (omitted_) return;
    Class cls = builder_->template storage<T>().build();
    for (auto& [selector, imp] : methods_) {
      g_methods.push_back({cls, name_, selector, imp});
    }
  }

private:
  std::string name_;
  bool omitted_;
  const Options& options_;
  std::optional<objc::ClassBuilder> builder_;
  std::vector<std::pair<std::string, IMP>> methods_;
};

void register_all(const Options& o) {
  Registrar("CommonProduct", o)
      .method(host::kInitProduct, &product_initProduct)
      .method(host::kPutDeviceInThermalSimulationMode, &product_putDeviceInThermalSimulationMode)
      .method(host::kPutDeviceInLowTempSimulationMode, &product_putDeviceInLowTempSimulationMode)
      .method(host::kTryTakeAction, &product_tryTakeAction)
      .method(host::kHandleMCSThermalPressure, &product_handleMCSThermalPressure)
      .method(host::kSimulateLightThermalPressure, &product_simulateLightThermalPressure)
      .method(host::kUpdatePowerzoneTelemetry, &product_updatePowerzoneTelemetry)
      .method(host::kThermalPressureLevel, &product_thermalPressureLevel)
      .method(host::kSetThermalState, &product_setThermalState)
      .method(host::kGetPotentialForcedThermalPressureLevel,
              &product_getPotentialForcedThermalPressureLevel)
      .method(host::kGetPotentialForcedThermalLevel, &product_getPotentialForcedThermalLevel)
      .method(host::kThermalUpdatesToWatchdogEnabled, &product_thermalUpdatesToWatchdogEnabled)
      .build<Product>();

  Registrar("ThermalManager", o)
      .method(detail::kLoadConfigurationsFromFolder, &manager_loadConfigurationsFromFolder)
      .method(host::kGetConfigurationFor, &manager_getConfigurationFor)
      .method(host::kGetThermalSuggestion, &manager_getThermalSuggestion)
      .method(host::kThermalSuggestion, &manager_thermalSuggestion)
      .method(host::kThermalMitigation, &manager_thermalMitigation)
      .method(host::kThermalPressure, &manager_thermalPressure)
      .build<Manager>();

  Registrar("MitigationController", o)
      .method(host::kInitForFastLoop, &controller_initForFastLoop)
      .method(host::kPowerSaveActive, &controller_powerSaveActive)
      .method(host::kCPULevel, &controller_CPULevel)
      .method(host::kGetCPUTargetPower, &controller_getCPUTargetPower)
      .method(host::kGetPackageCPUPowerTarget, &controller_getPackageCPUPowerTarget)
      .method(host::kGetPackageTargetPower, &controller_getPackageTargetPower)
      .method(host::kSetGPUPowerCeilingFromDecisionSource, &controller_setGPUPowerCeiling)
      .method(host::kSetGPUPowerFloorFromDecisionSource, &controller_setGPUPowerFloor)
      .method(host::kSetGPUPowerZoneTarget, &controller_setGPUPowerZoneTarget)
      .method(host::kSetSGXLevel, &controller_setSGXLevel)
      .method(host::kSetMaxGraphicsDrivePowerTarget, &controller_setMaxGraphicsDrivePowerTarget)
      .method(host::kUpdateCPU, &controller_updateCPU)
      .method(host::kUpdateGPU, &controller_updateGPU)
      .method(host::kUpdatePackage, &controller_updatePackage)
      .method(host::kSetPowerSaveActive, &controller_setPowerSaveActive)
      .method(host::kSetCPMSMitigationsEnabled, &controller_setCPMSMitigationsEnabled)
      .method(host::kSetDVD1Level, &controller_setDVD1Level)
      .method(host::kSetCPULevel, &controller_setCPULevel)
      .method(host::kSetCPULowPowerTarget, &controller_setCPULowPowerTarget)
      .method(host::kSetCPUPowerCeilingFromDecisionSource,
              &controller_setCPUPowerCeilingFromDecisionSource)
      .method(host::kSetCPUPowerCeilingForDVD1Contributor,
              &controller_setCPUPowerCeilingForDVD1Contributor)
      .method(host::kSetCPUPowerFloorFromDecisionSource, &controller_setCPUPowerFloor)
      .method(host::kSetCPUPowerZoneTarget, &controller_setCPUPowerZoneTarget)
      .method(host::kSetPackagePowerCeilingFromDecisionSource, &controller_setPackagePowerCeiling)
      .method(host::kSetPackagePowerFloorFromDecisionSource, &controller_setPackagePowerFloor)
      .method(host::kSetMaxPackagePower, &controller_setMaxPackagePower)
      .method(host::kSetPackageLowPowerTarget, &controller_setPackageLowPowerTarget)
      .method(host::kSetPackagePowerZoneTarget, &controller_setPackagePowerZoneTarget)
      .build<Controller>();

  Registrar("CPMSHelper", o)
      .method(detail::kConfigureComponents, &helper_configureComponents)
      .method(host::kGetMaxPowerForComponent, &helper_getMaxPowerForComponent)
      .method(host::kGetMinPowerForComponent, &helper_getMinPowerForComponent)
      .build<Helper>();

  Registrar("HidSensors", o)
      .method(host::kHandleTemperatureEventService, &sensors_handleTemperatureEvent)
      .build<Sensors>();

  Registrar("ComponentControl", o)
      .method(detail::kInitWithTypeHelper, &component_initWithTypeHelper)
      .method(detail::kSetDemand, &component_setDemand)
      .method(host::kCurrentPower, &component_currentPower)
      .method(host::kComputePowerTarget, &component_computePowerTarget)
      .method(host::kPowerTarget, &component_powerTarget)
      .method(host::kMitigationType, &component_mitigationType)
      .method(host::kUpdatePowerParameters, &component_updatePowerParameters)
      .build<Component>();
}

template <class T, class State>
State read_state(id object, const char* class_name, State T::* member) {
  if (!object || !objc::isKindOf(object, objc::cls(class_name))) return State{};
  T& t = objc::storage<T>(object);
  std::lock_guard lock(t.mutex);
  return t.*member;
}

}  // namespace

// ---- public ------------------------------------------------------------------------------

Options Options::parse(std::string_view text) {
  Options options;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ',' || std::isspace(static_cast<unsigned char>(text[i]))))
      ++i;
    std::size_t j = i;
    while (j < text.size() && text[j] != ',' && !std::isspace(static_cast<unsigned char>(text[j])))
      ++j;
    if (j > i) {
      std::string entry(text.substr(i, j - i));
      if (const std::size_t equals = entry.find('='); equals != std::string::npos) {
        options.retyped_methods[entry.substr(0, equals)] = entry.substr(equals + 1);
      } else if (entry.find('/') == std::string::npos) {
        options.omitted_classes.insert(entry);
      } else {
        options.omitted_methods.insert(entry);
      }
    }
    i = j;
  }
  return options;
}

bool register_classes(const Options& options) {
  std::lock_guard lock(g_registration_mutex);
  if (g_registered) return options == g_options;
  g_registered = true;
  g_options = options;
  register_all(options);
  return true;
}

std::vector<std::string> replaced_methods() {
  std::lock_guard lock(g_registration_mutex);
  std::vector<std::string> out;
  for (const Registered& m : g_methods) {
    if (objc::instanceImplementation(m.cls, objc::sel(m.selector.c_str())) != m.implementation) {
      out.push_back("-[" + m.class_name + " " + m.selector + "]");
    }
  }
  return out;
}

ProductState product_state(id object) {
  return read_state(object, "CommonProduct", &Product::state);
}
ControllerState controller_state(id object) {
  return read_state(object, "MitigationController", &Controller::state);
}
ComponentState component_state(id object) {
  return read_state(object, "ComponentControl", &Component::state);
}

std::int64_t last_temperature_event(id object, std::string_view service) {
  if (!object || !objc::isKindOf(object, objc::cls("HidSensors"))) return 0;
  Sensors& s = sensors(object);
  std::lock_guard lock(s.mutex);
  for (const auto& [name, event] : s.last_events) {
    if (name == service) return event;
  }
  return 0;
}

id configuration_for(id thermal_manager, std::string_view key) {
  return host::object(host::kGetConfigurationFor.send(
      thermal_manager, host::bridged<host::CFStringRef>(objc::string(key))));
}

std::size_t configuration_count(id object) {
  if (!object || !objc::isKindOf(object, objc::cls("ThermalManager"))) return 0;
  Manager& m = manager(object);
  std::lock_guard lock(m.mutex);
  return m.configurations.size();
}

namespace detail {

Wiring wiring() {
  std::lock_guard lock(g_wiring_mutex);
  return g_wiring;
}

void set_wiring(id product, id controller) {
  Wiring old;
  {
    std::lock_guard lock(g_wiring_mutex);
    old = g_wiring;
    g_wiring.product = objc::Ref::retain(product);
    g_wiring.controller = objc::Ref::retain(controller);
  }
}

void clear_wiring(id product) {
  Wiring old;
  {
    std::lock_guard lock(g_wiring_mutex);
    if (g_wiring.product.get() != product) return;
    old = std::move(g_wiring);
    g_wiring = Wiring{};
  }
}

void set_sensed_temperature(double celsius) {
  std::lock_guard lock(g_wiring_mutex);
  g_wiring.sensed_temperature = celsius;
}

std::int64_t effective_pressure_level(id object) {
  if (!object || !objc::isKindOf(object, objc::cls("CommonProduct"))) return 0;
  Product& p = product(object);
  std::lock_guard lock(p.mutex);
  return effective_level(p);
}

}  // namespace detail
}  // namespace halvernic::sim
