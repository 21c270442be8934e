#include "extension/hooks/hid_sensors_hook.hpp"

#include "extension/hooking/host.hpp"

namespace halvernic::hooks {
namespace {

// -[HidSensors handleTemperatureEvent:service:]: the sensor's reading is the daemon's.
void handleTemperatureEvent(hook::Orig<void(std::int64_t, id)> orig, id self, std::int64_t event,
                            id service) {
  orig(self, event, service);
}

constexpr hook::Replacement kReplacements[] = {
    hook::instance_method<host::kHandleTemperatureEventService, &handleTemperatureEvent>(),
};

}  // namespace

constinit const hook::ClassHook HidSensorsHook{"HidSensorsHook", host::kHidSensors, kReplacements};

}  // namespace halvernic::hooks
