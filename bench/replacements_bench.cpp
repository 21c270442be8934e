// The method replacement layer on its hot paths: each of the 24 replaced messages next to
// the bare host implementation, and how often the preferences file is read when two
// threads ask the snapshot a million times each.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include <atomic>

#include "bench/allocation_count.hpp"
#include "common/objc/class_builder.hpp"
#include "common/objc/foundation.hpp"
#include "common/objc/thread.hpp"
#include "extension/hooking/host.hpp"
#include "extension/replacements/preference_snapshot.hpp"
#include "extension/replacements/replacements.hpp"

namespace {

namespace host = halvernic::host;
namespace repl = halvernic::replacements;

// Trivial host implementations, one per shape of the replaced methods.
std::atomic<int> gLevel{0};
void setInt(id, SEL, int level) { gLevel.store(level, std::memory_order_relaxed); }
void setIntInt(id, SEL, int value, int) { gLevel.store(value, std::memory_order_relaxed); }
void setBool(id, SEL, BOOL value) { gLevel.store(value, std::memory_order_relaxed); }
void setObject(id, SEL, id) { gLevel.fetch_add(1, std::memory_order_relaxed); }
void trigger(id, SEL) { gLevel.fetch_add(1, std::memory_order_relaxed); }
std::int64_t thermalPressureLevel(id, SEL) { return 2; }
bool forcedPressureLevel(id, SEL) { return true; }
std::uint64_t forcedLevel(id, SEL, std::uint64_t) { return 3; }
id objectQuery(id self, SEL, id) { return self; }
void* configuration(id self, SEL, host::CFStringRef) { return self; }

// The 24 selectors of the installation table, each with the host implementation of its shape.
Class hostClass(const char* name) {
  objc::ClassBuilder b(name, "NSObject");
  b.method(host::kThermalPressureLevel, &thermalPressureLevel)
      .method(host::kSetThermalState, &setInt)
      .method(host::kGetPotentialForcedThermalPressureLevel, &forcedPressureLevel)
      .method(host::kGetPotentialForcedThermalLevel, &forcedLevel)
      .method(host::kThermalUpdatesToWatchdogEnabled, &setObject)
      .method(host::kGetConfigurationFor, &configuration)
      .method(host::kGetThermalSuggestion, &objectQuery)
      .method(host::kThermalSuggestion, &objectQuery)
      .method(host::kThermalMitigation, &objectQuery)
      .method(host::kThermalPressure, &objectQuery)
      .method(host::kSetPowerSaveActive, &setBool)
      .method(host::kSetCPMSMitigationsEnabled, &setBool);
  for (const host::Message<void(int)>* s :
       {&host::kSetDVD1Level, &host::kSetCPULevel, &host::kSetCPULowPowerTarget,
        &host::kSetCPUPowerZoneTarget, &host::kSetMaxPackagePower}) {
    b.method(*s, &setInt);
  }
  for (const host::Message<void(int, host::PassedOnArg)>* s :
       {&host::kSetCPUPowerCeilingFromDecisionSource, &host::kSetCPUPowerCeilingForDVD1Contributor,
        &host::kSetCPUPowerFloorFromDecisionSource,
        &host::kSetPackagePowerCeilingFromDecisionSource,
        &host::kSetPackagePowerFloorFromDecisionSource}) {
    b.method(*s, &setIntInt);
  }
  b.method(host::kSetPackageLowPowerTarget, &trigger)
      .method(host::kSetPackagePowerZoneTarget, &trigger);
  return b.build();
}

id instance(Class c) {
  return objc::send<id>(objc::send<id>(c, objc::sel("alloc")), objc::sel("init"));
}

// Two classes with the same host implementations; the replacements go into one of them.
// The layer's snapshot reads a file of its own (native mode: no preferences).
struct Hosts {
  id bare;
  id replaced;
  std::size_t installed = 0;
  Hosts() {
    objc::attachCurrentThread();
    bare = instance(hostClass("BenchBareHost"));
    Class replacedClass = hostClass("BenchReplacedHost");
    installed = repl::installMethodReplacements({replacedClass, replacedClass, replacedClass});
    replaced = instance(replacedClass);
  }
};
Hosts& hosts() {
  static Hosts h;
  return h;
}

// Each replaced message next to the bare host method, in the steady state of the native
// mode (the snapshot fresh, the host called): Bare/<selector> and Replaced/<selector>.
template <class Send>
void measure(benchmark::State& state, bool replaced, Send send) {
  Hosts& h = hosts();
  if (h.installed != 24) state.SkipWithError("not every replacement was installed");
  id receiver = replaced ? h.replaced : h.bare;
  objc::AutoreleasePool pool;
  repl::preferenceSnapshot().refresh();
  const std::uint64_t before = gAllocations.load(std::memory_order_relaxed);
  for (auto _ : state) send(receiver);
  const std::uint64_t made = gAllocations.load(std::memory_order_relaxed) - before;
  state.counters["allocs/call"] =
      benchmark::Counter(static_cast<double>(made) / static_cast<double>(state.iterations()));
}

template <class Send>
void pair(const char* name, Send send) {
  benchmark::RegisterBenchmark((std::string("Bare/") + name).c_str(),
                               [send](benchmark::State& s) { measure(s, false, send); });
  benchmark::RegisterBenchmark((std::string("Replaced/") + name).c_str(),
                               [send](benchmark::State& s) { measure(s, true, send); });
}

const int kRegistered = [] {
  const host::CFStringRef key =
      host::bridged<host::CFStringRef>(objc::retain(objc::string("Product")));
  pair("thermalPressureLevel",
       [](id r) { benchmark::DoNotOptimize(host::kThermalPressureLevel.send(r)); });
  pair("setThermalState:", [](id r) { host::kSetThermalState.send(r, 0); });
  pair("getPotentialForcedThermalPressureLevel", [](id r) {
    benchmark::DoNotOptimize(host::kGetPotentialForcedThermalPressureLevel.send(r));
  });
  pair("getPotentialForcedThermalLevel:",
       [](id r) { benchmark::DoNotOptimize(host::kGetPotentialForcedThermalLevel.send(r, 1)); });
  pair("thermalUpdatesToWatchdogEnabled:",
       [](id r) { host::kThermalUpdatesToWatchdogEnabled.send(r, nullptr); });
  pair("getConfigurationFor:",
       [key](id r) { benchmark::DoNotOptimize(host::kGetConfigurationFor.send(r, key)); });
  pair("getThermalSuggestion:",
       [](id r) { benchmark::DoNotOptimize(host::kGetThermalSuggestion.send(r, nullptr)); });
  pair("thermalSuggestion:",
       [](id r) { benchmark::DoNotOptimize(host::kThermalSuggestion.send(r, nullptr)); });
  pair("thermalMitigation:",
       [](id r) { benchmark::DoNotOptimize(host::kThermalMitigation.send(r, nullptr)); });
  pair("thermalPressure:",
       [](id r) { benchmark::DoNotOptimize(host::kThermalPressure.send(r, nullptr)); });
  pair("setPowerSaveActive:", [](id r) { host::kSetPowerSaveActive.send(r, NO); });
  pair("setCPMSMitigationsEnabled:", [](id r) { host::kSetCPMSMitigationsEnabled.send(r, YES); });
  pair("setDVD1Level:", [](id r) { host::kSetDVD1Level.send(r, 1); });
  pair("setCPULevel:", [](id r) { host::kSetCPULevel.send(r, 1); });
  pair("setCPULowPowerTarget:", [](id r) { host::kSetCPULowPowerTarget.send(r, 1000); });
  pair("setCPUPowerCeiling:fromDecisionSource:",
       [](id r) { host::kSetCPUPowerCeilingFromDecisionSource.send(r, 1000, 1); });
  pair("setCPUPowerCeiling:forDVD1Contributor:",
       [](id r) { host::kSetCPUPowerCeilingForDVD1Contributor.send(r, 1000, 1); });
  pair("setCPUPowerFloor:fromDecisionSource:",
       [](id r) { host::kSetCPUPowerFloorFromDecisionSource.send(r, 1000, 1); });
  pair("setCPUPowerZoneTarget:", [](id r) { host::kSetCPUPowerZoneTarget.send(r, 1000); });
  pair("setPackagePowerCeiling:fromDecisionSource:",
       [](id r) { host::kSetPackagePowerCeilingFromDecisionSource.send(r, 1000, 1); });
  pair("setPackagePowerFloor:fromDecisionSource:",
       [](id r) { host::kSetPackagePowerFloorFromDecisionSource.send(r, 1000, 1); });
  pair("setMaxPackagePower:", [](id r) { host::kSetMaxPackagePower.send(r, 1000); });
  pair("setPackageLowPowerTarget", [](id r) { host::kSetPackageLowPowerTarget.send(r); });
  pair("setPackagePowerZoneTarget", [](id r) { host::kSetPackagePowerZoneTarget.send(r); });
  return 24;
}();

// The replaced setCPULevel: with the snapshot on a precise monotonic clock
// (std::chrono::steady_clock, as before the coarse clock), for comparison in the same run.
std::int64_t preciseClock() noexcept {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
void BM_SetCPULevel_ReplacedPreciseClock(benchmark::State& state) {
  repl::preferenceSnapshot().setClock(&preciseClock);
  measure(state, true, [](id r) { host::kSetCPULevel.send(r, 1); });
  repl::preferenceSnapshot().setClock(&repl::PreferenceSnapshot::steadyClock);
}
BENCHMARK(BM_SetCPULevel_ReplacedPreciseClock);

// A snapshot of a real file (fullPower) on the monotonic clock, asked by two threads a
// million times each. Reported: the file reads, and the most the 0.05-second window allows
// for the run's duration (one per started window).
repl::PreferenceSnapshot& benchSnapshot() {
  static repl::PreferenceSnapshot* snapshot = [] {
    objc::attachCurrentThread();
    objc::AutoreleasePool pool;
    static char folder[] = "/tmp/hv-replacements-bench-XXXXXX";
    if (!mkdtemp(folder)) std::abort();
    std::atexit([] { std::filesystem::remove_all(folder); });
    std::string path = std::string(folder) + "/prefs.plist";
    objc::Ref preferences = objc::makeMutableDictionary();
    objc::dictionarySet(preferences.get(), "thermalPowerMode", objc::string("fullPower"));
    objc::writePropertyListXmlAtomically(preferences.get(), path);
    return new repl::PreferenceSnapshot(path);
  }();
  return *snapshot;
}

std::int64_t gStart = 0;

void BM_SnapshotTwoThreads(benchmark::State& state) {
  repl::PreferenceSnapshot& snapshot = benchSnapshot();
  if (state.thread_index() == 0) {
    snapshot.resetForTesting();
    gStart = repl::PreferenceSnapshot::steadyClock();
  }
  objc::attachCurrentThread();
  std::int64_t fullPower = 0;
  for (auto _ : state) fullPower += snapshot.refresh().fullPowerMode;
  if (state.thread_index() == 0) {
    const double seconds = (repl::PreferenceSnapshot::steadyClock() - gStart) / 1e9;
    state.counters["file_reads"] = static_cast<double>(snapshot.fileReads());
    state.counters["window_bound"] =
        static_cast<double>(static_cast<std::int64_t>(seconds / 0.05) + 1);
  }
  if (fullPower != state.iterations())
    state.SkipWithError("a caller answered from an unread snapshot");
}
BENCHMARK(BM_SnapshotTwoThreads)->Threads(2)->Iterations(1'000'000)->UseRealTime();

}  // namespace
