// The commands of halvernicctl, one function each (ctl.cpp lists them in its table).
#pragma once

#include "ctl/ctl.hpp"

namespace halvernic::ctl {

// status [--json]: the settings, the daemon, the extension's report and the OS thermal
// status store (status.hpp).
Status runStatus(Invocation& invocation);

// mode off|lowPower|fullPower: the power mode written and announced as the pane does.
Status runMode(Invocation& invocation);

// set SWITCH on|off: a switch written and announced as the pane does.
Status runSet(Invocation& invocation);

// reset: the platform's own thermal state put back (osthermal::resetPlatformThermalState).
Status runReset(Invocation& invocation);

// stand-down [--wait SECONDS]: the running extension stands down; waits for its answer.
Status runStandDown(Invocation& invocation);

}  // namespace halvernic::ctl
