// The extension's three Darwin observers and what they trigger: re-applying the settings
// ("com.nu-falk.halvernic-executePuppetEvent" and "com.nu-falk.halvernic.runtimeState")
// and restarting the daemon ("com.nu-falk.halvernic-restartThermalMonitor").
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <cstdint>

namespace halvernic::startup {

// How long after a restart notification the process ends.
inline constexpr std::int64_t kRestartDelayNanoseconds = 200'000'000;  // 0.2 s

// Registers the three observers on the Darwin notify center, in order, for observer (no
// object filter, delivered immediately).
void registerDarwinObservers(const void* observer);

// The engine applies the settings now and schedules its delayed re-applications. Every
// argument is ignored.
void reapplyHandler(CFNotificationCenterRef center, void* observer, CFNotificationName name,
                    const void* object, CFDictionaryRef userInfo);

// Schedules the restart (a work item 0.2 seconds later on the default global queue that
// logs and sends SIGTERM to this process) and returns at once. Every argument is ignored.
void restartHandler(CFNotificationCenterRef center, void* observer, CFNotificationName name,
                    const void* object, CFDictionaryRef userInfo);

}  // namespace halvernic::startup
