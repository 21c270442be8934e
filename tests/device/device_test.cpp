// The simulated device end to end: booted below a fresh root with a throttle of 1 s (the
// waits stay short), the package installed, changes made with the front-ends' write steps
// and posts, faults injected. Every wait is bounded; each test shuts its device down.
#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>
#include <notify.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/objc/foundation.hpp"
#include "extension/contract/contract.hpp"
#include "extension/osthermal/platform_reset.hpp"
#include "extension/contract/report.hpp"
#include "sim/device/device.hpp"
#include "sim/device/package.hpp"
#include "sim/device/scenario.hpp"
#include "sim/device/state.hpp"

namespace {

namespace device = halvernic::sim::device;
namespace contract = halvernic::contract;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

template <class Predicate>
bool wait_until(Predicate done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

device::HostResult tool(const std::vector<std::string>& args) {
  std::vector<std::string> argv{HV_DEVICE_TOOL};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    if (std::string(*e).rfind("HALVERNIC_", 0) != 0) env.emplace_back(*e);
  }
  return device::run_bounded(argv, env, 60s);
}

void post(const char* name) {
  CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(),
                                       reinterpret_cast<CFStringRef>(objc::string(name)), nullptr, nullptr, true);
}

class Device : public testing::Test {
protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/hv-device-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root_ = new std::string(pattern);
    // This process talks to the device's notify daemon, as the front-ends do.
    ::setenv("HALVERNIC_NOTIFY_SOCKET", (*root_ + "/var/run/hv-notifyd.socket").c_str(), 1);
  }
  static void TearDownTestSuite() {
    fs::remove_all(*root_);
    delete root_;
  }

  void SetUp() override {
    d_ = std::make_unique<device::Device>(*root_, device::Programs::of_this_build());
    device::BootOptions options;
    options.throttle_interval = 1.0;
    options.tick_ms = 200;
    ASSERT_NO_THROW(d_->boot(options));
    ASSERT_NO_THROW(d_->install());
  }
  void TearDown() override {
    if (d_->booted()) EXPECT_NO_THROW(d_->shutdown());
    EXPECT_EQ(daemons(), 0) << "a thermalmonitord of this device outlived the shutdown";
    EXPECT_EQ(d_->job_pid(device::kNotifydLabel), 0);
  }

  // The thermalmonitord processes of this device (their arguments name its tweak folder).
  int daemons() const {
    int n = 0;
    std::error_code error;
    for (fs::directory_iterator it("/proc", error), end; !error && it != end; it.increment(error)) {
      std::string cmdline = read_file(it->path().string() + "/cmdline");
      std::replace(cmdline.begin(), cmdline.end(), '\0', ' ');
      const std::string stat = read_file(it->path().string() + "/stat");
      const bool zombie = stat.find(") Z") != std::string::npos;
      if (!zombie && cmdline.find("thermalmonitord --tweak-folder " + d_->tweak_folder()) != std::string::npos) ++n;
    }
    return n;
  }

  pid_t daemon_pid() const { return d_->job_pid(device::kDaemonLabel); }
  std::string log() const { return read_file(d_->log_file("thermalmonitord.log")); }
  std::string calls() const { return read_file(*root_ + "/var/run/thermalmonitord.calls"); }
  int launches() const {
    const std::string text = read_file(d_->log_file("launchd.log"));
    int n = 0;
    for (std::size_t at = text.find("launched com.apple.thermalmonitord"); at != std::string::npos;
         at = text.find("launched com.apple.thermalmonitord", at + 1)) {
      ++n;
    }
    return n;
  }

  // One change as the front-ends make it: the file, the runtime-state word, the posts.
  void change(const char* key, id value, bool restart) {
    ASSERT_TRUE(contract::write_preference_value(d_->preferences_file(), key, value));
    int token = 0;
    if (notify_register_check(contract::kRuntimeStateNotification, &token) == NOTIFY_STATUS_OK) {
      notify_set_state(token, contract::kPublishedRuntimeState);
      notify_post(contract::kRuntimeStateNotification);
      notify_cancel(token);
    }
    post(contract::kExecutePuppetEventNotification);
    if (restart) post(contract::kRestartThermalMonitorNotification);
  }
  void choose_mode(const char* mode) { change(contract::kPowerModeKey, objc::string(mode), true); }

