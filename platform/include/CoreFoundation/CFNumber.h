#ifndef __COREFOUNDATION_CFNUMBER__
#define __COREFOUNDATION_CFNUMBER__ 1

#include <CoreFoundation/CFBase.h>

typedef const struct __CFBoolean *CFBooleanRef;
typedef const struct __CFNumber *CFNumberRef;

CF_EXTERN_C_BEGIN

/* The Foundation's Boolean singletons (what NSNumber numberWithBool: gives). */
CF_EXPORT const CFBooleanRef kCFBooleanTrue;
CF_EXPORT const CFBooleanRef kCFBooleanFalse;

CF_EXPORT Boolean CFBooleanGetValue(CFBooleanRef boolean);

CF_EXTERN_C_END

#endif /* __COREFOUNDATION_CFNUMBER__ */
