#include "extension/startup/darwin_observers.hpp"

#include <dispatch/dispatch.h>
#include <signal.h>
#include <unistd.h>

#include "common/objc/foundation.hpp"
#include "common/objc/thread.hpp"
#include "extension/contract/contract.hpp"
#include "extension/policy/power_helper.hpp"

namespace halvernic::startup {

namespace {

void restartWorkItem(void*) {
  objc::run_attached(
      [] { objc::log("halvernic: restarting thermalmonitord after CPU mode change"); });
  kill(getpid(), SIGTERM);
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

void registerDarwinObservers(const void* observer) {
  CFNotificationCenterRef center = CFNotificationCenterGetDarwinNotifyCenter();
  addObserver(center, observer, &reapplyHandler, contract::kExecutePuppetEventNotification);
  addObserver(center, observer, &reapplyHandler, contract::kRuntimeStateNotification);
  addObserver(center, observer, &restartHandler, contract::kRestartThermalMonitorNotification);
}

void reapplyHandler(CFNotificationCenterRef, void*, CFNotificationName, const void*,
                    CFDictionaryRef) {
  objc::run_attached([] {
    HPowerHepler& engine = HPowerHepler::shared();
    engine.applyThermalState();
    engine.scheduleReapplications();
  });
}

void restartHandler(CFNotificationCenterRef, void*, CFNotificationName, const void*,
                    CFDictionaryRef) {
  dispatch_after_f(dispatch_time(DISPATCH_TIME_NOW, kRestartDelayNanoseconds),
                   dispatch_get_global_queue(QOS_CLASS_DEFAULT, 0), nullptr, &restartWorkItem);
}

}  // namespace halvernic::startup
