#include "sim/device/device.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/objc/foundation.hpp"
#include "extension/contract/announce.hpp"
#include "extension/contract/contract.hpp"
#include "sim/device/orphans.hpp"
#include "sim/device/package.hpp"
#include "sim/sim.hpp"

extern char** environ;

namespace halvernic::sim::device {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_file(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream(temporary, std::ios::trunc) << text;
  }
  std::rename(temporary.c_str(), path.c_str());
}

// The process with this pid, when it runs (not a zombie) and its executable's name is
// name: a pid file left by a process that is gone, or a pid used again, counts as none.
bool process_is(pid_t pid, const std::string& name) {
  if (pid <= 0) return false;
  const std::string stat = read_file("/proc/" + std::to_string(pid) + "/stat");
  const std::size_t open = stat.find('('), close = stat.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close + 2 >= stat.size())
    return false;
  const char state = stat[close + 2];
  if (state == 'Z' || state == 'X') return false;
  // comm is cut to 15 characters.
  return stat.compare(open + 1, close - open - 1, name.substr(0, 15)) == 0;
}

pid_t read_pid(const std::string& path) {
  const long value = std::strtol(read_file(path).c_str(), nullptr, 10);
  return value > 0 ? static_cast<pid_t>(value) : 0;
}

std::string base_name(const std::string& path) { return fs::path(path).filename().string(); }

template <class Predicate>
bool wait_until(Predicate done, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (done()) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
}

void write_plist(id plist, const std::string& path) {
  if (!objc::writePropertyListXmlAtomically(plist, path)) throw Error("cannot write " + path);
}

objc::Ref strings(const std::vector<std::string>& values) {
  objc::Ref array = objc::makeMutableArray();
  for (const std::string& value : values) objc::arrayAdd(array.get(), objc::string(value));
  return array;
}

void copy_tree(const fs::path& from, const fs::path& to, std::vector<std::string>* files) {
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(from)) {
    const fs::path relative = fs::relative(entry.path(), from);
    if (entry.is_directory()) {
      fs::create_directories(to / relative);
    } else {
      fs::create_directories((to / relative).parent_path());
      fs::copy_file(entry.path(), to / relative, fs::copy_options::overwrite_existing);
      if (files) files->push_back(relative.string());
    }
  }
}

}  // namespace

Programs Programs::of_this_build() {
  Programs p;
  p.launchd = HV_DEVICE_LAUNCHD;
  p.notifyd = HV_DEVICE_NOTIFYD;
  p.thermalmonitord = HV_DEVICE_THERMALMONITORD;
  p.libroot = HV_DEVICE_LIBROOT;
  p.systemconfiguration = HV_DEVICE_SYSTEMCONFIGURATION;
  p.platform_lib_dir = HV_DEVICE_PLATFORM_LIB_DIR;
  p.halvernic = HV_DEVICE_HALVERNIC;
  p.configuration_folder = HV_DEVICE_CONFIGURATION_FOLDER;
  p.source_dir = HV_DEVICE_SOURCE_DIR;
  p.build_dir = HV_DEVICE_BUILD_DIR;
  p.ctl = HV_DEVICE_HALVERNICCTL;
  auto host = [&](const char* variable, std::initializer_list<std::string> built) {
    if (const char* named = std::getenv(variable); named && *named) return std::string(named);
    for (const std::string& path : built) {
      if (::access(path.c_str(), X_OK) == 0) return path;
    }
    return std::string();
  };
  p.settings = host("HALVERNIC_SETTINGS_APP", {p.build_dir + "/sim/bin/hv-settings",
                                               p.build_dir + "/sim/settings/hv-settings"});
  p.controlcenter =
      host("HALVERNIC_CONTROL_CENTER", {p.build_dir + "/sim/bin/hv-controlcenter",
                                        p.build_dir + "/sim/controlcenter/hv-controlcenter"});
  return p;
}