public:
  // For the removal tests' helpers.
  void choose_mode_for_removal(const char* mode) { choose_mode(mode); }
  void change_for_removal(const char* key, id value) {
    change(key, value, key == std::string(contract::kPowerModeKey));
  }

protected:
  // Waits for a daemon other than old; its state.
  std::map<std::string, std::string> relaunched(pid_t old) {
    pid_t now = 0;
    EXPECT_NO_THROW(now = d_->wait_for_daemon(old, 10s));
    EXPECT_NE(now, old);
    return d_->daemon_state(5s);
  }

  static std::string* root_;
  std::unique_ptr<device::Device> d_;
  objc::AutoreleasePool pool_;
};
std::string* Device::root_ = nullptr;

TEST_F(Device, LaysOutTheJailbreakAndLoadsTheInstalledTweakThroughItsFilter) {
  EXPECT_TRUE(fs::is_directory(*root_ + "/var/jb/var/mobile/Library/Preferences"));
  EXPECT_TRUE(fs::is_directory(*root_ + "/var/mobile/Library/Preferences")) << "the system's, apart";
  EXPECT_NE(d_->preferences_file(), d_->system_preferences_file());
  EXPECT_TRUE(fs::exists(d_->tweak_folder() + "/halvernic.plist"));
  EXPECT_TRUE(fs::exists(d_->tweak_folder() + "/halvernic.so"));
  EXPECT_TRUE(fs::exists(*root_ + "/var/jb/usr/lib/libroot.so"));
  EXPECT_EQ(launches(), 2) << "boot, then the relaunch after the install";
  d_->daemon_state(5s);  // writes the call record too
  EXPECT_NE(calls().find("replaced -[MitigationController setCPULevel:]"), std::string::npos)
      << "the tweak loader loaded halvernic into the relaunched daemon";
  EXPECT_EQ(daemons(), 1);
  EXPECT_EQ(device::engine_mode(log()), "off");
}

// The extension's report, where jbroot puts it on the device: every hook and replacement
// installed, for the running daemon; a mode change's relaunched daemon writes its own, with
// the mode its first application applied.
TEST_F(Device, TheInstalledExtensionReportsEveryHookAndReplacementForTheRunningDaemon) {
  const std::string path = d_->jailbreak_root() + contract::kReportPath;
  contract::ReportReading reading = contract::read_extension_report(path);
  ASSERT_TRUE(reading.ok()) << path << ": " << reading.problem;
  EXPECT_EQ(reading.report.pid, daemon_pid());
  EXPECT_EQ(reading.report.appliedMode, contract::PowerMode::off);
  EXPECT_EQ(reading.report.count(contract::InstallOutcome::installed, contract::ReportLayer::replacement), 24u);
  EXPECT_EQ(reading.report.count(contract::InstallOutcome::installed, contract::ReportLayer::hook), 27u);
  EXPECT_EQ(reading.report.methods.size(), 51u);
  EXPECT_EQ(log().find("halvernic: no report at"), std::string::npos) << log();

  const pid_t old = daemon_pid();
  choose_mode("fullPower");
  relaunched(old);
  reading = contract::read_extension_report(path);
  ASSERT_TRUE(reading.ok()) << reading.problem;
  EXPECT_EQ(reading.report.pid, daemon_pid());
  EXPECT_NE(reading.report.pid, old);
  EXPECT_EQ(reading.report.appliedMode, contract::PowerMode::fullPower);
  EXPECT_EQ(reading.report.count(contract::InstallOutcome::installed), 51u);
}

