// The heat scenario's reading of the daemon's trace and its table.
#include <gtest/gtest.h>

#include "sim/device/scenario.hpp"

namespace {

namespace device = halvernic::sim::device;

TEST(HeatScenario, ReadsTraceLinesAndSkipsWhatIsNotOne) {
  const auto samples = device::parse_trace(
      "1 30.500 45000 0 100 0 45000\n"
      "garbage\n"
      "2 38.250 36000 2 85 1 30600\n"
      "3 39.0 36000\n");
  ASSERT_EQ(samples.size(), 2u) << "a short line is no sample";
  EXPECT_EQ(samples[1].step, 2);
  EXPECT_DOUBLE_EQ(samples[1].temperature, 38.25);
  EXPECT_EQ(samples[1].cpu_power_ceiling, 36000);
  EXPECT_EQ(samples[1].cpu_level, 2);
  EXPECT_EQ(samples[1].brightness_limit, 85);
  EXPECT_EQ(samples[1].pressure, 1);
  EXPECT_EQ(samples[1].cpu_target_power, 30600);
}

TEST(HeatScenario, SummaryTakesPeaksLowestLimitsAndCountsSecondsBelowTheDemand) {
  const auto samples = device::parse_trace(
      "1 30.0 45000 0 100 0 45000\n"
      "2 41.5 27000 0 70 2 27000\n"
      "3 39.0 36000 0 85 1 40000\n"
      "4 37.0 45000 0 100 0 39999\n");
  const device::Summary s = device::summarise("native", samples, 40000);
  EXPECT_EQ(s.name, "native");
  EXPECT_DOUBLE_EQ(s.peak_temperature, 41.5);
  EXPECT_EQ(s.lowest_cpu_power_ceiling, 27000);
  EXPECT_EQ(s.lowest_brightness_limit, 70);
  EXPECT_EQ(s.seconds_throttled, 2) << "allowed 27000 and 39999 of 40000; exactly the demand is no throttle";
  EXPECT_EQ(s.limit_changes, 3);
  EXPECT_DOUBLE_EQ(s.final_temperature, 37.0);

  const device::Summary empty = device::summarise("none", {}, 40000);
  EXPECT_EQ(empty.seconds_throttled, 0);
  const std::string table = device::format_summaries({s});
  const std::string row = "native              41.5            2             27000"
                          "                   70              3    37.0\n";
  EXPECT_NE(table.find(row), std::string::npos) << table;
}

}  // namespace
