// The halvernic library loaded into the simulated thermalmonitord, as real processes: the
// daemon's classes are registered first, then the library is injected with a chosen first
// argument; Darwin notifications travel through a notify daemon of the suite's own.
// Processes see the suite's private view of /var/mobile and its device root.
#include <CoreFoundation/CoreFoundation.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/objc/foundation.hpp"
#include "extension/contract/report.hpp"
#include "extension/hooking/host.hpp"
#include "extension/replacements/replacements.hpp"
#include "hvplatform/environment.h"
#include "tests/replacements/private_view.hpp"

extern "C" char** environ;

namespace {

namespace fs = std::filesystem;
namespace contract = halvernic::contract;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::size_t countLinesEndingWith(const std::string& text, const std::string& ending) {
  std::size_t n = 0;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.size() >= ending.size() &&
        line.compare(line.size() - ending.size(), ending.size(), ending) == 0)
      ++n;
  }
  return n;
}

std::size_t countOf(const std::string& text, const std::string& needle) {
  std::size_t n = 0;
  for (std::size_t at = text.find(needle); at != std::string::npos;
       at = text.find(needle, at + 1)) {
    ++n;
  }
  return n;
}

template <class Predicate>
bool waitUntil(Predicate done, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!done()) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

// The methods of the installation table, as the simulated daemon names replaced ones.
std::set<std::string> tableMethods() {
  std::set<std::string> methods;
  for (const auto& group : halvernic::replacements::installationTable()) {
    for (const auto& replacement : group.replacements) {
      methods.insert(std::string("-[") + group.hostClass->name() + " " +
                     replacement.selector->name() + "]");
    }
  }
  return methods;
}

// The extension's report in the suite's device root, where jbroot puts it for the daemon.
std::string reportPath() {
  return hv_test::privateView().deviceRoot + "/var/jb" + contract::kReportPath;
}

// The report's methods by "-[Class selector]" (hooks and replacements apart).
std::map<std::string, contract::ReportedMethod>
reportedMethods(const contract::ExtensionReport& report, contract::ReportLayer layer) {
  std::map<std::string, contract::ReportedMethod> methods;
  for (const contract::ReportedMethod& method : report.methods) {
    if (method.layer == layer) methods.emplace(method.method(), method);
  }
  return methods;
}

// One simulated thermalmonitord with the library injected.
class Daemon {
public:
  // omit and retype as the simulated daemon takes them (HALVERNIC_SIM_OMIT, _RETYPE).
  Daemon(const std::string& folder, const std::string& firstArgument, const std::string& omit = "",
         const std::string& retype = "") {
    static int serial = 0;
    const std::string base = folder + "/daemon" + std::to_string(++serial);
    out_ = base + ".out";
    err_ = base + ".err";
    callLog_ = base + ".calls";
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
      if (std::string(*e).rfind("HALVERNIC_SIM_", 0) != 0) env.emplace_back(*e);
    }
    env.push_back(std::string("HALVERNIC_SIM_INJECT=") + HV_HALVERNIC_LIBRARY);
    env.push_back("HALVERNIC_SIM_CALL_LOG=" + callLog_);
    env.push_back("HALVERNIC_SIM_TICK_MS=0");
    // The Linux libroot, so the engine resolves the preferences below the device root.
    env.push_back(std::string("LD_LIBRARY_PATH=") + HV_LIBROOT_DIR);
    if (!omit.empty()) env.push_back("HALVERNIC_SIM_OMIT=" + omit);
    if (!retype.empty()) env.push_back("HALVERNIC_SIM_RETYPE=" + retype);
    std::vector<char*> envp, argv;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string first = firstArgument;
    argv = {first.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (posix_spawn(&pid_, HV_THERMALMONITORD, &actions, nullptr, argv.data(), envp.data()) != 0)
      pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Daemon() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  bool ready() {
    return pid_ > 0 &&
           waitUntil(
               [&] { return readFile(out_).find("thermalmonitord: ready") != std::string::npos; },
               20s);
  }
  std::string log() const { return readFile(err_); }
  pid_t pid() const { return pid_; }
  std::string calls() const { return readFile(callLog_); }

  // Ends the daemon with SIGTERM (it writes its call log first); answers the wait status.
  // Never signals once the daemon has been reaped: kill(-1, ...) would reach every process.
  int terminate() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    return wait(20s);
  }
  // The wait status, or -1 when the process has not ended within timeout.
  int wait(std::chrono::milliseconds timeout) {
    int status = 0;
    if (pid_ <= 0 || !waitUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, timeout)) {
      return -1;
    }
    pid_ = -1;
    // A sanitizer build reports into the daemon's log.
    EXPECT_EQ(log().find("Sanitizer"), std::string::npos) << log();
    return status;
  }

  std::set<std::string> replacedTableMethods() const {
    const std::set<std::string> table = tableMethods();
    std::set<std::string> replaced;
    std::istringstream lines(calls());
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("replaced ", 0) == 0 && table.count(line.substr(9)))
        replaced.insert(line.substr(9));
    }
    return replaced;
  }

