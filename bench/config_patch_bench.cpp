// Patching a thermal configuration of realistic size (about 100 KB as an XML property list:
// dozens of backlight components with brightness and backlight-power tables, CPU, GPU and
// sensor sections of nested dictionaries and arrays), next to a plain deep mutable copy of
// the same tree, which is the least any patch that returns a new tree has to do.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "common/objc/foundation.hpp"
#include "common/objc/thread.hpp"
#include "extension/config/dict_helper.hpp"

namespace {

using NSUInteger = unsigned long;

class BenchEngine final : public HDictHepler::Engine {
public:
  bool preventDimmingEnabled() override { return true; }
  void observeComponentPower(std::int64_t value) override {
    std::int64_t current = max_.load(std::memory_order_relaxed);
    while (current < value && !max_.compare_exchange_weak(current, value)) {
    }
  }

private:
  std::atomic<std::int64_t> max_{0};
};

// ---- a generated configuration ------------------------------------------------------------

struct Builder {
  std::uint32_t seed = 12345;
  std::int64_t next(std::int64_t bound) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<std::int64_t>((seed >> 8) % static_cast<std::uint32_t>(bound));
  }

  static objc::Ref dict() { return objc::makeMutableDictionary(); }
  static objc::Ref array() { return objc::makeMutableArray(); }
  static void set(const objc::Ref& d, const std::string& key, id value) {
    objc::dictionarySet(d.get(), key, value);
  }

  objc::Ref numbers(std::size_t n, std::int64_t base, std::int64_t spread) {
    objc::Ref a = array();
    for (std::size_t i = 0; i < n; ++i) objc::arrayAdd(a.get(), objc::number(base + next(spread)));
    return a;
  }
  // Brightness tables are stored as strings in some products.
  objc::Ref strings(std::size_t n, std::int64_t base, std::int64_t spread) {
    objc::Ref a = array();
    for (std::size_t i = 0; i < n; ++i) {
      objc::Ref s = objc::makeString(std::to_string(base + next(spread)));
      objc::arrayAdd(a.get(), s.get());
    }
    return a;
  }
  objc::Ref pid(const std::string& name) {
    objc::Ref d = dict();
    set(d, "name", objc::string(name));
    set(d, "kP", objc::numberDouble(0.01 * static_cast<double>(next(100))));
    set(d, "kI", objc::numberDouble(0.001 * static_cast<double>(next(100))));
    set(d, "target", objc::number(3000 + next(2000)));
    set(d, "enabled", objc::boolean(next(2) != 0));
    return d;
  }

  objc::Ref backlight_component(int index) {
    objc::Ref c = dict();
    set(c, "name", objc::string("Backlight" + std::to_string(index)));
    set(c, "maxThermalPower", objc::number(400000 + next(800000)));
    set(c, "minThermalPower", objc::number(100000 + next(200000)));
    set(c, "expectsCPMSSupport", objc::boolean(true));
    set(c, "BacklightPower", numbers(16, 100, 900).get());
    set(c, "MaxBrightnessTable", strings(16, 10, 500).get());
    set(c, "brightnessNitsSteps", numbers(12, 2, 600).get());
    objc::Ref ramps = array();
    for (int r = 0; r < 3; ++r) objc::arrayAdd(ramps.get(), numbers(8, 0, 100).get());
    set(c, "brightnessRamps", ramps.get());
    objc::Ref control = dict();
    set(control, "pid", pid("backlight").get());
    set(control, "sensors", strings(4, 0, 40).get());
    set(control, "ReleaseRate", objc::number(next(50)));
    set(c, "control", control.get());
    return c;
  }

  objc::Ref cpu_section() {
    objc::Ref s = dict();
    objc::Ref clusters = array();
    for (int i = 0; i < 4; ++i) {
      objc::Ref cluster = dict();
      set(cluster, "name", objc::string("Cluster" + std::to_string(i)));
      set(cluster, "frequencies", numbers(24, 600000, 2400000).get());
      set(cluster, "powerTargets", numbers(24, 500, 5000).get());
      set(cluster, "pid", pid("cpu").get());
      objc::arrayAdd(clusters.get(), cluster.get());
    }
    set(s, "clusters", clusters.get());
    set(s, "maxThermalPower", objc::number(8000));
    return s;
  }

  objc::Ref sensors() {
    objc::Ref list = array();
    for (int i = 0; i < 24; ++i) {
      objc::Ref sensor = dict();
      set(sensor, "name", objc::string("TS" + std::to_string(i)));
      set(sensor, "coefficients", numbers(6, -50, 100).get());
      set(sensor, "threshold", objc::number(3000 + next(1500)));
      objc::Ref filter = dict();
      set(filter, "taps", numbers(4, 0, 10).get());
      set(filter, "mode", objc::string("ema"));
      set(sensor, "filter", filter.get());
      objc::arrayAdd(list.get(), sensor.get());
    }
    return list;
  }

