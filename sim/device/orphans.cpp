#include "sim/device/orphans.hpp"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "sim/device/device.hpp"
#include "sim/launchd/launchd.hpp"

namespace halvernic::sim::device {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// At most limit bytes of a file of /proc (whose sizes stat does not tell).
std::string read_proc(const std::string& path, std::size_t limit) {
  std::string text;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return text;
  char buffer[4096];
  while (text.size() < limit) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return text;
}

// The name, state and parent of a process from /proc/<pid>/stat; false when it is gone.
bool read_stat(pid_t pid, std::string* name, char* state, pid_t* parent) {
  const std::string stat = read_proc("/proc/" + std::to_string(pid) + "/stat", 4096);
  const std::size_t open = stat.find('('), close = stat.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close + 4 >= stat.size()) {
    return false;
  }
  *name = stat.substr(open + 1, close - open - 1);
  *state = stat[close + 2];
  *parent = static_cast<pid_t>(std::strtol(stat.c_str() + close + 4, nullptr, 10));
  return true;
}

bool running(pid_t pid) {
  std::string name;
  char state = 0;
  pid_t parent = 0;
  return read_stat(pid, &name, &state, &parent) && state != 'Z' && state != 'X';
}

}  // namespace

bool runs_on_device(pid_t pid, const std::string& root) {
  if (pid <= 0 || !running(pid)) return false;
  const std::string wanted = "HALVERNIC_DEVICE_ROOT=" + root;
  const std::string environment = read_proc("/proc/" + std::to_string(pid) + "/environ", 1 << 20);
  for (std::size_t at = 0; at < environment.size();) {
    std::size_t end = environment.find('\0', at);
    if (end == std::string::npos) end = environment.size();
    if (environment.compare(at, end - at, wanted) == 0) return true;
    at = end + 1;
  }
  return false;
}

std::vector<DeviceProcess> find_device_processes(const std::string& root,
                                                 const std::vector<std::string>& names) {
  std::vector<std::string> kept;  // the system keeps 15 characters of a name
  for (const std::string& name : names) kept.push_back(name.substr(0, 15));
  std::vector<DeviceProcess> found;
  std::error_code error;
  for (fs::directory_iterator it("/proc", error), end; !error && it != end; it.increment(error)) {
    const std::string entry = it->path().filename().string();
    if (entry.empty() ||
        !std::all_of(entry.begin(), entry.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      continue;
    }
    const auto pid = static_cast<pid_t>(std::strtol(entry.c_str(), nullptr, 10));
    DeviceProcess process;
    char state = 0;
    if (pid <= 0 || pid == ::getpid()) continue;
    if (!read_stat(pid, &process.name, &state, &process.parent)) continue;
    if (state == 'Z' || state == 'X') continue;
    if (std::find(kept.begin(), kept.end(), process.name) == kept.end()) continue;
    if (!runs_on_device(pid, root)) continue;
    process.pid = pid;
    found.push_back(process);
  }
  return found;
}

std::vector<DeviceProcess> end_processes(const std::vector<DeviceProcess>& processes,
                                         std::chrono::milliseconds grace) {
  auto left = [&] {
    std::vector<DeviceProcess> still;
    for (const DeviceProcess& process : processes) {
      if (running(process.pid)) still.push_back(process);
    }
    return still;
  };
  auto wait = [&](std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!left().empty() && Clock::now() < deadline) std::this_thread::sleep_for(20ms);
  };
  for (const DeviceProcess& process : processes) signal_process(process.pid, SIGTERM);
  wait(grace);
  for (const DeviceProcess& process : left()) signal_process(process.pid, SIGKILL);
  wait(2s);
  return left();
}

std::vector<std::string> Device::daemon_names() const {
  auto base = [](const std::string& path) { return fs::path(path).filename().string(); };
  std::vector<std::string> names{base(programs_.launchd), base(programs_.notifyd),
                                 base(programs_.thermalmonitord)};
  for (const launchd::Job& job :
       launchd::read_jobs(root_ + "/System/Library/LaunchDaemons", nullptr)) {
    const std::string name = base(job.arguments.front());
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
  return names;
}

std::vector<std::string> Device::end_orphans() {
  // The live hv-launchd of this device and its own jobs are no orphans.
  const pid_t launchd = launchd_pid();
  std::vector<DeviceProcess> orphans;
  for (const DeviceProcess& process : find_device_processes(root_, daemon_names())) {
    if (launchd > 0 && (process.pid == launchd || process.parent == launchd)) continue;
    orphans.push_back(process);
  }
  std::vector<std::string> ended;
  if (orphans.empty()) return ended;
  // hv-launchd ends its jobs within 7 s of SIGTERM.
  const std::vector<DeviceProcess> left = end_processes(orphans, 8s);
  std::string alive;
  for (const DeviceProcess& process : orphans) {
    const std::string named = process.name + " (pid " + std::to_string(process.pid) + ")";
    if (std::any_of(left.begin(), left.end(),
                    [&](const DeviceProcess& p) { return p.pid == process.pid; })) {
      alive += (alive.empty() ? "" : ", ") + named;
    } else {
      ended.push_back(named);
    }
  }
  if (!alive.empty()) {
    throw Error("orphaned processes of the device at " + root_ + " outlived SIGKILL: " + alive);
  }
  return ended;
}

}  // namespace halvernic::sim::device
