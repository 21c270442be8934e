#include "sim/device/scenario.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/objc/foundation.hpp"
#include "extension/contract/contract.hpp"

namespace halvernic::sim::device {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Case {
  const char* name;
  const char* mode;       // thermalPowerMode, or nullptr
  bool prevent_dimming;
};

constexpr Case kCases[] = {{"native", nullptr, false},
                           {"lowPower", "lowPower", false},
                           {"fullPower", "fullPower", false},
                           {"preventDimming", nullptr, true}};

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool has_tweak(const std::string& folder) {
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (it->path().extension() == ".plist") return true;
  }
  return false;
}

// A device root of the case's own, with its preferences file below the jailbreak root.
std::string lay_out_case(const std::string& folder, const Case& c) {
  const std::string preferences = folder + "/var/jb/var/mobile/Library/Preferences";
  fs::create_directories(preferences);
  objc::AutoreleasePool pool;
  objc::Ref plist = objc::make_mutable_dictionary();
  if (c.mode) objc::dictionary_set(plist.get(), contract::kPowerModeKey, objc::string(c.mode));
  if (c.prevent_dimming) {
    objc::dictionary_set(plist.get(), contract::kPreventDimmingKey, objc::boolean(true));
  }
  const std::string path = preferences + "/" + kPreferencesName;
  if (!objc::write_property_list_xml_atomically(plist.get(), path)) throw Error("cannot write " + path);
  return folder;
}

std::string gnuplot_script(const std::string& out_dir) {
  std::string s;
  s += "set terminal pngcairo size 1100,1600 font 'sans,10'\n";
  s += "set output '" + out_dir + "/heat.png'\n";
  s += "set multiplot layout 5,1 title "
       "'Heat scenario: one workload, four settings (simulated seconds)'\n";
  // The same margins for every panel, so that their time axes line up.
  s += "set lmargin 10\nset rmargin 22\n";
  s += "set key outside right top\nset grid\nset xlabel 'seconds'\n";
  struct Panel {
    const char* title;
    int column;
    const char* range;
  };
  const Panel panels[] = {{"temperature (C)", 2, "[*:*]"},
                          {"thermal pressure level (as the daemon reports it)", 6, "[-0.5:4.5]"},
                          {"CPU power limit (ceiling)", 3, "[0:55000]"},
                          {"CPU level", 4, "[-0.5:4.5]"},
                          {"brightness limit (%)", 5, "[0:105]"}};
  for (const Panel& panel : panels) {
    s += std::string("set title '") + panel.title + "'\nset yrange " + panel.range + "\nplot ";
    bool first = true;
    for (const Case& c : kCases) {
      if (!first) s += ", ";
      first = false;
      s += "'" + out_dir + "/heat-" + c.name + ".dat' using 1:" + std::to_string(panel.column) +
           " with lines lw 2 title '" + c.name + "'";
    }
    s += "\n";
  }
  s += "unset multiplot\n";
  return s;
}

}  // namespace

std::vector<Sample> parse_trace(const std::string& text) {
  std::vector<Sample> samples;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    Sample s;
    std::istringstream fields(line);
    if (fields >> s.step >> s.temperature >> s.cpu_power_ceiling >> s.cpu_level >> s.brightness_limit >> s.pressure >>
        s.cpu_target_power) {
      samples.push_back(s);
    }
  }
  return samples;
}

Summary summarise(const std::string& name, const std::vector<Sample>& samples, int cpu_demand) {
  Summary summary;
  summary.name = name;
  if (samples.empty()) return summary;
  summary.peak_temperature = samples.front().temperature;
  summary.lowest_cpu_power_ceiling = samples.front().cpu_power_ceiling;
  summary.lowest_brightness_limit = samples.front().brightness_limit;
  summary.final_temperature = samples.back().temperature;
  for (std::size_t i = 1; i < samples.size(); ++i) {
    if (samples[i].cpu_power_ceiling != samples[i - 1].cpu_power_ceiling) ++summary.limit_changes;
  }
  for (const Sample& s : samples) {
    summary.peak_temperature = std::max(summary.peak_temperature, s.temperature);
    summary.lowest_cpu_power_ceiling = std::min(summary.lowest_cpu_power_ceiling, s.cpu_power_ceiling);
    summary.lowest_brightness_limit = std::min(summary.lowest_brightness_limit, s.brightness_limit);
    if (s.cpu_target_power < cpu_demand) ++summary.seconds_throttled;
  }
  return summary;
}

std::string format_summaries(const std::vector<Summary>& summaries) {
  std::string out = "setting          peak °C  throttled s  lowest CPU limit  lowest brightness %";
  out += "  limit changes  end °C\n";
  for (const Summary& s : summaries) {
    char line[200];
    std::snprintf(line, sizeof line, "%-15s  %7.1f  %11d  %16ld  %19ld  %13d  %6.1f\n",
                  s.name.c_str(), s.peak_temperature, s.seconds_throttled,
                  s.lowest_cpu_power_ceiling, s.lowest_brightness_limit, s.limit_changes,
                  s.final_temperature);
    out += line;
  }
  return out;
}

ScenarioResult run_scenario(const Device& device, const ScenarioOptions& options) {
  if (!has_tweak(device.tweak_folder())) {
    throw Error("nothing is installed in " + device.tweak_folder() + " (hv-device install first)");
  }
  if (options.seconds <= 0) throw Error("the scenario needs a positive number of seconds");
  fs::create_directories(options.out_dir);
  const std::string out_dir = fs::absolute(options.out_dir).lexically_normal().string();
  const Programs& programs = device.programs();
  std::vector<Summary> summaries;
  for (const Case& c : kCases) {
    const std::string case_root = lay_out_case(device.root() + "/var/tmp/scenario/" + c.name, c);
    std::vector<std::string> env;
    for (const std::string& entry : device.environment()) {
      // Each run keeps its notifications to itself: no notify daemon.
      if (entry.rfind("HALVERNIC_NOTIFY_SOCKET=", 0) == 0 || entry.rfind("HALVERNIC_DEVICE_ROOT=", 0) == 0) continue;
      env.push_back(entry);
    }
    env.push_back("HALVERNIC_DEVICE_ROOT=" + case_root);
    const std::string trace = out_dir + "/heat-" + c.name + ".dat";
    const HostResult result = run_bounded(
        {programs.thermalmonitord, "--tweak-folder", device.tweak_folder(), "--config",
         programs.configuration_folder, "--tick-ms", "0", "--cpu-demand", std::to_string(options.cpu_demand),
         "--steps", std::to_string(options.seconds), "--trace", trace},
        env, 120s);
    if (result.status != 0) throw Error(std::string("the ") + c.name + " run failed:\n" + result.err);
    summaries.push_back(summarise(c.name, parse_trace(read_file(trace)), options.cpu_demand));
  }
  ScenarioResult scenario;
  scenario.table = format_summaries(summaries);
  scenario.table_file = out_dir + "/heat.txt";
  std::ofstream(scenario.table_file, std::ios::trunc) << scenario.table;
  const std::string script = out_dir + "/heat.gp";
  std::ofstream(script, std::ios::trunc) << gnuplot_script(out_dir);
  const HostResult plot = run_bounded({"/usr/bin/gnuplot", script}, device.environment(), 60s);
  if (plot.status != 0) throw Error("gnuplot failed (scripts/bootstrap installs it):\n" + plot.err);
  scenario.plot = out_dir + "/heat.png";
  return scenario;
}

}  // namespace halvernic::sim::device
