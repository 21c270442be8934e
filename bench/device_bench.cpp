// The simulated device's response times, end to end, with launchd's real throttle (10 s).
// One device is booted below a fresh root for the whole program (this process talks to its
// notify daemon), the package installed; changes are made as the front-ends make them. The
// time of one change runs from just before the preferences file is written to the moment
// the daemon's log shows the application. Manual time per iteration; the figures are
// counters.
//
//   device_bench --benchmark_filter=ModeChange   20 mode changes 12 s apart (about 4 min)
//   device_bench --benchmark_filter=Switch       15 switches 11 s apart (no delayed
//                                                re-application of an earlier change pending)
//   device_bench --benchmark_filter=ThreeModeChanges
//                                                three mode changes within a second on a daemon
//                                                that has run past its throttle interval:
//                                                seconds without any thermalmonitord, the
//                                                longest such gap, and the time until the last
//                                                change's mode is applied (3 rounds, ~1.5 min)
//   device_bench --benchmark_filter=RestartFlood  10 restart posts a second for 30 s, the
//                                                file's mode unchanged, then alternating every
//                                                second (written directly, as any local process
//                                                can): the share of 10 ms samples with a
//                                                thermalmonitord running, and its ends
#include <CoreFoundation/CoreFoundation.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/objc/foundation.hpp"
#include "common/objc/thread.hpp"
#include "extension/contract/contract.hpp"
#include "sim/device/device.hpp"

