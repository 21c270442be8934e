#include "prefs/store.hpp"

#include "common/objc/class_builder.hpp"
#include "common/objc/foundation.hpp"
#include "extension/contract/announce.hpp"
#include "extension/contract/contract.hpp"

namespace halvernic::prefs {

namespace {

constexpr std::string_view kThermalPrefix = "thermal";

// The sender of the pane's Darwin posts: an object of its own class, made once and kept for
// the life of the process (receivers see only the name; the object identifies the pane).
id makeNotificationHelper() {
  Class helper_class = objc::cls("HPNotificationHelper");
  if (!helper_class) helper_class = objc::ClassBuilder("HPNotificationHelper", "NSObject").build();
  return objc::keepForever(
      objc::Ref::adopt(objc::send<id>(objc::asId(helper_class), objc::sel("new"))));
}

}  // namespace

const std::string& preferencesFilePath() {
  static const std::string path = contract::resolvedPreferencesPath();
  return path;
}

id notificationHelper() {
  static id const helper = makeNotificationHelper();
  return helper;
}

objc::Ref rowValue(id properties) {
  objc::AutoreleasePool pool;
  id key = objc::dictionaryGet(properties, "key");
  id fallback = objc::dictionaryGet(properties, "default");
  if (key) {
    objc::Ref preferences = contract::readPreferences(preferencesFilePath());
    id stored = objc::dictionaryGet(preferences.get(), key);
    if (stored) return objc::Ref::retain(stored);
  }
  return objc::Ref::retain(fallback);
}

const char* currentCpuModeValue() {
  objc::AutoreleasePool pool;
  objc::Ref preferences = contract::readPreferences(preferencesFilePath());
  return contract::powerModeValue(contract::powerModeOf(preferences.get()));
}

void writePreferenceValue(id value, std::string_view key) {
  contract::writePreferenceValue(preferencesFilePath(), key, value);
  if (key.starts_with(kThermalPrefix)) {
    halvernicPrefsPostRuntimeState(0, 0);
    contract::postDarwinNotification(contract::kExecutePuppetEventNotification,
                                     notificationHelper());
  }
  if (key == contract::kPowerModeKey) {
    contract::postDarwinNotification(contract::kRestartThermalMonitorNotification,
                                     notificationHelper());
  }
}

}  // namespace halvernic::prefs

std::uint32_t halvernicPrefsPostRuntimeState(int first, int second) {
  using namespace halvernic;
  return contract::publishRuntimeState(
             contract::encodeRuntimeState(static_cast<std::uint32_t>(first),
                                          static_cast<std::uint32_t>(second)))
      .status;
}
