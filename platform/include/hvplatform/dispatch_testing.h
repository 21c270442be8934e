/*
 * The dispatch stand-in on a simulated device's time (exported by libhvdispatch.so only;
 * not part of the platform's API). The simulated thermalmonitord runs a trace of its
 * thermal model back to back, one simulated second per step: its delayed work (the
 * extension's re-applications, its restart) must fall due on the steps' time, not on the
 * wall's.
 */
#ifndef HVPLATFORM_DISPATCH_TESTING_H
#define HVPLATFORM_DISPATCH_TESTING_H

#ifdef __cplusplus
extern "C" {
#endif

/* From now on deadlines (dispatch_time's "now" and the timers) are measured on
 * mach_continuous_time, the device's time (<hvplatform/mach_testing.h>), and a delayed item
 * runs only within HVDispatchRunDue. Call it before anything is scheduled, once. */
void HVDispatchFollowDeviceTime(void);
/* Runs every item due by the device's time now (and what those schedule due by then) and
 * returns when none is left to run or running. */
void HVDispatchRunDue(void);

#ifdef __cplusplus
}
#endif

#endif /* HVPLATFORM_DISPATCH_TESTING_H */
