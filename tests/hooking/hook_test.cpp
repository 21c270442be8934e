// The hook layer on the simulated daemon's classes: replacements reached from several
// threads, the host implementation called with changed arguments, a class method of
// NSDictionary, an inherited method, and skipped targets reported while the rest installs.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "common/objc/class_builder.hpp"
#include "common/objc/foundation.hpp"
#include "common/objc/thread.hpp"
#include "extension/hooking/hook.hpp"
#include "extension/hooking/host.hpp"
#include "sim/sim.hpp"
#include "tests/support/log_capture.hpp"

namespace {

namespace hook = halvernic::hook;
namespace host = halvernic::host;
namespace sim = halvernic::sim;

constinit objc::Selector kAlloc{"alloc"};
constinit objc::Selector kInit{"init"};

objc::Ref make_controller(Class cls = host::kMitigationController.get()) {
  id allocated = objc::send<id>(cls, kAlloc);
  return objc::Ref::adopt(host::kInitForFastLoop.send(allocated, objc::toBool(false),
                                                      objc::toBool(false), nullptr, nullptr));
}

bool contains(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

// A tweak that keeps what the layer tells it.
struct RecordingTweak : hook::Tweak {
  std::vector<std::string> events;
  void init() override { events.push_back("init"); }
  void tweakDidActivate() override { events.push_back("didActivate"); }
  void handleError(const hook::HookError& error) override { events.push_back(error.description()); }
};

// ---- replacements ------------------------------------------------------------------------

std::atomic<int> g_level_calls{0};

// Doubles every requested CPU level on its way to the host.
void doubled_cpu_level(hook::Orig<void(int)> orig, id self, int level) {
  g_level_calls.fetch_add(1, std::memory_order_relaxed);
  orig(self, level * 2);
}

// Passes the ceiling raised by 1000 and the decision source exactly as received.
void raised_ceiling(hook::Orig<void(int, host::PassedOnArg)> orig, id self, int ceiling,
                    host::PassedOnArg source) {
  orig(self, ceiling + 1000, source);
}

// Answers the host's target plus 5.
int padded_target(hook::Orig<int()> orig, id self) { return orig(self) + 5; }

constexpr hook::Replacement kControllerReplacements[] = {
    hook::instanceMethod<host::kSetCPULevel, &doubled_cpu_level>(),
    hook::instanceMethod<host::kSetCPUPowerCeilingFromDecisionSource, &raised_ceiling>(),
    hook::instanceMethod<host::kGetCPUTargetPower, &padded_target>(),
};
constinit const hook::ClassHook kControllerHook{
    "MitigationControllerHook", host::kMitigationController, kControllerReplacements};

// Marks dictionaries loaded from the daemon's configuration folder.
id marked_configuration(hook::Orig<id(id)> orig, id self, id path) {
  id loaded = orig(self, path);
  if (!objc::isDictionary(loaded) ||
      objc::toString(path).find(host::kThermalConfigurationFolder) == std::string::npos) {
    return loaded;
  }
  objc::Ref copy = objc::mutableCopy(loaded);
  objc::dictionarySet(copy.get(), "hookedBy",
                      objc::string(objc::className(reinterpret_cast<Class>(self))));
  return objc::autorelease(copy.leak());
}

constexpr hook::Replacement kDictionaryReplacements[] = {
    hook::classMethod<host::kDictionaryWithContentsOfFile, &marked_configuration>(),
};
constinit const hook::ClassHook kDictionaryHook{"NSDictionaryHook", host::kNSDictionary,
                                                kDictionaryReplacements};

class HookTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(sim::register_classes());
    const hook::ClassHook* hooks[] = {&kControllerHook, &kDictionaryHook};
    tweak_ = &hook::activate<RecordingTweak>(hooks);
  }
  void SetUp() override { sim::clear_calls(); }
  static RecordingTweak* tweak_;
};
RecordingTweak* HookTest::tweak_ = nullptr;

TEST_F(HookTest, ActivationRunsInitInstallsEverythingThenDidActivate) {
  EXPECT_EQ(tweak_->events, (std::vector<std::string>{"init", "didActivate"}));
  const auto replaced = sim::replaced_methods();
  EXPECT_TRUE(contains(replaced, "-[MitigationController setCPULevel:]"));
  EXPECT_TRUE(contains(replaced, "-[MitigationController setCPUPowerCeiling:fromDecisionSource:]"));
  EXPECT_TRUE(contains(replaced, "-[MitigationController getCPUTargetPower]"));
  EXPECT_FALSE(contains(replaced, "-[MitigationController updateCPU]"))
      << "nothing else is touched";
}

