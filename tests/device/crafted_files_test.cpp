// Crafted preferences files on the simulated device, as a hostile local process plants
// them: neither the daemon nor either front-end crashes, hangs or grows on one; the daemon
// runs natively while it is there; the Settings pane and Control Center show the defaults
// and write a good file over it, which the daemon then follows. The device boots once for
// the suite (launchd's throttle 1 s); every wait is bounded.
#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>
#include <notify.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/objc/foundation.hpp"
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

void post(const char* name) {
  CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(),
                                       reinterpret_cast<CFStringRef>(objc::string(name)), nullptr,
                                       nullptr, true);
}

// The posts of a front-end's switch change, without its write: the daemon re-reads the file.
void post_change() {
  int token = 0;
  if (notify_register_check(contract::kRuntimeStateNotification, &token) == NOTIFY_STATUS_OK) {
    notify_set_state(token, contract::kPublishedRuntimeState);
    notify_post(contract::kRuntimeStateNotification);
    notify_cancel(token);
  }
  post(contract::kExecutePuppetEventNotification);
}

// Resident memory of a process in kB (0 when it is gone).
long resident_kb(pid_t pid) {
  std::istringstream status(readFile("/proc/" + std::to_string(pid) + "/status"));
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return 0;
}

// Writes bytes as the file's new content, renamed into place (a new file every time).
void plant(const std::string& path, const std::string& bytes) {
  const std::string staging = path + ".planting";
  std::ofstream(staging, std::ios::binary | std::ios::trunc) << bytes;
  fs::rename(staging, path);
}

std::string nested_xml(std::size_t levels) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>a</key>";
  for (std::size_t i = 0; i < levels; ++i) xml += "<array>";
  for (std::size_t i = 0; i < levels; ++i) xml += "</array>";
  return xml + "</dict></plist>\n";
}

// A binary list of `levels` arrays inside one another (object i holds object i + 1), with
// four-byte offsets and references.
std::string nested_binary(std::uint32_t levels) {
  std::string out = "bplist00";
  std::vector<std::uint32_t> offsets;
  auto put32 = [&](std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
  };
  for (std::uint32_t i = 0; i < levels; ++i) {
    offsets.push_back(static_cast<std::uint32_t>(out.size()));
    if (i + 1 == levels) {
      out += '\xA0';
    } else {
      out += '\xA1';
      put32(i + 1);
    }
  }
  const std::uint32_t table = static_cast<std::uint32_t>(out.size());
  for (std::uint32_t offset : offsets) put32(offset);
  out += std::string(6, '\0');
  out += '\x04';  // offset size
  out += '\x04';  // reference size
  for (std::uint64_t value : {std::uint64_t{levels}, std::uint64_t{0}, std::uint64_t{table}}) {
    for (int shift = 56; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
  }
  return out;
}

// A binary dictionary whose one value is the dictionary itself.
std::string binary_holding_itself() {
  std::string out = "bplist00";
  out += "\xD1\x01\x00";  // object 0 at 8: { object 1: object 0 }
  out += "\x51k";         // object 1 at 11: "k"
  out += "\x08\x0B";      // offset table at 13
  std::string trailer(32, '\0');
  trailer[6] = 1;
  trailer[7] = 1;
  trailer[15] = 2;   // two objects
  trailer[23] = 0;   // top object 0
  trailer[31] = 13;  // offset table
  return out + trailer;
}

// About 4 KB of old-style text, damaged at the end: the kind of file whose every rewrite
// once grew the daemon by megabytes. seed varies it.
std::string malformed_text(int seed) {
  std::string text = "{ thermalPowerMode = fullPower; list" + std::to_string(seed) + " = (";
  for (int i = 0; text.size() < 4000; ++i) {
    text += "{ key" + std::to_string(i) + " = \"value " + std::to_string(seed * 1000 + i) +
            "\"; data = <0fbd77" + std::to_string(i % 10) + ">; nested = (a, b, (c, d)); }, ";
  }
  return text + "{ broken = ";
}

struct Crafted {
  const char* name;
  std::function<void(const std::string& path)> plant;
};

void PrintTo(const Crafted& crafted, std::ostream* out) { *out << crafted.name; }

const Crafted kCrafted[] = {
    {"NestedBraces100000", [](const std::string& path) { plant(path, std::string(100000, '{')); }},
    {"NestedBraces1000000",
     [](const std::string& path) { plant(path, std::string(1000000, '{')); }},
    {"NestedXml", [](const std::string& path) { plant(path, nested_xml(100000)); }},
    {"NestedBinaryArrays", [](const std::string& path) { plant(path, nested_binary(100000)); }},
    {"BinaryListHoldingItself",
     [](const std::string& path) { plant(path, binary_holding_itself()); }},
    {"MalformedText", [](const std::string& path) { plant(path, malformed_text(1)); }},
    {"Fifo",
     [](const std::string& path) {
       fs::remove(path);
       ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
     }},
};

class CraftedFiles : public testing::TestWithParam<Crafted> {
protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/hv-crafted-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root_ = new std::string(pattern);
    ::setenv("HALVERNIC_NOTIFY_SOCKET", (*root_ + "/var/run/hv-notifyd.socket").c_str(), 1);
    device_ = new device::Device(*root_, device::Programs::of_this_build());
    device::BootOptions options;
    options.throttle_interval = 1.0;
    options.tick_ms = 200;
    ASSERT_NO_THROW(device_->boot(options));
    ASSERT_NO_THROW(device_->install());
  }
  static void TearDownTestSuite() {
    if (device_ && device_->booted()) EXPECT_NO_THROW(device_->shutdown());
    delete device_;
    device_ = nullptr;
    fs::remove_all(*root_);
    delete root_;
  }
  void SetUp() override {
    ASSERT_NE(device_, nullptr);
    ASSERT_TRUE(device_->booted());
  }

  static pid_t daemon_pid() { return device_->job_pid(device::kDaemonLabel); }
  static std::string log() { return device_->log("thermalmonitord.log"); }
  static std::string engine_mode() { return device::engine_mode(log()); }

  // A running daemon that answers, in fullPower through a file of the contract's own
  // write (no restart: the engine applies the mode it reads).
  static void full_power_from_a_good_file() {
    ASSERT_TRUE(contract::writePreferenceValue(device_->preferences_file(), contract::kPowerModeKey,
                                               objc::string("fullPower")));
    post_change();
    ASSERT_TRUE(waitUntil([] { return engine_mode() == "fullPower"; }, 10s))
        << log().substr(log().size() - 500);
  }

  static std::string* root_;
  static device::Device* device_;
  objc::AutoreleasePool pool_;
};
std::string* CraftedFiles::root_ = nullptr;
device::Device* CraftedFiles::device_ = nullptr;

