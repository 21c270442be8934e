// halvernicctl on the simulated device, as a person with a shell on the phone uses it: the
// installed tool's status against what the daemon itself says (its call record, its log),
// a daemon whose methods have other types, a report the daemon may not write, mode and set
// reaching the daemon as a pane change does, and the status after the package's removal.
// Each test boots a device of its own (throttle 1 s) and shuts it down.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/objc/encoding.hpp"
#include "common/objc/foundation.hpp"
#include "extension/contract/contract.hpp"
#include "extension/contract/report.hpp"
#include "extension/osthermal/platform_reset.hpp"
#include "sim/device/device.hpp"
#include "sim/device/package.hpp"
#include "sim/device/state.hpp"
#include "tests/ctl/python_json.hpp"
#include "tests/support/files.hpp"

namespace {

using hv_test::readFile;
using hv_test::waitUntil;

namespace device = halvernic::sim::device;
namespace contract = halvernic::contract;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The table's line for a label in a section: its text ("" when there is none).
std::string tableLine(const std::string& table, const std::string& title,
                      const std::string& label) {
  const std::size_t section = table.find("\n" + title + "\n");
  if (section == std::string::npos) return "";
  const std::size_t end = table.find("\n\n", section + 1);
  std::istringstream lines(
      table.substr(section + 1, end == std::string::npos ? end : end - section));
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("  " + label + "  ", 0) == 0) {
      const std::size_t text = line.find_first_not_of(' ', 2 + label.size());
      return text == std::string::npos ? "" : line.substr(text);
    }
  }
  return "";
}

// The methods the table lists, "-[Class selector]" -> "outcome layer".
std::map<std::string, std::string> tableMethods(const std::string& table) {
  std::map<std::string, std::string> methods;
  std::istringstream lines(table);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string outcome, layer, method;
    if (line.rfind("    ", 0) != 0 || !(words >> outcome >> layer)) continue;
    if (layer != "hook" && layer != "replacement") continue;
    std::getline(words >> std::ws, method);
    method = method.substr(0, method.find(']') + 1);
    methods[method] = outcome + " " + layer;
  }
  return methods;
}

// The same from the JSON's methods.
std::map<std::string, std::string> jsonMethods(std::map<std::string, std::string>& json) {
  std::map<std::string, std::string> methods;
  auto unquoted = [](const std::string& text) { return text.substr(1, text.size() - 2); };
  for (int i = 0; json.count("extension.methods." + std::to_string(i) + ".class"); ++i) {
    const std::string at = "extension.methods." + std::to_string(i) + ".";
    const std::string method = std::string(json[at + "classMethod"] == "true" ? "+[" : "-[") +
                               unquoted(json[at + "class"]) + " " +
                               unquoted(json[at + "selector"]) + "]";
    methods[method] = unquoted(json[at + "outcome"]) + " " + unquoted(json[at + "layer"]);
  }
  return methods;
}

class CtlDevice : public testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/hv-ctl-device-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root_ = pattern;
  }
  void TearDown() override {
    if (d_ && d_->booted()) EXPECT_NO_THROW(d_->shutdown());
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  void boot(const std::string& retype = "") {
    d_ = std::make_unique<device::Device>(root_, device::Programs::of_this_build());
    device::BootOptions options;
    options.throttle_interval = 1.0;
    options.tick_ms = 200;
    options.retype = retype;
    ASSERT_NO_THROW(d_->boot(options));
    ASSERT_NO_THROW(d_->install());
    ASSERT_TRUE(fs::exists(d_->jailbreak_root() + "/usr/bin/halvernicctl")) << "not installed";
  }

  device::HostResult ctl(const std::vector<std::string>& arguments) {
    return d_->run_ctl(arguments, 60s);
  }

  // status as a table and as JSON (parsed by Python); both must succeed.
  std::string status(std::map<std::string, std::string>* json) {
    const device::HostResult table = ctl({"status"});
    EXPECT_EQ(table.status, 0) << table.err;
    const device::HostResult machine = ctl({"status", "--json"});
    EXPECT_EQ(machine.status, 0) << machine.err;
    *json = hv_test::parsedByPython(machine.out, root_);
    EXPECT_EQ(json->count("!"), 0u) << (*json)["!"] << "\n" << machine.out;
    return table.out;
  }

  pid_t daemon() const { return d_->job_pid(device::kDaemonLabel); }
  std::string log() const { return d_->log("thermalmonitord.log"); }
  int launches() const {
    const std::string text = d_->log("launchd.log");
    int n = 0;
    for (std::size_t at = text.find("launched com.apple.thermalmonitord"); at != std::string::npos;
         at = text.find("launched com.apple.thermalmonitord", at + 1)) {
      ++n;
    }
    return n;
  }

  std::string root_;
  std::unique_ptr<device::Device> d_;
};

