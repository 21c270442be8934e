// The simulated device's response times, end to end, with launchd's real throttle (10 s).
// Each benchmark boots a device below a fresh root, installs the package and makes its
// changes as the front-ends make them; the time of one change runs from just before the
// preferences file is written to the moment the daemon's log shows the application.
// Manual time per iteration; median and maximum are counters (milliseconds).
//
//   device_bench --benchmark_filter=ModeChange   20 mode changes 12 s apart (about 4 min)
//   device_bench --benchmark_filter=Switch       15 switches 11 s apart (no delayed
//                                                re-application of an earlier change pending)
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/objc/foundation.hpp"
#include "common/objc/thread.hpp"
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
std::optional<Clock::time_point> wait_for_lines(const std::string& log, std::size_t offset, const std::string& first,
                                                const std::string& second, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (Clock::now() < deadline) {
    const std::string text = read_from(log, offset);
    std::size_t from = 0;
    if (!first.empty()) from = text.find(first);
    if (from != std::string::npos && text.find(second, from) != std::string::npos) return Clock::now();
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

void report(benchmark::State& state, std::vector<double> ms) {
  if (ms.empty()) return;
  std::sort(ms.begin(), ms.end());
  state.counters["median_ms"] = ms[ms.size() / 2];
  state.counters["max_ms"] = ms.back();
  state.counters["min_ms"] = ms.front();
}

void BM_ModeChangeToRelaunchedDaemonApplied(benchmark::State& state) {
  objc::attach_current_thread();
  BootedDevice device;
  const std::string log = device.d->log_file("thermalmonitord.log");
  const char* modes[] = {"fullPower", "lowPower", "off"};
  const char* lines[] = {"halvernic: full power mode", "halvernic: low power mode", "halvernic: native thermal mode restored"};
  std::vector<double> ms;
  int i = 0;
  for (auto _ : state) {
    std::this_thread::sleep_for(12s);  // the daemon has run 10 s: launchd relaunches at once
    const std::size_t offset = size_of(log);
    const auto start = Clock::now();
    device.d->change_as_front_end("thermalPowerMode", modes[i % 3]);
    const auto seen = wait_for_lines(log, offset, "halvernic: restarting thermalmonitord", lines[i % 3], 30s);
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
BENCHMARK(BM_ModeChangeToRelaunchedDaemonApplied)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

void BM_SwitchToReapplication(benchmark::State& state) {
  objc::attach_current_thread();
  BootedDevice device;
  const std::string log = device.d->log_file("thermalmonitord.log");
  std::vector<double> ms;
  bool on = true;
  for (auto _ : state) {
    std::this_thread::sleep_for(11s);
    const std::size_t offset = size_of(log);
    const auto start = Clock::now();
    device.d->change_as_front_end("thermalPreventDimmingEnabled", on ? "true" : "false");
    const auto seen = wait_for_lines(log, offset, "",
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

}  // namespace