TEST_F(Device, ToolAnswersMistakesWithAMessageAndAStatus) {
  const auto usage = tool({});
  EXPECT_EQ(usage.status, 2);
  EXPECT_NE(usage.err.find("usage: hv-device"), std::string::npos);
  const auto verb = tool({"--root", *root_, "reboot-into-dfu"});
  EXPECT_EQ(verb.status, 1);
  EXPECT_NE(verb.err.find("unknown verb 'reboot-into-dfu'"), std::string::npos) << verb.err;
  const auto missing = tool({"--root", *root_ + "/nowhere", "state"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("is not booted"), std::string::npos) << missing.err;
  const auto again = tool({"--root", *root_, "boot"});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("is already booted"), std::string::npos) << again.err;
  EXPECT_EQ(daemons(), 1) << "a refused boot started nothing";

  const auto bad_value = tool({"--root", *root_, "change", "thermalPreventDimmingEnabled", "yes"});
  EXPECT_EQ(bad_value.status, 1);
  EXPECT_NE(bad_value.err.find("takes true or false, not yes"), std::string::npos) << bad_value.err;
  const auto bad_mode = tool({"--root", *root_, "change", "thermalPowerMode", "native"});
  EXPECT_EQ(bad_mode.status, 1);
  EXPECT_EQ(device::file_mode(d_->preferences_file()), "off (no file)") << "a refused change writes nothing";
  const auto no_host = tool({"--root", *root_, "screenshot", "springboard", "x.png"});
  EXPECT_EQ(no_host.status, 1);

  // The mode chosen again restarts nothing, and the tool does not wait for a relaunch.
  const pid_t before = daemon_pid();
  const auto same = tool({"--root", *root_, "change", "thermalPowerMode", "off"});
  EXPECT_EQ(same.status, 0) << same.err;
  EXPECT_NE(same.out.find("thermalmonitord keeps running (pid " + std::to_string(before) +
                          "): the mode did not change"),
            std::string::npos)
      << same.out;
  EXPECT_EQ(daemon_pid(), before);

  const auto state = tool({"--root", *root_, "state"});
  EXPECT_EQ(state.status, 0) << state.err;
  EXPECT_NE(state.out.find("mode: engine"), std::string::npos);
  EXPECT_NE(state.out.find("launches of thermalmonitord          2"), std::string::npos) << state.out;

  const auto down = tool({"--root", *root_, "shutdown"});
  EXPECT_EQ(down.status, 0) << down.err;
  EXPECT_EQ(daemons(), 0);
  const auto twice = tool({"--root", *root_, "shutdown"});
  EXPECT_EQ(twice.status, 1);
  EXPECT_NE(twice.err.find("is not booted"), std::string::npos);
}

TEST_F(Device, ModeChosenAsTheFrontEndsDoReachesTheRelaunchedDaemonsSettersAs50000) {
  const pid_t old = daemon_pid();
  choose_mode("fullPower");
  const auto state = relaunched(old);
  EXPECT_NE(calls().find("call MitigationController setCPUPowerCeiling:fromDecisionSource: 50000 0"), std::string::npos);
  EXPECT_NE(calls().find("call MitigationController setPackagePowerCeiling:fromDecisionSource: 50000 0"),
            std::string::npos);
  EXPECT_NE(calls().find("call MitigationController setMaxPackagePower: 50000"), std::string::npos);
  EXPECT_EQ(state.at("thermalSimulation"), "nominal");
  // The product's own limit, set at every step, passes the replacement layer, which reads
  // the same file through the jailbreak root.
  const int steps = std::stoi(d_->daemon_state(5s).at("report"));
  std::this_thread::sleep_for(600ms);
  const auto later = d_->daemon_state(5s);
  EXPECT_GT(std::stoi(later.at("report")), steps);
  EXPECT_EQ(later.at("cpuPowerCeiling"), "50000");
  EXPECT_EQ(later.at("packagePowerCeiling"), "50000");
  EXPECT_EQ(device::engine_mode(log()), "fullPower");
  EXPECT_NE(log().find("halvernic: restarting thermalmonitord after CPU mode change"), std::string::npos);
  EXPECT_NE(read_file(d_->log_file("launchd.log")).find("exited with signal 15"), std::string::npos);
  EXPECT_EQ(daemons(), 1);
}

TEST_F(Device, SwitchInThePaneReappliesWithoutARestart) {
  const pid_t pid = daemon_pid();
  const int before = device::engine_applications(log());
  change(contract::kPreventDimmingKey, objc::boolean(true), false);
  EXPECT_TRUE(wait_until([&] { return d_->daemon_state(5s).at("thermalSimulation") == "light"; }, 5s));
  EXPECT_GT(device::engine_applications(log()), before);
  EXPECT_EQ(daemon_pid(), pid) << "a switch never restarts the daemon";
  EXPECT_EQ(launches(), 2);
}

