// The method replacement layer against a probe host, with the preferences file at its
// literal path seen through this process's private view of /var/mobile and the snapshot's
// age measured on a clock the tests move.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

#include "common/objc/class_builder.hpp"
#include "common/objc/exception.hpp"
#include "common/objc/foundation.hpp"
#include "common/objc/swizzle.hpp"
#include "common/objc/thread.hpp"
#include "common/objc/weak.hpp"
#include "extension/contract/contract.hpp"
#include "extension/hooking/host.hpp"
#include "extension/replacements/preference_snapshot.hpp"
#include "extension/replacements/replacements.hpp"
#include "tests/replacements/private_view.hpp"
#include "tests/replacements/probe_host.hpp"
#include "tests/support/log_capture.hpp"

namespace {

namespace host = halvernic::host;
namespace repl = halvernic::replacements;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::atomic<std::int64_t> gNow{1'000'000'000'000};
std::int64_t testClock() noexcept { return gNow.load(); }
void advanceMilliseconds(std::int64_t ms) { gNow += ms * 1'000'000; }

void writePreferences(std::initializer_list<std::pair<const char*, id>> entries) {
  objc::AutoreleasePool pool;
  objc::Ref dictionary = objc::makeMutableDictionary();
  for (const auto& [key, value] : entries) objc::dictionarySet(dictionary.get(), key, value);
  ASSERT_TRUE(objc::writePropertyListXmlAtomically(dictionary.get(),
                                                   hv_test::privateView().preferencesPath));
}

void writeRawPreferences(const std::string& text) {
  std::ofstream(hv_test::privateView().preferencesPath, std::ios::trunc) << text;
}

class Replacements : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(repl::installMethodReplacements(probe::classes()), 24u);
  }

  void SetUp() override {
    ASSERT_TRUE(hv_test::privateView().ready)
        << "no private view of /var/mobile: " << hv_test::privateView().failure;
    std::filesystem::remove(hv_test::privateView().preferencesPath);
    repl::preferenceSnapshot().resetForTesting();
    repl::preferenceSnapshot().setClock(&testClock);
    probe::answers() = probe::Answers{};
    probe::answers().object = objc::Ref::retain(objc::string("host"));
    probe::answers().pressure = objc::Ref::retain(objc::number(4));
    probe::clearCalls();
  }

  objc::AutoreleasePool pool_;
};

// Sends every replaced message once with ordinary arguments; answers the results of the
// queries as text.
std::vector<std::string> sendAll() {
  auto text = [](id o) {
    return o ? (objc::isNumber(o) ? std::to_string(objc::int64Value(o)) : objc::toString(o))
             : std::string("nil");
  };
  id p = probe::product(), m = probe::manager(), c = probe::controller();
  std::vector<std::string> results;
  results.push_back(std::to_string(host::kThermalPressureLevel.send(p)));
  host::kSetThermalState.send(p, 3);
  results.push_back(std::to_string(host::kGetPotentialForcedThermalPressureLevel.send(p)));
  results.push_back(std::to_string(host::kGetPotentialForcedThermalLevel.send(p, 3)));
  host::kThermalUpdatesToWatchdogEnabled.send(p, objc::boolean(true));
  results.push_back(text(host::kGetThermalSuggestion.send(m, objc::string("a"))));
  results.push_back(text(host::kThermalSuggestion.send(m, objc::string("b"))));
  results.push_back(text(host::kThermalMitigation.send(m, objc::string("c"))));
  results.push_back(text(host::kThermalPressure.send(m, objc::string("d"))));
  host::kSetPowerSaveActive.send(c, NO);
  host::kSetCPMSMitigationsEnabled.send(c, YES);
  host::kSetDVD1Level.send(c, 3);
  host::kSetCPULevel.send(c, 1);
  host::kSetCPULowPowerTarget.send(c, 1100);
  host::kSetCPUPowerCeilingFromDecisionSource.send(c, 1200, 7);
  host::kSetCPUPowerCeilingForDVD1Contributor.send(c, 1300, 8);
  host::kSetCPUPowerFloorFromDecisionSource.send(c, 1000, 7);
  host::kSetCPUPowerZoneTarget.send(c, 1400);
  host::kSetPackagePowerCeilingFromDecisionSource.send(c, 1500, 9);
  host::kSetPackagePowerFloorFromDecisionSource.send(c, 1600, 9);
  host::kSetMaxPackagePower.send(c, 1700);
  host::kSetPackageLowPowerTarget.send(c);
  host::kSetPackagePowerZoneTarget.send(c);
  return results;
}

