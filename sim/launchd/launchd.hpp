// The launchd stand-in of the simulated device: the jobs of a LaunchDaemons folder, each
// kept running as launchd keeps a KeepAlive job, with launchd's throttle between launches.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace halvernic::sim::launchd {

// launchd's default ThrottleInterval: a job is not launched again sooner than this many
// seconds after its previous launch.
inline constexpr double kDefaultThrottleInterval = 10.0;

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

}  // namespace halvernic::sim::launchd
