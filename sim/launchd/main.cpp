// hv-launchd: launchd of the simulated device. Launches every job of
// DIR/System/Library/LaunchDaemons and launches a KeepAlive job again whenever it exits,
// with launchd's throttle (relaunch_delay). Logs each launch and exit on standard output;
// keeps DIR/var/run/launchd.pid and DIR/var/run/<Label>.pid for the jobs running.
//
//   hv-launchd --root DIR
//
// SIGTERM or SIGINT: no more launches; each job gets SIGTERM, then SIGKILL after 5 s if
// it is still there; hv-launchd exits once every job has been collected. Should hv-launchd
// itself end any other way (SIGKILL, a crash), the system kills its jobs at once.
//
// A job's standard output and error reach its StandardOutPath and StandardErrorPath
// through hv-launchd, which keeps each log as a system log does (launchd::RotatingLog: at
// most kLogRotationBytes in the file and as much in "<file>.1").
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/objc/thread.hpp"
#include "sim/launchd/launchd.hpp"

extern char** environ;

namespace {

namespace launchd = halvernic::sim::launchd;
using Clock = std::chrono::steady_clock;

constexpr auto kTermGrace = std::chrono::seconds(5);
constexpr auto kKillGrace = std::chrono::seconds(2);

void log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void log(const char* format, ...) {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  tm utc{};
  ::gmtime_r(&now.tv_sec, &utc);
  char stamp[64];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &utc);
  std::printf("%s.%03ldZ launchd: ", stamp, now.tv_nsec / 1000000);
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::printf("\n");
  std::fflush(stdout);
}

struct Running {
  launchd::Job job;
  pid_t pid = 0;
  int launches = 0;
  Clock::time_point launched_at{};
  bool pending = false;  // to be launched at relaunch_at
  Clock::time_point relaunch_at{};
};

std::string pid_file(const std::string& run_dir, const std::string& label) {
  return run_dir + "/" + label + ".pid";
}

// The read end of a pipe that carries a job's output to its log.
struct Output {
  int fd = -1;
  launchd::RotatingLog* log = nullptr;
};

// The logs of the jobs by path (a path two jobs or both streams share is one log) and the
// pipes that feed them.
struct Logs {
  std::map<std::string, std::unique_ptr<launchd::RotatingLog>> by_path;
  std::vector<Output> outputs;

  launchd::RotatingLog* log(const std::string& path) {
    auto& log = by_path[path];
    if (!log) log = std::make_unique<launchd::RotatingLog>(path);
    return log.get();
  }
};

// A pipe for output to path: the write end for the child (both fds close on exec; the child
// dup2s the write end). False when path is empty (the child takes /dev/null) or no pipe can
// be made (the child opens path itself).
bool output_pipe(const std::string& path, Logs& logs, int* write_end) {
  int ends[2];
  if (path.empty() || ::pipe2(ends, O_CLOEXEC) != 0) return false;
  ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
  logs.outputs.push_back(Output{ends[0], logs.log(path)});
  *write_end = ends[1];
  return true;
}

void write_file(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream(temporary, std::ios::trunc) << text;
  }
  std::rename(temporary.c_str(), path.c_str());
}

