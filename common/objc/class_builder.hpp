// Defines Objective-C classes from C++: the classes the platform instantiates by name
// (front-end controllers, modules), the simulated daemon's classes and the platform
// stand-ins.
//
// A method is registered from its typed declaration (an objc::Message, declared once with
// the types of Apple's headers: common/ui, extension/hooking/host.hpp, or the class's own
// header for a message only it has). The selector and the type encoding come from the
// declaration, and the C++ function must have exactly the declared types, `id self, SEL
// _cmd` first, or the registration does not compile: a misspelt selector cannot add a new
// method beside the one it meant to override, and a function reading a double where the
// message carries a float is a compile error, not a wrong value.
//
//   inline constinit objc::Message<int()> level{"level"};
//   inline constinit objc::Message<void(int)> setLevel{"setLevel:"};
//   inline constinit objc::Message<id()> shared{"shared"};
//
//   objc::ClassBuilder("ThermalThing", "NSObject")
//       .method(level, &level_imp)            // int level_imp(id self, SEL _cmd)
//       .method(setLevel, &set_level_imp)     // void set_level_imp(id, SEL, int)
//       .class_method(shared, &shared_imp)    // id shared_imp(id cls, SEL)
//       .storage<ThingState>()                // a ThingState per instance
//       .ivar("_titleLabel")                  // an object ivar, found by key-value coding
//       .protocol("UITableViewDataSource")    // adopt a protocol registered by the runtime
//       .build();
//
//   objc::ClassBuilder::extend("NSIndexPath")  // methods added to a class that exists
//       .method(ui::NSIndexPath::row, &row_imp)
//       .build();
//
// The type encoding is the declaration's (encoding.hpp): Apple's encodings for structs
// with a specialisation, "@?" for blocks. One registration replaces it on purpose:
// method_with_encoding() keeps the declaration's compile-time check but registers an
// encoding given as text, for the simulated daemon's classes, registered as the daemon
// declares them (or otherwise, to show what a type mismatch does). There is no
// registration by selector string.
//
// Object ivars hold strong references: the builder's dealloc releases them (and destroys
// the storage) before the superclass's dealloc runs. Such a class must not define its
// own dealloc; keep C++ state in storage<T>() and let its destructor do the work.
//
// Failures are loud: a missing superclass, a class name already registered, a selector
// given twice, an ivar name taken, an unknown protocol, extending a missing class or
// adding a method the extended class already defines print the reason on stderr and
// abort the process. These are programming errors of a start-up path; a class silently
// made a root class, or methods silently dropped, would fail later and far away.
#pragma once

#include <atomic>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <vector>

#include "common/objc/encoding.hpp"
#include "common/objc/message.hpp"
#include "common/objc/runtime.hpp"

namespace objc {

namespace detail {
struct StorageBase {
  virtual ~StorageBase() = default;
};
template <class T>
struct StorageBox final : StorageBase {
  T value{};
};
// The slot of the storage ivar of that name (nullptr if the class has none).
std::atomic<StorageBase*>* storageSlot(id self, const char* ivar_name) noexcept;
// The name of the storage ivar of a C++ type.
template <class T>
const char* storageName() {
  // Never destroyed: objects may be deallocated while the process exits.
  static const std::string* name =
      new std::string(std::string("_halvernicStorage.") + typeid(T).name());
  return name->c_str();
}
[[noreturn]] void classBuilderFailure(const std::string& what);

// Whether Imp implements a message of this signature: R imp(id self, SEL _cmd, Args...)
// with the message's R and Args exactly (a noexcept function does too).
template <class Signature, class Imp>
inline constexpr bool implements_message = false;
template <class R, class... Args>
inline constexpr bool implements_message<R(Args...), R (*)(id, SEL, Args...)> = true;
template <class R, class... Args>
inline constexpr bool implements_message<R(Args...), R (*)(id, SEL, Args...) noexcept> = true;

// The method type string of a message signature ("v@:f" for void(float)).
template <class Signature>
struct SignatureTypes;
template <class R, class... Args>
struct SignatureTypes<R(Args...)> {
  static const char* get() noexcept { return methodTypes<R, Args...>(); }
};
}  // namespace detail

// A message declared with its types: an objc::Selector that names its signature
// (objc::Message<R(Args...)>, the hook layer's host messages).
template <class M>
concept TypedMessage = std::is_base_of_v<Selector, M> && requires { typename M::Signature; };

class ClassBuilder {
public:
  // Starts a new class named name, subclass of superclass_name (which must exist).
  ClassBuilder(const char* name, const char* superclass_name);
  // Adds methods (and protocols) to a class that is already registered.
  static ClassBuilder extend(const char* name);
  ~ClassBuilder();
  ClassBuilder(ClassBuilder&& other) noexcept;
  ClassBuilder(const ClassBuilder&) = delete;
  ClassBuilder& operator=(const ClassBuilder&) = delete;

