// The power policy engine driven through the simulated daemon: what reaches the host, in
// which order, what is logged, and what the OS thermal status store ends up holding.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <thread>
#include <vector>

#include "common/objc/foundation.hpp"
#include "common/objc/swizzle.hpp"
#include "common/objc/thread.hpp"
#include "extension/contract/contract.hpp"
#include "extension/hooking/host.hpp"
#include "extension/policy/power_helper.hpp"
#include "sim/sim.hpp"
#include "tests/support/log_capture.hpp"
#include "tests/support/preferences.hpp"

namespace {

namespace sim = halvernic::sim;
namespace host = halvernic::host;
using PowerMode = HPowerHepler::PowerMode;

class Engine : public testing::Test {
protected:
  static void SetUpTestSuite() {
    hv_test::device_root();
    sim::register_classes();
    daemon_ = new sim::Daemon();
    daemon_->start(sim::default_configuration_folder());
  }

  void SetUp() override {
    prefs_ = hv_test::preferences_path();
    hv_test::write_preferences({});
    engine().resetForTesting();
    engine().setCommonProductObject(daemon_->product());
    engine().setMitigationControllerObject(daemon_->controller());
    sim::clear_calls();
    log_.clear();
  }

  static HPowerHepler& engine() { return HPowerHepler::shared(); }

  static void write_prefs(std::initializer_list<std::pair<const char*, id>> entries) {
    hv_test::write_preferences(entries);
  }
  static void write_mode(const char* mode) {
    objc::AutoreleasePool pool;
    write_prefs({{"thermalPowerMode", objc::string(mode)}});
  }

  static std::vector<std::string> controller_calls() {
    return sim::call_texts(
        {"setPowerSaveActive:", "setCPULevel:", "updateCPU", "updateGPU", "updatePackage",
         "setCPMSMitigationsEnabled:", "setCPULowPowerTarget:",
         "setCPUPowerCeiling:fromDecisionSource:", "setCPUPowerFloor:fromDecisionSource:",
         "setCPUPowerZoneTarget:", "setMaxPackagePower:",
         "setPackagePowerCeiling:fromDecisionSource:", "setPackagePowerFloor:fromDecisionSource:"});
  }
  static std::vector<std::string> simulation_calls() {
    return sim::call_texts(
        {"putDeviceInThermalSimulationMode:", "putDeviceInLowTempSimulationMode:"});
  }