TEST_F(Replacements, WithoutPreferencesEveryMessageReachesTheHostUnchanged) {
  probe::answers().pressureLevel = 3;
  EXPECT_THAT(sendAll(), ElementsAre("3", "1", "7", "host", "host", "host", "4"));
  EXPECT_THAT(
      probe::calls(),
      ElementsAre("thermalPressureLevel", "setThermalState: 3",
                  "getPotentialForcedThermalPressureLevel", "getPotentialForcedThermalLevel: 3",
                  "thermalUpdatesToWatchdogEnabled: true", "getThermalSuggestion: a",
                  "thermalSuggestion: b", "thermalMitigation: c", "thermalPressure: d",
                  "setPowerSaveActive: 0", "setCPMSMitigationsEnabled: 1", "setDVD1Level: 3",
                  "setCPULevel: 1", "setCPULowPowerTarget: 1100",
                  "setCPUPowerCeiling:fromDecisionSource: 1200 7",
                  "setCPUPowerCeiling:forDVD1Contributor: 1300 8",
                  "setCPUPowerFloor:fromDecisionSource: 1000 7", "setCPUPowerZoneTarget: 1400",
                  "setPackagePowerCeiling:fromDecisionSource: 1500 9",
                  "setPackagePowerFloor:fromDecisionSource: 1600 9", "setMaxPackagePower: 1700",
                  "setPackageLowPowerTarget", "setPackagePowerZoneTarget"));
  // A mode the layer does not know, and "off", are the native mode too.
  writePreferences({{"thermalPowerMode", objc::string("FullPower")}});
  advanceMilliseconds(50);
  probe::clearCalls();
  sendAll();
  EXPECT_EQ(probe::calls().size(), 23u);
  EXPECT_EQ(probe::calls()[12], "setCPULevel: 1");
}

TEST_F(Replacements, PreventDimmingCapsPressureAndHidesSignalsOnly) {
  writePreferences({{"thermalPreventDimmingEnabled", objc::boolean(true)}});
  probe::answers().pressureLevel = 3;
  EXPECT_THAT(sendAll(), ElementsAre("1", "0", "0", "nil", "nil", "nil", "1"));
  EXPECT_THAT(
      probe::calls(),
      ElementsAre("thermalPressureLevel", "setThermalState: 1",
                  "thermalUpdatesToWatchdogEnabled: true", "thermalPressure: d",
                  "setPowerSaveActive: 0", "setCPMSMitigationsEnabled: 1", "setDVD1Level: 3",
                  "setCPULevel: 1", "setCPULowPowerTarget: 1100",
                  "setCPUPowerCeiling:fromDecisionSource: 1200 7",
                  "setCPUPowerCeiling:forDVD1Contributor: 1300 8",
                  "setCPUPowerFloor:fromDecisionSource: 1000 7", "setCPUPowerZoneTarget: 1400",
                  "setPackagePowerCeiling:fromDecisionSource: 1500 9",
                  "setPackagePowerFloor:fromDecisionSource: 1600 9", "setMaxPackagePower: 1700",
                  "setPackageLowPowerTarget", "setPackagePowerZoneTarget"));

  // 0 and negative levels are never changed; a pressure that is no number passes unchanged.
  probe::answers().pressureLevel = 0;
  EXPECT_EQ(host::kThermalPressureLevel.send(probe::product()), 0);
  probe::answers().pressureLevel = -2;
  EXPECT_EQ(host::kThermalPressureLevel.send(probe::product()), -2);
  probe::answers().pressure = objc::Ref::retain(objc::number(-3));
  EXPECT_EQ(objc::int64Value(host::kThermalPressure.send(probe::manager(), nullptr)), -3);
  probe::answers().pressure = objc::Ref::retain(objc::string("7"));
  EXPECT_TRUE(objc::stringEquals(host::kThermalPressure.send(probe::manager(), nullptr), "7"));
  probe::clearCalls();
  host::kSetThermalState.send(probe::product(), 0);
  host::kSetThermalState.send(probe::product(), -1);
  EXPECT_THAT(probe::calls(), ElementsAre("setThermalState: 0", "setThermalState: -1"));
}

