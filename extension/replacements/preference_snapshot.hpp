// The replacement layer's own view of the preferences: whether the mode is fullPower or
// lowPower and whether thermal dimming is to be prevented, re-read from the file at most
// once per 0.05 seconds, and parsed only when the file changed (an unchanged file costs one
// stat per window; contract::PreferencesFileReader).
//
// Threads: every daemon thread that reaches a replacement asks the snapshot. Within the
// reuse window an answer costs one clock read and two atomic loads; it allocates nothing
// and takes no lock. When the window has passed, exactly one caller reads the file; the
// others keep answering from the previous reading while it does. Only before the very
// first reading has completed do callers wait for it, so that no one answers from a
// snapshot that was never read (which would mean the native mode).
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

#include "extension/contract/contract.hpp"

namespace halvernic::replacements {

struct PreferenceFlags {
  bool fullPowerMode = false;   // thermalPowerMode is the string "fullPower"
  bool lowPowerMode = false;    // thermalPowerMode is the string "lowPower"
  bool preventDimming = false;  // the platform's boolValue of thermalPreventDimmingEnabled
};

class PreferenceSnapshot {
public:
  // Monotonic time in nanoseconds; steadyClock is os::coarse_monotonic_nanoseconds.
  using Clock = std::int64_t (*)() noexcept;
  static std::int64_t steadyClock() noexcept;

  // How long a reading is reused without looking at the file again.
  static constexpr std::int64_t kReuseWindowNanoseconds = 50'000'000;  // 0.05 s

  // path: the preferences file, used exactly as given.
  explicit PreferenceSnapshot(std::string path, Clock clock = &steadyClock);
  const std::string& path() const noexcept { return file_.path(); }
  PreferenceSnapshot(const PreferenceSnapshot&) = delete;
  PreferenceSnapshot& operator=(const PreferenceSnapshot&) = delete;

  // Brings the snapshot up to date (reading the file when the last reading is 0.05
  // seconds old or more, or there is none) and answers its flags.
  PreferenceFlags refresh();

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

  // For tests and benchmarks: another clock, and back to the unread state.
  void setClock(Clock clock) noexcept { clock_.store(clock, std::memory_order_relaxed); }
  void resetForTesting() noexcept;

private:
  static constexpr std::int64_t kNeverRead = INT64_MIN;
  static constexpr std::int64_t kStoodDown = INT64_MAX;  // a reading time that never ages
  static constexpr std::uint8_t kFullPower = 1, kLowPower = 2, kPreventDimming = 4;

  static PreferenceFlags decode(std::uint8_t bits) noexcept;
  bool fresh(std::int64_t readTime, std::int64_t now) const noexcept {
    return readTime != kNeverRead &&
           (readTime == kStoodDown || now - readTime < kReuseWindowNanoseconds);
  }
  PreferenceFlags refreshSlow(std::int64_t now);
  std::uint8_t readFile(std::uint8_t previous);

  contract::PreferencesFileReader file_;
  std::atomic<Clock> clock_;
  // flags_ is published before readTime_ (both release), so a caller that sees a reading
  // time also sees the flags of that reading or a later one.
  std::atomic<std::int64_t> readTime_{kNeverRead};
  std::atomic<std::uint8_t> flags_{0};
  std::atomic<bool> reading_{false};  // one reader at a time
  std::atomic<std::uint64_t> fileReads_{0};

  // Only for callers that arrive before the first reading has completed.
  std::mutex firstReadMutex_;
  std::condition_variable firstReadDone_;
};

// The layer's snapshot of the preferences file, made on first use and never destroyed.
// It reads the path every other reader opens, resolved below the jailbreak root once (the
// binding never changes): on rootless jailbreaks the jailbreak root's /var/mobile is a
// folder of its own, and the literal /var/mobile path names a file nobody writes.
PreferenceSnapshot& preferenceSnapshot();

}  // namespace halvernic::replacements
