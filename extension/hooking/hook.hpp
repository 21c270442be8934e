// The hook layer: class hooks on the daemon's classes, activated together with the tweak.
//
// A hook class names its target class and lists its replacements, each a selector (an
// objc::Message, which carries the method's types; host.hpp declares the daemon's) and a C++
// function with those types.
// A replacement receives `orig`, the host implementation the method had before
// activation, and calls it on the same receiver with whatever arguments it chooses:
//
//   // -[MitigationController setGPUPowerCeiling:fromDecisionSource:]
//   void setGPUPowerCeiling(hook::Orig<void(int, int)> orig, id self, int ceiling,
//                           int source) {
//     orig(self, fullPower ? 50000 : ceiling, source);
//   }
//   BOOL powerSaveActive(hook::Orig<BOOL()> orig, id self) { return orig(self); }
//
//   constexpr hook::Replacement kReplacements[] = {
//       hook::instanceMethod<host::kSetGPUPowerCeilingFromDecisionSource, &setGPUPowerCeiling>(),
//       hook::instanceMethod<host::kPowerSaveActive, &powerSaveActive>(),
//   };
//   constinit const hook::ClassHook MitigationControllerHook{
//       "MitigationControllerHook", host::kMitigationController, kReplacements};
//
// The replacement's types are checked at compile time against the message's. Everything
// here is constant-initialised, so a hook table in any file is complete before any
// load-time initialiser runs.
//
// Activation (hook::activate<Tweak>) makes the tweak, runs its init(), installs every hook
// of the ordered list at once and then runs tweakDidActivate(). All hooks belong to the
// default group: each replacement is active from activation on, for every caller on
// every thread, and is never removed. A target class that does not exist skips its whole
// hook; a method that neither the class nor its superclasses implement skips that one
// replacement; both are reported to the tweak's handleError(). A method whose type
// encoding in the target class differs from the replacement's in what decides the calling
// convention (argument and result widths, signedness, integer or floating point or
// pointer) is treated as missing and reported too, with both encodings: a system that
// changes a method's types gets no replacement reading the wrong width. Every replacement
// put in place is told to the tweak's didInstall(). A method the target class only
// inherits is added to the target class (its superclass keeps its own), and `orig` is then
// the inherited implementation.
//
// Threads: each saved implementation is written before its replacement is installed and
// read with acquire ordering, so any thread that reaches a replacement sees its `orig`.
// Calling through `orig` costs one atomic load and an indirect call; nothing allocates.
#pragma once

#include <atomic>
#include <cstddef>
#include <span>
#include <string>
#include <type_traits>

#include "common/objc/encoding.hpp"
#include "common/objc/runtime.hpp"

namespace halvernic::hook {

// The saved host implementation of one replaced method, typed as the method is.
template <class Signature>
class Orig;

template <class R, class... Args>
class Orig<R(Args...)> {
public:
  constexpr Orig(const std::atomic<IMP>* saved, SEL selector) noexcept
      : saved_(saved), selector_(selector) {}

  // Calls the host implementation on target (normally the replacement's own receiver)
  // with the given arguments. Answers zero (or nothing) when there is none, which cannot
  // happen inside an installed replacement.
  R operator()(id target, Args... args) const {
    IMP imp = saved_->load(std::memory_order_acquire);
    if (!imp || !target) return objc::detail::zero<R>();
    return objc::call<R>(imp, target, selector_, args...);
  }

  IMP implementation() const noexcept { return saved_->load(std::memory_order_acquire); }
  bool available() const noexcept { return implementation() != nullptr; }
  SEL selector() const noexcept { return selector_; }

private:
  const std::atomic<IMP>* saved_;
  SEL selector_;
};

// One entry of a hook table. Made by instanceMethod<>() / class_method<>().
struct Replacement {
  const objc::Selector* selector;
  bool class_method;
  std::atomic<IMP>* saved;           // the host implementation, written at installation
  IMP (*implementation)() noexcept;  // the function the runtime calls in its place
  const char* (*types)() noexcept;   // the replacement's type encoding ("v@:ii")
};

// What installing one replacement into a class did.
enum class Installed {
  installed,         // saved and replaced now
  alreadyInstalled,  // the replacement was in place already
  missing,           // no class given, or no method of that selector in its hierarchy
  typeMismatch,      // the method's types differ from the replacement's: left alone
};

// Saves holder's current implementation of the replacement's selector into its slot and
// installs the replacement (holder is the metaclass for a class method). Shared by the
// hook classes and the method replacement layer.
Installed installReplacement(Class holder, const Replacement& replacement);

// A hook class: its name (for errors), its target class and its replacements.
class ClassHook {
public:
  template <std::size_t N>
  constexpr ClassHook(const char* name, const objc::ClassName& target,
                      const Replacement (&replacements)[N]) noexcept
      : name_(name), target_(&target), replacements_(replacements, N) {}

  const char* name() const noexcept { return name_; }
  const objc::ClassName& target() const noexcept { return *target_; }
  const char* targetName() const noexcept { return target_->name(); }
  std::span<const Replacement> replacements() const noexcept { return replacements_; }

private:
  const char* name_;
  const objc::ClassName* target_;
  std::span<const Replacement> replacements_;
};

// What went wrong while installing one hook.
struct HookError {
  enum class Kind {
    targetClassNotFound,  // the whole hook was skipped
    methodNotFound,       // one replacement was skipped
    typeMismatch,         // one replacement was skipped: the host method has other types
  };
  Kind kind;
  const ClassHook* hook;
  const Replacement* replacement;  // nullptr for targetClassNotFound
  // typeMismatch: the host method's encoding as the runtime gave it at installation (the
  // runtime keeps the text for the method's life); nullptr otherwise.
  const char* hostTypes = nullptr;

