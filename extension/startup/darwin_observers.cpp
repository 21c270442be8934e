#include "extension/startup/darwin_observers.hpp"

#include <dispatch/dispatch.h>
#include <notify.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "common/objc/foundation.hpp"
#include "common/objc/thread.hpp"
#include "common/os/clock.hpp"
#include "extension/contract/contract.hpp"
#include "extension/policy/power_helper.hpp"
#include "extension/replacements/preference_snapshot.hpp"

namespace halvernic::startup {

namespace {

std::atomic<std::int64_t> gLoadTime{0};

dispatch_queue_t defaultQueue() { return dispatch_get_global_queue(QOS_CLASS_DEFAULT, 0); }

bool restartChangesNothing() { return HPowerHepler::shared().restartWouldChangeNothing(); }

void restartWorkItem(void*) {
  bool end = false;
  objc::runAttached([&] {
    end = restartRule().due(&restartChangesNothing);
    if (end) objc::log("halvernic: restarting thermalmonitord after CPU mode change");
  });
  if (end) kill(getpid(), SIGTERM);
}

// The name's notify state is this process's id; the name is posted.
void acknowledgeStandDown() {
  int token = 0;
  if (notify_register_check(contract::kStoodDownNotification, &token) != NOTIFY_STATUS_OK) return;
  notify_set_state(token, static_cast<std::uint64_t>(getpid()));
  notify_post(contract::kStoodDownNotification);
  notify_cancel(token);
}

void standDownWorkItem(void*) {
  objc::runAttached([] {
    replacements::preferenceSnapshot().standDown();
    HPowerHepler::shared().standDown();
    acknowledgeStandDown();
  });
}

// The observers stay registered for the life of the process. The center keeps its own
// reference to each name, so the one made here is released once it is added.
void addObserver(CFNotificationCenterRef center, const void* observer,
                 CFNotificationCallback handler, const char* name) {
  CFStringRef cfName = CFStringCreateWithCString(kCFAllocatorDefault, name, kCFStringEncodingUTF8);
  if (!cfName) return;
  CFNotificationCenterAddObserver(center, observer, handler, cfName, nullptr,
                                  CFNotificationSuspensionBehaviorDeliverImmediately);
  CFRelease(cfName);
}

}  // namespace

void noteLibraryLoaded() noexcept {
  std::int64_t expected = 0;
  gLoadTime.compare_exchange_strong(expected, os::monotonicNanoseconds());
}

RestartRule& restartRule() {
  static RestartRule* rule = [] {
    noteLibraryLoaded();  // no effect when the initialiser noted it
    return new RestartRule(gLoadTime.load(), &daemonThrottleInterval);
  }();
  return *rule;
}

void registerDarwinObservers(const void* observer) {
  CFNotificationCenterRef center = CFNotificationCenterGetDarwinNotifyCenter();
  addObserver(center, observer, &reapplyHandler, contract::kExecutePuppetEventNotification);
  addObserver(center, observer, &reapplyHandler, contract::kRuntimeStateNotification);
  addObserver(center, observer, &restartHandler, contract::kRestartThermalMonitorNotification);
  addObserver(center, observer, &standDownHandler, contract::kStandDownNotification);
}

void reapplyHandler(CFNotificationCenterRef, void*, CFNotificationName, const void*,
                    CFDictionaryRef) {
  objc::runAttached([] {
    HPowerHepler& engine = HPowerHepler::shared();
    engine.applyThermalState();
    engine.scheduleReapplications();
  });
}

void requestRestart() {
  objc::runAttached([] {
    RestartRule& rule = restartRule();
    const std::int64_t now = os::monotonicNanoseconds();
    const RestartRule::Decision decision = rule.request(now, &restartChangesNothing);
    if (decision.outcome != RestartRule::Outcome::scheduled) return;
    const std::int64_t delay = decision.deadline - now;
    objc::log("halvernic: restart scheduled in %d ms", static_cast<int>(delay / 1'000'000));
    dispatch_after_f(dispatch_time(DISPATCH_TIME_NOW, delay), defaultQueue(), nullptr,
                     &restartWorkItem);
  });
}

void restartHandler(CFNotificationCenterRef, void*, CFNotificationName, const void*,
                    CFDictionaryRef) {
  requestRestart();
}

void standDownHandler(CFNotificationCenterRef, void*, CFNotificationName, const void*,
                      CFDictionaryRef) {
  // At once, before anything else can be scheduled: a restart now would relaunch the daemon
  // with the library of a package being removed.
  restartRule().standDown();
  dispatch_async_f(defaultQueue(), nullptr, &standDownWorkItem);
}

}  // namespace halvernic::startup
