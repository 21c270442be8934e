// Zeroing weak references and associated objects. Apple's runtime has both; GCC's has
// neither, so there they are kept in a side table that the object's deallocation clears.
//
// Threads: a WeakRef may be loaded and stored from any thread. On GCC's runtime, a load
// that races with the final release of its object on another thread is not safe (the
// object may already be inside dealloc); the front-ends that use these live on one
// thread, where the two cannot interleave.
#pragma once

#include "common/objc/ref.hpp"

namespace objc {

class WeakRef {
public:
  WeakRef() noexcept = default;
  explicit WeakRef(id object) noexcept { store(object); }
  ~WeakRef();
  WeakRef(const WeakRef&) = delete;
  WeakRef& operator=(const WeakRef&) = delete;

  void store(id object) noexcept;
  // A strong reference to the object, or an empty one once it has been deallocated.
  Ref load() const noexcept;

private:
  id slot_ = nullptr;  // registered with the runtime (or the side table) by address
};

// Associates value with object under key (retained; nil removes the association). The
// value is released when the object is deallocated.
void setAssociated(id object, const void* key, id value) noexcept;
id getAssociated(id object, const void* key) noexcept;  // +0, nil when none

}  // namespace objc