private:
  pid_t pid_ = -1;
  std::string out_, err_, callLog_;
};

class Startup : public ::testing::Test {
public:
  static void SetUpTestSuite() {
    const hv_test::PrivateView& view = hv_test::privateView();
    if (!view.ready) return;
    folder_ = new std::string(fs::path(view.deviceRoot).parent_path().string());
    socket_ = new std::string(*folder_ + "/notifyd.socket");
    setenv(HV_ENV_NOTIFY_SOCKET, socket_->c_str(), 1);
    setenv(HV_ENV_DEVICE_ROOT, view.deviceRoot.c_str(), 1);
    std::string path = HV_NOTIFYD;
    std::string option = "--socket";
    char* argv[] = {path.data(), option.data(), socket_->data(), nullptr};
    if (posix_spawn(&notifyd_, argv[0], nullptr, nullptr, argv, environ) != 0) notifyd_ = -1;
    notifydListening_ = waitUntil(
        [] {
          const int fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
          sockaddr_un address{};
          address.sun_family = AF_UNIX;
          std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socket_->c_str());
          const bool connected =
              connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
          close(fd);
          return connected;
        },
        10s);
  }
  static void TearDownTestSuite() {
    if (notifyd_ > 0) {
      kill(notifyd_, SIGTERM);
      waitpid(notifyd_, nullptr, 0);
    }
  }

  void SetUp() override {
    ASSERT_TRUE(hv_test::privateView().ready)
        << "no private view of /var/mobile: " << hv_test::privateView().failure;
    ASSERT_TRUE(notifyd_ > 0 && notifydListening_) << "the notify daemon did not start";
    fs::remove(hv_test::privateView().preferencesPath);
    // A short throttle keeps the waits for a restart short.
    writeThrottleInterval(kThrottleSeconds);
    // The jailbreak's own /var/lib (dpkg's) exists on every device; the report's folder is
    // the extension's to make.
    fs::remove_all(fs::path(reportPath()).parent_path());
    fs::create_directories(fs::path(reportPath()).parent_path().parent_path());
  }

  static constexpr double kThrottleSeconds = 0.5;

  static void post(const char* name) {
    objc::AutoreleasePool pool;
    CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(),
                                         reinterpret_cast<CFStringRef>(objc::string(name)), nullptr,
                                         nullptr, true);
  }

  // The daemon's launchd job below the device root, where the extension looks for its
  // throttle interval.
  static void writeThrottleInterval(double seconds) {
    objc::AutoreleasePool pool;
    const fs::path folder =
        fs::path(hv_test::privateView().deviceRoot) / "System/Library/LaunchDaemons";
    fs::create_directories(folder);
    objc::Ref job = objc::makeMutableDictionary();
    objc::dictionarySet(job.get(), "Label", objc::string("com.apple.thermalmonitord"));
    objc::dictionarySet(job.get(), "ThrottleInterval", objc::numberDouble(seconds));
    ASSERT_TRUE(objc::writePropertyListXmlAtomically(
        job.get(), (folder / "com.apple.thermalmonitord.plist").string()));
  }

  static void writePreferences(std::initializer_list<std::pair<const char*, id>> entries) {
    objc::AutoreleasePool pool;
    objc::Ref dictionary = objc::makeMutableDictionary();
    for (const auto& [key, value] : entries) objc::dictionarySet(dictionary.get(), key, value);
    ASSERT_TRUE(objc::writePropertyListXmlAtomically(dictionary.get(),
                                                     hv_test::privateView().preferencesPath));
  }

  static std::string* folder_;
  static std::string* socket_;
  static pid_t notifyd_;
  static bool notifydListening_;
};
bool Startup::notifydListening_ = false;
std::string* Startup::folder_ = nullptr;
std::string* Startup::socket_ = nullptr;
pid_t Startup::notifyd_ = -1;

