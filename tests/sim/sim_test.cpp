// The simulated daemon's classes answer the daemon's messages with their types, keep the
// state those messages change, record every call, and heat up and throttle when ticked.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "common/objc/foundation.hpp"
#include "common/objc/thread.hpp"
#include "extension/hooking/host.hpp"
#include "sim/sim.hpp"

namespace {

namespace host = halvernic::host;
namespace sim = halvernic::sim;

constinit objc::Selector kAlloc{"alloc"};
constinit objc::Selector kInit{"init"};

objc::Ref make(const objc::ClassName& cls) {
  return objc::Ref::adopt(objc::send<id>(objc::send<id>(cls.get(), kAlloc), kInit));
}

class SimTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { ASSERT_TRUE(sim::register_classes()); }
  void SetUp() override { sim::clear_calls(); }
  objc::AutoreleasePool pool_;
};

TEST_F(SimTest, ProductReportsItsSimulatedStateAndKeepsWhatItIsTold) {
  objc::Ref product = objc::Ref::adopt(
      host::kInitProduct.send(objc::send<id>(host::kCommonProduct.get(), kAlloc), nullptr));
  ASSERT_TRUE(product);
  id p = product.get();
  EXPECT_EQ(host::kThermalPressureLevel.send(p), 0);
  EXPECT_EQ(host::kGetPotentialForcedThermalLevel.send(p, 0), 0u) << "no forced level";
  EXPECT_FALSE(host::kGetPotentialForcedThermalPressureLevel.send(p));

  host::kSimulateLightThermalPressure.send(p);
  EXPECT_EQ(host::kThermalPressureLevel.send(p), 1);
  host::kPutDeviceInThermalSimulationMode.send(p, objc::string("nominal"));
  host::kPutDeviceInLowTempSimulationMode.send(p, objc::string("nominal"));
  EXPECT_EQ(host::kThermalPressureLevel.send(p), 0) << "nominal hides the light pressure";
  host::kPutDeviceInThermalSimulationMode.send(p, objc::string("light"));
  EXPECT_EQ(host::kThermalPressureLevel.send(p), 1);
  EXPECT_TRUE(host::kGetPotentialForcedThermalPressureLevel.send(p));
  EXPECT_EQ(host::kGetPotentialForcedThermalLevel.send(p, 0), 2u) << "light (1), plus one";
  host::kPutDeviceInThermalSimulationMode.send(p, objc::string("off"));
  host::kPutDeviceInLowTempSimulationMode.send(p, objc::string("off"));
  EXPECT_EQ(host::kThermalPressureLevel.send(p), 1) << "off ends the simulation";

  host::kSetThermalState.send(p, 3);
  host::kThermalUpdatesToWatchdogEnabled.send(p, objc::boolean(false));
  host::kHandleMCSThermalPressure.send(p);
  host::kUpdatePowerzoneTelemetry.send(p);
  const sim::ProductState state = sim::product_state(p);
  EXPECT_EQ(state.thermal_state, 3);
  EXPECT_FALSE(state.watchdog_updates);
  EXPECT_EQ(state.mcs_pressure_handled, 1);
  EXPECT_EQ(state.telemetry_updates, 1);
  EXPECT_EQ(sim::call_texts({"putDeviceInThermalSimulationMode:", "setThermalState:",
                             "thermalUpdatesToWatchdogEnabled:"}),
            (std::vector<std::string>{"putDeviceInThermalSimulationMode: nominal",
                                      "putDeviceInThermalSimulationMode: light",
                                      "putDeviceInThermalSimulationMode: off", "setThermalState: 3",
                                      "thermalUpdatesToWatchdogEnabled: 0"}));
}

