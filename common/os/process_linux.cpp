// The process table of the simulated device: /proc, limited to the processes of this
// process's device (the stand-in for the kernel's table a device has to itself).
#include "common/os/process.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "hvplatform/environment.h"

namespace os {
namespace {

// At most limit bytes of a file of /proc (whose sizes stat does not tell).
std::string readProc(const std::string& path, std::size_t limit) {
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

// Whether the NUL-separated environment holds exactly entry.
bool holds(const std::string& environment, const std::string& entry) {
  for (std::size_t at = 0; at < environment.size();) {
    std::size_t end = environment.find('\0', at);
    if (end == std::string::npos) end = environment.size();
    if (environment.compare(at, end - at, entry) == 0) return true;
    at = end + 1;
  }
  return false;
}

}  // namespace

std::optional<std::vector<pid_t>> processesNamed(std::string_view name) {
  const std::string kept(name.substr(0, 15));
  const char* root = std::getenv(HV_ENV_DEVICE_ROOT);
  const std::string device = root && *root ? std::string(HV_ENV_DEVICE_ROOT "=") + root : "";
  std::error_code error;
  std::filesystem::directory_iterator it("/proc", error);
  if (error) return std::nullopt;
  std::vector<pid_t> found;
  for (const std::filesystem::directory_iterator end; it != end; it.increment(error)) {
    if (error) return std::nullopt;
    const std::string entry = it->path().filename().string();
    if (entry.empty() || entry.find_first_not_of("0123456789") != std::string::npos) continue;
    const long pid = std::strtol(entry.c_str(), nullptr, 10);
    if (pid <= 0) continue;
    // "pid (name) state ...": the name may hold spaces and parentheses; the last ')' ends it.
    const std::string stat = readProc("/proc/" + entry + "/stat", 4096);
    const std::size_t open = stat.find('('), close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close + 2 >= stat.size()) {
      continue;
    }
    if (stat.compare(open + 1, close - open - 1, kept) != 0) continue;
    if (stat[close + 2] == 'Z' || stat[close + 2] == 'X') continue;
    if (!device.empty() && !holds(readProc("/proc/" + entry + "/environ", 1 << 20), device)) {
      continue;
    }
    found.push_back(static_cast<pid_t>(pid));
  }
  return found;
}

}  // namespace os