  static sim::Daemon* daemon_;
  std::string prefs_;
  hv_test::LogCapture log_;
};
sim::Daemon* Engine::daemon_ = nullptr;

TEST_F(Engine, LowPowerLocksTheCpuLevelAndLogsOnlyChanges) {
  write_mode("lowPower");
  EXPECT_EQ(engine().filterCPULevel(2), 2);
  EXPECT_EQ(log_.lines().size(), 0u);
  EXPECT_EQ(engine().filterCPULevel(0), 2);
  EXPECT_EQ(log_.lines(), std::vector<std::string>{"halvernic cpu level lock 0 -> 2"});

  // Other modes pass the level through; a mode written as "LowPower" is the native mode.
  engine().resetForTesting();
  write_mode("LowPower");
  EXPECT_EQ(engine().currentPowerMode(), PowerMode::off);
  EXPECT_EQ(engine().filterCPULevel(0), 0);
  EXPECT_EQ(engine().filterCPULevel(5), 5);
}

TEST_F(Engine, FullPowerRaisesTargetsToTheLargestObservedOrTheFullValue) {
  write_mode("fullPower");
  EXPECT_EQ(engine().adjustCPUPowerTarget(30000), 50000);
  EXPECT_EQ(engine().observedCPUPowerMax(), 30000);
  EXPECT_EQ(engine().adjustCPUPowerTarget(80000), 80000);
  EXPECT_EQ(engine().adjustCPUPowerTarget(10000), 80000);

  // Component limits: the CPU targets do not count, the largest component value of any
  // type does.
  EXPECT_EQ(engine().adjustComponentPowerLimit(20000, 3), 50000);
  EXPECT_EQ(engine().adjustComponentPowerLimit(70000, 3), 70000);
  EXPECT_EQ(engine().adjustComponentPowerLimit(20000, 3), 70000);
  EXPECT_EQ(engine().adjustComponentPowerLimit(60000, 4), 70000);
  EXPECT_EQ(engine().observedComponentPowerMax(4), 60000);
  EXPECT_EQ(log_.lines(),
            (std::vector<std::string>{"halvernic component 3 power limit 20000 -> 50000",
                                      "halvernic component 3 power limit 20000 -> 70000",
                                      "halvernic component 4 power limit 60000 -> 70000"}));
}

TEST_F(Engine, OtherModesObservePositiveValuesOnlyAndChangeNothing) {
  write_mode("off");
  EXPECT_EQ(engine().adjustCPUPowerTarget(-5), -5);
  EXPECT_EQ(engine().adjustComponentPowerLimit(-7, 2), -7);
  EXPECT_EQ(engine().observedCPUPowerMax(), 0);
  EXPECT_EQ(engine().observedComponentPowerGlobalMax(), 0);
  EXPECT_EQ(engine().adjustCPUPowerTarget(30000), 30000);
  EXPECT_EQ(engine().adjustComponentPowerLimit(40000, 2), 40000);
  EXPECT_EQ(engine().observedCPUPowerMax(), 30000);
  EXPECT_EQ(engine().observedComponentPowerMax(2), 40000);
  EXPECT_TRUE(log_.lines().empty());
}

TEST_F(Engine, MessageOrderOfEachMode) {
  write_mode("fullPower");
  engine().applyThermalState();
  EXPECT_EQ(
      controller_calls(),
      (std::vector<std::string>{
          "updateCPU", "setCPMSMitigationsEnabled: 0", "setPowerSaveActive: 0", "setCPULevel: 0",
          "setCPULowPowerTarget: 50000", "setCPUPowerCeiling:fromDecisionSource: 50000 0",
          "setCPUPowerFloor:fromDecisionSource: 50000 0", "setCPUPowerZoneTarget: 50000",
          "setMaxPackagePower: 50000", "setPackagePowerCeiling:fromDecisionSource: 50000 0",
          "setPackagePowerFloor:fromDecisionSource: 50000 0", "setCPMSMitigationsEnabled: 0"}));
  EXPECT_EQ(simulation_calls(),
            (std::vector<std::string>{"putDeviceInThermalSimulationMode: nominal",
                                      "putDeviceInLowTempSimulationMode: nominal"}));

  sim::clear_calls();
  write_mode("lowPower");
  engine().applyThermalState();
  EXPECT_EQ(controller_calls(),
            (std::vector<std::string>{"setPowerSaveActive: 1", "setCPULevel: 2", "updateCPU",
                                      "setPowerSaveActive: 1", "setCPULevel: 2"}));

  sim::clear_calls();
  write_mode("off");
  engine().applyThermalState();
  EXPECT_EQ(
      controller_calls(),
      (std::vector<std::string>{"setPowerSaveActive: 0", "setCPULevel: 0", "updateCPU", "updateGPU",
                                "updatePackage", "setPowerSaveActive: 0", "setCPULevel: 0"}));
  // Leaving fullPower released the simulation it had forced.
  EXPECT_EQ(simulation_calls(), (std::vector<std::string>{}));
}

TEST_F(Engine, FullPowerLogsAndStoreAndTargetsAfterAModeRoundTrip) {
  write_mode("fullPower");
  engine().applyThermalState();
  EXPECT_EQ(log_.lines(), (std::vector<std::string>{
                              "halvernic fullPower thermal state nominal -> Darwin pressure 0 (0)",
                              "thermalPowerMode fullPower -> thermal mitigations disabled (0)",
                              "halvernic: full power mode"}));

  // An observed 80000 carries into the next full application; a switch through lowPower
  // clears it, so the next one uses the full value again.
  engine().adjustCPUPowerTarget(80000);
  sim::clear_calls();
  engine().applyThermalState();
  EXPECT_EQ(sim::call_texts({"setCPULowPowerTarget:"}),
            std::vector<std::string>{"setCPULowPowerTarget: 80000"});
  write_mode("lowPower");
  engine().applyThermalState();
  EXPECT_EQ(engine().observedCPUPowerMax(), 0);
  write_mode("fullPower");
  sim::clear_calls();
  engine().applyThermalState();
  EXPECT_EQ(sim::call_texts({"setCPULowPowerTarget:"}),
            std::vector<std::string>{"setCPULowPowerTarget: 50000"});

  // A target beyond the setters' 32 bits saturates.
  engine().adjustCPUPowerTarget(3000000000LL);
  sim::clear_calls();
  engine().applyThermalState();
  EXPECT_EQ(sim::call_texts({"setCPULowPowerTarget:"}),
            std::vector<std::string>{"setCPULowPowerTarget: 2147483647"});
}

TEST_F(Engine, PreventDimmingForcesLightUntilTurnedOffThenReleasesOnce) {
  write_prefs({{"thermalPowerMode", objc::string("lowPower")},
               {"thermalPreventDimmingEnabled", objc::string("Yes")}});
  engine().applyThermalState();
  engine().applyThermalState();
  EXPECT_EQ(simulation_calls(),
            (std::vector<std::string>{"putDeviceInThermalSimulationMode: light",
                                      "putDeviceInLowTempSimulationMode: light",
                                      "putDeviceInThermalSimulationMode: light",
                                      "putDeviceInLowTempSimulationMode: light"}));
  EXPECT_EQ(log_.count("halvernic prevent dimming thermal state capped to light without power "
                       "target override"),
            2u);

  sim::clear_calls();
  log_.clear();
  write_prefs({{"thermalPowerMode", objc::string("lowPower")},
               {"thermalPreventDimmingEnabled", objc::string("2")}});  // not true for the engine
  engine().applyThermalState();
  engine().applyThermalState();
  EXPECT_EQ(simulation_calls(),
            (std::vector<std::string>{"putDeviceInThermalSimulationMode: off",
                                      "putDeviceInLowTempSimulationMode: off"}));
  EXPECT_EQ(
      log_.count(
          "halvernic native/lowPower thermal state: restored CommonProduct simulation off once"),
      1u);
  EXPECT_EQ(
      log_.count("halvernic native/lowPower thermal state: leaving system pressure untouched"), 1u);
}

TEST_F(Engine, NativeRestoreOfMitigationsHappensOncePerStartAndPerExitFromFullPower) {
  const std::string restored =
      "thermalPowerMode native/lowPower -> thermal mitigations restored native once (0)";
  write_mode("off");
  engine().applyThermalState();
  engine().applyThermalState();
  EXPECT_EQ(log_.count(restored), 1u);
  write_mode("fullPower");
  engine().applyThermalState();
  engine().applyThermalState();
  EXPECT_EQ(log_.count("thermalPowerMode fullPower -> thermal mitigations disabled (0)"), 2u);
  write_mode("lowPower");
  engine().applyThermalState();
  engine().applyThermalState();
  EXPECT_EQ(log_.count(restored), 2u);
}

TEST_F(Engine, OsSwitchesOnlyWhenTheirKeyIsPresent) {
  write_mode("off");
  engine().applyThermalState();
  for (const std::string& line : log_.lines()) {
    EXPECT_EQ(line.rfind("thermalSuppress", 0), std::string::npos) << line;
    EXPECT_EQ(line.rfind("thermalDisablePocket", 0), std::string::npos) << line;
    EXPECT_EQ(line.rfind("thermalSunlight", 0), std::string::npos) << line;
  }

  log_.clear();
  write_prefs({{"thermalSuppressNotificationsEnabled", objc::boolean(true)},
               {"thermalDisablePocketSunlightEnabled", objc::number(1)},
               {"thermalSunlightLockedEnabled", objc::string("no")}});
  engine().applyThermalState();
  const auto lines = log_.lines();
  const std::vector<std::string> tail(lines.end() - 3, lines.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"thermalSuppressNotificationsEnabled: on -> 0",
                                            "thermalDisablePocketSunlightEnabled: on -> 0/0",
                                            "thermalSunlightLockedEnabled: off -> 0"}));

  log_.clear();
  write_prefs({{"thermalSuppressNotificationsEnabled", objc::boolean(false)},
               {"thermalDisablePocketSunlightEnabled", objc::string("off")},
               {"thermalSunlightLockedEnabled", objc::string("ON")}});
  engine().applyThermalState();
  const auto again = log_.lines();
  const std::vector<std::string> tail2(again.end() - 3, again.end());
  EXPECT_EQ(tail2, (std::vector<std::string>{"thermalSuppressNotificationsEnabled: off/native -> 0",
                                             "thermalDisablePocketSunlightEnabled: off/native -> 0",
                                             "thermalSunlightLockedEnabled: on -> 0"}));
}

