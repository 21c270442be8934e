// The daemon's start-up and its thermal model.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>

#include "hvplatform/mach_testing.h"

#include "common/objc/foundation.hpp"
#include "extension/hooking/host.hpp"
#include "sim/internal.hpp"
#include "sim/model.hpp"

#ifndef HALVERNIC_SIM_SOURCE_DIR
#error "HALVERNIC_SIM_SOURCE_DIR names this folder"
#endif

namespace halvernic::sim {
namespace {

namespace host = halvernic::host;

constinit objc::Selector kAlloc{"alloc"};
constinit objc::Selector kInit{"init"};

// The thermal model (sim/model.hpp) as this daemon runs it, with the workload.
struct Model {
  std::mutex mutex;
  model::Parameters parameters;
  model::Nodes nodes = model::initial(parameters);
  std::int64_t seconds = 0;          // steps since the device's boot
  std::uint32_t cpu_demand = 30000;  // what the workload asks for
  std::uint32_t cpu_drawn = 0;       // what the controller let it draw in the last step
  std::string device_root;           // the hardware's files below it ("" for none)
  bool resumed = false;              // the nodes and time came from the hardware's file
};

constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;

// The hardware's files (device_root set), written atomically as a device's firmware would
// publish them: the battery's entry, and the nodes and time for the next daemon.
void write_hardware(const std::string& device_root, const model::Nodes& nodes,
                    std::int64_t seconds) {
  if (device_root.empty()) return;
  objc::AutoreleasePool pool;
  const std::string entry = device_root + "/" + kBatteryRegistryEntry;
  std::filesystem::create_directories(std::filesystem::path(entry).parent_path());
  objc::Ref battery = objc::makeMutableDictionary();
  objc::dictionarySet(battery.get(), "Temperature",
                      objc::number(std::llround(nodes.battery * 100.0)));
  objc::writePropertyListXmlAtomically(battery.get(), entry);
  objc::Ref state = objc::makeMutableDictionary();
  objc::dictionarySet(state.get(), "seconds", objc::number(seconds));
  objc::dictionarySet(state.get(), "die", objc::numberDouble(nodes.die));
  objc::dictionarySet(state.get(), "battery", objc::numberDouble(nodes.battery));
  objc::writePropertyListXmlAtomically(state.get(), device_root + "/" + kHardwareStateFile);
}

// What the previous daemon of the device left; false when nothing (or nothing usable).
bool read_hardware(const std::string& device_root, model::Nodes& nodes, std::int64_t& seconds) {
  objc::AutoreleasePool pool;
  const objc::Ref state =
      objc::readPropertyListFile(device_root + "/" + kHardwareStateFile, 64 * 1024);
  id time = objc::dictionaryGet(state.get(), "seconds");
  id die = objc::dictionaryGet(state.get(), "die");
  id battery = objc::dictionaryGet(state.get(), "battery");
  if (!objc::isNumber(time) || !objc::isNumber(die) || !objc::isNumber(battery)) return false;
  const double d = objc::doubleValue(die), b = objc::doubleValue(battery);
  if (!std::isfinite(d) || !std::isfinite(b) || objc::int64Value(time) < 0) return false;
  nodes.die = d;
  nodes.battery = b;
  seconds = objc::int64Value(time);
  return true;
}

Model& running_model() {
  static auto* m = new Model();
  return *m;
}

id alloc(Class cls) { return objc::send<id>(cls, kAlloc); }

}  // namespace

std::string default_configuration_folder() {
  return HALVERNIC_SIM_SOURCE_DIR "/root/System/Library/ThermalMonitor";
}

Daemon::~Daemon() {
  if (product_) detail::clear_wiring(product_.get());
}

void Daemon::start(const std::string& folder) {
  objc::AutoreleasePool pool;

  if (Class cls = host::kThermalManager.get()) {
    thermal_manager_ = objc::Ref::adopt(objc::send<id>(alloc(cls), kInit));
    objc::send(thermal_manager_.get(), detail::kLoadConfigurationsFromFolder, objc::string(folder));
  }
  id product_config = configuration_for(thermal_manager_.get(), "Product");
  id component_config = configuration_for(thermal_manager_.get(), "Components");

  if (Class cls = host::kCommonProduct.get()) {
    product_ = objc::Ref::adopt(host::kInitProduct.send(alloc(cls), product_config));
  }
  if (Class cls = host::kMitigationController.get()) {
    objc::Ref power_save = objc::makeMutableDictionary();
    objc::dictionarySet(power_save.get(), "cpuLowPowerTarget",
                        objc::number(detail::kCPULowPowerTarget));
    objc::Ref power_zone = objc::makeMutableDictionary();
    objc::dictionarySet(power_zone.get(), "zoneTarget", objc::number(detail::kCPUMaxPower));
    controller_ = objc::Ref::adopt(host::kInitForFastLoop.send(
        alloc(cls), objc::toBool(true), objc::toBool(false), power_save.get(), power_zone.get()));
  }
  if (Class cls = host::kCPMSHelper.get()) {
    cpms_helper_ = objc::Ref::adopt(objc::send<id>(alloc(cls), kInit));
  }
  if (Class cls = host::kHidSensors.get()) {
    sensors_ = objc::Ref::adopt(objc::send<id>(alloc(cls), kInit));
  }

  id components = objc::dictionaryGet(component_config, "Components");
  if (objc::isArray(components)) {
    objc::send(cpms_helper_.get(), detail::kConfigureComponents, components);
    if (Class cls = host::kComponentControl.get()) {
      for (std::size_t i = 0; i < objc::count(components); ++i) {
        id entry = objc::arrayGet(components, i);
        const int type = static_cast<int>(objc::int64Value(objc::dictionaryGet(entry, "type")));
        objc::Ref component = objc::Ref::adopt(
            objc::send<id>(alloc(cls), detail::kInitWithTypeHelper, type, cpms_helper_.get()));
        host::kUpdatePowerParameters.send(component.get(), entry);
        const auto demand = static_cast<unsigned int>(
            std::max<std::int64_t>(objc::int64Value(objc::dictionaryGet(entry, "demand")), 0));
        objc::send(component.get(), detail::kSetDemand, demand);
        components_.push_back(std::move(component));
      }
    }
  }

  {
    Model& m = running_model();
    std::lock_guard lock(m.mutex);
    if (id ambient = objc::dictionaryGet(product_config, "ambientTemperature");
        objc::isNumber(ambient)) {
      m.parameters.ambient = objc::doubleValue(ambient);
    }
    m.cpu_drawn = 0;
    if (!m.resumed) {
      m.nodes = model::initial(m.parameters);
      m.seconds = 0;
    }
    write_hardware(m.device_root, m.nodes, m.seconds);
  }
  if (product_) detail::set_wiring(product_.get(), controller_.get());
}

void Daemon::tick() {
  objc::AutoreleasePool pool;
  double temperature;
  {
    Model& m = running_model();
    std::lock_guard lock(m.mutex);
    m.nodes = model::step(m.parameters, m.nodes, m.cpu_drawn);
    ++m.seconds;
    temperature = m.nodes.die;
    if (!m.device_root.empty()) {
      // The second has passed on the device before its daemon looks at it.
      HVMachSetDeviceTime(static_cast<std::uint64_t>(m.seconds) * kNanosecondsPerSecond);
      write_hardware(m.device_root, m.nodes, m.seconds);
    }
  }
  host::kHandleTemperatureEventService.send(
      sensors_.get(), static_cast<int>(temperature * 1000.0),
      host::bridged<host::IOHIDServiceClientRef>(objc::string("SOC")));
  if (!sensors_) detail::set_sensed_temperature(temperature);
  host::kTryTakeAction.send(product_.get());
  for (const objc::Ref& component : components_) {
    host::kComputePowerTarget.send(component.get());
    host::kCurrentPower.send(component.get());
  }
  const std::int64_t target = controller_ ? host::kGetCPUTargetPower.send(controller_.get()) : 0;
  Model& m = running_model();
  std::lock_guard lock(m.mutex);
  const std::int64_t allowed = controller_ ? std::max<std::int64_t>(target, 0) : m.cpu_demand;
  m.cpu_drawn = static_cast<std::uint32_t>(std::min<std::int64_t>(m.cpu_demand, allowed));
}

void Daemon::set_cpu_demand(std::uint32_t demand) {
  Model& m = running_model();
  std::lock_guard lock(m.mutex);
  m.cpu_demand = demand;
}

double Daemon::temperature() const {
  Model& m = running_model();
  std::lock_guard lock(m.mutex);
  return m.nodes.die;
}

double Daemon::battery_temperature() const {
  Model& m = running_model();
  std::lock_guard lock(m.mutex);
  return m.nodes.battery;
}

std::int64_t Daemon::seconds() const {
  Model& m = running_model();
  std::lock_guard lock(m.mutex);
  return m.seconds;
}

void Daemon::use_device_hardware(const std::string& device_root) {
  Model& m = running_model();
  std::lock_guard lock(m.mutex);
  m.device_root = device_root;
  // The device stays as warm as its previous daemon left it, and its clock runs on from
  // where that one stopped (from 0 on a device just booted).
  m.resumed = read_hardware(device_root, m.nodes, m.seconds);
  if (!m.resumed) m.seconds = 0;
  HVMachSetDeviceTime(static_cast<std::uint64_t>(m.seconds) * kNanosecondsPerSecond);
}

}  // namespace halvernic::sim
