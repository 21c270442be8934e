// The state table's readings: the mode a file holds as every reader reads it, the mode the
// engine last applied and how often it applied, from its log lines.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "common/objc/foundation.hpp"
#include "sim/device/state.hpp"

namespace {

namespace device = halvernic::sim::device;

TEST(DeviceState, FileModeReadsAsEveryReaderDoes) {
  char pattern[] = "/tmp/hv-state-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::string file = std::string(pattern) + "/prefs.plist";
  objc::AutoreleasePool pool;
  EXPECT_EQ(device::file_mode(file), "off (no file)");
  std::ofstream(file) << "bplist00 broken";
  EXPECT_EQ(device::file_mode(file), "off (unreadable file)");
  auto write = [&](id mode) {
    objc::Ref plist = objc::makeMutableDictionary();
    objc::dictionarySet(plist.get(), "thermalPowerMode", mode);
    ASSERT_TRUE(objc::writePropertyListXmlAtomically(plist.get(), file));
  };
  write(objc::string("lowPower"));
  EXPECT_EQ(device::file_mode(file), "lowPower");
  write(objc::string("FullPower"));
  EXPECT_EQ(device::file_mode(file), "off") << "case-sensitive";
  write(objc::number(2));
  EXPECT_EQ(device::file_mode(file), "off") << "a number is no mode";
  std::filesystem::remove_all(pattern);
}

TEST(DeviceState, EngineModeIsTheLastAppliedAndEveryApplicationIsCounted) {
  const std::string log =
      "x halvernic native/lowPower thermal state: leaving system pressure untouched\n"
      "x halvernic: native thermal mode restored\n"
      "x halvernic fullPower thermal state nominal -> Darwin pressure 0 (0)\n"
      "x halvernic: full power mode\n"
      "x halvernic: restarting thermalmonitord after CPU mode change\n"
      "x halvernic prevent dimming thermal state capped to light without power target override\n"
      "x halvernic: low power mode at CPU level 2 with soft ceiling\n";
  EXPECT_EQ(device::engine_mode(log), "lowPower");
  EXPECT_EQ(device::engine_applications(log), 3);
  EXPECT_EQ(device::engine_mode("thermalmonitord: ready\n"), "");
  EXPECT_EQ(device::engine_applications(""), 0);
}

TEST(DeviceState, TableColumnsAlign) {
  EXPECT_EQ(device::format_table({{"a", "1"}, {"longer", "2"}}), "a       1\nlonger  2\n");
}

}  // namespace
