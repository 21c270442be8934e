#include "extension/contract/announce.hpp"

#include <CoreFoundation/CoreFoundation.h>
#include <notify.h>

#include "common/objc/foundation.hpp"
#include "common/objc/ref.hpp"

namespace halvernic::contract {

RuntimeStatePublication publishRuntimeState(std::uint64_t word) noexcept {
  using Step = RuntimeStatePublication::Step;
  RuntimeStatePublication result;
  int token = 0;
  result.status = notify_register_check(kRuntimeStateNotification, &token);
  if (result.status != NOTIFY_STATUS_OK) {
    result.failed = Step::registration;
    return result;
  }
  result.status = notify_set_state(token, word);
  if (result.status != NOTIFY_STATUS_OK) {
    result.failed = Step::setState;
  } else {
    result.status = notify_post(kRuntimeStateNotification);
    result.failed = Step::post;
  }
  // The token is this call's alone: cancelling it cannot fail in a way the caller could act
  // on, and the word stays with the name.
  notify_cancel(token);
  return result;
}

void postDarwinNotification(const char* name, id sender) {
  objc::AutoreleasePool pool;
  objc::Ref string = objc::makeString(name);
  CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(),
                                       reinterpret_cast<CFStringRef>(string.get()), sender, nullptr,
                                       true);
}

}  // namespace halvernic::contract