  // Adds the instance method `message` with imp as its implementation. imp's types must
  // be the message's exactly: R imp(id self, SEL _cmd, Args...) for Message<R(Args...)>.
  template <class M, class Imp>
  ClassBuilder& method(const M& message, Imp imp) {
    if constexpr (validImplementation<M, Imp>()) {
      return add(false, message.name(), reinterpret_cast<IMP>(imp), typesOf<M>());
    } else {
      return *this;
    }
  }
  // Adds the class method `message` (imp's self is the class the message was sent to).
  template <class M, class Imp>
  ClassBuilder& classMethod(const M& message, Imp imp) {
    if constexpr (validImplementation<M, Imp>()) {
      return add(true, message.name(), reinterpret_cast<IMP>(imp), typesOf<M>());
    } else {
      return *this;
    }
  }
  // Adds the instance method `message`, checked against its declaration as method() is,
  // but registered with the given encoding instead of the declaration's: a class as
  // another binary declares it, which may differ from this binary's declaration (the
  // simulated daemon registers the daemon's literal encodings, and others on request, so
  // that a test can show what a type mismatch does). Nothing else uses it.
  template <class M, class Imp>
  ClassBuilder& methodWithEncoding(const M& message, Imp imp, const char* types) {
    if constexpr (validImplementation<M, Imp>()) {
      return add(false, message.name(), reinterpret_cast<IMP>(imp), types);
    } else {
      return *this;
    }
  }
  // Every instance carries one T, made on first use by storage<T>(self) and destroyed
  // when the instance is deallocated. A subclass may add storage of another type beside
  // its superclass's; each type has its own slot.
  template <class T>
  ClassBuilder& storage() {
    return addStorage(detail::storageName<T>());
  }
  // An instance variable of object type under exactly this name ("_specifiers",
  // "backgroundViewController"), strong, released at deallocation.
  ClassBuilder& ivar(const char* name);
  // Adopts a protocol the runtime knows by name. GCC's runtime cannot make a protocol
  // from C++: a stand-in declares the protocols it needs in an Objective-C file of its own.
  ClassBuilder& protocol(const char* name);

  Class build();

private:
  // Fails the compilation with a readable reason unless imp implements the declared
  // message; answers whether it does (the callers then compile nothing more, so the
  // reason is the only error).
  template <class M, class Imp>
  static constexpr bool validImplementation() {
    static_assert(TypedMessage<M>,
                  "a method is registered from its typed declaration (an "
                  "objc::Message<R(Args...)>), never from a selector string or an untyped "
                  "objc::Selector");
    if constexpr (TypedMessage<M>) {
      static_assert(detail::implements_message<typename M::Signature, Imp>,
                    "the implementation's types differ from the message's declaration: for "
                    "Message<R(Args...)> it must be `R imp(id self, SEL _cmd, Args...)` with "
                    "exactly those types");
      return detail::implements_message<typename M::Signature, Imp>;
    } else {
      return false;
    }
  }
  template <class M>
  static const char* typesOf() noexcept {
    return detail::SignatureTypes<typename M::Signature>::get();
  }

  ClassBuilder() = default;
  ClassBuilder& add(bool class_side, const char* selector, IMP imp, const std::string& types);
  ClassBuilder& addStorage(const char* type_name);

  std::string name_;
  Class existing_ = nullptr;  // extend(): the class methods go to
  Class pair_ = nullptr;      // a new class before registration
  bool built_ = false;
  std::vector<std::string> storages_;  // ivar names of the storage slots this class adds
  bool own_dealloc_ = false;
  std::vector<std::string> ivars_;
};

// The C++ object of type T of an instance of a class built with storage<T>() (the class
// or a superclass). Thread-safe: concurrent first uses make one T.
template <class T>
T& storage(id self) {
  std::atomic<detail::StorageBase*>* slot = detail::storageSlot(self, detail::storageName<T>());
  if (!slot)
    detail::classBuilderFailure(std::string("no storage of this type in class ") +
                                className(classOf(self)));
  detail::StorageBase* box = slot->load(std::memory_order_acquire);
  if (!box) {
    auto* fresh = new detail::StorageBox<T>();
    detail::StorageBase* expected = nullptr;
    if (slot->compare_exchange_strong(expected, fresh, std::memory_order_acq_rel)) {
      box = fresh;
    } else {
      delete fresh;
      box = expected;
    }
  }
  return static_cast<detail::StorageBox<T>*>(box)->value;
}

// The object in a named object ivar of self (+0), and storing one (retained; the old
// value released). Both answer or do nothing for nil or an unknown ivar.
id getIvar(id self, const char* name) noexcept;
void setIvar(id self, const char* name, id value) noexcept;

}  // namespace objc
