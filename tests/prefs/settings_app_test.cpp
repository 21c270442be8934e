// The simulated Settings app as the device tool drives it: hv-settings below a fresh device
// root with the pane installed, a notify daemon, and this test as the other process that
// watches the posts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <notify.h>
#include <poll.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "common/objc/foundation.hpp"
#include "extension/contract/contract.hpp"
#include "hvplatform/environment.h"
#include "hvplatform/notify_function.h"
#include "tests/platform/process.hpp"

namespace {

namespace fs = std::filesystem;
using hv_platform_test::Child;
using namespace std::chrono_literals;

struct Result {
  int status = -1;  // exit status, -1 when it did not end in time
  std::string out, err;
};

// Runs hv-settings with these arguments (and standard input), bounded to 60 seconds.
Result run_settings(const std::vector<std::string>& args, const std::string& input = "") {
  int out_pipe[2], err_pipe[2], in_pipe[2];
  // Close-on-exec: the child keeps only its three standard streams (so standard input ends).
  if (pipe2(out_pipe, O_CLOEXEC) || pipe2(err_pipe, O_CLOEXEC) || pipe2(in_pipe, O_CLOEXEC))
    return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in_pipe[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
  std::vector<std::string> argv = {HV_SETTINGS};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> raw;
  for (auto& a : argv) raw.push_back(a.data());
  raw.push_back(nullptr);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, raw[0], &actions, nullptr, raw.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out_pipe[1]);
  close(err_pipe[1]);
  close(in_pipe[0]);
  if (!input.empty()) (void)!write(in_pipe[1], input.data(), input.size());
  close(in_pipe[1]);
  Result result;
  if (spawned != 0 || pid <= 0) return result;
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  int open_fds = 2;
  while (open_fds > 0 && std::chrono::steady_clock::now() < deadline) {
    if (poll(fds, 2, 100) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
      char buffer[4096];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n <= 0) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_fds;
      } else {
        (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
      }
    }
  }
  for (auto& fd : fds) {
    if (fd.fd >= 0) close(fd.fd);
  }
  int status = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    if (waitpid(pid, &status, WNOHANG) == pid) {
      result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return result;
    }
    std::this_thread::sleep_for(5ms);
  }
  kill(pid, SIGKILL);  // pid > 0 here
  waitpid(pid, &status, 0);
  return result;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    out.push_back(text.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return out;
}

bool has_line(const Result& r, const std::string& line) {
  for (const std::string& l : lines(r.out)) {
    if (l == line) return true;
  }
  return false;
}

class SettingsApp : public testing::Test {
protected:
  static void SetUpTestSuite() {
    daemon_ = new hv_platform_test::SuiteNotifyDaemon(HV_NOTIFYD, HV_ENV_NOTIFY_SOCKET,
                                                      "hv-settings-test");
    ASSERT_TRUE(daemon_->ready());
  }
  static void TearDownTestSuite() {
    delete daemon_;
    daemon_ = nullptr;
  }

  // A fresh device root with the pane installed as the package lays it out.
  void SetUp() override {
    root_ = daemon_->folder() / testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(root_);
    const fs::path jb = root_ / "var/jb";
    fs::create_directories(jb / "Library/PreferenceBundles");
    fs::create_directories(jb / "Library/PreferenceLoader/Preferences");
    fs::create_directories(jb / "var/mobile/Library/Preferences");  // as on a device
    fs::copy(HV_PREFS_BUNDLE, jb / "Library/PreferenceBundles/HalvernicPrefs.bundle",
             fs::copy_options::recursive);
    fs::copy_file(HV_PREFS_LOADER_ENTRY,
                  jb / "Library/PreferenceLoader/Preferences/HalvernicPrefs.plist");
  }
  std::string preferences_file() const {
    return (root_ / "var/jb/var/mobile/Library/Preferences/com.nu-falk.halvernic-prefs.plist")
        .string();
  }
  std::vector<std::string> with_root(std::vector<std::string> commands) const {
    commands.insert(commands.begin(), {"--root", root_.string()});
    return commands;
  }

  fs::path root_;
  static hv_platform_test::SuiteNotifyDaemon* daemon_;
};
hv_platform_test::SuiteNotifyDaemon* SettingsApp::daemon_ = nullptr;

