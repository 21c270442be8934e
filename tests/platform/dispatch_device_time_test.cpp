// The dispatch stand-in on a simulated device's time: delayed work falls due as the device's
// clock moves on, and runs when the process asks for what is due (a program of its own: a
// process follows the device's time for good).
#include <dispatch/dispatch.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "hvplatform/dispatch_testing.h"
#include "hvplatform/mach_testing.h"

namespace {

constexpr std::uint64_t kSecond = 1'000'000'000;

std::mutex gMutex;
std::vector<int> gRan;

void record(void* context) {
  std::lock_guard lock(gMutex);
  gRan.push_back(static_cast<int>(reinterpret_cast<std::intptr_t>(context)));
}

// Runs and schedules a follow-up due at once, which the same HVDispatchRunDue runs too.
void recordAndFollow(void* context) {
  record(context);
  dispatch_after_f(dispatch_time(DISPATCH_TIME_NOW, 0),
                   dispatch_get_global_queue(QOS_CLASS_DEFAULT, 0),
                   reinterpret_cast<void*>(std::intptr_t{99}), &record);
}

std::vector<int> ran() {
  std::lock_guard lock(gMutex);
  return gRan;
}

void after(double seconds, int tag, dispatch_function_t work = &record) {
  dispatch_after_f(dispatch_time(DISPATCH_TIME_NOW, static_cast<std::int64_t>(seconds * kSecond)),
                   dispatch_get_global_queue(QOS_CLASS_DEFAULT, 0),
                   reinterpret_cast<void*>(std::intptr_t{tag}), work);
}

TEST(DispatchOnDeviceTime, DelayedWorkRunsOnlyWhenTheDevicesClockReachesItsDeadline) {
  HVMachSetDeviceTime(100 * kSecond);
  HVDispatchFollowDeviceTime();
  EXPECT_EQ(dispatch_time(DISPATCH_TIME_NOW, 5), 100 * kSecond + 5);

  after(10, 3);
  after(0.25, 1);
  after(1, 2, &recordAndFollow);
  HVDispatchRunDue();
  EXPECT_TRUE(ran().empty()) << "nothing is due at the device's time now";
  ::usleep(300'000);
  HVDispatchRunDue();
  EXPECT_TRUE(ran().empty()) << "the wall's time does not count";

  HVMachSetDeviceTime(101 * kSecond);
  HVDispatchRunDue();
  EXPECT_EQ(ran(), (std::vector<int>{1, 2, 99})) << "due by 101 s, and what they scheduled";

  HVMachSetDeviceTime(200 * kSecond);
  HVDispatchRunDue();
  EXPECT_EQ(ran(), (std::vector<int>{1, 2, 99, 3}));

  // Asynchronous work runs at once and counts as due.
  dispatch_async_f(dispatch_get_global_queue(QOS_CLASS_DEFAULT, 0),
                   reinterpret_cast<void*>(std::intptr_t{7}), &record);
  HVDispatchRunDue();
  EXPECT_EQ(ran().back(), 7);
}

}  // namespace
