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
id make_notification_helper() {
  Class helper_class = objc::cls("HPNotificationHelper");
  if (!helper_class) helper_class = objc::ClassBuilder("HPNotificationHelper", "NSObject").build();
  return objc::keep_forever(
      objc::Ref::adopt(objc::send<id>(objc::as_id(helper_class), objc::sel("new"))));
}

}  // namespace

const std::string& preferences_file_path() {
  static const std::string path = contract::resolved_preferences_path();
  return path;
}

id notification_helper() {
  static id const helper = make_notification_helper();
  return helper;
}

objc::Ref row_value(id properties) {
  objc::AutoreleasePool pool;
  id key = objc::dictionary_get(properties, "key");
  id fallback = objc::dictionary_get(properties, "default");
  if (key) {
    objc::Ref preferences = contract::read_preferences(preferences_file_path());
    id stored = objc::dictionary_get(preferences.get(), key);
    if (stored) return objc::Ref::retain(stored);
  }
  return objc::Ref::retain(fallback);
}

const char* current_cpu_mode_value() {
  objc::AutoreleasePool pool;
  objc::Ref preferences = contract::read_preferences(preferences_file_path());
  return contract::power_mode_value(contract::power_mode_of(preferences.get()));
}

void write_preference_value(id value, std::string_view key) {
  contract::write_preference_value(preferences_file_path(), key, value);
  if (key.starts_with(kThermalPrefix)) {
    halvernicPrefsPostRuntimeState(0, 0);
    contract::post_darwin_notification(contract::kExecutePuppetEventNotification,
                                       notification_helper());
  }
  if (key == contract::kPowerModeKey) {
    contract::post_darwin_notification(contract::kRestartThermalMonitorNotification,
                                       notification_helper());
  }
}

}  // namespace halvernic::prefs

std::uint32_t halvernicPrefsPostRuntimeState(int first, int second) {
  using namespace halvernic;
  return contract::publish_runtime_state(
             contract::encode_runtime_state(static_cast<std::uint32_t>(first),
                                            static_cast<std::uint32_t>(second)))
      .status;
}
