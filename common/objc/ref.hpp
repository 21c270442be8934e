// Ownership of Objective-C objects from C++.
//
// Cocoa's conventions, which every helper of this folder follows:
//   - a method whose name begins with alloc, new, copy or mutableCopy returns an object
//     the caller owns (+1) and must release;
//   - every other method returns an object the caller does not own (+0); it stays valid
//     until the innermost autorelease pool drains or its owner lets it go. Keep it with
//     Ref::retain() to hold it longer.
//   - a callee that stores an object retains it.
#pragma once

#include <utility>

#include "common/objc/runtime.hpp"

namespace objc {

id retain(id object) noexcept;       // nil stays nil
void release(id object) noexcept;    // nil is ignored
id autorelease(id object) noexcept;  // nil stays nil

// A strong reference: holds one retain count while it is not empty.
class Ref {
public:
  Ref() noexcept = default;
  // Takes over a +1 reference (the result of alloc/new/copy/mutableCopy).
  [[nodiscard]] static Ref adopt(id object) noexcept { return Ref(object); }
  // Retains a +0 reference.
  [[nodiscard]] static Ref retain(id object) noexcept { return Ref(objc::retain(object)); }

  Ref(const Ref& other) noexcept : object_(objc::retain(other.object_)) {}
  Ref(Ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  Ref& operator=(Ref other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }
  ~Ref() { objc::release(object_); }

  id get() const noexcept { return object_; }
  explicit operator bool() const noexcept { return object_ != nullptr; }
  // Gives up ownership; the caller now owns the +1 reference. An object kept for the life
  // of the process goes through keepForever() instead.
  [[nodiscard]] id leak() noexcept { return std::exchange(object_, nullptr); }
  void reset() noexcept { Ref().swap(*this); }
  void swap(Ref& other) noexcept { std::swap(object_, other.object_); }

  friend bool operator==(const Ref& a, const Ref& b) noexcept { return a.object_ == b.object_; }

private:
  explicit Ref(id object) noexcept : object_(object) {}
  id object_ = nullptr;
};

// An object kept for the life of the process (a constant made once, a process-wide
// helper): its reference is never released. Answers the object, valid from then on.
//   static id const nominal = objc::keepForever(objc::makeString("nominal"));
//   static id const bundle = objc::keepForever(objc::Ref::retain(found));  // was +0
inline id keepForever(Ref object) noexcept { return object.leak(); }

// An autorelease pool for the scope: objects autoreleased inside it are released when it
// ends. Every unit of work on a thread the runtime did not start needs one.
class AutoreleasePool {
public:
  AutoreleasePool() noexcept;
  ~AutoreleasePool();
  AutoreleasePool(const AutoreleasePool&) = delete;
  AutoreleasePool& operator=(const AutoreleasePool&) = delete;

private:
  void* token_;
};

}  // namespace objc
