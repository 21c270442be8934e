// The pane's preferences file and its announcements, as another process sees them through
// the notify daemon: the file after each write, the posts in their order, and the
// runtime-state word at the moment its post arrives.
#include <gtest/gtest.h>
#include <notify.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "common/objc/foundation.hpp"
#include "extension/contract/contract.hpp"
#include "hvplatform/environment.h"
#include "hvplatform/notify_function.h"
#include "prefs/store.hpp"
#include "tests/platform/process.hpp"
#include "tests/support/preferences.hpp"

namespace {

namespace fs = std::filesystem;
namespace prefs = halvernic::prefs;
using hv_platform_test::Child;
using namespace std::chrono_literals;

constexpr char kRuntimeState[] = "com.nu-falk.halvernic.runtimeState";
constexpr char kPuppet[] = "com.nu-falk.halvernic-executePuppetEvent";
constexpr char kRestart[] = "com.nu-falk.halvernic-restartThermalMonitor";
constexpr char kFence[] = "hv.test.prefs.fence";

// Records every post of the three names (and the runtime-state word as it stood when its
// post was delivered), then a fence name the test posts last, so "nothing more" is known.
class Observer {
public:
  Observer() {
    for (const char* name : {kRuntimeState, kPuppet, kRestart, kFence}) {
      int token = 0;
      EXPECT_EQ(hv_notify_register_function(name, &token, &Observer::on_post, this),
                NOTIFY_STATUS_OK);
      tokens_.push_back(token);
    }
  }
  ~Observer() {
    for (int token : tokens_) notify_cancel(token);
  }
  // Everything posted before this call, in the order the daemon delivered it.
  std::vector<std::string> drain() {
    notify_post(kFence);
    std::unique_lock<std::mutex> lock(mutex_);
    if (!fenced_.wait_for(lock, 10s, [&] { return fence_count_ > fences_taken_; })) {
      ADD_FAILURE() << "the fence never came back";
      return {};
    }
    ++fences_taken_;
    return std::exchange(seen_, {});
  }

private:
  static void on_post(int, const char* name, void* context) {
    auto* self = static_cast<Observer*>(context);
    std::string entry = name;
    if (entry == kRuntimeState) {
      int token = 0;
      uint64_t state = 0;
      notify_register_check(kRuntimeState, &token);
      notify_get_state(token, &state);
      notify_cancel(token);
      char hex[32];
      std::snprintf(hex, sizeof hex, "=%016llx", static_cast<unsigned long long>(state));
      entry += hex;
    }
    std::lock_guard<std::mutex> lock(self->mutex_);
    if (entry == kFence) {
      ++self->fence_count_;
      self->fenced_.notify_all();
    } else {
      self->seen_.push_back(entry);
    }
  }
  std::vector<int> tokens_;
  std::mutex mutex_;
  std::condition_variable fenced_;
  std::vector<std::string> seen_;
  int fence_count_ = 0;
  int fences_taken_ = 0;
};

class PaneStore : public testing::Test {
protected:
  static void SetUpTestSuite() {
    hv_test::device_root();
    daemon_ = new hv_platform_test::SuiteNotifyDaemon(HV_NOTIFYD, HV_ENV_NOTIFY_SOCKET,
                                                      "hv-prefs-notifyd");
    ASSERT_TRUE(daemon_->ready());
  }
  static void TearDownTestSuite() {
    delete daemon_;
    daemon_ = nullptr;
  }
  void SetUp() override {
    ASSERT_EQ(hv_notify_uses_daemon(), 1);
    hv_test::write_preferences({});
    observer_ = std::make_unique<Observer>();
  }

  static objc::Ref file() {
    return halvernic::contract::readPreferences(hv_test::preferences_path());
  }
  static std::vector<std::string> keys_of(id dictionary) {
    std::vector<std::string> keys;
    objc::forEachEntry(dictionary, [&](id key, id) {
      keys.push_back(objc::toString(key));
      return true;
    });
    std::sort(keys.begin(), keys.end());
    return keys;
  }

