#include "sim/device/scenario.hpp"

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/objc/foundation.hpp"
#include "extension/contract/contract.hpp"
#include "extension/contract/overheat.hpp"

namespace halvernic::sim::device {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

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

// A device root of the setting's own, booted afresh: its preferences file below the
// jailbreak root, the jailbreak's var/lib (where the extension keeps its state), no
// hardware left by an earlier run, and the daemon's launchd job. The job's throttle is 0:
// the run starts a daemon the extension ended at once, as launchd does for one that ran
// for its throttle interval (between two of the protection's restarts lies at least its
// minute).
std::string lay_out_case(const std::string& folder, const Setting& c) {
  fs::remove_all(folder);
  const std::string preferences = folder + "/var/jb/var/mobile/Library/Preferences";
  for (const std::string& made : {preferences, folder + "/var/jb/var/lib",
                                  folder + "/System/Library/LaunchDaemons", folder + "/var/run"}) {
    fs::create_directories(made);
  }
  objc::AutoreleasePool pool;
  objc::Ref plist = objc::makeMutableDictionary();
  if (c.mode) objc::dictionarySet(plist.get(), contract::kPowerModeKey, objc::string(c.mode));
  if (c.prevent_dimming) {
    objc::dictionarySet(plist.get(), contract::kPreventDimmingKey, objc::boolean(true));
  }
  if (!c.protection) {
    objc::dictionarySet(plist.get(), contract::kOverheatProtectionKey, objc::boolean(false));
  }
  const std::string path = preferences + "/" + kPreferencesName;
  if (!objc::writePropertyListXmlAtomically(plist.get(), path)) throw Error("cannot write " + path);
  objc::Ref job = objc::makeMutableDictionary();
  objc::dictionarySet(job.get(), "Label", objc::string(kDaemonLabel));
  objc::dictionarySet(job.get(), "ThrottleInterval", objc::number(0));
  const std::string job_path =
      folder + "/System/Library/LaunchDaemons/" + std::string(kDaemonLabel) + ".plist";
  if (!objc::writePropertyListXmlAtomically(job.get(), job_path)) {
    throw Error("cannot write " + job_path);
  }
  return folder;
}

// Each setting's line: one colour in every panel; a setting without the protection dashed,
// in a lighter shade of its protected twin's colour.
std::string line_style(const Setting& c) {
  const std::string name = c.name;
  const char* colour = "#6a3d9a";  // native
  if (name == "lowPower") colour = "#1b9e77";
  if (name == "fullPower") colour = "#1f78b4";
  if (name == "fullPower-unprotected") colour = "#8fb9dc";
  if (name == "preventDimming") colour = "#d95f02";
  if (name == "preventDimming-unprotected") colour = "#f4a46b";
  return std::string("lw 2 lc rgb '") + colour + "'" + (c.protection ? "" : " dt 2");
}

// Whether the protection can act in this setting (it guards fullPower and prevent-dimming).
bool guarded(const Setting& c) {
  return c.protection && ((c.mode && std::string(c.mode) == "fullPower") || c.prevent_dimming);
}

std::string gnuplot_script(const std::string& out_dir) {
  std::string s;
  s += "set terminal pngcairo size 1100,2000 font 'sans,10'\n";
  s += "set output '" + out_dir + "/heat.png'\n";
  s += "set multiplot layout 7,1 title "
       "'Heat scenario: one workload, six settings (simulated seconds)'\n";
  // The same margins for every panel, so that their time axes line up.
  s += "set lmargin 10\nset rmargin 34\n";
  s += "set key outside right top\nset grid\nset xlabel 'seconds'\n";
  auto file = [&](const Setting& c) { return "'" + out_dir + "/heat-" + c.name + ".dat'"; };
  struct Panel {
    const char* title;
    int column;
    const char* range;
  };
  const Panel panels[] = {
      {"die temperature (C)", 2, "[*:*]"},
      {"battery temperature (C); dots: overheat protection engaged (at 50 C), released at 45 C", 8,
       "[25:65]"},
      {"overheat protection engaged (1) or released (0)", 9, "[-0.2:1.2]"},
      {"thermal pressure level (as the daemon reports it)", 6, "[-0.5:4.5]"},
      {"CPU power limit (ceiling)", 3, "[0:55000]"},
      {"CPU level", 4, "[-0.5:4.5]"},
      {"brightness limit (%)", 5, "[0:105]"}};
  for (const Panel& panel : panels) {
    s += std::string("set title '") + panel.title + "'\nset yrange " + panel.range + "\n";
    s += "unset arrow\n";
    if (panel.column == 8) {
      s += "set arrow from graph 0, first 50 to graph 1, first 50 nohead dt 3 lc rgb 'red'\n";
      s += "set arrow from graph 0, first 45 to graph 1, first 45 nohead dt 3 lc rgb 'blue'\n";
    }
    s += "plot ";
    bool first = true;
    for (const Setting& c : kSettings) {
      // The protection's panel shows the settings it guards, the second a little lower.
      if (panel.column == 9 && !guarded(c)) continue;
      if (!first) s += ", ";
      first = false;
      const std::string using_ =
          panel.column == 9 ? std::string("1:($9") + (c.prevent_dimming ? "*0.96" : "") + ")"
                            : "1:" + std::to_string(panel.column);
      s += file(c) + " using " + using_ + " with " + (panel.column == 9 ? "steps" : "lines") + " " +
           line_style(c) + " title '" + c.name + "'";
      if (panel.column == 8 && guarded(c)) {
        s += ", " + file(c) + " using 1:($9 > 0 ? $8 : 1/0) with points pt 7 ps 0.5 " +
             line_style(c) + " notitle";
      }
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
    int protection = 0;
    if (fields >> s.step >> s.temperature >> s.cpu_power_ceiling >> s.cpu_level >>
        s.brightness_limit >> s.pressure >> s.cpu_target_power >> s.battery_temperature >>
        protection) {
      s.protection = protection != 0;
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
  summary.peak_battery_temperature = samples.front().battery_temperature;
  summary.lowest_cpu_power_ceiling = samples.front().cpu_power_ceiling;
  summary.lowest_brightness_limit = samples.front().brightness_limit;
  summary.final_temperature = samples.back().temperature;
  summary.final_battery_temperature = samples.back().battery_temperature;
  for (std::size_t i = 1; i < samples.size(); ++i) {
    if (samples[i].cpu_power_ceiling != samples[i - 1].cpu_power_ceiling) ++summary.limit_changes;
  }
  bool engaged = false;
  for (const Sample& s : samples) {
    if (s.protection) ++summary.seconds_protected;
    if (s.protection && !engaged) ++summary.engagements;
    engaged = s.protection;
    summary.peak_battery_temperature =
        std::max(summary.peak_battery_temperature, s.battery_temperature);
    summary.peak_temperature = std::max(summary.peak_temperature, s.temperature);
    summary.lowest_cpu_power_ceiling =
        std::min(summary.lowest_cpu_power_ceiling, s.cpu_power_ceiling);
    summary.lowest_brightness_limit = std::min(summary.lowest_brightness_limit, s.brightness_limit);
    if (s.cpu_target_power < cpu_demand) ++summary.seconds_throttled;
  }
  return summary;
}

std::string format_summaries(const std::vector<Summary>& summaries) {
  std::string out = "setting                     die peak °C  battery peak °C  throttled s";
  out += "  lowest CPU limit  lowest brightness %  limit changes  protected s  engaged";
  out += "  restarts  end die/battery °C\n";
  for (const Summary& s : summaries) {
    char line[300];
    std::snprintf(
        line, sizeof line,
        "%-26s  %11.1f  %15.1f  %11d  %16ld  %19ld  %13d  %11d  %7d  %8d  %11.1f / %4.1f\n",
        s.name.c_str(), s.peak_temperature, s.peak_battery_temperature, s.seconds_throttled,
        s.lowest_cpu_power_ceiling, s.lowest_brightness_limit, s.limit_changes, s.seconds_protected,
        s.engagements, s.restarts, s.final_temperature, s.final_battery_temperature);
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
  for (const Setting& c : kSettings) {
    const std::string case_root = lay_out_case(device.root() + "/var/tmp/scenario/" + c.name, c);
    std::vector<std::string> env;
    for (const std::string& entry : device.environment()) {
      // Each run keeps its notifications to itself: no notify daemon.
      if (entry.rfind("HALVERNIC_NOTIFY_SOCKET=", 0) == 0 ||
          entry.rfind("HALVERNIC_DEVICE_ROOT=", 0) == 0)
        continue;
      env.push_back(entry);
    }
    env.push_back("HALVERNIC_DEVICE_ROOT=" + case_root);
    const std::string trace = out_dir + "/heat-" + c.name + ".dat";
    // As launchd: a daemon the extension ended (SIGTERM) is started again at once, and
    // continues the device's time; the run is over when one reaches the end. A run that
    // ends in any other way, or that restarts more often than once every 10 s on
    // average, failed.
    const int most_launches = options.seconds / 10 + 2;
    int launches = 0;
    for (;;) {
      const HostResult result =
          run_bounded({programs.thermalmonitord, "--tweak-folder", device.tweak_folder(),
                       "--config", programs.configuration_folder, "--tick-ms", "0", "--cpu-demand",
                       std::to_string(options.cpu_demand), "--steps",
                       std::to_string(options.seconds), "--trace", trace},
                      env, 120s);
      ++launches;
      if (result.status == 0) break;
      if (result.status != 128 + SIGTERM || launches >= most_launches) {
        throw Error(std::string("the ") + c.name + " run failed (status " +
                    std::to_string(result.status) + "):\n" + result.err);
      }
    }
    Summary summary = summarise(c.name, parse_trace(read_file(trace)), options.cpu_demand);
    summary.restarts = launches - 1;
    summaries.push_back(summary);
  }
  ScenarioResult scenario;
  scenario.summaries = summaries;
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
