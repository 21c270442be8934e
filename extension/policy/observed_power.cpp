#include "extension/policy/observed_power.hpp"

namespace halvernic::policy {

std::atomic<std::int64_t>* ComponentMaxima::find(std::int64_t type, bool insert) noexcept {
  if (type == kEmpty) return nullptr;  // the one type value the table cannot hold
  std::size_t index = homeSlot(type);
  for (std::size_t probe = 0; probe < kSlots; ++probe, index = (index + 1) % kSlots) {
    Slot& slot = slots_[index];
    std::int64_t held = slot.type.load(std::memory_order_acquire);
    if (held == type) return &slot.max;
    if (held == kEmpty) {
      if (!insert) return nullptr;
      if (slot.type.compare_exchange_strong(held, type, std::memory_order_acq_rel)) {
        return &slot.max;
      }
      if (held == type) return &slot.max;  // another thread claimed it for this type
    }
  }
  return nullptr;
}

const std::atomic<std::int64_t>* ComponentMaxima::find(std::int64_t type) const noexcept {
  return const_cast<ComponentMaxima*>(this)->find(type, false);
}

std::int64_t ComponentMaxima::raiseSlow(std::int64_t type, std::int64_t value) noexcept {
  if (auto* max = find(type, true)) return raiseTo(*max, value);
  std::lock_guard lock(overflow_mutex_);
  overflow_used_.store(true, std::memory_order_release);
  try {
    auto& entry = overflow_[type];
    if (entry < value) entry = value;
    return entry;
  } catch (...) {  // out of memory: the value is simply not remembered
    return value;
  }
}

std::int64_t ComponentMaxima::getSlow(std::int64_t type) const noexcept {
  if (const auto* max = find(type)) return max->load(std::memory_order_relaxed);
  if (!overflow_used_.load(std::memory_order_acquire)) return 0;
  std::lock_guard lock(overflow_mutex_);
  auto it = overflow_.find(type);
  return it == overflow_.end() ? 0 : it->second;
}

void ComponentMaxima::clear() noexcept {
  // Types keep their slots (a slot is never freed, so lookups stay lock-free); a maximum
  // of 0 is the same as no entry.
  for (Slot& slot : slots_) slot.max.store(0, std::memory_order_relaxed);
  std::lock_guard lock(overflow_mutex_);
  overflow_.clear();
}

}  // namespace halvernic::policy