namespace {

namespace device = halvernic::sim::device;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::string read_from(const std::string& path, std::size_t offset) {
  std::ifstream in(path);
  in.seekg(static_cast<std::streamoff>(offset));
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::size_t size_of(const std::string& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  return error ? 0 : static_cast<std::size_t>(size);
}

// Polls the log every millisecond until, after offset, first (if any) and then second
// appear; the time second was seen, or nullopt after timeout.
std::optional<Clock::time_point> wait_for_lines(const std::string& log, std::size_t offset,
                                                const std::string& first, const std::string& second,
                                                std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (Clock::now() < deadline) {
    const std::string text = read_from(log, offset);
    std::size_t from = 0;
    if (!first.empty()) from = text.find(first);
    if (from != std::string::npos && text.find(second, from) != std::string::npos)
      return Clock::now();
    std::this_thread::sleep_for(1ms);
  }
  return std::nullopt;
}

struct BootedDevice {
  BootedDevice() {
    char pattern[] = "/tmp/hv-device-bench-XXXXXX";
    root = ::mkdtemp(pattern);
    d = std::make_unique<device::Device>(root, device::Programs::of_this_build());
    d->boot({});
    d->install();
  }
  ~BootedDevice() {
    try {
      d->shutdown();
    } catch (const device::Error&) {
    }
    std::filesystem::remove_all(root);
  }
  std::string root;
  std::unique_ptr<device::Device> d;
};

// The program's one device: this process's notify connection is made once, to the device
// it first talks to.
BootedDevice& booted() {
  static BootedDevice device;
  return device;
}

// Samples every 10 ms whether a thermalmonitord of the device runs, until stopped.
class Sampler {
public:
  explicit Sampler(const device::Device& d) : d_(d), thread_([this] { run(); }) {}
  ~Sampler() { stop(); }
  void stop() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
  }
  int samples() const { return samples_; }
  int running() const { return running_; }
  double seconds_without() const { return without_; }
  double longest_gap() const { return longest_; }

private:
  void run() {
    Clock::time_point gap_start{};
    bool in_gap = false;
    while (!stopping_) {
      const auto now = Clock::now();
      const bool up = d_.job_pid(device::kDaemonLabel) > 0;
      ++samples_;
      if (up) ++running_;
      if (!up && !in_gap) {
        in_gap = true;
        gap_start = now;
      } else if (up && in_gap) {
        in_gap = false;
        const double gap = std::chrono::duration<double>(now - gap_start).count();
        without_ += gap;
        longest_ = std::max(longest_, gap);
      }
      std::this_thread::sleep_until(now + 10ms);
    }
    if (in_gap) {
      const double gap = std::chrono::duration<double>(Clock::now() - gap_start).count();
      without_ += gap;
      longest_ = std::max(longest_, gap);
    }
  }
  const device::Device& d_;
  std::atomic<bool> stopping_{false};
  int samples_ = 0, running_ = 0;
  double without_ = 0, longest_ = 0;
  std::thread thread_;
};

int launches(const device::Device& d) {
  const std::string text = read_from(d.log_file("launchd.log"), 0);
  int n = 0;
  for (std::size_t at = text.find("launched com.apple.thermalmonitord"); at != std::string::npos;
       at = text.find("launched com.apple.thermalmonitord", at + 1)) {
    ++n;
  }
  return n;
}

// Waits until the running daemon has run for seconds (its pid file's age).
void wait_until_daemon_ran(const device::Device& d, double seconds) {
  const auto deadline = Clock::now() + 60s;
  while (Clock::now() < deadline) {
    const pid_t pid = d.job_pid(device::kDaemonLabel);
    std::error_code error;
    const auto written = std::filesystem::last_write_time(
        d.root() + "/var/run/com.apple.thermalmonitord.pid", error);
    if (pid > 0 && !error) {
      const double age =
          std::chrono::duration<double>(std::filesystem::file_time_type::clock::now() - written)
              .count();
      if (age >= seconds) return;
    }
    std::this_thread::sleep_for(100ms);
  }
}

void report(benchmark::State& state, std::vector<double> ms) {
  if (ms.empty()) return;
  std::sort(ms.begin(), ms.end());
  state.counters["median_ms"] = ms[ms.size() / 2];
  state.counters["max_ms"] = ms.back();
  state.counters["min_ms"] = ms.front();
}

void BM_ModeChangeToRelaunchedDaemonApplied(benchmark::State& state) {
  objc::attachCurrentThread();
  BootedDevice& device = booted();
  const std::string log = device.d->log_file("thermalmonitord.log");
  const char* modes[] = {"fullPower", "lowPower", "off"};
  const char* lines[] = {"halvernic: full power mode", "halvernic: low power mode",
                         "halvernic: native thermal mode restored"};
  std::vector<double> ms;
  int i = 0;
  for (auto _ : state) {
    std::this_thread::sleep_for(12s);  // the daemon has run 10 s: launchd relaunches at once
    const std::size_t offset = size_of(log);
    const auto start = Clock::now();
    device.d->change_as_front_end("thermalPowerMode", modes[i % 3]);
    const auto seen =
        wait_for_lines(log, offset, "halvernic: restarting thermalmonitord", lines[i % 3], 30s);
    if (!seen) {
      state.SkipWithError("the relaunched daemon never applied the mode");
      break;
    }
    const double elapsed = std::chrono::duration<double>(*seen - start).count();
    state.SetIterationTime(elapsed);
    ms.push_back(elapsed * 1000);
    ++i;
  }
  report(state, ms);
}
BENCHMARK(BM_ModeChangeToRelaunchedDaemonApplied)
    ->UseManualTime()
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);

void BM_SwitchToReapplication(benchmark::State& state) {
  objc::attachCurrentThread();
  BootedDevice& device = booted();
  const std::string log = device.d->log_file("thermalmonitord.log");
  std::vector<double> ms;
  bool on = true;
  for (auto _ : state) {
    std::this_thread::sleep_for(11s);
    const std::size_t offset = size_of(log);
    const auto start = Clock::now();
    device.d->change_as_front_end("thermalPreventDimmingEnabled", on ? "true" : "false");
    const auto seen = wait_for_lines(
        log, offset, "",
        on ? "halvernic prevent dimming thermal state capped to light"
           : "halvernic native/lowPower thermal state: restored CommonProduct simulation off once",
        5s);
    if (!seen) {
      state.SkipWithError("the switch was never re-applied");
      break;
    }
    const double elapsed = std::chrono::duration<double>(*seen - start).count();
    state.SetIterationTime(elapsed);
    ms.push_back(elapsed * 1000);
    on = !on;
  }
  report(state, ms);
}
BENCHMARK(BM_SwitchToReapplication)->UseManualTime()->Iterations(15)->Unit(benchmark::kMillisecond);

