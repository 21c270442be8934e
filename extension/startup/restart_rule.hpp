// When the daemon ends itself for a restart.
//
// launchd relaunches thermalmonitord at once only when it has run for its job's
// ThrottleInterval; a daemon ended sooner is held until that interval has passed since its
// launch, and for that time the device has no thermal control at all. So:
//   - a restart request ends the process no earlier than kRestartDelayNanoseconds after the
//     request and no earlier than the throttle interval after the library was loaded (which
//     is after launchd launched the process);
//   - requests that arrive while an end is pending fold into it;
//   - a request ends nothing when the restart would change nothing (the engine's mode in
//     force has been the same since its first application, and the file says so too); the
//     same is asked again when the end is due;
//   - once the extension has stood down nothing is ended any more.
// Any local process can post the restart notification: a flood of them ends the daemon at
// most once per throttle interval, and not at all while nothing changes.
//
// Times are nanoseconds of one monotonic clock, passed in by the caller (the library uses
// os::monotonicNanoseconds; tests pass their own).
#pragma once

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string_view>

namespace halvernic::startup {

// How long after a restart notification the process ends, at the earliest.
inline constexpr std::int64_t kRestartDelayNanoseconds = 200'000'000;  // 0.2 s
// launchd's ThrottleInterval when the job does not name one.
inline constexpr std::int64_t kDefaultThrottleIntervalNanoseconds = 10'000'000'000;  // 10 s
// A throttle interval above this is taken as this (a day).
inline constexpr std::int64_t kLongestThrottleIntervalNanoseconds = 86'400'000'000'000;

// The daemon's launchd job, as the system keeps it (resolved with rootfs before reading).
inline constexpr char kDaemonLaunchdPropertyList[] =
    "/System/Library/LaunchDaemons/com.apple.thermalmonitord.plist";

// The ThrottleInterval of the launchd property list at path (a number of seconds, whole or
// not), in nanoseconds: kDefaultThrottleIntervalNanoseconds when the file is missing or
// unreadable, is not a dictionary, or has no usable value (not a number, negative, not
// finite); at most kLongestThrottleIntervalNanoseconds.
std::int64_t throttleIntervalOfPropertyList(std::string_view path);
// The same for the daemon's own job (kDaemonLaunchdPropertyList below the system's root).
std::int64_t daemonThrottleInterval();

class RestartRule {
public:
  using ThrottleSource = std::int64_t (*)();

  // loadTime: when the library was loaded. throttle: asked once, at the first request that
  // schedules an end.
  RestartRule(std::int64_t loadTime, ThrottleSource throttle) noexcept
      : loadTime_(loadTime), throttleSource_(throttle) {}
  RestartRule(const RestartRule&) = delete;
  RestartRule& operator=(const RestartRule&) = delete;

  enum class Outcome {
    scheduled,  // end the process at deadline (then ask due())
    folded,     // an end is pending already
    unchanged,  // the restart would change nothing: no end
    stoodDown,  // the extension stood down: no end
  };
  struct Decision {
    Outcome outcome;
    std::int64_t deadline = 0;  // for scheduled
  };

  // A restart notification at now. changesNothing() is asked only when no end is pending
  // (a flood of requests costs no more than the first), outside the rule's lock.
  template <class ChangesNothing>
  Decision request(std::int64_t now, ChangesNothing&& changesNothing) {
    {
      std::lock_guard lock(mutex_);
      if (stoodDown_) return {Outcome::stoodDown};
      if (pending_) return {Outcome::folded};
    }
    const bool nothing = changesNothing();
    std::lock_guard lock(mutex_);
    if (stoodDown_) return {Outcome::stoodDown};
    if (pending_) return {Outcome::folded};
    if (nothing) return {Outcome::unchanged};
    pending_ = true;
    return {Outcome::scheduled,
            std::max(now + kRestartDelayNanoseconds, loadTime_ + throttleLocked())};
  }

  // The pending end is due: whether to end the process now. When the restart would change
  // nothing by now, or the extension has stood down, the pending end is dropped and a
  // later request schedules anew.
  template <class ChangesNothing>
  bool due(ChangesNothing&& changesNothing) {
    {
      std::lock_guard lock(mutex_);
      if (stoodDown_ || !pending_) return false;
    }
    const bool nothing = changesNothing();
    std::lock_guard lock(mutex_);
    if (stoodDown_ || nothing) {
      pending_ = false;
      return false;
    }
    return true;  // stays pending: the process ends
  }

  // No request ends anything from now on, and a pending end is dropped when due.
  void standDown() noexcept {
    std::lock_guard lock(mutex_);
    stoodDown_ = true;
  }

  bool pending() const noexcept {
    std::lock_guard lock(mutex_);
    return pending_;
  }
  std::int64_t loadTime() const noexcept { return loadTime_; }
  std::int64_t throttleInterval() {
    std::lock_guard lock(mutex_);
    return throttleLocked();
  }

private:
  std::int64_t throttleLocked() {
    if (!throttle_) {
      const std::int64_t value =
          throttleSource_ ? throttleSource_() : kDefaultThrottleIntervalNanoseconds;
      throttle_ = std::clamp<std::int64_t>(value, 0, kLongestThrottleIntervalNanoseconds);
    }
    return *throttle_;
  }

  mutable std::mutex mutex_;  // held for a few instructions, never while asking the engine
  const std::int64_t loadTime_;
  const ThrottleSource throttleSource_;
  std::optional<std::int64_t> throttle_;
  bool pending_ = false;
  bool stoodDown_ = false;
};

}  // namespace halvernic::startup
