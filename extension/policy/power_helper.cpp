#include "extension/policy/power_helper.hpp"

#include <dispatch/dispatch.h>
#include <mach/mach_time.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <limits>
#include <thread>

#include "common/objc/foundation.hpp"
#include "common/os/clock.hpp"
#include "extension/battery/battery.hpp"
#include "extension/config/file_manager.hpp"
#include "extension/contract/overheat.hpp"
#include "extension/hooking/host.hpp"
#include "extension/osthermal/osthermal.h"
#include "extension/osthermal/platform_reset.hpp"

namespace contract = halvernic::contract;
namespace host = halvernic::host;

namespace {

constexpr std::array<double, 7> kReapplicationDelays = {0.25, 1, 2, 4, 6, 8, 10};

// "%d" takes an int: 64-bit values are converted explicitly, saturating.
int logInt(std::int64_t value) {
  return static_cast<int>(std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(),
                                                   std::numeric_limits<int>::max()));
}

// The host's power setters take 32-bit values; a larger target saturates.
int powerArg(std::int64_t value) { return logInt(value); }

// The device's continuous clock (it counts sleep, and every launch of the daemon reads the
// same one), in nanoseconds.
std::int64_t continuousNanoseconds() {
  static const mach_timebase_info_data_t timebase = [] {
    mach_timebase_info_data_t info{1, 1};
    if (mach_timebase_info(&info) != KERN_SUCCESS || info.denom == 0) info = {1, 1};
    return info;
  }();
  const unsigned __int128 ticks = mach_continuous_time();
  return static_cast<std::int64_t>(ticks * timebase.numer / timebase.denom);
}

std::optional<int> deviceBattery() { return halvernic::battery::readTemperatureCentiCelsius(); }

constexpr std::int64_t kSecond = 1'000'000'000;

std::atomic<HPowerHepler::OverheatObserver> gOverheatObserver{nullptr};

void tellOverheatObserver(const HPowerHepler::OverheatEvent& event) {
  if (auto observer = gOverheatObserver.load(std::memory_order_acquire)) observer(event);
}

// Forces (or releases) the product's thermal simulation: both simulation messages carry
// the same value.
void simulate(id product, const char* value) {
  objc::AutoreleasePool pool;
  id string = objc::string(value);
  host::kPutDeviceInThermalSimulationMode.send(product, string);
  host::kPutDeviceInLowTempSimulationMode.send(product, string);
}

void reapply(void* context) { static_cast<HPowerHepler*>(context)->applyThermalState(); }

}  // namespace

HPowerHepler& HPowerHepler::makeShared() {
  // The function-local static makes exactly one, whichever threads race here first.
  static HPowerHepler* instance = [] {
    auto* made = new HPowerHepler();  // never destroyed
    sharedInstance_.store(made, std::memory_order_release);
    return made;
  }();
  return *instance;
}

// A file whose times lie within this of its parsing is parsed again at the next reading
// (two rewrites of one size within a tick of the file system's clock keep its stamp).
constexpr std::int64_t kRacyFileWindowNanoseconds = 50'000'000;

HPowerHepler::HPowerHepler()
    : preferencesFile_(contract::resolvedPreferencesPath(), kRacyFileWindowNanoseconds),
      overheatStatePath_(contract::resolvedOverheatStatePath()), batteryReader_(&deviceBattery),
      clock_(&continuousNanoseconds) {
  storeDecoded(encode(Decoded{}));  // no file read yet
  loadOverheatState();
}

std::uint8_t HPowerHepler::encode(const Decoded& d) noexcept {
  return static_cast<std::uint8_t>((d.hasEntries ? 1 : 0) | (static_cast<int>(d.fileMode) << 1) |
                                   (d.filePreventDimming ? 8 : 0) | (d.protectionEnabled ? 16 : 0) |
                                   (d.engaged ? 32 : 0));
}

