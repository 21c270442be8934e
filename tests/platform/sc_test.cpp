// SystemConfiguration preferences below a device root of the test's own.
#include <SystemConfiguration/SystemConfiguration.h>
#include <gtest/gtest.h>
#include <notify.h>
#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "common/objc/foundation.hpp"
#include "common/objc/thread.hpp"
#include "hvplatform/environment.h"
#include "hvplatform/notify_function.h"
#include "hvplatform/sc_testing.h"
#include "tests/platform/waiting.hpp"

namespace {

using namespace std::chrono_literals;

id obj(CFTypeRef cf) { return const_cast<id>(static_cast<const objc_object*>(cf)); }
CFStringRef cf(id string) { return static_cast<CFStringRef>(static_cast<const void*>(string)); }
CFPropertyListRef cfnum(long long n) { return objc::number(n); }

class Preferences : public testing::Test {
protected:
  void SetUp() override {
    char folder[] = "/tmp/hv-sc-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    root_ = folder;
    setenv(HV_ENV_DEVICE_ROOT, root_.c_str(), 1);
    store_ = root_ / "Library/Preferences/SystemConfiguration/OSThermalStatus.plist";
    HVSCTestReset();
  }
  void TearDown() override {
    HVSCTestReset();
    std::filesystem::remove_all(root_);
  }
  SCPreferencesRef create() {
    return SCPreferencesCreate(kCFAllocatorDefault, CFSTR("halvernic"),
                               CFSTR("OSThermalStatus.plist"));
  }
  objc::Ref stored() { return objc::readPropertyListFile(store_.string()); }

