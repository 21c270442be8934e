// What the library does when it is loaded, in this order (one load-time constructor runs
// both, so no linker decides their order):
//   1. hook activation: the tweak HalvernicTInit (which registers the Darwin observers)
//      and the hook set, in every process that loads the library;
//   2. the method-replacement constructor: only when the process is thermalmonitord, the
//      method replacement layer is installed into the daemon's classes;
//   3. only in thermalmonitord: the report of what 1 and 2 installed and skipped is written
//      (contract/report.hpp), and written again after the engine's first application, at
//      the first reading of the battery and at each change of the overheat protection
//      (which also restarts the daemon when it changes the mode in force).
// Every skip of 1 and 2 is logged, in every process.
#pragma once

#include <string_view>

namespace halvernic::startup {

// The process the method replacements belong in, by the name part of its first argument.
inline constexpr std::string_view kHostProcessName = "thermalmonitord";

// The name part of a command-line argument: what follows its last "/", or the whole
// argument when it has none ("" for a null argument or one ending in "/").
std::string_view processNamePart(const char* argument) noexcept;

// Whether a process with this first argument is the host (byte comparison of the name
// part with "thermalmonitord").
bool isHostProcess(const char* firstArgument) noexcept;

// Step 1: the tweak and the hook set.
void activateHooks();
// Step 2: installs the method replacements when this process's first argument (_NSGetArgv)
// names thermalmonitord, reporting to the process's report recorder; answers whether it
// did.
bool runMethodReplacementConstructor();

// The steps, in order, on the loading thread.
void runLoadTimeInitialisers();

}  // namespace halvernic::startup