TEST_F(HookTest, ReplacementReachesTheHostWithChangedArgumentsFromEveryThread) {
  constexpr int kThreads = 4;
  constexpr int kCalls = 500;
  std::vector<objc::Ref> controllers;
  for (int t = 0; t < kThreads; ++t) controllers.push_back(make_controller());
  sim::clear_calls();
  g_level_calls = 0;

  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      objc::runAttached([&] {
        for (int i = 1; i <= kCalls; ++i)
          host::kSetCPULevel.send(controllers[t].get(), t * 1000 + i);
      });
    });
  }
  for (auto& thread : threads) thread.join();

  EXPECT_EQ(g_level_calls.load(), kThreads * kCalls);
  EXPECT_EQ(sim::call_count("setCPULevel:"), static_cast<std::size_t>(kThreads * kCalls));
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(sim::controller_state(controllers[t].get()).cpu_level, 2 * (t * 1000 + kCalls));
  }
  // Every value reached the host doubled, none unchanged.
  for (const sim::Call& call : sim::calls()) {
    ASSERT_EQ(call.args.size(), 1u);
    EXPECT_EQ(call.args[0].integer % 2, 0) << call.text();
  }
}

TEST_F(HookTest, TwoArgumentSetterAndGetterCallTheSavedImplementation) {
  objc::Ref controller = make_controller();
  sim::clear_calls();
  host::kSetCPUPowerCeilingFromDecisionSource.send(controller.get(), 30000, 7);
  host::kUpdateCPU.send(controller.get());
  EXPECT_EQ(host::kGetCPUTargetPower.send(controller.get()), 31000 + 5);
  EXPECT_EQ(sim::call_texts({"setCPUPowerCeiling:fromDecisionSource:", "getCPUTargetPower"}),
            (std::vector<std::string>{"setCPUPowerCeiling:fromDecisionSource: 31000 7",
                                      "getCPUTargetPower"}));
  // The saved implementation can also be called from outside its replacement.
  auto host_getter = hook::orig<host::kGetCPUTargetPower, &padded_target>();
  ASSERT_TRUE(host_getter.available());
  EXPECT_EQ(host_getter(controller.get()), 31000);
}

TEST_F(HookTest, ClassMethodHookOnNSDictionarySeesEveryLoad) {
  objc::AutoreleasePool pool;
  const std::string config = sim::default_configuration_folder() + "/Product.plist";
  id hooked =
      host::kDictionaryWithContentsOfFile.send(host::kNSDictionary.get(), objc::string(config));
  ASSERT_TRUE(objc::isDictionary(hooked));
  EXPECT_EQ(objc::toString(objc::dictionaryGet(hooked, "hookedBy")), "NSDictionary");
  EXPECT_EQ(objc::int64Value(objc::dictionaryGet(hooked, "maxPower")), 45000);

  // A file outside the folder passes unchanged; a missing one stays nil.
  char dir[] = "/tmp/hv-hook-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string elsewhere = std::string(dir) + "/Product.plist";
  objc::Ref plist = objc::makeMutableDictionary();
  objc::dictionarySet(plist.get(), "maxPower", objc::number(1));
  ASSERT_TRUE(objc::writePropertyListXmlAtomically(plist.get(), elsewhere));
  id plain =
      host::kDictionaryWithContentsOfFile.send(host::kNSDictionary.get(), objc::string(elsewhere));
  EXPECT_TRUE(objc::objectsEqual(plain, plist.get()));
  EXPECT_EQ(host::kDictionaryWithContentsOfFile.send(
                host::kNSDictionary.get(), objc::string(std::string(dir) + "/none.plist")),
            nullptr);
  std::remove(elsewhere.c_str());
  ::rmdir(dir);

  // The daemon's own start-up loads its configuration through the hook.
  sim::Daemon daemon;
  daemon.start(sim::default_configuration_folder());
  EXPECT_EQ(objc::toString(objc::dictionaryGet(
                sim::configuration_for(daemon.thermal_manager(), "Product"), "hookedBy")),
            "NSDictionary");
}

