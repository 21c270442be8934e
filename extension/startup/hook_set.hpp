// The hook set: the extension's hook classes, activated together at load in a fixed order.
#pragma once

#include <span>

#include "extension/startup/hook.hpp"

namespace halvernic::startup {

// The hook classes in activation order (entries not built yet are null and skipped).
std::span<const hook::ClassHook* const> hookSet() noexcept;

}  // namespace halvernic::startup
