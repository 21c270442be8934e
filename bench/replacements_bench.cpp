// The method replacement layer on its hot paths: a replaced setCPULevel: and
// thermalPressureLevel next to the bare host implementation, and how often the preferences
// file is read when two threads ask the snapshot a million times each.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "common/objc/class_builder.hpp"
#include "common/objc/foundation.hpp"
#include "common/objc/thread.hpp"
#include "extension/replacements/preference_snapshot.hpp"
#include "extension/replacements/replacements.hpp"
#include "extension/hooking/host.hpp"

namespace {

namespace host = halvernic::host;
namespace repl = halvernic::replacements;

std::atomic<int> gLevel{0};
void setCPULevel(id, SEL, int level) { gLevel.store(level, std::memory_order_relaxed); }
std::int64_t thermalPressureLevel(id, SEL) { return 2; }

Class hostClass(const char* name) {
  return objc::ClassBuilder(name, "NSObject")
      .method(host::kSetCPULevel.name(), &setCPULevel)
      .method(host::kThermalPressureLevel.name(), &thermalPressureLevel)
      .build();
}

id instance(Class c) { return objc::send<id>(objc::send<id>(c, objc::sel("alloc")), objc::sel("init")); }

// Two classes with the same host implementations; the replacements go into one of them.
struct Hosts {
  id bare;
  id replaced;
  Hosts() {
    objc::attach_current_thread();
    bare = instance(hostClass("BenchBareHost"));
    Class replacedClass = hostClass("BenchReplacedHost");
    repl::installMethodReplacements({replacedClass, nullptr, replacedClass});
    replaced = instance(replacedClass);
  }
};
Hosts& hosts() {
  static Hosts h;
  return h;
}

void BM_SetCPULevel_Bare(benchmark::State& state) {
  id receiver = hosts().bare;
  for (auto _ : state) host::kSetCPULevel.send(receiver, 1);
}
BENCHMARK(BM_SetCPULevel_Bare);

void BM_SetCPULevel_Replaced(benchmark::State& state) {
  id receiver = hosts().replaced;
  repl::preferenceSnapshot().refresh();
  for (auto _ : state) host::kSetCPULevel.send(receiver, 1);
}
BENCHMARK(BM_SetCPULevel_Replaced);

void BM_ThermalPressureLevel_Bare(benchmark::State& state) {
  id receiver = hosts().bare;
  for (auto _ : state) benchmark::DoNotOptimize(host::kThermalPressureLevel.send(receiver));
}
BENCHMARK(BM_ThermalPressureLevel_Bare);

void BM_ThermalPressureLevel_Replaced(benchmark::State& state) {
  id receiver = hosts().replaced;
  repl::preferenceSnapshot().refresh();
  for (auto _ : state) benchmark::DoNotOptimize(host::kThermalPressureLevel.send(receiver));
}
BENCHMARK(BM_ThermalPressureLevel_Replaced);

// A snapshot of a real file (fullPower) on the monotonic clock, asked by two threads a
// million times each. Reported: the file reads, and the most the 0.05-second window allows
// for the run's duration (one per started window).
repl::PreferenceSnapshot& benchSnapshot() {
  static repl::PreferenceSnapshot* snapshot = [] {
    objc::attach_current_thread();
    objc::AutoreleasePool pool;
    static char folder[] = "/tmp/hv-replacements-bench-XXXXXX";
    if (!mkdtemp(folder)) std::abort();
    std::atexit([] { std::filesystem::remove_all(folder); });
    std::string path = std::string(folder) + "/prefs.plist";
    objc::Ref preferences = objc::make_mutable_dictionary();
    objc::dictionary_set(preferences.get(), "thermalPowerMode", objc::string("fullPower"));
    objc::write_property_list_xml_atomically(preferences.get(), path);
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
  objc::attach_current_thread();
  std::int64_t fullPower = 0;
  for (auto _ : state) fullPower += snapshot.refresh().fullPowerMode;
  if (state.thread_index() == 0) {
    const double seconds = (repl::PreferenceSnapshot::steadyClock() - gStart) / 1e9;
    state.counters["file_reads"] = static_cast<double>(snapshot.fileReads());
    state.counters["window_bound"] = static_cast<double>(static_cast<std::int64_t>(seconds / 0.05) + 1);
  }
  if (fullPower != state.iterations()) state.SkipWithError("a caller answered from an unread snapshot");
}
BENCHMARK(BM_SnapshotTwoThreads)->Threads(2)->Iterations(1'000'000)->UseRealTime();

}  // namespace