Device::Device(std::string root, Programs programs) : programs_(std::move(programs)) {
  // Absolute: the paths in the launch jobs must not depend on where the tool ran.
  std::error_code error;
  fs::path path = fs::absolute(root, error).lexically_normal();
  root_ = error ? root : path.string();
  while (root_.size() > 1 && root_.back() == '/') root_.pop_back();
}

std::string Device::preferences_file() const {
  return jailbreak_root() + "/var/mobile/Library/Preferences/" + kPreferencesName;
}
std::string Device::system_preferences_file() const {
  return root_ + "/var/mobile/Library/Preferences/" + kPreferencesName;
}
std::string Device::tweak_folder() const {
  return jailbreak_root() + "/Library/MobileSubstrate/DynamicLibraries";
}
std::string Device::notify_socket() const { return root_ + "/var/run/hv-notifyd.socket"; }
std::string Device::thermal_status_store() const {
  return root_ + "/Library/Preferences/SystemConfiguration/OSThermalStatus.plist";
}

pid_t Device::launchd_pid() const {
  const pid_t pid = read_pid(root_ + "/var/run/launchd.pid");
  return process_is(pid, "hv-launchd") && runs_on_device(pid, root_) ? pid : 0;
}

pid_t Device::job_pid(const std::string& label) const {
  const pid_t pid = read_pid(root_ + "/var/run/" + label + ".pid");
  const std::string name =
      label == kDaemonLabel ? base_name(programs_.thermalmonitord) : base_name(programs_.notifyd);
  return process_is(pid, name) && runs_on_device(pid, root_) ? pid : 0;
}

std::string Device::log(const std::string& name) const {
  return read_file(log_file(name) + ".1") + read_file(log_file(name));
}

bool Device::exists() const {
  return fs::is_regular_file(root_ + "/System/Library/LaunchDaemons/" + kDaemonLabel + ".plist");
}

std::vector<std::string> Device::environment() const {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    if (entry.rfind("HALVERNIC_", 0) == 0 || entry.rfind("LD_LIBRARY_PATH=", 0) == 0) continue;
    env.push_back(entry);
  }
  env.push_back("HALVERNIC_DEVICE_ROOT=" + root_);
  env.push_back("HALVERNIC_NOTIFY_SOCKET=" + notify_socket());
  // libroot where the jailbreak keeps it, then the platform's libraries.
  env.push_back("LD_LIBRARY_PATH=" + jailbreak_root() + "/usr/lib:" + programs_.platform_lib_dir);
  return env;
}