TEST_F(Engine, WithoutHostObjectsTheFlagsAndOsCallsStillProceed) {
  engine().setCommonProductObject(nullptr);
  engine().setMitigationControllerObject(nullptr);
  write_mode("fullPower");
  engine().applyThermalState();
  EXPECT_TRUE(sim::calls().empty());
  EXPECT_EQ(log_.count("halvernic: full power mode"), 1u);
  // The simulation was "forced" without an object: the next native application releases it.
  write_mode("off");
  engine().applyThermalState();
  EXPECT_EQ(
      log_.count(
          "halvernic native/lowPower thermal state: restored CommonProduct simulation off once"),
      1u);
}

// A host method that calls back into the engine while an application runs.
IMP g_saved_simulation = nullptr;
std::atomic<int> g_callbacks{0};
std::string g_prefs_path;
void simulation_calling_back(id self, SEL cmd, id value) {
  objc::call<void>(g_saved_simulation, self, cmd, value);
  if (g_callbacks.fetch_add(1) == 0) {
    // Change the file, then re-enter: a nested application must be skipped without
    // reading it, and the engine's own questions must still be answered.
    objc::AutoreleasePool pool;
    objc::Ref dict = objc::makeMutableDictionary();
    objc::dictionarySet(dict.get(), "thermalPowerMode", objc::string("lowPower"));
    objc::writePropertyListXmlAtomically(dict.get(), g_prefs_path);
    HPowerHepler::shared().applyThermalState();
    EXPECT_EQ(HPowerHepler::shared().filterCPULevel(0), 0);
  }
}

