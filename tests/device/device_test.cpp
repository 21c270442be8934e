// The simulated device end to end: booted below a fresh root with a throttle of 1 s (the
// waits stay short), the package installed, changes made with the front-ends' write steps
// and posts, faults injected. Every wait is bounded; each test shuts its device down.
#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>
#include <notify.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "common/objc/foundation.hpp"
#include "extension/contract/contract.hpp"
#include "extension/contract/overheat.hpp"
#include "extension/contract/report.hpp"
#include "extension/osthermal/platform_reset.hpp"
#include "sim/device/device.hpp"
#include "sim/device/lock.hpp"
#include "sim/device/orphans.hpp"
#include "sim/device/package.hpp"
#include "sim/device/scenario.hpp"
#include "sim/device/state.hpp"
#include "sim/launchd/launchd.hpp"
#include "tests/support/files.hpp"

namespace {

using hv_test::readFile;
using hv_test::waitUntil;

namespace device = halvernic::sim::device;
namespace launchd = halvernic::sim::launchd;
namespace contract = halvernic::contract;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Runs program with args, without this process's HALVERNIC_ variables.
device::HostResult run(const std::string& program, const std::vector<std::string>& args) {
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    if (std::string(*e).rfind("HALVERNIC_", 0) != 0) env.emplace_back(*e);
  }
  return device::run_bounded(argv, env, 60s);
}

device::HostResult tool(const std::vector<std::string>& args) { return run(HV_DEVICE_TOOL, args); }

void post(const char* name) {
  CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(),
                                       reinterpret_cast<CFStringRef>(objc::string(name)), nullptr,
                                       nullptr, true);
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
    // A failed end-to-end case shows what the device did: every launch and exit, and the
    // end of the daemon's log.
    if (HasFailure()) {
      const std::string daemon_log = log();
      std::cerr << "--- launchd.log\n"
                << readFile(d_->log_file("launchd.log")) << "--- thermalmonitord.log (end)\n"
                << daemon_log.substr(daemon_log.size() > 4000 ? daemon_log.size() - 4000 : 0)
                << "---\n";
    }
    if (d_->booted()) EXPECT_NO_THROW(d_->shutdown());
    EXPECT_EQ(daemons(), 0) << "a thermalmonitord of this device outlived the shutdown";
    EXPECT_EQ(d_->job_pid(device::kNotifydLabel), 0);
  }

  // The thermalmonitord processes of this device (their arguments name its tweak folder).
  int daemons() const {
    int n = 0;
    std::error_code error;
    for (fs::directory_iterator it("/proc", error), end; !error && it != end; it.increment(error)) {
      std::string cmdline = readFile(it->path().string() + "/cmdline");
      std::replace(cmdline.begin(), cmdline.end(), '\0', ' ');
      const std::string stat = readFile(it->path().string() + "/stat");
      const bool zombie = stat.find(") Z") != std::string::npos;
      if (!zombie &&
          cmdline.find("thermalmonitord --tweak-folder " + d_->tweak_folder()) != std::string::npos)
        ++n;
    }
    return n;
  }

  pid_t daemon_pid() const { return d_->job_pid(device::kDaemonLabel); }
  std::string log() const { return readFile(d_->log_file("thermalmonitord.log")); }
  std::string calls() const { return readFile(*root_ + "/var/run/thermalmonitord.calls"); }
  int launches() const {
    const std::string text = readFile(d_->log_file("launchd.log"));
    int n = 0;
    for (std::size_t at = text.find("launched com.apple.thermalmonitord"); at != std::string::npos;
         at = text.find("launched com.apple.thermalmonitord", at + 1)) {
      ++n;
    }
    return n;
  }

  // One change as the front-ends make it: the file, the runtime-state word, the posts.
  void change(const char* key, id value, bool restart) {
    ASSERT_TRUE(contract::writePreferenceValue(d_->preferences_file(), key, value));
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
  EXPECT_TRUE(fs::is_directory(*root_ + "/var/mobile/Library/Preferences"))
      << "the system's, apart";
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
  contract::ReportReading reading = contract::readExtensionReport(path);
  ASSERT_TRUE(reading.ok()) << path << ": " << reading.problem;
  EXPECT_EQ(reading.report.pid, daemon_pid());
  EXPECT_EQ(reading.report.appliedMode, contract::PowerMode::off);
  EXPECT_EQ(
      reading.report.count(contract::InstallOutcome::installed, contract::ReportLayer::replacement),
      24u);
  EXPECT_EQ(reading.report.count(contract::InstallOutcome::installed, contract::ReportLayer::hook),
            27u);
  EXPECT_EQ(reading.report.methods.size(), 51u);
  EXPECT_EQ(log().find("halvernic: no report at"), std::string::npos) << log();

  const pid_t old = daemon_pid();
  choose_mode("fullPower");
  relaunched(old);
  reading = contract::readExtensionReport(path);
  ASSERT_TRUE(reading.ok()) << reading.problem;
  EXPECT_EQ(reading.report.pid, daemon_pid());
  EXPECT_NE(reading.report.pid, old);
  EXPECT_EQ(reading.report.appliedMode, contract::PowerMode::fullPower);
  EXPECT_EQ(reading.report.count(contract::InstallOutcome::installed), 51u);
}