TEST_F(Startup, HooksEverywhereReplacementsOnlyInThermalmonitord) {
  const std::set<std::string> all = tableMethods();
  ASSERT_EQ(all.size(), 24u);
  struct Case {
    std::string firstArgument;
    bool installed;
  };
  for (const Case& c :
       {Case{"/usr/libexec/thermalmonitord", true}, Case{"/usr/libexec/thermalmonitordX", false},
        Case{"/usr/libexec/thermalmonitord/", false}, Case{"thermalmonitord", true}}) {
    fs::remove(reportPath());
    Daemon daemon(*folder_, c.firstArgument);
    ASSERT_TRUE(daemon.ready()) << c.firstArgument << "\n" << daemon.log();
    const int status = daemon.terminate();
    ASSERT_TRUE(WIFSIGNALED(status)) << c.firstArgument;
    EXPECT_EQ(daemon.replacedTableMethods(), c.installed ? all : std::set<std::string>{})
        << c.firstArgument;
    // Only the daemon writes the report: another process that loads the library never
    // overwrites it.
    EXPECT_EQ(fs::exists(reportPath()), c.installed) << c.firstArgument;
    // The hook set is active in every process.
    EXPECT_NE(daemon.calls().find(std::string("replaced -[MitigationController ") +
                                  halvernic::host::kInitForFastLoop.name() + "]"),
              std::string::npos)
        << c.firstArgument;
  }
}

TEST_F(Startup, MissingHostClassesAndMethodsAreSkipped) {
  {
    Daemon daemon(*folder_, "/usr/libexec/thermalmonitord", "ThermalManager");
    ASSERT_TRUE(daemon.ready()) << daemon.log();
    EXPECT_TRUE(WIFSIGNALED(daemon.terminate()));
    const std::set<std::string> replaced = daemon.replacedTableMethods();
    EXPECT_EQ(replaced.size(), 19u);
    for (const std::string& method : replaced)
      EXPECT_EQ(method.find("ThermalManager"), std::string::npos);
    // Logged once for the class, reported for each of its five selectors.
    EXPECT_EQ(
        countLinesEndingWith(daemon.log(), "halvernic: replacements: no class ThermalManager"), 1u)
        << daemon.log();
    const contract::ReportReading reading = contract::readExtensionReport(reportPath());
    ASSERT_TRUE(reading.ok()) << reading.problem;
    EXPECT_EQ(reading.report.count(contract::InstallOutcome::missingClass,
                                   contract::ReportLayer::replacement),
              5u);
    EXPECT_EQ(reading.report.count(contract::InstallOutcome::installed,
                                   contract::ReportLayer::replacement),
              19u);
    EXPECT_EQ(reportedMethods(reading.report, contract::ReportLayer::replacement)
                  .at("-[ThermalManager getConfigurationFor:]")
                  .outcome,
              contract::InstallOutcome::missingClass);
  }
  {
    Daemon daemon(*folder_, "/usr/libexec/thermalmonitord", "MitigationController/setDVD1Level:");
    ASSERT_TRUE(daemon.ready()) << daemon.log();
    EXPECT_TRUE(WIFSIGNALED(daemon.terminate()));
    std::set<std::string> expected = tableMethods();
    expected.erase("-[MitigationController setDVD1Level:]");
    EXPECT_EQ(daemon.replacedTableMethods(), expected);
    EXPECT_EQ(countLinesEndingWith(daemon.log(),
                                   "halvernic: replacements: no method "
                                   "-[MitigationController setDVD1Level:]"),
              1u)
        << daemon.log();
    const contract::ReportReading reading = contract::readExtensionReport(reportPath());
    ASSERT_TRUE(reading.ok()) << reading.problem;
    EXPECT_EQ(reportedMethods(reading.report, contract::ReportLayer::replacement)
                  .at("-[MitigationController setDVD1Level:]")
                  .outcome,
              contract::InstallOutcome::missingMethod);
    EXPECT_EQ(reading.report.count(contract::InstallOutcome::installed),
              reading.report.methods.size() - 1);
  }
}

