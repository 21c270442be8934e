// The restart rule on the simulated device with launchd's real throttle (10 s): three mode
// changes within a second on a daemon that has run past its throttle interval, and a flood
// of restart notifications (10 a second for 30 s) with the file's mode unchanged and with it
// alternating every second. The three run at once, each on a device of its own (the floods
// from processes of their own), sampled every 0.1 s, so the suite waits for them once.
#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>
#include <notify.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/objc/foundation.hpp"
#include "common/objc/thread.hpp"
#include "extension/contract/contract.hpp"
#include "sim/device/device.hpp"
#include "sim/device/state.hpp"
#include "tests/support/files.hpp"

namespace {

using hv_test::readFile;

// The device is polled every 50 ms.
template <class Predicate>
bool waitUntil(Predicate done, std::chrono::milliseconds timeout) {
  return hv_test::waitUntil(done, timeout, std::chrono::milliseconds(50));
}

namespace device = halvernic::sim::device;
namespace contract = halvernic::contract;
namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A device with the package installed, booted with launchd's real throttle; its daemon
// starts in mode (the file written before the boot; none: the native mode, no file).
struct Rig {
  explicit Rig(const char* mode = nullptr) {
    char pattern[] = "/tmp/hv-throttle-test-XXXXXX";
    root = ::mkdtemp(pattern);
    d = std::make_unique<device::Device>(root, device::Programs::of_this_build());
    device::BootOptions quick;
    quick.throttle_interval = 1.0;
    d->boot(quick);
    d->install();
    d->shutdown();
    if (mode) {
      objc::AutoreleasePool pool;
      contract::writePreferenceValue(d->preferences_file(), contract::kPowerModeKey,
                                     objc::string(mode));
    }
    d->boot({});  // 10 s
  }
  ~Rig() {
    try {
      if (d->booted()) d->shutdown();
    } catch (const device::Error&) {
    }
    fs::remove_all(root);
  }
  std::string log() const { return readFile(d->log_file("thermalmonitord.log")); }
  std::string launchd_log() const { return readFile(d->log_file("launchd.log")); }
  // How long the running daemon has run (the age of its pid file).
  double daemon_age() const {
    std::error_code error;
    const auto written =
        fs::last_write_time(root + "/var/run/com.apple.thermalmonitord.pid", error);
    if (error || d->job_pid(device::kDaemonLabel) == 0) return 0;
    return std::chrono::duration<double>(fs::file_time_type::clock::now() - written).count();
  }
  std::string root;
  std::unique_ptr<device::Device> d;
};

// Every 0.1 s: is a thermalmonitord of the device running, and which.
class Sampler {
public:
  explicit Sampler(const device::Device& d)
      : d_(d), start_(Clock::now()), thread_([this] { run(); }) {}
  ~Sampler() { stop(); }
  void stop() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
  }
  double share() const { return samples_ ? static_cast<double>(running_) / samples_ : 0; }
  double longest_gap() const { return longest_; }
  // Seconds from the start until a daemon other than the first one sampled ran (-1: never).
  double first_relaunch() const { return relaunch_; }

private:
  void run() {
    pid_t first = 0;
    Clock::time_point gap{};
    bool in_gap = false;
    for (int i = 0; !stopping_; ++i) {
      const auto at = start_ + i * 100ms;
      std::this_thread::sleep_until(at);
      const pid_t pid = d_.job_pid(device::kDaemonLabel);
      ++samples_;
      if (pid > 0) ++running_;
      if (pid > 0 && first == 0) first = pid;
      if (pid > 0 && first != 0 && pid != first && relaunch_ < 0) {
        relaunch_ = std::chrono::duration<double>(at - start_).count();
      }
      if (pid == 0 && !in_gap) {
        in_gap = true;
        gap = at;
      } else if (pid > 0 && in_gap) {
        in_gap = false;
        longest_ = std::max(longest_, std::chrono::duration<double>(at - gap).count());
      }
    }
    if (in_gap) {
      longest_ = std::max(longest_, std::chrono::duration<double>(Clock::now() - gap).count());
    }
  }
  const device::Device& d_;
  const Clock::time_point start_;
  std::atomic<bool> stopping_{false};
  int samples_ = 0, running_ = 0;
  double longest_ = 0, relaunch_ = -1;
  std::thread thread_;
};

// The seconds each daemon ended by SIGTERM had run, and the relaunch delays, from
// launchd's log.
struct Ends {
  std::vector<double> ran, delays;
};
Ends ends_in(const std::string& launchd_log) {
  Ends ends;
  std::istringstream lines(launchd_log);
  for (std::string line; std::getline(lines, line);) {
    if (line.find("com.apple.thermalmonitord") == std::string::npos) continue;
    const std::size_t at = line.find("exited with signal 15 after ");
    if (at == std::string::npos) continue;
    ends.ran.push_back(std::strtod(line.c_str() + at + 28, nullptr));
    const std::size_t in = line.find("relaunch in ");
    if (in != std::string::npos) {
      ends.delays.push_back(std::strtod(line.c_str() + in + 12, nullptr));
    }
  }
  return ends;
}

