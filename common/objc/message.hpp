// A message with its types, declared once: Message<R(Args...)> is sent with Args and
// answers R, so no call site decides the types by the literals it happens to pass (a
// 0.25 sent where the receiver reads a float, an integer where it reads a CGFloat).
//
//   inline constinit objc::Message<void(float)> setShadowOpacity{"setShadowOpacity:"};
//   setShadowOpacity.send(layer, 0.25f);
//   id button = buttonWithType.send(objc::cls("UIButton"), 1);   // a class method
//
// A nil receiver answers zero (or nil, or NO), as everywhere in the bridge.
//
// The same declaration is what a class made with objc::ClassBuilder registers its method
// from (class_builder.hpp): `.method(setShadowOpacity, &set_shadow_opacity)` takes the
// selector and the types from it and does not compile unless the function has them.
//
// Declarations are enumerable: a header that declares the messages of a framework also
// lists them as MessageInfo entries ({class, message}), and a test checks that each is
// implemented by its class with these types() (see common/ui/declarations.hpp).
#pragma once

#include <string>

#include "common/objc/encoding.hpp"
#include "common/objc/runtime.hpp"

namespace objc {

template <class Signature>
class Message;

template <class R, class... Args>
class Message<R(Args...)> : public Selector {
public:
  using Signature = R(Args...);
  using Result = R;

  constexpr explicit Message(const char* name) noexcept : Selector(name) {}

  // [receiver message:args...]
  R send(id receiver, Args... args) const { return objc::send<R>(receiver, get(), args...); }
  // [ClassName message:args...] (a class method)
  R send(Class receiver, Args... args) const {
    return objc::send<R>(asId(receiver), get(), args...);
  }
  // [super message:args...] from a method of implementing_class.
  R sendSuper(id receiver, Class implementing_class, Args... args) const {
    return objc::sendSuper<R>(receiver, implementing_class, get(), args...);
  }
  // Calls one implementation of this message directly (a saved implementation); a null
  // implementation or a nil receiver answers zero.
  R call(IMP imp, id receiver, Args... args) const {
    if (!imp || !receiver) return detail::zero<R>();
    return objc::call<R>(imp, receiver, get(), args...);
  }

  // Apple's method type string of this message ("v@:f" for void(float)).
  static std::string types() { return methodTypes<R, Args...>(); }
};

// One entry of a declaration list: the class that declares the message, the message,
// its types, and whether it is a class method.
struct MessageInfo {
  const char* class_name;
  const Selector* selector;
  std::string (*types)();
  bool class_method = false;
};

// List entries: objc::instanceMessage<ui::UIView::setFrame>("UIView").
template <auto& M>
constexpr MessageInfo instanceMessage(const char* class_name) {
  return {class_name, &M, &std::remove_cvref_t<decltype(M)>::types, false};
}
template <auto& M>
constexpr MessageInfo classMessage(const char* class_name) {
  return {class_name, &M, &std::remove_cvref_t<decltype(M)>::types, true};
}

}  // namespace objc
