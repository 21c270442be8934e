// HPowerHepler: the extension's decision point for the user's power mode.
//
// One instance lives for the life of the daemon. It keeps a snapshot of the preferences
// file, answers the hooks' questions on the daemon's hot paths (which CPU level, CPU
// power target and component power limit to allow) and pushes the policy into the
// daemon's CommonProduct and MitigationController and into the OS thermal status store.
//
// Threads: reached at once from the Darwin notification thread, the global queue (the
// delayed re-applications) and any daemon thread calling a hooked method. The snapshot is
// immutable and replaced whole; what the hot paths need of it is decoded into one atomic
// word when it is replaced; observed maxima are atomics; host objects are retained
// before use. Applications never overlap: one that finds another running returns at
// once. No lock is held while messaging a host object or calling an OS function, so the
// engine may be re-entered from its own messages.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "common/objc/ref.hpp"
#include "extension/contract/contract.hpp"
#include "extension/hooking/host.hpp"
#include "extension/policy/observed_power.hpp"

class HPowerHepler {
public:
  using PowerMode = halvernic::contract::PowerMode;

  // The one instance, made on first use from any thread and never destroyed.
  static HPowerHepler& shared();

  static constexpr std::int64_t unrestrictedPowerTarget = halvernic::host::kFullPowerValue;

  // ---- the preferences ---------------------------------------------------------------
  // Reads the file into the snapshot while the snapshot holds no entry.
  void loadPreferencesIfEmpty();
  // The Boolean under key in the snapshot (not loading it): a Boolean, a number's truth
  // value, or a string that lower-cases to "1", "true", "yes" or "on"; else fallback.
  bool boolPreference(std::string_view key, bool fallback) const;
  PowerMode currentPowerMode();
  bool shouldForceThermalState();
  // The snapshot's dictionary (string keys; empty when the file is missing). +0 held by
  // the returned Ref.
  objc::Ref plistObj() const;

  // ---- the hot-path filters ------------------------------------------------------------
  std::int64_t filterCPULevel(std::int64_t requested);
  std::int64_t adjustCPUPowerTarget(std::int64_t requested);
  std::int64_t adjustComponentPowerLimit(std::int64_t requested, std::int64_t componentType);

  // ---- applications --------------------------------------------------------------------
  void applyThermalState();
  void scheduleReapplications();

  // ---- the mode in force, for the daemon's restart ----------------------------------------
  // The mode the engine puts in force for a preferences file holding fileMode. Every
  // comparison of modes for the restart goes through here: today it is the file's mode, and
  // a protection that overrides the user's mode while it is engaged (and releases it again)
  // extends this one function, so that its engaging and releasing count as changes of mode.
  PowerMode effectivePowerMode(PowerMode fileMode) const noexcept { return fileMode; }

  // Whether ending the daemon for a restart now would change nothing: the effective mode of
  // the file as it is now, and of every snapshot the engine has put in force in this process
  // (each application's, and any the hot paths loaded in between), all equal the first one.
  // The front-ends' re-apply notification, which precedes their restart notification, has
  // then re-applied the settings already. False before the engine has put any mode in force.
  // Reads the file (one stat while it is unchanged); never on a hot path.
  bool restartWouldChangeNothing();

  // ---- standing down (the package is being removed) ---------------------------------------
  // For the rest of this process the engine answers and acts as in the native mode with no
  // switch set: the snapshot is frozen empty, applications (the delayed ones too) return at
  // once, the daemon's objects get the native mode once more, and the OS thermal status
  // store and the thermal-pressure level are put back to the platform's own state after the
  // last application has finished. Waits (bounded) for an application that is running.
  // Safe to call from any thread, any number of times; later calls return once the first
  // has finished.
  void standDown();
  bool stoodDown() const noexcept { return stoodDown_.load(std::memory_order_acquire); }
  // Told once per process, after the first application of the settings has completed
  // (outside it), with the mode that application applied: the extension's report is
  // written again then. Set at load, before any application can run.
  using FirstApplicationObserver = void (*)(PowerMode applied);
  static void setFirstApplicationObserver(FirstApplicationObserver observer) noexcept;

  // ---- written by the hooks and the configuration patcher ------------------------------
  void setCommonProductObject(id commonProduct);              // replaces, releasing the old
  void setMitigationControllerObject(id mitigationController);
  objc::Ref commonProductObject() const;
  objc::Ref mitigationControllerObject() const;
  void raiseObservedComponentPowerGlobalMax(std::int64_t value);  // only ever raises

