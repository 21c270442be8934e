// The extension's hooks, replacements and engine inside the simulated daemon, under load from
// eight threads at once for a bounded time:
//   - the preferences writer: the mode and the dimming switch flip, the file rewritten
//     atomically as the front-ends rewrite it;
//   - the notifier: "com.nu-falk.halvernic-executePuppetEvent" and
//     "com.nu-falk.halvernic.runtimeState" posted on the Darwin center (each makes the
//     engine apply the settings and schedule its seven re-applications);
//   - the daemon's own thermal model, stepping;
//   - five daemon threads calling hooked and replaced methods of every host class.
// Then, with the mode set to fullPower and the load gone, the extension must still act as
// fullPower. Prints one line of counts and ends with _exit: delayed re-applications still
// pending belong to the process and end with it, as they do when the daemon is restarted.
//
//   stress_daemon [SECONDS]     (default 3)
//
// Exit status 0 when everything held; otherwise a line on standard error says what failed.
#include <CoreFoundation/CoreFoundation.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "common/objc/foundation.hpp"
#include "common/objc/thread.hpp"
#include "extension/contract/contract.hpp"
#include "extension/hooking/host.hpp"
#include "extension/policy/power_helper.hpp"
#include "extension/replacements/replacements.hpp"
#include "extension/startup/initialisers.hpp"
#include "sim/sim.hpp"
#include "tests/replacements/private_view.hpp"

namespace {

namespace contract = halvernic::contract;
namespace host = halvernic::host;
namespace sim = halvernic::sim;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "stress_daemon: %s\n", what.c_str());
  std::fflush(stderr);
  _exit(1);
}

bool writePreference(const char* key, id value) {
  return contract::writePreferenceValue(hv_test::privateView().preferencesPath.c_str(), key, value);
}

void post(const char* name) {
  CFStringRef cfName = CFStringCreateWithCString(kCFAllocatorDefault, name, kCFStringEncodingUTF8);
  CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(), cfName, nullptr,
                                       nullptr, true);
  CFRelease(cfName);
}

struct Load {
  Clock::time_point deadline;
  std::atomic<long> calls{0};
  std::atomic<long> writes{0};
  std::atomic<long> posts{0};
  std::atomic<long> ticks{0};
  bool running() const { return Clock::now() < deadline; }
};

