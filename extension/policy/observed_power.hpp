// The power values the daemon has asked for since the last clearing: the largest CPU
// power target, the largest component power value over all components, and the largest
// per component type. Raised from the daemon's hot paths on many threads at once and
// cleared by applications, so every field is atomic and raising allocates nothing.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <limits>
#include <mutex>
#include <unordered_map>

namespace halvernic::policy {

// Raises field to value when value is larger; returns the field's value afterwards.
inline std::int64_t raiseTo(std::atomic<std::int64_t>& field, std::int64_t value) noexcept {
  std::int64_t current = field.load(std::memory_order_relaxed);
  while (current < value &&
         !field.compare_exchange_weak(current, value, std::memory_order_relaxed)) {
  }
  return current < value ? value : current;
}

// Largest positive power per component type. A value of 0 means "no entry": only
// positive values are ever recorded. The first kSlots distinct types live in a
// lock-free open-addressed table; further types (the daemon has a handful) go to a
// map behind a mutex.
class ComponentMaxima {
public:
  static constexpr std::size_t kSlots = 64;

  // Records value for type (value > 0) and returns the entry afterwards.
  std::int64_t raise(std::int64_t type, std::int64_t value) noexcept {
    // A type found in its home slot (the steady state: a handful of types, 64 slots) is
    // handled here, inline on the hooks' paths; probing and inserting are out of line.
    Slot& home = slots_[homeSlot(type)];
    if (__builtin_expect(type != kEmpty && home.type.load(std::memory_order_acquire) == type, 1)) {
      return raiseTo(home.max, value);
    }
    return raiseSlow(type, value);
  }
  std::int64_t get(std::int64_t type) const noexcept {  // 0 when absent
    const Slot& home = slots_[homeSlot(type)];
    if (__builtin_expect(type != kEmpty && home.type.load(std::memory_order_acquire) == type, 1)) {
      return home.max.load(std::memory_order_relaxed);
    }
    return getSlow(type);
  }
  void clear() noexcept;

private:
  static constexpr std::int64_t kEmpty = std::numeric_limits<std::int64_t>::min();
  struct Slot {
    std::atomic<std::int64_t> type{kEmpty};
    std::atomic<std::int64_t> max{0};
  };
  static constexpr std::size_t homeSlot(std::int64_t type) noexcept {
    const std::uint64_t hash = static_cast<std::uint64_t>(type) * 0x9E3779B97F4A7C15ULL;
    return static_cast<std::size_t>(hash >> 58);
  }
  static_assert(kSlots == 64, "homeSlot answers 6 bits");
  std::int64_t raiseSlow(std::int64_t type, std::int64_t value) noexcept;
  std::int64_t getSlow(std::int64_t type) const noexcept;
  std::atomic<std::int64_t>* find(std::int64_t type, bool insert) noexcept;
  const std::atomic<std::int64_t>* find(std::int64_t type) const noexcept;

  std::array<Slot, kSlots> slots_{};
  std::atomic<bool> overflow_used_{false};
  mutable std::mutex overflow_mutex_;
  std::unordered_map<std::int64_t, std::int64_t> overflow_;
};

}  // namespace halvernic::policy
