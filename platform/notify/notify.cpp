// notify(3): names and their 64-bit states, system-wide through hv-notifyd when
// HALVERNIC_NOTIFY_SOCKET names its socket, inside the process otherwise.
//
// Tokens are this process's own. Callback registrations (hvplatform/notify_function.h)
// are delivered on one delivery thread per process, in the order the posts arrived.
#include <notify.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "hvplatform/environment.h"
#include "hvplatform/notify_function.h"
#include "platform/notify/connection.hpp"

namespace hv::notify {
namespace {

struct Registration {
  int token;
  std::string name;
  hv_notify_function_t function;  // nullptr for a check-style registration
  void* context;
  bool active = true;  // guarded by Service::mutex_
};
using RegistrationPtr = std::shared_ptr<Registration>;

class Service {
public:
  static Service& instance() {
    // Never destroyed: the delivery and reader threads may outlive static destruction.
    static Service* service = new Service;
    return *service;
  }

  bool uses_daemon() const { return connection_ != nullptr; }

  std::uint32_t register_check(const char* name, int* out_token) {
    if (std::uint32_t status = validate(name, out_token)) return status;
    if (connection_) {
      if (std::uint32_t status = connection_->request(Op::kRegister, name)) return status;
    }
    auto registration =
        std::make_shared<Registration>(Registration{next_token(), name, nullptr, nullptr});
    std::lock_guard<std::mutex> lock(mutex_);
    tokens_[registration->token] = registration;
    *out_token = registration->token;
    return NOTIFY_STATUS_OK;
  }

  std::uint32_t register_function(const char* name, int* out_token, hv_notify_function_t function,
                                  void* context) {
    if (std::uint32_t status = validate(name, out_token)) return status;
    if (!function) return NOTIFY_STATUS_NULL_INPUT;
    auto registration =
        std::make_shared<Registration>(Registration{next_token(), name, function, context});
    // watch_mutex_ keeps the daemon's watch of a name in step with this process's
    // registrations of it (a watch and an unwatch never overtake each other).
    std::lock_guard<std::mutex> watch(watch_mutex_);
    bool first_for_name;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto found = by_name_.find(registration->name);
      first_for_name = found == by_name_.end() || found->second.empty();
    }
    if (connection_ && first_for_name) {
      if (std::uint32_t status = connection_->request(Op::kWatch, name)) return status;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    tokens_[registration->token] = registration;
    by_name_[registration->name].push_back(registration);
    start_delivery_locked();
    *out_token = registration->token;
    return NOTIFY_STATUS_OK;
  }

  std::uint32_t cancel(int token) {
    RegistrationPtr registration;
    {
      std::lock_guard<std::mutex> watch(watch_mutex_);
      bool last_for_name = false;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = tokens_.find(token);
        if (found == tokens_.end()) return NOTIFY_STATUS_INVALID_TOKEN;
        registration = found->second;
        tokens_.erase(found);
        registration->active = false;
        if (registration->function) {
          auto& list = by_name_[registration->name];
          std::erase(list, registration);
          if (list.empty()) {
            by_name_.erase(registration->name);
            last_for_name = true;
          }
        }
      }
      if (connection_ && last_for_name) connection_->request(Op::kUnwatch, registration->name);
    }
    // A delivery to this registration that is under way finishes before cancel returns,
    // unless it is the caller itself.
    std::unique_lock<std::mutex> lock(mutex_);
    if (std::this_thread::get_id() != delivery_thread_id_) {
      idle_cv_.wait(lock, [&] { return delivering_ != registration; });
    }
    return NOTIFY_STATUS_OK;
  }

  std::uint32_t post(const char* name) {
    if (std::uint32_t status = validate_name(name)) return status;
    if (connection_) return connection_->request(Op::kPost, name);
    enqueue_event(name);
    return NOTIFY_STATUS_OK;
  }

  std::uint32_t set_state(int token, std::uint64_t state) {
    std::string name;
    if (!name_of(token, &name)) return NOTIFY_STATUS_INVALID_TOKEN;
    if (connection_) return connection_->request(Op::kSetState, name, state);
    std::lock_guard<std::mutex> lock(mutex_);
    local_states_[name] = state;
    return NOTIFY_STATUS_OK;
  }

