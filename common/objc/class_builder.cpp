#include "common/objc/class_builder.hpp"

#include "common/objc/ref.hpp"

namespace objc {
namespace {

constexpr const char* kStorageIvar = "_halvernicStorage";
constinit Selector kDealloc{"dealloc"};

Ivar storage_ivar(Class c) noexcept { return c ? class_getInstanceVariable(c, kStorageIvar) : nullptr; }

// The class that declared the storage (and implements the dealloc that frees it).
Class storage_owner(Class c) noexcept {
  while (storage_ivar(class_getSuperclass(c))) c = class_getSuperclass(c);
  return c;
}

void storage_dealloc(id self, SEL cmd) {
  if (auto* slot = detail::storage_slot(self)) {
    delete slot->exchange(nullptr, std::memory_order_acq_rel);
  }
  send_super(self, storage_owner(object_getClass(self)), cmd);
}

}  // namespace

namespace detail {
std::atomic<StorageBase*>* storage_slot(id self) noexcept {
  Ivar ivar = storage_ivar(class_of(self));
  if (!ivar) return nullptr;
  return reinterpret_cast<std::atomic<StorageBase*>*>(reinterpret_cast<char*>(self) +
                                                      ivar_getOffset(ivar));
}
}  // namespace detail

ClassBuilder::ClassBuilder(const char* name, const char* superclass_name) {
  existing_ = cls(name);
  if (existing_) return;
  Class superclass = superclass_name ? cls(superclass_name) : nullptr;
  pair_ = objc_allocateClassPair(superclass, name, 0);
}

ClassBuilder::~ClassBuilder() {
  if (pair_ && !built_) objc_disposeClassPair(pair_);
}

ClassBuilder& ClassBuilder::add(bool class_side, const char* selector, IMP imp,
                                const std::string& types) {
  if (!pair_) return *this;
  Class target = class_side ? metaclass_of(pair_) : pair_;
  class_addMethod(target, sel(selector), imp, types.c_str());
  return *this;
}

ClassBuilder& ClassBuilder::add_storage() {
  if (!pair_ || storage_ivar(pair_)) return *this;
  static_assert(sizeof(std::atomic<detail::StorageBase*>) == sizeof(void*));
  class_addIvar(pair_, kStorageIvar, sizeof(void*), 3 /* log2 of the alignment */, "^v");
  class_addMethod(pair_, kDealloc, reinterpret_cast<IMP>(&storage_dealloc), "v@:");
  return *this;
}

Class ClassBuilder::build() {
  if (existing_) return existing_;
  if (!pair_ || built_) return pair_;
  objc_registerClassPair(pair_);
  built_ = true;
  return pair_;
}

}  // namespace objc