TEST_F(Device, NotifyDaemonKilledIsRelaunchedAndTheDaemonHearsTheNextChange) {
  const pid_t notifyd = d_->job_pid(device::kNotifydLabel);
  ASSERT_TRUE(device::signal_process(notifyd, SIGKILL));
  ASSERT_TRUE(wait_until([&] { return d_->job_pid(device::kNotifydLabel) > 0 && d_->job_pid(device::kNotifydLabel) != notifyd; }, 5s));
  const pid_t old = daemon_pid();
  // Posts made before the daemon's connection is back are lost, as on a device; the
  // front-end's next change is heard.
  EXPECT_TRUE(wait_until(
      [&] {
        choose_mode("lowPower");
        return d_->job_pid(device::kDaemonLabel) != old;
      },
      5s));
  const auto state = relaunched(old);
  EXPECT_EQ(state.at("cpuLevel"), "2");
  EXPECT_EQ(device::engine_mode(log()), "lowPower");
  EXPECT_EQ(daemons(), 1);
}

TEST_F(Device, DaemonKilledWithSIGKILLComesBackInTheFilesMode) {
  ASSERT_TRUE(contract::write_preference_value(d_->preferences_file(), contract::kPowerModeKey, objc::string("lowPower")));
  const pid_t old = daemon_pid();
  ASSERT_TRUE(device::signal_process(old, SIGKILL));
  const auto state = relaunched(old);
  EXPECT_EQ(state.at("cpuLevel"), "2");
  EXPECT_EQ(state.at("powerSave"), "1");
  EXPECT_NE(read_file(d_->log_file("launchd.log")).find("exited with signal 9"), std::string::npos);
  EXPECT_EQ(daemons(), 1);
}

// Each damaged file replaces one that named lowPower, so the restart that follows it changes
// the mode (a restart that would change nothing ends nothing).
TEST_F(Device, CorruptOrHugePreferencesFileNeverStopsTheDevice) {
  pid_t old = daemon_pid();
  choose_mode("lowPower");
  EXPECT_EQ(relaunched(old).at("cpuLevel"), "2");
  old = daemon_pid();
  std::ofstream(d_->preferences_file(), std::ios::trunc | std::ios::binary) << "bplist00\x01\xff garbage";
  post(contract::kRestartThermalMonitorNotification);
  relaunched(old);
  EXPECT_EQ(device::engine_mode(log()), "off") << "an unreadable file reads as the native mode";

  // A file of 4 MB is no preferences file (a real one is under 2 KB): every reader takes it
  // as unreadable, so the daemon runs natively and keeps stepping, never stalled by it.
  old = daemon_pid();
  choose_mode("lowPower");
  EXPECT_EQ(relaunched(old).at("cpuLevel"), "2");
  old = daemon_pid();
  objc::Ref huge = objc::make_mutable_dictionary();
  objc::dictionary_set(huge.get(), "thermalPowerMode", objc::string("fullPower"));
  objc::dictionary_set(huge.get(), "padding", objc::string(std::string(4 << 20, 'x')));
  ASSERT_TRUE(objc::write_property_list_xml_atomically(huge.get(), d_->preferences_file()));
  post(contract::kRestartThermalMonitorNotification);
  relaunched(old);
  const int steps = std::stoi(d_->daemon_state(5s).at("report"));
  std::this_thread::sleep_for(600ms);
  const auto later = d_->daemon_state(5s);
  EXPECT_GT(std::stoi(later.at("report")), steps);
  EXPECT_EQ(device::engine_mode(log()), "off") << "a file above 1 MiB reads as the native mode";
  EXPECT_NE(later.at("cpuPowerCeiling"), "50000") << "the replacement layer does not read it either";

  // Back to a file of normal size: its mode is honoured again, through the engine and
  // through the replacement layer (the product's own limit, set at every step).
  old = daemon_pid();
  choose_mode("fullPower");
  const auto state = relaunched(old);
  EXPECT_EQ(state.at("thermalSimulation"), "nominal");
  const int steps_full = std::stoi(d_->daemon_state(5s).at("report"));
  std::this_thread::sleep_for(600ms);
  const auto full = d_->daemon_state(5s);
  EXPECT_GT(std::stoi(full.at("report")), steps_full);
  EXPECT_EQ(full.at("cpuPowerCeiling"), "50000");
  EXPECT_EQ(full.at("packagePowerCeiling"), "50000");
  EXPECT_EQ(device::engine_mode(log()), "fullPower");

  // A corrupt file is replaced whole by the next change.
  old = daemon_pid();
  std::ofstream(d_->preferences_file(), std::ios::trunc) << "<plist><dict><key>thermalPowerMode";
  choose_mode("lowPower");
  EXPECT_EQ(relaunched(old).at("cpuLevel"), "2");
  EXPECT_EQ(device::file_mode(d_->preferences_file()), "lowPower");
  EXPECT_EQ(daemons(), 1);
}