TEST_F(Replacements, FullPowerRemovesPressureAndRaisesEveryLimit) {
  writePreferences({{"thermalPowerMode", objc::string("fullPower")}});
  probe::answers().pressureLevel = 3;
  EXPECT_THAT(sendAll(), ElementsAre("0", "0", "0", "nil", "nil", "nil", "0"));
  EXPECT_THAT(
      probe::calls(),
      ElementsAre("thermalUpdatesToWatchdogEnabled: false", "setPowerSaveActive: 0",
                  "setCPMSMitigationsEnabled: 0", "setDVD1Level: 0", "setCPULevel: 0",
                  "setCPULowPowerTarget: 50000", "setCPUPowerCeiling:fromDecisionSource: 50000 7",
                  "setCPUPowerCeiling:forDVD1Contributor: 50000 8",
                  "setCPUPowerFloor:fromDecisionSource: 50000 7", "setCPUPowerZoneTarget: 50000",
                  "setPackagePowerCeiling:fromDecisionSource: 50000 9",
                  "setPackagePowerFloor:fromDecisionSource: 50000 9", "setMaxPackagePower: 50000"));
  probe::clearCalls();
  host::kSetThermalState.send(probe::product(), 0);
  host::kSetPowerSaveActive.send(probe::controller(), YES);
  EXPECT_THAT(probe::calls(), ElementsAre("setThermalState: 0", "setPowerSaveActive: 0"));
}

TEST_F(Replacements, LowPowerHoldsPowerSaveAndLevelTwoOnly) {
  writePreferences({{"thermalPowerMode", objc::string("lowPower")}});
  probe::answers().pressureLevel = 3;
  EXPECT_THAT(sendAll(), ElementsAre("3", "1", "7", "host", "host", "host", "4"));
  const std::vector<std::string> calls = probe::calls();
  EXPECT_EQ(calls.size(), 23u);
  EXPECT_EQ(calls[1], "setThermalState: 3");
  EXPECT_EQ(calls[9], "setPowerSaveActive: 1");
  EXPECT_EQ(calls[12], "setCPULevel: 2");
  EXPECT_EQ(calls[14], "setCPUPowerCeiling:fromDecisionSource: 1200 7");
  // With prevent dimming the pressure is capped as well; the mode's setters stay.
  writePreferences({{"thermalPowerMode", objc::string("lowPower")},
                    {"thermalPreventDimmingEnabled", objc::boolean(true)}});
  advanceMilliseconds(60);
  probe::clearCalls();
  EXPECT_EQ(host::kThermalPressureLevel.send(probe::product()), 1);
  host::kSetCPULevel.send(probe::controller(), 0);
  EXPECT_THAT(probe::calls(), ElementsAre("thermalPressureLevel", "setCPULevel: 2"));
}