// Before any host object is known (here the daemon has no CommonProduct and no
// MitigationController for the hooks to capture), one re-apply post alone makes the engine
// apply the settings at once and again 0.25 s later (its first delayed re-application):
// the OS switches are set, no host object is sent anything, and the process goes on.
void expectPostAloneReapplies(const std::string& folder, const char* name) {
  Daemon daemon(folder, "/usr/libexec/thermalmonitord", "CommonProduct,MitigationController");
  ASSERT_TRUE(daemon.ready()) << daemon.log();
  const std::string applied = "halvernic: low power mode at CPU level 2 with soft ceiling";
  EXPECT_EQ(countLinesEndingWith(daemon.log(), applied), 0u) << "applied before any post";
  Startup::post(name);
  EXPECT_TRUE(waitUntil([&] { return countLinesEndingWith(daemon.log(), applied) >= 2; }, 10s))
      << name << ": applied and re-applied once\n"
      << daemon.log();
  EXPECT_NE(daemon.log().find("thermalSuppressNotificationsEnabled: on -> "), std::string::npos)
      << daemon.log();
  EXPECT_EQ(daemon.log().find("halvernic: restarting thermalmonitord"), std::string::npos) << name;
  ASSERT_EQ(daemon.wait(0ms), -1) << name << ": the process ended";
  EXPECT_TRUE(WIFSIGNALED(daemon.terminate()));
}

TEST_F(Startup, RuntimeStatePostAloneReapplies) {
  writePreferences({{"thermalPowerMode", objc::string("lowPower")},
                    {"thermalSuppressNotificationsEnabled", objc::boolean(true)}});
  expectPostAloneReapplies(*folder_, "com.nu-falk.halvernic.runtimeState");
}

TEST_F(Startup, PuppetEventPostAloneReapplies) {
  writePreferences({{"thermalPowerMode", objc::string("lowPower")},
                    {"thermalSuppressNotificationsEnabled", objc::boolean(true)}});
  expectPostAloneReapplies(*folder_, "com.nu-falk.halvernic-executePuppetEvent");
}

constexpr char kRestartLine[] = "halvernic: restarting thermalmonitord after CPU mode change";

