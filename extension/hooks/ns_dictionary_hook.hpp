// NSDictionaryHook: +[NSDictionary dictionaryWithContentsOfFile:].
//
// A string-keyed dictionary loaded from a path containing "/System/Library/ThermalMonitor/"
// (the daemon's thermal configuration files) comes back through
// HDictHepler::patchThermalConfiguration, which patches it only while
// thermalPreventDimmingEnabled is on. Every other load, whoever makes it, is answered
// exactly as the host answered it.
#pragma once

#include "extension/hooking/hook.hpp"

namespace halvernic::hooks {

extern constinit const hook::ClassHook NSDictionaryHook;

}  // namespace halvernic::hooks