  // ---- observed state, for tests and diagnostics ----------------------------------------
  std::int64_t observedCPUPowerMax() const { return observedCPUPowerMax_.load(); }
  std::int64_t observedComponentPowerGlobalMax() const {
    return observedComponentPowerGlobalMax_.load();
  }
  std::int64_t observedComponentPowerMax(std::int64_t componentType) const {
    return observedComponentPowerMax_.get(componentType);
  }

  // Back to the state of a new instance (tests only: the daemon never resets it).
  void resetForTesting();
  // Tests only: runs once inside the next loadPreferencesIfEmpty that reads the file, after
  // the reading and before it is stored.
  void setAfterLoadReadingForTesting(void (*hook)()) noexcept {
    afterLoadReadingForTesting_.store(hook, std::memory_order_release);
  }

  HPowerHepler(const HPowerHepler&) = delete;
  HPowerHepler& operator=(const HPowerHepler&) = delete;

private:
  HPowerHepler();

  // The steps of applyThermalState, run only by the application that holds isApplying_
  // (they touch the last-application state without further synchronisation).
  void applySettings();
  void applyMitigationSettings();
  void applyPowerMode();
  void applyFullCPUPower(id mitigationController);

  // What the hot paths need of the snapshot, decoded once when it is replaced.
  struct Decoded {
    bool hasEntries = false;
    PowerMode mode = PowerMode::off;
    bool preventDimming = false;
  };
  // What readPreferencesFile answers: the dictionary and the order of its reading.
  struct PreferencesReading {
    objc::Ref dictionary;
    std::uint64_t sequence;
  };
  // Stores a reading unless one taken later is stored already (a slower reader never
  // overwrites a newer reading with an older one); sequence 0 always stores.
  void replacePreferences(objc::Ref dictionary, std::uint64_t sequence);
  Decoded decoded() const;
  void clearObservedMaxima();
  PreferencesReading readPreferencesFile();

  // The preferences file, resolved with jbroot once (the binding is per process), parsed
  // only when it changed.
  halvernic::contract::PreferencesFileReader preferencesFile_;

  // plistObj: the dictionary behind a short lock (held to copy a reference), and its
  // decoding in one atomic word for the hot paths.
  mutable std::mutex plistMutex_;
  objc::Ref plistObj_;
  std::uint64_t plistSequence_ = 0;  // the reading plistObj_ came from
  std::atomic<std::uint8_t> decoded_{0};

  std::atomic<void (*)()> afterLoadReadingForTesting_{nullptr};

  // The effective modes put in force: the first (kNoMode before any), and whether any
  // other has been since.
  static constexpr int kNoMode = -1;
  void noteModeInForce(PowerMode mode) noexcept;
  std::atomic<int> firstModeInForce_{kNoMode};
  std::atomic<bool> modeChangedSinceFirst_{false};

  std::atomic<bool> stoodDown_{false};
  std::mutex standDownMutex_;   // serialises stand-downs; never taken by an application
  bool standDownDone_ = false;  // guarded by standDownMutex_

  std::atomic<bool> isApplying_{false};
  // Touched only by the application that holds isApplying_.
  std::optional<PowerMode> lastCPUPerformanceMode_;
  bool hasApplied_ = false;  // an application has completed
  bool lastThermalMitigationsDisabled_ = false;
  bool hasNormalizedThermalMitigationsState_ = false;
  bool lastForcedCommonProductThermal_ = false;
  // While positive, filterCPULevel forces every requested CPU level to 0: the way back to
  // full CPU for a soft ceiling in lowPower (lowPowerSoftCeilingPercent_), which is not
  // applied. So nothing raises it, and every applyPowerMode sets it to 0: kept, closed, as
  // part of the engine's declared state, so that such a ceiling finds its way back in place.
  std::atomic<std::int64_t> pendingFullCPURestoreCount_{0};
  static constexpr std::int64_t lowPowerSoftCeilingPercent_ = 80;

  std::atomic<std::int64_t> observedCPUPowerMax_{0};
  std::atomic<std::int64_t> observedComponentPowerGlobalMax_{0};
  halvernic::policy::ComponentMaxima observedComponentPowerMax_;

  mutable std::mutex hostMutex_;  // held only to copy or swap a reference
  objc::Ref commonProductObject_;
  objc::Ref mitigationControllerObject_;
};
