/* SystemConfiguration, the subset this system uses: status codes, SCError, preferences. */
#ifndef _SYSTEMCONFIGURATION_H
#define _SYSTEMCONFIGURATION_H

#include <CoreFoundation/CoreFoundation.h>

enum {
  kSCStatusOK = 0,
  kSCStatusFailed = 1001,
  kSCStatusInvalidArgument = 1002,
  kSCStatusAccessError = 1003,
  kSCStatusNoKey = 1004,
  kSCStatusKeyExists = 1005,
  kSCStatusLocked = 1006,
  kSCStatusNeedLock = 1007,
  kSCStatusNoStoreSession = 2001,
  kSCStatusNoStoreServer = 2002,
  kSCStatusNotifierActive = 2003,
  kSCStatusNoPrefsSession = 3001,
  kSCStatusPrefsBusy = 3002,
  kSCStatusNoConfigFile = 3003,
  kSCStatusNoLink = 3004,
  kSCStatusStale = 3005,
  kSCStatusMaxLink = 3006,
  kSCStatusReachabilityUnknown = 4001,
  kSCStatusConnectionNoService = 5001,
  kSCStatusConnectionIgnore = 5002,
};

CF_EXTERN_C_BEGIN

/* The status of the calling thread's most recent failed SystemConfiguration call. */
CF_EXPORT int SCError(void);
CF_EXPORT const char* SCErrorString(int status);

CF_EXTERN_C_END

#include <SystemConfiguration/SCPreferences.h>

#endif /* _SYSTEMCONFIGURATION_H */
