// The product, sensor, component and dictionary hooks on the simulated daemon: what the
// daemon's objects receive in each mode, what the component power getters answer and
// log, and which dictionary loads come back patched.
//
// The daemon's objects are made before the hooks are installed, so no capture (and no
// delayed re-application) runs inside these tests; product_capture_test covers it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <limits>
#include <thread>

#include "common/objc/foundation.hpp"
#include "common/objc/swizzle.hpp"
#include "common/objc/thread.hpp"
#include "extension/config/dict_helper.hpp"
#include "extension/contract/overheat.hpp"
#include "extension/hooking/host.hpp"
#include "extension/hooks/component_control_hook.hpp"
#include "extension/policy/power_helper.hpp"
#include "sim/sim.hpp"
#include "tests/hooks_product/fixture.hpp"
#include "tests/support/log_capture.hpp"

namespace {

namespace fs = std::filesystem;
namespace host = halvernic::host;
namespace sim = halvernic::sim;
using hv_hooks_test::device_root;
using hv_hooks_test::write_plist;
using hv_hooks_test::write_preferences;

// The simulation's own ways of making a component and setting what it asks for.
constinit objc::Selector kAlloc{"alloc"};
constinit objc::Selector kInitWithTypeHelper{"initWithType:helper:"};
constinit objc::Selector kSetDemand{"setDemand:"};

objc::Ref make_component(int type, unsigned int demand) {
  id allocated = objc::send<id>(host::kComponentControl.get(), kAlloc);
  objc::Ref component = objc::Ref::adopt(
      objc::send<id>(allocated, kInitWithTypeHelper, type, static_cast<id>(nullptr)));
  objc::send(component.get(), kSetDemand, demand);
  return component;
}

// A dictionary whose first key is a number, answered by the host for any path ending in
// "/numbered.plist" (a property-list file cannot hold one).
objc::Ref* g_numbered = nullptr;
IMP g_host_dictionary_load = nullptr;

id numbered_or_host_load(id self, SEL cmd, id path) {
  if (objc::toString(path).ends_with("/numbered.plist")) return g_numbered->get();
  return host::kDictionaryWithContentsOfFile.call(g_host_dictionary_load, self, path);
}

objc::Ref number_array(std::initializer_list<std::int64_t> values) {
  objc::Ref array = objc::makeMutableArray();
  for (std::int64_t v : values) objc::arrayAdd(array.get(), objc::number(v));
  return array;
}

// A backlight component as the daemon configures one.
objc::Ref backlight_parameters() {
  objc::Ref d = objc::makeMutableDictionary();
  objc::dictionarySet(d.get(), "name", objc::string("Backlight"));
  objc::dictionarySet(d.get(), "maxThermalPower", objc::number(600000));
  objc::dictionarySet(d.get(), "minThermalPower", objc::number(200000));
  objc::dictionarySet(d.get(), "BacklightPower", number_array({300, 450, 600}).get());
  objc::dictionarySet(d.get(), "BrightnessLevels", number_array({100, 400, 250}).get());
  objc::dictionarySet(d.get(), "expectsCPMSSupport", objc::boolean(true));
  return d;
}

std::int64_t int_at(id dictionary, const char* key) {
  return objc::int64Value(objc::dictionaryGet(dictionary, key));
}

class ProductHooks : public testing::Test {
protected:
  static void SetUpTestSuite() {
    device_root();
    sim::register_classes();
    daemon_ = new sim::Daemon();
    daemon_->start(sim::default_configuration_folder());

    g_numbered = new objc::Ref(objc::makeMutableDictionary());
    objc::dictionarySet(g_numbered->get(), objc::number(7), backlight_parameters().get());
    objc::dictionarySet(g_numbered->get(), "Backlight", backlight_parameters().get());
    g_host_dictionary_load = objc::replaceClassMethod(
        host::kNSDictionary.get(), host::kDictionaryWithContentsOfFile.get(),
        reinterpret_cast<IMP>(&numbered_or_host_load));
    ASSERT_NE(g_host_dictionary_load, nullptr);

    ASSERT_EQ(hv_hooks_test::install_product_hooks(), 11u);
    ASSERT_TRUE(hv_hooks_test::install_errors().empty());
  }

  void SetUp() override { use_preferences({}); }

