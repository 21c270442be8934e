// Method replacement: install a new implementation and keep the one it replaces, so the
// replacement can call it with the same receiver and chosen arguments.
#pragma once

#include "common/objc/runtime.hpp"

namespace objc {

// Replaces cls's instance method selector with imp and returns the implementation the
// class answered with until now. A method the class only inherits is added to cls (the
// superclass keeps its own) and the inherited implementation is returned. nullptr, and
// nothing installed, when cls is nil or no class in its hierarchy implements selector.
IMP replaceInstanceMethod(Class cls, SEL selector, IMP imp) noexcept;

// The same for a class method (cls's metaclass).
IMP replaceClassMethod(Class cls, SEL selector, IMP imp) noexcept;

// Adds an instance method to cls when cls has none of its own; false if it already had one.
bool addInstanceMethod(Class cls, SEL selector, IMP imp, const char* types) noexcept;

// The type encoding of the instance method cls answers selector with (its own or
// inherited), nullptr if none.
const char* instanceMethodTypes(Class cls, SEL selector) noexcept;

// The implementation cls answers selector with (its own or inherited), nullptr if none.
IMP instanceImplementation(Class cls, SEL selector) noexcept;

}  // namespace objc