// Posts of the three names, in the order the notify daemon delivers them to this process.
class PostLog {
public:
  PostLog() {
    for (const char* name : {halvernic::contract::kRuntimeStateNotification,
                             halvernic::contract::kExecutePuppetEventNotification,
                             halvernic::contract::kRestartThermalMonitorNotification}) {
      int token = 0;
      EXPECT_EQ(hv_notify_register_function(name, &token, &PostLog::on_post, this),
                NOTIFY_STATUS_OK);
      tokens_.push_back(token);
    }
  }
  ~PostLog() {
    for (int token : tokens_) notify_cancel(token);
  }
  std::vector<std::string> wait_for(std::size_t n) {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait_for(lock, 10s, [&] { return names_.size() >= n; });
    return names_;
  }
  std::vector<std::string> now() {
    std::lock_guard<std::mutex> lock(mutex_);
    return names_;
  }

private:
  static void on_post(int, const char* name, void* context) {
    auto* self = static_cast<PostLog*>(context);
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->names_.push_back(name);
    self->cv_.notify_all();
  }
  std::vector<int> tokens_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<std::string> names_;
};

TEST_F(SettingsApp, ChoosingFullPowerInTheMenuWritesTheModeAndPostsInOrder) {
  PostLog posts;
  const Result r = run_settings(with_root({"rows", "tap", "CPU 模式", "menu", "choose",
                                           "防止温控降频", "wait", "0.3", "menu", "rows"}));
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> out = lines(r.out);
  // Before: every row with its key and the value it shows.
  EXPECT_TRUE(has_line(r, "row\tCPU 模式\tthermalPowerMode\t苹果原生温控")) << r.out;
  EXPECT_TRUE(has_line(r, "row\t防止温控调暗屏幕\tthermalPreventDimmingEnabled\toff")) << r.out;
  EXPECT_TRUE(has_line(r, "menu open")) << r.out;
  EXPECT_TRUE(has_line(r, "menu-row\t苹果原生温控\tchecked")) << r.out;
  EXPECT_TRUE(has_line(r, "menu-row\t防止温控降频\tunchecked")) << r.out;
  EXPECT_TRUE(has_line(r, "no menu")) << r.out;
  EXPECT_TRUE(has_line(r, "row\tCPU 模式\tthermalPowerMode\t防止温控降频")) << r.out;

  objc::AutoreleasePool pool;
  objc::Ref stored = halvernic::contract::readPreferences(preferences_file());
  EXPECT_TRUE(
      objc::stringEquals(objc::dictionaryGet(stored.get(), "thermalPowerMode"), "fullPower"));
  EXPECT_EQ(posts.wait_for(3),
            (std::vector<std::string>{halvernic::contract::kRuntimeStateNotification,
                                      halvernic::contract::kExecutePuppetEventNotification,
                                      halvernic::contract::kRestartThermalMonitorNotification}));
}

// A stored mode outside the three values: the row shows the title of the mode the menu
// checks, not an empty value.
TEST_F(SettingsApp, AModeOutsideTheThreeShowsTheNativeTitleTheMenuChecks) {
  objc::AutoreleasePool pool;
  objc::Ref stored = objc::makeMutableDictionary();
  objc::dictionarySet(stored.get(), "thermalPowerMode", objc::string("native"));
  ASSERT_TRUE(objc::writePropertyListXmlAtomically(stored.get(), preferences_file()));
  const Result r = run_settings(with_root({"rows", "tap", "CPU 模式", "menu"}));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has_line(r, "row\tCPU 模式\tthermalPowerMode\t苹果原生温控")) << r.out;
  EXPECT_TRUE(has_line(r, "menu-row\t苹果原生温控\tchecked")) << r.out;
}

// A device whose preferences folder is gone: the first change makes it and writes the file.
TEST_F(SettingsApp, AMissingPreferencesFolderIsMadeByTheFirstChange) {
  fs::remove_all(root_ / "var/jb/var");
  const Result r =
      run_settings(with_root({"tap", "CPU 模式", "choose", "模拟低电频率", "wait", "0.3", "rows"}));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has_line(r, "row\tCPU 模式\tthermalPowerMode\t模拟低电频率")) << r.out;
  objc::AutoreleasePool pool;
  objc::Ref file = halvernic::contract::readPreferences(preferences_file());
  EXPECT_EQ(halvernic::contract::powerModeOf(file.get()), halvernic::contract::PowerMode::lowPower);
  EXPECT_EQ(fs::status(root_ / "var/jb/var/mobile/Library/Preferences").permissions(),
            fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                fs::perms::others_read | fs::perms::others_exec);
}

