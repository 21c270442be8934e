// HDictHepler::shared: the patcher wired to the power policy engine. Kept apart from the
// patcher itself so that the patcher links (and is tested) without the engine.
#include "extension/config/dict_helper.hpp"
#include "extension/policy/power_helper.hpp"

namespace {

class PowerPolicyEngine final : public HDictHepler::Engine {
public:
  bool preventDimmingEnabled() override {
    HPowerHepler& engine = HPowerHepler::shared();
    engine.loadPreferencesIfEmpty();
    return engine.preventDimmingEnabled();
  }
  void observeComponentPower(std::int64_t value) override {
    HPowerHepler::shared().raiseObservedComponentPowerGlobalMax(value);
  }
};

}  // namespace

HDictHepler& HDictHepler::shared() {
  static PowerPolicyEngine* engine = new PowerPolicyEngine();  // never destroyed
  static HDictHepler* instance = new HDictHepler(*engine);
  return *instance;
}
