#include "common/objc/runtime.hpp"

#include <cstring>

namespace objc {

Class ClassName::lookup_class(const char* name) noexcept { return cls(name); }

SEL sel(const char* name) noexcept { return sel_registerName(name); }

// objc_getClass answers nil for a missing class on both runtimes (it never aborts).
Class cls(const char* name) noexcept { return objc_getClass(name); }

Class class_of(id object) noexcept { return object ? object_getClass(object) : nullptr; }
Class superclass_of(Class c) noexcept { return c ? class_getSuperclass(c) : nullptr; }
Class metaclass_of(Class c) noexcept { return c ? object_getClass(as_id(c)) : nullptr; }
const char* class_name(Class c) noexcept { return c ? class_getName(c) : "nil"; }
const char* sel_name(SEL s) noexcept { return s ? sel_getName(s) : ""; }

bool responds_to(id object, SEL s) noexcept {
  return object && class_respondsToSelector(object_getClass(object), s);
}

bool is_kind_of(id object, Class c) noexcept {
  if (!object || !c) return false;
  for (Class k = object_getClass(object); k; k = class_getSuperclass(k)) {
    if (k == c) return true;
  }
  return false;
}

namespace detail {

IMP lookup_super(id receiver, Class implementing_class, SEL selector) noexcept {
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