HPowerHepler::Decoded HPowerHepler::decode(std::uint8_t word) noexcept {
  Decoded d;
  d.hasEntries = (word & 1) != 0;
  d.fileMode = static_cast<PowerMode>((word >> 1) & 3);
  d.filePreventDimming = (word & 8) != 0;
  d.protectionEnabled = (word & 16) != 0;
  d.engaged = (word & 32) != 0;
  return d;
}

// ---- preferences -------------------------------------------------------------------------

// What HFileManager::readPropertyList answers for the file, parsed only when it changed: an
// unchanged file costs one stat.
HPowerHepler::PreferencesReading HPowerHepler::readPreferencesFile() {
  contract::PreferencesFileReader::Reading reading = preferencesFile_.read();
  return {HFileManager::stringKeyedDictionary(std::move(reading.propertyList)), reading.sequence};
}

void HPowerHepler::replacePreferences(objc::Ref dictionary, std::uint64_t sequence) {
  Decoded read;
  read.hasEntries = objc::count(dictionary.get()) > 0;
  read.fileMode = contract::powerModeOf(dictionary.get());
  read.filePreventDimming =
      contract::engineBoolPreference(dictionary.get(), contract::kPreventDimmingKey, false);
  read.protectionEnabled = contract::engineBoolPreference(
      dictionary.get(), contract::kOverheatProtectionKey, contract::kOverheatProtectionDefault);
  // Turning the protection off while it is engaged releases it at once (taken before the
  // snapshot's lock, as a reading of the battery takes both).
  std::unique_lock change(overheatChangeMutex_, std::defer_lock);
  if (!read.protectionEnabled) change.lock();
  bool released = false, modeChanged = false;
  std::int64_t engagedFor = 0;
  {
    std::lock_guard lock(plistMutex_);
    if (stoodDown_.load(std::memory_order_acquire)) return;  // frozen for good
    if (sequence != 0 && sequence < plistSequence_) return;  // a later reading is stored
    const Decoded before = decode(decoded_.load(std::memory_order_relaxed));
    plistSequence_ = sequence;
    plistObj_.swap(dictionary);
    read.engaged = before.engaged;
    if (read.engaged && !read.protectionEnabled && change.owns_lock()) {
      read.engaged = false;
      released = true;
      modeChanged = read.fileMode == PowerMode::fullPower;
      engagedFor = protectionClock() - engagedAt_;
    }
    storeDecoded(encode(read));
    if (sequence != 0 || released) noteModeInForce(read.mode());
  }
  if (released) finishOverheatChange(OverheatChange::releasedKeyOff, modeChanged, 0, engagedFor);
  if (change.owns_lock()) change.unlock();
  if (released) tellOverheatObserver({OverheatEvent::Kind::released, modeChanged});
  // The previous dictionary (or the reading refused) is released here, outside the lock.
}

void HPowerHepler::noteModeInForce(PowerMode mode) noexcept {
  int expected = kNoMode;
  const int value = static_cast<int>(mode);
  if (!firstModeInForce_.compare_exchange_strong(expected, value, std::memory_order_acq_rel) &&
      expected != value) {
    modeChangedSinceFirst_.store(true, std::memory_order_release);
  }
}

bool HPowerHepler::restartWouldChangeNothing() {
  const int first = firstModeInForce_.load(std::memory_order_acquire);
  if (first == kNoMode || modeChangedSinceFirst_.load(std::memory_order_acquire)) return false;
  objc::AutoreleasePool pool;
  const PreferencesReading reading = readPreferencesFile();
  const PowerMode fileMode = contract::powerModeOf(reading.dictionary.get());
  return static_cast<int>(effectivePowerMode(fileMode)) == first;
}

HPowerHepler::Decoded HPowerHepler::decoded() const {
  return decode(decoded_.load(std::memory_order_acquire));
}

