#include "extension/replacements/preference_snapshot.hpp"

#include <chrono>
#include <thread>
#include <utility>

#include "common/objc/exception.hpp"
#include "common/objc/foundation.hpp"
#include "common/objc/thread.hpp"
#include "common/os/clock.hpp"
#include "extension/contract/contract.hpp"

namespace halvernic::replacements {

namespace {
// Set while this thread reads the file: a replacement reached from inside the reading
// (the file is read through a hooked class method) answers from the previous reading
// instead of waiting for itself.
thread_local bool tlReading = false;
}  // namespace

// The window needs millisecond resolution at most: the platform's coarse monotonic clock
// costs a fraction of a precise read, on the path of every replaced call.
std::int64_t PreferenceSnapshot::steadyClock() noexcept { return os::coarseMonotonicNanoseconds(); }

PreferenceSnapshot::PreferenceSnapshot(std::string path, Clock clock)
    : file_(std::move(path), kReuseWindowNanoseconds),
      clock_(clock == &steadyClock ? nullptr : clock) {}

PreferenceFlags PreferenceSnapshot::refreshSlow(std::uint64_t clockReading) {
  const auto now = static_cast<std::int64_t>(clockReading);
  if (tlReading) return decode(state_.load(std::memory_order_acquire));

  bool expected = false;
  if (reading_.compare_exchange_strong(expected, true, std::memory_order_acq_rel)) {
    // Another caller may have finished a reading between our look at its time and our
    // winning the flag: then that reading is fresh for us too.
    const std::uint64_t previous = state_.load(std::memory_order_acquire);
    if (fresh(previous, now)) {
      reading_.store(false, std::memory_order_release);
      return decode(previous);
    }
    tlReading = true;
    const std::uint8_t bits = readFile(static_cast<std::uint8_t>(previous & kFlagMask));
    tlReading = false;
    state_.store(pack(now, bits), std::memory_order_release);
    reading_.store(false, std::memory_order_release);
    if (timeOf(previous) == kNeverRead) {
      // Taking the mutex orders this wake-up after any waiter's look at state_.
      {
        std::lock_guard lock(firstReadMutex_);
      }
      firstReadDone_.notify_all();
    }
    return decode(bits);
  }

  // Someone else is reading. Answer from the previous reading, unless there is none yet.
  const std::uint64_t current = state_.load(std::memory_order_acquire);
  if (timeOf(current) != kNeverRead) return decode(current);
  std::unique_lock lock(firstReadMutex_);
  std::uint64_t read = kNeverRead;
  firstReadDone_.wait(lock, [&] {
    read = state_.load(std::memory_order_acquire);
    return timeOf(read) != kNeverRead;
  });
  return decode(read);
}

std::uint8_t PreferenceSnapshot::readFile(std::uint8_t previous) {
  fileReads_.fetch_add(1, std::memory_order_relaxed);
  std::uint8_t bits = 0;
  // Whatever the file holds, reading it never fails: a missing or unreadable file (one
  // above the preferences file's size limit included), a root that is not a dictionary, or
  // anything raised on the way reads as no preferences.
  try {
    objc::attachCurrentThread();
    objc::AutoreleasePool pool;
    contract::PreferencesFileReader::Reading reading = file_.read();
    if (!reading.fresh) return previous;  // the file did not change
    objc::catchException([&] {
      id preferences = reading.propertyList.get();
      if (!objc::isDictionary(preferences)) return;
      std::uint8_t read = 0;
      if (objc::platformBoolValue(objc::dictionaryGet(preferences, contract::kPreventDimmingKey))) {
        read |= kPreventDimming;
      }
      switch (
          contract::normalizePowerMode(objc::dictionaryGet(preferences, contract::kPowerModeKey))) {
        case contract::PowerMode::fullPower: read |= kFullPower; break;
        case contract::PowerMode::lowPower: read |= kLowPower; break;
        case contract::PowerMode::off: break;
      }
      bits = read;
    });
  } catch (...) {
    bits = 0;
  }
  return bits;
}

void PreferenceSnapshot::standDown() noexcept {
  // The reading flag is taken for good: no one reads the file again.
  bool expected = false;
  while (!reading_.compare_exchange_weak(expected, true, std::memory_order_acq_rel)) {
    expected = false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  state_.store(kStoodDown, std::memory_order_release);
  // Callers waiting for a first reading take this one.
  {
    std::lock_guard lock(firstReadMutex_);
  }
  firstReadDone_.notify_all();
}

void PreferenceSnapshot::resetForTesting() noexcept {
  reading_.store(false, std::memory_order_release);
  file_.reset();
  state_.store(kNeverRead, std::memory_order_release);
  fileReads_.store(0, std::memory_order_relaxed);
  clock_.store(nullptr, std::memory_order_relaxed);
}

PreferenceSnapshot& detail::makeSnapshot() {
  // The function-local static makes exactly one, whichever threads race here first.
  static auto* snapshot = [] {
    auto* made = new PreferenceSnapshot(contract::resolvedPreferencesPath());
    gSnapshot.store(made, std::memory_order_release);
    return made;
  }();
  return *snapshot;
}

}  // namespace halvernic::replacements
