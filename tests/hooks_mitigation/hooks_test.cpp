// MitigationControllerHook and CPMSHelperHook on the simulated daemon's classes, with the
// power policy engine reading its preferences below a device root: what each mode answers,
// what reaches the host (and with which arguments), what is dropped, the updateCPU
// sequences, and the capture of the controller on initialisation.
#include <gtest/gtest.h>

#include <algorithm>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "common/objc/foundation.hpp"
#include "common/objc/swizzle.hpp"
#include "common/objc/weak.hpp"
#include "extension/contract/contract.hpp"
#include "extension/hooking/hook.hpp"
#include "extension/hooking/host.hpp"
#include "extension/hooks/cpms_helper_hook.hpp"
#include "extension/hooks/mitigation_controller_hook.hpp"
#include "extension/policy/power_helper.hpp"
#include "sim/sim.hpp"
#include "tests/support/log_capture.hpp"
#include "tests/support/preferences.hpp"

namespace {

namespace fs = std::filesystem;
namespace hook = halvernic::hook;
namespace hooks = halvernic::hooks;
namespace host = halvernic::host;
namespace sim = halvernic::sim;

using Texts = std::vector<std::string>;

constinit objc::Selector kAlloc{"alloc"};
constinit objc::Selector kInit{"init"};

HPowerHepler& engine() { return HPowerHepler::shared(); }

// ---- the host's initialiser and updateCPU, wrapped before the hooks are installed ------
// The hooks' saved implementations are these wrappers, which call the simulation's own.

IMP g_sim_init = nullptr;
IMP g_sim_update_cpu = nullptr;

enum class InitOutcome { normal, substitute, fail };
std::atomic<InitOutcome> g_init_outcome{InitOutcome::normal};
std::function<void()> g_during_update_cpu;

// normal: the simulation's initialiser. substitute: releases the receiver and initialises
// another object, as an initialiser that replaces self does. fail: releases the receiver
// and answers nil.
id wrapped_init(id self, SEL cmd, BOOL fast_loop, BOOL no_display, id power_save, id power_zone) {
  switch (g_init_outcome.load()) {
    case InitOutcome::normal: break;
    case InitOutcome::substitute: {
      id other = objc::send<id>(host::kMitigationController.get(), kAlloc);
      objc::release(self);
      return objc::call<id>(g_sim_init, other, cmd, fast_loop, no_display, power_save, power_zone);
    }
    case InitOutcome::fail: objc::release(self); return nullptr;
  }
  return objc::call<id>(g_sim_init, self, cmd, fast_loop, no_display, power_save, power_zone);
}

void wrapped_update_cpu(id self, SEL cmd) {
  if (g_during_update_cpu) g_during_update_cpu();
  objc::call<void>(g_sim_update_cpu, self, cmd);
}

objc::Ref make_controller() {
  id allocated = objc::send<id>(host::kMitigationController.get(), kAlloc);
  return objc::Ref::adopt(host::kInitForFastLoop.send(allocated, NO, NO, nullptr, nullptr));
}

struct RecordingTweak : hook::Tweak {
  std::vector<std::string> errors;
  void handleError(const hook::HookError& error) override { errors.push_back(error.description()); }
};

// The messages of MitigationController that updateCPU and the engine send.
Texts controller_calls(id receiver) {
  Texts texts;
  for (const sim::Call& call : sim::calls()) {
    if (call.receiver == receiver) texts.push_back(call.text());
  }
  return texts;
}

class MitigationHooks : public testing::Test {
protected:
  static void SetUpTestSuite() {
    hv_test::device_root();
    ASSERT_TRUE(sim::register_classes());
    Class cls = host::kMitigationController.get();
    g_sim_init = objc::replaceInstanceMethod(cls, host::kInitForFastLoop.get(),
                                             reinterpret_cast<IMP>(&wrapped_init));
    g_sim_update_cpu = objc::replaceInstanceMethod(cls, host::kUpdateCPU.get(),
                                                   reinterpret_cast<IMP>(&wrapped_update_cpu));
    ASSERT_TRUE(g_sim_init && g_sim_update_cpu);

    // Made before the hooks exist, so the engine has not captured it.
    controller_ = new objc::Ref(make_controller());
    helper_ = new objc::Ref(
        objc::Ref::adopt(objc::send<id>(objc::send<id>(host::kCPMSHelper.get(), kAlloc), kInit)));

    static RecordingTweak tweak;
    const hook::ClassHook* list[] = {&hooks::MitigationControllerHook, &hooks::CPMSHelperHook};
    ASSERT_EQ(hook::install(tweak, list), 16u);
    ASSERT_EQ(tweak.errors, Texts{});
  }

