// The simulated thermalmonitord: the daemon's classes as real Objective-C classes, a small
// thermal model behind them, and a record of every message that reaches them.
//
// Order of events, as on a device: register the classes first, then load the injected
// libraries (their load-time initialisers see the classes), then start the daemon (it
// loads its configuration and creates its objects through the messages the extension
// hooks), then drive it with tick():
//
//   sim::register_classes();                          // or with Options leaving things out
//   sim::load_injected_libraries({"/path/halvernic.so"}, "thermalmonitord");
//   sim::Daemon daemon;
//   daemon.start(sim::default_configuration_folder());
//   daemon.tick();                                    // never runs on its own
//
// Linux only. Everything here is safe to call from several threads at once.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "common/objc/ref.hpp"

namespace halvernic::sim {

// ---- registration ------------------------------------------------------------------------

// What a registration leaves out, for the hosts that lack a class or a method.
struct Options {
  std::set<std::string> omitted_classes;  // "ThermalManager"
  std::set<std::string> omitted_methods;  // "MitigationController/setDVD1Level:"
  // Methods registered with another type encoding than the daemon's, as a future system
  // might declare them: "MitigationController/CPULevel" -> "q16@0:8". The method's
  // simulated implementation stays the same; only what the runtime says of it changes.
  std::map<std::string, std::string> retyped_methods;

  // Entries separated by commas or white space; "Class" leaves out a class,
  // "Class/selector" one method, "Class/selector=types" registers that method with the
  // encoding types ("MitigationController/setCPULevel:=v20@0:8q16"). Unknown names are
  // kept (they change nothing).
  static Options parse(std::string_view text);
  bool operator==(const Options&) const = default;
};

// Registers CommonProduct, ThermalManager, MitigationController, CPMSHelper, HidSensors
// and ComponentControl (subclasses of NSObject). Each method is registered from its
// declaration (extension/hooking/host.hpp), whose types its implementation has, but with
// the daemon's own type encoding (sim/method_types.cpp), or the one retyped_methods gives
// it: the class builder's method_with_encoding, which nothing but the simulation uses. The
// first call of the process decides; a later call changes nothing and answers whether it
// asked for the same options.
bool register_classes(const Options& options = {});

// The simulation's own methods whose implementation is no longer the simulation's (a
// hook or a replacement took their place), as "-[MitigationController setCPULevel:]",
// in registration order.
std::vector<std::string> replaced_methods();

// ---- what reached the host -----------------------------------------------------------------

struct Arg {
  bool is_object = false;
  std::int64_t integer = 0;  // integers and BOOL (0 or 1)
  objc::Ref object;          // objects (retained); empty for nil
  std::string text;          // integers in decimal; strings as they are; numbers in
                             // decimal; nil as "nil"; other objects as "<ClassName>"
};

struct Call {
  const void* receiver = nullptr;  // identity only (the object may be gone)
  std::string class_name;          // the receiver's class
  std::string selector;
  std::vector<Arg> args;
  // "setCPUPowerCeiling:fromDecisionSource: 50000 7"; a message without arguments is its
  // selector alone.
  std::string text() const;
};

// The most recent messages that reached a simulated method, oldest first: a ring of
// call_record_capacity() calls (HALVERNIC_SIM_CALL_RECORD, read once, or 16384), so a
// daemon that runs for hours holds a bounded record.
std::vector<Call> calls();
std::size_t call_record_capacity();
// text() of every call whose selector is one of selectors (all calls when empty).
std::vector<std::string> call_texts(std::initializer_list<std::string_view> selectors = {});
std::size_t call_count(std::string_view selector);
void clear_calls();

// ---- the state the messages change -------------------------------------------------------

struct ProductState {
  std::string thermal_simulation_mode = "off";   // putDeviceInThermalSimulationMode:
  std::string low_temp_simulation_mode = "off";  // putDeviceInLowTempSimulationMode:
  int thermal_state = 0;                         // setThermalState:
  std::int64_t pressure_level = 0;               // the model's level (before simulation)
  std::int64_t reported_pressure_level = 0;      // thermalPressureLevel as the last action saw it
  bool watchdog_updates = true;                  // thermalUpdatesToWatchdogEnabled:
  int brightness_limit = 100;                    // % of full brightness the display may use
                                                 // (lowered with the reported pressure while
                                                 // displayBrightnessMitigation is on)
  int actions = 0, mcs_pressure_handled = 0, light_pressure_simulated = 0, telemetry_updates = 0;
};

struct ControllerState {
  bool fast_loop = false, no_display = false;
  bool power_save_active = false;
  bool cpms_mitigations_enabled = true;
  int dvd1_level = 0, cpu_level = 0;
  int cpu_low_power_target = 0;
  int cpu_power_ceiling = 0, cpu_power_ceiling_source = 0;
  int cpu_dvd1_ceiling = 0, dvd1_contributor = 0;
  int cpu_power_floor = 0, cpu_power_floor_source = 0;
  int cpu_power_zone_target = 0;
  int package_power_ceiling = 0, package_power_ceiling_source = 0;
  int package_power_floor = 0, package_power_floor_source = 0;
  int max_package_power = 0;
  bool package_low_power_target = false, package_power_zone_target = false;
  std::int64_t gpu_power_ceiling = 0, gpu_power_ceiling_source = 0;
  std::int64_t gpu_power_floor = 0, gpu_power_floor_source = 0;
  std::int64_t gpu_power_zone_target = 0, sgx_level = 0, max_graphics_drive_power_target = 0;
  // Recomputed by updateCPU, updateGPU and updatePackage.
  std::int64_t cpu_target_power = 0, package_cpu_power_target = 0, package_target_power = 0,
               gpu_target_power = 0;
  int cpu_updates = 0, gpu_updates = 0, package_updates = 0;
};

struct ComponentState {
  int type = 0;
  std::uint32_t demand = 0, current_power = 0, power_target = 0;
  objc::Ref power_parameters;  // the last updatePowerParameters: argument
};

ProductState product_state(id product);
ControllerState controller_state(id controller);
ComponentState component_state(id component);
// The last temperature event per sensor service, in thousandths of a degree Celsius.
std::int64_t last_temperature_event(id sensors, std::string_view service);
// [manager getConfigurationFor:key] with key as the daemon passes it (a CFString), the
// answer as an object (nil for none).
id configuration_for(id thermal_manager, std::string_view key);
// The configurations a ThermalManager loaded, in order (nil entries for failed loads).
std::size_t configuration_count(id thermal_manager);

// ---- the daemon ---------------------------------------------------------------------------

// The folder of this source tree's configuration files (its path contains
// "/System/Library/ThermalMonitor/").
std::string default_configuration_folder();

// The names of the configuration files, loaded in this order; getConfigurationFor: with
// a file's name without ".plist" ("Product", "Components") answers its dictionary.
inline constexpr const char* kConfigurationFiles[] = {"Product.plist", "Components.plist"};

// The device's hardware below its root, as the simulated thermalmonitord keeps it while it
// runs the thermal model: the model's nodes and time (the state file), and the battery's
// I/O Registry entry that the IOKit stand-in answers (Temperature, hundredths of a degree
// Celsius). A device's boot deletes both: a booted device starts cool.
inline constexpr char kHardwareStateFile[] = "var/run/hv-hardware.plist";
inline constexpr char kBatteryRegistryEntry[] = "var/run/ioregistry/AppleSmartBattery.plist";

// The daemon's objects and its thermal model. start() creates the objects as
// thermalmonitord does, through the messages the extension hooks; tick() runs one step.
class Daemon {
public:
  Daemon() = default;
  ~Daemon();
  Daemon(const Daemon&) = delete;
  Daemon& operator=(const Daemon&) = delete;