HPowerHepler::PowerMode HPowerHepler::effectivePowerMode(PowerMode fileMode) const noexcept {
  return overheatProtectionEngaged() && fileMode == PowerMode::fullPower ? PowerMode::off
                                                                         : fileMode;
}

objc::Ref HPowerHepler::plistObj() const {
  std::lock_guard lock(plistMutex_);
  return plistObj_;
}

// A hook thread may read the file while an application reads it after a front-end's
// change: the reading taken later is the one kept, whichever is stored last.
//
// While the file is missing or holds nothing, the hot paths ask for it at every question;
// an unchanged file then costs one stat and stores nothing.
void HPowerHepler::loadPreferencesIfEmpty() {
  if (decoded().hasEntries) return;
  contract::PreferencesFileReader::Reading reading = preferencesFile_.read();
  // An unchanged file that holds nothing (a missing one above all) would store nothing new.
  if (!reading.fresh && objc::count(reading.propertyList.get()) == 0) return;
  objc::AutoreleasePool pool;
  if (auto hook = afterLoadReadingForTesting_.exchange(nullptr, std::memory_order_acq_rel)) hook();
  replacePreferences(HFileManager::stringKeyedDictionary(std::move(reading.propertyList)),
                     reading.sequence);
}

bool HPowerHepler::boolPreference(std::string_view key, bool fallback) const {
  objc::AutoreleasePool pool;
  objc::Ref plist = plistObj();
  return contract::engineBoolPreference(plist.get(), key, fallback);
}

HPowerHepler::PowerMode HPowerHepler::currentPowerMode() {
  Decoded now = decoded();
  if (!now.hasEntries) {
    loadPreferencesIfEmpty();
    now = decoded();
  }
  return now.mode();
}

bool HPowerHepler::preventDimmingEnabled() {
  loadPreferencesIfEmpty();
  return decoded().preventDimming();
}

bool HPowerHepler::shouldForceThermalState() {
  loadPreferencesIfEmpty();
  if (decoded().preventDimming()) return true;
  return currentPowerMode() == PowerMode::fullPower;
}

// ---- overheat protection -------------------------------------------------------------------

namespace {

// The log lines of the protection's changes (one per change).
void logEngaged(int reading, bool modeChanged) {
  objc::AutoreleasePool pool;
  objc::log(modeChanged
                ? "halvernic overheat protection engaged: battery %@ C, fullPower acts as "
                  "native until it cools"
                : "halvernic overheat protection engaged: battery %@ C, prevent dimming off "
                  "until it cools",
            objc::string(contract::celsiusText(reading)));
}

}  // namespace

std::int64_t HPowerHepler::protectionClock() const noexcept {
  return clock_.load(std::memory_order_acquire)();
}

void HPowerHepler::storeDecoded(std::uint8_t word) noexcept {
  decoded_.store(word, std::memory_order_release);
  engagedForHotPaths_.store((word & 32) != 0, std::memory_order_release);
}

void HPowerHepler::setOverheatObserver(OverheatObserver observer) noexcept {
  gOverheatObserver.store(observer, std::memory_order_release);
}

void HPowerHepler::setBatteryForTesting(BatteryReader reader, Clock clock) noexcept {
  batteryReader_.store(reader ? reader : &deviceBattery, std::memory_order_release);
  clock_.store(clock ? clock : &continuousNanoseconds, std::memory_order_release);
}

HPowerHepler::OverheatStatus HPowerHepler::overheatStatus() const {
  std::lock_guard lock(plistMutex_);
  const Decoded now = decode(decoded_.load(std::memory_order_relaxed));
  return {now.protectionEnabled, now.engaged, lastReading_, lastReadingWall_};
}

void HPowerHepler::setEngagedLocked(bool engaged) {
  Decoded now = decode(decoded_.load(std::memory_order_relaxed));
  now.engaged = engaged;
  storeDecoded(encode(now));
  noteModeInForce(now.mode());
}