  std::unique_ptr<Observer> observer_;
  static hv_platform_test::SuiteNotifyDaemon* daemon_;
};
hv_platform_test::SuiteNotifyDaemon* PaneStore::daemon_ = nullptr;

const std::string kPublished = std::string(kRuntimeState) + "=48414c5600000000";

TEST_F(PaneStore, ThePathIsTheResolvedContractPathComputedOnce) {
  EXPECT_EQ(prefs::preferencesFilePath(), hv_test::preferences_path());
  EXPECT_EQ(&prefs::preferencesFilePath(), &prefs::preferencesFilePath());
}

TEST_F(PaneStore, ASwitchWithoutAFileCreatesItWithThatKeyAndPostsStateThenPuppet) {
  objc::AutoreleasePool pool;
  prefs::writePreferenceValue(objc::boolean(true), "thermalPreventDimmingEnabled");
  objc::Ref stored = file();
  ASSERT_TRUE(stored);
  EXPECT_EQ(keys_of(stored.get()), std::vector<std::string>{"thermalPreventDimmingEnabled"});
  EXPECT_TRUE(objc::isBoolean(objc::dictionaryGet(stored.get(), "thermalPreventDimmingEnabled")));
  EXPECT_EQ(observer_->drain(), (std::vector<std::string>{kPublished, kPuppet}));
}

TEST_F(PaneStore, TheModeKeyKeepsOtherKeysDropsTheResetKeysAndPostsAllThreeInOrder) {
  objc::AutoreleasePool pool;
  hv_test::write_preferences({{"thermalSunlightLockedEnabled", objc::boolean(true)},
                              {"unrelatedKey", objc::string("kept")},
                              {"thermalPuppetValue", objc::number(3)},
                              {"cpuMinPowerValue", objc::number(1)},
                              {"thermalCPUPerformanceMode", objc::string("x")},
                              {"thermalMaxPerformanceEnabled", objc::boolean(true)},
                              {"thermalCPULimitEnabled", objc::boolean(true)},
                              {"thermalCPULimitPercent", objc::number(50)},
                              {"thermalDisableMitigationsEnabled", objc::boolean(false)}});
  // Another writer left a word with other values: the pane publishes (0, 0) again.
  halvernicPrefsPostRuntimeState(7, 9);
  observer_->drain();

  prefs::writePreferenceValue(objc::string("lowPower"), "thermalPowerMode");
  objc::Ref stored = file();
  EXPECT_EQ(keys_of(stored.get()),
            (std::vector<std::string>{"thermalPowerMode", "thermalSunlightLockedEnabled",
                                      "unrelatedKey"}));
  EXPECT_TRUE(
      objc::stringEquals(objc::dictionaryGet(stored.get(), "thermalPowerMode"), "lowPower"));
  EXPECT_EQ(observer_->drain(), (std::vector<std::string>{kPublished, kPuppet, kRestart}));
}

TEST_F(PaneStore, OnlyKeysBeginningWithLowerCaseThermalAreAnnounced) {
  objc::AutoreleasePool pool;
  struct Case {
    const char* key;
    std::vector<std::string> posts;
  };
  const Case cases[] = {
      {"thermalCPULimitEnabled",
       {kPublished, kPuppet}},                       // a reset key: written, dropped, announced
      {"cpuMinPowerValue", {}},                      // no prefix
      {"ThermalPowerMode", {}},                      // capital T
      {"thermal", {kPublished, kPuppet}},            // the bare prefix is a prefix
      {"thermalPowerModeX", {kPublished, kPuppet}},  // not the mode key: no restart
      {"xthermalFoo", {}},
  };
  for (const Case& c : cases) {
    prefs::writePreferenceValue(objc::number(1), c.key);
    EXPECT_EQ(observer_->drain(), c.posts) << c.key;
  }
  objc::Ref stored = file();
  EXPECT_EQ(objc::dictionaryGet(stored.get(), "thermalCPULimitEnabled"), nullptr);
  EXPECT_EQ(objc::dictionaryGet(stored.get(), "cpuMinPowerValue"), nullptr);
  EXPECT_NE(objc::dictionaryGet(stored.get(), "ThermalPowerMode"), nullptr);
}

TEST_F(PaneStore, AnUnreadableFileIsKeptAsideAndAFailedWriteStillAnnounces) {
  objc::AutoreleasePool pool;
  const std::string& path = hv_test::preferences_path();
  for (const char* content :
       {"", "not a property list", "<plist><array><string>a</string></array></plist>"}) {
    std::ofstream(path, std::ios::trunc) << content;
    prefs::writePreferenceValue(objc::boolean(false), "thermalSuppressNotificationsEnabled");
    objc::Ref stored = file();
    EXPECT_EQ(keys_of(stored.get()),
              std::vector<std::string>{"thermalSuppressNotificationsEnabled"})
        << content;
    std::ifstream aside(path + ".unreadable", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(aside), {}), content)
        << "kept, never destroyed";
    observer_->drain();
  }
  fs::remove(path + ".unreadable");
  // A folder in the file's place: the write fails, leaves no partial file, and the posts go out.
  fs::remove(path);
  fs::create_directory(path);
  prefs::writePreferenceValue(objc::boolean(true), "thermalPowerMode");
  EXPECT_EQ(observer_->drain(), (std::vector<std::string>{kPublished, kPuppet, kRestart}));
  EXPECT_TRUE(fs::is_directory(path));
  fs::remove_all(path);
}

