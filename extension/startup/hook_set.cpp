#include "extension/startup/hook_set.hpp"

#include "extension/hooks/common_product_class_hook.hpp"
#include "extension/hooks/component_control_hook.hpp"
#include "extension/hooks/cpms_helper_hook.hpp"
#include "extension/hooks/hid_sensors_hook.hpp"
#include "extension/hooks/mitigation_controller_hook.hpp"
#include "extension/hooks/ns_dictionary_hook.hpp"

namespace halvernic::startup {

namespace {

// The one place that orders the hook classes. Each hook class is a constinit
// hook::ClassHook defined in its own file under extension/hooks/. A null row would be
// skipped by activation.
constinit const hook::ClassHook* const kHookSet[] = {
    &hooks::CommonProductClassHook,    // CommonProduct
    &hooks::HidSensorsHook,            // HidSensors
    &hooks::ComponentControlHook,      // ComponentControl
    &hooks::MitigationControllerHook,  // MitigationController
    &hooks::CPMSHelperHook,            // CPMSHelper
    &hooks::NSDictionaryHook,          // NSDictionary (a class method)
};

}  // namespace

std::span<const hook::ClassHook* const> hookSet() noexcept { return kHookSet; }

}  // namespace halvernic::startup
