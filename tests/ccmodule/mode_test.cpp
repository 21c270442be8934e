// The module's mode as read from the preferences file, and one mode choice as the file and
// the notify service see it afterwards.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <notify.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ccmodule/power_mode.hpp"
#include "common/objc/foundation.hpp"
#include "extension/contract/contract.hpp"
#include "tests/ccmodule/publications.hpp"
#include "tests/support/preferences.hpp"

// The notify registration can be made to fail: the module's calls bind to this definition.
namespace {
bool g_fail_registration = false;
}
extern "C" uint32_t notify_register_check(const char* name, int* out_token) {
  using Fn = uint32_t (*)(const char*, int*);
  static const Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "notify_register_check"));
  if (g_fail_registration) return NOTIFY_STATUS_FAILED;
  return real(name, out_token);
}

namespace {

namespace fs = std::filesystem;
namespace contract = halvernic::contract;
using halvernic::ccmodule::applyPowerModeValue;
using halvernic::ccmodule::currentPowerModeValue;
using halvernic::ccmodule::preferencesFilePath;
using hv_test::kOneChoice;
using hv_test::Publications;

objc::Ref read_file() { return contract::readPreferences(hv_test::preferences_path()); }

std::string mode_in_file() {
  objc::AutoreleasePool pool;
  objc::Ref preferences = read_file();
  id value = objc::dictionaryGet(preferences.get(), contract::kPowerModeKey);
  return objc::isString(value) ? objc::toString(value) : std::string("<none>");
}

void write_raw(const std::string& bytes) {
  fs::remove_all(hv_test::preferences_path());
  std::ofstream(hv_test::preferences_path(), std::ios::binary) << bytes;
}

class ModeFile : public testing::Test {
protected:
  void SetUp() override {
    fs::remove_all(hv_test::preferences_path());
    g_fail_registration = false;
  }
  void TearDown() override {
    fs::remove_all(hv_test::preferences_path());
    g_fail_registration = false;
  }
  objc::AutoreleasePool pool_;
};

TEST_F(ModeFile, ThePathIsResolvedBelowTheJailbreakRootAtEveryCall) {
  EXPECT_EQ(preferencesFilePath(), hv_test::preferences_path());
  EXPECT_EQ(preferencesFilePath(),
            (hv_test::device_root() /
             "var/jb/var/mobile/Library/Preferences/com.nu-falk.halvernic-prefs.plist")
                .string());
}

TEST_F(ModeFile, OnlyTheTwoExactNonNativeWordsCountEverythingElseIsOff) {
  EXPECT_STREQ(currentPowerModeValue(), "off") << "no file";
  hv_test::write_preferences({{contract::kPowerModeKey, objc::string("lowPower")}});
  EXPECT_STREQ(currentPowerModeValue(), "lowPower");
  hv_test::write_preferences({{contract::kPowerModeKey, objc::string("fullPower")}});
  EXPECT_STREQ(currentPowerModeValue(), "fullPower");

  for (const char* other : {"native", "", "FullPower", "off", "lowpower"}) {
    hv_test::write_preferences({{contract::kPowerModeKey, objc::string(other)}});
    EXPECT_STREQ(currentPowerModeValue(), "off") << '"' << other << '"';
  }
  hv_test::write_preferences({{contract::kPowerModeKey, objc::number(1)}});
  EXPECT_STREQ(currentPowerModeValue(), "off") << "a number";
  hv_test::write_preferences({{contract::kPreventDimmingKey, objc::boolean(true)}});
  EXPECT_STREQ(currentPowerModeValue(), "off") << "no key";

  write_raw("");
  EXPECT_STREQ(currentPowerModeValue(), "off") << "empty file";
  write_raw("<?xml version=\"1.0\"?><plist><dict><key>thermalPowerMode</key><string>fullPo");
  EXPECT_STREQ(currentPowerModeValue(), "off") << "cut short";
  write_raw("bplist00\x01\x02garbage");
  EXPECT_STREQ(currentPowerModeValue(), "off") << "corrupt binary list";
  write_raw("<plist><array><string>fullPower</string></array></plist>");
  EXPECT_STREQ(currentPowerModeValue(), "off") << "not a dictionary";
  fs::remove(hv_test::preferences_path());
  fs::create_directories(hv_test::preferences_path());
  EXPECT_STREQ(currentPowerModeValue(), "off") << "a folder in the file's place";
}

TEST_F(ModeFile, AChoiceSetsTheModeDropsTheResetKeysAndKeepsEveryOtherKey) {
  hv_test::write_preferences({{contract::kPowerModeKey, objc::string("fullPower")},
                              {contract::kPreventDimmingKey, objc::boolean(true)},
                              {"someOtherKey", objc::string("kept")},
                              {"thermalPuppetValue", objc::number(3)},
                              {"cpuMinPowerValue", objc::number(4)},
                              {"thermalCPUPerformanceMode", objc::string("x")},
                              {"thermalMaxPerformanceEnabled", objc::boolean(true)},
                              {"thermalCPULimitEnabled", objc::boolean(true)},
                              {"thermalCPULimitPercent", objc::number(50)},
                              {"thermalDisableMitigationsEnabled", objc::boolean(false)}});

  applyPowerModeValue(objc::string("lowPower"));

  objc::Ref after = read_file();
  ASSERT_TRUE(after);
  EXPECT_EQ(mode_in_file(), "lowPower");
  for (const char* key : contract::kModeResetKeys) {
    EXPECT_EQ(objc::dictionaryGet(after.get(), key), nullptr) << key;
  }
  EXPECT_TRUE(objc::isBoolean(objc::dictionaryGet(after.get(), contract::kPreventDimmingKey)));
  EXPECT_TRUE(
      objc::platformBoolValue(objc::dictionaryGet(after.get(), contract::kPreventDimmingKey)));
  EXPECT_TRUE(objc::stringEquals(objc::dictionaryGet(after.get(), "someOtherKey"), "kept"));
  EXPECT_EQ(objc::count(after.get()), 3u);
}

TEST_F(ModeFile, AnUnreadableFileIsReplacedByOneHoldingOnlyTheMode) {
  for (const std::string& bytes :
       {std::string(), std::string("bplist00\xff\xff"), std::string("<plist><array/></plist>")}) {
    write_raw(bytes);
    applyPowerModeValue(objc::string("fullPower"));
    objc::Ref after = read_file();
    ASSERT_TRUE(after);
    EXPECT_EQ(objc::count(after.get()), 1u);
    EXPECT_EQ(mode_in_file(), "fullPower");
  }
  fs::remove(hv_test::preferences_path());
  applyPowerModeValue(objc::string("off"));
  EXPECT_EQ(mode_in_file(), "off") << "no file: created";
}

TEST_F(ModeFile, AChoicePublishesTheBareMagicWordThenPostsBothNotificationsInOrder) {
  Publications seen;
  applyPowerModeValue(objc::string("lowPower"));
  EXPECT_EQ(seen.names(), kOneChoice);
  ASSERT_EQ(seen.words().size(), 1u);
  EXPECT_EQ(seen.words()[0], 0x48414C5600000000ull);
  EXPECT_TRUE(contract::runtimeStateHasMagic(seen.words()[0]));
  EXPECT_EQ(seen.words()[0] & 0xFFFFFFFFull, 0u);
}

TEST_F(ModeFile, ChoosingTheCurrentModeAgainWritesAndAnnouncesAgain) {
  applyPowerModeValue(objc::string("fullPower"));
  hv_test::write_preferences({{contract::kPowerModeKey, objc::string("fullPower")},
                              {"thermalCPULimitPercent", objc::number(50)}});
  Publications seen;
  applyPowerModeValue(objc::string("fullPower"));
  EXPECT_EQ(seen.names(), kOneChoice);
  objc::Ref after = read_file();
  EXPECT_EQ(objc::dictionaryGet(after.get(), "thermalCPULimitPercent"), nullptr) << "rewritten";
}

TEST_F(ModeFile, AFailedWriteOrRegistrationStillPostsBothNotifications) {
  // A folder where the file belongs: nothing can be read or renamed into place.
  fs::create_directories(hv_test::preferences_path() + "/blocker");
  {
    Publications seen;
    applyPowerModeValue(objc::string("lowPower"));
    EXPECT_EQ(seen.names(), kOneChoice);
    EXPECT_TRUE(fs::is_directory(hv_test::preferences_path())) << "nothing written in its place";
  }
  fs::remove_all(hv_test::preferences_path());

  {
    Publications seen;
    g_fail_registration = true;
    applyPowerModeValue(objc::string("fullPower"));
    g_fail_registration = false;
    EXPECT_EQ(seen.names(),
              (std::vector<std::string>{contract::kExecutePuppetEventNotification,
                                        contract::kRestartThermalMonitorNotification}));
    EXPECT_TRUE(seen.words().empty()) << "no word published without a registration";
    EXPECT_EQ(mode_in_file(), "fullPower") << "the file is written all the same";
  }
}

}  // namespace

namespace {

// Without the preferences folder every choice used to fail while the restart was still
// posted: the tile never left "off". The folders below the jailbreak root are made first,
// and a file that could not be read is kept aside, never overwritten.
TEST_F(ModeFile, AChoiceMakesTheMissingFoldersAndKeepsAnUnreadableFileAside) {
  const fs::path var = hv_test::device_root() / "var/jb/var";
  fs::remove_all(var);
  applyPowerModeValue(objc::string("lowPower"));
  EXPECT_EQ(mode_in_file(), "lowPower");
  EXPECT_STREQ(currentPowerModeValue(), "lowPower");

  write_raw("bplist00 damaged");
  applyPowerModeValue(objc::string("fullPower"));
  EXPECT_EQ(mode_in_file(), "fullPower");
  std::ifstream aside(hv_test::preferences_path() + contract::kUnreadableSuffix, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(aside), {}), "bplist00 damaged");
  fs::remove(hv_test::preferences_path() + contract::kUnreadableSuffix);
}

}  // namespace