// The configuration patch, with host configurations of every shape.
TEST_F(Replacements, ConfigurationPatch) {
  auto configuration = [] { return probe::configurationFor(probe::manager(), "Product"); };
  objc::Ref hostConfig = objc::makeMutableDictionary();
  objc::dictionarySet(hostConfig.get(), "displayMitigation", objc::boolean(true));
  objc::dictionarySet(hostConfig.get(), "maxPower", objc::number(30000));
  objc::dictionarySet(hostConfig.get(), "sensor", objc::string("die"));
  probe::answers().configuration = hostConfig;

  // Native: the host's own dictionary.
  EXPECT_EQ(configuration(), hostConfig.get());

  writePreferences({{"thermalPreventDimmingEnabled", objc::string("2")}});  // boolValue: on
  advanceMilliseconds(50);
  id dimmed = configuration();
  ASSERT_NE(dimmed, hostConfig.get());
  EXPECT_EQ(objc::count(dimmed), 5u);
  for (const char* key :
       {"needsPushingTSFDtoDisplayDriver", "displayBrightnessMitigation", "displayMitigation"}) {
    EXPECT_EQ(objc::dictionaryGet(dimmed, key), objc::boolean(false)) << key;
  }
  EXPECT_EQ(objc::int64Value(objc::dictionaryGet(dimmed, "maxPower")), 30000);
  EXPECT_EQ(configuration(), dimmed) << "the same section and settings: the same copy";
  EXPECT_EQ(objc::count(hostConfig.get()), 3u);  // the host's dictionary is left alone

  writePreferences({{"thermalPreventDimmingEnabled", objc::boolean(true)},
                    {"thermalPowerMode", objc::string("fullPower")}});
  advanceMilliseconds(50);
  objc::Ref first = objc::Ref::retain(dimmed);
  id both = configuration();
  EXPECT_EQ(objc::count(both), 14u);  // 13 keys written, "sensor" kept
  EXPECT_EQ(objc::int64Value(objc::dictionaryGet(both, "maxPower")), 50000);
  EXPECT_EQ(objc::int64Value(objc::dictionaryGet(both, "packagePowerTarget")), 50000);
  EXPECT_EQ(objc::int64Value(objc::dictionaryGet(both, "forcedThermalLevel")), 0);
  EXPECT_EQ(objc::dictionaryGet(both, "CPMSMitigationState"), objc::boolean(false));
  EXPECT_TRUE(objc::stringEquals(objc::dictionaryGet(both, "sensor"), "die"));
  EXPECT_NE(both, dimmed);
  // The earlier result is still whole after another patch.
  EXPECT_EQ(objc::count(first.get()), 5u);

  // fullPower alone writes its ten keys only.
  writePreferences({{"thermalPowerMode", objc::string("fullPower")}});
  advanceMilliseconds(50);
  id full = configuration();
  EXPECT_EQ(objc::count(full), 12u);
  EXPECT_EQ(objc::dictionaryGet(full, "displayMitigation"), objc::boolean(true));

  // Empty, non-dictionary and missing configurations are answered as the host gives them.
  probe::answers().configuration = objc::makeMutableDictionary();
  EXPECT_EQ(configuration(), probe::answers().configuration.get());
  probe::answers().configuration = objc::Ref::retain(objc::string("not a dictionary"));
  EXPECT_EQ(configuration(), probe::answers().configuration.get());
  probe::answers().configuration = objc::Ref();
  EXPECT_EQ(configuration(), nullptr);
  probe::answers().configuration = hostConfig;
  EXPECT_EQ(configuration(), full);
}

// The daemon keeps the section it was answered while it asks for another, and uses it for
// the life of the process; a patched section must live as long as the host's own (a
// use after free here shows under AddressSanitizer). Each copy is made once per section and
// settings, and goes with its section.
TEST_F(Replacements, PatchedSectionsLiveAsLongAsTheHostsAndAreMadeOncePerSection) {
  writePreferences({{"thermalPowerMode", objc::string("fullPower")}});
  objc::Ref productSection = objc::makeMutableDictionary();
  objc::dictionarySet(productSection.get(), "maxPower", objc::number(30000));
  objc::Ref componentSection = objc::makeMutableDictionary();
  objc::dictionarySet(componentSection.get(), "sensor", objc::string("die"));

  id first = nullptr;
  {
    objc::AutoreleasePool pool;
    probe::answers().configuration = productSection;
    first = probe::configurationFor(probe::manager(), "Product");
  }
  {
    objc::AutoreleasePool pool;
    probe::answers().configuration = componentSection;
    id second = probe::configurationFor(probe::manager(), "Components");
    EXPECT_NE(second, first);
    EXPECT_EQ(objc::count(second), 11u);
  }
  // Both pools drained, another section patched: the first is still the daemon's to use.
  EXPECT_EQ(objc::count(first), 10u);  // maxPower is one of the ten keys written
  EXPECT_EQ(objc::int64Value(objc::dictionaryGet(first, "maxPower")), 50000);

  objc::WeakRef watch(first);
  for (int i = 0; i < 100; ++i) {
    objc::AutoreleasePool pool;
    probe::answers().configuration = productSection;
    ASSERT_EQ(probe::configurationFor(probe::manager(), "Product"), first);
  }
  // The copy goes when the host's section goes.
  probe::answers().configuration = objc::Ref();
  productSection = objc::Ref();
  EXPECT_FALSE(watch.load());
}

// A dictionary that raises when it is copied.
constinit objc::Message<unsigned long()> kCount{"count"};
constinit objc::Message<id()> kMutableCopy{"mutableCopy"};
id raiseOnCopy(id, SEL) { objc::raiseException("NSGenericException", "copy refused"); }
unsigned long oneEntry(id, SEL) { return 1; }