// In thermalmonitord, and in any other process that loads the library (which gets the
// observers without the replacements). The daemon starts in the native mode (no file); the
// file then names another mode, and the post comes after the throttle interval.
TEST_F(Startup, RestartPostEndsTheProcessBySigtermAfterTheLogLine) {
  for (const char* firstArgument :
       {"/usr/libexec/thermalmonitord", "/usr/libexec/thermalmonitordX"}) {
    fs::remove(hv_test::privateView().preferencesPath);
    const auto started = Clock::now();
    Daemon daemon(*folder_, firstArgument);
    ASSERT_TRUE(daemon.ready()) << daemon.log();
    writePreferences({{"thermalPowerMode", objc::string("lowPower")}});
    std::this_thread::sleep_until(started + std::chrono::duration<double>(kThrottleSeconds + 0.1));
    const auto posted = Clock::now();
    post("com.nu-falk.halvernic-restartThermalMonitor");
    const int status = daemon.wait(10s);
    const auto elapsed = Clock::now() - posted;
    ASSERT_NE(status, -1) << firstArgument << ": still running 10 s after the restart post";
    ASSERT_TRUE(WIFSIGNALED(status)) << firstArgument << ": exit status " << status;
    EXPECT_EQ(WTERMSIG(status), SIGTERM) << firstArgument;
    EXPECT_GE(elapsed, 200ms) << firstArgument;
    EXPECT_EQ(countLinesEndingWith(daemon.log(), kRestartLine), 1u) << firstArgument << "\n"
                                                                    << daemon.log();
  }
}

// Within the throttle interval (3 s here) from the start, a restart waits for its end, and
// the requests meanwhile fold into the one end.
TEST_F(Startup, RestartComesNoEarlierThanTheThrottleIntervalAndFoldsLaterPosts) {
  writeThrottleInterval(3.0);
  const auto started = Clock::now();
  Daemon daemon(*folder_, "/usr/libexec/thermalmonitord");
  ASSERT_TRUE(daemon.ready()) << daemon.log();
  writePreferences({{"thermalPowerMode", objc::string("fullPower")}});
  for (int i = 0; i < 20; ++i) {
    post("com.nu-falk.halvernic-restartThermalMonitor");
    std::this_thread::sleep_for(20ms);
  }
  // (On a machine slow enough to start the daemon in 3 s, the posts come after the interval
  // and only the folding is tested.)
  const int status = daemon.wait(15s);
  const auto ended = Clock::now() - started;
  ASSERT_NE(status, -1) << "still running 15 s after the posts";
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  EXPECT_GE(ended, 3000ms) << "ended before launchd's throttle interval";
  EXPECT_EQ(countLinesEndingWith(daemon.log(), kRestartLine), 1u) << daemon.log();
  EXPECT_EQ(countOf(daemon.log(), "halvernic: restart scheduled in "), 1u) << "20 posts, one end\n"
                                                                           << daemon.log();
}

// A restart that would change nothing ends nothing: the file names the mode the daemon
// started in, however often the post comes (the front-ends' re-apply has re-applied it).
// Once the engine has applied another mode, even a file back at the first mode restarts.
TEST_F(Startup, RestartThatChangesNothingEndsNothingUntilAnotherModeWasApplied) {
  writePreferences({{"thermalPowerMode", objc::string("lowPower")}});
  Daemon daemon(*folder_, "/usr/libexec/thermalmonitord");
  ASSERT_TRUE(daemon.ready()) << daemon.log();
  std::this_thread::sleep_for(std::chrono::duration<double>(kThrottleSeconds));
  for (int i = 0; i < 10; ++i) {
    post("com.nu-falk.halvernic-executePuppetEvent");
    post("com.nu-falk.halvernic-restartThermalMonitor");
    std::this_thread::sleep_for(50ms);
  }
  EXPECT_EQ(daemon.wait(1500ms), -1) << "a restart that changes nothing ended the daemon\n"
                                     << daemon.log();
  EXPECT_EQ(countLinesEndingWith(daemon.log(), kRestartLine), 0u) << daemon.log();

  // fullPower applied (a switch-style re-apply, no restart post), then the file back at
  // lowPower: the daemon's objects have seen fullPower, so the restart goes ahead.
  writePreferences({{"thermalPowerMode", objc::string("fullPower")}});
  post("com.nu-falk.halvernic-executePuppetEvent");
  ASSERT_TRUE(waitUntil(
      [&] { return daemon.log().find("halvernic: full power mode") != std::string::npos; }, 5s))
      << daemon.log();
  writePreferences({{"thermalPowerMode", objc::string("lowPower")}});
  post("com.nu-falk.halvernic-restartThermalMonitor");
  const int status = daemon.wait(10s);
  ASSERT_NE(status, -1) << daemon.log();
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  EXPECT_EQ(countLinesEndingWith(daemon.log(), kRestartLine), 1u) << daemon.log();
}

