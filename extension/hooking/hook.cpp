#include "extension/hooking/hook.hpp"

#include <mutex>
#include <vector>

#include "common/objc/swizzle.hpp"

namespace halvernic::hook {

std::string HookError::description() const {
  std::string text = hook ? hook->name() : "?";
  const char* target = hook ? hook->targetName() : "?";
  if (kind == Kind::targetClassNotFound) return text + ": no class " + target;
  text += ": no method ";
  text += (replacement && replacement->class_method) ? "+[" : "-[";
  text += target;
  text += " ";
  text += replacement ? replacement->selector->name() : "?";
  text += "]";
  return text;
}

namespace {

enum class Outcome { installed, alreadyInstalled, missing };

Outcome install_one(Class target, const Replacement& replacement) {
  Class holder = replacement.class_method ? objc::metaclass_of(target) : target;
  const SEL selector = replacement.selector->get();
  const IMP ours = replacement.implementation();
  const IMP current = objc::instance_implementation(holder, selector);
  if (!current) return Outcome::missing;
  if (current == ours) return Outcome::alreadyInstalled;
  // The saved implementation is published before the replacement can run anywhere.
  replacement.saved->store(current, std::memory_order_release);
  const IMP previous = objc::replace_instance_method(holder, selector, ours);
  if (previous && previous != current) {
    // Someone replaced the method between our look-up and our installation; call theirs.
    replacement.saved->store(previous, std::memory_order_release);
  }
  return Outcome::installed;
}

}  // namespace

std::size_t install(Tweak& tweak, std::span<const ClassHook* const> hooks) {
  std::size_t in_place = 0;
  for (const ClassHook* hook : hooks) {
    if (!hook) continue;
    Class target = hook->target().get();
    if (!target) {
      tweak.handleError(HookError{HookError::Kind::targetClassNotFound, hook, nullptr});
      continue;
    }
    for (const Replacement& replacement : hook->replacements()) {
      if (install_one(target, replacement) == Outcome::missing) {
        tweak.handleError(HookError{HookError::Kind::methodNotFound, hook, &replacement});
      } else {
        ++in_place;
      }
    }
  }
  return in_place;
}

namespace detail {

// Tweaks live for the life of the process; keeping them reachable says so.
void keep_alive(Tweak* tweak) {
  static std::mutex mutex;
  static auto* tweaks = new std::vector<Tweak*>();
  std::lock_guard lock(mutex);
  tweaks->push_back(tweak);
}

}  // namespace detail
}  // namespace halvernic::hook