TEST_F(Replacements, ConfigurationPatchExceptionReturnsTheHostDictionaryAndLogs) {
  Class raising = objc::ClassBuilder("RaisingConfiguration", "NSDictionary")
                      .method(kCount, &oneEntry)
                      .method(kMutableCopy, &raiseOnCopy)
                      .build();
  objc::Ref config = objc::Ref::adopt(objc::send<id>(raising, objc::sel("alloc")));
  probe::answers().configuration = config;
  writePreferences({{"thermalPowerMode", objc::string("fullPower")}});
  hv_test::LogCapture log;
  EXPECT_EQ(probe::configurationFor(probe::manager(), "Components"), config.get());
  EXPECT_THAT(log.lines(),
              ElementsAre("halvernic thermal manager dim patch exception: copy refused"));
  // Nothing was attached: the next question tries again (and fails the same way).
  EXPECT_EQ(probe::configurationFor(probe::manager(), "Components"), config.get());
  EXPECT_EQ(log.lines().size(), 2u);
  probe::answers().configuration = objc::Ref();
}

TEST_F(Replacements, PreferenceValueForms) {
  struct Case {
    std::function<void()> write;
    bool fullPower, lowPower, preventDimming;
  };
  const Case cases[] = {
      {[] { writePreferences({{"thermalPreventDimmingEnabled", objc::string("on")}}); }, false,
       false, false},
      {[] { writePreferences({{"thermalPreventDimmingEnabled", objc::string("2")}}); }, false,
       false, true},
      {[] { writePreferences({{"thermalPreventDimmingEnabled", objc::number(0)}}); }, false, false,
       false},
      {[] { writePreferences({{"thermalPreventDimmingEnabled", objc::number(3)}}); }, false, false,
       true},
      {[] {
         objc::Ref array = objc::makeMutableArray();
         objc::arrayAdd(array.get(), objc::boolean(true));
         writePreferences({{"thermalPreventDimmingEnabled", array.get()}});
       },
       false, false, false},
      {[] { writePreferences({{"thermalPowerMode", objc::number(1)}}); }, false, false, false},
      {[] { writePreferences({{"thermalPowerMode", objc::string("native")}}); }, false, false,
       false},
      {[] { writePreferences({{"thermalPowerMode", objc::string("lowPower")}}); }, false, true,
       false},
      {[] { writeRawPreferences("this is not a property list {"); }, false, false, false},
      {[] {
         objc::Ref root = objc::makeMutableArray();
         objc::arrayAdd(root.get(), objc::string("fullPower"));
         ASSERT_TRUE(objc::writePropertyListXmlAtomically(root.get(),
                                                          hv_test::privateView().preferencesPath));
       },
       false, false, false},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    cases[i].write();
    advanceMilliseconds(50);
    const repl::PreferenceFlags flags = repl::preferenceSnapshot().refresh();
    EXPECT_EQ(flags.fullPowerMode, cases[i].fullPower) << "case " << i;
    EXPECT_EQ(flags.lowPowerMode, cases[i].lowPower) << "case " << i;
    EXPECT_EQ(flags.preventDimming, cases[i].preventDimming) << "case " << i;
  }
}

TEST_F(Replacements, SnapshotIsReusedForFiftyMillisecondsOfTheMonotonicClock) {
  repl::PreferenceSnapshot& snapshot = repl::preferenceSnapshot();
  writePreferences({{"thermalPowerMode", objc::string("fullPower")}});
  EXPECT_TRUE(snapshot.fullPowerMode());
  writePreferences({{"thermalPowerMode", objc::string("lowPower")}});
  advanceMilliseconds(10);
  EXPECT_TRUE(snapshot.fullPowerMode());  // 0.01 s later: the same reading
  advanceMilliseconds(39);
  EXPECT_TRUE(snapshot.fullPowerMode());  // 0.049 s
  EXPECT_EQ(snapshot.fileReads(), 1u);
  advanceMilliseconds(1);
  EXPECT_TRUE(snapshot.lowPowerMode());  // 0.05 s: read again, the change is seen
  EXPECT_EQ(snapshot.fileReads(), 2u);

  // A clock that goes back keeps the reading until it passes the old one by 0.05 s.
  writePreferences({});
  advanceMilliseconds(-3'600'000);
  EXPECT_TRUE(snapshot.lowPowerMode());
  advanceMilliseconds(3'600'000 + 50);
  EXPECT_FALSE(snapshot.lowPowerMode());
  EXPECT_EQ(snapshot.fileReads(), 3u);

  // The process's snapshot measures with the monotonic clock by default.
  snapshot.resetForTesting();
  const std::int64_t a = repl::PreferenceSnapshot::steadyClock();
  snapshot.refresh();
  EXPECT_GE(repl::PreferenceSnapshot::steadyClock(), a);
}

