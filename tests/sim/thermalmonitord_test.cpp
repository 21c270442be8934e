// The simulated thermalmonitord as a process: classes first, then the injected libraries
// (honouring their filter lists), then the daemon's objects; it runs until SIGTERM and
// dies by that signal.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/objc/foundation.hpp"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Daemon {
  pid_t pid = -1;
  int out = -1;
  std::string output;
};

Daemon spawn(const std::vector<std::string>& args, const std::vector<std::string>& extra_env) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    if (std::string(*e).rfind("HALVERNIC_SIM_", 0) != 0) env.emplace_back(*e);
  }
  env.insert(env.end(), extra_env.begin(), extra_env.end());
  std::vector<char*> envp, argv;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> all{HV_THERMALMONITORD};
  all.insert(all.end(), args.begin(), args.end());
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);

  int pipe_fds[2];
  EXPECT_EQ(::pipe(pipe_fds), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
  Daemon d;
  EXPECT_EQ(::posix_spawn(&d.pid, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe_fds[1]);
  d.out = pipe_fds[0];
  return d;
}

// Reads standard output until the ready line, for at most 20 seconds.
bool wait_ready(Daemon& d) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (d.output.find("thermalmonitord: ready\n") == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{d.out, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
    char buffer[256];
    const ssize_t n = ::read(d.out, buffer, sizeof buffer);
    if (n <= 0) return false;
    d.output.append(buffer, static_cast<std::size_t>(n));
  }
  return true;
}

// Sends SIGTERM and answers the signal that ended the process (0 if it exited).
int terminate(Daemon& d) {
  // A daemon that never started has no pid: kill(-1 or 0, ...) would reach every process
  // or the test's own group.
  if (d.pid <= 0) return -1;
  ::kill(d.pid, SIGTERM);
  int status = 0;
  for (int i = 0; i < 200; ++i) {
    if (::waitpid(d.pid, &status, WNOHANG) == d.pid) {
      ::close(d.out);
      return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ::kill(d.pid, SIGKILL);
  ::waitpid(d.pid, &status, 0);
  ::close(d.out);
  return -1;
}

std::vector<std::string> lines(const fs::path& file) {
  std::vector<std::string> out;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

long index_of(const std::vector<std::string>& list, const std::string& prefix) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i].rfind(prefix, 0) == 0) return static_cast<long>(i);
  }
  return -1;
}

// Ends a daemon that a failed assertion left running.
struct Reaper {
  Daemon& d;
  ~Reaper() {
    int status = 0;
    if (d.pid > 0 && ::waitpid(d.pid, &status, WNOHANG) == 0) terminate(d);
  }
};

class ThermalmonitordTest : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/hv-thermalmonitord-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  void write_filter(const fs::path& plist, const char* executable) {
    objc::AutoreleasePool pool;
    objc::Ref executables = objc::makeMutableArray();
    objc::arrayAdd(executables.get(), objc::string(executable));
    objc::Ref filter = objc::makeMutableDictionary();
    objc::dictionarySet(filter.get(), "Executables", executables.get());
    objc::Ref root = objc::makeMutableDictionary();
    objc::dictionarySet(root.get(), "Filter", filter.get());
    ASSERT_TRUE(objc::writePropertyListXmlAtomically(root.get(), plist.string()));
  }

  fs::path dir_;
};

TEST_F(ThermalmonitordTest, InjectedLibrarySeesTheClassesHooksStartUpAndSIGTERMEndsTheProcess) {
  const fs::path log = dir_ / "calls.log";
  Daemon d = spawn({"--inject", HV_INJECT_PROBE},
                   {"HALVERNIC_SIM_TICK_MS=0", "HALVERNIC_SIM_CALL_LOG=" + log.string()});
  ASSERT_TRUE(wait_ready(d)) << d.output;
  EXPECT_EQ(terminate(d), SIGTERM);

  const auto calls = lines(log);
  EXPECT_NE(index_of(calls, "replaced -[CommonProduct initProduct:]"), -1);
  const long init = index_of(calls, "call CommonProduct initProduct: <");
  const long light = index_of(calls, "call CommonProduct putDeviceInThermalSimulationMode: light");
  ASSERT_NE(init, -1);
  EXPECT_GT(light, init) << "the hook ran around the daemon's own initialiser";
  EXPECT_LT(index_of(calls, "call ThermalManager loadConfigurationsFromFolder:"), init);
  EXPECT_EQ(index_of(calls, "call CommonProduct tryTakeAction"), -1) << "no tick without a period";
}

