#ifndef __DISPATCH_ONCE__
#define __DISPATCH_ONCE__

#ifndef __DISPATCH_INDIRECT__
#error "Please #include <dispatch/dispatch.h> instead of this file directly."
#endif

#include <stdint.h>

/* A predicate for dispatch_once: static or global storage, initially 0. */
typedef intptr_t dispatch_once_t;

DISPATCH_DECL_BEGIN

DISPATCH_EXPORT DISPATCH_NOTHROW void
dispatch_once_f(dispatch_once_t* predicate, void* _Nullable context, dispatch_function_t function);

#ifdef __BLOCKS__
DISPATCH_EXPORT DISPATCH_NOTHROW void dispatch_once(dispatch_once_t* predicate,
                                                    dispatch_block_t block);
#endif

DISPATCH_DECL_END

#endif /* __DISPATCH_ONCE__ */