TEST_F(SimTest, ControllerKeepsEverySetValueAndRecomputesOnUpdate) {
  objc::Ref controller = objc::Ref::adopt(
      host::kInitForFastLoop.send(objc::send<id>(host::kMitigationController.get(), kAlloc),
                                  objc::toBool(true), objc::toBool(false), nullptr, nullptr));
  id mc = controller.get();
  EXPECT_EQ(host::kGetCPUTargetPower.send(mc), 45000);

  host::kSetCPUPowerCeilingFromDecisionSource.send(mc, 40000, 3);
  host::kSetCPUPowerCeilingForDVD1Contributor.send(mc, 38000, 2);
  host::kSetCPUPowerFloorFromDecisionSource.send(mc, 5000, 0);
  host::kSetCPUPowerZoneTarget.send(mc, 36000);
  host::kSetCPMSMitigationsEnabled.send(mc, objc::toBool(false));
  host::kSetCPULevel.send(mc, 2);
  host::kUpdateCPU.send(mc);
  // min(40000, 38000) with CPMS off ignores the zone; level 2 takes 30%.
  EXPECT_EQ(host::kGetCPUTargetPower.send(mc), 38000 * 70 / 100);
  EXPECT_EQ(host::kCPULevel.send(mc), 2);

  host::kSetPowerSaveActive.send(mc, objc::toBool(true));
  host::kSetCPULowPowerTarget.send(mc, 4000);
  host::kUpdateCPU.send(mc);
  EXPECT_TRUE(objc::fromBool(host::kPowerSaveActive.send(mc)));
  EXPECT_EQ(host::kGetCPUTargetPower.send(mc), 5000) << "never below the floor";

  host::kSetPackagePowerCeilingFromDecisionSource.send(mc, 50000, 1);
  host::kSetPackagePowerFloorFromDecisionSource.send(mc, 1000, 1);
  host::kSetMaxPackagePower.send(mc, 40000);
  host::kSetPackageLowPowerTarget.send(mc);
  host::kUpdatePackage.send(mc);
  EXPECT_EQ(host::kGetPackageTargetPower.send(mc), 24000);

  host::kSetGPUPowerCeilingFromDecisionSource.send(mc, 40000, 9);
  host::kSetGPUPowerZoneTarget.send(mc, 20000);
  host::kSetMaxGraphicsDrivePowerTarget.send(mc, 25000);
  host::kSetSGXLevel.send(mc, 1);
  host::kSetGPUPowerFloorFromDecisionSource.send(mc, 100, 9);
  host::kUpdateGPU.send(mc);
  host::kSetDVD1Level.send(mc, 4);

  const sim::ControllerState s = sim::controller_state(mc);
  EXPECT_TRUE(s.fast_loop);
  EXPECT_EQ(s.cpu_power_ceiling_source, 3);
  EXPECT_EQ(s.dvd1_contributor, 2);
  EXPECT_EQ(s.gpu_power_ceiling, 40000);
  EXPECT_EQ(s.gpu_target_power, 18000);
  EXPECT_EQ(s.dvd1_level, 4);
  EXPECT_TRUE(s.package_low_power_target);
  EXPECT_EQ(s.cpu_updates, 2);
  EXPECT_EQ(sim::call_texts({"setCPUPowerCeiling:fromDecisionSource:",
                             "setGPUPowerCeiling:fromDecisionSource:"}),
            (std::vector<std::string>{"setCPUPowerCeiling:fromDecisionSource: 40000 3",
                                      "setGPUPowerCeiling:fromDecisionSource: 40000 9"}));
}