TEST_F(Device, StormOfRestartNotificationsEndsInOneDaemonInTheFilesMode) {
  ASSERT_TRUE(contract::write_preference_value(d_->preferences_file(), contract::kPowerModeKey, objc::string("fullPower")));
  const pid_t old = daemon_pid();
  const int before = launches();
  for (int i = 0; i < 100; ++i) post(contract::kRestartThermalMonitorNotification);
  const auto state = relaunched(old);
  // Longer than the throttle and the restart delay: any second relaunch would show.
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(launches(), before + 1) << read_file(d_->log_file("launchd.log"));
  EXPECT_EQ(daemons(), 1);
  EXPECT_EQ(d_->daemon_state(5s).at("thermalSimulation"), "nominal");
  EXPECT_EQ(device::engine_mode(log()), "fullPower");
}

// The scenario on the installed tweak: fullPower runs hottest and never throttles,
// preventDimming keeps the display brighter than the native mode, gnuplot draws the plot.
TEST_F(Device, HeatScenarioComparesTheFourSettingsInATableAndAPlot) {
  device::ScenarioOptions options;
  options.out_dir = *root_ + "/heat";
  options.seconds = 120;
  const device::ScenarioResult result = device::run_scenario(*d_, options);
  std::map<std::string, std::vector<device::Sample>> runs;
  for (const char* name : {"native", "lowPower", "fullPower", "preventDimming"}) {
    runs[name] = device::parse_trace(read_file(options.out_dir + "/heat-" + name + ".dat"));
    ASSERT_EQ(runs[name].size(), 120u) << name;
  }
  const auto native = device::summarise("native", runs["native"], options.cpu_demand);
  const auto low = device::summarise("lowPower", runs["lowPower"], options.cpu_demand);
  const auto full = device::summarise("fullPower", runs["fullPower"], options.cpu_demand);
  const auto dim = device::summarise("preventDimming", runs["preventDimming"], options.cpu_demand);
  EXPECT_GT(full.peak_temperature, native.peak_temperature + 10);
  EXPECT_EQ(full.seconds_throttled, 0);
  EXPECT_EQ(full.lowest_cpu_power_ceiling, 50000);
  EXPECT_LE(low.peak_temperature, native.peak_temperature);
  EXPECT_EQ(runs["lowPower"].back().cpu_level, 2);
  EXPECT_GT(dim.lowest_brightness_limit, native.lowest_brightness_limit);
  EXPECT_NE(result.table.find("preventDimming"), std::string::npos);
  const std::string png = read_file(result.plot);
  ASSERT_GT(png.size(), 8u);
  EXPECT_EQ(png.substr(1, 3), "PNG");
}