void Device::lay_out(const BootOptions& options) {
  // var/jb/var/lib is the jailbreak's own (dpkg's), where the extension keeps its report.
  for (const char* folder :
       {"var/jb/usr/lib", "var/jb/var/lib", "var/jb/Library/MobileSubstrate/DynamicLibraries",
        "var/jb/var/mobile/Library/Preferences", "var/mobile/Library/Preferences",
        "Library/Preferences/SystemConfiguration", "System/Library/ThermalMonitor",
        "System/Library/LaunchDaemons", "var/run", "var/log", "var/tmp"}) {
    fs::create_directories(fs::path(root_) / folder);
  }
  fs::copy_file(programs_.libroot, jailbreak_root() + "/usr/lib/libroot.so",
                fs::copy_options::overwrite_existing);
  copy_tree(programs_.configuration_folder, root_ + "/System/Library/ThermalMonitor", nullptr);

  objc::AutoreleasePool pool;
  auto job = [&](const std::string& label, const std::vector<std::string>& arguments,
                 const std::vector<std::pair<std::string, std::string>>& env, double throttle,
                 const std::string& log) {
    objc::Ref plist = objc::makeMutableDictionary();
    objc::dictionarySet(plist.get(), "Label", objc::string(label));
    objc::dictionarySet(plist.get(), "ProgramArguments", strings(arguments).get());
    objc::Ref variables = objc::makeMutableDictionary();
    for (const auto& [name, value] : env)
      objc::dictionarySet(variables.get(), name, objc::string(value));
    objc::dictionarySet(plist.get(), "EnvironmentVariables", variables.get());
    objc::dictionarySet(plist.get(), "KeepAlive", objc::boolean(true));
    objc::dictionarySet(plist.get(), "ThrottleInterval", objc::numberDouble(throttle));
    objc::dictionarySet(plist.get(), "StandardOutPath", objc::string(log_file(log)));
    objc::dictionarySet(plist.get(), "StandardErrorPath", objc::string(log_file(log)));
    write_plist(plist.get(), root_ + "/System/Library/LaunchDaemons/" + label + ".plist");
  };
  std::vector<std::pair<std::string, std::string>> env{
      {"HALVERNIC_DEVICE_ROOT", root_},
      {"HALVERNIC_NOTIFY_SOCKET", notify_socket()},
      {"LD_LIBRARY_PATH", jailbreak_root() + "/usr/lib:" + programs_.platform_lib_dir}};
  // The notify daemon's label sorts first: launchd starts it before thermalmonitord.
  job(kNotifydLabel, {programs_.notifyd, "--socket", notify_socket()}, env,
      options.throttle_interval, "notifyd.log");
  auto daemon_env = env;
  if (!options.trace_file.empty())
    daemon_env.emplace_back("HALVERNIC_SIM_TRACE", options.trace_file);
  daemon_env.emplace_back("HALVERNIC_SIM_STATE_FILE", root_ + "/var/run/thermalmonitord.state");
  daemon_env.emplace_back("HALVERNIC_SIM_CALL_LOG", root_ + "/var/run/thermalmonitord.calls");
  std::vector<std::string> daemon_arguments{programs_.thermalmonitord,
                                            "--tweak-folder",
                                            tweak_folder(),
                                            "--config",
                                            root_ + "/System/Library/ThermalMonitor",
                                            "--tick-ms",
                                            std::to_string(options.tick_ms)};
  if (options.cpu_demand > 0) {
    daemon_arguments.insert(daemon_arguments.end(),
                            {"--cpu-demand", std::to_string(options.cpu_demand)});
  }
  if (!options.retype.empty()) {
    daemon_arguments.push_back("--retype");
    daemon_arguments.push_back(options.retype);
  }
  job(kDaemonLabel, daemon_arguments, daemon_env, options.throttle_interval, "thermalmonitord.log");
}

void Device::boot(const BootOptions& options) {
  if (const pid_t pid = launchd_pid()) {
    throw Error("the device at " + root_ + " is already booted (hv-launchd pid " +
                std::to_string(pid) + ")");
  }
  orphans_ended_.clear();
  fs::create_directories(root_);
  lay_out(options);
  // Before a launchd of this boot exists: whatever of the device runs now is an orphan.
  orphans_ended_ = end_orphans();
  for (const char* stale : {"launchd.pid", "com.apple.thermalmonitord.pid", "com.apple.notifyd.pid",
                            "thermalmonitord.state", "hv-notifyd.socket"}) {
    ::unlink((root_ + "/var/run/" + stale).c_str());
  }
  // A device boots cool, its clock at 0: the hardware the previous boot's daemons left goes.
  fs::remove(fs::path(root_) / kHardwareStateFile);
  fs::remove_all((fs::path(root_) / kBatteryRegistryEntry).parent_path());

  // hv-launchd in a session of its own, a grandchild that this tool does not wait for; the
  // device's root in its environment marks it (and, through it, its jobs) as this device's.
  std::string program = programs_.launchd, flag = "--root", root = root_;
  char* argv[] = {program.data(), flag.data(), root.data(), nullptr};
  std::vector<std::string> env_strings = environment();
  std::vector<char*> envp;
  for (std::string& entry : env_strings) envp.push_back(entry.data());
  envp.push_back(nullptr);
  const std::string log = log_file("launchd.log");
  const pid_t child = ::fork();
  if (child == 0) {
    ::setsid();
    if (::fork() != 0) ::_exit(0);
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    const int in = ::open("/dev/null", O_RDONLY);
    if (out < 0 || in < 0) ::_exit(126);
    ::dup2(in, STDIN_FILENO);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(out, STDERR_FILENO);
    ::execve(argv[0], argv, envp.data());
    ::_exit(127);
  }
  if (child < 0) throw Error(std::string("cannot start hv-launchd: ") + std::strerror(errno));
  ::waitpid(child, nullptr, 0);

  std::string missing;
  if (!wait_until([&] { return launchd_pid() > 0; }, 5s)) {
    missing = "hv-launchd did not start";
  } else if (!wait_until([&] { return ::access(notify_socket().c_str(), F_OK) == 0; }, 5s)) {
    missing = "the notify daemon did not open " + notify_socket();
  } else {
    try {
      wait_for_daemon(0, 15s);
    } catch (const Error& error) {
      missing = error.what();
    }
  }
  if (!missing.empty()) {
    try {
      shutdown();
    } catch (const Error&) {
    }
    throw Error("boot failed: " + missing + " (see " + root_ + "/var/log)");
  }
  remember_root(root_);
}