  // Loads the configuration files of folder with +[NSDictionary
  // dictionaryWithContentsOfFile:] and creates ThermalManager, CommonProduct (initProduct:
  // with configuration 0), MitigationController (initForFastLoop:...), CPMSHelper,
  // HidSensors and one ComponentControl per component of configuration 1. Objects whose
  // class was left out stay nil.
  void start(const std::string& folder);

  // One step of one second: the die heats with the CPU power drawn and cools towards the
  // ambient temperature; the sensor reports it (handleTemperatureEvent:service:), the
  // product takes action (tryTakeAction: pressure from temperature, limits lowered under
  // pressure, the controller updated), the components compute their power.
  void tick();

  // The CPU power the workload asks for (the model draws at most the controller's target).
  void set_cpu_demand(std::uint32_t demand);
  double temperature() const;  // the die's
  double battery_temperature() const;
  // The model's time: the steps run on this device since its boot (each one second).
  std::int64_t seconds() const;

  // The model plays the device's hardware below device_root: it continues the nodes and
  // the time a previous daemon of the device left (kHardwareStateFile), the device's clock
  // (mach_continuous_time) is the model's time from now on, and start() and every step
  // write the battery's registry entry and the hardware's state. Without it (a daemon in a
  // test's process) the model starts cool at time 0 and writes nothing. Call before
  // start(), and before the libraries are loaded when their clocks are to follow it.
  void use_device_hardware(const std::string& device_root);

  id thermal_manager() const { return thermal_manager_.get(); }
  id product() const { return product_.get(); }
  id controller() const { return controller_.get(); }
  id cpms_helper() const { return cpms_helper_.get(); }
  id sensors() const { return sensors_.get(); }
  const std::vector<objc::Ref>& components() const { return components_; }

private:
  objc::Ref thermal_manager_, product_, controller_, cpms_helper_, sensors_;
  std::vector<objc::Ref> components_;
};

// ---- injection ------------------------------------------------------------------------------

// Loads each library with dlopen, in order, as the jailbreak's tweak loader does. A
// library with a filter property list beside it ("name.plist" for "name.so" or
// "name.dylib") is loaded only when the list's Filter/Executables holds process_name.
// Answers the paths that were loaded; failures are written to stderr.
std::vector<std::string> load_injected_libraries(const std::vector<std::string>& paths,
                                                 std::string_view process_name);

// The tweak folder as the jailbreak's injector reads it: the libraries (".dylib", ".so")
// of folder, in name order, whose filter property list beside them admits process_name
// (Filter/Executables names it, or Filter/Classes names a class that exists). A library
// without a filter list, or whose list names other processes only, is left out. A
// missing folder gives none.
std::vector<std::string> tweak_folder_libraries(const std::string& folder,
                                                std::string_view process_name);

}  // namespace halvernic::sim