TEST_F(Engine, ReentrantApplicationIsSkippedWithoutReadingTheFile) {
  write_mode("fullPower");
  g_prefs_path = prefs_;
  g_callbacks = 0;
  Class product = objc::classOf(daemon_->product());
  g_saved_simulation = objc::replaceInstanceMethod(product, host::kPutDeviceInThermalSimulationMode,
                                                   reinterpret_cast<IMP>(&simulation_calling_back));
  ASSERT_NE(g_saved_simulation, nullptr);
  engine().applyThermalState();
  objc::replaceInstanceMethod(product, host::kPutDeviceInThermalSimulationMode, g_saved_simulation);

  EXPECT_EQ(g_callbacks.load(), 1);
  EXPECT_EQ(log_.count("halvernic: full power mode"), 1u);
  EXPECT_EQ(log_.count("halvernic: low power mode at CPU level 2 with soft ceiling"), 0u);
  EXPECT_EQ(engine().currentPowerMode(), PowerMode::fullPower) << "the nested call read the file";
  // The next application reads the file again.
  engine().applyThermalState();
  EXPECT_EQ(engine().currentPowerMode(), PowerMode::lowPower);
}

TEST_F(Engine, MissingFileReadsAsNativeEveryTimeAndSkipsTheSwitches) {
  EXPECT_EQ(engine().currentPowerMode(), PowerMode::off);
  EXPECT_FALSE(engine().shouldForceThermalState());
  EXPECT_TRUE(engine().boolPreference("thermalPreventDimmingEnabled", true));
  // The cache stays empty, so a file written later is seen by the next question.
  write_mode("fullPower");
  EXPECT_EQ(engine().currentPowerMode(), PowerMode::fullPower);
  EXPECT_TRUE(engine().shouldForceThermalState());
}

