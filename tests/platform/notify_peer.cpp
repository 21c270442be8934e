// The other process of the notify end-to-end tests. Talks to the daemon named by
// HALVERNIC_NOTIFY_SOCKET, as its parent does.
//   notify_peer echo        on "hv.e2e.ping": pong state = ping state + 1, post "hv.e2e.pong"
//   notify_peer burst N     posts N names of "hv.e2e.order.{a,b,c}" in a fixed pattern
//   notify_peer crash       watches a name, says "hv.e2e.crash.ready", then aborts
// Exit status: 0 done, 2 bad use, 3 a wait ran out, 4 a notify call failed.
#include <CoreFoundation/CoreFoundation.h>
#include <notify.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "common/objc/thread.hpp"
#include "hvplatform/notify_function.h"

namespace {

std::mutex mutex;
std::condition_variable pinged_cv;
bool pinged = false;

void on_ping(CFNotificationCenterRef, void*, CFNotificationName, const void*, CFDictionaryRef) {
  std::lock_guard<std::mutex> lock(mutex);
  pinged = true;
  pinged_cv.notify_all();
}

int echo() {
  CFNotificationCenterAddObserver(CFNotificationCenterGetDarwinNotifyCenter(), nullptr, on_ping,
                                  CFSTR("hv.e2e.ping"), nullptr,
                                  CFNotificationSuspensionBehaviorDeliverImmediately);
  if (notify_post("hv.e2e.ready") != NOTIFY_STATUS_OK) return 4;
  {
    std::unique_lock<std::mutex> lock(mutex);
    if (!pinged_cv.wait_for(lock, std::chrono::seconds(10), [] { return pinged; })) return 3;
  }
  int ping = 0, pong = 0;
  uint64_t state = 0;
  if (notify_register_check("hv.e2e.ping", &ping) || notify_get_state(ping, &state)) return 4;
  if (notify_register_check("hv.e2e.pong", &pong) || notify_set_state(pong, state + 1)) return 4;
  CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(),
                                       CFSTR("hv.e2e.pong"), nullptr, nullptr, TRUE);
  notify_cancel(ping);
  notify_cancel(pong);
  return 0;
}

int burst(int count) {
  static const char* const names[] = {"hv.e2e.order.a", "hv.e2e.order.b", "hv.e2e.order.c"};
  for (int i = 0; i < count; ++i) {
    if (notify_post(names[(i * 7 + i / 3) % 3]) != NOTIFY_STATUS_OK) return 4;
  }
  return 0;
}

int crash() {
  int token = 0;
  if (hv_notify_register_function("hv.e2e.crash", &token, [](int, const char*, void*) {}, nullptr))
    return 4;
  if (notify_post("hv.e2e.crash.ready")) return 4;
  std::abort();
}

}  // namespace

int main(int argc, char** argv) {
  objc::attachCurrentThread();
  objc::AutoreleasePool pool;
  if (argc == 2 && std::strcmp(argv[1], "echo") == 0) return echo();
  if (argc == 3 && std::strcmp(argv[1], "burst") == 0) return burst(std::atoi(argv[2]));
  if (argc == 2 && std::strcmp(argv[1], "crash") == 0) return crash();
  std::fprintf(stderr, "usage: notify_peer echo | burst N | crash\n");
  return 2;
}
