/*
 * The simulated device's clock (exported by libhvmach.so only; not part of the platform's
 * API). The simulated thermalmonitord runs the device's thermal model, which is the
 * device's physical world: its time is the device's time. Once a process has set it,
 * mach_continuous_time answers it (and mach_absolute_time keeps answering the process's
 * real monotonic clock), and libdispatch's timers may follow it
 * (<hvplatform/dispatch_testing.h>).
 */
#ifndef HVPLATFORM_MACH_TESTING_H
#define HVPLATFORM_MACH_TESTING_H

#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* From now on mach_continuous_time answers nanoseconds (the device's time since boot). */
void HVMachSetDeviceTime(uint64_t nanoseconds);
/* Back to the system's boot clock. */
void HVMachUseRealTime(void);
/* Whether the process follows a device time set with HVMachSetDeviceTime. */
bool HVMachFollowsDeviceTime(void);

#ifdef __cplusplus
}
#endif

#endif /* HVPLATFORM_MACH_TESTING_H */