TEST_F(SimTest, ComponentsAreBoundedByTheHelperAndSensorsReportEvents) {
  objc::Ref helper = make(host::kCPMSHelper);
  EXPECT_EQ(host::kGetMaxPowerForComponent.send(helper.get(), 0), 45000u);
  EXPECT_EQ(host::kGetMinPowerForComponent.send(helper.get(), 1), 300u);
  EXPECT_EQ(host::kGetMaxPowerForComponent.send(helper.get(), 99), 0u);

  objc::Ref component =
      objc::Ref::adopt(objc::send<id>(objc::send<id>(host::kComponentControl.get(), kAlloc),
                                      objc::sel("initWithType:helper:"), 1, helper.get()));
  objc::send(component.get(), objc::sel("setDemand:"), 40000u);
  EXPECT_EQ(host::kMitigationType.send(component.get()), 1);
  EXPECT_EQ(host::kComputePowerTarget.send(component.get()), 30000u);
  EXPECT_EQ(host::kPowerTarget.send(component.get()), 30000u);
  EXPECT_EQ(host::kCurrentPower.send(component.get()), 30000u);
  objc::Ref params = objc::makeMutableDictionary();
  host::kUpdatePowerParameters.send(component.get(), params.get());
  EXPECT_EQ(sim::component_state(component.get()).power_parameters, params);

  objc::Ref sensors = make(host::kHidSensors);
  host::kHandleTemperatureEventService.send(
      sensors.get(), 41500, host::bridged<host::IOHIDServiceClientRef>(objc::string("SOC")));
  EXPECT_EQ(sim::last_temperature_event(sensors.get(), "SOC"), 41500);
  EXPECT_EQ(sim::call_texts({"handleTemperatureEvent:service:"}),
            (std::vector<std::string>{"handleTemperatureEvent:service: 41500 SOC"}));
}

TEST_F(SimTest, ManagerLoadsTheConfigurationFilesInOrder) {
  objc::Ref manager = make(host::kThermalManager);
  objc::send(manager.get(), objc::sel("loadConfigurationsFromFolder:"),
             objc::string(sim::default_configuration_folder()));
  EXPECT_EQ(sim::configuration_count(manager.get()), 2u);
  id product = sim::configuration_for(manager.get(), "Product");
  ASSERT_TRUE(objc::isDictionary(product));
  EXPECT_TRUE(objc::allKeysAreStrings(product));
  EXPECT_EQ(objc::int64Value(objc::dictionaryGet(product, "maxPower")), 45000);
  EXPECT_TRUE(objc::isArray(
      objc::dictionaryGet(sim::configuration_for(manager.get(), "Components"), "Components")));
  EXPECT_EQ(sim::configuration_for(manager.get(), "Sensors"), nullptr);
  EXPECT_EQ(sim::configuration_for(manager.get(), ""), nullptr);
  // With no product running there is no pressure: no suggestion, pressure 0.
  EXPECT_EQ(host::kThermalMitigation.send(manager.get(), nullptr), nullptr);
  EXPECT_EQ(objc::int64Value(host::kThermalPressure.send(manager.get(), nullptr)), 0);
}

TEST_F(SimTest, TicksHeatTheDeviceRaisePressureAndLowerTheLimits) {
  sim::Daemon daemon;
  daemon.start(sim::default_configuration_folder());
  ASSERT_TRUE(daemon.product() && daemon.controller() && daemon.thermal_manager());
  ASSERT_EQ(daemon.components().size(), 3u);
  daemon.set_cpu_demand(45000);
  const double start = daemon.temperature();

  std::int64_t highest = 0;
  for (int i = 0; i < 20; ++i) {
    daemon.tick();
    highest = std::max(highest, sim::product_state(daemon.product()).pressure_level);
  }
  EXPECT_GT(daemon.temperature(), start + 10);
  EXPECT_GE(highest, 2);
  const sim::ProductState product = sim::product_state(daemon.product());
  EXPECT_EQ(product.reported_pressure_level, product.pressure_level);
  EXPECT_EQ(product.brightness_limit, 100 - 15 * product.reported_pressure_level)
      << "the display dims with the reported pressure";
  const sim::ControllerState hot = sim::controller_state(daemon.controller());
  EXPECT_LT(hot.cpu_power_ceiling, 45000) << "limits lowered under pressure";
  EXPECT_EQ(hot.cpu_power_ceiling_source, 1);
  EXPECT_EQ(sim::product_state(daemon.product()).thermal_state,
            sim::product_state(daemon.product()).pressure_level);
  EXPECT_NE(host::kThermalSuggestion.send(daemon.thermal_manager(), nullptr), nullptr);
  EXPECT_LT(host::kGetMaxPowerForComponent.send(daemon.cpms_helper(), 0), 45000u);

  // A simulation held at nominal reports no pressure, and the next step restores the limits.
  host::kPutDeviceInThermalSimulationMode.send(daemon.product(), objc::string("nominal"));
  daemon.tick();
  EXPECT_EQ(sim::controller_state(daemon.controller()).cpu_power_ceiling, 45000);
  EXPECT_EQ(objc::int64Value(host::kThermalPressure.send(daemon.thermal_manager(), nullptr)), 0);

  EXPECT_EQ(sim::product_state(daemon.product()).brightness_limit, 100)
      << "no pressure, full brightness";

  // Without demand the device cools back down.
  host::kPutDeviceInThermalSimulationMode.send(daemon.product(), objc::string("off"));
  daemon.set_cpu_demand(0);
  for (int i = 0; i < 80; ++i) daemon.tick();
  EXPECT_EQ(sim::product_state(daemon.product()).pressure_level, 0);
  EXPECT_LT(daemon.temperature(), 30);
}

