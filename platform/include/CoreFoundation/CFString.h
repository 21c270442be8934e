#ifndef __COREFOUNDATION_CFSTRING__
#define __COREFOUNDATION_CFSTRING__ 1

#include <CoreFoundation/CFBase.h>

typedef UInt32 CFStringEncoding;

#define kCFStringEncodingASCII ((CFStringEncoding)0x0600)
#define kCFStringEncodingUTF8 ((CFStringEncoding)0x08000100)

CF_EXTERN_C_BEGIN

/* An immortal string for a literal, the same object for the same text. */
CF_EXPORT CFStringRef __CFStringMakeConstantString(const char* cStr);
#define CFSTR(cStr) __CFStringMakeConstantString("" cStr "")

CF_EXPORT CFTypeID CFStringGetTypeID(void);
CF_EXPORT CFStringRef CFStringCreateWithCString(CFAllocatorRef alloc, const char* cStr,
                                                CFStringEncoding encoding);
CF_EXPORT CFIndex CFStringGetLength(CFStringRef theString);
CF_EXPORT Boolean CFStringGetCString(CFStringRef theString, char* buffer, CFIndex bufferSize,
                                     CFStringEncoding encoding);

CF_EXTERN_C_END

#endif /* __COREFOUNDATION_CFSTRING__ */