// ---- the extension's report -------------------------------------------------------------------

// After start-up and the first application (the daemon's own objects trigger it before it is
// ready), the report names every hook and replacement as installed, with the process's
// pid, the extension's version and the mode that application applied.
TEST_F(Startup, TheReportNamesEveryHookAndReplacementInstalledAndTheAppliedMode) {
  struct Case {
    const char* mode;  // in the file; nullptr: no file
    contract::PowerMode applied;
  };
  for (const Case& c : {Case{nullptr, contract::PowerMode::off},
                        Case{"fullPower", contract::PowerMode::fullPower}}) {
    fs::remove(hv_test::privateView().preferencesPath);
    if (c.mode) writePreferences({{"thermalPowerMode", objc::string(c.mode)}});
    Daemon daemon(*folder_, "/usr/libexec/thermalmonitord");
    ASSERT_TRUE(daemon.ready()) << daemon.log();
    const contract::ReportReading reading = contract::readExtensionReport(reportPath());
    ASSERT_TRUE(reading.ok()) << reading.problem;
    const contract::ExtensionReport& report = reading.report;
    EXPECT_EQ(report.pid, daemon.pid());
    EXPECT_EQ(report.version, contract::projectVersion());
    EXPECT_EQ(report.appliedMode, c.applied) << (c.mode ? c.mode : "no file");

    const auto replacements = reportedMethods(report, contract::ReportLayer::replacement);
    std::set<std::string> reported;
    for (const auto& [method, entry] : replacements) reported.insert(method);
    EXPECT_EQ(reported, tableMethods());
    const auto hooks = reportedMethods(report, contract::ReportLayer::hook);
    EXPECT_EQ(hooks.size(), 27u);
    EXPECT_EQ(hooks.at("+[NSDictionary dictionaryWithContentsOfFile:]").owner, "NSDictionaryHook");
    EXPECT_EQ(hooks.at("-[MitigationController CPULevel]").owner, "MitigationControllerHook");
    EXPECT_EQ(report.count(contract::InstallOutcome::installed), report.methods.size());
    EXPECT_EQ(countLinesEndingWith(daemon.log(), "halvernic: no report at " + reportPath() + ": "),
              0u);
    EXPECT_TRUE(WIFSIGNALED(daemon.terminate()));
  }
  struct stat info{};
  ASSERT_EQ(stat(reportPath().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);
  ASSERT_EQ(stat(fs::path(reportPath()).parent_path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0755u);
}

// A daemon whose methods have other types than the extension expects (a hooked getter and a
// replaced setter): both are left to the daemon, logged and reported with both encodings.
TEST_F(Startup, MethodsWithOtherTypesAreLoggedAndReportedWithBothEncodings) {
  Daemon daemon(
      *folder_, "/usr/libexec/thermalmonitord", "",
      "MitigationController/CPULevel=q16@0:8,MitigationController/setCPULevel:=v20@0:8q16");
  ASSERT_TRUE(daemon.ready()) << daemon.log();
  const std::string log = daemon.log();
  const std::string getter = std::string(
                                 "halvernic: MitigationControllerHook: other types for "
                                 "-[MitigationController CPULevel]: host q16@0:8, expected ") +
                             objc::methodTypes<int>();
  const std::string setter =
      std::string(
          "halvernic: replacements: other types for "
          "-[MitigationController setCPULevel:]: host v20@0:8q16, expected ") +
      objc::methodTypes<void, int>();
  EXPECT_EQ(countLinesEndingWith(log, getter), 1u) << log;
  EXPECT_EQ(countLinesEndingWith(log, setter), 1u) << log;

  const contract::ReportReading reading = contract::readExtensionReport(reportPath());
  ASSERT_TRUE(reading.ok()) << reading.problem;
  const contract::ReportedMethod hooked =
      reportedMethods(reading.report, contract::ReportLayer::hook)
          .at("-[MitigationController CPULevel]");
  EXPECT_EQ(hooked.outcome, contract::InstallOutcome::typeMismatch);
  EXPECT_EQ(hooked.hostTypes, "q16@0:8");
  EXPECT_EQ(hooked.expectedTypes, objc::methodTypes<int>());
  const contract::ReportedMethod replaced =
      reportedMethods(reading.report, contract::ReportLayer::replacement)
          .at("-[MitigationController setCPULevel:]");
  EXPECT_EQ(replaced.outcome, contract::InstallOutcome::typeMismatch);
  EXPECT_EQ(replaced.hostTypes, "v20@0:8q16");
  EXPECT_EQ(replaced.expectedTypes, (objc::methodTypes<void, int>()));
  EXPECT_EQ(reading.report.count(contract::InstallOutcome::typeMismatch), 2u);
  EXPECT_EQ(reading.report.count(contract::InstallOutcome::installed),
            reading.report.methods.size() - 2);
  EXPECT_EQ(reading.report.appliedMode, contract::PowerMode::off);
  // The daemon keeps its own methods and runs on.
  EXPECT_EQ(daemon.wait(0ms), -1);
  EXPECT_TRUE(WIFSIGNALED(daemon.terminate()));
  EXPECT_EQ(daemon.replacedTableMethods().count("-[MitigationController setCPULevel:]"), 0u);
}

// Where the daemon may not write (a read-only folder, as a sandbox or a read-only volume
// would have it; a file where the folder should be), the skips are logged all the same,
// one line says why there is no report, the reader finds none, and the daemon runs on.
TEST_F(Startup, AReportThatCannotBeWrittenLeavesTheLogLinesAndNoReport) {
  const std::string folder = fs::path(reportPath()).parent_path().string();
  struct Case {
    const char* what;
    bool (*prepare)(const std::string& folder);
    const char* reason;
  };
  const Case cases[] = {
      {"a read-only folder",
       [](const std::string& folder) {
         fs::create_directories(folder);
         return mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
                mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY,
                      nullptr) == 0;
       },
       "Read-only file system"},
      {"a file in the folder's place",
       [](const std::string& folder) { return static_cast<bool>(std::ofstream(folder) << "x"); },
       "Not a directory"},
  };
  for (const Case& c : cases) {
    fs::remove_all(folder);
    ASSERT_TRUE(c.prepare(folder)) << c.what << ": " << std::strerror(errno);
    {
      Daemon daemon(*folder_, "/usr/libexec/thermalmonitord", "MitigationController/setDVD1Level:");
      ASSERT_TRUE(daemon.ready()) << c.what << "\n" << daemon.log();
      const std::string log = daemon.log();
      EXPECT_EQ(countLinesEndingWith(log,
                                     "halvernic: replacements: no method "
                                     "-[MitigationController setDVD1Level:]"),
                1u)
          << c.what << "\n"
          << log;
      // Once after start-up and once after the first application.
      EXPECT_EQ(
          countLinesEndingWith(log, "halvernic: no report at " + reportPath() + ": " + c.reason),
          2u)
          << c.what << "\n"
          << log;
      EXPECT_GE(countLinesEndingWith(log, "halvernic: native thermal mode restored"), 1u) << c.what;
      const contract::ReportReading reading = contract::readExtensionReport(reportPath());
      EXPECT_EQ(reading.status, contract::ReportReading::Status::missing) << c.what;
      EXPECT_EQ(reading.problem, "no report") << c.what;
      EXPECT_EQ(daemon.wait(0ms), -1) << c.what << ": the daemon ended";
      EXPECT_TRUE(WIFSIGNALED(daemon.terminate())) << c.what;
    }
    umount2(folder.c_str(), MNT_DETACH);
  }
  fs::remove_all(folder);
}

}  // namespace