// A new daemon takes the engaged state its previous launch left: from its first objects on
// it acts as the protection requires. A file that holds no state counts as engaged now (a
// reading at or below the release temperature releases it a minute later).
void HPowerHepler::loadOverheatState() {
  const contract::OverheatStateReading reading = contract::readOverheatState(overheatStatePath_);
  using Status = contract::OverheatStateReading::Status;
  if (reading.status == Status::released) return;
  const std::int64_t now = protectionClock();
  {
    std::lock_guard lock(plistMutex_);
    Decoded d = decode(decoded_.load(std::memory_order_relaxed));
    d.engaged = true;
    storeDecoded(encode(d));
    // A time after now is from before the device's last boot: the minute starts again.
    engagedAt_ = reading.status == Status::engaged && reading.state.engagedAt <= now
                     ? reading.state.engagedAt
                     : now;
  }
  objc::AutoreleasePool pool;
  objc::log("halvernic overheat protection still engaged since battery %@ C",
            objc::string(reading.status == Status::engaged
                             ? contract::celsiusText(reading.state.readingCentiCelsius)
                             : std::string("?")));
}

void HPowerHepler::sampleBatteryIfDue() {
  const std::int64_t now = protectionClock();
  std::int64_t last = lastSample_.load(std::memory_order_relaxed);
  if (last != kNeverSampled && now >= last &&
      now - last < contract::kBatterySampleIntervalSeconds * kSecond) {
    return;
  }
  // One reader per interval: the caller that moves the time on reads.
  if (!lastSample_.compare_exchange_strong(last, now, std::memory_order_acq_rel)) return;
  if (stoodDown()) return;
  const std::optional<int> reading = batteryReader_.load(std::memory_order_acquire)();
  // The decision needs the file's mode and switches.
  loadPreferencesIfEmpty();

  std::unique_lock change(overheatChangeMutex_);
  OverheatChange made = OverheatChange::none;
  bool modeChanged = false, first = false;
  std::int64_t engagedFor = 0;
  int changedAt = 0;  // the reading that made the change
  {
    std::lock_guard lock(plistMutex_);
    if (stoodDown_.load(std::memory_order_acquire)) return;
    if (reading) {
      first = !lastReading_;
      lastReading_ = reading;
      lastReadingWall_ = os::wallClockNanoseconds() / kSecond;
    }
    const Decoded d = decode(decoded_.load(std::memory_order_relaxed));
    if (reading && !d.engaged && d.guarded() && *reading >= contract::kOverheatEngageCentiCelsius) {
      made = OverheatChange::engaged;
      changedAt = *reading;
      engagedAt_ = now;
    } else if (reading && d.engaged && *reading <= contract::kOverheatReleaseCentiCelsius &&
               now - engagedAt_ >= contract::kOverheatMinimumEngagedSeconds * kSecond) {
      made = OverheatChange::released;
      changedAt = *reading;
      engagedFor = now - engagedAt_;
    }
    if (made != OverheatChange::none) {
      modeChanged = d.fileMode == PowerMode::fullPower;
      setEngagedLocked(made == OverheatChange::engaged);
    }
  }
  if (made != OverheatChange::none) finishOverheatChange(made, modeChanged, changedAt, engagedFor);
  change.unlock();
  if (made != OverheatChange::none) {
    tellOverheatObserver({made == OverheatChange::engaged ? OverheatEvent::Kind::engaged
                                                          : OverheatEvent::Kind::released,
                          modeChanged});
  } else if (first) {
    tellOverheatObserver({OverheatEvent::Kind::firstReading, false});
  }
}