// Under a steady workload the daemon's own control settles: after heating up it holds one
// level, never flipping between two at a threshold.
TEST_F(SimTest, NativeControlSettlesUnderASteadyWorkload) {
  sim::Daemon daemon;
  daemon.start(sim::default_configuration_folder());
  daemon.set_cpu_demand(40000);
  int changes = 0;
  std::int64_t level = 0;
  for (int second = 0; second < 600; ++second) {
    daemon.tick();
    const std::int64_t now = sim::product_state(daemon.product()).pressure_level;
    if (now != level) ++changes;
    level = now;
  }
  EXPECT_EQ(level, 4);
  EXPECT_LE(changes, 4) << "one step up per level, none down";
  EXPECT_NEAR(daemon.temperature(), 43.0, 0.1) << "where level 4's limit settles the die";
  EXPECT_EQ(sim::controller_state(daemon.controller()).cpu_power_ceiling, 45000 * 25 / 100);
}

TEST_F(SimTest, CallsFromManyThreadsAreAllRecordedInOrderPerThread) {
  objc::Ref controller = objc::Ref::adopt(
      host::kInitForFastLoop.send(objc::send<id>(host::kMitigationController.get(), kAlloc),
                                  objc::toBool(false), objc::toBool(false), nullptr, nullptr));
  sim::clear_calls();
  constexpr int kThreads = 4, kCalls = 300;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      objc::runAttached([&] {
        for (int i = 0; i < kCalls; ++i)
          host::kSetMaxPackagePower.send(controller.get(), t * 10000 + i);
      });
    });
  }
  for (auto& thread : threads) thread.join();
  std::vector<int> next(kThreads, 0);
  std::size_t seen = 0;
  for (const sim::Call& call : sim::calls()) {
    ASSERT_EQ(call.selector, "setMaxPackagePower:");
    ASSERT_EQ(call.receiver, controller.get());
    const auto value = static_cast<int>(call.args.at(0).integer);
    EXPECT_EQ(value % 10000, next[value / 10000]++) << "each thread's calls stay in order";
    ++seen;
  }
  EXPECT_EQ(seen, static_cast<std::size_t>(kThreads * kCalls));
}

TEST_F(SimTest, ProductWhoseConfigurationTurnsBrightnessMitigationOffNeverDims) {
  objc::Ref config = objc::makeMutableDictionary();
  objc::dictionarySet(config.get(), "displayBrightnessMitigation", objc::boolean(false));
  objc::Ref product = objc::Ref::adopt(
      host::kInitProduct.send(objc::send<id>(host::kCommonProduct.get(), kAlloc), config.get()));
  host::kSimulateLightThermalPressure.send(product.get());
  host::kTryTakeAction.send(product.get());
  EXPECT_EQ(sim::product_state(product.get()).reported_pressure_level, 0)
      << "the action recomputes from 30 °C";
  EXPECT_EQ(sim::product_state(product.get()).brightness_limit, 100);
}