// Everything the child needs is built before fork: after fork only async-signal-safe
// calls happen.
void launch(Running& r, const std::string& run_dir, const sigset_t& original_mask, Logs& logs) {
  std::vector<std::string> env_strings;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    bool replaced = false;
    for (const auto& [name, value] : r.job.environment) replaced |= entry.rfind(name + "=", 0) == 0;
    if (!replaced) env_strings.push_back(entry);
  }
  for (const auto& [name, value] : r.job.environment) env_strings.push_back(name + "=" + value);
  std::vector<char*> envp, argv;
  for (auto& e : env_strings) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> arguments = r.job.arguments;
  for (auto& a : arguments) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::string out = r.job.stdout_path.empty() ? "/dev/null" : r.job.stdout_path;
  const std::string err = r.job.stderr_path.empty() ? "/dev/null" : r.job.stderr_path;
  // The job's streams go through pipes to its logs; one pipe when both name one file.
  int out_pipe = -1, err_pipe = -1;
  const bool piped_out = output_pipe(r.job.stdout_path, logs, &out_pipe);
  const bool piped_err = r.job.stderr_path == r.job.stdout_path
                             ? piped_out
                             : output_pipe(r.job.stderr_path, logs, &err_pipe);
  if (piped_err && err_pipe < 0) err_pipe = out_pipe;

  // Jobs end with their launchd, as on a device: the kernel kills the child when the
  // thread that forked it ends, and only the main thread forks (the launchd's whole life).
  const pid_t launchd = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != launchd) ::_exit(126);
    const int out_fd =
        piped_out ? out_pipe : ::open(out.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    const int err_fd =
        piped_err ? err_pipe : ::open(err.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    const int null_fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (out_fd < 0 || err_fd < 0 || null_fd < 0) ::_exit(126);
    ::dup2(null_fd, STDIN_FILENO);
    ::dup2(out_fd, STDOUT_FILENO);
    ::dup2(err_fd, STDERR_FILENO);
    struct sigaction dfl{};
    dfl.sa_handler = SIG_DFL;
    for (int s : {SIGTERM, SIGINT, SIGCHLD}) ::sigaction(s, &dfl, nullptr);
    ::sigprocmask(SIG_SETMASK, &original_mask, nullptr);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  const int fork_error = errno;
  // The child has the write ends now (or none was made): hv-launchd keeps the read ends.
  if (out_pipe >= 0) ::close(out_pipe);
  if (err_pipe >= 0 && err_pipe != out_pipe) ::close(err_pipe);
  if (pid < 0) {
    log("cannot launch %s: %s; trying again in %.0f s", r.job.label.c_str(),
        std::strerror(fork_error), r.job.throttle_interval);
    r.pending = true;
    r.relaunch_at = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                       std::chrono::duration<double>(r.job.throttle_interval));
    return;
  }
  r.pid = pid;
  r.pending = false;
  r.launched_at = Clock::now();
  ++r.launches;
  write_file(pid_file(run_dir, r.job.label), std::to_string(pid) + "\n");
  log("launched %s (pid %d, launch %d)", r.job.label.c_str(), static_cast<int>(pid), r.launches);
}

std::string describe_status(int status) {
  if (WIFSIGNALED(status)) return std::string("signal ") + std::to_string(WTERMSIG(status));
  return std::string("status ") + std::to_string(WEXITSTATUS(status));
}

// Reaps every child that has ended, without waiting. A job whose process ended has its pid
// cleared and its pid file removed; with relaunch, a keep-alive job is marked pending, to be
// launched again after launchd's delay (relaunch_delay). A child that is no job is reaped
// silently.
void collect(std::vector<Running>& jobs, const std::string& run_dir, bool relaunch) {
  for (;;) {
    int status = 0;
    const pid_t pid = ::waitpid(-1, &status, WNOHANG);
    if (pid <= 0) return;
    for (Running& r : jobs) {
      if (r.pid != pid) continue;
      r.pid = 0;
      ::unlink(pid_file(run_dir, r.job.label).c_str());
      const double ran = std::chrono::duration<double>(Clock::now() - r.launched_at).count();
      if (!relaunch || !r.job.keep_alive) {
        log("%s (pid %d) exited with %s after %.1f s", r.job.label.c_str(), static_cast<int>(pid),
            describe_status(status).c_str(), ran);
        break;
      }
      const double delay = launchd::relaunch_delay(ran, r.job.throttle_interval);
      log("%s (pid %d) exited with %s after %.1f s; relaunch in %.1f s", r.job.label.c_str(),
          static_cast<int>(pid), describe_status(status).c_str(), ran, delay);
      r.pending = true;
      r.relaunch_at = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double>(delay));
      break;
    }
  }
}

bool any_running(const std::vector<Running>& jobs) {
  for (const Running& r : jobs) {
    if (r.pid > 0) return true;
  }
  return false;
}