void HPowerHepler::finishOverheatChange(OverheatChange change, bool modeChanged, int reading,
                                        std::int64_t engagedFor) {
  if (change == OverheatChange::engaged) {
    contract::OverheatState state;
    {
      std::lock_guard lock(plistMutex_);
      state.engagedAt = engagedAt_;
    }
    state.engagedAtWall = os::wallClockNanoseconds() / kSecond;
    state.readingCentiCelsius = reading;
    const int error = contract::writeOverheatState(overheatStatePath_, state);
    logEngaged(reading, modeChanged);
    if (error != 0) {
      // The daemon's next launch will not know: it engages again at its first reading.
      objc::log("halvernic overheat protection: state not kept (%d)", error);
    }
  } else {
    contract::removeOverheatState(overheatStatePath_);
    objc::AutoreleasePool pool;
    if (change == OverheatChange::releasedKeyOff) {
      objc::log("halvernic overheat protection released: thermalOverheatProtectionEnabled off");
    } else {
      objc::log("halvernic overheat protection released: battery %@ C after %d s",
                objc::string(contract::celsiusText(reading)), logInt(engagedFor / kSecond));
    }
  }
}

// ---- filters ---------------------------------------------------------------------------

std::int64_t HPowerHepler::filterCPULevel(std::int64_t requested) {
  if (pendingFullCPURestoreCount_.load(std::memory_order_relaxed) > 0) {
    if (requested != 0) objc::log("halvernic cpu level restore %d -> 0", logInt(requested));
    return 0;
  }
  if (currentPowerMode() != PowerMode::lowPower) return requested;
  // Read again, not reused: a notification may replace the snapshot in between, and the
  // level answered is then the one of the mode in force now (0 once lowPower has ended).
  const std::int64_t target =
      currentPowerMode() == PowerMode::lowPower ? host::kLowPowerCPULevel : 0;
  if (requested == target) return target;
  objc::log("halvernic cpu level lock %d -> %d", logInt(requested), logInt(target));
  return target;
}

std::int64_t HPowerHepler::adjustCPUPowerTarget(std::int64_t requested) {
  if (requested > 0) halvernic::policy::raiseTo(observedCPUPowerMax_, requested);
  if (currentPowerMode() != PowerMode::fullPower) return requested;
  return std::max(
      {requested, observedCPUPowerMax_.load(std::memory_order_relaxed), unrestrictedPowerTarget});
}

std::int64_t HPowerHepler::adjustComponentPowerLimit(std::int64_t requested,
                                                     std::int64_t componentType) {
  if (requested > 0) {
    halvernic::policy::raiseTo(observedComponentPowerGlobalMax_, requested);
    observedComponentPowerMax_.raise(componentType, requested);
  }
  if (currentPowerMode() != PowerMode::fullPower) return requested;
  const std::int64_t limit =
      std::max({requested, observedComponentPowerGlobalMax_.load(std::memory_order_relaxed),
                observedComponentPowerMax_.get(componentType), unrestrictedPowerTarget});
  if (limit > requested) {
    objc::log("halvernic component %d power limit %d -> %d", logInt(componentType),
              logInt(requested), logInt(limit));
  }
  return limit;
}

void HPowerHepler::raiseObservedComponentPowerGlobalMax(std::int64_t value) {
  halvernic::policy::raiseTo(observedComponentPowerGlobalMax_, value);
}

void HPowerHepler::clearObservedMaxima() {
  observedCPUPowerMax_.store(0, std::memory_order_relaxed);
  observedComponentPowerGlobalMax_.store(0, std::memory_order_relaxed);
  observedComponentPowerMax_.clear();
}

// ---- host objects ----------------------------------------------------------------------

void HPowerHepler::setCommonProductObject(id commonProduct) {
  objc::Ref incoming = objc::Ref::retain(commonProduct);
  std::lock_guard lock(hostMutex_);
  commonProductObject_.swap(incoming);
}  // the previous object is released after the lock is given back

void HPowerHepler::setMitigationControllerObject(id mitigationController) {
  objc::Ref incoming = objc::Ref::retain(mitigationController);
  std::lock_guard lock(hostMutex_);
  mitigationControllerObject_.swap(incoming);
}