  // Writes the preferences file and starts the engine afresh on it, holding the daemon's
  // product and controller.
  void use_preferences(std::initializer_list<std::pair<const char*, id>> entries) {
    objc::AutoreleasePool pool;
    write_preferences(entries);
    engine().resetForTesting();
    engine().setCommonProductObject(daemon_->product());
    engine().setMitigationControllerObject(daemon_->controller());
    sim::clear_calls();
    log_.clear();
  }

  static HPowerHepler& engine() { return HPowerHepler::shared(); }
  static id product() { return daemon_->product(); }

  static std::vector<std::string> product_calls() {
    return sim::call_texts(
        {"putDeviceInThermalSimulationMode:", "putDeviceInLowTempSimulationMode:", "tryTakeAction",
         "handleMCSThermalPressure", "simulateLightThermalPressure", "updatePowerzoneTelemetry"});
  }
  static void send_pressure_methods() {
    host::kHandleMCSThermalPressure.send(product());
    host::kSimulateLightThermalPressure.send(product());
    host::kUpdatePowerzoneTelemetry.send(product());
  }

  static sim::Daemon* daemon_;
  hv_test::LogCapture log_;
};
sim::Daemon* ProductHooks::daemon_ = nullptr;

const std::vector<std::string> kNominalTwice = {"putDeviceInThermalSimulationMode: nominal",
                                                "putDeviceInLowTempSimulationMode: nominal"};
const std::vector<std::string> kLightTwice = {"putDeviceInThermalSimulationMode: light",
                                              "putDeviceInLowTempSimulationMode: light"};

std::vector<std::string> concat(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST_F(ProductHooks, FullPowerForcesNominalWhateverPreventDimmingSays) {
  for (id dimming : {objc::boolean(false), objc::boolean(true)}) {
    use_preferences({{"thermalPowerMode", objc::string("fullPower")},
                     {"thermalPreventDimmingEnabled", dimming}});
    const int actions = sim::product_state(product()).actions;
    host::kTryTakeAction.send(product());
    // The hook's state before the product acts, the engine's application after it.
    EXPECT_EQ(product_calls(), concat({kNominalTwice, {"tryTakeAction"}, kNominalTwice}));
    EXPECT_EQ(sim::product_state(product()).actions, actions + 1);
    EXPECT_EQ(sim::product_state(product()).thermal_simulation_mode, "nominal");
    EXPECT_EQ(log_.count("halvernic: full power mode"), 1u);

    sim::clear_calls();
    send_pressure_methods();
    EXPECT_EQ(product_calls(), concat({kNominalTwice, kNominalTwice, kNominalTwice}))
        << "the pressure methods never reach the product; the engine applies instead";
    EXPECT_EQ(log_.count("halvernic: full power mode"), 4u);
  }
}

// The daemon's control step reads the battery (at most every 5 s); once the overheat
// protection engages, the step, the engine and the patcher act as in the native mode
// without prevent-dimming.
std::atomic<int> gBatteryReads{0};
std::optional<int> hotBattery() {
  ++gBatteryReads;
  return 5200;
}
std::int64_t gSeconds = 0;
std::int64_t testClock() { return gSeconds * 1'000'000'000; }

TEST_F(ProductHooks, TheControlStepReadsTheBatteryAndAnEngagedProtectionLeavesItNative) {
  fs::create_directories(
      fs::path(halvernic::contract::resolvedOverheatStatePath()).parent_path().parent_path());
  use_preferences({{"thermalPowerMode", objc::string("fullPower")},
                   {"thermalPreventDimmingEnabled", objc::boolean(true)}});
  gSeconds = 100;
  gBatteryReads = 0;
  engine().setBatteryForTesting(&hotBattery, &testClock);
  host::kTryTakeAction.send(product());
  EXPECT_EQ(gBatteryReads, 1);
  ASSERT_TRUE(engine().overheatProtectionEngaged());
  EXPECT_EQ(product_calls(), std::vector<std::string>{"tryTakeAction"})
      << "neither nominal nor light: the step is the native one";
  EXPECT_EQ(
      log_.count("halvernic native/lowPower thermal state: leaving system pressure untouched"), 1u);
  for (int i = 0; i < 10; ++i) host::kTryTakeAction.send(product());
  EXPECT_EQ(gBatteryReads, 1) << "within 5 s the step reads no battery";
  gSeconds += 5;
  host::kTryTakeAction.send(product());
  EXPECT_EQ(gBatteryReads, 2);

  sim::clear_calls();
  send_pressure_methods();
  EXPECT_EQ(product_calls(),
            (std::vector<std::string>{"handleMCSThermalPressure", "simulateLightThermalPressure",
                                      "updatePowerzoneTelemetry"}))
      << "the product's own pressure handling runs";

  objc::AutoreleasePool pool;
  objc::Ref component = make_component(3, 800);
  objc::Ref parameters = backlight_parameters();
  host::kUpdatePowerParameters.send(component.get(), parameters.get());
  EXPECT_EQ(sim::component_state(component.get()).power_parameters.get(), parameters.get())
      << "not patched while engaged";
  EXPECT_EQ(HDictHepler::shared().patchThermalConfiguration(parameters.get()).get(),
            parameters.get());

  engine().setBatteryForTesting(nullptr, nullptr);
  fs::remove(halvernic::contract::resolvedOverheatStatePath());
  engine().resetForTesting();
}

TEST_F(ProductHooks, PreventDimmingOutsideFullPowerForcesLightAndPatchesParameters) {
  for (const char* mode : {"off", "lowPower", "LowPower"}) {
    use_preferences({{"thermalPowerMode", objc::string(mode)},
                     {"thermalPreventDimmingEnabled", objc::string("Yes")}});
    host::kTryTakeAction.send(product());
    EXPECT_EQ(product_calls(), concat({kLightTwice, {"tryTakeAction"}, kLightTwice})) << mode;

    sim::clear_calls();
    const sim::ProductState before = sim::product_state(product());
    send_pressure_methods();
    EXPECT_EQ(product_calls(), concat({kLightTwice, kLightTwice, kLightTwice})) << mode;
    const sim::ProductState after = sim::product_state(product());
    EXPECT_EQ(after.mcs_pressure_handled, before.mcs_pressure_handled);
    EXPECT_EQ(after.light_pressure_simulated, before.light_pressure_simulated);
    EXPECT_EQ(after.telemetry_updates, before.telemetry_updates);
  }

  // The component is configured from the patched copy; the caller's dictionary is untouched.
  objc::AutoreleasePool pool;
  objc::Ref component = make_component(3, 800);
  objc::Ref parameters = backlight_parameters();
  host::kUpdatePowerParameters.send(component.get(), parameters.get());
  id received = sim::component_state(component.get()).power_parameters.get();
  ASSERT_TRUE(objc::isDictionary(received));
  EXPECT_NE(received, parameters.get());
  EXPECT_EQ(int_at(received, "maxThermalPower"), 1000000);
  EXPECT_EQ(int_at(received, "minThermalPower"), 1000000);
  EXPECT_EQ(int_at(received, "expectsCPMSSupport"), 0);
  EXPECT_EQ(objc::int64Value(objc::arrayGet(objc::dictionaryGet(received, "BrightnessLevels"), 2)),
            400);
  EXPECT_EQ(int_at(parameters.get(), "maxThermalPower"), 600000);

  // Nil and a value of another kind pass unchanged.
  host::kUpdatePowerParameters.send(component.get(), nullptr);
  EXPECT_EQ(sim::component_state(component.get()).power_parameters.get(), nullptr);
  id text = objc::string("parameters");
  host::kUpdatePowerParameters.send(component.get(), text);
  EXPECT_EQ(sim::component_state(component.get()).power_parameters.get(), text);
}

TEST_F(ProductHooks, NativeWithTheSettingOffLeavesTheProductToItself) {
  // No preferences file at all, then lowPower with the setting off.
  for (bool with_file : {false, true}) {
    if (with_file) {
      use_preferences({{"thermalPowerMode", objc::string("lowPower")},
                       {"thermalPreventDimmingEnabled", objc::number(0)}});
    }
    const sim::ProductState before = sim::product_state(product());
    host::kTryTakeAction.send(product());
    send_pressure_methods();
    EXPECT_EQ(product_calls(), (std::vector<std::string>{
                                   "tryTakeAction", "handleMCSThermalPressure",
                                   "simulateLightThermalPressure", "updatePowerzoneTelemetry"}));
    const sim::ProductState after = sim::product_state(product());
    EXPECT_EQ(after.actions, before.actions + 1);
    EXPECT_EQ(after.mcs_pressure_handled, before.mcs_pressure_handled + 1);
    EXPECT_EQ(after.light_pressure_simulated, before.light_pressure_simulated + 1);
    EXPECT_EQ(after.telemetry_updates, before.telemetry_updates + 1);
    // tryTakeAction still applied the policy once; the pressure methods did not.
    EXPECT_EQ(
        log_.count("halvernic native/lowPower thermal state: leaving system pressure untouched"),
        1u);

    objc::AutoreleasePool pool;
    objc::Ref component = make_component(3, 800);
    objc::Ref parameters = backlight_parameters();
    host::kUpdatePowerParameters.send(component.get(), parameters.get());
    EXPECT_EQ(sim::component_state(component.get()).power_parameters.get(), parameters.get());
  }
}

TEST_F(ProductHooks, FullPowerRaisesComponentPowerToTheLargestSeen) {
  use_preferences({{"thermalPowerMode", objc::string("fullPower")}});
  objc::Ref backlight = make_component(3, 20000);
  EXPECT_EQ(host::kComputePowerTarget.send(backlight.get()), 50000u);
  EXPECT_EQ(log_.lines(),
            std::vector<std::string>{"halvernic component 3 power limit 20000 -> 50000"});

  log_.clear();
  objc::send(backlight.get(), kSetDemand, 70000u);
  EXPECT_EQ(host::kComputePowerTarget.send(backlight.get()), 70000u);
  EXPECT_TRUE(log_.lines().empty());

  // 20000 again, from another getter of the same component and from another component.
  objc::send(backlight.get(), kSetDemand, 20000u);
  EXPECT_EQ(host::kCurrentPower.send(backlight.get()), 70000u);
  objc::Ref gpu = make_component(1, 20000);
  EXPECT_EQ(host::kComputePowerTarget.send(gpu.get()), 70000u);
  EXPECT_EQ(host::kPowerTarget.send(gpu.get()), 70000u);
  EXPECT_EQ(log_.lines(),
            (std::vector<std::string>{"halvernic component 3 power limit 20000 -> 70000",
                                      "halvernic component 1 power limit 20000 -> 70000",
                                      "halvernic component 1 power limit 20000 -> 70000"}));
  // The daemon's own state keeps its own values.
  EXPECT_EQ(sim::component_state(gpu.get()).power_target, 20000u);
  EXPECT_EQ(sim::call_count("mitigationType"), 5u);
}

TEST_F(ProductHooks, ComponentPowerBeyond32BitsSaturates) {
  static_assert(halvernic::hooks::componentPowerAnswer(-1) == 0);
  static_assert(halvernic::hooks::componentPowerAnswer(4294967295LL) == 4294967295u);
  static_assert(halvernic::hooks::componentPowerAnswer(4294967296LL) == 4294967295u);

  // The patcher records backlight power from configurations: a huge one raises the limit.
  use_preferences({{"thermalPowerMode", objc::string("fullPower")}});
  engine().raiseObservedComponentPowerGlobalMax(5'000'000'000LL);
  objc::Ref backlight = make_component(3, 20000);
  EXPECT_EQ(host::kComputePowerTarget.send(backlight.get()), 4294967295u) << "never wrapped";
  // A daemon value with the top bit set is a power, not a negative number.
  objc::send(backlight.get(), kSetDemand, 4294967290u);
  EXPECT_EQ(host::kComputePowerTarget.send(backlight.get()), 4294967295u);
  // Other modes answer the daemon's value and only record it.
  use_preferences({{"thermalPowerMode", objc::string("lowPower")}});
  EXPECT_EQ(host::kComputePowerTarget.send(backlight.get()), 4294967290u);
  EXPECT_EQ(engine().observedComponentPowerMax(3), 4294967290);
  EXPECT_TRUE(log_.lines().empty());
}

TEST_F(ProductHooks, TemperatureEventsReachTheSensorsUnchangedInEveryMode) {
  objc::AutoreleasePool pool;
  id service = objc::string("SOC");
  const int events[] = {41234, -5, std::numeric_limits<int>::max()};
  for (const char* mode : {"off", "fullPower", "lowPower"}) {
    use_preferences({{"thermalPowerMode", objc::string(mode)},
                     {"thermalPreventDimmingEnabled", objc::boolean(true)}});
    for (int event : events) {
      host::kHandleTemperatureEventService.send(
          daemon_->sensors(), event, host::bridged<host::IOHIDServiceClientRef>(service));
      EXPECT_EQ(sim::last_temperature_event(daemon_->sensors(), "SOC"), event);
    }
    const std::vector<sim::Call> calls = sim::calls();
    ASSERT_EQ(calls.size(), 3u) << "nothing else reaches the daemon";
    EXPECT_EQ(calls[2].text(), "handleTemperatureEvent:service: 2147483647 SOC");
    EXPECT_EQ(calls[2].args[1].object.get(), service);
  }
}

TEST_F(ProductHooks, OnlyStringKeyedDictionariesFromTheConfigurationFolderArePatched) {
  objc::AutoreleasePool pool;
  const fs::path root = device_root();
  objc::Ref configuration = objc::makeMutableDictionary();
  objc::dictionarySet(configuration.get(), "BacklightComponent", backlight_parameters().get());
  objc::dictionarySet(configuration.get(), "name", objc::string("test"));
  const fs::path inside = root / "System/Library/ThermalMonitor/Backlight.plist";
  const fs::path outside[] = {root / "Library/Thermal/Backlight.plist",
                              root / "System/Library/thermalmonitor/Backlight.plist",
                              root / "System/Library/ThermalMonitor.plist"};
  write_plist(inside, configuration.get());
  for (const fs::path& path : outside) write_plist(path, configuration.get());
  const std::string components = sim::default_configuration_folder() + "/Components.plist";

  auto load = [](const std::string& path) {
    return host::kDictionaryWithContentsOfFile.send(host::kNSDictionary.get(), objc::string(path));
  };
  auto backlight_max = [](id loaded) {
    return int_at(objc::dictionaryGet(loaded, "BacklightComponent"), "maxThermalPower");
  };

  // Setting off: every load is the file as it is.
  use_preferences({{"thermalPowerMode", objc::string("fullPower")}});
  EXPECT_EQ(backlight_max(load(inside)), 600000);
  EXPECT_TRUE(objc::objectsEqual(load(inside), configuration.get()));

  use_preferences({{"thermalPreventDimmingEnabled", objc::boolean(true)}});
  id patched = load(inside);
  ASSERT_TRUE(objc::isDictionary(patched));
  EXPECT_EQ(backlight_max(patched), 1000000);
  EXPECT_EQ(int_at(objc::dictionaryGet(patched, "BacklightComponent"), "expectsCPMSSupport"), 0);
  EXPECT_TRUE(objc::stringEquals(objc::dictionaryGet(patched, "name"), "test"));
  for (const fs::path& path : outside) {
    EXPECT_TRUE(objc::objectsEqual(load(path), configuration.get())) << path;
  }
  // The daemon's own component file: the backlight entry inside its array is patched.
  id component_entry = objc::arrayGet(objc::dictionaryGet(load(components), "Components"), 2);
  EXPECT_EQ(int_at(component_entry, "maxThermalPower"), 1000000);
  EXPECT_EQ(int_at(component_entry, "minThermalPower"), 1000000);

  // A failed load stays nil; the engine's own preferences file is read as written.
  EXPECT_EQ(load((root / "System/Library/ThermalMonitor/missing.plist").string()), nullptr);
  EXPECT_TRUE(objc::objectsEqual(
      objc::dictionaryGet(load(hv_hooks_test::preferences_path()), "thermalPreventDimmingEnabled"),
      objc::boolean(true)));

  // A dictionary with a key that is not a string is answered as the host answered it.
  id numbered = load((root / "System/Library/ThermalMonitor/numbered.plist").string());
  EXPECT_EQ(numbered, g_numbered->get());
  EXPECT_EQ(int_at(objc::dictionaryGet(numbered, "Backlight"), "maxThermalPower"), 600000);
}

TEST_F(ProductHooks, HooksServeManyThreadsWhilePreferencesChange) {
  use_preferences({{"thermalPowerMode", objc::string("fullPower")}});
  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&, t] {
      objc::ThreadAttachment attach;
      objc::Ref component = make_component(t, 1000);
      for (unsigned i = 1; i <= 2000 && !(stop.load() && i > 50); ++i) {
        objc::AutoreleasePool pool;
        const unsigned demand = 1000 * (i % 90);
        objc::send(component.get(), kSetDemand, demand);
        EXPECT_GE(host::kComputePowerTarget.send(component.get()), demand);
        if (i % 16 == 0) host::kTryTakeAction.send(product());
        if (i % 16 == 8) host::kHandleMCSThermalPressure.send(product());
      }
    });
  }
  {
    objc::ThreadAttachment attach;
    for (int i = 0; i < 40; ++i) {
      objc::AutoreleasePool pool;
      write_preferences({{"thermalPowerMode", objc::string(i % 2 ? "fullPower" : "off")},
                         {"thermalPreventDimmingEnabled", objc::boolean(i % 3 == 0)}});
      engine().applyThermalState();
    }
  }
  stop = true;
  for (auto& thread : threads) thread.join();
}

}  // namespace