// Every refusal of the device tool (and of the hosts it passes commands to): a message, a
// status (2 for bad usage), and nothing changed: no folder made, no daemon ended or started,
// no setting written.
TEST_F(Device, ToolRefusesMistakesWithAMessageAndAStatusAndChangesNothing) {
  const std::string fresh = *root_ + "-fresh", never = *root_ + "-never";
  fs::create_directories(never);
  const device::Programs programs = device::Programs::of_this_build();
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* says;  // on standard error
    const char* program = HV_DEVICE_TOOL;
  };
  const std::vector<Case> cases = {
      {{}, 2, "usage: hv-device"},
      {{"--root"}, 2, "--root needs a folder"},
      {{"--root", *root_, "reboot-into-dfu"}, 1, "unknown verb 'reboot-into-dfu'"},
      {{"--root", *root_ + "/nowhere", "state"}, 1, "is not booted"},
      {{"--root", *root_, "state", "now"}, 2, "state takes no arguments"},
      {{"--root", *root_, "boot"}, 1, "is already booted"},
      {{"--root", fresh, "boot", "--throttle", "abc"},
       2,
       "--throttle takes seconds from 0 to 3600, not \"abc\""},
      {{"--root", fresh, "boot", "--throttle", "-5"},
       2,
       "--throttle takes seconds from 0 to 3600, not \"-5\""},
      {{"--root", fresh, "boot", "--throttle", "1e29"}, 2, "not \"1e29\""},
      {{"--root", fresh, "boot", "--throttle", "nan"}, 2, "not \"nan\""},
      {{"--root", fresh, "boot", "--tick-ms", "abc"},
       2,
       "--tick-ms takes a whole number of milliseconds"},
      {{"--root", fresh, "boot", "--tick-ms", "-1"}, 2, "from 0 to 60000, not \"-1\""},
      {{"--root", fresh, "boot", "--tick-ms", "2.5"}, 2, "not \"2.5\""},
      {{"--root", fresh, "boot", "--bogus"}, 2, "boot: unknown option --bogus"},
      {{"--root", fresh, "boot", "--throttle"}, 2, "boot: --throttle needs a value"},
      {{"--root", never, "install"}, 1, "no device at"},
      {{"--root", never, "appearance", "dark"}, 1, "no device at"},
      {{"--root", never, "remove"}, 1, "no device at"},
      {{"--root", *root_, "remove", "now"}, 2, "remove takes no arguments"},
      {{"--root", *root_, "purge", "--all"}, 2, "purge takes no arguments"},
      {{"--root", *root_, "appearance", "dark", "light"}, 2, "usage: appearance [light|dark]"},
      {{"--root", *root_, "appearance", "sepia"}, 2, "usage: appearance [light|dark]"},
      {{"--root", *root_, "settings"}, 2, "settings needs one or more commands"},
      {{"--root", *root_, "controlcenter"}, 2, "controlcenter needs one or more commands"},
      {{"--root", *root_, "controlcenter", "\xff"}, 2, "argument 4 is not UTF-8 text: \"\\xFF\""},
      {{"--root", *root_, "screenshot", "springboard", "x.png"}, 2, "usage: screenshot"},
      {{"--root", *root_, "change", "thermalPowerMode"}, 2, "change takes KEY VALUE"},
      {{"--root", *root_, "change", "thermalPreventDimmingEnabled", "yes"},
       1,
       "takes true or false, not yes"},
      {{"--root", *root_, "change", "thermalPowerMode", "native"},
       1,
       "is off, lowPower or fullPower"},
      {{"--root", *root_, "scenario", *root_ + "/heat", "--seconds", "abc"},
       2,
       "--seconds takes a whole number"},
      {{"--root", *root_, "scenario", *root_ + "/heat", "--seconds", "0"}, 2, "from 1 to 36000"},
  };
  std::vector<Case> host_cases = {
      {{"--root", *root_, "settings", "wait", "abc"},
       2,
       "wait takes a number of seconds from 0 to 3600"},
      {{"--root", *root_, "settings", "wait", "1000000000"}, 2, "not \"1000000000\""},
      {{"--root", *root_, "settings", "tap-at", "x", "y"}, 2, "tap-at takes points"},
      {{"--root", *root_, "controlcenter", "wait", "nan"},
       2,
       "wait: takes a number of seconds from 0 to 3600"},
      {{"--root", *root_, "controlcenter", "tap-at", "x", "y"}, 2, "tap-at: takes points"},
      // help lists the commands without a device.
      {{"help"}, 0, "", programs.settings.c_str()},
      {{"help"}, 0, "", programs.controlcenter.c_str()},
  };
  const pid_t daemon = daemon_pid();
  const int launched = launches();
  for (const Case& c : cases) {
    const auto result = tool(c.args);
    std::string shown;
    for (const std::string& arg : c.args) shown += arg + " ";
    EXPECT_EQ(result.status, c.status) << shown << "\n" << result.err;
    EXPECT_NE(result.err.find(c.says), std::string::npos) << shown << "\n" << result.err;
  }
  for (const Case& c : host_cases) {
    if (programs.settings.empty() || programs.controlcenter.empty()) break;
    const auto result =
        std::string(c.program) == HV_DEVICE_TOOL ? tool(c.args) : run(c.program, c.args);
    EXPECT_EQ(result.status, c.status) << c.program << " " << c.args.back() << "\n" << result.err;
    EXPECT_NE(result.err.find(c.says), std::string::npos) << c.args.back() << "\n" << result.err;
  }
  EXPECT_FALSE(fs::exists(fresh)) << "a refused boot makes no folder";
  EXPECT_TRUE(fs::is_empty(never)) << "a refused install lays nothing out";
  EXPECT_EQ(daemon_pid(), daemon) << "no refusal ended the daemon";
  EXPECT_EQ(launches(), launched) << "no refusal launched anything";
  EXPECT_EQ(daemons(), 1);
  EXPECT_EQ(device::file_mode(d_->preferences_file()), "off (no file)")
      << "a refused change writes nothing";
  EXPECT_EQ(d_->appearance(), "light");
  fs::remove_all(never);

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
  EXPECT_NE(state.out.find("launches of thermalmonitord          2"), std::string::npos)
      << state.out;

  const auto down = tool({"--root", *root_, "shutdown"});
  EXPECT_EQ(down.status, 0) << down.err;
  EXPECT_EQ(daemons(), 0);
  const auto twice = tool({"--root", *root_, "shutdown"});
  EXPECT_EQ(twice.status, 1);
  EXPECT_NE(twice.err.find("is not booted"), std::string::npos);
}

