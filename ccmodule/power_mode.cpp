#include "ccmodule/power_mode.hpp"

#include "common/objc/foundation.hpp"
#include "common/objc/ref.hpp"
#include "extension/contract/announce.hpp"
#include "extension/contract/contract.hpp"

namespace halvernic::ccmodule {

namespace contract = halvernic::contract;

std::string preferencesFilePath() { return contract::resolvedPreferencesPath(); }

const char* currentPowerModeValue() {
  objc::AutoreleasePool pool;
  objc::Ref preferences = contract::readPreferences(preferencesFilePath());
  return contract::powerModeValue(contract::powerModeOf(preferences.get()));
}

void applyPowerModeValue(id modeValue) {
  objc::AutoreleasePool pool;
  // A failed write is ignored: the daemon is told all the same, and re-reads the file.
  contract::writePreferenceValue(preferencesFilePath(), contract::kPowerModeKey, modeValue);
  // The bare magic word; what became of it changes nothing that follows.
  contract::publishRuntimeState();
  postDarwinNotification(contract::kExecutePuppetEventNotification);
  postDarwinNotification(contract::kRestartThermalMonitorNotification);
}

void postDarwinNotification(const char* name) { contract::postDarwinNotification(name); }

}  // namespace halvernic::ccmodule
