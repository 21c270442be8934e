// libdispatch, the subset this system uses. Every global queue feeds one small pool of
// worker threads; each worker is attached to the Foundation for its life and runs every
// item inside its own autorelease pool. Delayed items wait in a deadline-ordered heap and
// never run before their deadline (monotonic clock).
//
// A process that runs a simulated device's time (<hvplatform/dispatch_testing.h>) has its
// deadlines measured on that time instead: delayed items become due only as the process
// moves the device's clock on, and run when it asks for what is due.
#include <dispatch/dispatch.h>
#include <mach/mach_time.h>

#include <Block.h>
#include <time.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <queue>
#include <thread>
#include <vector>

#include "common/objc/ref.hpp"
#include "common/objc/thread.hpp"
#include "hvplatform/dispatch_testing.h"

namespace {

constexpr int kWorkers = 4;

// Set once, before the process schedules anything (HVDispatchFollowDeviceTime).
std::atomic<bool> gFollowsDevice{false};

std::uint64_t now_ns() {
  if (gFollowsDevice.load(std::memory_order_acquire)) return mach_continuous_time();
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::uint64_t>(ts.tv_sec) * NSEC_PER_SEC +
         static_cast<std::uint64_t>(ts.tv_nsec);
}

struct Item {
  void* context;
  dispatch_function_t work;
};

struct Timed {
  std::uint64_t deadline;
  std::uint64_t order;  // equal deadlines run in the order they were scheduled
  Item item;
  bool operator>(const Timed& other) const {
    return deadline != other.deadline ? deadline > other.deadline : order > other.order;
  }
};

class Pool {
public:
  static Pool& instance() {
    static Pool* pool = new Pool;  // workers outlive static destruction
    return *pool;
  }

  void async(Item item) {
    std::lock_guard<std::mutex> lock(mutex_);
    start_workers_locked();
    ready_.push_back(item);
    cv_.notify_one();
  }

  void after(std::uint64_t deadline, Item item) {
    std::lock_guard<std::mutex> lock(mutex_);
    start_workers_locked();
    timers_.push(Timed{deadline, next_order_++, item});
    // An earlier deadline than any worker is waiting for: let every idle worker re-plan.
    cv_.notify_all();
  }

  // Runs what is due by the device's time now, and what that schedules due by then;
  // returns once none of it is left to run or running.
  void run_due() {
    std::unique_lock<std::mutex> lock(mutex_);
    start_workers_locked();
    cv_.notify_all();
    idle_.wait(lock, [this] {
      return ready_.empty() && running_ == 0 &&
             (timers_.empty() || timers_.top().deadline > now_ns());
    });
  }

private:
  void start_workers_locked() {
    if (started_) return;
    started_ = true;
    for (int i = 0; i < kWorkers; ++i) std::thread([this] { work_forever(); }).detach();
  }

  void work_forever() {
    objc::attachCurrentThread();
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      const std::uint64_t now = now_ns();
      while (!timers_.empty() && timers_.top().deadline <= now) {
        ready_.push_back(timers_.top().item);
        timers_.pop();
      }
      // On the device's time the items run one at a time, in deadline order: a trace of
      // the daemon is the same at every run.
      const bool serial = gFollowsDevice.load(std::memory_order_acquire);
      if (!ready_.empty() && (!serial || running_ == 0)) {
        Item item = ready_.front();
        ready_.pop_front();
        if (!ready_.empty() && !serial) cv_.notify_one();
        ++running_;
        lock.unlock();
        {
          objc::AutoreleasePool pool;
          item.work(item.context);
        }
        lock.lock();
        --running_;
        idle_.notify_all();
        if (serial) cv_.notify_one();
        continue;
      }
      // On the device's time a deadline passes only when the process moves the clock on
      // and asks for what is due (run_due wakes every worker).
      if (timers_.empty() || serial) {
        idle_.notify_all();
        cv_.wait(lock);
      } else {
        const auto deadline =
            std::chrono::steady_clock::time_point(std::chrono::nanoseconds(timers_.top().deadline));
        cv_.wait_until(lock, deadline);
      }
    }
  }

  std::mutex mutex_;
  std::condition_variable cv_;
  std::condition_variable idle_;  // an item finished, or a worker found nothing to run
  int running_ = 0;
  std::deque<Item> ready_;
  std::priority_queue<Timed, std::vector<Timed>, std::greater<Timed>> timers_;
  std::uint64_t next_order_ = 0;
  bool started_ = false;
};

// The global queues: one object per quality-of-service class, all fed to the same pool.
struct alignas(16) QueueStorage {
  unsigned char bytes[16];
};
std::array<QueueStorage, 6> global_queues;

dispatch_queue_global_t global_queue(std::size_t index) {
  return reinterpret_cast<dispatch_queue_global_t>(&global_queues[index]);
}

bool is_global_queue(dispatch_queue_t queue) {
  const auto* storage = reinterpret_cast<const QueueStorage*>(queue);
  return storage >= global_queues.data() && storage < global_queues.data() + global_queues.size();
}

