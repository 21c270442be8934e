#include "sim/device/lock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "sim/device/device.hpp"

namespace halvernic::sim::device {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

DeviceLock::DeviceLock(const std::string& root, Access access, std::chrono::milliseconds wait) {
  const int operation = (access == Access::kChanges ? LOCK_EX : LOCK_SH) | LOCK_NB;
  const auto deadline = Clock::now() + wait;
  bool said = false;
  for (;;) {
    const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) throw Error("no device at " + root + ": " + std::strerror(errno));
    if (::flock(fd, operation) == 0) {
      // The folder may have been removed (and made again) while this waited: the lock must
      // be on the folder that the path names now.
      struct stat locked = {};
      struct stat named = {};
      if (::fstat(fd, &locked) == 0 && ::stat(root.c_str(), &named) == 0 &&
          same_file(locked, named)) {
        fd_ = fd;
        return;
      }
      ::close(fd);
      continue;
    }
    const int error = errno;
    ::close(fd);
    if (error != EWOULDBLOCK && error != EINTR) {
      throw Error("cannot lock the device at " + root + ": " + std::strerror(error));
    }
    if (Clock::now() >= deadline) {
      const pid_t pid = holder(root);
      throw Error("the device at " + root + " is busy: another hv-device" +
                  (pid > 0 ? " (pid " + std::to_string(pid) + ")" : std::string()) + " holds it");
    }
    if (!said && wait >= 1s) {
      said = true;
      const pid_t pid = holder(root);
      std::fprintf(stderr, "hv-device: waiting for another hv-device%s on %s\n",
                   pid > 0 ? (" (pid " + std::to_string(pid) + ")").c_str() : "", root.c_str());
    }
    std::this_thread::sleep_for(50ms);
  }
}

DeviceLock::~DeviceLock() {
  if (fd_ >= 0) ::close(fd_);
}

pid_t DeviceLock::holder(const std::string& folder) {
  struct stat st{};
  if (::stat(folder.c_str(), &st) != 0) return 0;
  // "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF": the pid, then major:minor:inode.
  std::ifstream locks("/proc/locks");
  for (std::string line; std::getline(locks, line);) {
    std::istringstream fields(line);
    std::string number, kind, advisory, mode, file;
    long pid = 0;
    if (!(fields >> number >> kind)) continue;
    if (kind == "->") continue;  // a waiter
    if (kind != "FLOCK" || !(fields >> advisory >> mode >> pid >> file)) continue;
    unsigned major = 0, minor = 0;
    unsigned long long inode = 0;
    if (std::sscanf(file.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3) continue;
    if (inode == st.st_ino && major == ::major(st.st_dev) && minor == ::minor(st.st_dev) &&
        pid > 0 && pid != ::getpid()) {
      return static_cast<pid_t>(pid);
    }
  }
  return 0;
}

}  // namespace halvernic::sim::device
