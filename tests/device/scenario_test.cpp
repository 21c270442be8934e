// The heat scenario's reading of the daemon's trace and its table.
#include <gtest/gtest.h>

#include "sim/device/scenario.hpp"

namespace {

namespace device = halvernic::sim::device;

TEST(HeatScenario, ReadsTraceLinesAndSkipsWhatIsNotOne) {
  const auto samples = device::parse_trace(
      "1 30.500 45000 0 100 0 45000 30.010 0\n"
      "garbage\n"
      "2 38.250 36000 2 85 1 30600 30.125 1\n"
      "3 39.0 36000 2 85 1 30600\n");
  ASSERT_EQ(samples.size(), 2u) << "a short line is no sample";
  EXPECT_EQ(samples[1].step, 2);
  EXPECT_DOUBLE_EQ(samples[1].temperature, 38.25);
  EXPECT_EQ(samples[1].cpu_power_ceiling, 36000);
  EXPECT_EQ(samples[1].cpu_level, 2);
  EXPECT_EQ(samples[1].brightness_limit, 85);
  EXPECT_EQ(samples[1].pressure, 1);
  EXPECT_EQ(samples[1].cpu_target_power, 30600);
  EXPECT_DOUBLE_EQ(samples[1].battery_temperature, 30.125);
  EXPECT_TRUE(samples[1].protection);
  EXPECT_FALSE(samples[0].protection);
}

TEST(HeatScenario, SummaryTakesPeaksLowestLimitsAndCountsSecondsBelowTheDemand) {
  const auto samples = device::parse_trace(
      "1 30.0 45000 0 100 0 45000 30.0 0\n"
      "2 41.5 27000 0 70 2 27000 50.2 1\n"
      "3 39.0 36000 0 85 1 40000 49.0 1\n"
      "4 37.0 45000 0 100 0 39999 44.9 0\n"
      "5 37.0 45000 0 100 0 39999 50.1 1\n");
  const device::Summary s = device::summarise("native", samples, 40000);
  EXPECT_EQ(s.name, "native");
  EXPECT_DOUBLE_EQ(s.peak_temperature, 41.5);
  EXPECT_DOUBLE_EQ(s.peak_battery_temperature, 50.2);
  EXPECT_EQ(s.lowest_cpu_power_ceiling, 27000);
  EXPECT_EQ(s.lowest_brightness_limit, 70);
  EXPECT_EQ(s.seconds_throttled, 3)
      << "allowed 27000 and 39999 of 40000; exactly the demand is no throttle";
  EXPECT_EQ(s.limit_changes, 3);
  EXPECT_EQ(s.seconds_protected, 3);
  EXPECT_EQ(s.engagements, 2) << "engaged at steps 2 and 5";
  EXPECT_DOUBLE_EQ(s.final_temperature, 37.0);
  EXPECT_DOUBLE_EQ(s.final_battery_temperature, 50.1);

  const device::Summary empty = device::summarise("none", {}, 40000);
  EXPECT_EQ(empty.seconds_throttled, 0);
  device::Summary restarted = s;
  restarted.name = "fullPower";
  restarted.restarts = 3;
  const std::string table = device::format_summaries({s, restarted});
  const std::string row =
      "native                             41.5             50.2            3             27000"
      "                   70              3            3        2         0         37.0 / 50.1\n";
  EXPECT_NE(table.find(row), std::string::npos) << table;
  EXPECT_NE(table.find("fullPower                          41.5"), std::string::npos) << table;
  EXPECT_NE(table.find("        2         3         37.0 / 50.1\n"), std::string::npos) << table;
}

}  // namespace
