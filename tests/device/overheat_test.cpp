// The overheat protection end to end on the simulated device, under the heat scenario's
// workload: booted with a 50 ms step (20 simulated seconds a second; see kTickMs), the package
// installed, fullPower chosen as the front-ends choose it, every step of every daemon in one trace.
// With the protection (the default) the battery never passes 51 °C: the daemon's log has
// one engaging and one releasing line per crossing, each restarting the daemon, the
// preferences file is never written, and after the release full power is applied again.
// Without it the battery passes 51 °C. Every wait is bounded.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/objc/foundation.hpp"
#include "extension/contract/overheat.hpp"
#include "sim/device/device.hpp"
#include "sim/device/scenario.hpp"
#include "tests/support/files.hpp"

namespace {

using hv_test::readFile;

namespace device = halvernic::sim::device;
namespace contract = halvernic::contract;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

int count_of(const std::string& text, const std::string& needle) {
  int n = 0;
  for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
    ++n;
  return n;
}

// The stamp that tells a rewritten file from the same one.
std::string stamp(const std::string& path) {
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0) return "missing";
  return std::to_string(st.st_ino) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
         std::to_string(st.st_mtim.tv_nsec) + ":" + readFile(path);
}

// The device's time runs 20 simulated seconds a second: a daemon that takes a real second
// to relaunch lets the battery heat for twenty. Under ThreadSanitizer every step of the
// daemon is several times slower, so the device runs at 10 simulated seconds a second there,
// and the battery's bound stays the same.
#if defined(__SANITIZE_THREAD__) || __has_feature(thread_sanitizer)
constexpr int kTickMs = 100;
#else
constexpr int kTickMs = 50;
#endif

class OverheatOnDevice : public testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/hv-overheat-device-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root_ = pattern;
    // This process talks to the device's notify daemon, as the front-ends do.
    ::setenv("HALVERNIC_NOTIFY_SOCKET", (root_ + "/var/run/hv-notifyd.socket").c_str(), 1);
    d_ = std::make_unique<device::Device>(root_, device::Programs::of_this_build());
    device::BootOptions options;
    options.throttle_interval = 1.0;
    options.tick_ms = kTickMs;
    options.cpu_demand = device::ScenarioOptions{}.cpu_demand;
    options.trace_file = trace();
    ASSERT_NO_THROW(d_->boot(options));
    ASSERT_NO_THROW(d_->install());
  }
  void TearDown() override {
    if (d_->booted()) EXPECT_NO_THROW(d_->shutdown());
    fs::remove_all(root_);
  }

  std::string trace() const { return root_ + "/var/log/thermalmonitord.trace"; }
  std::string log() const { return d_->log("thermalmonitord.log"); }
  std::vector<device::Sample> samples() const { return device::parse_trace(readFile(trace())); }

  // Waits (bounded) until the trace satisfies done.
  template <class Done>
  bool wait_for(Done done, std::chrono::seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      if (done(samples())) return true;
      std::this_thread::sleep_for(100ms);
    }
    return false;
  }

  std::string root_;
  std::unique_ptr<device::Device> d_;
  objc::AutoreleasePool pool_;
};

TEST_F(OverheatOnDevice, FullPowerKeepsTheBatteryBelow51AndComesBackOnceItCools) {
  d_->change_as_front_end("thermalPowerMode", "fullPower");
  const std::string preferences = d_->preferences_file();
  const std::string written = stamp(preferences);

  // Engaged, released, and full power in force again after the release.
  std::size_t released_at = 0;
  const bool crossed = wait_for(
      [&](const std::vector<device::Sample>& s) {
        bool engaged = false;
        for (std::size_t i = 0; i < s.size(); ++i) {
          if (s[i].protection) engaged = true;
          if (engaged && !s[i].protection && released_at == 0) released_at = i;
          if (released_at && i > released_at + 20 && s[i].cpu_power_ceiling == 50000) return true;
        }
        return false;
      },
      180s);
  ASSERT_TRUE(crossed) << "no engaging, releasing and full power again within 180 s\n" << log();
  ASSERT_NO_THROW(d_->shutdown());  // every daemon's last line is in the trace

  const std::vector<device::Sample> s = samples();
  double peak = 0;
  int engagings = 0, releasings = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    peak = std::max(peak, s[i].battery_temperature);
    if (i > 0 && s[i].protection && !s[i - 1].protection) ++engagings;
    if (i > 0 && !s[i].protection && s[i - 1].protection) ++releasings;
  }
  EXPECT_LE(peak, 51.0) << "the battery passed 51 °C with the protection on";
  EXPECT_GT(peak, 50.0) << "the workload did reach the protection";
  const std::string text = log();
  EXPECT_EQ(count_of(text, "halvernic overheat protection engaged: battery "), engagings) << text;
  EXPECT_EQ(count_of(text, "halvernic overheat protection released: battery "), releasings) << text;
  EXPECT_GE(engagings, 1);
  EXPECT_GE(releasings, 1);
  EXPECT_EQ(count_of(text, ", fullPower acts as native until it cools"), engagings);
  // Each change restarted the daemon, and each new daemon knew where the protection stood.
  EXPECT_GE(count_of(text, "halvernic: restarting thermalmonitord after CPU mode change"),
            engagings + releasings + 1)  // and the front-end's choice of fullPower
      << text;
  EXPECT_GE(count_of(text, "halvernic overheat protection still engaged since battery"), engagings);
  // After the (last) release line the relaunched daemon applies full power again.
  const std::size_t release = text.rfind("halvernic overheat protection released");
  ASSERT_NE(release, std::string::npos);
  EXPECT_NE(text.find("halvernic: full power mode", release), std::string::npos);
  EXPECT_EQ(stamp(preferences), written) << "the protection never writes the preferences file";
  if (!s.back().protection) {
    EXPECT_FALSE(fs::exists(d_->jailbreak_root() + contract::kOverheatStatePath))
        << "released: no state file";
  }
}

TEST_F(OverheatOnDevice, WithoutTheProtectionTheBatteryPasses51) {
  d_->change_as_front_end(contract::kOverheatProtectionKey, "false");
  d_->change_as_front_end("thermalPowerMode", "fullPower");
  const bool passed = wait_for(
      [](const std::vector<device::Sample>& s) {
        for (const device::Sample& sample : s) {
          if (sample.battery_temperature > 51.0) return true;
        }
        return false;
      },
      180s);
  EXPECT_TRUE(passed) << log();
  for (const device::Sample& sample : samples()) ASSERT_FALSE(sample.protection);
  EXPECT_EQ(log().find("halvernic overheat protection engaged"), std::string::npos);
}

}  // namespace
