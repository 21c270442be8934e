#ifndef __DISPATCH_QUEUE__
#define __DISPATCH_QUEUE__

#ifndef __DISPATCH_INDIRECT__
#error "Please #include <dispatch/dispatch.h> instead of this file directly."
#endif

#include <stdint.h>
#include <sys/qos.h>

DISPATCH_DECL(dispatch_queue);
DISPATCH_DECL_SUBCLASS(dispatch_queue_global, dispatch_queue);

#define DISPATCH_QUEUE_PRIORITY_HIGH 2
#define DISPATCH_QUEUE_PRIORITY_DEFAULT 0
#define DISPATCH_QUEUE_PRIORITY_LOW (-2)
#define DISPATCH_QUEUE_PRIORITY_BACKGROUND INT16_MIN

DISPATCH_DECL_BEGIN

/* identifier: a QOS_CLASS_* value or a DISPATCH_QUEUE_PRIORITY_* value; flags must be 0.
 * NULL for anything else. */
DISPATCH_EXPORT DISPATCH_NOTHROW dispatch_queue_global_t
dispatch_get_global_queue(intptr_t identifier, uintptr_t flags);

DISPATCH_EXPORT DISPATCH_NOTHROW void
dispatch_async_f(dispatch_queue_t queue, void* _Nullable context, dispatch_function_t work);

DISPATCH_EXPORT DISPATCH_NOTHROW void dispatch_after_f(dispatch_time_t when, dispatch_queue_t queue,
                                                       void* _Nullable context,
                                                       dispatch_function_t work);

#ifdef __BLOCKS__
DISPATCH_EXPORT DISPATCH_NOTHROW void dispatch_async(dispatch_queue_t queue,
                                                     dispatch_block_t block);
DISPATCH_EXPORT DISPATCH_NOTHROW void dispatch_after(dispatch_time_t when, dispatch_queue_t queue,
                                                     dispatch_block_t block);
#endif

DISPATCH_DECL_END

#endif /* __DISPATCH_QUEUE__ */
