#include "common/objc/swizzle.hpp"

namespace objc {
namespace {

// GCC's runtime runs +initialize when a class receives its first message and installs
// the class's dispatch table. Changing the methods of a metaclass before that installs
// the table without +initialize, which then never runs (a Foundation class loses the
// statics its +initialize sets up). Looking a message up first initialises the class
// exactly as its first message would. Apple's runtime has no such order.
void initialize_before_change(Class cls) noexcept {
#if !defined(__APPLE__)
  Class instance_side = class_isMetaClass(cls) ? objc_getClass(class_getName(cls)) : cls;
  if (instance_side) objc_msg_lookup(as_id(instance_side), sel_registerName("self"));
#else
  (void)cls;
#endif
}

}  // namespace

IMP replace_instance_method(Class cls, SEL selector, IMP imp) noexcept {
  if (!cls || !selector || !imp) return nullptr;
  initialize_before_change(cls);
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
  if (!cls) return false;
  initialize_before_change(cls);
  return class_addMethod(cls, selector, imp, types);
}

const char* instance_method_types(Class cls, SEL selector) noexcept {
  if (!cls) return nullptr;
  Method method = class_getInstanceMethod(cls, selector);
  return method ? method_getTypeEncoding(method) : nullptr;
}

IMP instance_implementation(Class cls, SEL selector) noexcept {
  if (!cls) return nullptr;
  Method method = class_getInstanceMethod(cls, selector);
  return method ? method_getImplementation(method) : nullptr;
}

}  // namespace objc
