// The method replacement layer: 24 methods of the daemon's CommonProduct, ThermalManager
// and MitigationController replaced directly (beside the hook classes, on disjoint
// selectors), each deciding from the layer's own preference snapshot:
//   fullPower   no thermal pressure, no forced levels or suggestions, every CPU and
//               package power limit at 50000, CPU mitigations and power save off;
//   lowPower    power save kept on and the CPU level held at 2;
//   thermalPreventDimmingEnabled
//               pressure reported as at most 1, no forced levels or suggestions, and the
//               display mitigations removed from the thermal configuration.
// Every other call, and every call in the native mode, reaches the host implementation the
// method had before installation unchanged. A method missing at installation leaves its
// saved implementation empty; its replacement then answers 0, nil or the number 0, or
// does nothing.
//
// Threads: the replacements run on whichever daemon thread calls them. Their hot paths ask
// the snapshot once (a clock read and one load within its reuse window, and the engine's
// engaged bit) and call the saved implementation (one load and an indirect call), all inline
// in the method's trampoline; nothing allocates except the first configuration patch of a
// section and a clamped pressure number other than 0 or 1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "common/objc/ref.hpp"
#include "extension/hooking/hook.hpp"

namespace halvernic::replacements {

// The host classes to install into, in installation order; a missing class is nullptr.
struct HostClassList {
  Class commonProduct = nullptr;
  Class thermalManager = nullptr;
  Class mitigationController = nullptr;
};

// The daemon's classes looked up by name (nullptr for each one that does not exist).
HostClassList hostClassesByName() noexcept;

// Installs the replacements into the given classes, in table order: for each class that
// exists, each selector it implements (or inherits) is saved and replaced; a missing class
// or method, or one whose types differ from the replacement's, is skipped and reported to
// observer.handleError as the hook layer reports a skipped hook (a missing class once for
// all its selectors, a type mismatch with both encodings); each replacement in place is
// told to observer.didInstall. Installing a replacement that is already in place changes
// nothing. Answers the number of replacements in place afterwards. Installation is meant
// to happen once per process, before the host calls the methods; it is never undone.
std::size_t installMethodReplacements(const HostClassList& classes,
                                      hook::InstallObserver& observer);
// The same, telling no one what was skipped.
std::size_t installMethodReplacements(const HostClassList& classes);

// The name the replacement layer's groups report under ("replacements: no method
// -[ThermalManager thermalPressure:]").
inline constexpr char kReplacementGroupName[] = "replacements";

// One host class and its replacements, in installation order; `group` is the same as a
// hook table, for reporting.
struct ReplacementGroup {
  const objc::ClassName* hostClass;
  std::span<const hook::Replacement> replacements;
  const hook::ClassHook* group;
};
// The installation table: CommonProduct (5), ThermalManager (5), MitigationController (14).
std::span<const ReplacementGroup> installationTable() noexcept;

// The snapshot's shared decisions (each refreshes the snapshot first).
// True when thermalPreventDimmingEnabled is set, else when the mode is fullPower.
bool shouldSuppressThermalSignals();
// 0 in fullPower; otherwise 1 for a level of 1 or more while thermalPreventDimmingEnabled
// is set; otherwise the level unchanged (0 and negative levels are never changed).
std::int64_t clampedPressureLevel(std::int64_t level);

}  // namespace halvernic::replacements