// One device, one owner: boots raced on one root start one launchd; a verb waits while
// another holds the device.
TEST_F(Device, ConcurrentBootsOfOneRootStartOneDeviceAndVerbsWaitForTheOwner) {
  const std::string other = *root_ + "-raced";
  std::vector<device::HostResult> results(3);
  std::vector<std::thread> boots;
  for (auto& result : results) {
    boots.emplace_back([&result, &other] {
      result = tool({"--root", other, "boot", "--throttle", "1", "--tick-ms", "200"});
    });
  }
  for (std::thread& boot : boots) boot.join();
  int booted = 0;
  for (const auto& result : results) {
    if (result.status == 0) {
      ++booted;
    } else {
      EXPECT_NE(result.err.find("is already booted"), std::string::npos) << result.err;
    }
  }
  EXPECT_EQ(booted, 1);
  device::Device raced(other, device::Programs::of_this_build());
  EXPECT_EQ(device::find_device_processes(raced.root(), {"hv-launchd"}).size(), 1u)
      << "one launchd";
  EXPECT_EQ(device::find_device_processes(raced.root(), {"thermalmonitord"}).size(), 1u)
      << "one daemon";

  // While this process changes the device, a verb that uses it waits, then runs.
  auto owner = std::make_unique<device::DeviceLock>(raced.root(), device::Access::kChanges);
  device::HostResult state;
  std::atomic<bool> done{false};
  std::thread waiting([&] {
    state = tool({"--root", other, "state"});
    done = true;
  });
  std::this_thread::sleep_for(1500ms);
  EXPECT_FALSE(done) << "state ran while the device was held";
  owner.reset();
  waiting.join();
  EXPECT_EQ(state.status, 0) << state.err;
  EXPECT_NE(state.err.find("waiting for another hv-device"), std::string::npos) << state.err;

  EXPECT_NO_THROW(raced.shutdown());
  EXPECT_TRUE(device::find_device_processes(raced.root(), raced.daemon_names()).empty());
  fs::remove_all(other);
}