// A reading taken at any nanosecond, from the clock's start to the end of its range, is
// reused for the window less at most 8 ns and never beyond it.
TEST_F(Replacements, TheWindowHoldsToTheNanosecondAtAnyReadingTime) {
  repl::PreferenceSnapshot& snapshot = repl::preferenceSnapshot();
  constexpr std::int64_t window = repl::PreferenceSnapshot::kReuseWindowNanoseconds;
  const std::int64_t starts[] = {0, 7, 2'000'000'000'001, 2'000'000'000'013, INT64_MAX - window};
  for (const std::int64_t start : starts) {
    SCOPED_TRACE(start);
    snapshot.resetForTesting();
    snapshot.setClock(&testClock);
    gNow = start;
    writePreferences({{"thermalPowerMode", objc::string("fullPower")}});
    EXPECT_TRUE(snapshot.fullPowerMode());
    writePreferences({{"thermalPowerMode", objc::string("lowPower")}});
    gNow += window - 8;
    EXPECT_TRUE(snapshot.fullPowerMode()) << "reused until 8 ns before the window ends";
    EXPECT_EQ(snapshot.fileReads(), 1u);
    gNow += 8;
    EXPECT_TRUE(snapshot.lowPowerMode()) << "read again once the window has passed";
    EXPECT_TRUE(snapshot.lowPowerMode());
    EXPECT_EQ(snapshot.fileReads(), 2u);
  }
  gNow = 1'000'000'000'000;
}

// On rootless jailbreaks the jailbreak root's /var/mobile is a folder of its own: the layer
// follows the file the front-ends write through the contract (below the jailbreak root),
// never one at the literal /var/mobile path.
TEST_F(Replacements, FollowsTheModeTheContractWritesBelowTheJailbreakRoot) {
  namespace contract = halvernic::contract;
  const std::string resolved = contract::resolvedPreferencesPath();
  ASSERT_EQ(resolved, hv_test::privateView().preferencesPath);
  ASSERT_NE(resolved, hv_test::kLiteralPreferencesPath);
  {
    objc::AutoreleasePool pool;
    objc::Ref stale = objc::makeMutableDictionary();
    objc::dictionarySet(stale.get(), "thermalPowerMode", objc::string("lowPower"));
    ASSERT_TRUE(
        objc::writePropertyListXmlAtomically(stale.get(), hv_test::kLiteralPreferencesPath));
  }
  EXPECT_FALSE(repl::preferenceSnapshot().refresh().lowPowerMode) << "the literal path was read";

  ASSERT_TRUE(
      contract::writePreferenceValue(resolved, "thermalPowerMode", objc::string("fullPower")));
  advanceMilliseconds(50);
  EXPECT_TRUE(repl::preferenceSnapshot().refresh().fullPowerMode);
  probe::clearCalls();
  host::kSetCPULevel.send(probe::controller(), 3);
  EXPECT_THAT(probe::calls(), ElementsAre("setCPULevel: 0"));

  ASSERT_TRUE(contract::writePreferenceValue(resolved, "thermalPreventDimmingEnabled",
                                             objc::boolean(true)));
  ASSERT_TRUE(contract::writePreferenceValue(resolved, "thermalPowerMode", objc::string("off")));
  advanceMilliseconds(50);
  const repl::PreferenceFlags flags = repl::preferenceSnapshot().refresh();
  EXPECT_FALSE(flags.fullPowerMode);
  EXPECT_TRUE(flags.preventDimming);
  std::filesystem::remove(hv_test::kLiteralPreferencesPath);
}