TEST_P(CraftedFiles, NoCrashNoHangNativeThenAFrontEndWritesOverIt) {
  const Crafted& crafted = GetParam();
  full_power_from_a_good_file();
  const pid_t pid = daemon_pid();
  ASSERT_GT(pid, 0);

  // The daemon reads it at the next notification and on its own: no preferences at all.
  crafted.plant(device_->preferences_file());
  post_change();
  EXPECT_TRUE(waitUntil([] { return engine_mode() == "off"; }, 10s)) << "the daemon went native";
  std::this_thread::sleep_for(600ms);  // the replacement layer's re-readings, several steps
  std::map<std::string, std::string> state;
  ASSERT_NO_THROW(state = device_->daemon_state(5s)) << "the daemon answers";
  EXPECT_EQ(daemon_pid(), pid) << "the daemon never ended";
  EXPECT_NE(state.at("cpuPowerCeiling"), "50000")
      << "the replacement layer reads no fullPower either";
  EXPECT_EQ(state.at("thermalSimulation"), "off");

  // Both front-ends show the defaults, without crashing or waiting.
  const auto rows = device_->run_host(device::Host::kSettings, {"rows"}, 30s);
  EXPECT_EQ(rows.status, 0) << rows.err;
  EXPECT_NE(rows.out.find("row\tCPU 模式\tthermalPowerMode\t苹果原生温控\n"), std::string::npos)
      << rows.out;
  EXPECT_NE(rows.out.find("thermalPreventDimmingEnabled\toff\n"), std::string::npos) << rows.out;
  const auto module = device_->run_host(device::Host::kControlCenter, {"state"}, 30s);
  EXPECT_EQ(module.status, 0) << module.err;
  EXPECT_NE(module.out.find("mode: off\n"), std::string::npos) << module.out;
  EXPECT_NE(module.out.find("selected: no\n"), std::string::npos) << module.out;
  EXPECT_EQ(device::file_mode(device_->preferences_file()), "off (unreadable file)")
      << "the device tool";

  // The pane's switch writes a good file over it; the running daemon follows.
  const auto toggled =
      device_->run_host(device::Host::kSettings, {"toggle", "防止温控调暗屏幕"}, 30s);
  ASSERT_EQ(toggled.status, 0) << toggled.err;
  EXPECT_TRUE(
      waitUntil([] { return device_->daemon_state(5s).at("thermalSimulation") == "light"; }, 10s));
  EXPECT_EQ(daemon_pid(), pid);
  objc::Ref written = contract::readPreferences(device_->preferences_file());
  ASSERT_TRUE(written) << "a good file replaced the crafted one";
  EXPECT_TRUE(contract::engineBoolPreference(written.get(), contract::kPreventDimmingKey, false));

  // Planted again, Control Center's tile writes over it; the relaunched daemon follows.
  crafted.plant(device_->preferences_file());
  const auto tapped = device_->run_host(device::Host::kControlCenter, {"tap-tile", "state"}, 30s);
  ASSERT_EQ(tapped.status, 0) << tapped.err;
  EXPECT_NE(tapped.out.find("mode: lowPower\n"), std::string::npos) << tapped.out;
  pid_t relaunched = 0;
  ASSERT_NO_THROW(relaunched = device_->wait_for_daemon(pid, 15s));
  EXPECT_TRUE(waitUntil([] { return device_->daemon_state(5s).at("cpuLevel") == "2"; }, 10s));
  EXPECT_EQ(device::engine_mode(log()), "lowPower");
  EXPECT_EQ(device::file_mode(device_->preferences_file()), "lowPower");
  EXPECT_GT(relaunched, 0);
}