  // The replacement's own encoding ("i@:"); nullptr for targetClassNotFound.
  const char* expectedTypes() const noexcept {
    return replacement ? replacement->types() : nullptr;
  }

  // "MitigationControllerHook: no class MitigationController",
  // "MitigationControllerHook: no method -[MitigationController setDVD1Level:]" or
  // "MitigationControllerHook: other types for -[MitigationController CPULevel]: host
  // q16@0:8, expected i@:".
  std::string description() const;
};

// Told what became of each entry of a hook table as it is installed: the tweak, and
// whoever else installs from a table (the method replacement layer reports the same way).
class InstallObserver {
public:
  virtual ~InstallObserver() = default;
  // A hook or a replacement that could not be installed. Does nothing by default.
  virtual void handleError(const HookError& error) {}
  // A replacement in place after installation (installed now, or found in place). Does
  // nothing by default.
  virtual void didInstall(const ClassHook& hook, const Replacement& replacement) {}
};

// The tweak: one instance per process, made at activation and never destroyed. It hears
// of every skipped hook through handleError() and every installed one through didInstall().
class Tweak : public InstallObserver {
public:
  // Runs once, right after the instance is made and before any hook is installed.
  virtual void init() {}
  // Runs once, after every hook of the list is installed (or skipped).
  virtual void tweakDidActivate() {}
};

// Installs the hooks in list order, reporting each skipped entry to observer.handleError
// (a missing class once for its whole hook) and each entry in place to
// observer.didInstall. Installing a replacement that is already installed changes nothing.
// Answers the number of replacements in place afterwards.
std::size_t install(InstallObserver& observer, std::span<const ClassHook* const> hooks);

// Installs one hook's replacements into the given class (the hook's target class, or
// another one that stands for it), reporting as install() does; a nil class is reported as
// the hook's missing target. Answers the number of replacements in place afterwards.
std::size_t installInto(InstallObserver& observer, const ClassHook& hook, Class target);

namespace detail {
void keepAlive(Tweak* tweak);
}  // namespace detail

// The activation entry: makes the tweak T (never destroyed), runs its init(), installs
// the hooks in order and runs its tweakDidActivate(). Called once per process, by the
// library's load-time initialiser.
template <class T>
T& activate(std::span<const ClassHook* const> hooks) {
  static_assert(std::is_base_of_v<Tweak, T>, "the tweak type derives from hook::Tweak");
  T* tweak = new T();
  detail::keepAlive(tweak);
  tweak->init();
  install(*tweak, hooks);
  tweak->tweakDidActivate();
  return *tweak;
}

// ---------------------------------------------------------------------------------------
// Hook tables.

namespace detail {

template <class F>
struct ReplacementTraits {
  static constexpr bool matches = false;
};
template <class Sig, class R, class... Args>
struct ReplacementTraits<R (*)(Orig<Sig>, id, Args...)> {
  static constexpr bool matches = std::is_same_v<Sig, R(Args...)>;
  using Signature = R(Args...);
};
template <class Sig, class R, class... Args>
struct ReplacementTraits<R (*)(Orig<Sig>, id, Args...) noexcept>
    : ReplacementTraits<R (*)(Orig<Sig>, id, Args...)> {};

// One saved implementation per (selector, replacement) pair.
template <const auto& message, auto replacement>
inline constinit std::atomic<IMP> saved_implementation{nullptr};

template <const auto& message, auto replacement, class Signature>
struct Trampoline;
template <const auto& message, auto replacement, class R, class... Args>
struct Trampoline<message, replacement, R(Args...)> {
  static R invoke(id self, SEL cmd, Args... args) {
    return replacement(Orig<R(Args...)>(&saved_implementation<message, replacement>, cmd), self,
                       args...);
  }
  static IMP implementation() noexcept { return reinterpret_cast<IMP>(&invoke); }
  static const char* types() noexcept { return objc::methodTypes<R, Args...>(); }
};

template <const auto& message, auto replacement>
constexpr Replacement makeReplacement(bool class_method) noexcept {
  using Traits = ReplacementTraits<decltype(replacement)>;
  static_assert(Traits::matches,
                "a replacement is `R fn(hook::Orig<R(Args...)> orig, id self, Args... args)`");
  using M = std::remove_cvref_t<decltype(message)>;
  static_assert(std::is_base_of_v<objc::Selector, M>, "the selector is an objc::Selector");
  if constexpr (requires { typename M::Signature; }) {
    static_assert(std::is_same_v<typename M::Signature, typename Traits::Signature>,
                  "the replacement's types differ from the message's");
  }
  return Replacement{&message, class_method, &saved_implementation<message, replacement>,
                     &Trampoline<message, replacement, typename Traits::Signature>::implementation,
                     &Trampoline<message, replacement, typename Traits::Signature>::types};
}

}  // namespace detail

// Replaces the target class's instance method `message` with `replacement`.
template <const auto& message, auto replacement>
constexpr Replacement instanceMethod() noexcept {
  return detail::makeReplacement<message, replacement>(false);
}

// Replaces the target class's class method `message` with `replacement` (self is the
// class object the message was sent to).
template <const auto& message, auto replacement>
constexpr Replacement classMethod() noexcept {
  return detail::makeReplacement<message, replacement>(true);
}

// The saved host implementation of a table entry, for calling it from outside its own
// replacement (for example the host getter from another method's replacement).
template <const auto& message, auto replacement>
auto orig() noexcept {
  using Signature = typename detail::ReplacementTraits<decltype(replacement)>::Signature;
  return Orig<Signature>(&detail::saved_implementation<message, replacement>, message.get());
}

}  // namespace halvernic::hook
