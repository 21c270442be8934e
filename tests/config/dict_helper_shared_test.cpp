// HDictHepler::shared wired to the power policy engine: the preferences it loads into the
// engine when the engine holds none, and the backlight power it reports to it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "common/objc/foundation.hpp"
#include "common/objc/thread.hpp"
#include "extension/config/dict_helper.hpp"
#include "extension/contract/contract.hpp"
#include "extension/policy/power_helper.hpp"
#include "tests/support/preferences.hpp"

namespace {

class SharedPatcher : public testing::Test {
protected:
  objc::AutoreleasePool pool;

  void SetUp() override {
    hv_test::write_preferences({});
    HPowerHepler::shared().resetForTesting();
  }

  void write_prevent_dimming(bool on) {
    hv_test::write_preferences({{"thermalPreventDimmingEnabled", objc::boolean(on)}});
  }

  static objc::Ref configuration(std::int64_t backlightPower) {
    objc::Ref table = objc::makeMutableArray();
    objc::arrayAdd(table.get(), objc::number(backlightPower));
    objc::Ref component = objc::makeMutableDictionary();
    objc::dictionarySet(component.get(), "BacklightPower", table.get());
    objc::Ref root = objc::makeMutableDictionary();
    objc::dictionarySet(root.get(), "Display", component.get());
    return root;
  }
};

TEST_F(SharedPatcher, WithoutPreferencesTheConfigurationIsLeftAlone) {
  objc::Ref root = configuration(450);
  EXPECT_EQ(HDictHepler::shared().patchThermalConfiguration(root.get()).get(), root.get());
  EXPECT_EQ(objc::count(HPowerHepler::shared().plistObj().get()), 0u);
  EXPECT_EQ(HPowerHepler::shared().observedComponentPowerGlobalMax(), 0);
  EXPECT_EQ(&HDictHepler::shared(), &HDictHepler::shared());
}

TEST_F(SharedPatcher, LoadsPreferencesOnlyWhileEmptyAndRaisesTheObservedMaximum) {
  write_prevent_dimming(true);
  objc::Ref root = configuration(450);
  objc::Ref patched = HDictHepler::shared().patchThermalConfiguration(root.get());
  ASSERT_NE(patched.get(), root.get());
  EXPECT_EQ(objc::int64Value(objc::dictionaryGet(objc::dictionaryGet(patched.get(), "Display"),
                                                 "maxThermalPower")),
            1000000);
  EXPECT_GT(objc::count(HPowerHepler::shared().plistObj().get()), 0u);
  EXPECT_EQ(HPowerHepler::shared().observedComponentPowerGlobalMax(), 450);

  // A smaller value never lowers the engine's maximum; a larger one raises it.
  objc::Ref smaller = configuration(300);
  HDictHepler::shared().patchThermalConfiguration(smaller.get());
  EXPECT_EQ(HPowerHepler::shared().observedComponentPowerGlobalMax(), 450);
  objc::Ref larger = configuration(900);
  HDictHepler::shared().patchThermalConfiguration(larger.get());
  EXPECT_EQ(HPowerHepler::shared().observedComponentPowerGlobalMax(), 900);

  // The engine's preferences are not empty now: the patcher does not read the file again.
  write_prevent_dimming(false);
  objc::Ref again = configuration(5);
  EXPECT_NE(HDictHepler::shared().patchThermalConfiguration(again.get()).get(), again.get());
}

// Daemon threads load configurations at the same time: each gets its own patched tree
// of the same shared input, and the engine ends with the largest power any of them saw.
TEST_F(SharedPatcher, ThreadsPatchTheSameConfigurationAtOnce) {
  write_prevent_dimming(true);
  objc::Ref root = configuration(450);
  std::vector<std::thread> threads;
  std::atomic<int> patched{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      objc::runAttached([&] {
        for (int i = 0; i < 50; ++i) {
          objc::AutoreleasePool inner;
          objc::Ref own = configuration(1000 + t);
          objc::Ref a = HDictHepler::shared().patchThermalConfiguration(root.get());
          objc::Ref b = HDictHepler::shared().patchThermalConfiguration(own.get());
          if (a.get() != root.get() && b.get() != own.get() &&
              objc::int64Value(objc::dictionaryGet(objc::dictionaryGet(a.get(), "Display"),
                                                   "minThermalPower")) == 1000000) {
            ++patched;
          }
        }
      });
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(patched.load(), 200);
  EXPECT_EQ(HPowerHepler::shared().observedComponentPowerGlobalMax(), 1003);
  EXPECT_EQ(
      objc::int64Value(objc::arrayGet(
          objc::dictionaryGet(objc::dictionaryGet(root.get(), "Display"), "BacklightPower"), 0)),
      450);
}

}  // namespace
