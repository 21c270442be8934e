// The exported OS thermal status functions against the SystemConfiguration, CoreFoundation
// and notify stand-ins, called through the halvernic library's exported symbols.
//
// The program defines SCPreferencesCreate and CFRelease itself (exported, so the library's
// lookups by name find them first) and forwards both to the stand-ins: that way every
// preferences handle the library makes is seen, with its name and identifier, and its
// release is checked.
#include <CoreFoundation/CoreFoundation.h>
#include <SystemConfiguration/SystemConfiguration.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <notify.h>
#include <stdlib.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/objc/foundation.hpp"
#include "extension/contract/contract.hpp"
#include "extension/osthermal/osthermal.h"
#include "hvplatform/osthermal.h"
#include "hvplatform/sc_testing.h"
#include "tests/osthermal/notify_probe.hpp"

namespace {

namespace fs = std::filesystem;

const std::string kDeviceRoot = [] {
  std::string root =
      (fs::temp_directory_path() / ("hv-osthermal-" + std::to_string(getpid()))).string();
  fs::create_directories(root);
  setenv("HALVERNIC_DEVICE_ROOT", root.c_str(), 1);
  // Names and states inside this process, except in the child of the notify-unavailable
  // test, which is started with a socket where no daemon listens.
  if (!getenv("HV_TEST_NOTIFY_UNAVAILABLE")) unsetenv("HALVERNIC_NOTIFY_SOCKET");
  return root;
}();
const std::string kStorePath =
    kDeviceRoot + "/Library/Preferences/SystemConfiguration/OSThermalStatus.plist";
const std::string kApplyName =
    std::string(HVSC_APPLY_NOTIFICATION_PREFIX) + "OSThermalStatus.plist";

struct Handles {
  std::mutex mutex;
  std::vector<std::pair<std::string, std::string>> created;  // name, identifier
  std::set<const void*> live;
} g_handles;

}  // namespace

extern "C" {

SCPreferencesRef SCPreferencesCreate(CFAllocatorRef allocator, CFStringRef name,
                                     CFStringRef prefsID) {
  static const auto real =
      reinterpret_cast<SCPreferencesRef (*)(CFAllocatorRef, CFStringRef, CFStringRef)>(
          dlsym(RTLD_NEXT, "SCPreferencesCreate"));
  SCPreferencesRef prefs = real(allocator, name, prefsID);
  if (prefs) {
    const char* identifier = HVSCTestSessionIdentifier(prefs);
    std::lock_guard lock(g_handles.mutex);
    g_handles.created.emplace_back(HVSCTestSessionName(prefs), identifier ? identifier : "(none)");
    g_handles.live.insert(prefs);
  }
  return prefs;
}

void CFRelease(CFTypeRef object) {
  static const auto real = reinterpret_cast<void (*)(CFTypeRef)>(dlsym(RTLD_NEXT, "CFRelease"));
  {
    std::lock_guard lock(g_handles.mutex);
    g_handles.live.erase(object);
  }
  real(object);
}

}  // extern "C"

namespace {

class ThermalStatusStore : public testing::Test {
protected:
  void SetUp() override {
    HVSCTestReset();
    fs::remove(kStorePath);
    std::lock_guard lock(g_handles.mutex);
    g_handles.created.clear();
    g_handles.live.clear();
  }
  void TearDown() override {
    HVSCTestReset();
    std::lock_guard lock(g_handles.mutex);
    EXPECT_TRUE(g_handles.live.empty())
        << g_handles.live.size() << " preferences handle(s) never released";
  }

  // The store as it is on disk: key -> Boolean value.
  static std::map<std::string, bool> store() {
    objc::AutoreleasePool pool;
    std::map<std::string, bool> values;
    objc::Ref plist = objc::readPropertyListFile(kStorePath);
    objc::forEachEntry(plist.get(), [&](id key, id value) {
      EXPECT_TRUE(objc::isBoolean(value)) << objc::toString(key) << " is not stored as a Boolean";
      values[objc::toString(key)] = objc::platformBoolValue(value);
      return true;
    });
    return values;
  }
  static void seed(const std::map<std::string, bool>& values) {
    objc::AutoreleasePool pool;
    fs::create_directories(fs::path(kStorePath).parent_path());
    objc::Ref dict = objc::makeMutableDictionary();
    for (const auto& [key, value] : values)
      objc::dictionarySet(dict.get(), key, objc::boolean(value));
    ASSERT_TRUE(objc::writePropertyListXmlAtomically(dict.get(), kStorePath));
  }
  static std::size_t handles_created() {
    std::lock_guard lock(g_handles.mutex);
    for (const auto& [name, identifier] : g_handles.created) {
      EXPECT_EQ(name, "halvernic");
      EXPECT_EQ(identifier, "OSThermalStatus.plist");
    }
    return g_handles.created.size();
  }

