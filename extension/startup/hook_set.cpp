#include "extension/startup/hook_set.hpp"

namespace halvernic::startup {

namespace {

// The one place that orders the hook classes. Each hook class is a constinit
// hook::ClassHook defined in its own file under extension/hooks/; put its address in its
// row (declaring it above) when it is built. A null row is skipped by activation.
constinit const hook::ClassHook* const kHookSet[] = {
    nullptr,  // 1 CommonProductClassHook    CommonProduct
    nullptr,  // 2 HidSensorsHook            HidSensors
    nullptr,  // 3 ComponentControlHook      ComponentControl
    nullptr,  // 4 MitigationControllerHook  MitigationController
    nullptr,  // 5 CPMSHelperHook            CPMSHelper
    nullptr,  // 6 NSDictionaryHook          NSDictionary (a class method)
};

}  // namespace

std::span<const hook::ClassHook* const> hookSet() noexcept { return kHookSet; }

}  // namespace halvernic::startup