// ---- an inherited method ------------------------------------------------------------------

void recorded_dvd1(hook::Orig<void(int)> orig, id self, int level) { orig(self, -level); }

constinit objc::ClassName kSubclass{"HVHookTestController"};
constexpr hook::Replacement kSubclassReplacements[] = {
    hook::instanceMethod<host::kSetDVD1Level, &recorded_dvd1>(),
};
constinit const hook::ClassHook kSubclassHook{"HVHookTestControllerHook", kSubclass,
                                              kSubclassReplacements};

TEST_F(HookTest, InheritedMethodIsAddedToTheTargetAndCallsTheInheritedOne) {
  Class subclass = objc::ClassBuilder("HVHookTestController", "MitigationController").build();
  ASSERT_NE(subclass, nullptr);
  RecordingTweak tweak;
  const hook::ClassHook* hooks[] = {&kSubclassHook};
  EXPECT_EQ(hook::install(tweak, hooks), 1u);
  EXPECT_TRUE(tweak.events.empty());

  objc::Ref derived = make_controller(subclass);
  objc::Ref base = make_controller();
  host::kSetDVD1Level.send(derived.get(), 3);
  host::kSetDVD1Level.send(base.get(), 3);
  EXPECT_EQ(sim::controller_state(derived.get()).dvd1_level, -3);
  EXPECT_EQ(sim::controller_state(base.get()).dvd1_level, 3)
      << "the superclass keeps its own method";
  EXPECT_FALSE(contains(sim::replaced_methods(), "-[MitigationController setDVD1Level:]"));

  // Installing again changes nothing: orig still is the inherited implementation.
  EXPECT_EQ(hook::install(tweak, hooks), 1u);
  host::kSetDVD1Level.send(derived.get(), 4);
  EXPECT_EQ(sim::controller_state(derived.get()).dvd1_level, -4);
}

// ---- missing targets --------------------------------------------------------------------------

constinit objc::ClassName kMissingClass{"HVNoSuchDaemonClass"};
constinit host::Message<void(int)> kMissingSelector{"setNoSuchLevel:"};

void ignored(hook::Orig<void(int)> orig, id self, int value) { orig(self, value); }
void low_power_target(hook::Orig<void(int)> orig, id self, int target) { orig(self, target / 2); }
std::uint32_t max_power(hook::Orig<std::uint32_t(int)> orig, id self, int component) {
  return 50000;
}

constexpr hook::Replacement kMissingClassReplacements[] = {
    hook::instanceMethod<host::kSetCPULevel, &ignored>(),
};
constinit const hook::ClassHook kMissingClassHook{"MissingHook", kMissingClass,
                                                  kMissingClassReplacements};

constexpr hook::Replacement kPartlyMissingReplacements[] = {
    hook::instanceMethod<kMissingSelector, &ignored>(),
    hook::instanceMethod<host::kSetCPULowPowerTarget, &low_power_target>(),
    hook::classMethod<host::kSetCPUPowerZoneTarget, &ignored>(),  // an instance method only
};
constinit const hook::ClassHook kPartlyMissingHook{"PartlyMissingHook", host::kMitigationController,
                                                   kPartlyMissingReplacements};

constexpr hook::Replacement kHelperReplacements[] = {
    hook::instanceMethod<host::kGetMaxPowerForComponent, &max_power>(),
};
constinit const hook::ClassHook kHelperHook{"CPMSHelperHook", host::kCPMSHelper,
                                            kHelperReplacements};

TEST_F(HookTest, MissingClassAndMissingMethodsGoToHandleErrorWhileTheRestInstalls) {
  RecordingTweak tweak;
  const hook::ClassHook* hooks[] = {&kMissingClassHook, &kPartlyMissingHook, &kHelperHook};
  EXPECT_EQ(hook::install(tweak, hooks), 2u);
  EXPECT_EQ(tweak.events,
            (std::vector<std::string>{
                "MissingHook: no class HVNoSuchDaemonClass",
                "PartlyMissingHook: no method -[MitigationController setNoSuchLevel:]",
                "PartlyMissingHook: no method +[MitigationController setCPUPowerZoneTarget:]",
            }));

  objc::Ref controller = make_controller();
  host::kSetCPULowPowerTarget.send(controller.get(), 18000);
  EXPECT_EQ(sim::controller_state(controller.get()).cpu_low_power_target, 9000);
  host::kSetCPUPowerZoneTarget.send(controller.get(), 12345);
  EXPECT_EQ(sim::controller_state(controller.get()).cpu_power_zone_target, 12345);
  objc::Ref helper =
      objc::Ref::adopt(objc::send<id>(objc::send<id>(host::kCPMSHelper.get(), kAlloc), kInit));
  EXPECT_EQ(host::kGetMaxPowerForComponent.send(helper.get(), 0), 50000u);
  EXPECT_EQ(sim::call_count("getMaxPowerForComponent:"), 0u)
      << "the replacement did not call the host";
}