objc::Ref HPowerHepler::commonProductObject() const {
  std::lock_guard lock(hostMutex_);
  return commonProductObject_;
}

objc::Ref HPowerHepler::mitigationControllerObject() const {
  std::lock_guard lock(hostMutex_);
  return mitigationControllerObject_;
}

// ---- applications ----------------------------------------------------------------------

namespace {
std::atomic<HPowerHepler::FirstApplicationObserver> gFirstApplicationObserver{nullptr};
}  // namespace

void HPowerHepler::setFirstApplicationObserver(FirstApplicationObserver observer) noexcept {
  gFirstApplicationObserver.store(observer, std::memory_order_release);
}

void HPowerHepler::applyThermalState() {
  if (isApplying_.exchange(true, std::memory_order_acquire)) return;
  std::optional<PowerMode> firstApplied;
  {
    // Cleared however this application ends: a raising host method must not leave the
    // engine refusing every later application.
    struct Release {
      std::atomic<bool>& flag;
      ~Release() { flag.store(false, std::memory_order_release); }
    } release{isApplying_};
    applySettings();
    if (!hasApplied_) {
      hasApplied_ = true;
      firstApplied = lastCPUPerformanceMode_.value_or(PowerMode::off);
    }
  }
  // Outside the application: a concurrent one is not refused while the observer works.
  if (firstApplied) {
    if (auto observer = gFirstApplicationObserver.load(std::memory_order_acquire)) {
      observer(*firstApplied);
    }
  }
}

void HPowerHepler::applySettings() {
  objc::AutoreleasePool pool;
  PreferencesReading reading = readPreferencesFile();
  replacePreferences(std::move(reading.dictionary), reading.sequence);

  if (shouldForceThermalState()) {
    const objc::Ref product = commonProductObject();
    if (currentPowerMode() == PowerMode::fullPower) {
      simulate(product.get(), "nominal");
      lastForcedCommonProductThermal_ = true;
      const int status = stoodDown() ? 0 : halvernicSetDarwinThermalPressure(0);
      objc::log("halvernic fullPower thermal state nominal -> Darwin pressure %d (%d)", 0, status);
    } else {
      simulate(product.get(), "light");
      lastForcedCommonProductThermal_ = true;
      objc::log(
          "halvernic prevent dimming thermal state capped to light without power target override");
    }
  } else if (lastForcedCommonProductThermal_) {
    simulate(commonProductObject().get(), "off");
    lastForcedCommonProductThermal_ = false;
    objc::log(
        "halvernic native/lowPower thermal state: restored CommonProduct simulation off once");
  } else {
    objc::log("halvernic native/lowPower thermal state: leaving system pressure untouched");
  }

  applyMitigationSettings();
}

void HPowerHepler::applyMitigationSettings() {
  // An application that outlived a stand-down's wait writes the store no more.
  if (stoodDown()) return;
  const PowerMode mode = currentPowerMode();
  bool disabled = false;
  if (mode == PowerMode::fullPower) {
    const int status = halvernicSetThermalMitigationsEnabled(0, 1);
    objc::log("thermalPowerMode fullPower -> thermal mitigations disabled (%d)", status);
    disabled = true;
  } else if (!hasNormalizedThermalMitigationsState_ || lastThermalMitigationsDisabled_) {
    const int status = halvernicSetThermalMitigationsNative();
    objc::log("thermalPowerMode native/lowPower -> thermal mitigations restored native once (%d)",
              status);
  }
  lastThermalMitigationsDisabled_ = disabled;
  hasNormalizedThermalMitigationsState_ = true;

  applyPowerMode();

  objc::AutoreleasePool pool;
  const objc::Ref plist = plistObj();
  auto present = [&](std::string_view key) {
    return objc::dictionaryGet(plist.get(), key) != nullptr;
  };
  if (present(contract::kSuppressNotificationsKey)) {
    if (boolPreference(contract::kSuppressNotificationsKey, false)) {
      objc::log("thermalSuppressNotificationsEnabled: on -> %d", halvernicSetOSNotifEnabled(0, 1));
    } else {
      objc::log("thermalSuppressNotificationsEnabled: off/native -> %d",
                halvernicSetOSNotifNative());
    }
  }
  if (present(contract::kDisablePocketSunlightKey)) {
    if (boolPreference(contract::kDisablePocketSunlightKey, false)) {
      const int s1 = halvernicSetHIPEnabled(0, 1);
      const int s2 = halvernicSetSimulateHIPEnabled(0);
      objc::log("thermalDisablePocketSunlightEnabled: on -> %d/%d", s1, s2);
    } else {
      objc::log("thermalDisablePocketSunlightEnabled: off/native -> %d", halvernicSetHIPNative());
    }
  }
  if (present(contract::kSunlightLockedKey)) {
    if (boolPreference(contract::kSunlightLockedKey, false)) {
      objc::log("thermalSunlightLockedEnabled: on -> %d", halvernicSetSunlightOverride(1, 1));
    } else {
      objc::log("thermalSunlightLockedEnabled: off -> %d", halvernicResetSunlightOverride());
    }
  }
}