INSTANTIATE_TEST_SUITE_P(Device, CraftedFiles, testing::ValuesIn(kCrafted),
                         [](const testing::TestParamInfo<Crafted>& info) {
                           return info.param.name;
                         });

// A damaged file rewritten over and over, each time followed by a notification: the daemon
// reads every version (a new file each time), stays native and stays its size. Old-style
// text once grew it by about 2 MB per rewrite; XML that passes the scan but that the
// platform's parser refuses (a value without its key, which GNUstep raises on) is tried too.
TEST_F(CraftedFiles, DamagedFilesRewrittenAHundredAndFiftyTimesNeverGrowTheDaemon) {
  full_power_from_a_good_file();
  const pid_t pid = daemon_pid();
  // Warm up: the same path of reading, parsing and applying, with good files.
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(
        contract::writePreferenceValue(device_->preferences_file(), "warmUp", objc::number(i)));
    post_change();
    std::this_thread::sleep_for(20ms);
  }
  std::this_thread::sleep_for(1s);
  const long before = resident_kb(pid);
  ASSERT_GT(before, 0);

  const std::string xml_head =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>";
  for (int i = 0; i < 150; ++i) {
    plant(device_->preferences_file(), malformed_text(i));
    post_change();
    std::this_thread::sleep_for(20ms);
  }
  for (int i = 0; i < 150; ++i) {
    std::string damaged = xml_head;
    while (damaged.size() < 4000)
      damaged += "<key>k" + std::to_string(damaged.size()) + "</key><string>v</string>";
    plant(device_->preferences_file(),
          damaged + "<string>" + std::to_string(i) + "</string></dict></plist>\n");
    post_change();
    std::this_thread::sleep_for(20ms);
  }
  std::this_thread::sleep_for(1500ms);
  const long after = resident_kb(pid);
  EXPECT_EQ(daemon_pid(), pid) << "the daemon never ended";
  std::printf("daemon resident memory: %ld kB before, %ld kB after the rewrites\n", before, after);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || \
    __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
  // A sanitizer's allocator keeps freed memory in quarantine and shadows all of it: the
  // daemon's resident size says nothing of what it keeps.
#else
  EXPECT_LT(after - before, 5 * 1024)
      << "resident memory from " << before << " kB to " << after << " kB";
#endif
  EXPECT_EQ(engine_mode(), "off");
  std::map<std::string, std::string> state;
  ASSERT_NO_THROW(state = device_->daemon_state(5s));
  EXPECT_NE(state.at("cpuPowerCeiling"), "50000");
  RecordProperty("daemon_kB_before", static_cast<int>(before));
  RecordProperty("daemon_kB_after", static_cast<int>(after));
}

}  // namespace