std::string Device::stage_package() const {
  const std::string out = root_ + "/var/tmp/package-stage";
  fs::remove_all(out);
  // The package's Linux layout as packaging/ stages it from this build's manifest (what
  // scripts/package --linux does after building the products, which this tool's build
  // has done).
  const std::string stage = programs_.source_dir + "/packaging/stage";
  const std::string manifest = programs_.build_dir + "/packaging/layout.tsv";
  if (::access(stage.c_str(), X_OK) == 0 && ::access(manifest.c_str(), R_OK) == 0) {
    const HostResult result = run_bounded({stage, manifest, out}, environment(), 120s);
    if (result.status != 0) throw Error("packaging/stage failed:\n" + result.err);
    return out + "/var/jb";
  }
  // A build without the packaging folder: the extension and its filter list where the
  // .deb puts them.
  const std::string tweaks = out + "/var/jb/Library/MobileSubstrate/DynamicLibraries";
  fs::create_directories(tweaks);
  fs::copy_file(programs_.halvernic, tweaks + "/halvernic.so",
                fs::copy_options::overwrite_existing);
  objc::AutoreleasePool pool;
  objc::Ref filter = objc::makeMutableDictionary();
  objc::dictionarySet(filter.get(), "Executables", strings({"thermalmonitord"}).get());
  objc::Ref plist = objc::makeMutableDictionary();
  objc::dictionarySet(plist.get(), "Filter", filter.get());
  write_plist(plist.get(), tweaks + "/halvernic.plist");
  return out + "/var/jb";
}

std::vector<std::string> Device::install() {
  fs::create_directories(jailbreak_root());
  // The jailbreak's own tools, which the package's maintainer scripts call.
  write_jailbreak_tools(*this);
  const std::string staged = stage_package();
  const std::vector<std::string> folders = folders_new_to(staged, jailbreak_root());
  std::vector<std::string> files;
  copy_tree(staged, jailbreak_root(), &files);
  fs::remove_all(root_ + "/var/tmp/package-stage");
  // The dpkg database, as dpkg keeps it: what remove and purge undo.
  record_installation(*this, files, folders);
  if (!booted()) return files;
  // As a package's maintainer script does: end the daemon so the tweak loader runs again.
  const pid_t old = job_pid(kDaemonLabel);
  signal_process(old, SIGTERM);
  wait_for_daemon(old, 30s);
  return files;
}

