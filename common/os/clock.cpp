#include "common/os/clock.hpp"

#include <time.h>

namespace os {
namespace {

std::int64_t nanoseconds(const timespec& t) noexcept {
  return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

}  // namespace

std::int64_t coarseMonotonicNanoseconds() noexcept {
#if defined(__APPLE__)
  return static_cast<std::int64_t>(clock_gettime_nsec_np(CLOCK_UPTIME_RAW_APPROX));
#else
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  return nanoseconds(now);
#endif
}

std::int64_t monotonicNanoseconds() noexcept {
#if defined(__APPLE__)
  return static_cast<std::int64_t>(clock_gettime_nsec_np(CLOCK_UPTIME_RAW));
#else
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return nanoseconds(now);
#endif
}

std::int64_t wallClockNanoseconds() noexcept {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return nanoseconds(now);
}

}  // namespace os
