#include "ccmodule/power_mode.hpp"

#include <CoreFoundation/CoreFoundation.h>
#include <notify.h>

#include "common/objc/foundation.hpp"
#include "common/objc/ref.hpp"
#include "extension/contract/contract.hpp"

namespace halvernic::ccmodule {

namespace contract = halvernic::contract;

std::string preferencesFilePath() { return contract::resolved_preferences_path(); }

const char* currentPowerModeValue() {
  objc::AutoreleasePool pool;
  objc::Ref preferences = contract::read_preferences(preferencesFilePath());
  return contract::power_mode_value(contract::power_mode_of(preferences.get()));
}

namespace {

// The bare magic word, both values 0. A failed registration skips the publication; the
// result of setting the state and of the post is not looked at.
void publishRuntimeState() {
  int token = 0;
  if (notify_register_check(contract::kRuntimeStateNotification, &token) != NOTIFY_STATUS_OK) return;
  notify_set_state(token, contract::kPublishedRuntimeState);
  notify_post(contract::kRuntimeStateNotification);
  notify_cancel(token);
}

}  // namespace

void applyPowerModeValue(id modeValue) {
  objc::AutoreleasePool pool;
  // A failed write is ignored: the daemon is told all the same, and re-reads the file.
  contract::write_preference_value(preferencesFilePath(), contract::kPowerModeKey, modeValue);
  publishRuntimeState();
  postDarwinNotification(contract::kExecutePuppetEventNotification);
  postDarwinNotification(contract::kRestartThermalMonitorNotification);
}

void postDarwinNotification(const char* name) {
  objc::AutoreleasePool pool;
  objc::Ref string = objc::make_string(name);
  CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(),
                                       reinterpret_cast<CFStringRef>(string.get()),
                                       nullptr, nullptr, true);
}

}  // namespace halvernic::ccmodule
