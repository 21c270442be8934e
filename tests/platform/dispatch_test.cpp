// The dispatch stand-in: deadlines, the worker threads, once-only initialisation.
#include <dispatch/dispatch.h>
#include <gtest/gtest.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <barrier>
#include <mutex>
#include <thread>
#include <vector>

#include "common/objc/foundation.hpp"
#include "tests/platform/waiting.hpp"

namespace {

using namespace std::chrono_literals;

uint64_t monotonic_ns() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * NSEC_PER_SEC + static_cast<uint64_t>(ts.tv_nsec);
}

TEST(Dispatch, TimesAndQueues) {
  const uint64_t before = monotonic_ns();
  const dispatch_time_t soon = dispatch_time(DISPATCH_TIME_NOW, 200 * NSEC_PER_MSEC);
  const uint64_t after = monotonic_ns();
  EXPECT_GE(soon, before + 200 * NSEC_PER_MSEC);
  EXPECT_LE(soon, after + 200 * NSEC_PER_MSEC);
  EXPECT_EQ(dispatch_time(soon, 5), soon + 5);
  EXPECT_EQ(dispatch_time(soon, -static_cast<int64_t>(100 * NSEC_PER_MSEC)),
            soon - 100 * NSEC_PER_MSEC);
  EXPECT_EQ(dispatch_time(DISPATCH_TIME_FOREVER, -1), DISPATCH_TIME_FOREVER);
  EXPECT_EQ(dispatch_time(soon, INT64_MAX), DISPATCH_TIME_FOREVER)
      << "overflow must not wrap to the past";
  EXPECT_EQ(dispatch_time(10, INT64_MIN), 1u)
      << "before the clock's start is still a time, not now";

  dispatch_queue_t default_queue = dispatch_get_global_queue(QOS_CLASS_DEFAULT, 0);
  ASSERT_NE(default_queue, nullptr);
  EXPECT_EQ(default_queue, dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0));
  EXPECT_NE(dispatch_get_global_queue(QOS_CLASS_BACKGROUND, 0), nullptr);
  EXPECT_NE(dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_BACKGROUND, 0), nullptr);
  EXPECT_EQ(dispatch_get_global_queue(QOS_CLASS_DEFAULT, 1), nullptr);
  EXPECT_EQ(dispatch_get_global_queue(12345, 0), nullptr);
}

struct Timed {
  int index;
  uint64_t deadline;
  uint64_t ran_at = 0;
  std::mutex* mutex;
  std::vector<int>* order;
  hv_platform_test::Recorder* done;
};

TEST(Dispatch, DelayedWorkNeverRunsEarlyAndRunsInDeadlineOrder) {
  // Scheduled out of order; the deadlines are 15 ms apart.
  const int delays_ms[] = {90, 15, 60, 0, 45, 30, 105, 75};
  constexpr int kCount = 8;
  std::mutex mutex;
  std::vector<int> order;
  hv_platform_test::Recorder done;
  std::vector<Timed> items;
  items.reserve(kCount);
  dispatch_queue_t queue = dispatch_get_global_queue(QOS_CLASS_DEFAULT, 0);
  const dispatch_time_t base = dispatch_time(DISPATCH_TIME_NOW, 20 * NSEC_PER_MSEC);
  for (int i = 0; i < kCount; ++i) {
    items.push_back({delays_ms[i], dispatch_time(base, delays_ms[i] * NSEC_PER_MSEC), 0, &mutex,
                     &order, &done});
  }
  for (auto& item : items) {
    dispatch_after_f(item.deadline, queue, &item, [](void* context) {
      auto* timed = static_cast<Timed*>(context);
      timed->ran_at = monotonic_ns();
      {
        std::lock_guard<std::mutex> lock(*timed->mutex);
        timed->order->push_back(timed->index);
      }
      timed->done->add("ran");
    });
  }
  ASSERT_TRUE(done.wait_for(kCount, 5s));
  for (const auto& item : items) {
    EXPECT_GE(item.ran_at, item.deadline) << "item due at +" << item.index << " ms ran early";
    EXPECT_LT(item.ran_at, item.deadline + 2 * NSEC_PER_SEC)
        << "item due at +" << item.index << " ms ran late";
  }
  EXPECT_EQ(order, (std::vector<int>{0, 15, 30, 45, 60, 75, 90, 105}));
}

TEST(Dispatch, WorkRunsOnAttachedWorkersInPoolsAndBlocksWork) {
  hv_platform_test::Recorder recorder;
  dispatch_queue_t queue = dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_HIGH, 0);
  for (int i = 0; i < 20; ++i) {
    dispatch_async_f(queue, &recorder, [](void* context) {
      // Foundation on a worker thread, with autoreleased objects.
      objc::Ref dictionary = objc::makeMutableDictionary();
      objc::dictionarySet(dictionary.get(), "k", objc::string("worker"));
      static_cast<hv_platform_test::Recorder*>(context)->add(
          objc::toString(objc::dictionaryGet(dictionary.get(), "k")));
    });
  }
  __block int from_block = 0;
  hv_platform_test::Recorder* recorder_pointer = &recorder;
  dispatch_async(queue, ^{
    from_block = 41;
    recorder_pointer->add("block");
  });
  dispatch_after(dispatch_time(DISPATCH_TIME_NOW, 10 * NSEC_PER_MSEC), queue, ^{
    recorder_pointer->add("after block");
  });
  ASSERT_TRUE(recorder.wait_for(22, 5s));
  auto entries = recorder.entries();
  EXPECT_EQ(std::count(entries.begin(), entries.end(), "worker"), 20);
  EXPECT_EQ(std::count(entries.begin(), entries.end(), "block"), 1);
  EXPECT_EQ(std::count(entries.begin(), entries.end(), "after block"), 1);
  EXPECT_EQ(from_block, 41);
  for (auto thread : recorder.threads()) EXPECT_NE(thread, std::this_thread::get_id());

  // Work scheduled for never does not run.
  dispatch_after_f(DISPATCH_TIME_FOREVER, queue, &recorder, [](void* context) {
    static_cast<hv_platform_test::Recorder*>(context)->add("never");
  });
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(recorder.size(), 22u);
}

TEST(Dispatch, OnceRunsOneCallAndEveryCallerWaitsForIt) {
  constexpr int kThreads = 8;
  for (int round = 0; round < 20; ++round) {
    dispatch_once_t predicate = 0;
    struct Shared {
      std::atomic<int> calls{0};
      std::atomic<bool> finished{false};
    } shared;
    std::atomic<int> saw_unfinished{0};
    std::barrier start(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&] {
        start.arrive_and_wait();
        dispatch_once_f(&predicate, &shared, [](void* context) {
          auto* s = static_cast<Shared*>(context);
          s->calls++;
          std::this_thread::sleep_for(2ms);
          s->finished = true;
        });
        if (!shared.finished) saw_unfinished++;
      });
    }
    for (auto& thread : threads) thread.join();
    ASSERT_EQ(shared.calls, 1) << "round " << round;
    ASSERT_EQ(saw_unfinished, 0) << "a caller returned before the function finished, round "
                                 << round;
    EXPECT_NE(predicate, 0);
    dispatch_once_f(&predicate, &shared,
                    [](void* context) { static_cast<Shared*>(context)->calls++; });
    EXPECT_EQ(shared.calls, 1);
  }
}

}  // namespace
