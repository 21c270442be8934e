#include "common/objc/swizzle.hpp"

namespace objc {

IMP replace_instance_method(Class cls, SEL selector, IMP imp) noexcept {
  if (!cls || !selector || !imp) return nullptr;
  Method method = class_getInstanceMethod(cls, selector);
  if (!method) return nullptr;
  IMP previous = method_getImplementation(method);
  // class_addMethod succeeds only when cls does not implement the selector itself: the
  // method was inherited, and the superclass must keep its implementation.
  if (class_addMethod(cls, selector, imp, method_getTypeEncoding(method))) return previous;
  return method_setImplementation(method, imp);
}

IMP replace_class_method(Class cls, SEL selector, IMP imp) noexcept {
  return replace_instance_method(metaclass_of(cls), selector, imp);
}

bool add_instance_method(Class cls, SEL selector, IMP imp, const char* types) noexcept {
  return cls && class_addMethod(cls, selector, imp, types);
}

IMP instance_implementation(Class cls, SEL selector) noexcept {
  if (!cls) return nullptr;
  Method method = class_getInstanceMethod(cls, selector);
  return method ? method_getImplementation(method) : nullptr;
}

}  // namespace objc
