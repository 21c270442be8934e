#include "ccmodule/power_mode.hpp"

#include "common/objc/foundation.hpp"
#include "common/objc/ref.hpp"
#include "extension/contract/announce.hpp"
#include "extension/contract/contract.hpp"

namespace halvernic::ccmodule {

namespace contract = halvernic::contract;

std::string preferencesFilePath() { return contract::resolved_preferences_path(); }

const char* currentPowerModeValue() {
  objc::AutoreleasePool pool;
  objc::Ref preferences = contract::read_preferences(preferencesFilePath());
  return contract::power_mode_value(contract::power_mode_of(preferences.get()));
}

void applyPowerModeValue(id modeValue) {
  objc::AutoreleasePool pool;
  // A failed write is ignored: the daemon is told all the same, and re-reads the file.
  contract::write_preference_value(preferencesFilePath(), contract::kPowerModeKey, modeValue);
  // The bare magic word; what became of it changes nothing that follows.
  contract::publish_runtime_state();
  postDarwinNotification(contract::kExecutePuppetEventNotification);
  postDarwinNotification(contract::kRestartThermalMonitorNotification);
}

void postDarwinNotification(const char* name) { contract::post_darwin_notification(name); }

}  // namespace halvernic::ccmodule