void Device::shutdown() {
  orphans_ended_.clear();
  const pid_t pid = launchd_pid();
  bool stopped = true, jobs_left = false;
  if (pid) {
    const pid_t jobs[] = {job_pid(kDaemonLabel), job_pid(kNotifydLabel)};
    signal_process(pid, SIGTERM);
    // hv-launchd gives its jobs 5 s for SIGTERM and 2 more after SIGKILL.
    stopped = wait_until([&] { return !process_is(pid, "hv-launchd"); }, 10s);
    if (!stopped) signal_process(pid, SIGKILL);
    for (const pid_t job : jobs) {
      if (job > 0 && (process_is(job, base_name(programs_.thermalmonitord)) ||
                      process_is(job, base_name(programs_.notifyd)))) {
        jobs_left = true;
        signal_process(job, SIGKILL);
      }
    }
  }
  // What runs of the device now has no launchd.
  orphans_ended_ = end_orphans();
  for (const char* stale :
       {"launchd.pid", "com.apple.thermalmonitord.pid", "com.apple.notifyd.pid"}) {
    ::unlink((root_ + "/var/run/" + stale).c_str());
  }
  if (!pid && orphans_ended_.empty()) throw Error("the device at " + root_ + " is not booted");
  if (!stopped || jobs_left)
    throw Error("the device at " + root_ + " did not stop in time; its processes were killed");
}

std::map<std::string, std::string> Device::daemon_state(std::chrono::milliseconds timeout) const {
  const pid_t pid = job_pid(kDaemonLabel);
  if (!pid) throw Error("thermalmonitord is not running on the device at " + root_);
  const std::string path = root_ + "/var/run/thermalmonitord.state";
  auto parse = [&](std::map<std::string, std::string>& state) {
    state.clear();
    std::istringstream lines(read_file(path));
    std::string line;
    while (std::getline(lines, line)) {
      const std::size_t space = line.find(' ');
      if (space != std::string::npos) state[line.substr(0, space)] = line.substr(space + 1);
    }
    return state["pid"] == std::to_string(pid);
  };
  // The daemon's first report says it is ready for SIGUSR1 (before that, the signal would
  // end it); then a report newer than that one is asked for.
  std::map<std::string, std::string> state;
  long seen = -1;
  int polls = 0;
  const bool answered = wait_until(
      [&] {
        if (!parse(state)) return false;
        const long report = std::strtol(state["report"].c_str(), nullptr, 10);
        if (seen < 0) {
          seen = report;
          signal_process(pid, SIGUSR1);
          return false;
        }
        if (report > seen) return true;
        if (++polls % 50 == 0) signal_process(pid, SIGUSR1);
        return false;
      },
      timeout);
  if (!answered)
    throw Error("thermalmonitord (pid " + std::to_string(pid) + ") did not report its state");
  return state;
}

pid_t Device::wait_for_daemon(pid_t not_this, std::chrono::milliseconds timeout) const {
  pid_t found = 0;
  const bool up = wait_until(
      [&] {
        const pid_t pid = job_pid(kDaemonLabel);
        if (!pid || pid == not_this) return false;
        try {
          daemon_state(500ms);
        } catch (const Error&) {
          return false;
        }
        found = pid;
        return true;
      },
      timeout);
  if (!up) throw Error("no thermalmonitord came up on the device at " + root_);
  return found;
}

void Device::change_as_front_end(const std::string& key, const std::string& value) const {
  namespace contract = halvernic::contract;
  objc::AutoreleasePool pool;
  const bool mode = key == contract::kPowerModeKey;
  id object = nullptr;
  if (mode) {
    const auto& modes = contract::kPowerModeValues;
    if (std::find(modes.begin(), modes.end(), value) == modes.end()) {
      throw Error(key + " is off, lowPower or fullPower, not " + value);
    }
    object = objc::string(value);
  } else if (value == "true" || value == "false") {
    object = objc::boolean(value == "true");
  } else {
    throw Error(key + " takes true or false, not " + value);
  }
  if (key.rfind("thermal", 0) != 0)
    throw Error("the front-ends write keys that begin with \"thermal\", not " + key);
  ::setenv("HALVERNIC_NOTIFY_SOCKET", notify_socket().c_str(), 1);
  if (!contract::writePreferenceValue(preferences_file(), key, object)) {
    throw Error("cannot write " + preferences_file());
  }
  contract::publishRuntimeState();
  contract::postDarwinNotification(contract::kExecutePuppetEventNotification);
  if (mode) contract::postDarwinNotification(contract::kRestartThermalMonitorNotification);
}