// A launchd that dies takes its jobs with it; what outlives it anyway (a launchd whose pid
// file is gone, a daemon started outside it) is ended at the next boot or shutdown.
TEST_F(Device, JobsEndWithTheirLaunchdAndOrphansEndAtTheNextBootOrShutdown) {
  const pid_t notifyd = d_->job_pid(device::kNotifydLabel), daemon = daemon_pid();
  ASSERT_GT(notifyd, 0);
  ASSERT_TRUE(device::signal_process(d_->launchd_pid(), SIGKILL));
  EXPECT_TRUE(waitUntil(
      [&] {
        return !device::runs_on_device(notifyd, d_->root()) &&
               !device::runs_on_device(daemon, d_->root());
      },
      5s))
      << "the jobs outlived their launchd";
  EXPECT_FALSE(d_->booted());

  device::BootOptions options;
  options.throttle_interval = 1.0;
  options.tick_ms = 200;
  ASSERT_NO_THROW(d_->boot(options));
  EXPECT_TRUE(d_->orphans_ended().empty());
  EXPECT_EQ(daemons(), 1);

  // The launchd's pid file is lost: the next boot ends that launchd and its jobs first.
  const pid_t hidden = d_->launchd_pid();
  ::unlink((*root_ + "/var/run/launchd.pid").c_str());
  EXPECT_FALSE(d_->booted());
  ASSERT_NO_THROW(d_->boot(options));
  EXPECT_EQ(d_->orphans_ended().size(), 3u);
  EXPECT_NE(std::find(d_->orphans_ended().begin(), d_->orphans_ended().end(),
                      "hv-launchd (pid " + std::to_string(hidden) + ")"),
            d_->orphans_ended().end());
  EXPECT_EQ(daemons(), 1) << "one set of jobs";
  EXPECT_EQ(device::find_device_processes(d_->root(), {"hv-launchd"}).size(), 1u);

  // A daemon of this device that no launchd started is ended by the shutdown.
  std::vector<std::string> env = d_->environment();
  pid_t orphan = 0;
  {
    std::string program = d_->programs().thermalmonitord, flag = "--tweak-folder",
                folder = d_->tweak_folder();
    char* argv[] = {program.data(), flag.data(), folder.data(), nullptr};
    std::vector<char*> envp;
    for (std::string& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);
    ASSERT_EQ(::posix_spawn(&orphan, argv[0], nullptr, nullptr, argv, envp.data()), 0);
  }
  ASSERT_TRUE(waitUntil([&] { return device::runs_on_device(orphan, d_->root()); }, 5s));
  EXPECT_EQ(daemons(), 2);
  ASSERT_NO_THROW(d_->shutdown());
  EXPECT_EQ(d_->orphans_ended(),
            std::vector<std::string>{"thermalmonitord (pid " + std::to_string(orphan) + ")"});
  ::waitpid(orphan, nullptr, 0);
  EXPECT_EQ(daemons(), 0);
}

