#include "extension/hooks/hid_sensors_hook.hpp"

#include "extension/hooking/host.hpp"

namespace halvernic::hooks {
namespace {

// -[HidSensors handleTemperatureEvent:service:]: the sensor's reading is the daemon's.
void handleTemperatureEvent(hook::Orig<void(int, host::IOHIDServiceClientRef)> orig, id self,
                            int event, host::IOHIDServiceClientRef service) {
  orig(self, event, service);
}

constexpr hook::Replacement kReplacements[] = {
    hook::instanceMethod<host::kHandleTemperatureEventService, &handleTemperatureEvent>(),
};

}  // namespace

constinit const hook::ClassHook HidSensorsHook{"HidSensorsHook", host::kHidSensors, kReplacements};

}  // namespace halvernic::hooks
