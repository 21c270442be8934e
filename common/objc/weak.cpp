#include "common/objc/weak.hpp"

#if defined(__APPLE__)

// Declared by the runtime but not in its public headers.
extern "C" {
id objc_storeWeak(id* location, id object);
id objc_loadWeakRetained(id* location);
void objc_destroyWeak(id* location);
}

namespace objc {
WeakRef::~WeakRef() { objc_destroyWeak(&slot_); }
void WeakRef::store(id object) noexcept { objc_storeWeak(&slot_, object); }
Ref WeakRef::load() const noexcept {
  return Ref::adopt(objc_loadWeakRetained(const_cast<id*>(&slot_)));
}
void setAssociated(id object, const void* key, id value) noexcept {
  if (object) objc_setAssociatedObject(object, key, value, OBJC_ASSOCIATION_RETAIN_NONATOMIC);
}
id getAssociated(id object, const void* key) noexcept {
  return object ? objc_getAssociatedObject(object, key) : nullptr;
}
}  // namespace objc

#else  // GCC's runtime: a side table cleared by -[NSObject dealloc]

#include <algorithm>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include <cstring>
#include <string>

namespace objc {
namespace {

struct Entry {
  std::vector<id*> weak_slots;
  std::vector<std::pair<const void*, id>> associated;
};

struct SideTable {
  std::mutex mutex;
  std::unordered_map<id, Entry> entries;
};

SideTable& table() {
  static SideTable* instance = new SideTable();  // lives as long as any object may die
  return *instance;
}

constexpr const char kTrackedPrefix[] = "HVTracked_";
constinit Selector kDealloc{"dealloc"};
constinit Selector kClass{"class"};

Class trackedSubclassOf(Class tracked) {
  Class c = tracked;
  while (c && std::strncmp(class_getName(c), kTrackedPrefix, sizeof kTrackedPrefix - 1) != 0) {
    c = class_getSuperclass(c);
  }
  return c;
}

// The tracked subclass's dealloc: clear the object's weak slots and associations, then
// run the dealloc of the class the object really belongs to.
void trackedDealloc(id self, SEL cmd) {
  SideTable& t = table();
  std::vector<std::pair<const void*, id>> to_release;
  {
    std::lock_guard lock(t.mutex);
    auto it = t.entries.find(self);
    if (it != t.entries.end()) {
      for (id* slot : it->second.weak_slots) *slot = nullptr;
      to_release = std::move(it->second.associated);
      t.entries.erase(it);
    }
  }
  for (auto& [key, value] : to_release) release(value);
  sendSuper(self, trackedSubclassOf(object_getClass(self)), cmd);
}

// -class answers the object's own class, as if it had never been tracked.
Class trackedClass(id self, SEL) {
  return class_getSuperclass(trackedSubclassOf(object_getClass(self)));
}

// GCC's runtime has no hook at deallocation, and Foundation's own classes free
// themselves without reaching -[NSObject dealloc]. A tracked object is therefore moved
// to a subclass of its class that clears the side table first (as key-value observing
// does). Called with the table's mutex held.
void track(id object) {
  Class current = object_getClass(object);
  if (trackedSubclassOf(current)) return;
  std::string name = std::string(kTrackedPrefix) + class_getName(current);
  Class sub = objc_getClass(name.c_str());
  if (!sub) {
    sub = objc_allocateClassPair(current, name.c_str(), 0);
    class_addMethod(sub, kDealloc, reinterpret_cast<IMP>(&trackedDealloc), "v@:");
    class_addMethod(sub, kClass, reinterpret_cast<IMP>(&trackedClass), "#@:");
    objc_registerClassPair(sub);
  }
  object_setClass(object, sub);
}

void removeSlot(SideTable& t, id object, id* slot) {
  auto it = t.entries.find(object);
  if (it == t.entries.end()) return;
  auto& slots = it->second.weak_slots;
  slots.erase(std::remove(slots.begin(), slots.end(), slot), slots.end());
  if (slots.empty() && it->second.associated.empty()) t.entries.erase(it);
}

}  // namespace

WeakRef::~WeakRef() { store(nullptr); }

void WeakRef::store(id object) noexcept {
  SideTable& t = table();
  std::lock_guard lock(t.mutex);
  if (slot_) removeSlot(t, slot_, &slot_);
  slot_ = object;
  if (object) {
    track(object);
    t.entries[object].weak_slots.push_back(&slot_);
  }
}

Ref WeakRef::load() const noexcept {
  SideTable& t = table();
  std::lock_guard lock(t.mutex);
  return Ref::retain(slot_);
}

void setAssociated(id object, const void* key, id value) noexcept {
  if (!object) return;
  SideTable& t = table();
  id old = nullptr;
  {
    std::lock_guard lock(t.mutex);
    track(object);
    auto& assoc = t.entries[object].associated;
    auto it = std::find_if(assoc.begin(), assoc.end(), [&](auto& p) { return p.first == key; });
    if (it != assoc.end()) {
      old = it->second;
      if (value) {
        it->second = retain(value);
      } else {
        assoc.erase(it);
      }
    } else if (value) {
      assoc.emplace_back(key, retain(value));
    }
  }
  release(old);
}

id getAssociated(id object, const void* key) noexcept {
  if (!object) return nullptr;
  SideTable& t = table();
  std::lock_guard lock(t.mutex);
  auto it = t.entries.find(object);
  if (it == t.entries.end()) return nullptr;
  for (auto& [k, v] : it->second.associated) {
    if (k == key) return v;
  }
  return nullptr;
}

}  // namespace objc
#endif
