/*
 * Mach's clocks, the subset this system uses (the platform's <mach/mach_time.h>), from
 * libhvmach.so. The time base is one nanosecond per unit. mach_continuous_time is the
 * device's time since boot: the system's boot clock, unless the process follows a
 * simulated device's clock (<hvplatform/mach_testing.h>).
 */
#ifndef _MACH_MACH_TIME_H_
#define _MACH_MACH_TIME_H_

#include <stdint.h>

#include <mach/kern_return.h>

struct mach_timebase_info {
  uint32_t numer;
  uint32_t denom;
};
typedef struct mach_timebase_info* mach_timebase_info_t;
typedef struct mach_timebase_info mach_timebase_info_data_t;

#ifdef __cplusplus
extern "C" {
#endif

kern_return_t mach_timebase_info(mach_timebase_info_t info);
uint64_t mach_absolute_time(void);
uint64_t mach_continuous_time(void);

#ifdef __cplusplus
}
#endif

#endif /* _MACH_MACH_TIME_H_ */
