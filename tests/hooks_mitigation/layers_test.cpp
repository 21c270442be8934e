// updateCPU of MitigationControllerHook with the method replacement layer installed beneath
// it, as at load: the setters it sends are ordinary messages, so the layer's own rules
// decide what reaches the host. The preferences file is one file for both readers: the
// engine's path below the device root and the layer's literal /var/mobile path, seen
// through this program's private view.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/objc/foundation.hpp"
#include "extension/contract/contract.hpp"
#include "extension/hooking/hook.hpp"
#include "extension/hooking/host.hpp"
#include "extension/hooks/cpms_helper_hook.hpp"
#include "extension/hooks/mitigation_controller_hook.hpp"
#include "extension/policy/power_helper.hpp"
#include "extension/replacements/preference_snapshot.hpp"
#include "extension/replacements/replacements.hpp"
#include "sim/sim.hpp"
#include "tests/replacements/private_view.hpp"
#include "tests/support/log_capture.hpp"

namespace {

namespace fs = std::filesystem;
namespace hook = halvernic::hook;
namespace hooks = halvernic::hooks;
namespace host = halvernic::host;
namespace repl = halvernic::replacements;
namespace sim = halvernic::sim;

using Texts = std::vector<std::string>;
using PowerMode = HPowerHepler::PowerMode;

constinit objc::Selector kAlloc{"alloc"};

HPowerHepler& engine() { return HPowerHepler::shared(); }

void write_mode(const char* mode) {
  objc::AutoreleasePool pool;
  objc::Ref dict = objc::makeMutableDictionary();
  objc::dictionarySet(dict.get(), "thermalPowerMode", objc::string(mode));
  ASSERT_TRUE(
      objc::writePropertyListXmlAtomically(dict.get(), hv_test::privateView().preferencesPath));
}

class MitigationLayers : public testing::Test {
protected:
  static void SetUpTestSuite() {
    const hv_test::PrivateView& view = hv_test::privateView();
    ASSERT_TRUE(view.ready) << "no private view of /var/mobile: " << view.failure;
    setenv("HALVERNIC_DEVICE_ROOT", view.deviceRoot.c_str(), 1);
    ASSERT_EQ(halvernic::contract::resolvedPreferencesPath(), view.preferencesPath);

    ASSERT_TRUE(sim::register_classes());
    // Made before the hooks exist, so the engine has not captured it.
    id allocated = objc::send<id>(host::kMitigationController.get(), kAlloc);
    controller_ = new objc::Ref(
        objc::Ref::adopt(host::kInitForFastLoop.send(allocated, NO, NO, nullptr, nullptr)));

    // The order of load: the hook classes, then the replacements.
    struct : hook::Tweak {
    } tweak;
    const hook::ClassHook* list[] = {&hooks::MitigationControllerHook, &hooks::CPMSHelperHook};
    ASSERT_EQ(hook::install(tweak, list), 16u);
    ASSERT_EQ(repl::installMethodReplacements(repl::hostClassesByName()), 24u);
  }

  void SetUp() override {
    fs::remove(hv_test::privateView().preferencesPath);
    engine().resetForTesting();
    repl::preferenceSnapshot().resetForTesting();
    sim::clear_calls();
    log_.clear();
  }

  // Both layers read mode at their next question.
  static void set_mode(const char* mode) {
    write_mode(mode);
    engine().resetForTesting();
    repl::preferenceSnapshot().resetForTesting();
  }

  // The engine has read engine_mode; the file (and the layer, which re-reads it on its
  // own) already says file_mode, as right after a change before the engine reloads.
  static void set_modes(const char* engine_mode, const char* file_mode) {
    set_mode(engine_mode);
    engine().currentPowerMode();
    write_mode(file_mode);
    repl::preferenceSnapshot().resetForTesting();
  }

  static id controller() { return controller_->get(); }

