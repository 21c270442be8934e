// The power policy engine's messages pass through the replacement layer on their way to
// the simulated daemon: both read one preferences file, the engine through jbroot below
// the device root, the layer at its literal path through the private view of /var/mobile.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "common/objc/foundation.hpp"
#include "extension/contract/contract.hpp"
#include "extension/policy/power_helper.hpp"
#include "extension/replacements/preference_snapshot.hpp"
#include "extension/replacements/replacements.hpp"
#include "extension/hooking/host.hpp"
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
    ASSERT_EQ(halvernic::contract::resolved_preferences_path(), hv_test::privateView().preferencesPath);
    HPowerHepler::shared().resetForTesting();
    HPowerHepler::shared().setMitigationControllerObject(daemon_->controller());
    repl::preferenceSnapshot().resetForTesting();
  }
  void TearDown() override { HPowerHepler::shared().resetForTesting(); }

  static void writeMode(const char* mode) {
    objc::AutoreleasePool pool;
    objc::Ref preferences = objc::make_mutable_dictionary();
    objc::dictionary_set(preferences.get(), "thermalPowerMode", objc::string(mode));
    ASSERT_TRUE(objc::write_property_list_xml_atomically(preferences.get(), hv_test::privateView().preferencesPath));
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
  const std::vector<std::string> limits =
      sim::call_texts({"setCPULowPowerTarget:", "setCPUPowerCeiling:fromDecisionSource:",
                       "setCPUPowerFloor:fromDecisionSource:", "setCPUPowerZoneTarget:",
                       "setMaxPackagePower:", "setPackagePowerCeiling:fromDecisionSource:",
                       "setPackagePowerFloor:fromDecisionSource:"});
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

}  // namespace
