// The boundary where an Objective-C exception (an NSException) must stop: Foundation
// raises where C++ code expects a result (a corrupt property list, a bad argument).
#pragma once

#include <string>
#include <type_traits>
#include <utility>

namespace objc {
namespace detail {
// Runs body(context) inside @try; true when it returned normally, false when an
// NSException was raised (its reason stored when reason is not null). Any other
// exception, C++ or Objective-C, passes through unchanged.
bool runCatchingNsexception(void (*body)(void*), void* context, std::string* reason);
}  // namespace detail

// Runs fn(); answers false (and the exception's reason) if it raised an NSException.
//
// Do not open an AutoreleasePool inside fn around code that may raise: on GNUstep the
// exception object is autoreleased, and a pool drained while the exception unwinds through
// it frees the exception before it reaches the boundary. Put the pool outside the call.
template <class Fn>
bool catchException(Fn&& fn, std::string* reason = nullptr) {
  using F = std::remove_reference_t<Fn>;
  return detail::runCatchingNsexception([](void* context) { (*static_cast<F*>(context))(); },
                                        const_cast<void*>(static_cast<const void*>(&fn)), reason);
}

// Raises an NSException with the given name and reason (for tests and simulated hosts).
[[noreturn]] void raiseException(const char* name, const char* reason);

}  // namespace objc
