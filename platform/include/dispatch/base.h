#ifndef __DISPATCH_BASE__
#define __DISPATCH_BASE__

#ifndef __DISPATCH_INDIRECT__
#error "Please #include <dispatch/dispatch.h> instead of this file directly."
#endif

#ifdef __cplusplus
#define DISPATCH_DECL_BEGIN extern "C" {
#define DISPATCH_DECL_END }
#else
#define DISPATCH_DECL_BEGIN
#define DISPATCH_DECL_END
#endif

#define DISPATCH_EXPORT extern __attribute__((visibility("default")))
#define DISPATCH_NOTHROW __attribute__((__nothrow__))

typedef void (*dispatch_function_t)(void* _Nullable);

#endif /* __DISPATCH_BASE__ */
