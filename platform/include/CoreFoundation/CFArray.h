#ifndef __COREFOUNDATION_CFARRAY__
#define __COREFOUNDATION_CFARRAY__ 1

#include <CoreFoundation/CFBase.h>

typedef const struct __CFArray* CFArrayRef;
typedef struct __CFArray* CFMutableArrayRef;

#endif /* __COREFOUNDATION_CFARRAY__ */