// The daemon applies the mode the file holds (its engine's last mode line is the file's).
bool in_files_mode(const Rig& rig) {
  const std::string file = device::file_mode(rig.d->preferences_file());
  return device::engine_mode(rig.log()) == file.substr(0, file.find(' '));
}

// env: this process's environment, copied before the threads start (the test sets a
// variable of its own meanwhile).
void flood(const Rig& rig, const std::string& modes, const std::vector<std::string>& env,
           device::HostResult* result) {
  std::vector<std::string> argv{HV_DEVICE_FLOOD, rig.d->notify_socket(), rig.d->preferences_file(),
                                "30", "10"};
  if (!modes.empty()) argv.push_back(modes);
  *result = device::run_bounded(argv, env, 60s);
}

TEST(RealThrottle, ThreeChangesWithinASecondAndRestartFloodsKeepADaemonRunning) {
  objc::AutoreleasePool pool;
  Rig changes, unchanged("lowPower"), alternating("lowPower");
  ASSERT_TRUE(changes.d->booted() && unchanged.d->booted() && alternating.d->booted());
  device::HostResult flooded_unchanged, flooded_alternating;
  const std::string before_unchanged = unchanged.launchd_log(),
                    before_alternating = alternating.launchd_log();
  Sampler sample_unchanged(*unchanged.d), sample_alternating(*alternating.d);
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  std::thread flood_unchanged(flood, std::cref(unchanged), "", std::cref(env), &flooded_unchanged);
  std::thread flood_alternating(flood, std::cref(alternating), "lowPower,fullPower", std::cref(env),
                                &flooded_alternating);

  // Meanwhile, three changes within a second as the front-ends make them (this process
  // talks to that device's notify daemon), once its daemon has run past the throttle.
  ::setenv("HALVERNIC_NOTIFY_SOCKET", changes.d->notify_socket().c_str(), 1);
  ASSERT_TRUE(waitUntil([&] { return changes.daemon_age() >= 10.5; }, 20s));
  auto change = [&](const char* mode) {
    changes.d->change_as_front_end(contract::kPowerModeKey, mode);
  };
  const std::size_t launchd_offset = changes.launchd_log().size();
  Sampler sample_changes(*changes.d);
  const auto start = Clock::now();
  change("fullPower");
  std::this_thread::sleep_until(start + 400ms);
  change("off");
  std::this_thread::sleep_until(start + 800ms);
  const std::size_t offset = changes.log().size();
  change("lowPower");
  double last_applied = -1;
  while (Clock::now() < start + 13s) {
    if (last_applied < 0 &&
        changes.log().find("halvernic: low power mode", offset) != std::string::npos) {
      last_applied = std::chrono::duration<double>(Clock::now() - start).count();
    }
    std::this_thread::sleep_for(50ms);
  }
  sample_changes.stop();
  EXPECT_LT(sample_changes.longest_gap(), 1.0) << "a gap without any thermalmonitord\n"
                                               << changes.launchd_log();
  EXPECT_GE(last_applied, 0) << "the last change's mode was never applied\n" << changes.log();
  EXPECT_LE(last_applied, 11.0);
  // The first change, on a daemon past its throttle interval, ends it at once (0.2 s).
  EXPECT_GE(sample_changes.first_relaunch(), 0.2);
  EXPECT_LT(sample_changes.first_relaunch(), 2.0) << changes.launchd_log();
  for (double delay : ends_in(changes.launchd_log().substr(launchd_offset)).delays) {
    EXPECT_EQ(delay, 0.0) << "launchd held a relaunch\n" << changes.launchd_log();
  }
  EXPECT_EQ(changes.d->daemon_state(5s).at("cpuLevel"), "2");

  flood_unchanged.join();
  flood_alternating.join();
  sample_unchanged.stop();
  sample_alternating.stop();
  ASSERT_EQ(flooded_unchanged.status, 0) << flooded_unchanged.err;
  ASSERT_EQ(flooded_alternating.status, 0) << flooded_alternating.err;

  // The mode never changed: nothing was ended.
  EXPECT_GE(sample_unchanged.share(), 0.95);
  EXPECT_EQ(ends_in(unchanged.launchd_log().substr(before_unchanged.size())).ran.size(), 0u)
      << unchanged.launchd_log();
  EXPECT_TRUE(in_files_mode(unchanged)) << unchanged.log();

  // The mode alternated: an end at most once per throttle interval, each relaunched at once.
  EXPECT_GE(sample_alternating.share(), 0.95);
  EXPECT_LT(sample_alternating.longest_gap(), 1.0);
  const Ends ends = ends_in(alternating.launchd_log().substr(before_alternating.size()));
  EXPECT_GE(ends.ran.size(), 1u) << "the file's mode changed, yet nothing was restarted";
  EXPECT_LE(ends.ran.size(), 4u);
  for (double ran : ends.ran) EXPECT_GE(ran, 10.0) << alternating.launchd_log();
  for (double delay : ends.delays) EXPECT_EQ(delay, 0.0) << alternating.launchd_log();
  // Settled: a pending restart (at most one throttle interval away) brings the file's mode.
  EXPECT_TRUE(waitUntil([&] { return in_files_mode(alternating); }, 12s))
      << device::file_mode(alternating.d->preferences_file()) << "\n"
      << alternating.log();
}

}  // namespace
