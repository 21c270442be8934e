// Defines Objective-C classes from C++: the classes the platform instantiates by name
// (front-end controllers, modules) and the simulated daemon's classes.
//
//   objc::ClassBuilder("ThermalThing", "NSObject")
//       .method("level", &level_imp)          // int level_imp(id self, SEL _cmd)
//       .method("setLevel:", &set_level_imp)  // void set_level_imp(id, SEL, int)
//       .class_method("shared", &shared_imp)
//       .storage<ThingState>()                // a ThingState per instance
//       .build();
//
// Type encodings are derived from the implementation's C++ signature.
#pragma once

#include <atomic>
#include <string>
#include <type_traits>
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
std::atomic<StorageBase*>* storage_slot(id self) noexcept;  // nullptr if the class has none
}  // namespace detail

class ClassBuilder {
public:
  // Starts a class named name, subclass of superclass_name. If a class of that name is
  // already registered, build() returns it and the methods given here are not added.
  ClassBuilder(const char* name, const char* superclass_name);
  ~ClassBuilder();
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
  // Every instance carries one T, made on first use by storage<T>(self) and destroyed
  // when the instance is deallocated.
  // A method registered with the given type encoding rather than one derived from imp
  // (a class as another binary declares it).
  ClassBuilder& method(const char* selector, IMP imp, const char* types) {
    return add(false, selector, imp, types);
  }
  template <class T>
  ClassBuilder& storage() {
    return add_storage();
  }

  Class build();

private:
  ClassBuilder& add(bool class_side, const char* selector, IMP imp, const std::string& types);
  ClassBuilder& add_storage();

  Class existing_ = nullptr;
  Class pair_ = nullptr;
  bool built_ = false;
};

// The C++ object of an instance of a class built with storage<T>(). The same T must be
// used for every access to one class. Thread-safe: concurrent first uses make one T.
template <class T>
T& storage(id self) {
  std::atomic<detail::StorageBase*>* slot = detail::storage_slot(self);
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

}  // namespace objc
