// The overheat protection's shared facts: its temperatures as text, and its state file as
// the extension keeps it (root's alone) and every reader takes it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "common/objc/foundation.hpp"
#include "extension/contract/overheat.hpp"

namespace {

namespace fs = std::filesystem;
namespace contract = halvernic::contract;
using Status = contract::OverheatStateReading::Status;

TEST(OverheatText, HundredthsOfADegreeAsCelsius) {
  EXPECT_EQ(contract::celsiusText(5000), "50.00");
  EXPECT_EQ(contract::celsiusText(4499), "44.99");
  EXPECT_EQ(contract::celsiusText(5), "0.05");
  EXPECT_EQ(contract::celsiusText(-305), "-3.05");
  EXPECT_EQ(contract::celsiusText(-5), "-0.05");
  EXPECT_EQ(contract::celsiusText(INT32_MIN), "-21474836.48");
}

TEST(OverheatThresholds, ReleaseBelowEngageWithAMinuteBetween) {
  EXPECT_EQ(contract::kOverheatEngageCentiCelsius, 5000);
  EXPECT_EQ(contract::kOverheatReleaseCentiCelsius, 4500);
  EXPECT_LT(contract::kOverheatReleaseCentiCelsius, contract::kOverheatEngageCentiCelsius);
  EXPECT_GT(contract::kOverheatMinimumEngagedSeconds, contract::kBatterySampleIntervalSeconds);
  EXPECT_STREQ(contract::kOverheatProtectionKey, "thermalOverheatProtectionEnabled");
  EXPECT_TRUE(contract::kOverheatProtectionDefault);
}

class OverheatState : public testing::Test {
protected:
  void SetUp() override {
    char folder[] = "/tmp/hv-overheat-test-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    base_ = folder;
    path_ = base_ + "/com.nu-falk.halvernic/overheat.plist";
  }
  void TearDown() override { fs::remove_all(base_); }
  void write_bytes(const char* bytes) {
    fs::create_directories(fs::path(path_).parent_path());
    std::FILE* file = std::fopen(path_.c_str(), "w");
    std::fputs(bytes, file);
    std::fclose(file);
  }
  std::string base_, path_;
};

TEST_F(OverheatState, KeptForRootAloneAndReadBack) {
  contract::OverheatState state;
  state.engagedAt = 1234567890123456789;
  state.engagedAtWall = 1'700'000'000;
  state.readingCentiCelsius = 5012;
  const mode_t previous = umask(0);
  ASSERT_EQ(contract::writeOverheatState(path_, state), 0);
  umask(previous);
  struct stat info{};
  ASSERT_EQ(stat(path_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u) << "root reads and writes it, no one else";
  ASSERT_EQ(stat(fs::path(path_).parent_path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0755u);

  const contract::OverheatStateReading reading = contract::readOverheatState(path_);
  EXPECT_EQ(reading.status, Status::engaged);
  EXPECT_EQ(reading.state, state);

  EXPECT_EQ(contract::removeOverheatState(path_), 0);
  EXPECT_EQ(contract::readOverheatState(path_).status, Status::released);
  EXPECT_EQ(contract::removeOverheatState(path_), 0) << "gone already is done";
  EXPECT_EQ(contract::readOverheatState("").status, Status::released);
}

TEST_F(OverheatState, AFileThatHoldsNoStateIsDamaged) {
  const char* damaged[] = {
      "garbage",
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><array/></plist>",
      "<?xml version=\"1.0\"?><plist "
      "version=\"1.0\"><dict><key>engaged</key><true/></dict></plist>",
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>engaged</key><false/>"
      "<key>engagedAt</key><integer>5</integer></dict></plist>",
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>engaged</key><string>yes</string>"
      "<key>engagedAt</key><integer>5</integer></dict></plist>",
  };
  for (const char* bytes : damaged) {
    write_bytes(bytes);
    EXPECT_EQ(contract::readOverheatState(path_).status, Status::damaged) << bytes;
  }
  write_bytes(std::string(contract::kMaxOverheatStateFileSize + 1, ' ').c_str());
  EXPECT_EQ(contract::readOverheatState(path_).status, Status::damaged) << "too large";
  write_bytes(
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>engaged</key><true/>"
      "<key>engagedAt</key><integer>7</integer></dict></plist>");
  const contract::OverheatStateReading minimal = contract::readOverheatState(path_);
  EXPECT_EQ(minimal.status, Status::engaged) << "the reading and the wall time are for people";
  EXPECT_EQ(minimal.state.engagedAt, 7);

  // Where the folder should be, a file: no state, and no state can be written.
  fs::remove_all(fs::path(path_).parent_path());
  write_bytes("");
  fs::remove(path_);
  fs::remove(fs::path(path_).parent_path());
  std::FILE* file = std::fopen(fs::path(path_).parent_path().c_str(), "w");
  std::fclose(file);
  EXPECT_EQ(contract::readOverheatState(path_).status, Status::released);
  EXPECT_NE(contract::writeOverheatState(path_, {}), 0);
}

}  // namespace