// Through the simulated Control Center, as a person uses it: the tile cycles the mode, the
// expanded menu chooses one; each choice reaches the relaunched daemon.
TEST_F(Device, ControlCenterTileAndMenuReachTheRelaunchedDaemon) {
  if (device::Programs::of_this_build().controlcenter.empty()) GTEST_SKIP() << "hv-controlcenter is not built";
  pid_t old = daemon_pid();
  const auto tapped = d_->run_host(device::Host::kControlCenter, {"tap-tile", "state"}, 60s);
  ASSERT_EQ(tapped.status, 0) << tapped.err;
  EXPECT_NE(tapped.out.find("mode: lowPower"), std::string::npos) << tapped.out;
  EXPECT_EQ(relaunched(old).at("cpuLevel"), "2");

  // The daemon has run less than the throttle (1 s here) by now: launchd holds the next
  // launch until then, and the choice still arrives.
  old = daemon_pid();
  const auto chosen = d_->run_host(device::Host::kControlCenter, {"expand", "choose", "满频率", "rows"}, 60s);
  ASSERT_EQ(chosen.status, 0) << chosen.err;
  EXPECT_NE(chosen.out.find("chose: 满频率"), std::string::npos) << chosen.out;
  relaunched(old);
  EXPECT_NE(calls().find("call MitigationController setCPUPowerCeiling:fromDecisionSource: 50000 0"), std::string::npos);
  EXPECT_EQ(device::engine_mode(log()), "fullPower");
  const auto table = device::format_table(device::state_table(*d_));
  EXPECT_NE(table.find("mode: module                         mode: fullPower"), std::string::npos) << table;
  if (!device::Programs::of_this_build().settings.empty()) {
    EXPECT_EQ(table.find("mode: pane                           ("), std::string::npos) << "the pane reads the mode: " << table;
  }
  EXPECT_EQ(daemons(), 1);

  const auto wrong = d_->run_host(device::Host::kControlCenter, {"choose", "Turbo"}, 60s);
  EXPECT_NE(wrong.status, 0) << "an unknown row is an error";
}

// Through the simulated Settings app: a switch re-applies in the running daemon, the CPU
// mode menu restarts it into the chosen mode.
TEST_F(Device, SettingsPaneSwitchReappliesAndItsMenuRestartsTheDaemon) {
  if (device::Programs::of_this_build().settings.empty()) GTEST_SKIP() << "hv-settings is not built";
  const pid_t pid = daemon_pid();
  const int before = device::engine_applications(log());
  const auto toggled = d_->run_host(device::Host::kSettings, {"toggle", "防止温控调暗屏幕"}, 60s);
  ASSERT_EQ(toggled.status, 0) << toggled.err;
  EXPECT_NE(toggled.out.find("toggled\t防止温控调暗屏幕\ton"), std::string::npos) << toggled.out;
  EXPECT_TRUE(wait_until([&] { return d_->daemon_state(5s).at("thermalSimulation") == "light"; }, 5s));
  EXPECT_GT(device::engine_applications(log()), before);
  EXPECT_EQ(daemon_pid(), pid) << "a switch never restarts the daemon";

  const auto chosen = d_->run_host(device::Host::kSettings, {"tap", "CPU 模式", "choose", "模拟低电频率"}, 60s);
  ASSERT_EQ(chosen.status, 0) << chosen.err;
  EXPECT_EQ(relaunched(pid).at("cpuLevel"), "2");
  EXPECT_EQ(device::engine_mode(log()), "lowPower");
  EXPECT_EQ(daemons(), 1);

  const auto wrong = d_->run_host(device::Host::kSettings, {"toggle", "Turbo"}, 60s);
  EXPECT_NE(wrong.status, 0);
  EXPECT_NE(wrong.err.find("no row labelled"), std::string::npos) << wrong.err;
}

// ---- removal ----------------------------------------------------------------------------

std::map<std::string, std::string> store_of(const device::Device& d) {
  objc::AutoreleasePool pool;
  std::map<std::string, std::string> values;
  objc::Ref store = objc::read_property_list_file(d.thermal_status_store());
  objc::for_each_entry(store.get(), [&](id key, id value) {
    values[objc::to_string(key)] = objc::is_boolean(value)
                                       ? (objc::platform_bool_value(value) ? "true" : "false")
                                       : objc::to_string(value);
    return true;
  });
  return values;
}

std::vector<std::string> nine_keys_in(const std::map<std::string, std::string>& store) {
  std::vector<std::string> present;
  for (const auto& feature : halvernic::osthermal::kThermalStatusFeatures) {
    for (const char* key : {feature.flagKey, feature.persistenceKey}) {
      if (key && store.count(key)) present.push_back(key);
    }
  }
  return present;
}

