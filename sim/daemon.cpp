// The daemon's start-up and its thermal model.
#include <algorithm>
#include <cstdlib>
#include <mutex>

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
  std::uint32_t cpu_demand = 30000;    // what the workload asks for
  std::uint32_t cpu_drawn = 0;         // what the controller let it draw in the last step
};

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
    objc::Ref power_save = objc::make_mutable_dictionary();
    objc::dictionary_set(power_save.get(), "cpuLowPowerTarget", objc::number(detail::kCPULowPowerTarget));
    objc::Ref power_zone = objc::make_mutable_dictionary();
    objc::dictionary_set(power_zone.get(), "zoneTarget", objc::number(detail::kCPUMaxPower));
    controller_ = objc::Ref::adopt(host::kInitForFastLoop.send(
        alloc(cls), objc::to_BOOL(true), objc::to_BOOL(false), power_save.get(), power_zone.get()));
  }
  if (Class cls = host::kCPMSHelper.get()) {
    cpms_helper_ = objc::Ref::adopt(objc::send<id>(alloc(cls), kInit));
  }
  if (Class cls = host::kHidSensors.get()) {
    sensors_ = objc::Ref::adopt(objc::send<id>(alloc(cls), kInit));
  }

  id components = objc::dictionary_get(component_config, "Components");
  if (objc::is_array(components)) {
    objc::send(cpms_helper_.get(), detail::kConfigureComponents, components);
    if (Class cls = host::kComponentControl.get()) {
      for (std::size_t i = 0; i < objc::count(components); ++i) {
        id entry = objc::array_get(components, i);
        const int type = static_cast<int>(objc::int64_value(objc::dictionary_get(entry, "type")));
        objc::Ref component = objc::Ref::adopt(
            objc::send<id>(alloc(cls), detail::kInitWithTypeHelper, type, cpms_helper_.get()));
        host::kUpdatePowerParameters.send(component.get(), entry);
        const auto demand = static_cast<unsigned int>(
            std::max<std::int64_t>(objc::int64_value(objc::dictionary_get(entry, "demand")), 0));
        objc::send(component.get(), detail::kSetDemand, demand);
        components_.push_back(std::move(component));
      }
    }
  }

  {
    Model& m = running_model();
    std::lock_guard lock(m.mutex);
    if (id ambient = objc::dictionary_get(product_config, "ambientTemperature"); objc::is_number(ambient)) {
      m.parameters.ambient = objc::double_value(ambient);
    }
    m.nodes = model::initial(m.parameters);
    m.cpu_drawn = 0;
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
    temperature = m.nodes.die;
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

}  // namespace halvernic::sim