// The installed extension, read by the installed tool: every hook and replacement installed,
// in the running daemon; the table and the JSON name the same methods, the same pid, the
// same mode; every method the daemon says was replaced is among them; hv-device state ends
// with the same status.
TEST_F(CtlDevice, StatusNamesEveryHookAndReplacementInstalledInTheRunningDaemon) {
  boot();
  std::map<std::string, std::string> json;
  const std::string table = status(&json);
  const std::string pid = std::to_string(daemon());
  EXPECT_EQ(tableLine(table, "thermalmonitord", "running"), "yes, pid " + pid) << table;
  EXPECT_EQ(json["thermalmonitord.pids.0"], pid);
  EXPECT_EQ(json.count("thermalmonitord.pids.1"), 0u);
  EXPECT_EQ(tableLine(table, "thermalmonitord", "extension loaded"), "yes, in pid " + pid);
  EXPECT_EQ(json["thermalmonitord.extensionLoaded"], "true");
  const std::string report = "Extension (its report)";
  EXPECT_EQ(tableLine(table, report, "report"), "ok");
  EXPECT_EQ(tableLine(table, report, "report file"), d_->jailbreak_root() + contract::kReportPath);
  EXPECT_EQ(json["extension.reportPath"],
            "\"" + d_->jailbreak_root() + contract::kReportPath + "\"");
  EXPECT_EQ(tableLine(table, report, "of pid"), pid);
  EXPECT_EQ(json["extension.pid"], pid);
  EXPECT_EQ(tableLine(table, report, "version"), contract::projectVersion());
  EXPECT_EQ(tableLine(table, report, "installed"), "51 of 51 (27 hooks, 24 replacements)");
  EXPECT_EQ(json["extension.installed"], "51");
  EXPECT_EQ(tableLine(table, report, "skipped"), "none");
  EXPECT_EQ(json["extension.skipped"], "0");
  EXPECT_EQ(tableLine(table, report, "applied mode"), "off (at the process's first application)");
  EXPECT_EQ(json["extension.appliedMode"], "\"off\"");

  const std::map<std::string, std::string> listed = tableMethods(table);
  EXPECT_EQ(listed.size(), 51u) << table;
  EXPECT_EQ(jsonMethods(json), listed);
  std::size_t hooks = 0;
  for (const auto& [method, what] : listed) {
    EXPECT_EQ(what.substr(0, what.find(' ')), "installed") << method;
    hooks += what.ends_with(" hook");
  }
  EXPECT_EQ(hooks, 27u);
  // What the daemon itself recorded as replaced in its classes.
  d_->daemon_state(5s);
  std::istringstream calls(readFile(root_ + "/var/run/thermalmonitord.calls"));
  std::size_t replaced = 0;
  for (std::string line; std::getline(calls, line);) {
    if (line.rfind("replaced ", 0) != 0) continue;
    ++replaced;
    EXPECT_EQ(listed.count(line.substr(9)), 1u) << line;
  }
  EXPECT_GE(replaced, 50u);

  const device::HostResult state = device::run_bounded(
      {d_->programs().build_dir + "/sim/device/hv-device", "--root", root_, "state"},
      d_->environment(), 60s);
  EXPECT_EQ(state.status, 0) << state.err;
  EXPECT_NE(state.out.find("halvernicctl status (" + d_->jailbreak_root() +
                           "/usr/bin/halvernicctl)\n\nhalvernicctl "),
            std::string::npos)
      << state.out;
  EXPECT_NE(state.out.find("  extension loaded  yes, in pid " + pid + "\n"), std::string::npos);
}

