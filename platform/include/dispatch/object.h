#ifndef __DISPATCH_OBJECT__
#define __DISPATCH_OBJECT__

#ifndef __DISPATCH_INDIRECT__
#error "Please #include <dispatch/dispatch.h> instead of this file directly."
#endif

#if defined(__cplusplus)
/* Dispatch objects are not C++ objects; the types only keep C++ aware of compatibility. */
typedef struct dispatch_object_s {
private:
  dispatch_object_s();
  ~dispatch_object_s();
  dispatch_object_s(const dispatch_object_s&);
  void operator=(const dispatch_object_s&);
}* dispatch_object_t;
#define DISPATCH_DECL(name) typedef struct name##_s : public dispatch_object_s{} * name##_t
#define DISPATCH_DECL_SUBCLASS(name, base) typedef struct name##_s : public base##_s{} * name##_t
#else
typedef struct dispatch_object_s* dispatch_object_t;
#define DISPATCH_DECL(name) typedef struct name##_s* name##_t
#define DISPATCH_DECL_SUBCLASS(name, base) typedef base##_t name##_t
#endif

#ifdef __BLOCKS__
typedef void (^dispatch_block_t)(void);
#endif

#endif /* __DISPATCH_OBJECT__ */