  std::uint32_t get_state(int token, std::uint64_t* state) {
    if (!state) return NOTIFY_STATUS_NULL_INPUT;
    std::string name;
    if (!name_of(token, &name)) return NOTIFY_STATUS_INVALID_TOKEN;
    if (connection_) {
      std::uint64_t value = 0;
      std::uint32_t status = connection_->request(Op::kGetState, name, 0, &value);
      if (status == NOTIFY_STATUS_OK) *state = value;
      return status;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = local_states_.find(name);
    *state = found == local_states_.end() ? 0 : found->second;
    return NOTIFY_STATUS_OK;
  }

  bool is_valid(int token) {
    std::lock_guard<std::mutex> lock(mutex_);
    return tokens_.count(token) != 0;
  }

private:
  Service() {
    const char* socket_path = std::getenv(HV_ENV_NOTIFY_SOCKET);
    if (socket_path && *socket_path) {
      connection_ = std::make_unique<Connection>(
          socket_path, [this](std::string_view name) { enqueue_event(name); },
          [this] { return watched_names(); });
    }
  }

  static std::uint32_t validate_name(const char* name) {
    if (!name) return NOTIFY_STATUS_INVALID_NAME;
    if (std::strlen(name) > kMaxNameLength) return NOTIFY_STATUS_INVALID_NAME;
    return NOTIFY_STATUS_OK;
  }
  static std::uint32_t validate(const char* name, int* out_token) {
    if (std::uint32_t status = validate_name(name)) return status;
    return out_token ? NOTIFY_STATUS_OK : NOTIFY_STATUS_NULL_INPUT;
  }

  int next_token() { return next_token_.fetch_add(1, std::memory_order_relaxed); }

  bool name_of(int token, std::string* name) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = tokens_.find(token);
    if (found == tokens_.end()) return false;
    *name = found->second->name;
    return true;
  }

  std::vector<std::string> watched_names() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> names;
    for (const auto& [name, list] : by_name_) {
      if (!list.empty()) names.push_back(name);
    }
    return names;
  }

  void enqueue_event(std::string_view name) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (by_name_.find(std::string(name)) == by_name_.end()) return;
    events_.emplace_back(name);
    events_cv_.notify_one();
  }

  void start_delivery_locked() {
    if (delivery_started_) return;
    delivery_started_ = true;
    std::thread([this] { deliver_forever(); }).detach();
  }

  void deliver_forever() {
    std::unique_lock<std::mutex> lock(mutex_);
    delivery_thread_id_ = std::this_thread::get_id();
    for (;;) {
      events_cv_.wait(lock, [this] { return !events_.empty(); });
      const std::string name = std::move(events_.front());
      events_.pop_front();
      auto found = by_name_.find(name);
      if (found == by_name_.end()) continue;
      const std::vector<RegistrationPtr> receivers = found->second;
      for (const RegistrationPtr& registration : receivers) {
        if (!registration->active) continue;
        delivering_ = registration;
        lock.unlock();
        registration->function(registration->token, registration->name.c_str(),
                               registration->context);
        lock.lock();
        delivering_.reset();
        idle_cv_.notify_all();
      }
    }
  }

  std::unique_ptr<Connection> connection_;  // set once, before any use
  std::atomic<int> next_token_{1};

  std::mutex watch_mutex_;
  std::mutex mutex_;  // everything below
  std::unordered_map<int, RegistrationPtr> tokens_;
  std::unordered_map<std::string, std::vector<RegistrationPtr>> by_name_;
  std::unordered_map<std::string, std::uint64_t> local_states_;
  std::deque<std::string> events_;
  std::condition_variable events_cv_;
  std::condition_variable idle_cv_;
  RegistrationPtr delivering_;
  bool delivery_started_ = false;
  std::thread::id delivery_thread_id_;
};

}  // namespace
}  // namespace hv::notify

using hv::notify::Service;

#define HV_NOTIFY_API extern "C" [[gnu::visibility("default")]]

HV_NOTIFY_API uint32_t notify_register_check(const char* name, int* out_token) {
  return Service::instance().register_check(name, out_token);
}
HV_NOTIFY_API uint32_t notify_post(const char* name) { return Service::instance().post(name); }
HV_NOTIFY_API uint32_t notify_cancel(int token) { return Service::instance().cancel(token); }
HV_NOTIFY_API uint32_t notify_set_state(int token, uint64_t state64) {
  return Service::instance().set_state(token, state64);
}
HV_NOTIFY_API uint32_t notify_get_state(int token, uint64_t* state64) {
  return Service::instance().get_state(token, state64);
}
HV_NOTIFY_API bool notify_is_valid_token(int val) { return Service::instance().is_valid(val); }
HV_NOTIFY_API uint32_t hv_notify_register_function(const char* name, int* out_token,
                                                   hv_notify_function_t fn, void* context) {
  return Service::instance().register_function(name, out_token, fn, context);
}
HV_NOTIFY_API int hv_notify_uses_daemon(void) { return Service::instance().uses_daemon() ? 1 : 0; }
