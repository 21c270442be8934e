// The Darwin notify center on the notify service: each observer of a name is a notify
// callback registration, so notify_post and a post here reach the same observers.
// Callbacks run on the notify delivery thread, which is attached to the Foundation here;
// each delivery has its own autorelease pool. Object and user info are not carried: an
// observer receives the name only, as on the platform.
#include <CoreFoundation/CoreFoundation.h>
#include <notify.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "common/objc/foundation.hpp"
#include "common/objc/thread.hpp"
#include "hvplatform/notify_function.h"

namespace {

id as_object(CFTypeRef cf) { return const_cast<id>(static_cast<const objc_object*>(cf)); }

struct Observer {
  const void* observer;
  CFNotificationCallback callback;
  objc::Ref name;  // the registered name, held as the platform's center holds it
  int token = NOTIFY_TOKEN_INVALID;
};

CFNotificationCenterRef darwin_center() {
  static CFNotificationCenterRef center = [] {
    objc::AutoreleasePool pool;
    // Any object will do: the center is an identity with nothing to hold.
    objc::Ref object = objc::makeMutableArray();
    return reinterpret_cast<CFNotificationCenterRef>(objc::keepForever(std::move(object)));
  }();
  return center;
}

void deliver(int /*token*/, const char* name, void* context) {
  objc::attachCurrentThread();
  objc::AutoreleasePool pool;
  const auto* entry = static_cast<const Observer*>(context);
  id name_object = objc::string(name);
  entry->callback(darwin_center(), const_cast<void*>(entry->observer),
                  static_cast<CFNotificationName>(static_cast<const void*>(name_object)), nullptr,
                  nullptr);
}

// Observers by (observer, name). An entry is freed only after its notify registration
// has been cancelled, which waits for a delivery to it that is under way.
class Registry {
public:
  static Registry& instance() {
    static Registry* registry = new Registry;
    return *registry;
  }

  void add(const void* observer, CFNotificationCallback callback, const std::string& name,
           id name_object) {
    auto entry =
        std::make_unique<Observer>(Observer{observer, callback, objc::Ref::retain(name_object)});
    if (hv_notify_register_function(name.c_str(), &entry->token, deliver, entry.get()) !=
        NOTIFY_STATUS_OK) {
      return;
    }
    std::unique_ptr<Observer> replaced;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto& slot = observers_[{observer, name}];
      replaced = std::exchange(slot, std::move(entry));
    }
    // The same observer registering for the same name again replaces its callback.
    if (replaced) notify_cancel(replaced->token);
  }

  // name empty: every name of the observer.
  void remove(const void* observer, const std::string* name) {
    std::vector<std::unique_ptr<Observer>> removed;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (auto it = observers_.begin(); it != observers_.end();) {
        if (it->first.first == observer && (!name || it->first.second == *name)) {
          removed.push_back(std::move(it->second));
          it = observers_.erase(it);
        } else {
          ++it;
        }
      }
    }
    for (const auto& entry : removed) notify_cancel(entry->token);
  }

private:
  std::mutex mutex_;
  std::map<std::pair<const void*, std::string>, std::unique_ptr<Observer>> observers_;
};

bool is_darwin_center(CFNotificationCenterRef center) {
  return center && center == darwin_center();
}

bool name_of(CFStringRef name, std::string* out) {
  if (!name) return false;
  objc::AutoreleasePool pool;
  if (!objc::isString(as_object(name))) return false;
  *out = objc::toString(as_object(name));
  return true;
}

}  // namespace

#define HV_CF_API extern "C" [[gnu::visibility("default")]]

HV_CF_API CFNotificationCenterRef CFNotificationCenterGetDarwinNotifyCenter(void) {
  return darwin_center();
}

HV_CF_API void CFNotificationCenterAddObserver(CFNotificationCenterRef center, const void* observer,
                                               CFNotificationCallback callBack, CFStringRef name,
                                               const void* /*object*/,
                                               CFNotificationSuspensionBehavior /*behavior*/) {
  // The Darwin center has no wildcard: a name is required. Delivery is always immediate.
  std::string text;
  if (!is_darwin_center(center) || !callBack || !name_of(name, &text)) return;
  Registry::instance().add(observer, callBack, text, as_object(name));
}

HV_CF_API void CFNotificationCenterRemoveObserver(CFNotificationCenterRef center,
                                                  const void* observer, CFNotificationName name,
                                                  const void* /*object*/) {
  if (!is_darwin_center(center)) return;
  std::string text;
  if (name && !name_of(name, &text)) return;
  Registry::instance().remove(observer, name ? &text : nullptr);
}

HV_CF_API void CFNotificationCenterRemoveEveryObserver(CFNotificationCenterRef center,
                                                       const void* observer) {
  if (!is_darwin_center(center)) return;
  Registry::instance().remove(observer, nullptr);
}

HV_CF_API void CFNotificationCenterPostNotificationWithOptions(CFNotificationCenterRef center,
                                                               CFNotificationName name,
                                                               const void* /*object*/,
                                                               CFDictionaryRef /*userInfo*/,
                                                               CFOptionFlags /*options*/) {
  std::string text;
  if (!is_darwin_center(center) || !name_of(name, &text)) return;
  notify_post(text.c_str());
}

HV_CF_API void CFNotificationCenterPostNotification(CFNotificationCenterRef center,
                                                    CFNotificationName name, const void* object,
                                                    CFDictionaryRef userInfo,
                                                    Boolean deliverImmediately) {
  CFNotificationCenterPostNotificationWithOptions(
      center, name, object, userInfo, deliverImmediately ? kCFNotificationDeliverImmediately : 0);
}