  objc::AutoreleasePool pool_;
  std::filesystem::path root_;
  std::filesystem::path store_;
};

TEST_F(Preferences, ASessionRemembersHowItWasCreatedAndWhereItsStoreIs) {
  SCPreferencesRef prefs = create();
  ASSERT_NE(prefs, nullptr);
  EXPECT_STREQ(HVSCTestSessionName(prefs), "halvernic");
  EXPECT_STREQ(HVSCTestSessionIdentifier(prefs), "OSThermalStatus.plist");
  EXPECT_EQ(HVSCTestSessionPath(prefs), store_.string());
  CFRelease(prefs);

  SCPreferencesRef absolute =
      SCPreferencesCreate(nullptr, CFSTR("other"), CFSTR("/var/db/x.plist"));
  ASSERT_NE(absolute, nullptr);
  EXPECT_EQ(HVSCTestSessionPath(absolute), (root_ / "var/db/x.plist").string());
  CFRelease(absolute);
  SCPreferencesRef unnamed = SCPreferencesCreate(nullptr, CFSTR("other"), nullptr);
  ASSERT_NE(unnamed, nullptr);
  EXPECT_EQ(HVSCTestSessionIdentifier(unnamed), nullptr);
  EXPECT_EQ(HVSCTestSessionPath(unnamed),
            (root_ / "Library/Preferences/SystemConfiguration/preferences.plist").string());
  CFRelease(unnamed);

  EXPECT_EQ(SCPreferencesCreate(nullptr, nullptr, CFSTR("x.plist")), nullptr);
  EXPECT_EQ(SCError(), kSCStatusInvalidArgument);
  unsetenv(HV_ENV_DEVICE_ROOT);
  EXPECT_EQ(create(), nullptr) << "a store outside any device root";
  EXPECT_EQ(SCError(), kSCStatusNoConfigFile);
}

TEST_F(Preferences, CommitWritesTheChangesAndKeepsEveryOtherKey) {
  std::filesystem::create_directories(store_.parent_path());
  objc::Ref existing = objc::makeMutableDictionary();
  objc::dictionarySet(existing.get(), "keep", objc::string("me"));
  objc::dictionarySet(existing.get(), "engageBehavior", objc::boolean(true));
  objc::dictionarySet(existing.get(), "hipOverride", objc::boolean(true));
  ASSERT_TRUE(objc::writePropertyListXmlAtomically(existing.get(), store_.string()));

  SCPreferencesRef prefs = create();
  ASSERT_NE(prefs, nullptr);
  EXPECT_TRUE(objc::isBoolean(obj(SCPreferencesGetValue(prefs, CFSTR("engageBehavior")))));
  ASSERT_TRUE(SCPreferencesSetValue(prefs, CFSTR("engageBehavior"), kCFBooleanFalse));
  ASSERT_TRUE(
      SCPreferencesSetValue(prefs, CFSTR("engageBehaviorPersistentlyEnabled"), kCFBooleanTrue));
  ASSERT_TRUE(SCPreferencesRemoveValue(prefs, CFSTR("hipOverride")));
  EXPECT_FALSE(SCPreferencesRemoveValue(prefs, CFSTR("neverThere")));
  EXPECT_EQ(SCError(), kSCStatusNoKey);

  // Not yet committed: the store is unchanged.
  EXPECT_TRUE(objc::platformBoolValue(objc::dictionaryGet(stored().get(), "engageBehavior")));

  // Meanwhile another writer adds a key of its own; the commit must not lose it.
  SCPreferencesRef other = create();
  ASSERT_TRUE(SCPreferencesSetValue(other, CFSTR("sunlightOverride"), kCFBooleanTrue));
  ASSERT_TRUE(SCPreferencesCommitChanges(other));
  CFRelease(other);

  ASSERT_TRUE(SCPreferencesCommitChanges(prefs));
  objc::Ref after = stored();
  ASSERT_TRUE(objc::isDictionary(after.get()));
  EXPECT_EQ(objc::count(after.get()), 4u);
  EXPECT_EQ(objc::toString(objc::dictionaryGet(after.get(), "keep")), "me");
  id engage = objc::dictionaryGet(after.get(), "engageBehavior");
  EXPECT_TRUE(objc::isBoolean(engage));
  EXPECT_FALSE(objc::platformBoolValue(engage));
  EXPECT_TRUE(objc::platformBoolValue(
      objc::dictionaryGet(after.get(), "engageBehaviorPersistentlyEnabled")));
  EXPECT_TRUE(objc::platformBoolValue(objc::dictionaryGet(after.get(), "sunlightOverride")));
  EXPECT_EQ(objc::dictionaryGet(after.get(), "hipOverride"), nullptr);
  CFRelease(prefs);
}

TEST_F(Preferences, AReaderNeverSeesAPartialStore) {
  std::atomic<bool> done{false};
  std::atomic<int> bad_reads{0}, reads{0};
  std::thread reader([&] {
    objc::ThreadAttachment attached;
    objc::AutoreleasePool pool;
    while (!done) {
      objc::AutoreleasePool inner;
      if (!std::filesystem::exists(store_)) continue;
      objc::Ref plist = objc::readPropertyListFile(store_.string());
      ++reads;
      // Every version written holds 200 keys.
      if (objc::count(plist.get()) != 200) ++bad_reads;
    }
  });
  for (int round = 0; round < 30; ++round) {
    objc::AutoreleasePool pool;
    SCPreferencesRef prefs = create();
    ASSERT_NE(prefs, nullptr);
    for (int key = 0; key < 200; ++key) {
      SCPreferencesSetValue(prefs, cf(objc::string("key" + std::to_string(key))),
                            cfnum(round * 1000 + key));
    }
    ASSERT_TRUE(SCPreferencesCommitChanges(prefs));
    CFRelease(prefs);
  }
  done = true;
  reader.join();
  EXPECT_GT(reads, 0);
  EXPECT_EQ(bad_reads, 0);
}

TEST_F(Preferences, InjectedFailuresFailTheChosenCallWithTheChosenStatus) {
  HVSCTestFailCreate(1, kSCStatusAccessError);
  EXPECT_EQ(create(), nullptr);
  EXPECT_EQ(SCError(), kSCStatusAccessError);

  SCPreferencesRef prefs = create();
  ASSERT_NE(prefs, nullptr) << "only one creation was to fail";
  const int before = HVSCTestCommitCount();
  HVSCTestFailCommit(2, kSCStatusStale);
  ASSERT_TRUE(SCPreferencesSetValue(prefs, CFSTR("simulateHip"), kCFBooleanTrue));
  EXPECT_TRUE(SCPreferencesCommitChanges(prefs));
  ASSERT_TRUE(SCPreferencesSetValue(prefs, CFSTR("simulateHip"), kCFBooleanFalse));
  EXPECT_FALSE(SCPreferencesCommitChanges(prefs));
  EXPECT_EQ(SCError(), kSCStatusStale);
  EXPECT_TRUE(objc::platformBoolValue(objc::dictionaryGet(stored().get(), "simulateHip")))
      << "a failed commit changed the store";
  EXPECT_TRUE(SCPreferencesCommitChanges(prefs)) << "only the second commit was to fail";
  EXPECT_FALSE(objc::platformBoolValue(objc::dictionaryGet(stored().get(), "simulateHip")));
  EXPECT_EQ(HVSCTestCommitCount() - before, 3);
  EXPECT_STREQ(SCErrorString(kSCStatusFailed), "Failed!");
  CFRelease(prefs);
}

TEST_F(Preferences, ApplyPostsANotificationThatCountsTheApplies) {
  const std::string name = std::string(HVSC_APPLY_NOTIFICATION_PREFIX) + "OSThermalStatus.plist";
  hv_platform_test::Recorder recorder;
  int watcher = 0;
  ASSERT_EQ(hv_notify_register_function(
                name.c_str(), &watcher,
                [](int, const char* posted, void* context) {
                  static_cast<hv_platform_test::Recorder*>(context)->add(posted);
                },
                &recorder),
            NOTIFY_STATUS_OK);
  SCPreferencesRef prefs = create();
  ASSERT_TRUE(SCPreferencesApplyChanges(prefs));
  ASSERT_TRUE(SCPreferencesApplyChanges(prefs));
  ASSERT_TRUE(recorder.wait_for(2));
  EXPECT_EQ(recorder.entries().front(), name);
  int token = 0;
  uint64_t applies = 0;
  ASSERT_EQ(notify_register_check(name.c_str(), &token), NOTIFY_STATUS_OK);
  ASSERT_EQ(notify_get_state(token, &applies), NOTIFY_STATUS_OK);
  EXPECT_EQ(applies, 2u);
  notify_cancel(token);
  notify_cancel(watcher);
  CFRelease(prefs);
}

}  // namespace
