/*
 * Test hooks of the SystemConfiguration stand-in (exported by libhvSystemConfiguration.so
 * only; not part of the platform's API).
 */
#ifndef HVPLATFORM_SC_TESTING_H
#define HVPLATFORM_SC_TESTING_H

#include <SystemConfiguration/SystemConfiguration.h>

/* SCPreferencesApplyChanges posts this prefix followed by the session's prefsID (for
 * example "...applied:OSThermalStatus.plist") with notify_post, after raising the name's
 * notify state by one: the state counts the applies, so an observer that starts later can
 * still tell that (and how often) the store was applied. */
#define HVSC_APPLY_NOTIFICATION_PREFIX "com.apple.SystemConfiguration.prefs-applied:"

CF_EXTERN_C_BEGIN

/* The n-th commit from now (1 = the next one), in any session of this process, fails with
 * status; the store is left untouched. n <= 0 clears the injection. */
CF_EXPORT void HVSCTestFailCommit(int n, int status);
/* The next count calls of SCPreferencesCreate fail (return NULL) with status. */
CF_EXPORT void HVSCTestFailCreate(int count, int status);
/* Clears every injection. */
CF_EXPORT void HVSCTestReset(void);
/* Number of commits attempted in this process (failed ones included). */
CF_EXPORT int HVSCTestCommitCount(void);
/* The name and identifier a session was created with (identifier: NULL if none was
 * given); the store file's path. Strings are owned by the session. */
CF_EXPORT const char* HVSCTestSessionName(SCPreferencesRef prefs);
CF_EXPORT const char* HVSCTestSessionIdentifier(SCPreferencesRef prefs);
CF_EXPORT const char* HVSCTestSessionPath(SCPreferencesRef prefs);

CF_EXTERN_C_END

#endif /* HVPLATFORM_SC_TESTING_H */
