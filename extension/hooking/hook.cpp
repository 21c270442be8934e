#include "extension/hooking/hook.hpp"

#include <mutex>
#include <vector>

#include "common/objc/swizzle.hpp"

namespace halvernic::hook {

std::string HookError::description() const {
  std::string text = hook ? hook->name() : "?";
  const char* target = hook ? hook->targetName() : "?";
  if (kind == Kind::targetClassNotFound) return text + ": no class " + target;
  text += kind == Kind::typeMismatch ? ": other types for " : ": no method ";
  text += (replacement && replacement->class_method) ? "+[" : "-[";
  text += target;
  text += " ";
  text += replacement ? replacement->selector->name() : "?";
  text += "]";
  if (kind == Kind::typeMismatch) {
    const char* expected = expectedTypes();
    text += ": host ";
    text += hostTypes ? hostTypes : "?";
    text += ", expected ";
    text += expected ? expected : "?";
  }
  return text;
}

Installed installReplacement(Class holder, const Replacement& replacement) {
  if (!holder) return Installed::missing;
  const SEL selector = replacement.selector->get();
  const IMP ours = replacement.implementation();
  const IMP current = objc::instanceImplementation(holder, selector);
  if (!current) return Installed::missing;
  if (current == ours) return Installed::alreadyInstalled;
  if (!objc::sameCallingConvention(objc::instanceMethodTypes(holder, selector),
                                   replacement.types())) {
    return Installed::typeMismatch;
  }
  // The saved implementation is published before the replacement can run anywhere.
  replacement.saved->store(current, std::memory_order_release);
  const IMP previous = objc::replaceInstanceMethod(holder, selector, ours);
  if (previous && previous != current) {
    // Someone replaced the method between our look-up and our installation; call theirs.
    replacement.saved->store(previous, std::memory_order_release);
  }
  return Installed::installed;
}

std::size_t installInto(InstallObserver& observer, const ClassHook& hook, Class target) {
  if (!target) {
    observer.handleError(HookError{HookError::Kind::targetClassNotFound, &hook, nullptr});
    return 0;
  }
  std::size_t in_place = 0;
  for (const Replacement& replacement : hook.replacements()) {
    Class holder = replacement.class_method ? objc::metaclassOf(target) : target;
    switch (installReplacement(holder, replacement)) {
      case Installed::installed:
      case Installed::alreadyInstalled:
        ++in_place;
        observer.didInstall(hook, replacement);
        break;
      case Installed::missing:
        observer.handleError(HookError{HookError::Kind::methodNotFound, &hook, &replacement});
        break;
      case Installed::typeMismatch:
        observer.handleError(
            HookError{HookError::Kind::typeMismatch, &hook, &replacement,
                      objc::instanceMethodTypes(holder, replacement.selector->get())});
        break;
    }
  }
  return in_place;
}

std::size_t install(InstallObserver& observer, std::span<const ClassHook* const> hooks) {
  std::size_t in_place = 0;
  for (const ClassHook* hook : hooks) {
    if (hook) in_place += installInto(observer, *hook, hook->target().get());
  }
  return in_place;
}

namespace detail {

// Tweaks live for the life of the process; keeping them reachable says so.
void keepAlive(Tweak* tweak) {
  static std::mutex mutex;
  static auto* tweaks = new std::vector<Tweak*>();
  std::lock_guard lock(mutex);
  tweaks->push_back(tweak);
}

}  // namespace detail
}  // namespace halvernic::hook
