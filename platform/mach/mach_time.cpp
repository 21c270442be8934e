// Mach's clocks (see <mach/mach_time.h>): one nanosecond per unit. mach_absolute_time is the
// monotonic clock (it stands still in sleep, as Darwin's does); mach_continuous_time is the
// boot clock (it counts sleep), or the simulated device's time once the process set one.
#include <mach/mach_time.h>
#include <time.h>

#include <atomic>

#include "hvplatform/mach_testing.h"

namespace {

std::uint64_t read(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000'000u +
         static_cast<std::uint64_t>(now.tv_nsec);
}

std::atomic<bool> gFollowsDevice{false};
std::atomic<std::uint64_t> gDeviceTime{0};

}  // namespace

#define HV_MACH_API extern "C" [[gnu::visibility("default")]]

HV_MACH_API kern_return_t mach_timebase_info(mach_timebase_info_t info) {
  if (!info) return KERN_INVALID_ARGUMENT;
  info->numer = 1;
  info->denom = 1;
  return KERN_SUCCESS;
}

HV_MACH_API uint64_t mach_absolute_time(void) { return read(CLOCK_MONOTONIC); }

HV_MACH_API uint64_t mach_continuous_time(void) {
  if (gFollowsDevice.load(std::memory_order_acquire)) {
    return gDeviceTime.load(std::memory_order_acquire);
  }
  return read(CLOCK_BOOTTIME);
}

HV_MACH_API void HVMachSetDeviceTime(uint64_t nanoseconds) {
  gDeviceTime.store(nanoseconds, std::memory_order_release);
  gFollowsDevice.store(true, std::memory_order_release);
}

HV_MACH_API void HVMachUseRealTime(void) { gFollowsDevice.store(false, std::memory_order_release); }

HV_MACH_API bool HVMachFollowsDeviceTime(void) {
  return gFollowsDevice.load(std::memory_order_acquire);
}