  objc::Ref configuration() {
    objc::Ref root = dict();
    set(root, "version", objc::number(7));
    set(root, "product", objc::string("D74AP"));
    // Components keyed by name, some named for their backlight, some found only by their
    // own keys, and a list of backlight components.
    objc::Ref components = dict();
    for (int i = 0; i < 20; ++i) {
      const std::string key = (i % 2 ? "DisplayBacklight" : "Panel") + std::to_string(i);
      set(components, key, backlight_component(i).get());
    }
    set(components, "CPU", cpu_section().get());
    set(root, "Components", components.get());
    objc::Ref backlights = array();
    for (int i = 20; i < 32; ++i) objc::arrayAdd(backlights.get(), backlight_component(i).get());
    set(root, "backlightComponents", backlights.get());
    set(root, "sensors", sensors().get());
    objc::Ref gpu = dict();
    set(gpu, "powerTargets", numbers(32, 1000, 4000).get());
    set(gpu, "pid", pid("gpu").get());
    set(root, "GPU", gpu.get());
    return root;
  }
};

const objc::Ref& configuration() {
  static const objc::Ref instance = [] {
    objc::attachCurrentThread();
    objc::AutoreleasePool pool;
    return Builder{}.configuration();
  }();
  return instance;
}

std::size_t xml_size(id plist) {
  objc::AutoreleasePool pool;
  id error = nullptr;
  id data = objc::send<id>(objc::asId(objc::cls("NSPropertyListSerialization")),
                           objc::sel("dataWithPropertyList:format:options:error:"), plist,
                           static_cast<NSUInteger>(100), NSUInteger{0}, &error);
  return data ? objc::send<NSUInteger>(data, objc::sel("length")) : 0;
}

// ---- the baseline: a plain deep mutable copy --------------------------------------------

constinit objc::Selector kGetObjectsAndKeys{"getObjects:andKeys:"};
constinit objc::Selector kSetObjectForKey{"setObject:forKey:"};
constinit objc::Selector kAddObject{"addObject:"};
constinit objc::Selector kObjectAtIndex{"objectAtIndex:"};
constinit objc::Selector kInitWithCapacity{"initWithCapacity:"};
constinit objc::Selector kAlloc{"alloc"};
constinit objc::ClassName kNSMutableDictionary{"NSMutableDictionary"};
constinit objc::ClassName kNSMutableArray{"NSMutableArray"};

objc::Ref deep_mutable_copy(id value) {
  if (objc::isDictionary(value)) {
    const std::size_t n = objc::count(value);
    std::vector<id> keys(n), values(n);
    objc::send(value, kGetObjectsAndKeys, values.data(), keys.data());
    objc::Ref copy = objc::Ref::adopt(objc::send<id>(
        objc::send<id>(kNSMutableDictionary.get(), kAlloc), kInitWithCapacity, NSUInteger{n}));
    for (std::size_t i = 0; i < n; ++i) {
      objc::Ref child = deep_mutable_copy(values[i]);
      objc::send(copy.get(), kSetObjectForKey, child.get(), keys[i]);
    }
    return copy;
  }
  if (objc::isArray(value)) {
    const std::size_t n = objc::count(value);
    objc::Ref copy = objc::Ref::adopt(objc::send<id>(objc::send<id>(kNSMutableArray.get(), kAlloc),
                                                     kInitWithCapacity, NSUInteger{n}));
    for (std::size_t i = 0; i < n; ++i) {
      objc::Ref child = deep_mutable_copy(objc::send<id>(value, kObjectAtIndex, NSUInteger{i}));
      objc::send(copy.get(), kAddObject, child.get());
    }
    return copy;
  }
  return objc::Ref::retain(value);
}

std::size_t containers(id value) {
  std::size_t n = 0;
  if (objc::isDictionary(value)) {
    n = 1;
    objc::forEachEntry(value, [&](id, id child) {
      n += containers(child);
      return true;
    });
  } else if (objc::isArray(value)) {
    n = 1;
    for (std::size_t i = 0; i < objc::count(value); ++i) n += containers(objc::arrayGet(value, i));
  }
  return n;
}

void describe(benchmark::State& state) {
  static const std::size_t bytes = xml_size(configuration().get());
  static const std::size_t nodes = [] {
    objc::AutoreleasePool pool;
    return containers(configuration().get());
  }();
  state.counters["xml_bytes"] = static_cast<double>(bytes);
  state.counters["containers"] = static_cast<double>(nodes);
}

void BM_PatchThermalConfiguration(benchmark::State& state) {
  id root = configuration().get();
  BenchEngine engine;
  HDictHepler patcher(engine);
  for (auto _ : state) {
    objc::Ref patched = patcher.patchThermalConfiguration(root);
    benchmark::DoNotOptimize(patched.get());
  }
  describe(state);
}
BENCHMARK(BM_PatchThermalConfiguration)->Unit(benchmark::kMicrosecond);

void BM_DeepMutableCopy(benchmark::State& state) {
  id root = configuration().get();
  for (auto _ : state) {
    objc::AutoreleasePool pool;
    objc::Ref copy = deep_mutable_copy(root);
    benchmark::DoNotOptimize(copy.get());
  }
  describe(state);
}
BENCHMARK(BM_DeepMutableCopy)->Unit(benchmark::kMicrosecond);

}  // namespace
