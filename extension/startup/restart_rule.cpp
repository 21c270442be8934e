#include "extension/startup/restart_rule.hpp"

#include <cmath>

#include "common/objc/foundation.hpp"
#include "common/rootpath/rootpath.hpp"

namespace halvernic::startup {

namespace {

// A launchd property list is a few hundred bytes; a bound keeps a damaged one from costing
// more than a small read.
constexpr std::size_t kLargestPropertyList = std::size_t{256} * 1024;

}  // namespace

std::int64_t throttleIntervalOfPropertyList(std::string_view path) {
  objc::AutoreleasePool pool;
  const objc::Ref plist = objc::readPropertyListFile(path, kLargestPropertyList);
  if (!objc::isDictionary(plist.get())) return kDefaultThrottleIntervalNanoseconds;
  id value = objc::dictionaryGet(plist.get(), "ThrottleInterval");
  if (!objc::isNumber(value) || objc::isBoolean(value)) {
    return kDefaultThrottleIntervalNanoseconds;
  }
  const double seconds = objc::doubleValue(value);
  if (!std::isfinite(seconds) || seconds < 0) return kDefaultThrottleIntervalNanoseconds;
  if (seconds >= static_cast<double>(kLongestThrottleIntervalNanoseconds) / 1e9) {
    return kLongestThrottleIntervalNanoseconds;
  }
  return static_cast<std::int64_t>(std::ceil(seconds * 1e9));
}

std::int64_t daemonThrottleInterval() {
  char buffer[rootpath::kBufferSize];
  const char* path = rootfs(kDaemonLaunchdPropertyList, buffer);
  return path ? throttleIntervalOfPropertyList(path) : kDefaultThrottleIntervalNanoseconds;
}

}  // namespace halvernic::startup
