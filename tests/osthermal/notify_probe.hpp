// Test helpers around the notify stand-in: a held registration to read a name's state, and
// a counter of posts of a name.
#pragma once

#include <notify.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include "hvplatform/notify_function.h"

namespace hv_test {

// Holds a registration for a name for its lifetime and reads the name's state through it.
class NotifyState {
public:
  explicit NotifyState(const std::string& name) {
    status_ = notify_register_check(name.c_str(), &token_);
  }
  ~NotifyState() {
    if (status_ == NOTIFY_STATUS_OK) notify_cancel(token_);
  }
  NotifyState(const NotifyState&) = delete;
  NotifyState& operator=(const NotifyState&) = delete;

  bool ok() const { return status_ == NOTIFY_STATUS_OK; }
  uint64_t get() const {
    uint64_t state = 0xDEADDEADDEADDEADull;
    notify_get_state(token_, &state);
    return state;
  }
  void set(uint64_t state) const { notify_set_state(token_, state); }

private:
  int token_ = 0;
  uint32_t status_ = NOTIFY_STATUS_FAILED;
};

// Counts the posts of a name (delivered on the notify stand-in's own thread).
class PostCounter {
public:
  explicit PostCounter(const std::string& name) {
    status_ = hv_notify_register_function(name.c_str(), &token_, &PostCounter::on_post, this);
  }
  ~PostCounter() {
    if (status_ == NOTIFY_STATUS_OK) notify_cancel(token_);
  }
  PostCounter(const PostCounter&) = delete;
  PostCounter& operator=(const PostCounter&) = delete;

  bool ok() const { return status_ == NOTIFY_STATUS_OK; }
  // Waits (at most two seconds) until at least n posts arrived; returns the count then.
  int wait_for(int n) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (count_.load() < n && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return count_.load();
  }

private:
  static void on_post(int, const char*, void* context) {
    static_cast<PostCounter*>(context)->count_.fetch_add(1);
  }
  int token_ = 0;
  uint32_t status_ = NOTIFY_STATUS_FAILED;
  std::atomic<int> count_{0};
};

}  // namespace hv_test