// A daemon of a future system whose getter and setter have other types: both are skipped,
// and status names them with both encodings, as the daemon's log does.
TEST_F(CtlDevice, AMethodWithOtherTypesIsShownSkippedWithBothEncodings) {
  boot("MitigationController/CPULevel=q16@0:8,MitigationController/setCPULevel:=v20@0:8q16");
  std::map<std::string, std::string> json;
  const std::string table = status(&json);
  const std::string report = "Extension (its report)";
  EXPECT_EQ(tableLine(table, "thermalmonitord", "extension loaded"),
            "yes, in pid " + std::to_string(daemon()));
  EXPECT_EQ(tableLine(table, report, "installed"), "49 of 51 (26 hooks, 23 replacements)");
  EXPECT_EQ(tableLine(table, report, "skipped"), "2");
  const std::string getter = std::string(
                                 "-[MitigationController CPULevel] (hook, "
                                 "MitigationControllerHook): other types: host q16@0:8, "
                                 "expected ") +
                             objc::methodTypes<int>();
  const std::string setter = std::string(
                                 "-[MitigationController setCPULevel:] (replacement, "
                                 "replacements): other types: host v20@0:8q16, expected ") +
                             objc::methodTypes<void, int>();
  EXPECT_NE(table.find("\n    " + getter + "\n"), std::string::npos) << table;
  EXPECT_NE(table.find("\n    " + setter + "\n"), std::string::npos) << table;
  EXPECT_EQ(tableMethods(table).at("-[MitigationController CPULevel]"), "typeMismatch hook");
  EXPECT_EQ(jsonMethods(json), tableMethods(table));
  EXPECT_EQ(json["extension.skipped"], "2");
  bool getterInJson = false, setterInJson = false;
  for (int i = 0; json.count("extension.methods." + std::to_string(i) + ".class"); ++i) {
    const std::string at = "extension.methods." + std::to_string(i) + ".";
    if (json[at + "selector"] == "\"CPULevel\"") {
      getterInJson =
          json[at + "hostTypes"] == "\"q16@0:8\"" &&
          json[at + "expectedTypes"] == "\"" + std::string(objc::methodTypes<int>()) + "\"";
    }
    if (json[at + "selector"] == "\"setCPULevel:\"") {
      setterInJson =
          json[at + "hostTypes"] == "\"v20@0:8q16\"" &&
          json[at + "expectedTypes"] == "\"" + std::string(objc::methodTypes<void, int>()) + "\"";
    }
  }
  EXPECT_TRUE(getterInJson);
  EXPECT_TRUE(setterInJson);
  EXPECT_NE(log().find("halvernic: MitigationControllerHook: other types for "
                       "-[MitigationController CPULevel]: host q16@0:8, expected " +
                       std::string(objc::methodTypes<int>())),
            std::string::npos)
      << log();
}

// Where the daemon may not write its report (here a file stands where its folder should
// be), status says "no report" and cannot tell whether the extension is loaded.
TEST_F(CtlDevice, AReportTheDaemonCannotWriteIsNoReport) {
  boot();
  const std::string folder = d_->jailbreak_root() + contract::kReportFolder;
  fs::remove_all(folder);
  {
    std::ofstream(folder) << "x";
  }
  const pid_t old = daemon();
  ASSERT_TRUE(device::signal_process(old, SIGTERM));
  ASSERT_NO_THROW(d_->wait_for_daemon(old, 20s));
  ASSERT_TRUE(
      waitUntil([&] { return log().find("halvernic: no report at ") != std::string::npos; }, 10s))
      << log();
  std::map<std::string, std::string> json;
  const std::string table = status(&json);
  EXPECT_EQ(tableLine(table, "Extension (its report)", "report"), "no report") << table;
  EXPECT_EQ(json["extension.report"], "\"missing\"");
  EXPECT_EQ(json["extension.methods"], "null");
  EXPECT_EQ(tableLine(table, "thermalmonitord", "extension loaded"), "unknown: no report");
  EXPECT_EQ(json["thermalmonitord.extensionLoaded"], "null");
  EXPECT_EQ(tableLine(table, "thermalmonitord", "running"), "yes, pid " + std::to_string(daemon()));
}

