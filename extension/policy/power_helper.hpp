// HPowerHepler: the extension's decision point for the user's power mode.
//
// One instance lives for the life of the daemon. It keeps a snapshot of the preferences
// file, answers the hooks' questions on the daemon's hot paths (which CPU level, CPU
// power target and component power limit to allow) and pushes the policy into the
// daemon's CommonProduct and MitigationController and into the OS thermal status store.
//
// It also runs the overheat protection (contract/overheat.hpp): it reads the battery's
// temperature at most every 5 s from the daemon's own CommonProduct tryTakeAction, and while
// the protection is engaged every answer it gives is the one of the native mode without
// prevent-dimming (fullPower), or without prevent-dimming (the other modes). Engaging and
// releasing in fullPower change the effective mode, and so restart the daemon.
//
// Threads: reached at once from the Darwin notification thread, the global queue (the
// delayed re-applications) and any daemon thread calling a hooked method. The snapshot is
// immutable and replaced whole; what the hot paths need of it, the protection's engaged
// state with it, is decoded into one atomic word when either changes; observed maxima are
// atomics; host objects are retained before use. Applications never overlap: one that
// finds another running returns at once. No lock is held while messaging a host object or
// calling an OS function, so the engine may be re-entered from its own messages.
#pragma once

#include <atomic>
#include <climits>
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

  // The one instance, made on first use from any thread and never destroyed. Once made,
  // finding it is one load, inline at the hooks.
  [[gnu::always_inline]] static HPowerHepler& shared() {
    HPowerHepler* instance = sharedInstance_.load(std::memory_order_acquire);
    if (__builtin_expect(instance != nullptr, 1)) return *instance;
    return makeShared();
  }

  static constexpr std::int64_t unrestrictedPowerTarget = halvernic::host::kFullPowerValue;

  // ---- the preferences ---------------------------------------------------------------
  // Reads the file into the snapshot while the snapshot holds no entry.
  void loadPreferencesIfEmpty();
  // The Boolean under key in the snapshot (not loading it): a Boolean, a number's truth
  // value, or a string that lower-cases to "1", "true", "yes" or "on"; else fallback.
  bool boolPreference(std::string_view key, bool fallback) const;
  // The mode the engine acts on: the file's, except that an engaged overheat protection
  // turns fullPower into the native mode.
  PowerMode currentPowerMode();
  // thermalPreventDimmingEnabled as the engine acts on it (fallback false): false while the
  // overheat protection is engaged. Every reader of the setting outside the engine (the
  // hooks, the configuration patcher) asks here.
  bool preventDimmingEnabled();
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
  // The mode the engine puts in force for a preferences file holding fileMode: fileMode, or
  // the native mode for fullPower while the overheat protection is engaged. Every
  // comparison of modes for the restart goes through here, so engaging and releasing in
  // fullPower count as changes of mode.
  PowerMode effectivePowerMode(PowerMode fileMode) const noexcept;

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

  // ---- overheat protection ----------------------------------------------------------------
  // Whether it is engaged: one atomic load, without making or finding the instance (the
  // replacement layer asks on every call).
  static bool overheatProtectionEngaged() noexcept {
    return engagedForHotPaths_.load(std::memory_order_acquire);
  }

  // Reads the battery when the last reading is kBatterySampleIntervalSeconds old or more
  // (or there is none, or the clock went back) and acts on it. The fast case is one clock
  // read, one atomic load and a compare; one caller at a time reads, the others return. A
  // reading engages or releases the protection (one log line, the state file, the
  // observer); an unknown one changes nothing. Never on a hot path: the daemon calls it from
  // -[CommonProduct tryTakeAction], once per step of its own control.
  void sampleBatteryIfDue();

  struct OverheatStatus {
    bool enabled = true;  // thermalOverheatProtectionEnabled in the snapshot (fallback true)
    bool engaged = false;
    std::optional<int> lastReading;    // hundredths of a degree Celsius; none: unknown
    std::int64_t lastReadingWall = 0;  // seconds since 1970; 0 without a reading
  };
  OverheatStatus overheatStatus() const;

  // What changed; the observer is told outside every lock of the engine, on the thread
  // that made the change. The engine's own state has changed by then: its answers are the
  // new ones at once; bringing the daemon's objects to it (re-applications, a restart) is
  // the observer's.
  struct OverheatEvent {
    enum class Kind { firstReading, engaged, released } kind;
    bool modeChanged = false;  // the effective mode changed (fullPower): restart the daemon
  };
  using OverheatObserver = void (*)(const OverheatEvent& event);
  // Set at load, before anything can sample.
  static void setOverheatObserver(OverheatObserver observer) noexcept;

  // Tests: the battery reading (hundredths of a degree, nothing for unknown) and the clock
  // (nanoseconds of a monotonic clock shared by the daemon's launches) the protection uses.
  // nullptr puts the device's back.
  using BatteryReader = std::optional<int> (*)();
  using Clock = std::int64_t (*)();
  void setBatteryForTesting(BatteryReader reader, Clock clock) noexcept;

  // ---- written by the hooks and the configuration patcher ------------------------------
  void setCommonProductObject(id commonProduct);  // replaces, releasing the old
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

  // Back to the state of a new instance (tests only: the daemon never resets it), which
  // takes the protection's engaged state from its file, as a new daemon does.
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
  [[gnu::noinline]] static HPowerHepler& makeShared();
  // Set once, by makeShared, and never changed.
  static inline constinit std::atomic<HPowerHepler*> sharedInstance_{nullptr};

  // The steps of applyThermalState, run only by the application that holds isApplying_
  // (they touch the last-application state without further synchronisation).
  void applySettings();
  void applyMitigationSettings();
  void applyPowerMode();
  void applyFullCPUPower(id mitigationController);

  // What the hot paths need of the snapshot, decoded once when it is replaced, with the
  // protection's engaged state.
  struct Decoded {
    bool hasEntries = false;
    PowerMode fileMode = PowerMode::off;
    bool filePreventDimming = false;
    bool protectionEnabled = true;  // thermalOverheatProtectionEnabled, fallback true
    bool engaged = false;
    // As the engine acts on them.
    PowerMode mode() const noexcept {
      return engaged && fileMode == PowerMode::fullPower ? PowerMode::off : fileMode;
    }
    bool preventDimming() const noexcept { return filePreventDimming && !engaged; }
    // The file asks for something the protection guards.
    bool guarded() const noexcept {
      return protectionEnabled && (fileMode == PowerMode::fullPower || filePreventDimming);
    }
  };
  static std::uint8_t encode(const Decoded& decoded) noexcept;
  static Decoded decode(std::uint8_t word) noexcept;
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
  // The word's engaged bit, for overheatProtectionEngaged. Both are written together, only
  // through storeDecoded (under plistMutex_, or before the instance is shared).
  static inline constinit std::atomic<bool> engagedForHotPaths_{false};
  void storeDecoded(std::uint8_t word) noexcept;

  std::atomic<void (*)()> afterLoadReadingForTesting_{nullptr};

  // ---- overheat protection ----
  enum class OverheatChange { none, engaged, released, releasedKeyOff };
  // Under plistMutex_: the word with engaged set as given, and the mode now in force noted.
  void setEngagedLocked(bool engaged);
  // The change's state file and log line (outside plistMutex_, inside
  // overheatChangeMutex_); the observer is told after both locks are given back.
  void finishOverheatChange(OverheatChange change, bool modeChanged, int reading,
                            std::int64_t engagedFor);
  void loadOverheatState();
  std::int64_t protectionClock() const noexcept;

  std::string overheatStatePath_;
  std::atomic<BatteryReader> batteryReader_;
  std::atomic<Clock> clock_;
  static constexpr std::int64_t kNeverSampled = INT64_MIN;
  std::atomic<std::int64_t> lastSample_{kNeverSampled};
  // Serialises the protection's changes with their effects (the file, the log line).
  std::mutex overheatChangeMutex_;
  // Guarded by plistMutex_.
  std::int64_t engagedAt_ = 0;
  std::optional<int> lastReading_;
  std::int64_t lastReadingWall_ = 0;

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