TEST_F(SettingsApp, ASwitchWritesItsKeyAndPostsNoRestart) {
  PostLog posts;
  const Result r = run_settings(with_root({"toggle", "锁定阳光模式", "rows"}));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has_line(r, "toggled\t锁定阳光模式\ton")) << r.out;
  EXPECT_TRUE(has_line(r, "row\t锁定阳光模式\tthermalSunlightLockedEnabled\ton")) << r.out;
  objc::AutoreleasePool pool;
  objc::Ref stored = halvernic::contract::readPreferences(preferences_file());
  EXPECT_TRUE(objc::objectsEqual(objc::dictionaryGet(stored.get(), "thermalSunlightLockedEnabled"),
                                 objc::boolean(true)));
  EXPECT_EQ(posts.wait_for(2),
            (std::vector<std::string>{halvernic::contract::kRuntimeStateNotification,
                                      halvernic::contract::kExecutePuppetEventNotification}));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(posts.now().size(), 2u) << "no restart for a switch";
}

// The overheat protection's row: on while the file has no key (the engine's reading), and a
// tap writes and announces it as every other switch (re-application, no restart).
TEST_F(SettingsApp, TheOverheatProtectionSwitchShowsOnByDefaultAndWritesLikeTheOthers) {
  PostLog posts;
  const Result r = run_settings(with_root({"rows", "toggle", "电池过热保护", "rows"}));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has_line(r, "row	电池过热保护	thermalOverheatProtectionEnabled	on"))
      << r.out;
  EXPECT_TRUE(has_line(r, "toggled	电池过热保护	off")) << r.out;
  EXPECT_TRUE(has_line(r, "row	电池过热保护	thermalOverheatProtectionEnabled	off"))
      << r.out;
  {
    objc::AutoreleasePool pool;
    objc::Ref stored = halvernic::contract::readPreferences(preferences_file());
    EXPECT_TRUE(
        objc::objectsEqual(objc::dictionaryGet(stored.get(), "thermalOverheatProtectionEnabled"),
                           objc::boolean(false)));
    EXPECT_EQ(objc::count(stored.get()), 1u) << "the one key written";
  }
  EXPECT_EQ(posts.wait_for(2),
            (std::vector<std::string>{halvernic::contract::kRuntimeStateNotification,
                                      halvernic::contract::kExecutePuppetEventNotification}));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(posts.now().size(), 2u) << "no restart for a switch";

  // And back on.
  const Result again = run_settings(with_root({"toggle", "电池过热保护"}));
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_TRUE(has_line(again, "toggled	电池过热保护	on")) << again.out;
  objc::AutoreleasePool pool;
  objc::Ref stored = halvernic::contract::readPreferences(preferences_file());
  EXPECT_TRUE(objc::objectsEqual(
      objc::dictionaryGet(stored.get(), "thermalOverheatProtectionEnabled"), objc::boolean(true)));
}

TEST_F(SettingsApp, ATapOutsideTheMenuClosesItWithoutWriting) {
  // Below the rows, away from the menu (the status bar and the navigation bar above the pane
  // are no part of its view).
  const Result r =
      run_settings(with_root({"tap", "CPU 模式", "tap-at", "20", "760", "wait", "0.3", "menu"}));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has_line(r, "no menu")) << r.out;
  EXPECT_FALSE(fs::exists(preferences_file()));
}

TEST_F(SettingsApp, CommandsAreReadFromStandardInputWithoutArguments) {
  const Result r = run_settings(with_root({}), "help\ntap \"CPU 模式\"\nmenu\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has_line(r, "menu-row\t模拟低电频率\tunchecked")) << r.out;
}

TEST_F(SettingsApp, ErrorsEndTheProgramAfterTheCommandsBeforeThem) {
  Result r = run_settings(with_root({"rows", "tap", "CPU 模式x", "rows"}));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no row labelled \"CPU 模式x\""), std::string::npos) << r.err;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 6)
      << "the first rows ran, the last did not:\n"
      << r.out;

  r = run_settings(with_root({"menu", "frobnicate"}));
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(has_line(r, "no menu"));
  EXPECT_NE(r.err.find("unknown command \"frobnicate\""), std::string::npos) << r.err;

  fs::remove_all(root_ / "var/jb/Library/PreferenceBundles/HalvernicPrefs.bundle");
  r = run_settings(with_root({"rows"}));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no bundle at"), std::string::npos) << r.err;
}

}  // namespace
