// HidSensorsHook: -[HidSensors handleTemperatureEvent:service:] reaches the daemon with
// its arguments unchanged, in every mode.
#pragma once

#include "extension/hooking/hook.hpp"

namespace halvernic::hooks {

extern constinit const hook::ClassHook HidSensorsHook;

}  // namespace halvernic::hooks
