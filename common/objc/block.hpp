// Blocks kept as C++ values.
//
// On GCC's runtime a block is not an object: sending it a message or storing it where
// an id goes (a collection, an ivar released by the runtime) crashes. A block that must
// outlive the call that received it (an animation, a completion, a colour provider, a
// menu item's handler) is kept in a Block<Signature>, which copies it to the heap with
// Block_copy and releases it with Block_release, on both platforms.
//
// In C++ (no ARC, on either platform) a block does not retain the ids it captures: a
// block that outlives its caller captures objc::Ref values, never bare ids.
//
//   objc::Block<void(bool)> completion{^(BOOL finished) { ... }};   // copied
//   if (completion) completion(true);
#pragma once

#include <Block.h>

#include <utility>

namespace objc {

template <class Signature>
class Block;

template <class R, class... Args>
class Block<R(Args...)> {
public:
  using Pointer = R (^)(Args...);

  Block() noexcept = default;
  // Copies the block (a stack block moves to the heap; a heap block gains a reference).
  explicit Block(Pointer block) noexcept {
    if (block) block_ = Block_copy(block);
  }
  Block(const Block& other) noexcept : Block(other.block_) {}
  Block(Block&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
  Block& operator=(Block other) noexcept {
    std::swap(block_, other.block_);
    return *this;
  }
  ~Block() {
    if (block_) Block_release(block_);
  }

  explicit operator bool() const noexcept { return block_ != nullptr; }
  Pointer get() const noexcept { return block_; }
  R operator()(Args... args) const { return block_(args...); }

private:
  Pointer block_ = nullptr;
};

}  // namespace objc
