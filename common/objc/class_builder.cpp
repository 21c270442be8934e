#include "common/objc/class_builder.hpp"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <unordered_map>

#include "common/objc/ref.hpp"

namespace objc {
namespace {

constinit Selector kDealloc{"dealloc"};

// What the builder's dealloc undoes for one class of the hierarchy.
struct Cleanup {
  std::vector<std::ptrdiff_t> object_ivars;  // offsets of the class's own object ivars
  std::vector<std::ptrdiff_t> storages;      // offsets of the storage slots the class declared
};

struct Registry {
  std::mutex mutex;
  std::unordered_map<Class, Cleanup> classes;
};
Registry& registry() {
  static Registry* r = new Registry();  // outlives every object that may die
  return *r;
}

// The class whose level of dealloc runs next for an object, across the super calls of
// one deallocation (a dealloc of another object may nest inside, through a release).
struct Level {
  id object = nullptr;
  Class next = nullptr;
};
thread_local Level t_level;

// The builder's dealloc: undo one registered class's ivars and storage, then run the
// dealloc above it. The registered class is the first at or above where this object's
// deallocation has come to (its own class, or a weak-tracking subclass of it).
void builderDealloc(id self, SEL cmd) {
  Class start = t_level.object == self && t_level.next ? t_level.next : object_getClass(self);
  Class owner = nullptr;
  Cleanup cleanup;
  {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    for (Class c = start; c; c = class_getSuperclass(c)) {
      auto it = r.classes.find(c);
      if (it != r.classes.end()) {
        owner = c;
        cleanup = it->second;
        break;
      }
    }
  }
  if (!owner) detail::classBuilderFailure("dealloc reached no class built with ivars or storage");
  char* base = reinterpret_cast<char*>(self);
  for (std::ptrdiff_t offset : cleanup.object_ivars) {
    id* slot = reinterpret_cast<id*>(base + offset);
    release(std::exchange(*slot, nullptr));
  }
  for (std::ptrdiff_t offset : cleanup.storages) {
    auto* slot = reinterpret_cast<std::atomic<detail::StorageBase*>*>(base + offset);
    delete slot->exchange(nullptr, std::memory_order_acq_rel);
  }
  Level saved = t_level;
  t_level = {self, class_getSuperclass(owner)};
  sendSuper(self, owner, cmd);
  t_level = saved;
}

Ivar findIvar(id self, const char* name) noexcept {
  return self ? class_getInstanceVariable(object_getClass(self), name) : nullptr;
}

}  // namespace

namespace detail {
std::atomic<StorageBase*>* storageSlot(id self, const char* ivar_name) noexcept {
  if (!self) return nullptr;
  Ivar ivar = class_getInstanceVariable(classOf(self), ivar_name);
  if (!ivar) return nullptr;
  return reinterpret_cast<std::atomic<StorageBase*>*>(reinterpret_cast<char*>(self) +
                                                      ivar_getOffset(ivar));
}

void classBuilderFailure(const std::string& what) {
  std::fprintf(stderr, "objc::ClassBuilder: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}
}  // namespace detail

id getIvar(id self, const char* name) noexcept {
  Ivar ivar = findIvar(self, name);
  if (!ivar) return nullptr;
  return *reinterpret_cast<id*>(reinterpret_cast<char*>(self) + ivar_getOffset(ivar));
}

void setIvar(id self, const char* name, id value) noexcept {
  Ivar ivar = findIvar(self, name);
  if (!ivar) return;
  id* slot = reinterpret_cast<id*>(reinterpret_cast<char*>(self) + ivar_getOffset(ivar));
  id old = *slot;
  *slot = retain(value);
  release(old);
}

ClassBuilder::ClassBuilder(const char* name, const char* superclass_name) : name_(name) {
  if (cls(name)) {
    detail::classBuilderFailure("class " + name_ +
                                " already exists (ClassBuilder::extend adds methods to it)");
  }
  Class superclass = superclass_name ? cls(superclass_name) : nullptr;
  if (!superclass) {
    detail::classBuilderFailure("superclass " +
                                std::string(superclass_name ? superclass_name : "(none)") + " of " +
                                name_ + " is not registered");
  }
  pair_ = objc_allocateClassPair(superclass, name, 0);
  if (!pair_) detail::classBuilderFailure("the runtime refused to make class " + name_);
}

ClassBuilder ClassBuilder::extend(const char* name) {
  ClassBuilder b;
  b.name_ = name;
  b.existing_ = cls(name);
  if (!b.existing_) detail::classBuilderFailure("cannot extend " + b.name_ + ": no such class");
  return b;
}

ClassBuilder::ClassBuilder(ClassBuilder&& other) noexcept
    : name_(std::move(other.name_)), existing_(std::exchange(other.existing_, nullptr)),
      pair_(std::exchange(other.pair_, nullptr)), built_(other.built_),
      storages_(std::move(other.storages_)), own_dealloc_(other.own_dealloc_),
      ivars_(std::move(other.ivars_)) {}

ClassBuilder::~ClassBuilder() {
  if (pair_ && !built_) objc_disposeClassPair(pair_);
}

ClassBuilder& ClassBuilder::add(bool class_side, const char* selector, IMP imp,
                                const std::string& types) {
  Class base = pair_ ? pair_ : existing_;
  if (!base || built_) detail::classBuilderFailure(name_ + ": method added after build()");
  Class target = class_side ? metaclassOf(base) : base;
  if (!class_addMethod(target, sel(selector), imp, types.c_str())) {
    detail::classBuilderFailure(std::string(class_side ? "+[" : "-[") + name_ + " " + selector +
                                "] is already defined by the class");
  }
  if (!class_side && std::string_view(selector) == "dealloc") own_dealloc_ = true;
  return *this;
}

ClassBuilder& ClassBuilder::addStorage(const char* ivar_name_c) {
  if (!pair_) detail::classBuilderFailure(name_ + ": storage can only be added to a new class");
  const std::string ivar_name = ivar_name_c;
  if (class_getInstanceVariable(pair_, ivar_name.c_str()))
    return *this;  // inherited: that slot serves
  static_assert(sizeof(std::atomic<detail::StorageBase*>) == sizeof(void*));
  class_addIvar(pair_, ivar_name.c_str(), sizeof(void*), 3 /* log2 of the alignment */, "^v");
  storages_.push_back(ivar_name);
  return *this;
}

ClassBuilder& ClassBuilder::ivar(const char* name) {
  if (!pair_) detail::classBuilderFailure(name_ + ": ivars can only be added to a new class");
  static_assert(sizeof(id) == 8 && alignof(id) == 8);
  if (class_getInstanceVariable(pair_, name) || !class_addIvar(pair_, name, sizeof(id), 3, "@")) {
    detail::classBuilderFailure(name_ + ": ivar " + name + " is already taken");
  }
  ivars_.emplace_back(name);
  return *this;
}

ClassBuilder& ClassBuilder::protocol(const char* name) {
  Class base = pair_ ? pair_ : existing_;
  Protocol* p = objc_getProtocol(name);
  if (!p) {
    detail::classBuilderFailure(name_ + ": protocol " + name +
                                " is not known to the runtime (declare it in Objective-C)");
  }
  class_addProtocol(base, p);
  return *this;
}

Class ClassBuilder::build() {
  if (existing_) {
    built_ = true;
    return existing_;
  }
  if (!pair_) detail::classBuilderFailure(name_ + ": nothing to build");
  if (built_) return pair_;
  const bool needs_cleanup = !storages_.empty() || !ivars_.empty();
  if (needs_cleanup) {
    if (own_dealloc_) {
      detail::classBuilderFailure(name_ +
                                  " defines dealloc and has ivars or storage: keep C++ "
                                  "state in storage<T>() and let its destructor work");
    }
    class_addMethod(pair_, kDealloc, reinterpret_cast<IMP>(&builderDealloc), "v@:");
  }
  objc_registerClassPair(pair_);
  built_ = true;
  if (needs_cleanup) {
    Cleanup cleanup;
    for (const std::string& name : ivars_) {
      cleanup.object_ivars.push_back(
          ivar_getOffset(class_getInstanceVariable(pair_, name.c_str())));
    }
    for (const std::string& name : storages_) {
      cleanup.storages.push_back(ivar_getOffset(class_getInstanceVariable(pair_, name.c_str())));
    }
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.classes.emplace(pair_, std::move(cleanup));
  }
  return pair_;
}

}  // namespace objc
