// The Objective-C runtime as product code sees it: ids, selectors and classes looked
// up by name and cached, Booleans, and typed message sends with nil answering zero.
//
// Everything that differs between Apple's runtime and GCC's (the Linux build) is
// decided in this folder; product code includes these headers and nothing of the
// runtime directly.
#pragma once

#include <objc/message.h>
#include <objc/objc.h>
#include <objc/runtime.h>

#include <atomic>
#include <cstdint>
#include <type_traits>

namespace objc {

// BOOL is bool on Apple's arm64 and unsigned char on GCC's runtime. Product code passes
// and receives C++ bool; the bridge converts at the edge.
inline constexpr BOOL toBool(bool value) noexcept { return value ? YES : NO; }
inline constexpr bool fromBool(BOOL value) noexcept { return value != NO; }

// A selector registered once, on first use, and cached. Declare them as constinit
// globals (extension/hooking/host.hpp declares the host's, typed, as objc::Message):
//   constinit objc::Selector kUpdateCPU{"updateCPU"};
class Selector {
public:
  constexpr explicit Selector(const char* name) noexcept : name_(name) {}
  Selector(const Selector&) = delete;
  Selector& operator=(const Selector&) = delete;

  SEL get() const noexcept {
    SEL cached = cached_.load(std::memory_order_acquire);
    if (cached) return cached;
    cached = sel_registerName(name_);
    cached_.store(cached, std::memory_order_release);
    return cached;
  }
  operator SEL() const noexcept { return get(); }
  const char* name() const noexcept { return name_; }

private:
  const char* name_;
  mutable std::atomic<SEL> cached_{nullptr};
};

// A class looked up by name. A class that exists is cached; a missing one is looked up
// again at the next use, because a library that defines it may be loaded later.
class ClassName {
public:
  constexpr explicit ClassName(const char* name) noexcept : name_(name) {}
  ClassName(const ClassName&) = delete;
  ClassName& operator=(const ClassName&) = delete;

  Class get() const noexcept {
    Class cached = cached_.load(std::memory_order_acquire);
    if (cached) return cached;
    cached = lookupClass(name_);
    if (cached) cached_.store(cached, std::memory_order_release);
    return cached;
  }
  operator Class() const noexcept { return get(); }
  const char* name() const noexcept { return name_; }

private:
  static Class lookupClass(const char* name) noexcept;
  const char* name_;
  mutable std::atomic<Class> cached_{nullptr};
};

// Uncached lookups, for names known only at run time.
SEL sel(const char* name) noexcept;
Class cls(const char* name) noexcept;  // nullptr when no such class is registered

Class classOf(id object) noexcept;  // nullptr for nil
Class superclassOf(Class c) noexcept;
Class metaclassOf(Class c) noexcept;  // the class whose instance methods are c's class methods
const char* className(Class c) noexcept;
const char* selName(SEL s) noexcept;
bool respondsTo(id object, SEL s) noexcept;  // nil responds to nothing
bool isKindOf(id object, Class c) noexcept;  // nil is of no kind
inline id asId(Class c) noexcept { return reinterpret_cast<id>(c); }

// ---------------------------------------------------------------------------------------
// Message sending.

namespace detail {

// The zero every result type gets from a message to nil. GCC's runtime leaves struct
// results from nil undefined, so the bridge never sends to nil.
template <class R>
inline R zero() noexcept {
  if constexpr (std::is_void_v<R>) {
    return;
  } else {
    return R{};
  }
}

IMP lookupSuper(id receiver, Class implementing_class, SEL selector) noexcept;

}  // namespace detail

// Calls an implementation directly, as the runtime would for a message to receiver.
template <class R, class... Args>
inline R call(IMP imp, id receiver, SEL selector, Args... args) {
  using Fn = R (*)(id, SEL, Args...);
  return reinterpret_cast<Fn>(imp)(receiver, selector, args...);
}

// [receiver selector:args...]; a nil receiver answers zero (or nothing) whatever R is.
template <class R = void, class... Args>
inline R send(id receiver, SEL selector, Args... args) {
  if (!receiver) return detail::zero<R>();
#if defined(__APPLE__)
  using Fn = R (*)(id, SEL, Args...);
  return reinterpret_cast<Fn>(&objc_msgSend)(receiver, selector, args...);
#else
  return call<R>(objc_msg_lookup(receiver, selector), receiver, selector, args...);
#endif
}

// A class method: [cls selector:args...].
template <class R = void, class... Args>
inline R send(Class receiver, SEL selector, Args... args) {
  return send<R>(asId(receiver), selector, args...);
}

// [super selector:args...] from a method implemented in implementing_class: the search
// starts at implementing_class's superclass (for a class method, pass the metaclass).
template <class R = void, class... Args>
inline R sendSuper(id receiver, Class implementing_class, SEL selector, Args... args) {
  if (!receiver) return detail::zero<R>();
  IMP imp = detail::lookupSuper(receiver, implementing_class, selector);
  if (!imp) return detail::zero<R>();
  return call<R>(imp, receiver, selector, args...);
}

// A Boolean result as C++ bool.
template <class... Args>
inline bool sendBool(id receiver, SEL selector, Args... args) {
  return fromBool(send<BOOL>(receiver, selector, args...));
}

}  // namespace objc
