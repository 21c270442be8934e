// The library's hook set and replacement table together: the order of activation, the
// selectors each one takes, and installation into a simulated thermalmonitord.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "extension/replacements/replacements.hpp"
#include "extension/startup/hook_set.hpp"
#include "sim/sim.hpp"

namespace {

namespace hook = halvernic::hook;
using Method = std::pair<std::string, std::string>;  // class, selector (class methods with "+")

std::multiset<Method> hooked_methods() {
  std::multiset<Method> methods;
  for (const hook::ClassHook* h : halvernic::startup::hookSet()) {
    for (const hook::Replacement& r : h->replacements()) {
      methods.emplace(h->targetName(),
                      (r.class_method ? "+" : "") + std::string(r.selector->name()));
    }
  }
  return methods;
}

std::multiset<Method> replaced_methods() {
  std::multiset<Method> methods;
  for (const auto& group : halvernic::replacements::installationTable()) {
    for (const hook::Replacement& r : group.replacements) {
      methods.emplace(group.hostClass->name(), r.selector->name());
    }
  }
  return methods;
}

TEST(HookSet, SixHookClassesInActivationOrderTakingSelectorsTheReplacementsLeave) {
  std::vector<std::pair<std::string, std::string>> order;
  for (const hook::ClassHook* h : halvernic::startup::hookSet()) {
    ASSERT_NE(h, nullptr);
    order.emplace_back(h->name(), h->targetName());
  }
  EXPECT_EQ(order, (std::vector<std::pair<std::string, std::string>>{
                       {"CommonProductClassHook", "CommonProduct"},
                       {"HidSensorsHook", "HidSensors"},
                       {"ComponentControlHook", "ComponentControl"},
                       {"MitigationControllerHook", "MitigationController"},
                       {"CPMSHelperHook", "CPMSHelper"},
                       {"NSDictionaryHook", "NSDictionary"}}));

  const auto hooked = hooked_methods();
  const auto replaced = replaced_methods();
  EXPECT_EQ(hooked.size(), 27u);
  EXPECT_EQ(std::set<Method>(hooked.begin(), hooked.end()).size(), 27u)
      << "a selector hooked twice";
  EXPECT_EQ(replaced.size(), 24u);
  EXPECT_EQ(std::set<Method>(replaced.begin(), replaced.end()).size(), 24u);
  for (const Method& m : hooked) EXPECT_EQ(replaced.count(m), 0u) << m.first << " " << m.second;
}

struct CountingTweak : hook::Tweak {
  int errors = 0;
  void handleError(const hook::HookError&) override { ++errors; }
};

TEST(HookSet, InThermalmonitordEveryHookedAndReplacedMethodIsInstalledExactlyOnce) {
  halvernic::sim::register_classes();
  CountingTweak tweak;
  EXPECT_EQ(hook::install(tweak, halvernic::startup::hookSet()), 27u);
  EXPECT_EQ(tweak.errors, 0);
  const auto classes = halvernic::replacements::hostClassesByName();
  EXPECT_EQ(halvernic::replacements::installMethodReplacements(classes), 24u);

  // Every method of the daemon's classes that was taken over, once each: the 26 hooked
  // instance methods and the 24 replaced ones (the 27th hook is NSDictionary's).
  const std::vector<std::string> taken = halvernic::sim::replaced_methods();
  EXPECT_EQ(taken.size(), 50u);
  EXPECT_EQ(std::set<std::string>(taken.begin(), taken.end()).size(), taken.size());

  // No saved host implementation is one of the extension's own: nothing was wrapped
  // twice, and installing again changes nothing.
  std::set<IMP> ours;
  for (const hook::ClassHook* h : halvernic::startup::hookSet()) {
    for (const hook::Replacement& r : h->replacements()) ours.insert(r.implementation());
  }
  for (const auto& group : halvernic::replacements::installationTable()) {
    for (const hook::Replacement& r : group.replacements) ours.insert(r.implementation());
  }
  auto check_saved = [&] {
    for (const hook::ClassHook* h : halvernic::startup::hookSet()) {
      for (const hook::Replacement& r : h->replacements()) {
        IMP saved = r.saved->load();
        EXPECT_NE(saved, nullptr) << r.selector->name();
        EXPECT_EQ(ours.count(saved), 0u) << r.selector->name();
      }
    }
    for (const auto& group : halvernic::replacements::installationTable()) {
      for (const hook::Replacement& r : group.replacements) {
        EXPECT_EQ(ours.count(r.saved->load()), 0u) << r.selector->name();
      }
    }
  };
  check_saved();
  EXPECT_EQ(hook::install(tweak, halvernic::startup::hookSet()), 27u);
  EXPECT_EQ(halvernic::replacements::installMethodReplacements(classes), 24u);
  check_saved();
  EXPECT_EQ(halvernic::sim::replaced_methods(), taken);
}

}  // namespace
