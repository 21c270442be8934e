// The power policy engine's messages pass through the replacement layer on their way to
// the simulated daemon: both read one preferences file, the engine through jbroot below
// the device root, the layer at its literal path through the private view of /var/mobile.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "common/objc/foundation.hpp"
#include "extension/contract/contract.hpp"
#include "extension/contract/overheat.hpp"
#include "extension/hooking/host.hpp"
#include "extension/policy/power_helper.hpp"
#include "extension/replacements/preference_snapshot.hpp"
#include "extension/replacements/replacements.hpp"
#include "sim/sim.hpp"
#include "tests/replacements/private_view.hpp"

namespace {

namespace sim = halvernic::sim;
namespace repl = halvernic::replacements;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::EndsWith;

class EngineThroughReplacements : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    if (!hv_test::privateView().ready) return;
    setenv("HALVERNIC_DEVICE_ROOT", hv_test::privateView().deviceRoot.c_str(), 1);
    sim::register_classes();
    installed_ = repl::installMethodReplacements(repl::hostClassesByName());
    daemon_ = new sim::Daemon();
    daemon_->start(sim::default_configuration_folder());
  }

  void SetUp() override {
    ASSERT_TRUE(hv_test::privateView().ready)
        << "no private view of /var/mobile: " << hv_test::privateView().failure;
    ASSERT_EQ(installed_, 24u);
    // Both layers name one file.
    ASSERT_EQ(halvernic::contract::resolvedPreferencesPath(),
              hv_test::privateView().preferencesPath);
    HPowerHepler::shared().resetForTesting();
    HPowerHepler::shared().setMitigationControllerObject(daemon_->controller());
    repl::preferenceSnapshot().resetForTesting();
  }
  void TearDown() override { HPowerHepler::shared().resetForTesting(); }

  static void writeMode(const char* mode) {
    objc::AutoreleasePool pool;
    objc::Ref preferences = objc::makeMutableDictionary();
    objc::dictionarySet(preferences.get(), "thermalPowerMode", objc::string(mode));
    ASSERT_TRUE(objc::writePropertyListXmlAtomically(preferences.get(),
                                                     hv_test::privateView().preferencesPath));
  }

  static std::size_t installed_;
  static sim::Daemon* daemon_;
};
std::size_t EngineThroughReplacements::installed_ = 0;
sim::Daemon* EngineThroughReplacements::daemon_ = nullptr;

TEST_F(EngineThroughReplacements, FullPowerTargetAboveTheFullValueReachesTheHostAsTheFullValue) {
  writeMode("fullPower");
  HPowerHepler& engine = HPowerHepler::shared();
  engine.applyThermalState();  // enters fullPower (clearing the observed maxima)
  engine.adjustCPUPowerTarget(80000);
  ASSERT_EQ(engine.observedCPUPowerMax(), 80000);
  sim::clear_calls();
  engine.applyThermalState();  // the engine now asks for 80000 everywhere
  const std::vector<std::string> limits = sim::call_texts(
      {"setCPULowPowerTarget:", "setCPUPowerCeiling:fromDecisionSource:",
       "setCPUPowerFloor:fromDecisionSource:", "setCPUPowerZoneTarget:", "setMaxPackagePower:",
       "setPackagePowerCeiling:fromDecisionSource:", "setPackagePowerFloor:fromDecisionSource:"});
  EXPECT_EQ(limits.size(), 7u);
  EXPECT_THAT(limits, Each(::testing::AnyOf(EndsWith(" 50000"), EndsWith(" 50000 0"))));
  const sim::ControllerState state = sim::controller_state(daemon_->controller());
  EXPECT_EQ(state.cpu_power_ceiling, 50000);
  EXPECT_EQ(state.package_power_floor, 50000);
  EXPECT_EQ(state.max_package_power, 50000);
}

TEST_F(EngineThroughReplacements, LowPowerReachesTheHostAsPowerSaveAndLevelTwo) {
  writeMode("lowPower");
  sim::clear_calls();
  HPowerHepler::shared().applyThermalState();
  EXPECT_THAT(sim::call_texts({"setPowerSaveActive:", "setCPULevel:"}),
              ElementsAre("setPowerSaveActive: 1", "setCPULevel: 2", "setPowerSaveActive: 1",
                          "setCPULevel: 2"));
  const sim::ControllerState state = sim::controller_state(daemon_->controller());
  EXPECT_TRUE(state.power_save_active);
  EXPECT_EQ(state.cpu_level, 2);
  // The daemon's own request for level 0 is held at 2 by the replacement as well.
  halvernic::host::kSetCPULevel.send(daemon_->controller(), 0);
  EXPECT_EQ(sim::controller_state(daemon_->controller()).cpu_level, 2);
}