TEST_F(Engine, ReapplicationsRunOnTheGlobalQueueNeverEarly) {
  write_mode("lowPower");
  const auto start = std::chrono::steady_clock::now();
  engine().scheduleReapplications();
  const std::string line = "halvernic: low power mode at CPU level 2 with soft ceiling";
  while (log_.count(line) == 0 &&
         std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  ASSERT_EQ(log_.count(line), 1u);
  EXPECT_GE(elapsed, std::chrono::milliseconds(250));
  EXPECT_LT(elapsed, std::chrono::milliseconds(1000)) << "the second item is due at 1 s";
}

TEST_F(Engine, HotPathsStaySafeWhileApplicationsAndFilesChange) {
  write_mode("fullPower");
  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&, t] {
      objc::ThreadAttachment attach;
      std::int64_t i = 0;
      while (!stop.load()) {
        objc::AutoreleasePool pool;
        const std::int64_t v = 1000 * (++i % 90);
        EXPECT_GE(engine().adjustCPUPowerTarget(v), v);
        EXPECT_GE(engine().adjustComponentPowerLimit(v, t), v);
        engine().filterCPULevel(i % 4);
        engine().shouldForceThermalState();
      }
    });
  }
  threads.emplace_back([&] {
    objc::ThreadAttachment attach;
    while (!stop.load()) {
      engine().setMitigationControllerObject(daemon_->controller());
      engine().setCommonProductObject(daemon_->product());
    }
  });
  const char* modes[] = {"fullPower", "lowPower", "off"};
  for (int i = 0; i < 30; ++i) {
    write_mode(modes[i % 3]);
    engine().applyThermalState();
  }
  stop = true;
  for (auto& th : threads) th.join();
  EXPECT_LE(engine().observedCPUPowerMax(), 89000);
}

}  // namespace

namespace {

// A front-end's change lands between a hook thread's reading of the file (made while the
// engine's preferences were empty) and its storing: the application that follows the
// change reads and stores the new file first. The older reading must not replace it, or
// the daemon would run the stale mode until the next application.
void changeToFullPowerAndApply() {
  objc::AutoreleasePool pool;
  hv_test::write_preferences({{"thermalPowerMode", objc::string("fullPower")}});
  HPowerHepler::shared().applyThermalState();
}

}  // namespace

TEST_F(Engine, AnOlderReadingNeverReplacesANewerOne) {
  write_mode("lowPower");
  engine().setAfterLoadReadingForTesting(&changeToFullPowerAndApply);
  // The hook thread: its reading says lowPower; by the time it stores, fullPower is applied.
  engine().loadPreferencesIfEmpty();
  EXPECT_EQ(engine().currentPowerMode(), PowerMode::fullPower);
  EXPECT_TRUE(objc::stringEquals(objc::dictionaryGet(engine().plistObj().get(), "thermalPowerMode"),
                                 "fullPower"));

  // A later reading still replaces an earlier one.
  write_mode("lowPower");
  engine().applyThermalState();
  EXPECT_EQ(engine().currentPowerMode(), PowerMode::lowPower);
}

// ---- the mode in force, for the daemon's restart ------------------------------------------

namespace restart {

// The OS thermal status store below the program's device root: key -> Boolean.
std::map<std::string, bool> store() {
  objc::AutoreleasePool pool;
  std::map<std::string, bool> values;
  objc::Ref plist = objc::readPropertyListFile(
      (hv_test::device_root() / "Library/Preferences/SystemConfiguration/OSThermalStatus.plist")
          .string());
  objc::forEachEntry(plist.get(), [&](id key, id value) {
    values[objc::toString(key)] = objc::platformBoolValue(value);
    return true;
  });
  return values;
}

}  // namespace restart