// fullPower and the four switches, as the front-ends set them; the daemon has applied them.
void set_everything(Device& test, device::Device& d) {
  const pid_t old = d.job_pid(device::kDaemonLabel);
  test.choose_mode_for_removal("fullPower");
  d.wait_for_daemon(old, 10s);
  for (const char* key : {contract::kPreventDimmingKey, contract::kSuppressNotificationsKey,
                          contract::kDisablePocketSunlightKey, contract::kSunlightLockedKey}) {
    test.change_for_removal(key, objc::boolean(true));
  }
  ASSERT_TRUE(wait_until([&] { return nine_keys_in(store_of(d)).size() == 9; }, 5s))
      << "the switches never reached the store";
}

TEST_F(Device, RemovalPutsThePlatformBackAndKeepsThePreferencesPurgeDeletesThem) {
  // Someone else's key in the store stays as it is.
  {
    objc::Ref store = objc::make_mutable_dictionary();
    objc::dictionary_set(store.get(), "someoneElsesKey", objc::boolean(true));
    fs::create_directories(fs::path(d_->thermal_status_store()).parent_path());
    ASSERT_TRUE(objc::write_property_list_xml_atomically(store.get(), d_->thermal_status_store()));
  }
  set_everything(*this, *d_);
  ASSERT_EQ(device::package_state(*d_), device::PackageState::installed);

  const auto removal = tool({"--root", *root_, "remove"});
  ASSERT_EQ(removal.status, 0) << removal.out << removal.err;
  EXPECT_NE(removal.out.find("prerm remove: exit 0"), std::string::npos) << removal.out;
  EXPECT_NE(removal.out.find("stood down"), std::string::npos) << removal.out;
  EXPECT_NE(removal.out.find("postrm remove: exit 0"), std::string::npos) << removal.out;
  EXPECT_NE(removal.out.find("thermalmonitord runs without the extension"), std::string::npos)
      << removal.out;
  EXPECT_NE(
      removal.out.find("the preferences file " + d_->preferences_file() + " (a purge deletes it)"),
      std::string::npos)
      << removal.out;
  EXPECT_EQ(nine_keys_in(store_of(*d_)), std::vector<std::string>{}) << removal.out;
  EXPECT_EQ(store_of(*d_), (std::map<std::string, std::string>{{"someoneElsesKey", "true"}}));
  EXPECT_FALSE(fs::exists(d_->tweak_folder() + "/halvernic.so"));
  EXPECT_FALSE(fs::exists(d_->jailbreak_root() + "/usr/bin/halvernicctl"));
  EXPECT_TRUE(fs::exists(d_->preferences_file()));
  const std::string report = d_->jailbreak_root() + contract::kReportPath;
  EXPECT_NE(removal.out.find("the extension's report " + report + " (a purge deletes it)"),
            std::string::npos)
      << removal.out;
  EXPECT_EQ(device::package_state(*d_), device::PackageState::configFiles);
  const pid_t daemon = daemon_pid();
  ASSERT_GT(daemon, 0);
  EXPECT_EQ(read_file("/proc/" + std::to_string(daemon) + "/maps").find("halvernic"),
            std::string::npos)
      << "the daemon runs with the library";
  EXPECT_EQ(d_->daemon_state(5s).at("thermalSimulation"), "off")
      << "the daemon's own thermal control";
  EXPECT_EQ(daemons(), 1);

  const auto again = tool({"--root", *root_, "remove"});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("is removed already"), std::string::npos) << again.err;

  const auto purge = tool({"--root", *root_, "purge"});
  ASSERT_EQ(purge.status, 0) << purge.out << purge.err;
  EXPECT_NE(purge.out.find("postrm purge: exit 0"), std::string::npos) << purge.out;
  EXPECT_NE(purge.out.find("left behind: nothing"), std::string::npos) << purge.out;
  EXPECT_FALSE(fs::exists(d_->preferences_file()));
  EXPECT_FALSE(fs::exists(report));
  EXPECT_EQ(device::package_state(*d_), device::PackageState::notInstalled);
  EXPECT_EQ(daemon_pid(), daemon) << "a purge after the removal leaves the daemon alone";
  const auto none = tool({"--root", *root_, "purge"});
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.err.find("is not installed"), std::string::npos) << none.err;
}