// An unchanged file costs one stat per window and is parsed once; a file above the size
// limit is never parsed and reads as native.
TEST_F(Replacements, AnUnchangedFileIsParsedOnceAndAnOversizedOneNever) {
  repl::PreferenceSnapshot& snapshot = repl::preferenceSnapshot();
  writePreferences({{"thermalPowerMode", objc::string("fullPower")}});
  // A file whose times lie within a window of its parsing, or in the same second, is parsed
  // again (file times are wall-clock times): let this one age past both first.
  const auto written = std::filesystem::last_write_time(hv_test::privateView().preferencesPath);
  const auto next_second =
      std::chrono::ceil<std::chrono::seconds>(written + std::chrono::milliseconds(60));
  std::this_thread::sleep_until(std::chrono::file_clock::to_sys(next_second));
  const std::uint64_t before = snapshot.fileParses();
  for (int i = 0; i < 20; ++i) {
    EXPECT_TRUE(snapshot.fullPowerMode());
    advanceMilliseconds(50);
  }
  EXPECT_EQ(snapshot.fileReads(), 20u);
  EXPECT_EQ(snapshot.fileParses() - before, 1u);

  {
    objc::AutoreleasePool pool;
    objc::Ref large = objc::makeMutableDictionary();
    objc::dictionarySet(large.get(), "thermalPowerMode", objc::string("lowPower"));
    objc::dictionarySet(large.get(), "padding", objc::string(std::string(2 << 20, 'x')));
    ASSERT_TRUE(
        objc::writePropertyListXmlAtomically(large.get(), hv_test::privateView().preferencesPath));
  }
  const std::uint64_t parses = snapshot.fileParses();
  advanceMilliseconds(50);
  const repl::PreferenceFlags flags = snapshot.refresh();
  EXPECT_FALSE(flags.lowPowerMode);
  EXPECT_FALSE(flags.fullPowerMode);
  EXPECT_EQ(snapshot.fileParses(), parses + 1) << "counted as a reading, found unreadable";
}

TEST_F(Replacements, SharedDecisions) {
  writePreferences({{"thermalPreventDimmingEnabled", objc::boolean(true)}});
  EXPECT_TRUE(repl::shouldSuppressThermalSignals());
  EXPECT_EQ(repl::clampedPressureLevel(5), 1);
  EXPECT_EQ(repl::clampedPressureLevel(1), 1);
  EXPECT_EQ(repl::clampedPressureLevel(0), 0);
  EXPECT_EQ(repl::clampedPressureLevel(-4), -4);
  writePreferences({{"thermalPowerMode", objc::string("fullPower")}});
  advanceMilliseconds(50);
  EXPECT_TRUE(repl::shouldSuppressThermalSignals());
  EXPECT_EQ(repl::clampedPressureLevel(-4), 0);
  writePreferences({{"thermalPowerMode", objc::string("lowPower")}});
  advanceMilliseconds(50);
  EXPECT_FALSE(repl::shouldSuppressThermalSignals());
  EXPECT_EQ(repl::clampedPressureLevel(5), 5);
}

// Replacements whose host method was missing at installation: called directly, with their
// saved implementation slot empty.
TEST_F(Replacements, EmptySlotsAnswerZeroNilOrNothing) {
  writePreferences({{"thermalPreventDimmingEnabled", objc::boolean(true)}});
  std::vector<std::pair<std::atomic<IMP>*, IMP>> saved;
  for (const repl::ReplacementGroup& group : repl::installationTable()) {
    for (const auto& replacement : group.replacements) {
      saved.emplace_back(replacement.saved, replacement.saved->exchange(nullptr));
    }
  }
  auto imp = [](std::size_t group, std::size_t index) {
    return repl::installationTable()[group].replacements[index].implementation();
  };
  id p = probe::product(), m = probe::manager(), c = probe::controller();
  EXPECT_EQ(objc::call<std::int64_t>(imp(0, 0), p, host::kThermalPressureLevel.get()), 0);
  objc::call<void>(imp(0, 1), p, host::kSetThermalState.get(), 2);
  EXPECT_EQ(objc::call<void*>(imp(1, 0), m, host::kGetConfigurationFor.get(), host::CFStringRef{}),
            nullptr);
  id pressure = objc::call<id>(imp(1, 4), m, host::kThermalPressure.get(), id{nullptr});
  ASSERT_TRUE(objc::isNumber(pressure));
  EXPECT_EQ(objc::int64Value(pressure), 0);
  objc::call<void>(imp(2, 3), c, host::kSetCPULevel.get(), 1);
  objc::call<void>(imp(2, 12), c, host::kSetPackageLowPowerTarget.get());
  // Native: the empty slot of a query answers as the table says, not nil from the host.
  writePreferences({});
  advanceMilliseconds(50);
  EXPECT_FALSE(objc::call<bool>(imp(0, 2), p, host::kGetPotentialForcedThermalPressureLevel.get()));
  EXPECT_EQ(objc::call<std::uint64_t>(imp(0, 3), p, host::kGetPotentialForcedThermalLevel.get(),
                                      std::uint64_t{3}),
            0u);
  EXPECT_EQ(
      objc::int64Value(objc::call<id>(imp(1, 4), m, host::kThermalPressure.get(), id{nullptr})), 0);
  EXPECT_THAT(probe::calls(), IsEmpty());
  for (auto& [slot, value] : saved) slot->store(value);
}

