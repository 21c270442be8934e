// Threads the Foundation did not start. GNUstep needs every such thread registered
// before it touches Foundation; Apple's needs nothing. Each unit of work on such a
// thread runs inside an autorelease pool.
#pragma once

#include <utility>

#include "common/objc/ref.hpp"

namespace objc {

// Registers the current thread with the Foundation for the scope (if it was not already
// registered) and unregisters it at the end if this attachment registered it.
class ThreadAttachment {
public:
  ThreadAttachment() noexcept;
  ~ThreadAttachment();
  ThreadAttachment(const ThreadAttachment&) = delete;
  ThreadAttachment& operator=(const ThreadAttachment&) = delete;

private:
  [[maybe_unused]] bool registered_here_;  // always false on Apple
};

// Registers the current thread for the rest of its life (idempotent; a no-op on Apple).
void attachCurrentThread() noexcept;

// Runs fn() as one unit of work: attached, inside its own autorelease pool.
template <class Fn>
decltype(auto) runAttached(Fn&& fn) {
  attachCurrentThread();
  AutoreleasePool pool;
  return std::forward<Fn>(fn)();
}

}  // namespace objc