// Three mode changes 0.4 s apart (fullPower, off, lowPower) on a daemon that has run past
// its throttle interval, sampled for 13 s from the first.
void BM_ThreeModeChangesWithinASecond(benchmark::State& state) {
  objc::attachCurrentThread();
  BootedDevice& device = booted();
  const std::string log = device.d->log_file("thermalmonitord.log");
  std::vector<double> without, longest, last_mode;
  for (auto _ : state) {
    device.d->change_as_front_end("thermalPowerMode", "off");
    std::this_thread::sleep_for(1s);
    wait_until_daemon_ran(*device.d, 11);
    Sampler sampler(*device.d);
    const auto start = Clock::now();
    device.d->change_as_front_end("thermalPowerMode", "fullPower");
    std::this_thread::sleep_until(start + 400ms);
    device.d->change_as_front_end("thermalPowerMode", "off");
    std::this_thread::sleep_until(start + 800ms);
    const std::size_t offset = size_of(log);
    device.d->change_as_front_end("thermalPowerMode", "lowPower");
    const auto seen = wait_for_lines(log, offset, "", "halvernic: low power mode", 13s);
    std::this_thread::sleep_until(start + 13s);
    sampler.stop();
    if (!seen) {
      state.SkipWithError("the last change's mode was never applied");
      break;
    }
    without.push_back(sampler.seconds_without());
    longest.push_back(sampler.longest_gap());
    last_mode.push_back(std::chrono::duration<double>(*seen - start).count());
    state.SetIterationTime(last_mode.back());
  }
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
  };
  state.counters["without_daemon_s"] = median(without);
  state.counters["longest_gap_s"] = median(longest);
  state.counters["last_mode_s"] = median(last_mode);
  state.counters["worst_without_daemon_s"] =
      without.empty() ? 0.0 : *std::max_element(without.begin(), without.end());
}
BENCHMARK(BM_ThreeModeChangesWithinASecond)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kSecond);

// 10 restart posts a second for 30 s. Argument 0: the file's mode stays; 1: it alternates
// between lowPower and fullPower every second, written straight into the file with no
// re-apply post.
void BM_RestartFlood(benchmark::State& state) {
  objc::attachCurrentThread();
  BootedDevice& device = booted();
  const bool alternate = state.range(0) != 0;
  for (auto _ : state) {
    device.d->change_as_front_end("thermalPowerMode", "lowPower");
    std::this_thread::sleep_for(1s);
    wait_until_daemon_ran(*device.d, 11);
    const int before = launches(*device.d);
    Sampler sampler(*device.d);
    const auto start = Clock::now();
    for (int i = 0; i < 300; ++i) {
      const auto at = start + std::chrono::milliseconds(100 * i);
      std::this_thread::sleep_until(at);
      objc::AutoreleasePool pool;
      if (alternate && i % 10 == 0) {
        halvernic::contract::writePreferenceValue(
            device.d->preferences_file(), "thermalPowerMode",
            objc::string((i / 10) % 2 ? "lowPower" : "fullPower"));
      }
      CFNotificationCenterPostNotification(
          CFNotificationCenterGetDarwinNotifyCenter(),
          reinterpret_cast<CFStringRef>(
              objc::string(halvernic::contract::kRestartThermalMonitorNotification)),
          nullptr, nullptr, true);
    }
    std::this_thread::sleep_until(start + 30s);
    sampler.stop();
    state.SetIterationTime(30);
    state.counters["running_share_pct"] =
        100.0 * sampler.running() / std::max(sampler.samples(), 1);
    state.counters["ends"] = launches(*device.d) - before;
    state.counters["longest_gap_s"] = sampler.longest_gap();
  }
}
BENCHMARK(BM_RestartFlood)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace
