#include "common/objc/runtime.hpp"

#include <cstring>

namespace objc {

Class ClassName::lookupClass(const char* name) noexcept { return cls(name); }

SEL sel(const char* name) noexcept { return sel_registerName(name); }

// objc_getClass answers nil for a missing class on both runtimes (it never aborts).
Class cls(const char* name) noexcept { return objc_getClass(name); }

Class classOf(id object) noexcept { return object ? object_getClass(object) : nullptr; }
Class superclassOf(Class c) noexcept { return c ? class_getSuperclass(c) : nullptr; }
Class metaclassOf(Class c) noexcept { return c ? object_getClass(asId(c)) : nullptr; }
const char* className(Class c) noexcept { return c ? class_getName(c) : "nil"; }
const char* selName(SEL s) noexcept { return s ? sel_getName(s) : ""; }

bool respondsTo(id object, SEL s) noexcept {
  return object && class_respondsToSelector(object_getClass(object), s);
}

bool isKindOf(id object, Class c) noexcept {
  if (!object || !c) return false;
  for (Class k = object_getClass(object); k; k = class_getSuperclass(k)) {
    if (k == c) return true;
  }
  return false;
}

namespace detail {

IMP lookupSuper(id receiver, Class implementing_class, SEL selector) noexcept {
  Class super_class = class_getSuperclass(implementing_class);
  if (!super_class) return nullptr;
#if defined(__APPLE__)
  return class_getMethodImplementation(super_class, selector);
#else
  objc_super sup{receiver, super_class};
  return objc_msg_lookup_super(&sup, selector);
#endif
}

}  // namespace detail
}  // namespace objc