  void SetUp() override {
    hv_test::write_preferences({});
    engine().resetForTesting();
    g_init_outcome = InitOutcome::normal;
    g_during_update_cpu = nullptr;
    sim::clear_calls();
    log_.clear();
  }

  void TearDown() override { g_during_update_cpu = nullptr; }

  void write_mode(const char* mode) {
    objc::AutoreleasePool pool;
    hv_test::write_preferences({{"thermalPowerMode", objc::string(mode)}});
  }
  // The mode the engine reads at its next question.
  void set_mode(const char* mode) {
    write_mode(mode);
    engine().resetForTesting();
  }

  static id controller() { return controller_->get(); }
  static id helper() { return helper_->get(); }

  // Makes the host's getCPUTargetPower report value: the CPU setters are not hooked, so
  // they reach the host as sent, and the host's updateCPU (run by the hook in every mode)
  // recomputes its target from them.
  static void host_target(int value) {
    id c = controller();
    host::kSetCPUPowerCeilingForDVD1Contributor.send(c, 1'000'000, 0);
    host::kSetCPUPowerFloorFromDecisionSource.send(c, std::min(value, 0), 0);
    host::kSetCPUPowerCeilingFromDecisionSource.send(c, value, 0);
    host::kSetPowerSaveActive.send(c, NO);
    host::kSetCPULevel.send(c, 0);
    host::kSetCPMSMitigationsEnabled.send(c, NO);
    host::kUpdateCPU.send(c);
    ASSERT_EQ(sim::controller_state(c).cpu_target_power, value);
    sim::clear_calls();
  }