// Copies what the jobs wrote into their logs, until each pipe is empty; a pipe whose
// writers are all gone is closed (its log's last partial line written).
void drain(Logs& logs, const std::vector<pollfd>& polled) {
  for (std::size_t i = 0; i < logs.outputs.size(); ++i) {
    Output& output = logs.outputs[i];
    if (!(polled[i + 1].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    char buffer[65536];
    for (int reads = 0; reads < 16; ++reads) {  // then the others' turn
      const ssize_t n = ::read(output.fd, buffer, sizeof buffer);
      if (n > 0) {
        output.log->write(std::string_view(buffer, static_cast<std::size_t>(n)));
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
        output.log->flush();
        ::close(output.fd);
        output.fd = -1;
      }
      break;
    }
  }
  std::erase_if(logs.outputs, [](const Output& output) { return output.fd < 0; });
}

// Waits until deadline for a signal, meanwhile copying the jobs' output into their logs.
// Answers the signal taken, or 0 when the deadline came first.
int wait_for_signal(int signal_fd, Logs& logs, Clock::time_point deadline) {
  for (;;) {
    std::vector<pollfd> polled{{signal_fd, POLLIN, 0}};
    for (const Output& output : logs.outputs) polled.push_back({output.fd, POLLIN, 0});
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    const int timeout = static_cast<int>(std::clamp<long long>(left + 1, 0, 60000));
    const int ready = ::poll(polled.data(), polled.size(), timeout);
    if (ready < 0 && errno != EINTR) return 0;
    if (ready > 0) drain(logs, polled);
    if (ready > 0 && (polled[0].revents & POLLIN)) {
      signalfd_siginfo info{};
      if (::read(signal_fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        return static_cast<int>(info.ssi_signo);
      }
    }
    if (Clock::now() >= deadline) return 0;
  }
}

// Waits until deadline or until no job runs, collecting the jobs that end.
void wait_for_jobs(std::vector<Running>& jobs, const std::string& run_dir, int signal_fd,
                   Logs& logs, Clock::time_point deadline) {
  while (any_running(jobs) && Clock::now() < deadline) {
    wait_for_signal(signal_fd, logs, deadline);
    collect(jobs, run_dir, false);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || std::strcmp(argv[1], "--root") != 0) {
    std::fprintf(stderr, "usage: hv-launchd --root DIR\n");
    return 2;
  }
  const std::string root = argv[2];
  const std::string run_dir = root + "/var/run";
  std::filesystem::create_directories(run_dir);

  sigset_t set, original;
  sigemptyset(&set);
  for (int s : {SIGCHLD, SIGTERM, SIGINT}) sigaddset(&set, s);
  ::sigprocmask(SIG_BLOCK, &set, &original);
  const int signal_fd = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
  if (signal_fd < 0) {
    std::fprintf(stderr, "hv-launchd: signalfd: %s\n", std::strerror(errno));
    return 1;
  }

  std::vector<Running> jobs;
  {
    objc::attachCurrentThread();
    std::vector<std::string> errors;
    for (launchd::Job& job : launchd::read_jobs(root + "/System/Library/LaunchDaemons", &errors)) {
      jobs.push_back(Running{std::move(job)});
    }
    for (const std::string& error : errors) log("skipped %s", error.c_str());
  }
  Logs logs;
  write_file(run_dir + "/launchd.pid", std::to_string(::getpid()) + "\n");
  log("started with %zu jobs", jobs.size());
  for (Running& r : jobs) launch(r, run_dir, original, logs);

  for (;;) {
    Clock::time_point next = Clock::now() + std::chrono::seconds(60);
    for (const Running& r : jobs) {
      if (r.pending && r.relaunch_at < next) next = r.relaunch_at;
    }
    const int signal = wait_for_signal(signal_fd, logs, next);
    if (signal == SIGTERM || signal == SIGINT) break;
    collect(jobs, run_dir, true);
    const auto now = Clock::now();
    for (Running& r : jobs) {
      if (r.pending && r.relaunch_at <= now) launch(r, run_dir, original, logs);
    }
  }

  log("shutting down");
  for (Running& r : jobs) {
    r.pending = false;
    if (r.pid > 0) ::kill(r.pid, SIGTERM);
  }
  wait_for_jobs(jobs, run_dir, signal_fd, logs, Clock::now() + kTermGrace);
  for (Running& r : jobs) {
    if (r.pid > 0) {
      log("%s (pid %d) ignored SIGTERM; sending SIGKILL", r.job.label.c_str(),
          static_cast<int>(r.pid));
      ::kill(r.pid, SIGKILL);
    }
  }
  wait_for_jobs(jobs, run_dir, signal_fd, logs, Clock::now() + kKillGrace);
  // What the jobs wrote last (a process they left behind may hold a pipe: bounded).
  const auto drained = Clock::now() + std::chrono::seconds(1);
  while (!logs.outputs.empty() && Clock::now() < drained) wait_for_signal(signal_fd, logs, drained);
  ::unlink((run_dir + "/launchd.pid").c_str());
  log("stopped");
  return any_running(jobs) ? 1 : 0;
}