TEST_F(Engine, ARestartChangesNothingOnlyWhileEveryModeInForceAndTheFileAgreeWithTheFirst) {
  EXPECT_EQ(engine().effectivePowerMode(PowerMode::lowPower), PowerMode::lowPower);
  write_mode("lowPower");
  EXPECT_FALSE(engine().restartWouldChangeNothing()) << "nothing put in force yet";
  engine().applyThermalState();
  EXPECT_TRUE(engine().restartWouldChangeNothing());
  engine().applyThermalState();
  EXPECT_TRUE(engine().restartWouldChangeNothing()) << "the same mode again";

  // The file names another mode that no application has seen (a lone restart post).
  write_mode("fullPower");
  EXPECT_FALSE(engine().restartWouldChangeNothing());
  // Back to the first mode before anything applied it: nothing to undo.
  write_mode("lowPower");
  EXPECT_TRUE(engine().restartWouldChangeNothing());

  // Another mode applied, then the file back: the daemon's objects have seen it.
  write_mode("fullPower");
  engine().applyThermalState();
  write_mode("lowPower");
  engine().applyThermalState();
  EXPECT_FALSE(engine().restartWouldChangeNothing());
}

TEST_F(Engine, AModeTheHotPathsLoadedCountsAsInForce) {
  // No file at the start: the hot paths read it at every question until it holds entries.
  engine().applyThermalState();
  EXPECT_TRUE(engine().restartWouldChangeNothing());
  write_mode("fullPower");
  EXPECT_EQ(engine().adjustCPUPowerTarget(1000), 50000) << "the hot path took the new file";
  write_mode("off");  // and went back without an application
  EXPECT_FALSE(engine().restartWouldChangeNothing());
}

TEST_F(Engine, StandingDownPutsTheDaemonAndTheStoreBackToNativeForGood) {
  write_prefs({{"thermalPowerMode", objc::string("fullPower")},
               {"thermalPreventDimmingEnabled", objc::boolean(true)},
               {"thermalSuppressNotificationsEnabled", objc::boolean(true)},
               {"thermalDisablePocketSunlightEnabled", objc::boolean(true)},
               {"thermalSunlightLockedEnabled", objc::boolean(true)}});
  engine().applyThermalState();
  ASSERT_EQ(restart::store().size(), 9u) << "fullPower and the switches write nine keys";
  sim::clear_calls();
  log_.clear();

  engine().standDown();
  EXPECT_TRUE(engine().stoodDown());
  EXPECT_TRUE(restart::store().empty()) << "the nine keys removed";
  EXPECT_EQ(simulation_calls(),
            (std::vector<std::string>{"putDeviceInThermalSimulationMode: off",
                                      "putDeviceInLowTempSimulationMode: off"}));
  EXPECT_EQ(
      controller_calls(),
      (std::vector<std::string>{"setPowerSaveActive: 0", "setCPULevel: 0", "updateCPU", "updateGPU",
                                "updatePackage", "setPowerSaveActive: 0", "setCPULevel: 0"}));
  EXPECT_EQ(log_.count(
                "halvernic: stood down: OS thermal status reset (0 0 0 0 0), pressure nominal (0)"),
            1u);

  // The hot paths answer natively, whatever the file says; applications do nothing.
  sim::clear_calls();
  log_.clear();
  EXPECT_EQ(engine().currentPowerMode(), PowerMode::off);
  EXPECT_FALSE(engine().shouldForceThermalState());
  EXPECT_EQ(engine().adjustCPUPowerTarget(1000), 1000);
  EXPECT_EQ(engine().adjustComponentPowerLimit(1000, 3), 1000);
  write_mode("lowPower");
  EXPECT_EQ(engine().filterCPULevel(0), 0);
  engine().applyThermalState();
  engine().standDown();  // a second stand-down changes nothing
  EXPECT_TRUE(sim::calls().empty());
  EXPECT_TRUE(log_.lines().empty());
  EXPECT_TRUE(restart::store().empty());
}

// A stand-down that arrives while an application runs waits for it: the reset comes after
// the application's last step, and the application writes the store no more once the
// stand-down has begun.
std::thread g_standDown;
IMP g_savedSimulationForStandDown = nullptr;
hv_test::LogCapture* g_log = nullptr;
constexpr char kStoodDownLine[] =
    "halvernic: stood down: OS thermal status reset (0 0 0 0 0), pressure nominal (0)";