TEST_F(PaneStore, RowsReadTheFileAfreshAndFallBackToTheirDefault) {
  objc::AutoreleasePool pool;
  objc::Ref properties = objc::makeMutableDictionary();
  objc::dictionarySet(properties.get(), "key", objc::string("thermalPreventDimmingEnabled"));
  objc::dictionarySet(properties.get(), "default", objc::string("fallback"));

  EXPECT_TRUE(objc::stringEquals(prefs::rowValue(properties.get()).get(), "fallback"));
  hv_test::write_preferences({{"thermalPreventDimmingEnabled", objc::boolean(true)}});
  EXPECT_TRUE(objc::objectsEqual(prefs::rowValue(properties.get()).get(), objc::boolean(true)));
  hv_test::write_preferences({{"thermalPreventDimmingEnabled", objc::string("changed")}});
  EXPECT_TRUE(objc::stringEquals(prefs::rowValue(properties.get()).get(), "changed"));
  std::ofstream(hv_test::preferences_path(), std::ios::trunc) << "garbage";
  EXPECT_TRUE(objc::stringEquals(prefs::rowValue(properties.get()).get(), "fallback"));

  // Without a key the default answers; without either, nil.
  objc::Ref keyless = objc::makeMutableDictionary();
  objc::dictionarySet(keyless.get(), "default", objc::number(4));
  EXPECT_EQ(objc::int64Value(prefs::rowValue(keyless.get()).get()), 4);
  EXPECT_FALSE(prefs::rowValue(objc::makeMutableDictionary().get()));
  EXPECT_FALSE(prefs::rowValue(nullptr));
}

TEST_F(PaneStore, TheModeReadsOffForEverythingButTheThreeValues) {
  objc::AutoreleasePool pool;
  EXPECT_STREQ(prefs::currentCpuModeValue(), "off");  // no file
  for (const char* mode : {"off", "lowPower", "fullPower"}) {
    hv_test::write_preferences({{"thermalPowerMode", objc::string(mode)}});
    EXPECT_STREQ(prefs::currentCpuModeValue(), mode);
  }
  for (id wrong : {objc::string("native"), objc::string(""), objc::string("FullPower"),
                   objc::number(1), objc::boolean(true)}) {
    hv_test::write_preferences({{"thermalPowerMode", wrong}});
    EXPECT_STREQ(prefs::currentCpuModeValue(), "off");
  }
  std::ofstream(hv_test::preferences_path(), std::ios::trunc)
      << "<plist><string>lowPower</string></plist>";
  EXPECT_STREQ(prefs::currentCpuModeValue(), "off");
}

TEST_F(PaneStore, TheRuntimeStateKeepsOnlyTheLowByteOfEachValue) {
  const std::string name = kRuntimeState;
  EXPECT_EQ(halvernicPrefsPostRuntimeState(0x1234, 0x5678), 0u);
  EXPECT_EQ(observer_->drain(), std::vector<std::string>{name + "=48414c5600003478"});
  EXPECT_EQ(halvernicPrefsPostRuntimeState(0x1FF, 0x2AB), 0u);
  EXPECT_EQ(observer_->drain(), std::vector<std::string>{name + "=48414c560000ffab"});
  EXPECT_EQ(halvernicPrefsPostRuntimeState(-1, 0), 0u);
  EXPECT_EQ(observer_->drain(), std::vector<std::string>{name + "=48414c560000ff00"});
}

}  // namespace
