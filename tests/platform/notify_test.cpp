// notify and the Darwin notify center inside one process (no daemon configured).
#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>
#include <notify.h>

#include <atomic>
#include <thread>

#include "common/objc/class_builder.hpp"
#include "common/objc/foundation.hpp"
#include "hvplatform/notify_function.h"
#include "tests/platform/waiting.hpp"

namespace {

using hv_platform_test::Recorder;
using namespace std::chrono_literals;

id obj(CFTypeRef cf) { return const_cast<id>(static_cast<const objc_object*>(cf)); }

void record_name(CFNotificationCenterRef, void* observer, CFNotificationName name,
                 const void* object, CFDictionaryRef user_info) {
  auto* recorder = static_cast<Recorder*>(observer);
  std::string entry = objc::toString(obj(name));
  if (object || user_info) entry += " (with object or user info)";
  recorder->add(entry);
}

TEST(Notify, StatesAreKeptPerNameAndStartAtZero) {
  ASSERT_EQ(hv_notify_uses_daemon(), 0);
  int a = NOTIFY_TOKEN_INVALID, b = NOTIFY_TOKEN_INVALID, other = NOTIFY_TOKEN_INVALID;
  ASSERT_EQ(notify_register_check("hv.test.state", &a), NOTIFY_STATUS_OK);
  ASSERT_EQ(notify_register_check("hv.test.state", &b), NOTIFY_STATUS_OK);
  ASSERT_EQ(notify_register_check("hv.test.state.other", &other), NOTIFY_STATUS_OK);
  EXPECT_NE(a, b);

  uint64_t state = 77;
  ASSERT_EQ(notify_get_state(a, &state), NOTIFY_STATUS_OK);
  EXPECT_EQ(state, 0u) << "a name never set has state 0";

  ASSERT_EQ(notify_set_state(a, 0x48414C5600000000ull), NOTIFY_STATUS_OK);
  ASSERT_EQ(notify_get_state(b, &state), NOTIFY_STATUS_OK);
  EXPECT_EQ(state, 0x48414C5600000000ull) << "the state belongs to the name, not the token";
  ASSERT_EQ(notify_get_state(other, &state), NOTIFY_STATUS_OK);
  EXPECT_EQ(state, 0u);

  EXPECT_EQ(notify_cancel(a), NOTIFY_STATUS_OK);
  EXPECT_FALSE(notify_is_valid_token(a));
  EXPECT_EQ(notify_get_state(a, &state), NOTIFY_STATUS_INVALID_TOKEN);
  EXPECT_EQ(notify_set_state(a, 1), NOTIFY_STATUS_INVALID_TOKEN);
  EXPECT_EQ(notify_cancel(a), NOTIFY_STATUS_INVALID_TOKEN);
  ASSERT_EQ(notify_get_state(b, &state), NOTIFY_STATUS_OK);
  EXPECT_EQ(state, 0x48414C5600000000ull) << "cancelling a token keeps the name's state";
  notify_cancel(b);
  notify_cancel(other);

  int token = 0;
  EXPECT_EQ(notify_register_check(nullptr, &token), NOTIFY_STATUS_INVALID_NAME);
  EXPECT_EQ(notify_register_check("hv.test.state", nullptr), NOTIFY_STATUS_NULL_INPUT);
  EXPECT_EQ(notify_post(nullptr), NOTIFY_STATUS_INVALID_NAME);
  EXPECT_EQ(notify_register_check(std::string(2000, 'x').c_str(), &token),
            NOTIFY_STATUS_INVALID_NAME);
}

TEST(Notify, PostsReachEveryRegistrationInOrderOnOneDeliveryThread) {
  Recorder recorder;
  auto fn = [](int, const char* name, void* context) {
    static_cast<Recorder*>(context)->add(name);
  };
  int first = 0, second = 0, other = 0;
  ASSERT_EQ(hv_notify_register_function("hv.test.order.a", &first, fn, &recorder),
            NOTIFY_STATUS_OK);
  ASSERT_EQ(hv_notify_register_function("hv.test.order.b", &second, fn, &recorder),
            NOTIFY_STATUS_OK);
  ASSERT_EQ(hv_notify_register_function("hv.test.order.a", &other, fn, &recorder),
            NOTIFY_STATUS_OK);

  std::vector<std::string> expected;
  for (int i = 0; i < 50; ++i) {
    const char* name = i % 3 == 0 ? "hv.test.order.b" : "hv.test.order.a";
    ASSERT_EQ(notify_post(name), NOTIFY_STATUS_OK);
    expected.push_back(name);
    if (std::string(name).back() == 'a') expected.push_back(name);  // two registrations for a
  }
  ASSERT_EQ(notify_post("hv.test.order.nobody"), NOTIFY_STATUS_OK);
  ASSERT_TRUE(recorder.wait_for(expected.size()));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(recorder.entries(), expected);
  for (auto thread : recorder.threads()) {
    EXPECT_EQ(thread, recorder.threads().front());
    EXPECT_NE(thread, std::this_thread::get_id());
  }
  notify_cancel(first);
  notify_cancel(second);
  notify_cancel(other);
}

TEST(Notify, CancelWaitsForADeliveryUnderWayAndStopsLaterOnes) {
  struct State {
    std::atomic<bool> inside{false};
    std::atomic<bool> finished{false};
    std::atomic<int> calls{0};
  } state;
  auto slow = [](int, const char*, void* context) {
    auto* s = static_cast<State*>(context);
    s->calls++;
    s->inside = true;
    std::this_thread::sleep_for(100ms);
    s->finished = true;
  };
  int token = 0;
  ASSERT_EQ(hv_notify_register_function("hv.test.cancel", &token, slow, &state), NOTIFY_STATUS_OK);
  ASSERT_EQ(notify_post("hv.test.cancel"), NOTIFY_STATUS_OK);
  for (int i = 0; i < 500 && !state.inside; ++i) std::this_thread::sleep_for(2ms);
  ASSERT_TRUE(state.inside);
  ASSERT_EQ(notify_post("hv.test.cancel"), NOTIFY_STATUS_OK);  // queued behind the running one
  EXPECT_EQ(notify_cancel(token), NOTIFY_STATUS_OK);
  EXPECT_TRUE(state.finished) << "cancel returned while the callback still ran";
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(state.calls, 1) << "a post queued before the cancel was delivered after it";
}

TEST(DarwinCenter, NotifyPostAndCenterPostReachObserversWithTheNameOnly) {
  CFNotificationCenterRef center = CFNotificationCenterGetDarwinNotifyCenter();
  ASSERT_NE(center, nullptr);
  EXPECT_EQ(center, CFNotificationCenterGetDarwinNotifyCenter());
  Recorder one, two;
  CFNotificationCenterAddObserver(center, &one, record_name, CFSTR("hv.test.darwin"), nullptr,
                                  CFNotificationSuspensionBehaviorDeliverImmediately);
  CFNotificationCenterAddObserver(center, &two, record_name, CFSTR("hv.test.darwin"), nullptr,
                                  CFNotificationSuspensionBehaviorDeliverImmediately);
  CFNotificationCenterAddObserver(center, &two, record_name, CFSTR("hv.test.darwin.second"),
                                  nullptr, CFNotificationSuspensionBehaviorDeliverImmediately);

  ASSERT_EQ(notify_post("hv.test.darwin"), NOTIFY_STATUS_OK);
  objc::AutoreleasePool pool;
  id user_info = objc::makeMutableDictionary().leak();
  CFNotificationCenterPostNotification(
      center, CFSTR("hv.test.darwin.second"), &one,
      static_cast<CFDictionaryRef>(static_cast<const void*>(user_info)), TRUE);
  objc::release(user_info);
  ASSERT_TRUE(one.wait_for(1));
  ASSERT_TRUE(two.wait_for(2));
  EXPECT_EQ(one.entries(), std::vector<std::string>{"hv.test.darwin"});
  EXPECT_EQ(two.entries(), (std::vector<std::string>{"hv.test.darwin", "hv.test.darwin.second"}));

  // Removal: one name of one observer, then every name of the other.
  CFNotificationCenterRemoveObserver(center, &two, CFSTR("hv.test.darwin"), nullptr);
  CFNotificationCenterPostNotification(center, CFSTR("hv.test.darwin"), nullptr, nullptr, TRUE);
  CFNotificationCenterPostNotification(center, CFSTR("hv.test.darwin.second"), nullptr, nullptr,
                                       TRUE);
  ASSERT_TRUE(one.wait_for(2));
  ASSERT_TRUE(two.wait_for(3));
  CFNotificationCenterRemoveEveryObserver(center, &two);
  CFNotificationCenterRemoveObserver(center, &one, nullptr, nullptr);
  CFNotificationCenterPostNotification(center, CFSTR("hv.test.darwin"), nullptr, nullptr, TRUE);
  CFNotificationCenterPostNotification(center, CFSTR("hv.test.darwin.second"), nullptr, nullptr,
                                       TRUE);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(one.entries(), (std::vector<std::string>{"hv.test.darwin", "hv.test.darwin"}));
  EXPECT_EQ(two.entries(), (std::vector<std::string>{"hv.test.darwin", "hv.test.darwin.second",
                                                     "hv.test.darwin.second"}));
}

TEST(DarwinCenter, ARegisteredObserverIsReplacedNotDoubled) {
  CFNotificationCenterRef center = CFNotificationCenterGetDarwinNotifyCenter();
  Recorder recorder;
  for (int i = 0; i < 3; ++i) {
    CFNotificationCenterAddObserver(center, &recorder, record_name, CFSTR("hv.test.darwin.once"),
                                    nullptr, CFNotificationSuspensionBehaviorDeliverImmediately);
  }
  CFNotificationCenterPostNotification(center, CFSTR("hv.test.darwin.once"), nullptr, nullptr,
                                       TRUE);
  ASSERT_TRUE(recorder.wait_for(1));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(recorder.size(), 1u);
  CFNotificationCenterRemoveEveryObserver(center, &recorder);
}

// The callback runs on a thread attached to the Foundation, inside a pool of its own that
// is drained when the delivery ends: an object autoreleased by the callback is
// deallocated (on the delivery thread) right after it.
std::atomic<int> probes_deallocated{0};

void probe_dealloc(id self, SEL cmd) {
  probes_deallocated++;
  objc::sendSuper(self, objc::cls("HVPlatformTestProbe"), cmd);
}

Class probe_class() {
  static constinit objc::Message<void()> dealloc{"dealloc"};
  static Class cls =
      objc::ClassBuilder("HVPlatformTestProbe", "NSObject").method(dealloc, &probe_dealloc).build();
  return cls;
}

void create_autoreleased(CFNotificationCenterRef, void* observer, CFNotificationName name,
                         const void*, CFDictionaryRef) {
  auto* recorder = static_cast<Recorder*>(observer);
  objc::Ref dictionary = objc::makeMutableDictionary();
  objc::dictionarySet(dictionary.get(), "name", obj(name));
  id probe = objc::send<id>(objc::send<id>(probe_class(), objc::sel("alloc")), objc::sel("init"));
  objc::autorelease(probe);
  recorder->add(objc::toString(objc::dictionaryGet(dictionary.get(), "name")));
}

TEST(DarwinCenter, DeliveryHasAnAttachedThreadAndAPoolPerCallback) {
  CFNotificationCenterRef center = CFNotificationCenterGetDarwinNotifyCenter();
  probe_class();
  Recorder recorder;
  CFNotificationCenterAddObserver(center, &recorder, create_autoreleased,
                                  CFSTR("hv.test.darwin.pool"), nullptr,
                                  CFNotificationSuspensionBehaviorDeliverImmediately);
  for (int i = 0; i < 3; ++i) {
    CFNotificationCenterPostNotification(center, CFSTR("hv.test.darwin.pool"), nullptr, nullptr,
                                         TRUE);
  }
  ASSERT_TRUE(recorder.wait_for(3));
  EXPECT_EQ(recorder.entries().front(), "hv.test.darwin.pool");
  for (int i = 0; i < 500 && probes_deallocated < 3; ++i) std::this_thread::sleep_for(2ms);
  EXPECT_EQ(probes_deallocated, 3) << "objects autoreleased by a delivery outlived it";
  CFNotificationCenterRemoveEveryObserver(center, &recorder);
}

}  // namespace
