/*
 * The Darwin notify center: notifications that carry only a name, across processes, on
 * the same service as notify(3) (a notify_post reaches these observers; a post here is a
 * notify_post). Object and user info are not carried. Callbacks run on a delivery thread
 * of the stand-in, attached to the Foundation, each inside its own autorelease pool.
 */
#ifndef __COREFOUNDATION_CFNOTIFICATIONCENTER__
#define __COREFOUNDATION_CFNOTIFICATIONCENTER__ 1

#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFDictionary.h>

typedef CFStringRef CFNotificationName;

typedef struct __CFNotificationCenter* CFNotificationCenterRef;

typedef void (*CFNotificationCallback)(CFNotificationCenterRef center, void* observer,
                                       CFNotificationName name, const void* object,
                                       CFDictionaryRef userInfo);

typedef CF_ENUM(CFIndex, CFNotificationSuspensionBehavior) {
  CFNotificationSuspensionBehaviorDrop = 1,
  CFNotificationSuspensionBehaviorCoalesce = 2,
  CFNotificationSuspensionBehaviorHold = 3,
  CFNotificationSuspensionBehaviorDeliverImmediately = 4,
};

enum {
  kCFNotificationDeliverImmediately = (1UL << 0),
  kCFNotificationPostToAllSessions = (1UL << 1),
};

CF_EXTERN_C_BEGIN

CF_EXPORT CFNotificationCenterRef CFNotificationCenterGetDarwinNotifyCenter(void);

CF_EXPORT void CFNotificationCenterAddObserver(CFNotificationCenterRef center, const void* observer,
                                               CFNotificationCallback callBack, CFStringRef name,
                                               const void* object,
                                               CFNotificationSuspensionBehavior suspensionBehavior);
CF_EXPORT void CFNotificationCenterRemoveObserver(CFNotificationCenterRef center,
                                                  const void* observer, CFNotificationName name,
                                                  const void* object);
CF_EXPORT void CFNotificationCenterRemoveEveryObserver(CFNotificationCenterRef center,
                                                       const void* observer);
CF_EXPORT void CFNotificationCenterPostNotification(CFNotificationCenterRef center,
                                                    CFNotificationName name, const void* object,
                                                    CFDictionaryRef userInfo,
                                                    Boolean deliverImmediately);
CF_EXPORT void CFNotificationCenterPostNotificationWithOptions(CFNotificationCenterRef center,
                                                               CFNotificationName name,
                                                               const void* object,
                                                               CFDictionaryRef userInfo,
                                                               CFOptionFlags options);

CF_EXTERN_C_END

#endif /* __COREFOUNDATION_CFNOTIFICATIONCENTER__ */
