// MitigationControllerHook and CPMSHelperHook on their hot paths: a hooked getter and
// setter of MitigationController and CPMSHelper's bound, next to the bare host
// implementation, in the native mode and in fullPower. The engine reads a real preferences
// file below a device root; in the steady state it answers from its snapshot. Reported per
// call besides the time: the allocations made (every malloc, calloc and realloc of the
// process while the loop runs).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/objc/class_builder.hpp"
#include "common/objc/foundation.hpp"
#include "common/objc/thread.hpp"
#include "extension/contract/contract.hpp"
#include "extension/hooking/hook.hpp"
#include "extension/hooking/host.hpp"
#include "extension/hooks/cpms_helper_hook.hpp"
#include "extension/hooks/mitigation_controller_hook.hpp"
#include "extension/policy/power_helper.hpp"

#include "bench/allocation_count.hpp"

namespace {

namespace host = halvernic::host;
namespace hook = halvernic::hook;
namespace hooks = halvernic::hooks;

// ---- the host: trivial implementations, one class hooked, one twin left bare -------------

std::atomic<int> gCeiling{0};
int getCPUTargetPower(id, SEL) { return 30000; }
void setGPUPowerCeiling(id, SEL, int ceiling, int) {
  gCeiling.store(ceiling, std::memory_order_relaxed);
}
std::uint32_t getMaxPowerForComponent(id, SEL, int) { return 45000; }

Class controllerClass(const char* name) {
  return objc::ClassBuilder(name, "NSObject")
      .method(host::kGetCPUTargetPower, &getCPUTargetPower)
      .method(host::kSetGPUPowerCeilingFromDecisionSource, &setGPUPowerCeiling)
      .build();
}
Class helperClass(const char* name) {
  return objc::ClassBuilder(name, "NSObject")
      .method(host::kGetMaxPowerForComponent, &getMaxPowerForComponent)
      .build();
}

id instance(Class c) {
  return objc::send<id>(objc::send<id>(c, objc::sel("alloc")), objc::sel("init"));
}

struct Hosts {
  id bareController, hookedController, bareHelper, hookedHelper;
  std::string preferences;

  Hosts() {
    objc::attachCurrentThread();
    char folder[] = "/tmp/hv-mitigation-hooks-bench-XXXXXX";
    setenv("HALVERNIC_DEVICE_ROOT", mkdtemp(folder), 1);
    preferences = halvernic::contract::resolvedPreferencesPath();

    bareController = instance(controllerClass("BenchBareMitigationController"));
    bareHelper = instance(helperClass("BenchBareCPMSHelper"));
    // The hooks find their targets by the daemon's class names.
    hookedController = instance(controllerClass("MitigationController"));
    hookedHelper = instance(helperClass("CPMSHelper"));
    static hook::Tweak tweak;
    const hook::ClassHook* list[] = {&hooks::MitigationControllerHook, &hooks::CPMSHelperHook};
    // The bench's classes implement three of the hooked methods.
    if (hook::install(tweak, list) != 3) std::abort();
    // Making the classes allocated: the counter sees the process's allocations.
    if (gAllocations.load() == 0) std::abort();
  }

  // The engine reads mode from the file at its next question; nullptr: no file at all.
  void setMode(const char* mode) {
    objc::AutoreleasePool pool;
    if (!mode) {
      std::filesystem::remove(preferences);
      HPowerHepler::shared().resetForTesting();
      return;
    }
    std::filesystem::create_directories(std::filesystem::path(preferences).parent_path());
    objc::Ref dict = objc::makeMutableDictionary();
    objc::dictionarySet(dict.get(), "thermalPowerMode", objc::string(mode));
    if (!objc::writePropertyListXmlAtomically(dict.get(), preferences)) std::abort();
    HPowerHepler::shared().resetForTesting();
    HPowerHepler::shared().currentPowerMode();  // read outside the timed loop
  }
};
Hosts& hosts() {
  static Hosts h;
  return h;
}

// Arg 0: the native mode, 1: fullPower, 2: no preferences file (the native mode, and the
// engine, whose snapshot then stays empty, reads the file again at every question).
const char* modeArg(const benchmark::State& state) {
  switch (state.range(0)) {
    case 0: return "off";
    case 1: return "fullPower";
    default: return nullptr;
  }
}

// Runs body in the timed loop and reports the allocations per call.
template <class Body>
void measure(benchmark::State& state, Body body) {
  const std::uint64_t before = gAllocations.load(std::memory_order_relaxed);
  for (auto _ : state) body();
  const std::uint64_t made = gAllocations.load(std::memory_order_relaxed) - before;
  state.counters["allocs/call"] =
      benchmark::Counter(static_cast<double>(made) / static_cast<double>(state.iterations()));
}

void BM_GetCPUTargetPower_Bare(benchmark::State& state) {
  id receiver = hosts().bareController;
  measure(state, [&] { benchmark::DoNotOptimize(host::kGetCPUTargetPower.send(receiver)); });
}
BENCHMARK(BM_GetCPUTargetPower_Bare);

void BM_GetCPUTargetPower_Hooked(benchmark::State& state) {
  hosts().setMode(modeArg(state));
  id receiver = hosts().hookedController;
  measure(state, [&] { benchmark::DoNotOptimize(host::kGetCPUTargetPower.send(receiver)); });
}
BENCHMARK(BM_GetCPUTargetPower_Hooked)->ArgName("mode")->Arg(0)->Arg(1)->Arg(2);

void BM_SetGPUPowerCeiling_Bare(benchmark::State& state) {
  id receiver = hosts().bareController;
  measure(state, [&] { host::kSetGPUPowerCeilingFromDecisionSource.send(receiver, 30000, 7); });
}
BENCHMARK(BM_SetGPUPowerCeiling_Bare);

void BM_SetGPUPowerCeiling_Hooked(benchmark::State& state) {
  hosts().setMode(modeArg(state));
  id receiver = hosts().hookedController;
  measure(state, [&] { host::kSetGPUPowerCeilingFromDecisionSource.send(receiver, 30000, 7); });
}
BENCHMARK(BM_SetGPUPowerCeiling_Hooked)->ArgName("mode")->Arg(0)->Arg(1);

void BM_GetMaxPowerForComponent_Bare(benchmark::State& state) {
  id receiver = hosts().bareHelper;
  measure(state,
          [&] { benchmark::DoNotOptimize(host::kGetMaxPowerForComponent.send(receiver, 0)); });
}
BENCHMARK(BM_GetMaxPowerForComponent_Bare);

// In fullPower the host is not called at all.
void BM_GetMaxPowerForComponent_Hooked(benchmark::State& state) {
  hosts().setMode(modeArg(state));
  id receiver = hosts().hookedHelper;
  measure(state,
          [&] { benchmark::DoNotOptimize(host::kGetMaxPowerForComponent.send(receiver, 0)); });
}
BENCHMARK(BM_GetMaxPowerForComponent_Hooked)->ArgName("mode")->Arg(0)->Arg(1);

}  // namespace
