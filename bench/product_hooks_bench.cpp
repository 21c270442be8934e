// The component power hook on its hot path: -[ComponentControl currentPower] through
// ComponentControlHook (the engine's component power limit for the component's type) next
// to the same host implementation on a class nothing hooks, in the native mode and in
// fullPower (steady state: the daemon's value is the largest seen, so nothing is logged).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/objc/class_builder.hpp"
#include "common/objc/foundation.hpp"
#include "extension/contract/contract.hpp"
#include "extension/hooking/host.hpp"
#include "extension/hooks/component_control_hook.hpp"
#include "extension/policy/power_helper.hpp"

namespace {

namespace fs = std::filesystem;
namespace host = halvernic::host;

std::atomic<std::uint32_t> gPower{60000};
std::uint32_t currentPower(id, SEL) { return gPower.load(std::memory_order_relaxed); }
int mitigationType(id, SEL) { return 3; }

Class hostClass(const char* name) {
  return objc::ClassBuilder(name, "NSObject")
      .method(host::kCurrentPower, &currentPower)
      .method(host::kMitigationType, &mitigationType)
      .build();
}

id instance(Class c) {
  return objc::send<id>(objc::send<id>(c, objc::sel("alloc")), objc::sel("init"));
}

// The daemon's class (hooked) and a twin with the same implementations (never hooked);
// the engine's preferences under a device root of the process's own.
struct Setup {
  id hooked;
  id bare;
  std::string preferences;

  Setup() {
    const fs::path root =
        fs::temp_directory_path() / ("hv-product-bench-" + std::to_string(getpid()));
    fs::create_directories(root);
    setenv("HALVERNIC_DEVICE_ROOT", root.c_str(), 1);
    preferences = halvernic::contract::resolvedPreferencesPath();
    fs::create_directories(fs::path(preferences).parent_path());

    hooked = instance(hostClass(host::kComponentControl.name()));
    bare = instance(hostClass("BareComponentControl"));
    halvernic::hook::Tweak tweak;
    const halvernic::hook::ClassHook* hooks[] = {&halvernic::hooks::ComponentControlHook};
    if (halvernic::hook::install(tweak, hooks) == 0) std::abort();
  }

  void useMode(const char* mode) {
    objc::AutoreleasePool pool;
    objc::Ref prefs = objc::makeMutableDictionary();
    objc::dictionarySet(prefs.get(), halvernic::contract::kPowerModeKey, objc::string(mode));
    if (!objc::writePropertyListXmlAtomically(prefs.get(), preferences)) std::abort();
    HPowerHepler::shared().resetForTesting();
    HPowerHepler::shared().loadPreferencesIfEmpty();
  }
};

Setup& setup() {
  static Setup* s = new Setup();
  return *s;
}

void BM_CurrentPower_Host(benchmark::State& state) {
  id component = setup().bare;
  for (auto _ : state) benchmark::DoNotOptimize(host::kCurrentPower.send(component));
}
BENCHMARK(BM_CurrentPower_Host);

void BM_CurrentPower_Hooked(benchmark::State& state) {
  Setup& s = setup();
  s.useMode(state.range(0) ? "fullPower" : "off");
  id component = s.hooked;
  const std::uint32_t expected = host::kCurrentPower.send(component);  // records the maxima
  if (expected != gPower.load()) state.SkipWithError("the limit changed the steady value");
  for (auto _ : state) benchmark::DoNotOptimize(host::kCurrentPower.send(component));
  state.SetLabel(state.range(0) ? "fullPower" : "native");
}
BENCHMARK(BM_CurrentPower_Hooked)->Arg(0)->Arg(1);

}  // namespace
