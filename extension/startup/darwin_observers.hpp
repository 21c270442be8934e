// The extension's Darwin observers and what they trigger: re-applying the settings
// ("com.nu-falk.halvernic-executePuppetEvent" and "com.nu-falk.halvernic.runtimeState"),
// restarting the daemon ("com.nu-falk.halvernic-restartThermalMonitor", under the restart
// rule of restart_rule.hpp) and standing down before the package is removed
// ("com.nu-falk.halvernic-standDown").
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <cstdint>

#include "extension/startup/restart_rule.hpp"

namespace halvernic::startup {

// Registers the four observers on the Darwin notify center, in order (the three of the
// contract's table, then the stand-down), for observer (no object filter, delivered
// immediately).
void registerDarwinObservers(const void* observer);

// The engine applies the settings now and schedules its delayed re-applications. Every
// argument is ignored.
void reapplyHandler(CFNotificationCenterRef center, void* observer, CFNotificationName name,
                    const void* object, CFDictionaryRef userInfo);

// Asks the restart rule and returns at once. When it schedules an end, a work item on the
// default global queue ends the process at the rule's deadline: it asks the rule once more,
// then logs "halvernic: restarting thermalmonitord after CPU mode change" and sends SIGTERM
// to this process. Every argument is ignored.
void restartHandler(CFNotificationCenterRef center, void* observer, CFNotificationName name,
                    const void* object, CFDictionaryRef userInfo);

// A restart of the daemon asked for from inside the process (the overheat protection changed
// the mode in force): the same rule, the same work item as restartHandler's.
void requestRestart();

// The restart rule refuses every restart from now on, at once; then, on the default global
// queue, the replacement layer's snapshot and the engine stand down (the engine puts the
// daemon and the OS thermal status store back to native after its last application), and
// "com.nu-falk.halvernic-stoodDown" is posted with this process's id as its state. Every
// argument is ignored.
void standDownHandler(CFNotificationCenterRef center, void* observer, CFNotificationName name,
                      const void* object, CFDictionaryRef userInfo);

// When the library was loaded (os::monotonicNanoseconds): the start of the throttle
// interval. The load-time initialiser notes it; without that, the first use of the rule.
void noteLibraryLoaded() noexcept;
// The process's one restart rule, made on first use.
RestartRule& restartRule();

}  // namespace halvernic::startup