// mode and set reach the daemon as a change in the pane does: a switch is re-applied by the
// running daemon, a mode restarts it and the relaunched one applies the mode; status then
// shows what was written and the new process's report.
TEST_F(CtlDevice, ModeAndSetReachTheDaemonAsAPaneChangeDoes) {
  boot();
  const pid_t first = daemon();
  const int launched = launches();
  const std::size_t dimming = log().find("halvernic prevent dimming thermal state capped to light");
  ASSERT_EQ(dimming, std::string::npos) << log();
  // Past the daemon's throttle interval: a restart is not held back.
  std::this_thread::sleep_for(1s);
  const device::HostResult set = ctl({"set", "preventDimming", "on"});
  ASSERT_EQ(set.status, 0) << set.err;
  EXPECT_EQ(set.out.rfind(std::string(contract::kPreventDimmingKey) + " = on\n", 0), 0u) << set.out;
  EXPECT_TRUE(waitUntil(
      [&] {
        return log().find("halvernic prevent dimming thermal state capped to light") !=
               std::string::npos;
      },
      5s))
      << "the switch was not re-applied\n"
      << log();
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(daemon(), first) << "a switch restarted the daemon";
  EXPECT_EQ(launches(), launched);

  const device::HostResult mode = ctl({"mode", "fullPower"});
  ASSERT_EQ(mode.status, 0) << mode.err;
  pid_t relaunched = 0;
  ASSERT_NO_THROW(relaunched = d_->wait_for_daemon(first, 20s)) << log();
  EXPECT_NE(relaunched, first);
  ASSERT_TRUE(waitUntil([&] { return device::engine_mode(log()) == "fullPower"; }, 10s)) << log();
  EXPECT_NE(log().find("halvernic: restarting thermalmonitord after CPU mode change"),
            std::string::npos);

  std::map<std::string, std::string> json;
  ASSERT_TRUE(waitUntil(
      [&] {
        status(&json);
        return json["extension.pid"] == std::to_string(relaunched) &&
               json["extension.appliedMode"] == "\"fullPower\"";
      },
      10s))
      << "the relaunched daemon's report";
  const std::string table = status(&json);
  EXPECT_EQ(tableLine(table, "Preferences", contract::kPowerModeKey), "fullPower");
  EXPECT_EQ(tableLine(table, "Switches", contract::kPreventDimmingKey), "on (stored: true)");
  EXPECT_EQ(json[std::string("switches.") + contract::kPreventDimmingKey + ".stored"], "true");
  EXPECT_EQ(tableLine(table, "Runtime state", "word"), "0x48414C5600000000 (HALV, values 0 and 0)");
  EXPECT_EQ(json["runtimeState.word"], "\"0x48414C5600000000\"");
  EXPECT_EQ(tableLine(table, "thermalmonitord", "extension loaded"),
            "yes, in pid " + std::to_string(relaunched));
  // fullPower turns the daemon's mitigations off in the store.
  EXPECT_EQ(json["thermalStatusStore.engageBehavior"], "false");
  EXPECT_EQ(tableLine(table, "OS thermal status store (OSThermalStatus.plist)", "engageBehavior"),
            "false");
}

// After the package's removal the daemon runs without the extension: status (the build's
// tool now: the package took its own) says it is not loaded, and none of the nine keys the
// extension's settings wrote is left in the store.
TEST_F(CtlDevice, AfterRemovalTheExtensionIsNotLoadedAndTheNineKeysAreAbsent) {
  boot();
  std::this_thread::sleep_for(1s);
  const pid_t old = daemon();
  ASSERT_EQ(ctl({"mode", "fullPower"}).status, 0);
  ASSERT_NO_THROW(d_->wait_for_daemon(old, 20s));
  for (const char* name :
       {"preventDimming", "suppressNotifications", "disablePocketSunlight", "sunlightLocked"}) {
    ASSERT_EQ(ctl({"set", name, "on"}).status, 0) << name;
  }
  const std::string store = "OS thermal status store (OSThermalStatus.plist)";
  std::map<std::string, std::string> json;
  ASSERT_TRUE(waitUntil(
      [&] {
        status(&json);
        return json["thermalStatusStore.sunlightOverride"] == "true" &&
               json["thermalStatusStore.hipOverride"] == "false" &&
               json["thermalStatusStore.OSThermalNotificationEnabled"] == "false";
      },
      10s))
      << "the switches never reached the store";

  const device::RemovalReport removal = device::remove_package(*d_, false);
  ASSERT_TRUE(removal.removed) << device::format_report(removal);
  ASSERT_FALSE(fs::exists(d_->jailbreak_root() + "/usr/bin/halvernicctl"));
  const std::string table = status(&json);
  const std::string pid = std::to_string(daemon());
  EXPECT_EQ(tableLine(table, "thermalmonitord", "running"), "yes, pid " + pid) << table;
  EXPECT_EQ(
      tableLine(table, "thermalmonitord", "extension loaded").rfind("no: the report is of pid ", 0),
      0u)
      << table;
  EXPECT_EQ(json["thermalmonitord.extensionLoaded"], "false");
  std::size_t keys = 0;
  for (const auto& feature : halvernic::osthermal::kThermalStatusFeatures) {
    for (const char* key : {feature.flagKey, feature.persistenceKey}) {
      if (!key) continue;
      ++keys;
      EXPECT_EQ(tableLine(table, store, key), "absent (the platform's own)") << key;
      EXPECT_EQ(json[std::string("thermalStatusStore.") + key], "null") << key;
    }
  }
  EXPECT_EQ(keys, 9u);
  // The preferences stay until a purge.
  EXPECT_EQ(tableLine(table, "Preferences", contract::kPowerModeKey), "fullPower");
}

}  // namespace
