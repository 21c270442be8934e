// Child processes for the end-to-end tests: started with posix_spawn, waited for with a
// bound, killed when a test ends early.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

extern "C" char** environ;

namespace hv_platform_test {

class Child {
public:
  explicit Child(std::vector<std::string> argv) {
    std::vector<char*> args;
    for (auto& arg : argv) args.push_back(arg.data());
    args.push_back(nullptr);
    if (posix_spawn(&pid_, args[0], nullptr, nullptr, args.data(), environ) != 0) pid_ = -1;
  }
  ~Child() { kill(SIGKILL); }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

  // The wait status, or -1 if the child did not end within timeout.
  int wait(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) return status_;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      int status = 0;
      pid_t done = ::waitpid(pid_, &status, WNOHANG);
      if (done == pid_) {
        pid_ = -1;
        status_ = status;
        return status;
      }
      if (std::chrono::steady_clock::now() >= deadline) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  void kill(int signal) {
    if (pid_ <= 0) return;
    ::kill(pid_, signal);
    if (signal == SIGKILL || signal == SIGTERM) wait(std::chrono::seconds(10));
  }

private:
  pid_t pid_ = -1;
  int status_ = -1;
};

// True once something accepts connections on the socket (bounded).
inline bool wait_for_socket(const std::string& path, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, sizeof(address.sun_path) - 1);
  while (std::chrono::steady_clock::now() < deadline) {
    int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    if (ok) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

// A notify daemon for one test suite, in a fresh folder below /tmp that holds its socket.
// The process's notify clients use it from then on (socket_variable names the environment
// variable they read). Stopping it removes the folder.
class SuiteNotifyDaemon {
public:
  SuiteNotifyDaemon(const std::string& notifyd, const char* socket_variable, const char* name) {
    std::string folder = std::string("/tmp/") + name + "-XXXXXX";
    if (!::mkdtemp(folder.data())) return;
    folder_ = folder;
    const std::string socket = (folder_ / "notifyd.socket").string();
    ::setenv(socket_variable, socket.c_str(), 1);
    daemon_ = std::make_unique<Child>(std::vector<std::string>{notifyd, "--socket", socket});
    ready_ = daemon_->started() && wait_for_socket(socket, std::chrono::seconds(10));
  }
  ~SuiteNotifyDaemon() {
    daemon_.reset();
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
  }
  SuiteNotifyDaemon(const SuiteNotifyDaemon&) = delete;
  SuiteNotifyDaemon& operator=(const SuiteNotifyDaemon&) = delete;

  bool ready() const { return ready_; }
  const std::filesystem::path& folder() const { return folder_; }

private:
  std::filesystem::path folder_;
  std::unique_ptr<Child> daemon_;
  bool ready_ = false;
};

}  // namespace hv_platform_test