struct SilentTweak : hook::Tweak {};

TEST_F(HookTest, DefaultHandleErrorLogsNothing) {
  hv_test::LogCapture log;
  const hook::ClassHook* hooks[] = {&kMissingClassHook};
  hook::activate<SilentTweak>(hooks);
  EXPECT_TRUE(log.lines().empty());
}

}  // namespace

// ---- types ---------------------------------------------------------------------------------
// Replacements declared with other types than the daemon's, as an extension built against
// wrong declarations (or a system that changed a method's types) would have them.

namespace {
constinit host::Message<std::int64_t()> kWideCPULevel{"CPULevel"};
constinit host::Message<void(std::int64_t)> kWideSGXLevel{"setSGXLevel:"};
constinit host::Message<void(int, void*)> kAnyPointerTemperatureEvent{
    "handleTemperatureEvent:service:"};

std::int64_t wide_cpu_level(hook::Orig<std::int64_t()> orig, id self) { return 7; }
void wide_sgx_level(hook::Orig<void(std::int64_t)> orig, id self, std::int64_t level) {
  orig(self, 0);
}
void doubled_event(hook::Orig<void(int, void*)> orig, id self, int event, void* service) {
  orig(self, event * 2, service);
}
}  // namespace

constexpr hook::Replacement kMistypedReplacements[] = {
    hook::instanceMethod<kWideCPULevel, &wide_cpu_level>(),
    hook::instanceMethod<kWideSGXLevel, &wide_sgx_level>(),
};
constinit const hook::ClassHook kMistypedHook{"MistypedHook", host::kMitigationController,
                                              kMistypedReplacements};
constexpr hook::Replacement kSensorReplacements[] = {
    hook::instanceMethod<kAnyPointerTemperatureEvent, &doubled_event>(),
};
constinit const hook::ClassHook kSensorHook{"HidSensorsHook", host::kHidSensors,
                                            kSensorReplacements};

TEST_F(HookTest, MethodsWhoseTypesDifferAreSkippedAndReportedAStructPointerIsAPointer) {
  RecordingTweak tweak;
  const hook::ClassHook* hooks[] = {&kMistypedHook, &kSensorHook};
  EXPECT_EQ(hook::install(tweak, hooks), 1u);
  EXPECT_EQ(tweak.events,
            (std::vector<std::string>{
                "MistypedHook: other types for -[MitigationController CPULevel]: host i16@0:8, "
                "expected " +
                    std::string(objc::methodTypes<std::int64_t>()),
                "MistypedHook: other types for -[MitigationController setSGXLevel:]: host "
                "v20@0:8i16, expected " +
                    std::string(objc::methodTypes<void, std::int64_t>()),
            }));

  // The daemon's own implementations answer as before.
  objc::Ref controller = make_controller();
  host::kSetCPULevel.send(controller.get(), 3);  // doubled by the hook installed above
  EXPECT_EQ(host::kCPULevel.send(controller.get()), 6);
  host::kSetSGXLevel.send(controller.get(), 4);
  EXPECT_EQ(sim::controller_state(controller.get()).sgx_level, 4);

  // The daemon declares its service as ^{__IOHIDServiceClient=}: any pointer matches it.
  objc::Ref sensors =
      objc::Ref::adopt(objc::send<id>(objc::send<id>(host::kHidSensors.get(), kAlloc), kInit));
  objc::AutoreleasePool pool;
  host::kHandleTemperatureEventService.send(
      sensors.get(), 20000, host::bridged<host::IOHIDServiceClientRef>(objc::string("SOC")));
  EXPECT_EQ(sim::last_temperature_event(sensors.get(), "SOC"), 40000);
}
