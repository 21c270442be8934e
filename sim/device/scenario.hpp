// The heat scenario: the simulated daemon's thermal model under one fixed workload, run
// for the same simulated span in the native mode, lowPower, fullPower and with
// prevent-dimming, each in a daemon of its own with the device's installed tweak; a table
// and a plot drawn by gnuplot.
#pragma once

#include <string>
#include <vector>

#include "sim/device/device.hpp"

namespace halvernic::sim::device {

struct ScenarioOptions {
  std::string out_dir;
  int seconds = 600;           // simulated seconds (one model step each, run back to back)
  int cpu_demand = 40000;      // the workload's CPU power
};

// One step of one run: "step temperature cpuPowerCeiling cpuLevel brightnessLimit
// pressure cpuTargetPower", as thermalmonitord --trace writes it.
struct Sample {
  int step = 0;
  double temperature = 0;
  long cpu_power_ceiling = 0, cpu_level = 0, brightness_limit = 0, pressure = 0, cpu_target_power = 0;
};

struct Summary {
  std::string name;
  double peak_temperature = 0;
  int seconds_throttled = 0;  // steps in which the CPU was allowed less than the workload asked
  long lowest_cpu_power_ceiling = 0;
  long lowest_brightness_limit = 0;
  int limit_changes = 0;          // steps whose CPU power limit differs from the step before
  double final_temperature = 0;   // at the last step
};

std::vector<Sample> parse_trace(const std::string& text);
Summary summarise(const std::string& name, const std::vector<Sample>& samples, int cpu_demand);
std::string format_summaries(const std::vector<Summary>& summaries);

struct ScenarioResult {
  std::string table, table_file, plot;
};

// Throws Error when the device has no installed tweak, a run fails, or gnuplot is missing.
ScenarioResult run_scenario(const Device& device, const ScenarioOptions& options);

}  // namespace halvernic::sim::device
