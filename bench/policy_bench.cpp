// The power policy engine's hot paths in steady state (preferences loaded), next to a
// bare atomic load, the overheat protection's sampling between two readings, and the cost
// of one whole application against the simulated daemon.
#include <benchmark/benchmark.h>
#include <mach/mach_time.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>

#include "common/objc/foundation.hpp"
#include "common/objc/thread.hpp"
#include "extension/contract/contract.hpp"
#include "extension/policy/power_helper.hpp"
#include "sim/sim.hpp"

namespace {

namespace fs = std::filesystem;

// Preferences in fullPower below a private device root (libroot binds it once).
HPowerHepler& engine_in(const char* mode) {
  static const bool ready = [] {
    fs::path root = fs::temp_directory_path() / ("hv-policy-bench-" + std::to_string(getpid()));
    setenv("HALVERNIC_DEVICE_ROOT", root.c_str(), 1);
    objc::attachCurrentThread();
    halvernic::sim::register_classes();
    return true;
  }();
  (void)ready;
  objc::AutoreleasePool pool;
  const std::string path = halvernic::contract::resolvedPreferencesPath();
  fs::create_directories(fs::path(path).parent_path());
  objc::Ref dict = objc::makeMutableDictionary();
  objc::dictionarySet(dict.get(), "thermalPowerMode", objc::string(mode));
  objc::writePropertyListXmlAtomically(dict.get(), path);
  HPowerHepler& engine = HPowerHepler::shared();
  engine.resetForTesting();
  engine.loadPreferencesIfEmpty();
  return engine;
}

void BM_BareAtomicLoad(benchmark::State& state) {
  static std::atomic<std::uint8_t> word{5};
  for (auto _ : state) benchmark::DoNotOptimize(word.load(std::memory_order_acquire));
}
BENCHMARK(BM_BareAtomicLoad);

void BM_CurrentPowerMode(benchmark::State& state) {
  HPowerHepler& engine = engine_in("fullPower");
  for (auto _ : state) benchmark::DoNotOptimize(engine.currentPowerMode());
}
BENCHMARK(BM_CurrentPowerMode);

void BM_FilterCPULevel_LowPower(benchmark::State& state) {
  HPowerHepler& engine = engine_in("lowPower");
  for (auto _ : state) benchmark::DoNotOptimize(engine.filterCPULevel(2));
}
BENCHMARK(BM_FilterCPULevel_LowPower);

void BM_AdjustCPUPowerTarget_FullPower(benchmark::State& state) {
  HPowerHepler& engine = engine_in("fullPower");
  std::int64_t v = 0;
  for (auto _ : state) benchmark::DoNotOptimize(engine.adjustCPUPowerTarget(40000 + (++v & 1023)));
}
BENCHMARK(BM_AdjustCPUPowerTarget_FullPower);

void BM_AdjustComponentPowerLimit_Native(benchmark::State& state) {
  HPowerHepler& engine = engine_in("off");
  std::int64_t v = 0;
  for (auto _ : state) {
    ++v;
    benchmark::DoNotOptimize(engine.adjustComponentPowerLimit(40000 + (v & 1023), v & 7));
  }
}
BENCHMARK(BM_AdjustComponentPowerLimit_Native);

// Full power in steady state: the request already is the largest observed value, so the
// limit equals it and nothing is logged.
void BM_AdjustComponentPowerLimit_FullPower(benchmark::State& state) {
  HPowerHepler& engine = engine_in("fullPower");
  for (auto _ : state) benchmark::DoNotOptimize(engine.adjustComponentPowerLimit(60000, 3));
}
BENCHMARK(BM_AdjustComponentPowerLimit_FullPower);

// The overheat protection's sampling on the daemon's control step, between two readings (its
// fast case: the device's clock read and compared with the last reading's time), next to
// the clock read alone.
void BM_SampleBatteryIfDue_BetweenReadings(benchmark::State& state) {
  HPowerHepler& engine = engine_in("fullPower");
  engine.sampleBatteryIfDue();  // the reading of this interval (unknown: no battery entry)
  for (auto _ : state) engine.sampleBatteryIfDue();
}
BENCHMARK(BM_SampleBatteryIfDue_BetweenReadings);

void BM_ContinuousClockAlone(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(mach_continuous_time());
}
BENCHMARK(BM_ContinuousClockAlone);

void BM_ApplyThermalState_FullPower(benchmark::State& state) {
  HPowerHepler& engine = engine_in("fullPower");
  halvernic::sim::Daemon daemon;
  daemon.start(halvernic::sim::default_configuration_folder());
  engine.setCommonProductObject(daemon.product());
  engine.setMitigationControllerObject(daemon.controller());
  for (auto _ : state) {
    engine.applyThermalState();
    halvernic::sim::clear_calls();
  }
}
BENCHMARK(BM_ApplyThermalState_FullPower)->Unit(benchmark::kMicrosecond);

}  // namespace