void HPowerHepler::applyPowerMode() {
  const objc::Ref controller = mitigationControllerObject();
  id mc = controller.get();
  const PowerMode mode = currentPowerMode();
  if (!lastCPUPerformanceMode_ || *lastCPUPerformanceMode_ != mode) clearObservedMaxima();
  pendingFullCPURestoreCount_.store(0, std::memory_order_relaxed);

  switch (mode) {
    case PowerMode::fullPower:
      host::kUpdateCPU.send(mc);
      applyFullCPUPower(mc);
      lastCPUPerformanceMode_ = mode;
      objc::log("halvernic: full power mode");
      break;
    case PowerMode::lowPower: {
      // The mode read again, not the one switched on: the snapshot may have been replaced
      // since (a notification on another thread), and the CPU is never held at the low level
      // for a mode that has already ended.
      const int level = currentPowerMode() == PowerMode::lowPower ? host::kLowPowerCPULevel : 0;
      if (mc) {
        host::kSetPowerSaveActive.send(mc, objc::toBool(true));
        host::kSetCPULevel.send(mc, level);
        host::kUpdateCPU.send(mc);
        host::kSetPowerSaveActive.send(mc, objc::toBool(true));
      }
      host::kSetCPULevel.send(mc, level);
      lastCPUPerformanceMode_ = mode;
      objc::log("halvernic: low power mode at CPU level %d with soft ceiling", level);
      break;
    }
    case PowerMode::off:
      if (mc) {
        host::kSetPowerSaveActive.send(mc, objc::toBool(false));
        host::kSetCPULevel.send(mc, 0);
        host::kUpdateCPU.send(mc);
        host::kUpdateGPU.send(mc);
        host::kUpdatePackage.send(mc);
        host::kSetPowerSaveActive.send(mc, objc::toBool(false));
        host::kSetCPULevel.send(mc, 0);
      }
      lastCPUPerformanceMode_ = PowerMode::off;
      clearObservedMaxima();
      objc::log("halvernic: native thermal mode restored");
      break;
  }
}

void HPowerHepler::applyFullCPUPower(id mc) {
  if (mc) {
    host::kSetCPMSMitigationsEnabled.send(mc, objc::toBool(false));
    host::kSetPowerSaveActive.send(mc, objc::toBool(false));
    host::kSetCPULevel.send(mc, 0);
  }
  const int target = powerArg(
      std::max(observedCPUPowerMax_.load(std::memory_order_relaxed), unrestrictedPowerTarget));
  host::kSetCPULowPowerTarget.send(mc, target);
  if (mc) {
    host::kSetCPUPowerCeilingFromDecisionSource.send(mc, target, 0);
    host::kSetCPUPowerFloorFromDecisionSource.send(mc, target, 0);
    host::kSetCPUPowerZoneTarget.send(mc, target);
    host::kSetMaxPackagePower.send(mc, target);
    host::kSetPackagePowerCeilingFromDecisionSource.send(mc, target, 0);
    host::kSetPackagePowerFloorFromDecisionSource.send(mc, target, 0);
    host::kSetCPMSMitigationsEnabled.send(mc, objc::toBool(false));
  }
}

