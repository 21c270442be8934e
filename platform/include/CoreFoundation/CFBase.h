/*
 * CoreFoundation, the subset this system uses. As on the platform, a CF reference is the
 * Foundation object itself: a CFStringRef is an NSString, a CFDictionaryRef an
 * NSDictionary, CFRetain/CFRelease are retain/release.
 */
#ifndef __COREFOUNDATION_CFBASE__
#define __COREFOUNDATION_CFBASE__ 1

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define CF_EXTERN_C_BEGIN extern "C" {
#define CF_EXTERN_C_END }
#else
#define CF_EXTERN_C_BEGIN
#define CF_EXTERN_C_END
#endif

#define CF_EXPORT extern __attribute__((visibility("default")))

#if !defined(CF_ENUM)
#define CF_ENUM(_type, _name) \
  _type _name;                \
  enum : _type
#define CF_OPTIONS(_type, _name) \
  _type _name;                   \
  enum : _type
#endif

typedef unsigned char Boolean;
typedef unsigned char UInt8;
typedef signed char SInt8;
typedef unsigned short UInt16;
typedef signed short SInt16;
typedef unsigned int UInt32;
typedef signed int SInt32;
typedef uint64_t UInt64;
typedef int64_t SInt64;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

typedef unsigned long CFTypeID;
typedef unsigned long CFOptionFlags;
typedef unsigned long CFHashCode;
typedef signed long CFIndex;

typedef const void* CFTypeRef;
typedef const struct __CFString* CFStringRef;
typedef struct __CFString* CFMutableStringRef;
typedef CFTypeRef CFPropertyListRef;
typedef const struct __CFAllocator* CFAllocatorRef;

CF_EXTERN_C_BEGIN

/* NULL: the default allocator (the only one there is here). */
CF_EXPORT const CFAllocatorRef kCFAllocatorDefault;

CF_EXPORT CFTypeRef CFRetain(CFTypeRef cf);
CF_EXPORT void CFRelease(CFTypeRef cf);
CF_EXPORT CFTypeRef CFAutorelease(CFTypeRef arg);
CF_EXPORT Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2);
CF_EXPORT CFIndex CFGetRetainCount(CFTypeRef cf);
/* The type of cf: CFNumberGetTypeID, CFBooleanGetTypeID or CFStringGetTypeID for those
 * kinds, one other identifier for any other object. */
CF_EXPORT CFTypeID CFGetTypeID(CFTypeRef cf);

CF_EXTERN_C_END

#endif /* __COREFOUNDATION_CFBASE__ */