  static objc::Ref* controller_;
  static objc::Ref* helper_;
  hv_test::LogCapture log_;
};
objc::Ref* MitigationHooks::controller_ = nullptr;
objc::Ref* MitigationHooks::helper_ = nullptr;

TEST_F(MitigationHooks, NativeModePassesEveryCallAndArgumentUnchanged) {
  set_mode("off");
  id c = controller();
  host_target(30000);
  host::kSetPowerSaveActive.send(c, YES);
  host::kSetCPULevel.send(c, 3);
  const std::int64_t package_target = sim::controller_state(c).package_target_power;
  sim::clear_calls();

  EXPECT_EQ(host::kPowerSaveActive.send(c), YES);
  EXPECT_EQ(host::kCPULevel.send(c), 3);
  EXPECT_EQ(host::kGetCPUTargetPower.send(c), 30000);
  EXPECT_EQ(host::kGetPackageCPUPowerTarget.send(c), 30000);
  EXPECT_EQ(host::kGetPackageTargetPower.send(c), package_target);
  host::kSetGPUPowerCeilingFromDecisionSource.send(c, std::numeric_limits<int>::max(), 7);
  host::kSetGPUPowerFloorFromDecisionSource.send(c, 321, -8);
  host::kSetGPUPowerZoneTarget.send(c, 22222);
  host::kSetSGXLevel.send(c, 3);
  host::kSetMaxGraphicsDrivePowerTarget.send(c, 23456);
  host::kUpdateCPU.send(c);
  host::kUpdateGPU.send(c);
  host::kUpdatePackage.send(c);
  EXPECT_EQ(host::kGetMaxPowerForComponent.send(helper(), 0), 45000u);
  EXPECT_EQ(host::kGetMinPowerForComponent.send(helper(), 1), 300u);

  EXPECT_EQ(
      sim::call_texts(),
      (Texts{"powerSaveActive", "CPULevel", "getCPUTargetPower", "getPackageCPUPowerTarget",
             "getPackageTargetPower", "setGPUPowerCeiling:fromDecisionSource: 2147483647 7",
             "setGPUPowerFloor:fromDecisionSource: 321 -8", "setGPUPowerZoneTarget: 22222",
             "setSGXLevel: 3", "setMaxGraphicsDrivePowerTarget: 23456", "updateCPU", "updateGPU",
             "updatePackage", "getMaxPowerForComponent: 0", "getMinPowerForComponent: 1"}));
  const sim::ControllerState state = sim::controller_state(c);
  EXPECT_EQ(state.gpu_power_ceiling, std::numeric_limits<int>::max());
  EXPECT_EQ(state.gpu_power_floor_source, -8);
  // The only effect besides the host's: the positive CPU target is recorded.
  EXPECT_EQ(engine().observedCPUPowerMax(), 30000);
  EXPECT_EQ(log_.lines(), Texts{});
}

TEST_F(MitigationHooks, FullPowerRaisesCPUTargetsToTheFullValueOrTheLargestObserved) {
  set_mode("fullPower");
  id c = controller();
  host_target(30000);
  EXPECT_EQ(host::kGetCPUTargetPower.send(c), 50000);
  EXPECT_EQ(engine().observedCPUPowerMax(), 30000);

  engine().resetForTesting();  // nothing observed yet
  host_target(60000);
  EXPECT_EQ(host::kGetCPUTargetPower.send(c), 60000);
  host_target(30000);
  EXPECT_EQ(host::kGetCPUTargetPower.send(c), 60000);
  EXPECT_EQ(host::kGetPackageCPUPowerTarget.send(c), 60000);
  // The host was asked every time: the hooks adjust its value, they do not replace it.
  EXPECT_EQ(sim::call_texts(), (Texts{"getCPUTargetPower", "getPackageCPUPowerTarget"}));
}

// The daemon answers its targets and levels as 32-bit ints. A -1 must reach the engine as
// -1 (read as 64 bits it would arrive as 4294967295 and become the largest target observed,
// which fullPower would then answer and set as every CPU limit).
TEST_F(MitigationHooks, NegativeHostAnswersKeepTheirSign) {
  set_mode("fullPower");
  id c = controller();
  host_target(-1);
  EXPECT_EQ(host::kGetCPUTargetPower.send(c), 50000);
  EXPECT_EQ(host::kGetPackageCPUPowerTarget.send(c), 50000);
  EXPECT_EQ(engine().observedCPUPowerMax(), 0) << "a negative target is never observed";

  set_mode("off");
  host_target(-1);
  EXPECT_EQ(host::kGetCPUTargetPower.send(c), -1);
  host::kSetCPULevel.send(c, -1);
  EXPECT_EQ(host::kCPULevel.send(c), -1);
  EXPECT_EQ(engine().observedCPUPowerMax(), 0);
}

TEST_F(MitigationHooks, FullPowerAnswersWithoutTheHostForcesGPUValuesAndDropsTheRest) {
  set_mode("fullPower");
  id c = controller();
  host::kSetPowerSaveActive.send(c, YES);
  host::kSetCPULevel.send(c, 3);
  const sim::ControllerState before = sim::controller_state(c);
  sim::clear_calls();

  EXPECT_EQ(host::kPowerSaveActive.send(c), NO);
  EXPECT_EQ(host::kCPULevel.send(c), 0);
  EXPECT_EQ(host::kGetPackageTargetPower.send(c), 50000);
  for (int component : {0, 1, 9, -1, std::numeric_limits<int>::max()}) {
    EXPECT_EQ(host::kGetMaxPowerForComponent.send(helper(), component), 50000u) << component;
    EXPECT_EQ(host::kGetMinPowerForComponent.send(helper(), component), 0u) << component;
  }
  host::kSetGPUPowerCeilingFromDecisionSource.send(c, 12345, 7);
  host::kSetGPUPowerFloorFromDecisionSource.send(c, 321, 8);
  host::kSetGPUPowerZoneTarget.send(c, 22222);
  host::kSetSGXLevel.send(c, 3);
  host::kSetMaxGraphicsDrivePowerTarget.send(c, 23456);
  host::kUpdateGPU.send(c);
  host::kUpdatePackage.send(c);

  // Only the four GPU setters reached the host, with the forced values and the caller's
  // sources.
  EXPECT_EQ(sim::call_texts(), (Texts{"setGPUPowerCeiling:fromDecisionSource: 50000 7",
                                      "setGPUPowerFloor:fromDecisionSource: 0 8", "setSGXLevel: 0",
                                      "setMaxGraphicsDrivePowerTarget: 50000"}));
  const sim::ControllerState after = sim::controller_state(c);
  EXPECT_EQ(after.gpu_power_zone_target, before.gpu_power_zone_target);
  EXPECT_EQ(after.gpu_updates, before.gpu_updates);
  EXPECT_EQ(after.package_updates, before.package_updates);
  EXPECT_TRUE(after.power_save_active) << "the host's own state is untouched";
  EXPECT_EQ(after.cpu_level, 3);
}

TEST_F(MitigationHooks, LowPowerAnswersPowerSaveAndLevel2AndPassesTheRest) {
  set_mode("lowPower");
  id c = controller();
  host::kSetPowerSaveActive.send(c, NO);
  host::kSetCPULevel.send(c, 0);
  const sim::ControllerState state = sim::controller_state(c);
  sim::clear_calls();

  EXPECT_EQ(host::kPowerSaveActive.send(c), YES);
  EXPECT_EQ(host::kCPULevel.send(c), 2);
  EXPECT_EQ(log_.lines(), Texts{"halvernic cpu level lock 0 -> 2"});
  host::kSetCPULevel.send(c, 2);
  EXPECT_EQ(host::kCPULevel.send(c), 2);
  EXPECT_EQ(log_.lines().size(), 1u) << "a host level of 2 is no change";

  EXPECT_EQ(host::kGetCPUTargetPower.send(c), state.cpu_target_power);
  EXPECT_EQ(host::kGetPackageTargetPower.send(c), state.package_target_power);
  host::kSetGPUPowerCeilingFromDecisionSource.send(c, 12345, 7);
  host::kSetGPUPowerZoneTarget.send(c, 22222);
  host::kSetSGXLevel.send(c, 3);
  host::kUpdateGPU.send(c);
  host::kUpdatePackage.send(c);
  EXPECT_EQ(host::kGetMaxPowerForComponent.send(helper(), 0), 45000u);
  EXPECT_EQ(host::kGetMinPowerForComponent.send(helper(), 0), 500u);
  EXPECT_EQ(sim::call_texts(),
            (Texts{"CPULevel", "setCPULevel: 2", "CPULevel", "getCPUTargetPower",
                   "getPackageTargetPower", "setGPUPowerCeiling:fromDecisionSource: 12345 7",
                   "setGPUPowerZoneTarget: 22222", "setSGXLevel: 3", "updateGPU", "updatePackage",
                   "getMaxPowerForComponent: 0", "getMinPowerForComponent: 0"}));
}

TEST_F(MitigationHooks, UpdateCPUSendsEachModesSettersAroundTheHostUpdate) {
  id c = controller();
  set_mode("fullPower");
  host::kUpdateCPU.send(c);
  EXPECT_EQ(sim::call_texts(),
            (Texts{"setCPMSMitigationsEnabled: 0", "setPowerSaveActive: 0", "setCPULevel: 0",
                   "updateCPU", "setCPMSMitigationsEnabled: 0", "setCPULowPowerTarget: 50000",
                   "setCPUPowerCeiling:fromDecisionSource: 50000 0",
                   "setCPUPowerFloor:fromDecisionSource: 50000 0", "setCPUPowerZoneTarget: 50000",
                   "setCPULevel: 0"}));
  EXPECT_EQ(log_.lines(), Texts{"halvernic disables CPU mitigations with full target 50000"});

  sim::clear_calls();
  log_.clear();
  set_mode("lowPower");
  host::kUpdateCPU.send(c);
  EXPECT_EQ(sim::call_texts(), (Texts{"setPowerSaveActive: 1", "updateCPU", "setPowerSaveActive: 1",
                                      "setCPULevel: 2"}));
  EXPECT_EQ(log_.lines(), Texts{"halvernic simulates low power mode at CPU level 2"});

  sim::clear_calls();
  log_.clear();
  set_mode("off");
  host::kUpdateCPU.send(c);
  EXPECT_EQ(sim::call_texts(), Texts{"updateCPU"});
  EXPECT_EQ(log_.lines(), Texts{});

  // lowPower left while the host updates: the call ends after the host's update.
  sim::clear_calls();
  set_mode("lowPower");
  g_during_update_cpu = [this] {
    write_mode("off");
    engine().applyThermalState();  // the engine reloads (no controller captured)
  };
  host::kUpdateCPU.send(c);
  EXPECT_EQ(sim::call_texts(), (Texts{"setPowerSaveActive: 1", "updateCPU"}));
  EXPECT_EQ(log_.count("halvernic simulates low power mode at CPU level 2"), 0u);
  EXPECT_EQ(log_.count("halvernic simulates low power mode at CPU level 0"), 0u);
}

// The initialisations below schedule the engine's delayed re-applications, which keep
// running for ten seconds: these tests come last.

TEST_F(MitigationHooks, EachInitialisedControllerIsCapturedAndThePreviousReleased) {
  set_mode("off");
  const std::string applied = "halvernic: native thermal mode restored";
  objc::WeakRef first_weak;
  objc::Ref second;
  {
    objc::Ref first = make_controller();
    ASSERT_TRUE(first);
    first_weak.store(first.get());
    EXPECT_EQ(engine().mitigationControllerObject().get(), first.get());
    EXPECT_EQ(log_.count(applied), 1u) << "the policy was applied during the initialiser";
    second = make_controller();
  }
  EXPECT_EQ(engine().mitigationControllerObject().get(), second.get());
  EXPECT_FALSE(first_weak.load()) << "the engine released the first controller";

  // The application ran on the second controller right after its initialiser.
  Texts second_calls = controller_calls(second.get());
  ASSERT_GE(second_calls.size(), 8u);
  second_calls.resize(8);
  EXPECT_EQ(second_calls,
            (Texts{"initForFastLoop:noDisplay:powerSaveParams:powerZoneParams: 0 0 nil nil",
                   "setPowerSaveActive: 0", "setCPULevel: 0", "updateCPU", "updateGPU",
                   "updatePackage", "setPowerSaveActive: 0", "setCPULevel: 0"}));
  EXPECT_GE(log_.count(applied), 2u);

  // Then re-applications follow on the global queue (the first ones after 0.25 s).
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (log_.count(applied) < 3 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_GE(log_.count(applied), 3u);
}

TEST_F(MitigationHooks, InitialiserAnsweringAnotherObjectOrNilNeverCapturesAFreedReceiver) {
  set_mode("off");
  objc::Ref captured = make_controller();
  ASSERT_EQ(engine().mitigationControllerObject().get(), captured.get());

  g_init_outcome = InitOutcome::substitute;
  objc::Ref substitute = make_controller();
  ASSERT_TRUE(substitute);
  EXPECT_EQ(engine().mitigationControllerObject().get(), substitute.get());

  g_init_outcome = InitOutcome::fail;
  EXPECT_FALSE(make_controller());
  EXPECT_EQ(engine().mitigationControllerObject().get(), substitute.get())
      << "a failed initialisation keeps the controller captured before";
  EXPECT_GE(log_.count("halvernic: native thermal mode restored"), 3u)
      << "every initialisation applies the policy";
}

}  // namespace