void simulation_starting_a_stand_down(id self, SEL cmd, id value) {
  if (!g_standDown.joinable()) {
    g_standDown = std::thread([] {
      objc::attachCurrentThread();
      HPowerHepler::shared().standDown();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(HPowerHepler::shared().stoodDown());
    EXPECT_EQ(g_log->count(kStoodDownLine), 0u)
        << "the stand-down did not wait for the application";
  }
  reinterpret_cast<void (*)(id, SEL, id)>(g_savedSimulationForStandDown)(self, cmd, value);
}

TEST_F(Engine, AStandDownDuringAnApplicationResetsTheStoreAfterItsLastStep) {
  {
    objc::AutoreleasePool pool;
    objc::Ref seeded = objc::makeMutableDictionary();
    objc::dictionarySet(seeded.get(), "engageBehavior", objc::boolean(true));
    objc::dictionarySet(seeded.get(), "someoneElsesKey", objc::boolean(true));
    const auto path =
        hv_test::device_root() / "Library/Preferences/SystemConfiguration/OSThermalStatus.plist";
    std::filesystem::create_directories(path.parent_path());
    ASSERT_TRUE(objc::writePropertyListXmlAtomically(seeded.get(), path.string()));
  }
  write_mode("fullPower");
  g_log = &log_;
  Class product = objc::classOf(daemon_->product());
  g_savedSimulationForStandDown =
      objc::replaceInstanceMethod(product, host::kPutDeviceInThermalSimulationMode,
                                  reinterpret_cast<IMP>(&simulation_starting_a_stand_down));
  ASSERT_NE(g_savedSimulationForStandDown, nullptr);
  engine().applyThermalState();
  g_standDown.join();
  objc::replaceInstanceMethod(product, host::kPutDeviceInThermalSimulationMode,
                              g_savedSimulationForStandDown);

  EXPECT_EQ(restart::store(), (std::map<std::string, bool>{{"someoneElsesKey", true}}))
      << "only the extension's keys are removed, and no write outlived the stand-down";
  const std::vector<std::string> lines = log_.lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), kStoodDownLine) << "the reset is the last step";
  EXPECT_EQ(log_.count("thermalPowerMode fullPower -> thermal mitigations disabled (0)"), 0u)
      << "the application wrote the store after the stand-down had begun";
}

// ---- the first application -------------------------------------------------------------------

namespace first_application {
std::vector<PowerMode> g_seen;
// Applies once more from inside the observer: that application must not be refused as
// overlapping the first one.
void reapplying_observer(PowerMode applied) {
  g_seen.push_back(applied);
  HPowerHepler::shared().applyThermalState();
}
}  // namespace first_application

TEST_F(Engine, TheFirstApplicationIsToldOnceWithItsModeAfterItCompleted) {
  using first_application::g_seen;
  g_seen.clear();
  HPowerHepler::setFirstApplicationObserver(&first_application::reapplying_observer);
  write_mode("fullPower");
  EXPECT_EQ(engine().currentPowerMode(), PowerMode::fullPower) << "a question is no application";
  EXPECT_TRUE(g_seen.empty());

  engine().applyThermalState();
  EXPECT_EQ(g_seen, std::vector<PowerMode>{PowerMode::fullPower});
  EXPECT_EQ(log_.count("halvernic: full power mode"), 2u) << "the observer's application ran";

  write_mode("lowPower");
  engine().applyThermalState();
  engine().applyThermalState();
  EXPECT_EQ(g_seen, std::vector<PowerMode>{PowerMode::fullPower}) << "once per process";

  // A new instance's first application (tests only) is told again; without an observer nothing is.
  engine().resetForTesting();
  engine().applyThermalState();
  EXPECT_EQ(g_seen, (std::vector<PowerMode>{PowerMode::fullPower, PowerMode::lowPower}));
  HPowerHepler::setFirstApplicationObserver(nullptr);
  engine().resetForTesting();
  engine().applyThermalState();
  EXPECT_EQ(g_seen.size(), 2u);
}
