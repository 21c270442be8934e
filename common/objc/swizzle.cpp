#include "common/objc/swizzle.hpp"

namespace objc {
namespace {

// GCC's runtime runs +initialize when a class receives its first message and installs
// the class's dispatch table. Changing the methods of a metaclass before that installs
// the table without +initialize, which then never runs (a Foundation class loses the
// statics its +initialize sets up). Looking a message up first initialises the class
// exactly as its first message would. Apple's runtime has no such order.
void initializeBeforeChange(Class cls) noexcept {
#if !defined(__APPLE__)
  Class instance_side = class_isMetaClass(cls) ? objc_getClass(class_getName(cls)) : cls;
  if (instance_side) objc_msg_lookup(asId(instance_side), sel_registerName("self"));
#else
  (void)cls;
#endif
}

}  // namespace

IMP replaceInstanceMethod(Class cls, SEL selector, IMP imp) noexcept {
  if (!cls || !selector || !imp) return nullptr;
  initializeBeforeChange(cls);
  Method method = class_getInstanceMethod(cls, selector);
  if (!method) return nullptr;
  IMP previous = method_getImplementation(method);
  // class_addMethod succeeds only when cls does not implement the selector itself: the
  // method was inherited, and the superclass must keep its implementation.
  if (class_addMethod(cls, selector, imp, method_getTypeEncoding(method))) return previous;
  return method_setImplementation(method, imp);
}

IMP replaceClassMethod(Class cls, SEL selector, IMP imp) noexcept {
  return replaceInstanceMethod(metaclassOf(cls), selector, imp);
}

bool addInstanceMethod(Class cls, SEL selector, IMP imp, const char* types) noexcept {
  if (!cls) return false;
  initializeBeforeChange(cls);
  return class_addMethod(cls, selector, imp, types);
}

const char* instanceMethodTypes(Class cls, SEL selector) noexcept {
  if (!cls) return nullptr;
  Method method = class_getInstanceMethod(cls, selector);
  return method ? method_getTypeEncoding(method) : nullptr;
}

IMP instanceImplementation(Class cls, SEL selector) noexcept {
  if (!cls) return nullptr;
  Method method = class_getInstanceMethod(cls, selector);
  return method ? method_getImplementation(method) : nullptr;
}

}  // namespace objc
