#include "common/objc/ref.hpp"

#if defined(__APPLE__)
extern "C" {
id objc_retain(id);
void objc_release(id);
id objc_autorelease(id);
void* objc_autoreleasePoolPush(void);
void objc_autoreleasePoolPop(void*);
}
#endif

namespace objc {
#if !defined(__APPLE__)
namespace {
constinit Selector kRetain{"retain"};
constinit Selector kRelease{"release"};
constinit Selector kAutorelease{"autorelease"};
constinit ClassName kNSAutoreleasePool{"NSAutoreleasePool"};
constinit Selector kNew{"new"};
}  // namespace
#endif

#if defined(__APPLE__)
id retain(id object) noexcept { return objc_retain(object); }
void release(id object) noexcept { objc_release(object); }
id autorelease(id object) noexcept { return objc_autorelease(object); }
AutoreleasePool::AutoreleasePool() noexcept : token_(objc_autoreleasePoolPush()) {}
AutoreleasePool::~AutoreleasePool() { objc_autoreleasePoolPop(token_); }
#else
id retain(id object) noexcept { return send<id>(object, kRetain); }
void release(id object) noexcept { send(object, kRelease); }
id autorelease(id object) noexcept { return send<id>(object, kAutorelease); }
// GNUstep's pools are objects; releasing the innermost one drains it.
AutoreleasePool::AutoreleasePool() noexcept : token_(send<id>(kNSAutoreleasePool.get(), kNew)) {}
AutoreleasePool::~AutoreleasePool() { send(static_cast<id>(token_), kRelease); }
#endif

}  // namespace objc