HostResult Device::run_host(Host host, const std::vector<std::string>& arguments,
                            std::chrono::milliseconds timeout) const {
  const std::string& program =
      host == Host::kSettings ? programs_.settings : programs_.controlcenter;
  if (program.empty()) {
    throw Error(host == Host::kSettings
                    ? "the simulated Settings app (hv-settings) is not built"
                    : "the simulated Control Center (hv-controlcenter) is not built");
  }
  std::vector<std::string> argv{program, "--root", root_, "--appearance", appearance()};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return run_bounded(argv, environment(), timeout);
}

HostResult Device::run_ctl(const std::vector<std::string>& arguments,
                           std::chrono::milliseconds timeout, std::string* which) const {
  const std::string installed = jailbreak_root() + "/usr/bin/halvernicctl";
  const std::string program = ::access(installed.c_str(), X_OK) == 0 ? installed : programs_.ctl;
  if (program.empty()) throw Error("halvernicctl is neither installed nor built");
  if (which) *which = program;
  std::vector<std::string> argv{program, "--root", root_};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return run_bounded(argv, environment(), timeout);
}

std::string Device::appearance() const {
  const std::string text = read_file(root_ + "/var/run/appearance");
  return text.rfind("dark", 0) == 0 ? "dark" : "light";
}

void Device::set_appearance(const std::string& appearance) {
  if (appearance != "light" && appearance != "dark")
    throw Error("appearance is light or dark, not " + appearance);
  fs::create_directories(root_ + "/var/run");
  write_file(root_ + "/var/run/appearance", appearance + "\n");
}

namespace {

std::string state_folder() {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp && *tmp ? tmp : "/tmp") + "/halvernic-device-" +
         std::to_string(::getuid());
}

}  // namespace

std::string default_root() {
  if (const char* root = std::getenv("HALVERNIC_DEVICE_ROOT"); root && *root) return root;
  std::string text = read_file(state_folder() + "/current");
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

void remember_root(const std::string& root) {
  std::error_code error;
  fs::create_directories(state_folder(), error);
  if (!error)
    write_file(state_folder() + "/current", fs::absolute(root).lexically_normal().string() + "\n");
}

bool signal_process(pid_t pid, int sig) { return pid > 0 && ::kill(pid, sig) == 0; }

HostResult run_bounded(const std::vector<std::string>& arguments,
                       const std::vector<std::string>& env, std::chrono::milliseconds timeout) {
  HostResult result;
  int out[2], err[2];
  if (::pipe2(out, O_CLOEXEC) != 0) throw Error("cannot make a pipe");
  if (::pipe2(err, O_CLOEXEC) != 0) {
    ::close(out[0]);
    ::close(out[1]);
    throw Error("cannot make a pipe");
  }
  std::vector<std::string> args = arguments, envs = env;
  std::vector<char*> argv, envp;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& e : envs) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  pid_t pid = 0;
  const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  ::close(err[1]);
  if (spawned != 0) {
    ::close(out[0]);
    ::close(err[0]);
    throw Error("cannot run " + arguments[0] + ": " + std::strerror(spawned));
  }
  const auto deadline = Clock::now() + timeout;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open_fds = 2;
  bool timed_out = false;
  while (open_fds > 0) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      timed_out = true;
      break;
    }
    if (::poll(fds, 2, static_cast<int>(left)) < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buffer[4096];
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open_fds;
      }
    }
  }
  if (timed_out) signal_process(pid, SIGKILL);
  for (pollfd& fd : fds) {
    if (fd.fd >= 0) ::close(fd.fd);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.status = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
  if (timed_out)
    result.err += arguments[0] + ": killed after " + std::to_string(timeout.count()) + " ms\n";
  return result;
}

}  // namespace halvernic::sim::device