TEST_F(ThermalmonitordTest, FilterListDecidesWhetherALibraryIsLoaded) {
  const fs::path library = dir_ / "probe.so";
  fs::copy_file(HV_INJECT_PROBE, library);
  const fs::path log = dir_ / "calls.log";

  write_filter(dir_ / "probe.plist", "SpringBoard");
  Daemon other = spawn({}, {"HALVERNIC_SIM_INJECT=" + library.string(), "HALVERNIC_SIM_TICK_MS=0",
                            "HALVERNIC_SIM_CALL_LOG=" + log.string()});
  ASSERT_TRUE(wait_ready(other)) << other.output;
  EXPECT_EQ(terminate(other), SIGTERM);
  EXPECT_EQ(index_of(lines(log), "replaced "), -1) << "filtered out";

  write_filter(dir_ / "probe.plist", "thermalmonitord");
  Daemon ours = spawn({}, {"HALVERNIC_SIM_INJECT=" + library.string(), "HALVERNIC_SIM_TICK_MS=20",
                           "HALVERNIC_SIM_CALL_LOG=" + log.string()});
  ASSERT_TRUE(wait_ready(ours)) << ours.output;
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(terminate(ours), SIGTERM);
  const auto calls = lines(log);
  EXPECT_NE(index_of(calls, "replaced -[CommonProduct initProduct:]"), -1);
  EXPECT_NE(index_of(calls, "call CommonProduct tryTakeAction"), -1)
      << "the model steps on its period";
}

TEST_F(ThermalmonitordTest, TweakFolderIsInjectedAndTheStateIsReportedOnSIGUSR1) {
  const fs::path tweaks = dir_ / "DynamicLibraries";
  fs::create_directories(tweaks);
  fs::copy_file(HV_INJECT_PROBE, tweaks / "probe.dylib");
  write_filter(tweaks / "probe.plist", "thermalmonitord");
  const fs::path log = dir_ / "calls.log", state = dir_ / "state";
  Daemon d = spawn(
      {"--tweak-folder", tweaks.string(), "--tick-ms", "0"},
      {"HALVERNIC_SIM_CALL_LOG=" + log.string(), "HALVERNIC_SIM_STATE_FILE=" + state.string()});
  Reaper reaper{d};
  ASSERT_TRUE(wait_ready(d)) << d.output;
  const auto first = lines(state);
  ASSERT_GE(first.size(), 2u) << "a report as soon as the daemon is ready";
  EXPECT_EQ(first[0], "pid " + std::to_string(d.pid));
  EXPECT_EQ(first[1], "report 1");
  EXPECT_NE(index_of(first, "thermalSimulation light"), -1) << "the injected hook ran";
  EXPECT_NE(index_of(first, "brightnessLimit 100"), -1);

  ::kill(d.pid, SIGUSR1);
  for (int i = 0; i < 200 && index_of(lines(state), "report 2") == -1; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_NE(index_of(lines(state), "report 2"), -1)
      << "SIGUSR1 asks for a new report, without ending the daemon";
  EXPECT_EQ(terminate(d), SIGTERM);
  EXPECT_NE(index_of(lines(log), "replaced -[CommonProduct initProduct:]"), -1);
}

TEST_F(ThermalmonitordTest, StepsRunTheModelBackToBackAndTraceEachStep) {
  const fs::path trace = dir_ / "trace";
  Daemon d = spawn({"--steps", "30", "--trace", trace.string(), "--cpu-demand", "45000"}, {});
  Reaper reaper{d};
  int status = -1;
  for (int i = 0; i < 400 && ::waitpid(d.pid, &status, WNOHANG) != d.pid; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ::close(d.out);
  ASSERT_TRUE(WIFEXITED(status)) << "the run ends by itself";
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const auto rows = lines(trace);
  ASSERT_EQ(rows.size(), 30u);
  double first = 0, last = 0;
  int step = 0, ceiling = 0;
  ASSERT_EQ(std::sscanf(rows.front().c_str(), "%d %lf", &step, &first), 2);
  EXPECT_EQ(step, 1);
  ASSERT_EQ(std::sscanf(rows.back().c_str(), "%d %lf %d", &step, &last, &ceiling), 3);
  EXPECT_EQ(step, 30);
  EXPECT_GT(last, first + 5) << "the workload heats the die";
  EXPECT_LT(ceiling, 45000) << "and the daemon throttles";

  Daemon bad = spawn({"--steps", "3"}, {});
  Reaper bad_reaper{bad};
  status = -1;
  for (int i = 0; i < 200 && ::waitpid(bad.pid, &status, WNOHANG) != bad.pid; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ::close(bad.out);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2)
      << "--steps without --trace is refused";
}

}  // namespace
