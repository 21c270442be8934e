#include "sim/launchd/launchd.hpp"

#include <algorithm>
#include <filesystem>

#include "common/objc/foundation.hpp"

namespace halvernic::sim::launchd {

std::optional<Job> read_job(const std::string& plist_path, std::string* error) {
  objc::AutoreleasePool pool;
  objc::Ref plist = objc::read_property_list_file(plist_path);
  auto fail = [&](const std::string& why) -> std::optional<Job> {
    if (error) *error = plist_path + ": " + why;
    return std::nullopt;
  };
  if (!objc::is_dictionary(plist.get())) return fail("not a property list dictionary");
  Job job;
  job.label = objc::to_string(objc::dictionary_get(plist.get(), "Label"));
  if (job.label.empty()) return fail("no Label");
  id arguments = objc::dictionary_get(plist.get(), "ProgramArguments");
  for (std::size_t i = 0; i < objc::count(arguments); ++i) {
    id argument = objc::array_get(arguments, i);
    if (!objc::is_string(argument)) return fail("ProgramArguments holds a value that is not a string");
    job.arguments.push_back(objc::to_string(argument));
  }
  if (job.arguments.empty()) return fail("no ProgramArguments");
  objc::for_each_entry(objc::dictionary_get(plist.get(), "EnvironmentVariables"), [&](id key, id value) {
    if (objc::is_string(key) && objc::is_string(value)) {
      job.environment.emplace_back(objc::to_string(key), objc::to_string(value));
    }
    return true;
  });
  job.stdout_path = objc::to_string(objc::dictionary_get(plist.get(), "StandardOutPath"));
  job.stderr_path = objc::to_string(objc::dictionary_get(plist.get(), "StandardErrorPath"));
  if (id keep_alive = objc::dictionary_get(plist.get(), "KeepAlive"); objc::is_number(keep_alive)) {
    job.keep_alive = objc::platform_bool_value(keep_alive);
  }
  if (id throttle = objc::dictionary_get(plist.get(), "ThrottleInterval"); objc::is_number(throttle)) {
    job.throttle_interval = std::max(objc::double_value(throttle), 0.0);
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

}  // namespace halvernic::sim::launchd
