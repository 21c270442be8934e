// Defines Objective-C classes from C++: the classes the platform instantiates by name
// (front-end controllers, modules), the simulated daemon's classes and the platform
// stand-ins.
//
//   objc::ClassBuilder("ThermalThing", "NSObject")
//       .method("level", &level_imp)          // int level_imp(id self, SEL _cmd)
//       .method("setLevel:", &set_level_imp)  // void set_level_imp(id, SEL, int)
//       .class_method("shared", &shared_imp)
//       .storage<ThingState>()                // a ThingState per instance
//       .ivar("_titleLabel")                  // an object ivar, found by key-value coding
//       .protocol("UITableViewDataSource")    // adopt a protocol registered by the runtime
//       .build();
//
//   objc::ClassBuilder::extend("NSIndexPath")  // methods added to a class that exists
//       .method("row", &row_imp)
//       .build();
//
// Type encodings are derived from the implementation's C++ signature (encoding.hpp):
// Apple's encodings for structs with a specialisation, "@?" for blocks.
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
std::atomic<StorageBase*>* storage_slot(id self, const char* ivar_name) noexcept;
// The name of the storage ivar of a C++ type.
template <class T>
const char* storage_name() {
  // Never destroyed: objects may be deallocated while the process exits.
  static const std::string* name = new std::string(std::string("_halvernicStorage.") + typeid(T).name());
  return name->c_str();
}
[[noreturn]] void class_builder_failure(const std::string& what);
}  // namespace detail

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

  template <class R, class... Args>
  ClassBuilder& method(const char* selector, R (*imp)(id, SEL, Args...)) {
    return add(false, selector, reinterpret_cast<IMP>(imp), method_encoding(imp));
  }
  template <class R, class... Args>
  ClassBuilder& class_method(const char* selector, R (*imp)(id, SEL, Args...)) {
    return add(true, selector, reinterpret_cast<IMP>(imp), method_encoding(imp));
  }
  // A method registered with the given type encoding rather than one derived from imp
  // (a class as another binary declares it).
  ClassBuilder& method(const char* selector, IMP imp, const char* types) {
    return add(false, selector, imp, types);
  }
  // Every instance carries one T, made on first use by storage<T>(self) and destroyed
  // when the instance is deallocated. A subclass may add storage of another type beside
  // its superclass's; each type has its own slot.
  template <class T>
  ClassBuilder& storage() {
    return add_storage(detail::storage_name<T>());
  }
  // An instance variable of object type under exactly this name ("_specifiers",
  // "backgroundViewController"), strong, released at deallocation.
  ClassBuilder& ivar(const char* name);
  // Adopts a protocol the runtime knows by name. GCC's runtime cannot make a protocol
  // from C++: a stand-in declares the protocols it needs in an Objective-C file of its own.
  ClassBuilder& protocol(const char* name);

  Class build();

private:
  ClassBuilder() = default;
  ClassBuilder& add(bool class_side, const char* selector, IMP imp, const std::string& types);
  ClassBuilder& add_storage(const char* type_name);

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
  std::atomic<detail::StorageBase*>* slot = detail::storage_slot(self, detail::storage_name<T>());
  if (!slot) detail::class_builder_failure(std::string("no storage of this type in class ") + class_name(class_of(self)));
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
id get_ivar(id self, const char* name) noexcept;
void set_ivar(id self, const char* name, id value) noexcept;

}  // namespace objc
