#include "common/objc/thread.hpp"

#if !defined(__APPLE__)
extern "C" {
BOOL GSRegisterCurrentThread(void);
void GSUnregisterCurrentThread(void);
}
#endif

namespace objc {

#if defined(__APPLE__)
ThreadAttachment::ThreadAttachment() noexcept : registered_here_(false) {}
ThreadAttachment::~ThreadAttachment() = default;
void attachCurrentThread() noexcept {}
#else
namespace {
thread_local bool attached_for_life = false;
}
ThreadAttachment::ThreadAttachment() noexcept
    : registered_here_(!attached_for_life && fromBool(GSRegisterCurrentThread())) {}
ThreadAttachment::~ThreadAttachment() {
  if (registered_here_) GSUnregisterCurrentThread();
}
void attachCurrentThread() noexcept {
  if (attached_for_life) return;
  GSRegisterCurrentThread();  // NO when the thread was already known: fine either way
  attached_for_life = true;
}
#endif

}  // namespace objc
