// A local process flooding a simulated device with restart notifications, as any process
// may: hv-device-flood SOCKET PREFERENCES SECONDS RATE [MODE,MODE]. Posts
// "com.nu-falk.halvernic-restartThermalMonitor" RATE times a second for SECONDS through the
// device's notify daemon at SOCKET; with two modes, writes thermalPowerMode into the
// preferences file at PREFERENCES every second, alternating, straight into the file (no
// re-apply post). Exits 0, or 2 for a wrong command line.
#include <CoreFoundation/CoreFoundation.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "common/objc/foundation.hpp"
#include "common/objc/thread.hpp"
#include "extension/contract/contract.hpp"
#include "hvplatform/environment.h"

int main(int argc, char** argv) {
  if (argc != 5 && argc != 6) {
    std::fprintf(stderr, "usage: hv-device-flood SOCKET PREFERENCES SECONDS RATE [MODE,MODE]\n");
    return 2;
  }
  ::setenv(HV_ENV_NOTIFY_SOCKET, argv[1], 1);
  const std::string preferences = argv[2];
  const int seconds = std::atoi(argv[3]);
  const int rate = std::atoi(argv[4]);
  std::string modes[2];
  if (argc == 6) {
    const std::string both = argv[5];
    const std::size_t comma = both.find(',');
    if (comma == std::string::npos) return 2;
    modes[0] = both.substr(0, comma);
    modes[1] = both.substr(comma + 1);
  }
  if (seconds <= 0 || rate <= 0) return 2;
  objc::attachCurrentThread();
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  const int posts = seconds * rate;
  for (int i = 0; i < posts; ++i) {
    std::this_thread::sleep_until(start + std::chrono::microseconds(1'000'000LL * i / rate));
    objc::AutoreleasePool pool;
    if (!modes[0].empty() && i % rate == 0) {
      halvernic::contract::writePreferenceValue(preferences, halvernic::contract::kPowerModeKey,
                                                objc::string(modes[(i / rate) % 2]));
    }
    CFNotificationCenterPostNotification(
        CFNotificationCenterGetDarwinNotifyCenter(),
        reinterpret_cast<CFStringRef>(
            objc::string(halvernic::contract::kRestartThermalMonitorNotification)),
        nullptr, nullptr, true);
  }
  std::this_thread::sleep_until(start + std::chrono::seconds(seconds));
  return 0;
}