// The record keeps the most recent calls only: the oldest give way, in order.
TEST_F(SimTest, CallRecordIsARingOfTheMostRecentCalls) {
  objc::Ref controller = objc::Ref::adopt(
      host::kInitForFastLoop.send(objc::send<id>(host::kMitigationController.get(), kAlloc),
                                  objc::toBool(false), objc::toBool(false), nullptr, nullptr));
  sim::clear_calls();
  const std::size_t capacity = sim::call_record_capacity();
  ASSERT_EQ(capacity, 16384u) << "the default when HALVERNIC_SIM_CALL_RECORD is unset";
  const int total = static_cast<int>(capacity) + 100;
  for (int i = 0; i < total; ++i) host::kSetMaxPackagePower.send(controller.get(), i);
  const std::vector<sim::Call> calls = sim::calls();
  ASSERT_EQ(calls.size(), capacity);
  EXPECT_EQ(calls.front().args.at(0).integer, 100) << "the 100 oldest were dropped";
  EXPECT_EQ(calls.back().args.at(0).integer, total - 1);
  for (std::size_t i = 1; i < calls.size(); ++i) {
    ASSERT_EQ(calls[i].args.at(0).integer, calls[i - 1].args.at(0).integer + 1)
        << "in arrival order";
  }
  EXPECT_EQ(sim::call_count("setMaxPackagePower:"), capacity);
  sim::clear_calls();
  EXPECT_TRUE(sim::calls().empty());
  host::kSetMaxPackagePower.send(controller.get(), 7);
  EXPECT_EQ(sim::call_texts(), std::vector<std::string>{"setMaxPackagePower: 7"})
      << "a cleared ring starts over";
}

// The injector's folder: only libraries whose filter list admits the process, in name order.
TEST_F(SimTest, TweakFolderLoadsOnlyLibrariesWhoseFilterAdmitsTheProcess) {
  namespace fs = std::filesystem;
  char pattern[] = "/tmp/hv-tweaks-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const fs::path dir = pattern;
  auto filter = [&](const std::string& name, const char* key, const char* value) {
    objc::Ref list = objc::makeMutableArray();
    objc::arrayAdd(list.get(), objc::string(value));
    objc::Ref f = objc::makeMutableDictionary();
    objc::dictionarySet(f.get(), key, list.get());
    objc::Ref root = objc::makeMutableDictionary();
    objc::dictionarySet(root.get(), "Filter", f.get());
    ASSERT_TRUE(
        objc::writePropertyListXmlAtomically(root.get(), (dir / (name + ".plist")).string()));
  };
  for (const char* library :
       {"b.dylib", "a.so", "springboard.dylib", "bare.dylib", "classes.dylib", "other.dylib"}) {
    std::ofstream(dir / library) << "not loaded here";
  }
  std::ofstream(dir / "notes.txt") << "no library";
  filter("b", "Executables", "thermalmonitord");
  filter("a", "Executables", "thermalmonitord");
  filter("springboard", "Executables", "SpringBoard");
  filter("classes", "Classes", "MitigationController");
  filter("other", "Classes", "SBHomeScreenViewController");
  EXPECT_EQ(sim::tweak_folder_libraries(dir.string(), "thermalmonitord"),
            (std::vector<std::string>{(dir / "a.so").string(), (dir / "b.dylib").string(),
                                      (dir / "classes.dylib").string()}));
  EXPECT_EQ(sim::tweak_folder_libraries(dir.string(), "SpringBoard"),
            (std::vector<std::string>{(dir / "classes.dylib").string(),
                                      (dir / "springboard.dylib").string()}))
      << "a Classes filter admits any process that has the class";
  EXPECT_TRUE(sim::tweak_folder_libraries((dir / "missing").string(), "thermalmonitord").empty());
  fs::remove_all(dir);
}

}  // namespace
