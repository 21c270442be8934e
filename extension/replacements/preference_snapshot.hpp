// The replacement layer's own view of the preferences: whether the mode is fullPower or
// lowPower and whether thermal dimming is to be prevented, re-read from the file at most
// once per 0.05 seconds, and parsed only when the file changed (an unchanged file costs one
// stat per window; contract::PreferencesFileReader).
//
// Threads: every daemon thread that reaches a replacement asks the snapshot. Within the
// reuse window an answer costs one clock read and one atomic load (inline at the caller);
// it allocates nothing and takes no lock. When the window has passed, exactly one caller
// reads the file; the others keep answering from the previous reading while it does. Only
// before the very first reading has completed do callers wait for it, so that no one
// answers from a snapshot that was never read (which would mean the native mode).
//
// The age of a reading is measured on the platform's coarse monotonic clock (a tick of a
// few milliseconds, a fraction of the cost of a precise read): setting the wall clock back
// never freezes the preferences.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "common/os/clock.hpp"
#include "extension/contract/contract.hpp"

namespace halvernic::replacements {

struct PreferenceFlags {
  bool fullPowerMode = false;   // thermalPowerMode is the string "fullPower"
  bool lowPowerMode = false;    // thermalPowerMode is the string "lowPower"
  bool preventDimming = false;  // the platform's boolValue of thermalPreventDimmingEnabled
};

class PreferenceSnapshot {
public:
  // Monotonic time in nanoseconds; steadyClock is os::coarseMonotonicNanoseconds.
  using Clock = std::int64_t (*)() noexcept;
  static std::int64_t steadyClock() noexcept;

  // How long a reading is reused without looking at the file again.
  static constexpr std::int64_t kReuseWindowNanoseconds = 50'000'000;  // 0.05 s

  // path: the preferences file, used exactly as given.
  explicit PreferenceSnapshot(std::string path, Clock clock = nullptr);
  const std::string& path() const noexcept { return file_.path(); }
  PreferenceSnapshot(const PreferenceSnapshot&) = delete;
  PreferenceSnapshot& operator=(const PreferenceSnapshot&) = delete;

  // Brings the snapshot up to date (reading the file when the last reading is 0.05
  // seconds old or more, or there is none) and answers its flags.
  [[gnu::always_inline]] PreferenceFlags refresh() {
    const std::uint64_t now = readClock();
    const std::uint64_t word = state_.load(std::memory_order_acquire);
    // One unsigned compare covers the steady case: a reading younger than the window. A
    // missing reading, a stood-down snapshot and a clock that went back all fail it (their
    // unsigned distance wraps to 2^63 - 8 or more) and are sorted out by refreshSlow.
    if (__builtin_expect(now - timeOf(word) < kReuseWindowUnsigned, 1)) return decode(word);
    return refreshSlow(now);
  }

  bool fullPowerMode() { return refresh().fullPowerMode; }
  bool lowPowerMode() { return refresh().lowPowerMode; }
  bool preventDimming() { return refresh().preventDimming; }

  // How many times the file has been looked at (each look counts, whatever it found), and
  // how many times it was read and parsed.
  std::uint64_t fileReads() const noexcept { return fileReads_.load(std::memory_order_relaxed); }
  std::uint64_t fileParses() const noexcept { return file_.parses(); }

  // For the rest of the process the snapshot answers as a file holding nothing (no mode,
  // no switch): the native mode. The file is read no more; a reading running now is the
  // last (this waits for it). The package's removal makes the extension stand down.
  void standDown() noexcept;

  // For tests and benchmarks: another clock (steadyClock or nullptr puts the platform's
  // back), and back to the unread state.
  void setClock(Clock clock) noexcept {
    clock_.store(clock == &steadyClock ? nullptr : clock, std::memory_order_relaxed);
  }
  void resetForTesting() noexcept;

private:
  static constexpr std::uint64_t kReuseWindowUnsigned = kReuseWindowNanoseconds;
  // The reading time and the flags share one word: the time in the bits above kFlagMask
  // (a reading's time is kept rounded down to 8 ns, so it is reused at most 8 ns less
  // than the window), the flags below. Both are published at once.
  static constexpr std::uint64_t kFlagMask = 7;
  static constexpr std::uint8_t kFullPower = 1, kLowPower = 2, kPreventDimming = 4;
  // Two times no clock reads (a monotonic clock starts at 0): INT64_MIN and the next one.
  static constexpr std::uint64_t kNeverRead = std::uint64_t{1} << 63;
  static constexpr std::uint64_t kStoodDown = kNeverRead + kFlagMask + 1;
  static constexpr std::uint64_t timeOf(std::uint64_t word) noexcept { return word & ~kFlagMask; }
  static constexpr std::uint64_t pack(std::int64_t time, std::uint8_t bits) noexcept {
    return timeOf(static_cast<std::uint64_t>(time)) | bits;
  }

  // The platform's coarse clock is called directly; a test's clock costs one load and a
  // branch that the steady state always predicts.
  std::uint64_t readClock() const noexcept {
    const Clock clock = clock_.load(std::memory_order_relaxed);
    return static_cast<std::uint64_t>(
        __builtin_expect(clock == nullptr, 1) ? os::coarseMonotonicNanoseconds() : clock());
  }
  static PreferenceFlags decode(std::uint64_t word) noexcept {
    return PreferenceFlags{(word & kFullPower) != 0, (word & kLowPower) != 0,
                           (word & kPreventDimming) != 0};
  }
  // The signed age test, for every case the fast path leaves: a clock that went back
  // finds the reading fresh (as it did before the clock went back).
  static bool fresh(std::uint64_t word, std::int64_t now) noexcept {
    const std::uint64_t time = timeOf(word);
    return time != kNeverRead &&
           (time == kStoodDown || now - static_cast<std::int64_t>(time) < kReuseWindowNanoseconds);
  }
  [[gnu::noinline]] PreferenceFlags refreshSlow(std::uint64_t now);
  std::uint8_t readFile(std::uint8_t previous);

  contract::PreferencesFileReader file_;
  std::atomic<Clock> clock_;                      // nullptr: the platform's coarse clock
  std::atomic<std::uint64_t> state_{kNeverRead};  // reading time and flags (pack)
  std::atomic<bool> reading_{false};              // one reader at a time
  std::atomic<std::uint64_t> fileReads_{0};

  // Only for callers that arrive before the first reading has completed.
  std::mutex firstReadMutex_;
  std::condition_variable firstReadDone_;
};

namespace detail {
// Set once, by the first caller of preferenceSnapshot (makeSnapshot), and never changed.
inline constinit std::atomic<PreferenceSnapshot*> gSnapshot{nullptr};
[[gnu::noinline]] PreferenceSnapshot& makeSnapshot();
}  // namespace detail

// The layer's snapshot of the preferences file, made on first use and never destroyed.
// It reads the path every other reader opens, resolved below the jailbreak root once (the
// binding never changes): on rootless jailbreaks the jailbreak root's /var/mobile is a
// folder of its own, and the literal /var/mobile path names a file nobody writes.
[[gnu::always_inline]] inline PreferenceSnapshot& preferenceSnapshot() {
  PreferenceSnapshot* snapshot = detail::gSnapshot.load(std::memory_order_acquire);
  if (__builtin_expect(snapshot != nullptr, 1)) return *snapshot;
  return detail::makeSnapshot();
}

}  // namespace halvernic::replacements