  // The daemon's own sends before an update, then the update.
  static Texts daemon_update() {
    sim::clear_calls();
    host::kSetPowerSaveActive.send(controller(), NO);
    host::kSetCPULevel.send(controller(), 3);
    host::kUpdateCPU.send(controller());
    return sim::call_texts();
  }

  static objc::Ref* controller_;
  hv_test::LogCapture log_;
};
objc::Ref* MitigationLayers::controller_ = nullptr;

TEST_F(MitigationLayers, UpdateCPUInEachModeThroughTheReplacements) {
  set_mode("fullPower");
  EXPECT_EQ(
      daemon_update(),
      (Texts{"setPowerSaveActive: 0", "setCPULevel: 0", "setCPMSMitigationsEnabled: 0",
             "setPowerSaveActive: 0", "setCPULevel: 0", "updateCPU", "setCPMSMitigationsEnabled: 0",
             "setCPULowPowerTarget: 50000", "setCPUPowerCeiling:fromDecisionSource: 50000 0",
             "setCPUPowerFloor:fromDecisionSource: 50000 0", "setCPUPowerZoneTarget: 50000",
             "setCPULevel: 0"}));
  EXPECT_EQ(log_.lines(), Texts{"halvernic disables CPU mitigations with full target 50000"});
  // The next update starts from the full limits: the host's target is the full value.
  host::kUpdateCPU.send(controller());
  EXPECT_EQ(sim::controller_state(controller()).cpu_target_power, 50000);
  EXPECT_EQ(host::kGetCPUTargetPower.send(controller()), 50000);

  log_.clear();
  set_mode("lowPower");
  EXPECT_EQ(daemon_update(),
            (Texts{"setPowerSaveActive: 1", "setCPULevel: 2", "setPowerSaveActive: 1", "updateCPU",
                   "setPowerSaveActive: 1", "setCPULevel: 2"}));
  EXPECT_EQ(log_.lines(), Texts{"halvernic simulates low power mode at CPU level 2"});

  log_.clear();
  set_mode("off");
  EXPECT_EQ(daemon_update(), (Texts{"setPowerSaveActive: 0", "setCPULevel: 3", "updateCPU"}));
  EXPECT_EQ(log_.lines(), Texts{});
}

TEST_F(MitigationLayers, LayersReadingDifferentModesRightAfterAChange) {
  // The engine still holds fullPower, the layer already sees lowPower: the fullPower
  // sequence runs, and the layer keeps power save on and the level at 2 in it.
  set_modes("fullPower", "lowPower");
  sim::clear_calls();
  host::kUpdateCPU.send(controller());
  EXPECT_EQ(sim::call_texts(),
            (Texts{"setCPMSMitigationsEnabled: 0", "setPowerSaveActive: 1", "setCPULevel: 2",
                   "updateCPU", "setCPMSMitigationsEnabled: 0", "setCPULowPowerTarget: 50000",
                   "setCPUPowerCeiling:fromDecisionSource: 50000 0",
                   "setCPUPowerFloor:fromDecisionSource: 50000 0", "setCPUPowerZoneTarget: 50000",
                   "setCPULevel: 2"}));
  EXPECT_EQ(engine().currentPowerMode(), PowerMode::fullPower);

  // The other way round: the lowPower sequence, with power save off and level 0 at the host.
  set_modes("lowPower", "fullPower");
  sim::clear_calls();
  host::kUpdateCPU.send(controller());
  EXPECT_EQ(sim::call_texts(), (Texts{"setPowerSaveActive: 0", "updateCPU", "setPowerSaveActive: 0",
                                      "setCPULevel: 0"}));

  // Once the engine reloads (an application, with no controller captured), both agree.
  engine().applyThermalState();
  sim::clear_calls();
  host::kUpdateCPU.send(controller());
  EXPECT_EQ(sim::call_texts().front(), "setCPMSMitigationsEnabled: 0");
  EXPECT_EQ(sim::call_texts().size(), 10u);
}

}  // namespace
