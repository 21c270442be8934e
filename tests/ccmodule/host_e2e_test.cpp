// hv-controlcenter as a process, as the device tool and a person run it: a device root with
// the module installed, a notify daemon, and this test as another process watching what the
// module announces.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "hvplatform/environment.h"
#include "sim/controlcenter/bundle.hpp"
#include "tests/ccmodule/publications.hpp"
#include "tests/support/preferences.hpp"

extern "C" char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct HostRun {
  int status = -1;  // exit status, or -1 when it did not end in time
  std::string out, err;
};

// Runs hv-controlcenter with args (and stdin from a file when given); bounded at 30 seconds.
HostRun run_host(std::vector<std::string> args, const std::string& input = "") {
  const fs::path folder =
      hv_test::device_root().parent_path() / ("hv-cc-run-" + std::to_string(getpid()));
  fs::create_directories(folder);
  const fs::path out = folder / "out", err = folder / "err", in = folder / "in";
  std::ofstream(in) << input;
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 0, in.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&files, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  args.insert(args.begin(), HV_CONTROLCENTER);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  HostRun run;
  if (posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&files);
  if (pid <= 0) return run;
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  for (;;) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(pid, SIGKILL);  // pid > 0 checked above
      waitpid(pid, nullptr, 0);
      break;
    }
    std::this_thread::sleep_for(5ms);
  }
  run.out = read_file(out);
  run.err = read_file(err);
  return run;
}

class HostProcess : public testing::Test {
public:
  static void SetUpTestSuite() {
    const fs::path root = hv_test::device_root();
    const fs::path bundle = root / hv_controlcenter_sim::kModuleFolder / "HalvernicCC.bundle";
    fs::create_directories(bundle.parent_path());
    fs::copy(HV_CC_BUNDLE_DIR, bundle,
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    socket_ = new std::string(
        (root.parent_path() / ("hv-cc-notifyd-" + std::to_string(getpid()))).string());
    setenv(HV_ENV_NOTIFY_SOCKET, socket_->c_str(), 1);
    std::string path = HV_NOTIFYD, option = "--socket";
    char* argv[] = {path.data(), option.data(), socket_->data(), nullptr};
    if (posix_spawn(&notifyd_, argv[0], nullptr, nullptr, argv, environ) != 0) notifyd_ = -1;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (notifyd_ > 0 && !fs::exists(*socket_) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(5ms);
    }
  }
  static void TearDownTestSuite() {
    if (notifyd_ > 0) {
      kill(notifyd_, SIGTERM);
      waitpid(notifyd_, nullptr, 0);
    }
    notifyd_ = -1;
  }
  void SetUp() override {
    ASSERT_GT(notifyd_, 0) << "the notify daemon did not start";
    ASSERT_TRUE(fs::exists(*socket_));
    fs::remove_all(hv_test::preferences_path());
  }

  static std::string root() { return hv_test::device_root().string(); }
  static pid_t notifyd_;
  static std::string* socket_;
};
pid_t HostProcess::notifyd_ = -1;
std::string* HostProcess::socket_ = nullptr;

TEST_F(HostProcess, FromAFreshRootATileTapWritesLowPowerAnnouncesItAndTheMenuMarksIt) {
  hv_test::Publications seen;
  const HostRun run = run_host({"--root", root(), "state", "tap-tile", "state", "expand", "rows"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(lines_of(run.out), (std::vector<std::string>{
                                   "selected: no", "glyph-state: off", "mode: off", "tapped: tile",
                                   "selected: yes", "glyph-state: on", "mode: lowPower",
                                   "expanded: yes", "row 0: 原生态 | 苹果原生温控 | unchecked",
                                   "row 1: 低电量 | 模拟低电频率 | checked",
                                   "row 2: 满频率 | 防止温控降频 | unchecked"}));
  // Another process sees the word first, then the two notifications.
  EXPECT_EQ(seen.names(), hv_test::kOneChoice);
  ASSERT_EQ(seen.words().size(), 1u);
  EXPECT_EQ(seen.words()[0] >> 32, 0x48414C56u) << "HALV above";
  EXPECT_EQ(seen.words()[0] & 0xFFFFFFFFu, 0u) << "zero below";
}

TEST_F(HostProcess, ARowIsChosenByTitleAndTheLockScreenShowsTheModule) {
  const HostRun run = run_host(
      {"--root", root(), "expand", "choose", "满频率", "rows", "collapse", "lock-screen", "state"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(lines_of(run.out),
            (std::vector<std::string>{
                "expanded: yes", "chose: 满频率", "row 0: 原生态 | 苹果原生温控 | unchecked",
                "row 1: 低电量 | 模拟低电频率 | unchecked",
                "row 2: 满频率 | 防止温控降频 | checked", "expanded: no", "lock-screen: shown",
                "selected: yes", "glyph-state: on", "mode: fullPower"}));
}

TEST_F(HostProcess, ErrorsStopTheRunAfterTheCommandsBeforeThem) {
  HostRun run = run_host({"--root", root(), "state", "bogus", "tap-tile"});
  EXPECT_NE(run.status, 0);
  EXPECT_EQ(lines_of(run.out),
            (std::vector<std::string>{"selected: no", "glyph-state: off", "mode: off"}));
  EXPECT_NE(run.err.find("unknown command 'bogus'"), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(hv_test::preferences_path())) << "the tap after the error never ran";

  run = run_host({"--root", root(), "expand", "choose", "没有"});
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.err.find("no row titled '没有'"), std::string::npos) << run.err;

  const fs::path empty =
      hv_test::device_root().parent_path() / ("hv-cc-empty-root-" + std::to_string(getpid()));
  fs::create_directories(empty);
  run = run_host({"--root", empty.string(), "state"});
  EXPECT_NE(run.status, 0);
  EXPECT_TRUE(run.out.empty());
  EXPECT_NE(run.err.find("no module bundle"), std::string::npos) << run.err;
  fs::remove_all(empty);
}

TEST_F(HostProcess, WithoutCommandsItReadsThemFromStandardInput) {
  const HostRun run = run_host({"--root", root()}, "help\ntap-tile\nnonsense\nstate\n");
  EXPECT_NE(run.status, 0) << "an error on the way is still reported at the end";
  const std::vector<std::string> lines = lines_of(run.out);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "command: choose TITLE"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "mode: lowPower"), lines.end()) << run.out;
  EXPECT_NE(run.err.find("unknown command 'nonsense'"), std::string::npos) << run.err;
}

}  // namespace