  hv_test::NotifyState applies_{kApplyName};
};

using Map = std::map<std::string, bool>;

TEST_F(ThermalStatusStore, SettersWriteTheirTwoKeysAsBooleansThroughOneHandleEach) {
  struct Case {
    const char* what;
    std::function<int32_t()> call;
    Map expected;
  };
  const std::vector<Case> cases = {
      {"notif off persistent",
       [] { return halvernicSetOSNotifEnabled(0, 1); },
       {{"OSThermalNotificationEnabled", false},
        {"OSThermalNotificationPersistentlyEnabled", true}}},
      {"notif native",
       [] { return halvernicSetOSNotifNative(); },
       {{"OSThermalNotificationEnabled", true},
        {"OSThermalNotificationPersistentlyEnabled", false}}},
      {"mitigations any non-zero is true",
       [] { return halvernicSetThermalMitigationsEnabled(7, -1); },
       {{"engageBehavior", true}, {"engageBehaviorPersistentlyEnabled", true}}},
      {"mitigations native",
       [] { return halvernicSetThermalMitigationsNative(); },
       {{"engageBehavior", true}, {"engageBehaviorPersistentlyEnabled", false}}},
      {"hip",
       [] { return halvernicSetHIPEnabled(0, INT32_MIN); },
       {{"hipOverride", false}, {"hipPersistentlyEnabled", true}}},
      {"sunlight",
       [] { return halvernicSetSunlightOverride(1, 0); },
       {{"sunlightOverride", true}, {"sunlightOverridePersistentlyEnabled", false}}},
      {"simulate hip has no persistence key",
       [] { return halvernicSetSimulateHIPEnabled(0); },
       {{"simulateHip", false}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    const uint64_t applied_before = applies_.get();
    EXPECT_EQ(c.call(), 0);
    EXPECT_EQ(store(), c.expected);
    EXPECT_EQ(handles_created(), 1u);
    EXPECT_EQ(applies_.get(), applied_before + 1) << "a successful commit is applied";
  }
}

TEST_F(ThermalStatusStore, ResetsRemoveTheirKeysOnlyAndBothSteps) {
  const Map full = {{"OSThermalNotificationEnabled", false},
                    {"OSThermalNotificationPersistentlyEnabled", true},
                    {"engageBehavior", false},
                    {"engageBehaviorPersistentlyEnabled", true},
                    {"hipOverride", false},
                    {"hipPersistentlyEnabled", true},
                    {"simulateHip", true},
                    {"sunlightOverride", true},
                    {"sunlightOverridePersistentlyEnabled", true}};
  struct Case {
    const char* what;
    std::function<int32_t()> call;
    std::vector<std::string> removed;
  };
  const std::vector<Case> cases = {
      {"notif",
       halvernicResetOSNotifEnabled,
       {"OSThermalNotificationEnabled", "OSThermalNotificationPersistentlyEnabled"}},
      {"mitigations",
       halvernicResetThermalMitigations,
       {"engageBehavior", "engageBehaviorPersistentlyEnabled"}},
      {"hip", halvernicResetHIP, {"hipOverride", "hipPersistentlyEnabled"}},
      {"simulate hip", halvernicResetSimulateHIP, {"simulateHip"}},
      {"sunlight",
       halvernicResetSunlightOverride,
       {"sunlightOverride", "sunlightOverridePersistentlyEnabled"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    seed(full);
    EXPECT_EQ(c.call(), 0);
    Map expected = full;
    for (const auto& key : c.removed) expected.erase(key);
    EXPECT_EQ(store(), expected);
    EXPECT_EQ(handles_created(), c.removed.size()) << "one handle per removed key";
  }
}

TEST_F(ThermalStatusStore, AResetWhoseFirstRemovalFailsStillRemovesTheSecond) {
  struct Case {
    std::function<int32_t()> call;
    const char* first;
    const char* second;
  };
  const std::vector<Case> cases = {
      {halvernicResetOSNotifEnabled, "OSThermalNotificationEnabled",
       "OSThermalNotificationPersistentlyEnabled"},
      {halvernicResetThermalMitigations, "engageBehavior", "engageBehaviorPersistentlyEnabled"},
      {halvernicResetHIP, "hipOverride", "hipPersistentlyEnabled"},
      {halvernicResetSunlightOverride, "sunlightOverride", "sunlightOverridePersistentlyEnabled"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    SetUp();
    seed({{c.first, true}, {c.second, true}, {"unrelated", false}});
    const uint64_t applied_before = applies_.get();
    HVSCTestFailCommit(1, 3004);
    EXPECT_EQ(c.call(), 3004) << "the first failure is reported";
    EXPECT_EQ(store(), (Map{{c.first, true}, {"unrelated", false}}));
    EXPECT_EQ(handles_created(), 2u);
    EXPECT_EQ(applies_.get(), applied_before + 1) << "only the successful removal is applied";

    SetUp();
    seed({{c.first, true}, {c.second, true}});
    HVSCTestFailCommit(2, 3005);
    EXPECT_EQ(c.call(), 3005) << "a failing second step is reported too";
    EXPECT_EQ(store(), (Map{{c.second, true}}));
  }
}

TEST_F(ThermalStatusStore, HipNativeWritesThroughTwoHandlesAndTheFirstFailureWins) {
  EXPECT_EQ(halvernicSetHIPNative(), 0);
  EXPECT_EQ(
      store(),
      (Map{{"hipOverride", true}, {"hipPersistentlyEnabled", false}, {"simulateHip", false}}));
  EXPECT_EQ(handles_created(), 2u);

  SetUp();
  seed({{"hipOverride", false}, {"hipPersistentlyEnabled", true}, {"simulateHip", true}});
  HVSCTestFailCommit(1, 2003);
  EXPECT_EQ(halvernicSetHIPNative(), 2003);
  EXPECT_EQ(store(),
            (Map{{"hipOverride", false}, {"hipPersistentlyEnabled", true}, {"simulateHip", false}}))
      << "the second handle still writes simulateHip";
  EXPECT_EQ(handles_created(), 2u);

  SetUp();
  seed({{"simulateHip", true}});
  HVSCTestFailCommit(2, 2004);
  EXPECT_EQ(halvernicSetHIPNative(), 2004);
  EXPECT_EQ(store(),
            (Map{{"hipOverride", true}, {"hipPersistentlyEnabled", false}, {"simulateHip", true}}));
}

TEST_F(ThermalStatusStore, AFailedCommitReturnsTheSCErrorCodeSkipsApplyAndReleasesTheHandle) {
  seed({{"sunlightOverride", false}});
  const uint64_t applied_before = applies_.get();
  const int commits_before = HVSCTestCommitCount();
  HVSCTestFailCommit(1, 1005);
  EXPECT_EQ(halvernicSetSunlightOverride(1, 1), 1005);
  EXPECT_EQ(HVSCTestCommitCount(), commits_before + 1);
  EXPECT_EQ(applies_.get(), applied_before) << "nothing applied after a failed commit";
  EXPECT_EQ(store(), (Map{{"sunlightOverride", false}}));
  EXPECT_EQ(handles_created(), 1u);

  // A commit that fails while SCError() reads 0 is still a failure.
  HVSCTestFailCommit(1, 0);
  EXPECT_EQ(halvernicSetSunlightOverride(1, 1), kSCStatusFailed);
}

TEST_F(ThermalStatusStore, NoHandleMeans1001AndNoCommit) {
  const int commits_before = HVSCTestCommitCount();
  HVSCTestFailCreate(2, kSCStatusNoConfigFile);
  EXPECT_EQ(halvernicSetOSNotifEnabled(1, 1), kSCStatusFailed);
  EXPECT_EQ(halvernicResetSimulateHIP(), kSCStatusFailed);
  EXPECT_EQ(HVSCTestCommitCount(), commits_before);
  EXPECT_EQ(handles_created(), 0u);
  EXPECT_FALSE(fs::exists(kStorePath));
}

TEST_F(ThermalStatusStore, WorksFromAThreadTheFoundationHasNeverSeen) {
  int32_t status = -1;
  std::thread([&] { status = halvernicSetSunlightOverride(1, 1); }).join();
  EXPECT_EQ(status, 0);
  EXPECT_EQ(store(),
            (Map{{"sunlightOverride", true}, {"sunlightOverridePersistentlyEnabled", true}}));
}

TEST(ThermalPressure, PublishesTenTimesLevelsOneToFiveAndNominalForEverythingElse) {
  ASSERT_NE(&kOSThermalNotificationPressureLevelName, nullptr)
      << "the platform name library is linked";
  const std::string name = kOSThermalNotificationPressureLevelName;
  hv_test::NotifyState state(name);
  hv_test::PostCounter posts(name);
  ASSERT_TRUE(state.ok());
  ASSERT_TRUE(posts.ok());

  int calls = 0;
  for (int32_t level = 1; level <= 5; ++level) {
    EXPECT_EQ(halvernicSetDarwinThermalPressure(level), 0);
    ++calls;
    EXPECT_EQ(state.get(), static_cast<uint64_t>(level) * 10) << level;
  }
  for (int32_t level : {0, 6, -1, INT32_MIN, INT32_MAX, 10}) {
    state.set(99);
    EXPECT_EQ(halvernicSetDarwinThermalPressure(level), 0);
    ++calls;
    EXPECT_EQ(state.get(), 0u) << level;
  }
  EXPECT_EQ(halvernicSetDarwinThermalPressure(3), 0);
  ++calls;
  EXPECT_EQ(state.get(), 30u);
  EXPECT_EQ(posts.wait_for(calls), calls) << "every publication is posted";
}

TEST(RuntimeState, ReadsTheTwoBytesOnlyWhenTheMagicIsThere) {
  hv_test::NotifyState word(halvernic::contract::kRuntimeStateNotification);
  ASSERT_TRUE(word.ok());

  int32_t first = -7, second = -9;
  word.set(0);  // never published
  EXPECT_EQ(halvernicGetRuntimeState(&first, &second), 1);
  EXPECT_EQ(first, -7);
  EXPECT_EQ(second, -9);
  word.set(0x48414C5700000307ull);  // another upper half
  EXPECT_EQ(halvernicGetRuntimeState(&first, &second), 1);
  EXPECT_EQ(first, -7);
  EXPECT_EQ(second, -9);

  word.set(0x48414C5600000307ull);
  EXPECT_EQ(halvernicGetRuntimeState(&first, &second), 0);
  EXPECT_EQ(first, 3);
  EXPECT_EQ(second, 7);

  word.set(halvernic::contract::encodeRuntimeState(0x1FF, 0x2AB));
  EXPECT_EQ(word.get(), 0x48414C560000FFABull);
  EXPECT_EQ(halvernicGetRuntimeState(&first, &second), 0);
  EXPECT_EQ(first, 0xFF) << "bytes come back unsigned";
  EXPECT_EQ(second, 0xAB);

  EXPECT_EQ(halvernicGetRuntimeState(nullptr, nullptr), 0);
  second = -1;
  EXPECT_EQ(halvernicGetRuntimeState(nullptr, &second), 0);
  EXPECT_EQ(second, 0xAB);
  first = -1;
  EXPECT_EQ(halvernicGetRuntimeState(&first, nullptr), 0);
  EXPECT_EQ(first, 0xFF);
}

// Without a notify service every notify call fails: the statuses the callers get. Runs in a
// fresh process started with the socket already set: the notify client chooses its service
// once, and the library's load-time initialiser already uses it.
[[noreturn]] void run_without_notify_service() {
  int token = 0;
  const uint32_t registration = notify_register_check("probe", &token);
  if (registration == NOTIFY_STATUS_OK) _exit(10);
  if (halvernicSetDarwinThermalPressure(3) != -1) _exit(11);
  int32_t first = -7;
  int32_t second = -9;
  if (halvernicGetRuntimeState(&first, &second) != static_cast<int32_t>(registration)) _exit(12);
  if (first != -7 || second != -9) _exit(13);
  _exit(0);
}

TEST(NotifyUnavailable, PressureAnswersMinusOneAndTheReaderTheRegistrationStatus) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  setenv("HV_TEST_NOTIFY_UNAVAILABLE", "1", 1);
  setenv("HALVERNIC_NOTIFY_SOCKET", (kDeviceRoot + "/no-such-notifyd.socket").c_str(), 1);
  EXPECT_EXIT(run_without_notify_service(), testing::ExitedWithCode(0), "");
  unsetenv("HALVERNIC_NOTIFY_SOCKET");
  unsetenv("HV_TEST_NOTIFY_UNAVAILABLE");
}

}  // namespace