void require_queue(dispatch_queue_t queue, const char* function) {
  if (is_global_queue(queue)) return;
  std::fprintf(stderr, "BUG IN CLIENT OF LIBDISPATCH: %s called with an unknown queue %p\n",
               function, static_cast<void*>(queue));
  std::abort();
}

void call_block(void* block) {
  auto typed = reinterpret_cast<dispatch_block_t>(block);
  typed();
  Block_release(typed);
}

}  // namespace

#define HV_DISPATCH_API extern "C" [[gnu::visibility("default")]]

HV_DISPATCH_API void HVDispatchFollowDeviceTime(void) {
  gFollowsDevice.store(true, std::memory_order_release);
}

HV_DISPATCH_API void HVDispatchRunDue(void) { Pool::instance().run_due(); }

HV_DISPATCH_API dispatch_time_t dispatch_time(dispatch_time_t when, int64_t delta) {
  if (when == DISPATCH_TIME_FOREVER) return DISPATCH_TIME_FOREVER;
  const std::uint64_t base = when == DISPATCH_TIME_NOW ? now_ns() : when;
  if (delta >= 0) {
    const std::uint64_t step = static_cast<std::uint64_t>(delta);
    if (base + step < base || base + step >= static_cast<std::uint64_t>(INT64_MAX)) {
      return DISPATCH_TIME_FOREVER;
    }
    return base + step;
  }
  const std::uint64_t back = static_cast<std::uint64_t>(-(delta + 1)) + 1;
  return base > back ? base - back : 1;  // 1: the earliest time that is not "now"
}

HV_DISPATCH_API dispatch_queue_global_t dispatch_get_global_queue(intptr_t identifier,
                                                                  uintptr_t flags) {
  if (flags != 0) return nullptr;
  switch (identifier) {
    case QOS_CLASS_USER_INTERACTIVE: return global_queue(0);
    case QOS_CLASS_USER_INITIATED:
    case DISPATCH_QUEUE_PRIORITY_HIGH: return global_queue(1);
    case QOS_CLASS_DEFAULT:
    case DISPATCH_QUEUE_PRIORITY_DEFAULT: return global_queue(2);
    case QOS_CLASS_UTILITY:
    case DISPATCH_QUEUE_PRIORITY_LOW: return global_queue(3);
    case QOS_CLASS_BACKGROUND:
    case DISPATCH_QUEUE_PRIORITY_BACKGROUND: return global_queue(4);
    default: return nullptr;
  }
}

HV_DISPATCH_API void dispatch_async_f(dispatch_queue_t queue, void* context,
                                      dispatch_function_t work) {
  require_queue(queue, "dispatch_async_f");
  if (!work) return;
  Pool::instance().async({context, work});
}

HV_DISPATCH_API void dispatch_after_f(dispatch_time_t when, dispatch_queue_t queue, void* context,
                                      dispatch_function_t work) {
  require_queue(queue, "dispatch_after_f");
  if (!work || when == DISPATCH_TIME_FOREVER) return;  // never due
  if (when == DISPATCH_TIME_NOW) {
    Pool::instance().async({context, work});
    return;
  }
  Pool::instance().after(when, {context, work});
}

HV_DISPATCH_API void dispatch_once_f(dispatch_once_t* predicate, void* context,
                                     dispatch_function_t function) {
  // 0: not run; 1: running; ~0: done (the platform's done value).
  constexpr intptr_t kRunning = 1;
  constexpr intptr_t kDone = ~intptr_t{0};
  std::atomic_ref<intptr_t> state(*predicate);
  intptr_t seen = state.load(std::memory_order_acquire);
  if (seen == kDone) return;
  intptr_t expected = 0;
  if (state.compare_exchange_strong(expected, kRunning, std::memory_order_acq_rel)) {
    function(context);
    state.store(kDone, std::memory_order_release);
    state.notify_all();
    return;
  }
  while ((seen = state.load(std::memory_order_acquire)) != kDone)
    state.wait(seen, std::memory_order_acquire);
}

HV_DISPATCH_API void dispatch_async(dispatch_queue_t queue, dispatch_block_t block) {
  require_queue(queue, "dispatch_async");
  if (!block) return;
  dispatch_async_f(queue, reinterpret_cast<void*>(Block_copy(block)), call_block);
}

HV_DISPATCH_API void dispatch_after(dispatch_time_t when, dispatch_queue_t queue,
                                    dispatch_block_t block) {
  require_queue(queue, "dispatch_after");
  if (!block || when == DISPATCH_TIME_FOREVER) return;
  dispatch_after_f(when, queue, reinterpret_cast<void*>(Block_copy(block)), call_block);
}

HV_DISPATCH_API void dispatch_once(dispatch_once_t* predicate, dispatch_block_t block) {
  dispatch_once_f(predicate, reinterpret_cast<void*>(block),
                  [](void* context) { reinterpret_cast<dispatch_block_t>(context)(); });
}
