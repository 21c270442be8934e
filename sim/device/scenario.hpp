// The heat scenario: the simulated daemon's thermal model under one fixed workload, run
// for the same simulated span in the native mode, lowPower, fullPower and with
// prevent-dimming, the last two with the overheat protection (its default) and without it,
// each on a device root of its own with the device's installed tweak; a table and a plot
// drawn by gnuplot.
//
// Each setting runs the daemon's steps back to back on the device's own time. When the
// extension restarts the daemon (the overheat protection changing fullPower), the run plays
// launchd: it starts the daemon again at once, and the new daemon continues the device's
// time and temperatures.
#pragma once

#include <string>
#include <vector>

#include "sim/device/device.hpp"

namespace halvernic::sim::device {

struct ScenarioOptions {
  std::string out_dir;
  int seconds = 600;       // simulated seconds (one model step each, run back to back)
  int cpu_demand = 40000;  // the workload's CPU power
};

// One step of one run: "step temperature cpuPowerCeiling cpuLevel brightnessLimit
// pressure cpuTargetPower batteryTemperature protection", as thermalmonitord --trace writes
// it (temperature is the die's; protection is 1 while the overheat protection is engaged).
struct Sample {
  int step = 0;
  double temperature = 0;
  long cpu_power_ceiling = 0, cpu_level = 0, brightness_limit = 0, pressure = 0,
       cpu_target_power = 0;
  double battery_temperature = 0;
  bool protection = false;
};

struct Summary {
  std::string name;
  double peak_temperature = 0;  // the die's
  double peak_battery_temperature = 0;
  int seconds_throttled = 0;  // steps in which the CPU was allowed less than the workload asked
  long lowest_cpu_power_ceiling = 0;
  long lowest_brightness_limit = 0;
  int limit_changes = 0;         // steps whose CPU power limit differs from the step before
  int seconds_protected = 0;     // steps with the overheat protection engaged
  int engagements = 0;           // times it engaged (a step engaged after one that was not)
  int restarts = 0;              // times the daemon was ended and started again
  double final_temperature = 0;  // at the last step
  double final_battery_temperature = 0;
};

std::vector<Sample> parse_trace(const std::string& text);
Summary summarise(const std::string& name, const std::vector<Sample>& samples, int cpu_demand);
std::string format_summaries(const std::vector<Summary>& summaries);

// The settings, in the table's order: name (also the trace's file name, heat-<name>.dat),
// mode, prevent-dimming, overheat protection.
struct Setting {
  const char* name;
  const char* mode;  // thermalPowerMode, or nullptr
  bool prevent_dimming;
  bool protection;  // false: thermalOverheatProtectionEnabled written false
};
inline constexpr Setting kSettings[] = {
    {"native", nullptr, false, true},        {"lowPower", "lowPower", false, true},
    {"fullPower", "fullPower", false, true}, {"fullPower-unprotected", "fullPower", false, false},
    {"preventDimming", nullptr, true, true}, {"preventDimming-unprotected", nullptr, true, false},
};

struct ScenarioResult {
  std::string table, table_file, plot;
  std::vector<Summary> summaries;  // kSettings' order
};

// Throws Error when the device has no installed tweak, a run fails, or gnuplot is missing.
ScenarioResult run_scenario(const Device& device, const ScenarioOptions& options);

}  // namespace halvernic::sim::device