TEST_F(Replacements, InstallationIsIdempotentAndLeavesMissingMethodsAlone) {
  // Installing again keeps the host implementations (never saves a replacement as host).
  EXPECT_EQ(repl::installMethodReplacements(probe::classes()), 24u);
  probe::answers().pressureLevel = 2;
  EXPECT_EQ(host::kThermalPressureLevel.send(probe::product()), 2);
  // A class without the methods gets nothing and its slots stay as they are.
  Class bare = objc::ClassBuilder("ProbeBareController", "NSObject").build();
  EXPECT_EQ(repl::installMethodReplacements({nullptr, nullptr, bare}), 0u);
  EXPECT_EQ(objc::instanceImplementation(bare, host::kSetCPULevel.get()), nullptr);
  host::kSetCPULevel.send(probe::controller(), 4);
  EXPECT_THAT(probe::calls(), ElementsAre("thermalPressureLevel", "setCPULevel: 4"));
}

// Many threads find the snapshot unread or stale at once: the file is read once per window,
// and no caller answers from a snapshot that was never read.
TEST_F(Replacements, OneReadPerWindowUnderConcurrentCallers) {
  writePreferences({{"thermalPowerMode", objc::string("fullPower")}});
  constexpr int kThreads = 4;
  constexpr int kCalls = 2000;
  std::atomic<int> nativeAnswers{0};
  std::atomic<bool> go{false};
  auto run = [&] {
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&] {
        objc::runAttached([&] {
          while (!go.load()) std::this_thread::yield();
          for (int i = 0; i < kCalls; ++i) {
            if (!repl::preferenceSnapshot().refresh().fullPowerMode) ++nativeAnswers;
          }
        });
      });
    }
    go = true;
    for (auto& thread : threads) thread.join();
    go = false;
  };
  run();
  EXPECT_EQ(nativeAnswers.load(), 0);
  EXPECT_EQ(repl::preferenceSnapshot().fileReads(), 1u);
  advanceMilliseconds(50);  // stale: one of them reads, the others answer from before
  run();
  EXPECT_EQ(nativeAnswers.load(), 0);
  EXPECT_EQ(repl::preferenceSnapshot().fileReads(), 2u);
}

// Standing down: from then on every replacement answers as without preferences, whatever
// the file says, and the file is read no more; callers waiting for a first reading go on.
TEST_F(Replacements, AfterAStandDownEveryMessageReachesTheHostUnchangedForGood) {
  writePreferences({{"thermalPowerMode", objc::string("fullPower")},
                    {"thermalPreventDimmingEnabled", objc::boolean(true)}});
  ASSERT_TRUE(repl::preferenceSnapshot().fullPowerMode());
  repl::preferenceSnapshot().standDown();
  const std::uint64_t reads = repl::preferenceSnapshot().fileReads();
  for (int i = 0; i < 3; ++i) {
    advanceMilliseconds(100);
    const repl::PreferenceFlags flags = repl::preferenceSnapshot().refresh();
    EXPECT_FALSE(flags.fullPowerMode || flags.lowPowerMode || flags.preventDimming);
  }
  EXPECT_EQ(repl::preferenceSnapshot().fileReads(), reads) << "the file is read no more";
  probe::clearCalls();
  const std::vector<std::string> results = sendAll();
  const std::vector<std::string> calls = probe::calls();
  // The same as with no preferences at all.
  repl::preferenceSnapshot().resetForTesting();
  repl::preferenceSnapshot().setClock(&testClock);
  std::filesystem::remove(hv_test::privateView().preferencesPath);
  probe::clearCalls();
  EXPECT_EQ(results, sendAll());
  EXPECT_EQ(calls, probe::calls());

  // Before any reading: a stand-down lets waiting callers go with the native answer.
  repl::preferenceSnapshot().resetForTesting();
  writePreferences({{"thermalPowerMode", objc::string("fullPower")}});
  repl::preferenceSnapshot().standDown();
  EXPECT_FALSE(repl::preferenceSnapshot().fullPowerMode());
  EXPECT_EQ(repl::preferenceSnapshot().fileReads(), 0u);
}

}  // namespace