// One daemon thread's round of hooked and replaced messages to every host object.
void callHostMethods(sim::Daemon& daemon, int seed) {
  id controller = daemon.controller();
  id product = daemon.product();
  id manager = daemon.thermal_manager();
  // Hooked (MitigationController getters and updates, components, sensors, CPMS helper).
  (void)host::kCPULevel.send(controller);
  (void)host::kGetCPUTargetPower.send(controller);
  (void)host::kGetPackageCPUPowerTarget.send(controller);
  (void)host::kGetPackageTargetPower.send(controller);
  host::kUpdateCPU.send(controller);
  if (seed % 3 == 0) host::kUpdatePackage.send(controller);
  for (const objc::Ref& component : daemon.components()) {
    (void)host::kCurrentPower.send(component.get());
    (void)host::kComputePowerTarget.send(component.get());
    (void)host::kPowerTarget.send(component.get());
  }
  (void)host::kGetMaxPowerForComponent.send(daemon.cpms_helper(), seed % 4);
  // Replaced (the setters, pressure and state, configuration, suggestions).
  host::kSetCPULevel.send(controller, seed % 3);
  host::kSetPowerSaveActive.send(controller, objc::toBool(seed % 2 == 0));
  host::kSetCPUPowerCeilingFromDecisionSource.send(controller, 1000 + seed, 7);
  host::kSetCPUPowerFloorFromDecisionSource.send(controller, 500 + seed, 3);
  host::kSetMaxPackagePower.send(controller, 2000 + seed);
  host::kSetPackageLowPowerTarget.send(controller);
  (void)host::kThermalPressureLevel.send(product);
  host::kSetThermalState.send(product, seed % 4);
  (void)host::kGetPotentialForcedThermalPressureLevel.send(product);
  const char* section = seed % 2 ? "Product" : "ContextualClampParams";
  (void)host::kGetConfigurationFor.send(manager,
                                        host::bridged<host::CFStringRef>(objc::string(section)));
  (void)host::kThermalPressure.send(manager, nullptr);
  (void)host::kGetThermalSuggestion.send(manager, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
  const hv_test::PrivateView& view = hv_test::privateView();
  if (!view.ready) fail("no private view of /var/mobile: " + view.failure);
  setenv("HALVERNIC_DEVICE_ROOT", view.deviceRoot.c_str(), 1);
  objc::attachCurrentThread();
  objc::AutoreleasePool pool;

  if (!writePreference(contract::kPowerModeKey, objc::string("off")))
    fail("writing the preferences");
  sim::register_classes();
  halvernic::startup::activateHooks();
  if (halvernic::replacements::installMethodReplacements(
          halvernic::replacements::hostClassesByName()) != 24) {
    fail("the 24 replacements are not installed");
  }
  auto* daemon = new sim::Daemon();  // lives as long as the delayed re-applications may
  daemon->start(sim::default_configuration_folder());
  if (!daemon->controller() || !daemon->product() || !daemon->thermal_manager())
    fail("the daemon's objects");

  Load load;
  load.deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                     std::chrono::duration<double>(seconds));
  std::vector<std::thread> threads;
  threads.emplace_back([&] {  // the preferences writer
    objc::attachCurrentThread();
    const char* modes[] = {"off", "lowPower", "fullPower", "FullPower"};
    for (int i = 0; load.running(); ++i) {
      objc::AutoreleasePool round;
      const bool wrote =
          (i % 5 == 4) ? writePreference(contract::kPreventDimmingKey, objc::boolean(i % 10 == 4))
                       : writePreference(contract::kPowerModeKey, objc::string(modes[i % 4]));
      if (!wrote) fail("an atomic rewrite of the preferences failed");
      ++load.writes;
      std::this_thread::sleep_for(3ms);
    }
  });
  threads.emplace_back([&] {  // the notifier
    objc::attachCurrentThread();
    for (int i = 0; load.running(); ++i) {
      objc::AutoreleasePool round;
      post(i % 2 ? contract::kRuntimeStateNotification : contract::kExecutePuppetEventNotification);
      ++load.posts;
      std::this_thread::sleep_for(15ms);
    }
  });
  threads.emplace_back([&] {  // the daemon's thermal model
    objc::attachCurrentThread();
    while (load.running()) {
      objc::AutoreleasePool round;
      daemon->tick();
      ++load.ticks;
    }
  });
  for (int t = 0; t < 5; ++t) {
    threads.emplace_back([&, t] {  // daemon threads
      objc::attachCurrentThread();
      for (int i = t; load.running(); i += 5) {
        objc::AutoreleasePool round;
        callHostMethods(*daemon, i);
        ++load.calls;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  // The load is gone: the last word is fullPower, and the extension acts on it.
  if (!writePreference(contract::kPreventDimmingKey, objc::boolean(false)) ||
      !writePreference(contract::kPowerModeKey, objc::string("fullPower"))) {
    fail("writing the final preferences");
  }
  std::this_thread::sleep_for(60ms);  // past the replacement layer's reuse window
  HPowerHepler& engine = HPowerHepler::shared();
  engine.applyThermalState();  // may be skipped while a delayed application runs
  for (int i = 0; i < 200 && engine.currentPowerMode() != contract::PowerMode::fullPower; ++i) {
    std::this_thread::sleep_for(10ms);
    engine.applyThermalState();
  }
  if (engine.currentPowerMode() != contract::PowerMode::fullPower)
    fail("the engine never read fullPower");
  if (engine.adjustCPUPowerTarget(1000) < 50000) fail("fullPower CPU target below the full value");
  host::kSetCPULevel.send(daemon->controller(), 1);
  host::kSetCPUPowerFloorFromDecisionSource.send(daemon->controller(), 1000, 7);
  const sim::ControllerState state = sim::controller_state(daemon->controller());
  if (state.cpu_level != 0)
    fail("setCPULevel: 1 reached the host as " + std::to_string(state.cpu_level));
  if (state.cpu_power_floor != 50000 || state.cpu_power_floor_source != 7) {
    fail("the CPU power floor reached the host as " + std::to_string(state.cpu_power_floor));
  }
  if (host::kThermalPressureLevel.send(daemon->product()) != 0)
    fail("fullPower reports thermal pressure");
  if (load.calls < 50 || load.writes < 10 || load.posts < 5 || load.ticks < 5)
    fail("too little load");

  std::printf("stress_daemon: %ld rounds of calls, %ld rewrites, %ld notifications, %ld ticks\n",
              load.calls.load(), load.writes.load(), load.posts.load(), load.ticks.load());
  std::fflush(stdout);
  _exit(0);
}
