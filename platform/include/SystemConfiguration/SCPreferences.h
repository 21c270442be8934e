/*
 * SystemConfiguration preferences, the subset this system uses. A preferences session
 * reads the store at its creation; set and remove change the session's copy; commit
 * writes the session's changes into the store (atomically, on top of what the store holds
 * at that moment, so keys the session did not change are kept); apply announces the
 * committed store. The session is an Objective-C object (CFRelease releases it).
 *
 * Store: <device root>/Library/Preferences/SystemConfiguration/<prefsID> for a relative
 * prefsID ("preferences.plist" when prefsID is NULL), <device root>/<prefsID> for an
 * absolute one. The device root is $HALVERNIC_DEVICE_ROOT; without it no session can be
 * created (SCError() then answers kSCStatusNoConfigFile).
 */
#ifndef _SCPREFERENCES_H
#define _SCPREFERENCES_H

#include <CoreFoundation/CoreFoundation.h>

typedef const struct __SCPreferences* SCPreferencesRef;

CF_EXTERN_C_BEGIN

CF_EXPORT SCPreferencesRef SCPreferencesCreate(CFAllocatorRef allocator, CFStringRef name,
                                               CFStringRef prefsID);
CF_EXPORT Boolean SCPreferencesCommitChanges(SCPreferencesRef prefs);
CF_EXPORT Boolean SCPreferencesApplyChanges(SCPreferencesRef prefs);
CF_EXPORT CFArrayRef SCPreferencesCopyKeyList(SCPreferencesRef prefs);
CF_EXPORT CFPropertyListRef SCPreferencesGetValue(SCPreferencesRef prefs, CFStringRef key);
CF_EXPORT Boolean SCPreferencesSetValue(SCPreferencesRef prefs, CFStringRef key,
                                        CFPropertyListRef value);
CF_EXPORT Boolean SCPreferencesRemoveValue(SCPreferencesRef prefs, CFStringRef key);

CF_EXTERN_C_END

#endif /* _SCPREFERENCES_H */
