/* The OS thermal status functions of the halvernic library: the platform's persistent
 * thermal-status store ("OSThermalStatus.plist" through SystemConfiguration), the system
 * thermal-pressure level, and the runtime-state word read back.
 *
 * Plain C functions, exported from the library. Every flag and persistent argument is read
 * as a Boolean (zero false, anything else true). Every function returns a status:
 *   0        success
 *   1001     a SystemConfiguration function is missing or no preferences handle was made
 *   other >0 the SCError() code of a failed commit (store functions), or the notify status
 *            of a failed notify call
 *   -1       halvernicSetDarwinThermalPressure: notify registration failed
 *   1        halvernicGetRuntimeState: the word does not carry the magic
 * Functions that change two things do both, each through its own preferences handle, and
 * return the first failure. They keep no state and may be called on any thread. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#pragma GCC visibility push(default)

/* Reads the runtime-state word: bits 15-8 into *first, 7-0 into *second (a null pointer is
 * skipped; nothing is stored unless the result is 0). */
int32_t halvernicGetRuntimeState(int32_t* first, int32_t* second);

/* Publishes the system thermal-pressure level: 1-5 become 10, 20, 30, 40, 50 (light to
 * sleeping); 0 and everything else (as unsigned) become 0, nominal. */
int32_t halvernicSetDarwinThermalPressure(int32_t level);

/* OSThermalNotificationEnabled / OSThermalNotificationPersistentlyEnabled */
int32_t halvernicSetOSNotifEnabled(int32_t flag, int32_t persistent);
int32_t halvernicSetOSNotifNative(void);
int32_t halvernicResetOSNotifEnabled(void);

/* engageBehavior / engageBehaviorPersistentlyEnabled */
int32_t halvernicSetThermalMitigationsEnabled(int32_t flag, int32_t persistent);
int32_t halvernicSetThermalMitigationsNative(void);
int32_t halvernicResetThermalMitigations(void);

/* hipOverride / hipPersistentlyEnabled, and simulateHip */
int32_t halvernicSetHIPEnabled(int32_t flag, int32_t persistent);
int32_t halvernicSetHIPNative(void);
int32_t halvernicSetSimulateHIPEnabled(int32_t flag);
int32_t halvernicResetHIP(void);
int32_t halvernicResetSimulateHIP(void);

/* sunlightOverride / sunlightOverridePersistentlyEnabled; native is both keys absent */
int32_t halvernicSetSunlightOverride(int32_t flag, int32_t persistent);
int32_t halvernicResetSunlightOverride(void);

#pragma GCC visibility pop

#ifdef __cplusplus
}
#endif