TEST_F(Device, ModeChosenAsTheFrontEndsDoReachesTheRelaunchedDaemonsSettersAs50000) {
  const pid_t old = daemon_pid();
  choose_mode("fullPower");
  const auto state = relaunched(old);
  EXPECT_NE(
      calls().find("call MitigationController setCPUPowerCeiling:fromDecisionSource: 50000 0"),
      std::string::npos);
  EXPECT_NE(
      calls().find("call MitigationController setPackagePowerCeiling:fromDecisionSource: 50000 0"),
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
  EXPECT_NE(log().find("halvernic: restarting thermalmonitord after CPU mode change"),
            std::string::npos);
  EXPECT_NE(readFile(d_->log_file("launchd.log")).find("exited with signal 15"), std::string::npos);
  EXPECT_EQ(daemons(), 1);
}

TEST_F(Device, SwitchInThePaneReappliesWithoutARestart) {
  const pid_t pid = daemon_pid();
  const int before = device::engine_applications(log());
  change(contract::kPreventDimmingKey, objc::boolean(true), false);
  EXPECT_TRUE(
      waitUntil([&] { return d_->daemon_state(5s).at("thermalSimulation") == "light"; }, 5s));
  EXPECT_GT(device::engine_applications(log()), before);
  EXPECT_EQ(daemon_pid(), pid) << "a switch never restarts the daemon";
  EXPECT_EQ(launches(), 2);
}

TEST_F(Device, NotifyDaemonKilledIsRelaunchedAndTheDaemonHearsTheNextChange) {
  const pid_t notifyd = d_->job_pid(device::kNotifydLabel);
  ASSERT_TRUE(device::signal_process(notifyd, SIGKILL));
  ASSERT_TRUE(waitUntil(
      [&] {
        return d_->job_pid(device::kNotifydLabel) > 0 &&
               d_->job_pid(device::kNotifydLabel) != notifyd;
      },
      5s));
  const pid_t old = daemon_pid();
  // Posts made before the daemon's connection is back are lost, as on a device; the
  // front-end's next change is heard.
  EXPECT_TRUE(waitUntil(
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
  ASSERT_TRUE(contract::writePreferenceValue(d_->preferences_file(), contract::kPowerModeKey,
                                             objc::string("lowPower")));
  const pid_t old = daemon_pid();
  ASSERT_TRUE(device::signal_process(old, SIGKILL));
  const auto state = relaunched(old);
  EXPECT_EQ(state.at("cpuLevel"), "2");
  EXPECT_EQ(state.at("powerSave"), "1");
  EXPECT_NE(readFile(d_->log_file("launchd.log")).find("exited with signal 9"), std::string::npos);
  EXPECT_EQ(daemons(), 1);
}

// Each damaged file replaces one that named lowPower, so the restart that follows it changes
// the mode (a restart that would change nothing ends nothing).
TEST_F(Device, CorruptOrHugePreferencesFileNeverStopsTheDevice) {
  pid_t old = daemon_pid();
  choose_mode("lowPower");
  EXPECT_EQ(relaunched(old).at("cpuLevel"), "2");
  old = daemon_pid();
  std::ofstream(d_->preferences_file(), std::ios::trunc | std::ios::binary)
      << "bplist00\x01\xff garbage";
  post(contract::kRestartThermalMonitorNotification);
  relaunched(old);
  EXPECT_EQ(device::engine_mode(log()), "off") << "an unreadable file reads as the native mode";

  // A file of 4 MB is no preferences file (a real one is under 2 KB): every reader takes it
  // as unreadable, so the daemon runs natively and keeps stepping, never stalled by it.
  old = daemon_pid();
  choose_mode("lowPower");
  EXPECT_EQ(relaunched(old).at("cpuLevel"), "2");
  old = daemon_pid();
  objc::Ref huge = objc::makeMutableDictionary();
  objc::dictionarySet(huge.get(), "thermalPowerMode", objc::string("fullPower"));
  objc::dictionarySet(huge.get(), "padding", objc::string(std::string(4 << 20, 'x')));
  ASSERT_TRUE(objc::writePropertyListXmlAtomically(huge.get(), d_->preferences_file()));
  post(contract::kRestartThermalMonitorNotification);
  relaunched(old);
  const int steps = std::stoi(d_->daemon_state(5s).at("report"));
  std::this_thread::sleep_for(600ms);
  const auto later = d_->daemon_state(5s);
  EXPECT_GT(std::stoi(later.at("report")), steps);
  EXPECT_EQ(device::engine_mode(log()), "off") << "a file above 1 MiB reads as the native mode";
  EXPECT_NE(later.at("cpuPowerCeiling"), "50000")
      << "the replacement layer does not read it either";

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
  ASSERT_TRUE(contract::writePreferenceValue(d_->preferences_file(), contract::kPowerModeKey,
                                             objc::string("fullPower")));
  const pid_t old = daemon_pid();
  const int before = launches();
  for (int i = 0; i < 100; ++i) post(contract::kRestartThermalMonitorNotification);
  const auto state = relaunched(old);
  // Longer than the throttle and the restart delay: any second relaunch would show.
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(launches(), before + 1) << readFile(d_->log_file("launchd.log"));
  EXPECT_EQ(daemons(), 1);
  EXPECT_EQ(d_->daemon_state(5s).at("thermalSimulation"), "nominal");
  EXPECT_EQ(device::engine_mode(log()), "fullPower");
}

// A flood of notifications makes the daemon log without pause; its log is rotated as a
// system log is, so the disk never fills: at most kLogRotationBytes in the file and as much
// in "<file>.1", whole lines, the newest kept.
TEST_F(Device, DaemonLogUnderANotificationFloodStaysBounded) {
  const std::string path = d_->log_file("thermalmonitord.log");
  const auto size = [](const std::string& file) {
    std::error_code error;
    const auto bytes = fs::file_size(file, error);
    return error ? std::uintmax_t{0} : bytes;
  };
  std::uintmax_t largest = 0;
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  int posts = 0;
  while (!fs::exists(path + ".1") || size(path) < 4096) {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the flood never filled the log";
    for (int i = 0; i < 100; ++i, ++posts) post(contract::kExecutePuppetEventNotification);
    largest = std::max({largest, size(path), size(path + ".1")});
    ASSERT_LE(largest, launchd::kLogRotationBytes) << "after " << posts << " posts";
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_LE(largest, launchd::kLogRotationBytes);
  EXPECT_LE(size(path + ".1"), launchd::kLogRotationBytes);
  EXPECT_GT(size(path + ".1"), launchd::kLogRotationBytes * 9 / 10) << "rotated when full";
  // Whole lines only: "thermalmonitord: ready", or NSLog's "2026-12-08 08:04:19.332
  // thermalmonitord[9410:9410] ...".
  const std::string kept = readFile(path + ".1");
  EXPECT_EQ(kept.back(), '\n');
  std::istringstream lines(kept);
  int cut = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line != "thermalmonitord: ready" && line.find(" thermalmonitord[") != 23) ++cut;
  }
  EXPECT_EQ(cut, 0) << "lines cut by the rotation";
  EXPECT_EQ(daemons(), 1) << "after " << posts << " posts";
  // The state table reads both files.
  EXPECT_EQ(device::engine_mode(d_->log("thermalmonitord.log")), "off");
}

// The scenario on the installed tweak: fullPower runs hottest and never throttles without
// the overheat protection; with it (the default) the battery stays below 51 °C, each of its
// engagings and releasings restarting the daemon; preventDimming keeps the display brighter
// than the native mode; gnuplot draws the plot.
TEST_F(Device, HeatScenarioComparesTheSixSettingsInATableAndAPlot) {
  device::ScenarioOptions options;
  options.out_dir = *root_ + "/heat";
  options.seconds = 300;
  const device::ScenarioResult result = device::run_scenario(*d_, options);
  std::map<std::string, device::Summary> runs;
  for (const device::Setting& setting : device::kSettings) {
    const auto samples =
        device::parse_trace(readFile(options.out_dir + "/heat-" + setting.name + ".dat"));
    ASSERT_EQ(samples.size(), 300u) << setting.name;
    for (std::size_t i = 0; i < samples.size(); ++i) {
      ASSERT_EQ(samples[i].step, static_cast<int>(i + 1))
          << setting.name << ": one line per second, restarts or not";
    }
    runs[setting.name] = device::summarise(setting.name, samples, options.cpu_demand);
  }
  const auto& native = runs["native"];
  const auto& low = runs["lowPower"];
  const auto& full = runs["fullPower"];
  const auto& bare = runs["fullPower-unprotected"];
  const auto& dim = runs["preventDimming"];
  EXPECT_GT(bare.peak_temperature, native.peak_temperature + 10);
  EXPECT_LE(native.limit_changes, 4)
      << "the daemon's own control settles, never flipping at a threshold";
  EXPECT_EQ(bare.seconds_throttled, 0);
  EXPECT_EQ(bare.lowest_cpu_power_ceiling, 50000);
  EXPECT_GT(bare.peak_battery_temperature, 51.0);
  EXPECT_EQ(bare.engagements, 0);
  EXPECT_LE(full.peak_battery_temperature, 51.0);
  EXPECT_GE(full.engagements, 1);
  EXPECT_GT(full.seconds_throttled, 0) << "native control while engaged";
  EXPECT_LE(low.peak_temperature, native.peak_temperature);
  EXPECT_EQ(low.engagements, 0) << "lowPower is not guarded";
  EXPECT_GT(dim.lowest_brightness_limit, native.lowest_brightness_limit);
  EXPECT_LE(dim.peak_battery_temperature, 51.0);
  EXPECT_NE(result.table.find("preventDimming-unprotected"), std::string::npos);
  // Every change of the protection in fullPower restarted the daemon; prevent-dimming alone
  // restarts nothing.
  EXPECT_EQ(readFile(options.out_dir + "/heat.txt"), result.table);
  const auto samples = device::parse_trace(readFile(options.out_dir + "/heat-fullPower.dat"));
  int changes = 0;
  for (std::size_t i = 1; i < samples.size(); ++i)
    changes += samples[i].protection != samples[i - 1].protection;
  ASSERT_EQ(result.summaries.size(), std::size(device::kSettings));
  EXPECT_EQ(result.summaries[2].name, "fullPower");
  EXPECT_EQ(result.summaries[2].restarts, changes);
  EXPECT_EQ(result.summaries[4].restarts, 0) << "prevent-dimming: no restart";
  EXPECT_GE(result.summaries[4].engagements, 1);
  const std::string png = readFile(result.plot);
  ASSERT_GT(png.size(), 8u);
  EXPECT_EQ(png.substr(1, 3), "PNG");
}

// Through the simulated Control Center, as a person uses it: the tile cycles the mode, the
// expanded menu chooses one; each choice reaches the relaunched daemon.
TEST_F(Device, ControlCenterTileAndMenuReachTheRelaunchedDaemon) {
  if (device::Programs::of_this_build().controlcenter.empty())
    GTEST_SKIP() << "hv-controlcenter is not built";
  pid_t old = daemon_pid();
  const auto tapped = d_->run_host(device::Host::kControlCenter, {"tap-tile", "state"}, 60s);
  ASSERT_EQ(tapped.status, 0) << tapped.err;
  EXPECT_NE(tapped.out.find("mode: lowPower"), std::string::npos) << tapped.out;
  EXPECT_EQ(relaunched(old).at("cpuLevel"), "2");

  // The daemon has run less than the throttle (1 s here) by now: launchd holds the next
  // launch until then, and the choice still arrives.
  old = daemon_pid();
  const auto chosen =
      d_->run_host(device::Host::kControlCenter, {"expand", "choose", "满频率", "rows"}, 60s);
  ASSERT_EQ(chosen.status, 0) << chosen.err;
  EXPECT_NE(chosen.out.find("chose: 满频率"), std::string::npos) << chosen.out;
  relaunched(old);
  EXPECT_NE(
      calls().find("call MitigationController setCPUPowerCeiling:fromDecisionSource: 50000 0"),
      std::string::npos);
  EXPECT_EQ(device::engine_mode(log()), "fullPower");
  const auto table = device::format_table(device::state_table(*d_));
  EXPECT_NE(table.find("mode: module                         mode: fullPower"), std::string::npos)
      << table;
  if (!device::Programs::of_this_build().settings.empty()) {
    EXPECT_EQ(table.find("mode: pane                           ("), std::string::npos)
        << "the pane reads the mode: " << table;
  }
  EXPECT_EQ(daemons(), 1);

  const auto wrong = d_->run_host(device::Host::kControlCenter, {"choose", "Turbo"}, 60s);
  EXPECT_NE(wrong.status, 0) << "an unknown row is an error";
}

// Through the simulated Settings app: a switch re-applies in the running daemon, the CPU
// mode menu restarts it into the chosen mode.
TEST_F(Device, SettingsPaneSwitchReappliesAndItsMenuRestartsTheDaemon) {
  if (device::Programs::of_this_build().settings.empty())
    GTEST_SKIP() << "hv-settings is not built";
  const pid_t pid = daemon_pid();
  const int before = device::engine_applications(log());
  const auto toggled = d_->run_host(device::Host::kSettings, {"toggle", "防止温控调暗屏幕"}, 60s);
  ASSERT_EQ(toggled.status, 0) << toggled.err;
  EXPECT_NE(toggled.out.find("toggled\t防止温控调暗屏幕\ton"), std::string::npos) << toggled.out;
  EXPECT_TRUE(
      waitUntil([&] { return d_->daemon_state(5s).at("thermalSimulation") == "light"; }, 5s));
  EXPECT_GT(device::engine_applications(log()), before);
  EXPECT_EQ(daemon_pid(), pid) << "a switch never restarts the daemon";

  const auto chosen =
      d_->run_host(device::Host::kSettings, {"tap", "CPU 模式", "choose", "模拟低电频率"}, 60s);
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
  objc::Ref store = objc::readPropertyListFile(d.thermal_status_store());
  objc::forEachEntry(store.get(), [&](id key, id value) {
    values[objc::toString(key)] = objc::isBoolean(value)
                                      ? (objc::platformBoolValue(value) ? "true" : "false")
                                      : objc::toString(value);
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
  ASSERT_TRUE(waitUntil([&] { return nine_keys_in(store_of(d)).size() == 9; }, 5s))
      << "the switches never reached the store";
}

TEST_F(Device, RemovalPutsThePlatformBackAndKeepsThePreferencesPurgeDeletesThem) {
  // Someone else's key in the store stays as it is.
  {
    objc::Ref store = objc::makeMutableDictionary();
    objc::dictionarySet(store.get(), "someoneElsesKey", objc::boolean(true));
    fs::create_directories(fs::path(d_->thermal_status_store()).parent_path());
    ASSERT_TRUE(objc::writePropertyListXmlAtomically(store.get(), d_->thermal_status_store()));
  }
  set_everything(*this, *d_);
  ASSERT_EQ(device::package_state(*d_), device::PackageState::installed);
  // The overheat protection engaged (its state file, as the extension keeps it, and a file a
  // write left beside it): a reinstallation must not start engaged.
  const std::string overheat = d_->jailbreak_root() + contract::kOverheatStatePath;
  contract::OverheatState engaged;
  engaged.engagedAt = 1;
  engaged.engagedAtWall = 1700000000;
  engaged.readingCentiCelsius = 5100;
  ASSERT_EQ(contract::writeOverheatState(overheat, engaged), 0);
  {
    std::ofstream(overheat + ".interrupted") << "x";
  }

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
  EXPECT_FALSE(fs::exists(overheat)) << removal.out;
  EXPECT_EQ(removal.out.find("overheat protection's state"), std::string::npos) << removal.out;
  const std::string report = d_->jailbreak_root() + contract::kReportPath;
  EXPECT_NE(removal.out.find("the extension's report " + report + " (a purge deletes it)"),
            std::string::npos)
      << removal.out;
  EXPECT_EQ(device::package_state(*d_), device::PackageState::configFiles);
  const pid_t daemon = daemon_pid();
  ASSERT_GT(daemon, 0);
  EXPECT_EQ(readFile("/proc/" + std::to_string(daemon) + "/maps").find("halvernic"),
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
  EXPECT_FALSE(fs::exists(fs::path(report).parent_path())) << "the package's state folder";
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
  ASSERT_TRUE(waitUntil([&] { return nine_keys_in(store_of(*d_)).size() == 9; }, 5s));

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
      waitUntil([&] { return log().find("halvernic: stood down") != std::string::npos; }, 5s))
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