// The running extension re-applies a change for 10 s after it. Told to stand down, it
// writes the store no more: a reset made then stays (the prerm's two steps, with the daemon
// kept running afterwards, past the re-applications at 1 and 2 s). Then the whole removal,
// within 2 s of a switch change, and a purge of an installed package.
TEST_F(Device, RemovalWithinTwoSecondsOfASwitchChangeLeavesNoKeyBehind) {
  set_everything(*this, *d_);
  const std::string ctl = d_->jailbreak_root() + "/usr/bin/halvernicctl";
  change_for_removal(contract::kSunlightLockedKey, objc::boolean(false));
  change_for_removal(contract::kSunlightLockedKey, objc::boolean(true));
  const device::HostResult stood = device::run_bounded({ctl, "stand-down"}, d_->environment(), 20s);
  ASSERT_EQ(stood.status, 0) << stood.out << stood.err;
  EXPECT_NE(stood.out.find("(pid " + std::to_string(daemon_pid()) + ") stood down"),
            std::string::npos)
      << stood.out;
  const device::HostResult reset = device::run_bounded({ctl, "reset"}, d_->environment(), 20s);
  ASSERT_EQ(reset.status, 0) << reset.out << reset.err;
  std::this_thread::sleep_for(2500ms);
  EXPECT_EQ(nine_keys_in(store_of(*d_)), std::vector<std::string>{})
      << "a re-application wrote the store after the reset";
  const std::string after = log().substr(log().rfind("halvernic: stood down"));
  EXPECT_EQ(after.find("thermalSunlightLockedEnabled"), std::string::npos) << after;

  // Restarted with the package still installed, the extension applies the settings again:
  // a stand-down lasts for its process only.
  pid_t old = daemon_pid();
  ASSERT_TRUE(device::signal_process(old, SIGTERM));
  d_->wait_for_daemon(old, 10s);
  ASSERT_TRUE(wait_until([&] { return nine_keys_in(store_of(*d_)).size() == 9; }, 5s));

  // The removal proper, within 2 s of a change; a purge straight from the installed state.
  d_->wait_for_daemon(0, 5s);
  std::this_thread::sleep_for(1200ms);  // past the throttle: the change's restart is not held
  change_for_removal(contract::kSunlightLockedKey, objc::boolean(false));
  std::this_thread::sleep_for(500ms);
  const auto purge = tool({"--root", *root_, "purge"});
  ASSERT_EQ(purge.status, 0) << purge.out << purge.err;
  EXPECT_EQ(nine_keys_in(store_of(*d_)), std::vector<std::string>{}) << purge.out;
  std::this_thread::sleep_for(2500ms);
  EXPECT_EQ(nine_keys_in(store_of(*d_)), std::vector<std::string>{}) << "written after the removal";
  EXPECT_FALSE(fs::exists(d_->preferences_file()));
  EXPECT_EQ(device::package_state(*d_), device::PackageState::notInstalled);
  EXPECT_EQ(daemons(), 1);
}

// A hostile stand-down (any process can post it) leaves the device at native thermal
// control: the store back to the platform's, the daemon's own simulation, no restart on
// a mode change; the daemon's next start brings the user's settings back.
TEST_F(Device, StandDownPostedByAnyoneOnlyEverMovesTowardsNative) {
  set_everything(*this, *d_);
  const pid_t pid = daemon_pid();
  post(contract::kStandDownNotification);
  ASSERT_TRUE(
      wait_until([&] { return log().find("halvernic: stood down") != std::string::npos; }, 5s))
      << log();
  EXPECT_EQ(nine_keys_in(store_of(*d_)), std::vector<std::string>{});
  EXPECT_EQ(d_->daemon_state(5s).at("thermalSimulation"), "off");
  change_for_removal(contract::kPowerModeKey, objc::string("lowPower"));
  post(contract::kRestartThermalMonitorNotification);
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(daemon_pid(), pid) << "a stood-down daemon restarts nothing";
  EXPECT_EQ(d_->daemon_state(5s).at("cpuLevel"), "0") << "nor applies lowPower";
  EXPECT_EQ(nine_keys_in(store_of(*d_)), std::vector<std::string>{});
}

}  // namespace
