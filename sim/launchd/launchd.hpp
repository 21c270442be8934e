// The launchd stand-in of the simulated device: the jobs of a LaunchDaemons folder, each
// kept running as launchd keeps a KeepAlive job, with launchd's throttle between launches.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace halvernic::sim::launchd {

// launchd's default ThrottleInterval: a job is not launched again sooner than this many
// seconds after its previous launch.
inline constexpr double kDefaultThrottleInterval = 10.0;
// The longest ThrottleInterval a job list may ask for (longer ones are cut to it).
inline constexpr double kMaxThrottleInterval = 86400.0;

// One job, as its property list in LaunchDaemons describes it (Label, ProgramArguments,
// EnvironmentVariables, StandardOutPath, StandardErrorPath, KeepAlive, ThrottleInterval).
struct Job {
  std::string label;
  std::vector<std::string> arguments;
  std::vector<std::pair<std::string, std::string>> environment;
  std::string stdout_path, stderr_path;
  bool keep_alive = false;
  double throttle_interval = kDefaultThrottleInterval;
};

// Reads one job; nullopt with *error set when the list is unreadable, has no Label, or
// has no ProgramArguments.
std::optional<Job> read_job(const std::string& plist_path, std::string* error);

// The jobs of every ".plist" of folder, in file-name order; unreadable lists are skipped
// with their error appended to errors.
std::vector<Job> read_jobs(const std::string& folder, std::vector<std::string>* errors);

// How long launchd waits before launching again a job that exited seconds_since_launch
// after it was launched: at once when it ran for the throttle interval or longer,
// otherwise until the interval has passed since that launch.
double relaunch_delay(double seconds_since_launch, double throttle_interval);

// The size at which a job's log is rotated: each log keeps at most this much in its file and
// as much again in "<file>.1".
inline constexpr std::size_t kLogRotationBytes = 1 << 20;

// A job's log (its StandardOutPath or StandardErrorPath) as a system log keeps it: appended
// to, and once the next line would take the file past limit bytes, renamed to "<path>.1"
// (replacing an older one) and begun anew, so a job that logs without pause never fills
// the disk. Lines stay whole in one file (a line longer than limit is cut at it); the file
// is reopened by name at each rotation, as newsyslog does. Failures to write are ignored,
// as a job's own writes to a full disk would be.
class RotatingLog {
public:
  explicit RotatingLog(std::string path, std::size_t limit = kLogRotationBytes);
  ~RotatingLog();
  RotatingLog(const RotatingLog&) = delete;
  RotatingLog& operator=(const RotatingLog&) = delete;

  const std::string& path() const { return path_; }
  // Takes the bytes a job wrote; a last line without its newline waits for the rest (up to
  // limit bytes).
  void write(std::string_view bytes);
  // Writes a waiting partial line (the job's output ended).
  void flush();

private:
  void put(std::string_view line);
  void rotate();
  bool open();

  std::string path_;
  std::size_t limit_;
  int fd_ = -1;
  std::size_t size_ = 0;
  std::string partial_;
};

}  // namespace halvernic::sim::launchd
