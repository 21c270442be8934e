#include "sim/launchd/launchd.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "common/objc/foundation.hpp"

namespace halvernic::sim::launchd {

std::optional<Job> read_job(const std::string& plist_path, std::string* error) {
  objc::AutoreleasePool pool;
  objc::Ref plist = objc::readPropertyListFile(plist_path);
  auto fail = [&](const std::string& why) -> std::optional<Job> {
    if (error) *error = plist_path + ": " + why;
    return std::nullopt;
  };
  if (!objc::isDictionary(plist.get())) return fail("not a property list dictionary");
  Job job;
  job.label = objc::toString(objc::dictionaryGet(plist.get(), "Label"));
  if (job.label.empty()) return fail("no Label");
  id arguments = objc::dictionaryGet(plist.get(), "ProgramArguments");
  for (std::size_t i = 0; i < objc::count(arguments); ++i) {
    id argument = objc::arrayGet(arguments, i);
    if (!objc::isString(argument))
      return fail("ProgramArguments holds a value that is not a string");
    job.arguments.push_back(objc::toString(argument));
  }
  if (job.arguments.empty()) return fail("no ProgramArguments");
  objc::forEachEntry(objc::dictionaryGet(plist.get(), "EnvironmentVariables"),
                     [&](id key, id value) {
                       if (objc::isString(key) && objc::isString(value)) {
                         job.environment.emplace_back(objc::toString(key), objc::toString(value));
                       }
                       return true;
                     });
  job.stdout_path = objc::toString(objc::dictionaryGet(plist.get(), "StandardOutPath"));
  job.stderr_path = objc::toString(objc::dictionaryGet(plist.get(), "StandardErrorPath"));
  if (id keep_alive = objc::dictionaryGet(plist.get(), "KeepAlive"); objc::isNumber(keep_alive)) {
    job.keep_alive = objc::platformBoolValue(keep_alive);
  }
  if (id throttle = objc::dictionaryGet(plist.get(), "ThrottleInterval");
      objc::isNumber(throttle)) {
    // Bounded, so that no list can make a delay the clock cannot hold.
    const double seconds = objc::doubleValue(throttle);
    if (std::isfinite(seconds)) {
      job.throttle_interval = std::clamp(seconds, 0.0, kMaxThrottleInterval);
    }
  }
  return job;
}

std::vector<Job> read_jobs(const std::string& folder, std::vector<std::string>* errors) {
  namespace fs = std::filesystem;
  std::vector<std::string> paths;
  std::error_code code;
  for (fs::directory_iterator it(folder, code), end; !code && it != end; it.increment(code)) {
    if (it->path().extension() == ".plist") paths.push_back(it->path().string());
  }
  if (code && errors) errors->push_back(folder + ": " + code.message());
  std::sort(paths.begin(), paths.end());
  std::vector<Job> jobs;
  for (const std::string& path : paths) {
    std::string error;
    if (auto job = read_job(path, &error)) {
      jobs.push_back(std::move(*job));
    } else if (errors) {
      errors->push_back(error);
    }
  }
  return jobs;
}

double relaunch_delay(double seconds_since_launch, double throttle_interval) {
  if (seconds_since_launch < 0) seconds_since_launch = 0;  // a clock that went back
  return seconds_since_launch >= throttle_interval ? 0.0 : throttle_interval - seconds_since_launch;
}

RotatingLog::RotatingLog(std::string path, std::size_t limit)
    : path_(std::move(path)), limit_(std::max<std::size_t>(limit, 1)) {}

RotatingLog::~RotatingLog() {
  flush();
  if (fd_ >= 0) ::close(fd_);
}

bool RotatingLog::open() {
  if (fd_ >= 0) return true;
  fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd_ < 0) return false;
  struct stat st{};
  size_ = ::fstat(fd_, &st) == 0 ? static_cast<std::size_t>(st.st_size) : 0;
  return true;
}

void RotatingLog::rotate() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  std::rename(path_.c_str(), (path_ + ".1").c_str());
  size_ = 0;
}

void RotatingLog::put(std::string_view line) {
  while (!line.empty()) {
    if (!open()) return;
    if (size_ > 0 && size_ + line.size() > limit_) {
      rotate();
      continue;
    }
    const std::size_t n = std::min(line.size(), limit_);  // all of it unless it alone is too long
    for (std::size_t done = 0; done < n;) {
      const ssize_t written = ::write(fd_, line.data() + done, n - done);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) break;
      done += static_cast<std::size_t>(written);
    }
    size_ += n;
    line.remove_prefix(n);
  }
}

void RotatingLog::write(std::string_view bytes) {
  while (!bytes.empty()) {
    const std::size_t newline = bytes.find('\n');
    if (newline == std::string_view::npos) {
      partial_.append(bytes);
      if (partial_.size() >= limit_) flush();
      return;
    }
    if (partial_.empty()) {
      put(bytes.substr(0, newline + 1));
    } else {
      partial_.append(bytes.substr(0, newline + 1));
      put(partial_);
      partial_.clear();
    }
    bytes.remove_prefix(newline + 1);
  }
}

void RotatingLog::flush() {
  if (partial_.empty()) return;
  const std::string line = std::move(partial_);
  partial_.clear();
  put(line);
}

}  // namespace halvernic::sim::launchd
