/*
 * libdispatch, the subset this system uses: the global concurrent queues, deadlines,
 * asynchronous and delayed work, once-only initialisation. Names, signatures and
 * constants are the platform's. On Linux the work runs on a small pool of threads of the
 * stand-in, each attached to the Foundation, each item inside its own autorelease pool.
 */
#ifndef __DISPATCH_PUBLIC__
#define __DISPATCH_PUBLIC__

#include <stddef.h>
#include <stdint.h>

#ifndef _Nullable
#if !defined(__clang__)
#define _Nullable
#endif
#endif

#define __DISPATCH_INDIRECT__
/* In the order they build on each other (queue.h needs time.h's dispatch_time_t). */
/* clang-format off */
#include <dispatch/base.h>
#include <dispatch/object.h>
#include <dispatch/time.h>
#include <dispatch/queue.h>
#include <dispatch/once.h>
/* clang-format on */
#undef __DISPATCH_INDIRECT__

#endif /* __DISPATCH_PUBLIC__ */
