// Injected into the simulated thermalmonitord by its test: at load it hooks
// -[CommonProduct initProduct:], which only works when the daemon's classes already exist.
#include "common/objc/foundation.hpp"
#include "extension/hooking/hook.hpp"
#include "extension/hooking/host.hpp"

namespace {

namespace hook = halvernic::hook;
namespace host = halvernic::host;

id init_product(hook::Orig<id(id)> orig, id self, id config) {
  id product = orig(self, config);
  host::kPutDeviceInThermalSimulationMode.send(self, objc::string("light"));
  return product;
}

constexpr hook::Replacement kReplacements[] = {
    hook::instanceMethod<host::kInitProduct, &init_product>(),
};
constinit const hook::ClassHook kProductHook{"CommonProductClassHook", host::kCommonProduct,
                                             kReplacements};

struct ProbeTweak : hook::Tweak {};

__attribute__((constructor)) void activate_probe() {
  const hook::ClassHook* hooks[] = {&kProductHook};
  hook::activate<ProbeTweak>(hooks);
}

}  // namespace