// While the overheat protection is engaged the layer answers as the engine does: fullPower
// acts as native (the daemon's own values pass), prevent-dimming is off; released, the
// layer's own snapshot decides again.
std::optional<int> hotBattery() { return 5600; }
std::optional<int> coolBattery() { return 4000; }
std::int64_t gClock = 0;
std::int64_t testClock() { return gClock; }

TEST_F(EngineThroughReplacements, WhileTheProtectionIsEngagedTheLayerAsksTheEngine) {
  objc::AutoreleasePool pool;
  objc::Ref preferences = objc::makeMutableDictionary();
  objc::dictionarySet(preferences.get(), "thermalPowerMode", objc::string("fullPower"));
  objc::dictionarySet(preferences.get(), "thermalPreventDimmingEnabled", objc::boolean(true));
  ASSERT_TRUE(objc::writePropertyListXmlAtomically(preferences.get(),
                                                   hv_test::privateView().preferencesPath));
  std::filesystem::create_directories(
      std::filesystem::path(halvernic::contract::resolvedOverheatStatePath())
          .parent_path()
          .parent_path());
  HPowerHepler& engine = HPowerHepler::shared();
  namespace host = halvernic::host;
  id mc = daemon_->controller();
  host::kSetCPULevel.send(mc, 3);
  EXPECT_EQ(sim::controller_state(mc).cpu_level, 0) << "fullPower: level 0";

  gClock = 0;
  engine.setBatteryForTesting(&hotBattery, &testClock);
  engine.sampleBatteryIfDue();
  ASSERT_TRUE(engine.overheatProtectionEngaged());
  host::kSetCPULevel.send(mc, 3);
  EXPECT_EQ(sim::controller_state(mc).cpu_level, 3) << "engaged: the daemon's own level";
  host::kSetCPUPowerCeilingFromDecisionSource.send(mc, 12000, 4);
  EXPECT_EQ(sim::controller_state(mc).cpu_power_ceiling, 12000);
  EXPECT_EQ(repl::preferenceSnapshot().refresh().fullPowerMode, true)
      << "the layer's own snapshot still says what the file says";

  gClock = 61'000'000'000;
  engine.setBatteryForTesting(&coolBattery, &testClock);
  engine.sampleBatteryIfDue();
  ASSERT_FALSE(engine.overheatProtectionEngaged());
  host::kSetCPULevel.send(mc, 3);
  EXPECT_EQ(sim::controller_state(mc).cpu_level, 0) << "released: fullPower again";
  engine.setBatteryForTesting(nullptr, nullptr);
  std::filesystem::remove(halvernic::contract::resolvedOverheatStatePath());
}

// The layer learns whether the protection is engaged without finding the engine: an engine
// put back to a new one's state tells it at once, engaged from a state file a previous
// launch left, released without one.
TEST_F(EngineThroughReplacements, AnEngineBackToItsStartTellsTheLayerAtOnce) {
  objc::AutoreleasePool pool;
  writeMode("fullPower");
  const std::string state = halvernic::contract::resolvedOverheatStatePath();
  std::filesystem::create_directories(std::filesystem::path(state).parent_path().parent_path());
  HPowerHepler& engine = HPowerHepler::shared();
  namespace host = halvernic::host;
  id mc = daemon_->controller();

  gClock = 0;
  engine.setBatteryForTesting(&hotBattery, &testClock);
  engine.sampleBatteryIfDue();
  ASSERT_TRUE(std::filesystem::exists(state));
  engine.resetForTesting();  // a relaunched daemon: engaged from the file, nothing read yet
  ASSERT_TRUE(HPowerHepler::overheatProtectionEngaged());
  host::kSetCPULevel.send(mc, 3);
  EXPECT_EQ(sim::controller_state(mc).cpu_level, 3) << "engaged from the file";

  engine.setBatteryForTesting(nullptr, nullptr);
  ASSERT_EQ(halvernic::contract::removeOverheatState(state), 0);
  engine.resetForTesting();  // no file: released
  EXPECT_FALSE(HPowerHepler::overheatProtectionEngaged());
  host::kSetCPULevel.send(mc, 3);
  EXPECT_EQ(sim::controller_state(mc).cpu_level, 0) << "released: fullPower's level again";
}

}  // namespace
