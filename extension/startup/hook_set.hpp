// The hook set: the extension's hook classes, activated together at load in a fixed order.
#pragma once

#include <span>

#include "extension/hooking/hook.hpp"

namespace halvernic::startup {

// The six hook classes in activation order.
std::span<const hook::ClassHook* const> hookSet() noexcept;

}  // namespace halvernic::startup
