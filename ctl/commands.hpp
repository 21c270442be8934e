// The commands of halvernicctl, one function each (ctl.cpp lists them in its table).
#pragma once

#include "ctl/ctl.hpp"

namespace halvernic::ctl {

// reset: the platform's own thermal state put back (osthermal::resetPlatformThermalState).
Status runReset(Invocation& invocation);

// stand-down [--wait SECONDS]: the running extension stands down; waits for its answer.
Status runStandDown(Invocation& invocation);

}  // namespace halvernic::ctl
