// The per-component maxima table: many types, concurrent raises, clearing.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "extension/policy/observed_power.hpp"

namespace {

using halvernic::policy::ComponentMaxima;

TEST(ComponentMaxima, KeepsTheLargestPerTypeBeyondTheLockFreeSlotsAndClears) {
  ComponentMaxima maxima;
  // More types than slots, including negative and extreme type values.
  for (std::int64_t type = -40; type < 100; ++type) maxima.raise(type, 10 + type + 40);
  maxima.raise(INT64_MAX, 5);
  maxima.raise(INT64_MIN, 6);
  for (std::int64_t type = -40; type < 100; ++type) {
    EXPECT_EQ(maxima.get(type), 10 + type + 40) << type;
    EXPECT_EQ(maxima.raise(type, 1), 10 + type + 40) << "a smaller value never lowers";
  }
  EXPECT_EQ(maxima.get(INT64_MAX), 5);
  EXPECT_EQ(maxima.get(INT64_MIN), 6);
  EXPECT_EQ(maxima.get(1000), 0);
  maxima.clear();
  for (std::int64_t type = -40; type < 100; ++type) EXPECT_EQ(maxima.get(type), 0);
  EXPECT_EQ(maxima.raise(7, 3), 3);
}

// The one type value that also marks an empty slot is kept apart from the slots: every
// slot taken afterwards starts from nothing.
TEST(ComponentMaxima, TheLowestTypeNeverLendsItsMaximumToAnotherType) {
  ComponentMaxima maxima;
  EXPECT_EQ(maxima.get(INT64_MIN), 0);
  EXPECT_EQ(maxima.raise(INT64_MIN, 6), 6);
  for (std::int64_t type = 0; type < 200; ++type) {  // fills every slot
    EXPECT_EQ(maxima.raise(type, 1), 1) << type;
  }
  for (std::int64_t type = 0; type < 200; ++type) EXPECT_EQ(maxima.get(type), 1) << type;
  EXPECT_EQ(maxima.get(INT64_MIN), 6);
}

TEST(ComponentMaxima, ConcurrentRaisesKeepTheLargest) {
  ComponentMaxima maxima;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 1; i <= 20000; ++i) maxima.raise(i % 8, i * 4 + t);
    });
  }
  for (auto& th : threads) th.join();
  for (int type = 0; type < 8; ++type) {
    // The largest i with i % 8 == type, times 4, plus the largest t.
    int i = 20000 - ((20000 - type) % 8 + 8) % 8;
    if (i > 20000) i -= 8;
    EXPECT_EQ(maxima.get(type), i * 4 + 3) << type;
  }
}

}  // namespace