void HPowerHepler::scheduleReapplications() {
  dispatch_queue_t queue = dispatch_get_global_queue(QOS_CLASS_DEFAULT, 0);
  for (double delay : kReapplicationDelays) {
    dispatch_after_f(
        dispatch_time(DISPATCH_TIME_NOW, static_cast<std::int64_t>(delay * NSEC_PER_SEC)), queue,
        this, &reapply);
  }
}

// How long a stand-down waits for an application that is running (one takes milliseconds).
constexpr auto kStandDownWait = std::chrono::seconds(5);

void HPowerHepler::standDown() {
  std::lock_guard once(standDownMutex_);
  if (standDownDone_) return;
  objc::AutoreleasePool pool;
  {
    // The hot paths answer as in the native mode with no switch set from now on, and no
    // reading of the file replaces that (nor does the overheat protection change).
    objc::Ref empty = objc::makeMutableDictionary();
    std::lock_guard lock(plistMutex_);
    stoodDown_.store(true, std::memory_order_release);
    plistObj_.swap(empty);
    Decoded native;
    native.hasEntries = true;
    storeDecoded(encode(native));
  }
  // The application guard is taken for good: the application running now (if any) is the
  // last, and every later one, the delayed ones included, returns at once.
  const auto deadline = std::chrono::steady_clock::now() + kStandDownWait;
  bool held = false;
  while (!(held = !isApplying_.exchange(true, std::memory_order_acquire)) &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (held) {
    // The daemon's objects get the native mode once more (the guard makes these fields
    // this thread's).
    if (lastForcedCommonProductThermal_) {
      simulate(commonProductObject().get(), "off");
      lastForcedCommonProductThermal_ = false;
    }
    applyPowerMode();
  } else {
    objc::log("halvernic: standing down while an application still runs; its store writes stop");
  }
  // After the last application's writes: the store and the pressure level as the platform
  // keeps them without this extension.
  const halvernic::osthermal::PlatformReset reset =
      halvernic::osthermal::resetPlatformThermalState();
  const auto& steps = reset.steps;
  objc::log(
      "halvernic: stood down: OS thermal status reset (%d %d %d %d %d), pressure nominal (%d)",
      steps[0].status, steps[1].status, steps[2].status, steps[3].status, steps[4].status,
      steps[5].status);
  standDownDone_ = true;
}

void HPowerHepler::resetForTesting() {
  {
    std::lock_guard once(standDownMutex_);
    standDownDone_ = false;
    stoodDown_.store(false, std::memory_order_release);
    isApplying_.store(false, std::memory_order_release);
  }
  firstModeInForce_.store(kNoMode);
  modeChangedSinceFirst_.store(false);
  preferencesFile_.reset();
  {
    std::lock_guard lock(plistMutex_);
    storeDecoded(encode(Decoded{}));
    engagedAt_ = 0;
    lastReading_.reset();
    lastReadingWall_ = 0;
  }
  lastSample_.store(kNeverSampled);
  replacePreferences(objc::Ref(), 0);
  loadOverheatState();
  lastCPUPerformanceMode_.reset();
  hasApplied_ = false;
  lastThermalMitigationsDisabled_ = false;
  hasNormalizedThermalMitigationsState_ = false;
  lastForcedCommonProductThermal_ = false;
  pendingFullCPURestoreCount_.store(0);
  clearObservedMaxima();
  setCommonProductObject(nullptr);
  setMitigationControllerObject(nullptr);
}
