// What another observer of the notify service sees of the module's announcements: the
// three names in the order they were delivered, and the runtime-state word as it stood when
// its own post arrived. Works in one process and across processes (with a notify daemon).
#pragma once

#include <notify.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "extension/contract/contract.hpp"
#include "hvplatform/notify_function.h"

namespace hv_test {

namespace contract = halvernic::contract;

constexpr char kSentinel[] = "hv-test.ccmodule.sentinel";

// The three names the module posts, in the order the notify service delivered them (on its
// own thread), with the runtime-state word as it stood when its own post arrived.
class Publications {
public:
  Publications() {
    for (const char* name :
         {contract::kRuntimeStateNotification, contract::kExecutePuppetEventNotification,
          contract::kRestartThermalMonitorNotification, kSentinel}) {
      int token = 0;
      EXPECT_EQ(hv_notify_register_function(name, &token, &Publications::on_post, this),
                NOTIFY_STATUS_OK);
      tokens_.push_back(token);
    }
    EXPECT_EQ(notify_register_check(contract::kRuntimeStateNotification, &state_token_),
              NOTIFY_STATUS_OK);
    notify_set_state(state_token_, 0);
  }
  ~Publications() {
    for (int token : tokens_) notify_cancel(token);
    notify_cancel(state_token_);
  }
  // Everything posted before this call, once delivered (posts arrive in the order they were
  // made, so the sentinel comes last); bounded at five seconds.
  std::vector<std::string> names() {
    notify_post(kSentinel);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
      {
        std::lock_guard lock(mutex_);
        if (sentinels_ > 0 || std::chrono::steady_clock::now() >= deadline) {
          if (sentinels_ > 0) --sentinels_;
          return names_;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  std::vector<uint64_t> words() {
    std::lock_guard lock(mutex_);
    return words_;
  }

private:
  static void on_post(int, const char* name, void* context) {
    auto* self = static_cast<Publications*>(context);
    uint64_t word = 0;
    notify_get_state(self->state_token_, &word);
    std::lock_guard lock(self->mutex_);
    if (std::string(name) == kSentinel) {
      ++self->sentinels_;
      return;
    }
    self->names_.push_back(name);
    if (std::string(name) == contract::kRuntimeStateNotification) self->words_.push_back(word);
  }
  std::vector<int> tokens_;
  int state_token_ = 0;
  std::mutex mutex_;
  std::vector<std::string> names_;
  std::vector<uint64_t> words_;
  int sentinels_ = 0;
};

inline const std::vector<std::string> kOneChoice = {contract::kRuntimeStateNotification,
                                                    contract::kExecutePuppetEventNotification,
                                                    contract::kRestartThermalMonitorNotification};

}  // namespace hv_test
