// MitigationControllerHook: 14 methods of the daemon's MitigationController (its getters,
// its GPU setters and its three update methods), deciding from the engine's power mode.
//
//   fullPower  power save off, CPU level 0, CPU power targets raised to the full target,
//              package target 50000, GPU ceiling 50000 and floor 0, SGX level 0, graphics
//              drive target 50000; GPU zone targets, updateGPU and updatePackage dropped;
//              updateCPU wrapped in the full-power CPU setters;
//   lowPower   power save reported on, CPU level held at 2; updateCPU wrapped in
//              setPowerSaveActive: YES and setCPULevel: 2;
//   off        the daemon's own implementation, unchanged.
// In every mode the initialiser hands the new controller to the engine, which applies the
// policy at once and schedules its re-applications, and the CPU power getters report their
// values to the engine (observedCPUPowerMax).
//
// The mode is asked of HPowerHepler::shared() afresh for every call. The setters sent by
// updateCPU are ordinary messages: the method replacement layer's own MitigationController
// replacements receive them.
//
// Threads: any daemon thread. Steady-state cost of a call is the engine's mode lookup (two
// atomic loads) and the call of the saved implementation; nothing allocates except the log
// lines of updateCPU in fullPower and lowPower and the engine's own logging.
#pragma once

#include "extension/hooking/hook.hpp"

namespace halvernic::hooks {

extern constinit const hook::ClassHook MitigationControllerHook;

}  // namespace halvernic::hooks
