#ifndef __COREFOUNDATION_CFDATA__
#define __COREFOUNDATION_CFDATA__ 1

#include <CoreFoundation/CFBase.h>

typedef const struct __CFData* CFDataRef;
typedef struct __CFData* CFMutableDataRef;

#endif /* __COREFOUNDATION_CFDATA__ */
