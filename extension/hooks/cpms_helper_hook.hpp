// CPMSHelperHook: the daemon's per-component power bounds. In fullPower every component
// may draw 50000 and need not draw anything (maximum 50000, minimum 0, the daemon's own
// implementation not called); in lowPower and the native mode the daemon answers.
//
// Threads: any daemon thread; a call costs the engine's mode lookup and, outside
// fullPower, the call of the saved implementation. Nothing allocates.
#pragma once

#include "extension/hooking/hook.hpp"

namespace halvernic::hooks {

extern constinit const hook::ClassHook CPMSHelperHook;

}  // namespace halvernic::hooks
