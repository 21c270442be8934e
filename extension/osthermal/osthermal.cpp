// The OS thermal status functions. Nothing of SystemConfiguration, CoreFoundation's
// CFRelease and Boolean constants, or notify is linked: each call looks up what it needs
// by name among the images already loaded into the process and never keeps the result, so
// a framework the host has not loaded simply makes the call fail with a status.
#include "extension/osthermal/osthermal.h"

#include <CoreFoundation/CoreFoundation.h>
#include <SystemConfiguration/SystemConfiguration.h>
#include <dlfcn.h>
#include <notify.h>

#include <cstdint>
#include <utility>

#include "common/objc/foundation.hpp"
#include "common/objc/ref.hpp"
#include "common/objc/thread.hpp"
#include "extension/contract/contract.hpp"
#include "extension/osthermal/platform_reset.hpp"
#include "extension/osthermal/thermal_status_store.hpp"

extern "C" {
// The platform's thermal-pressure notification name. Imported weakly: its address is null
// where the platform does not provide it.
extern const char* const kOSThermalNotificationPressureLevelName
    __attribute__((weak, visibility("default")));
}

namespace {

namespace contract = halvernic::contract;
using namespace halvernic::osthermal;

// ---- looking up by name ---------------------------------------------------------------
// The SystemConfiguration preferences calls are not declared for iOS; these are their
// documented signatures.
using SCPreferencesCreateFunction = SCPreferencesRef (*)(CFAllocatorRef allocator, CFStringRef name,
                                                         CFStringRef prefsID);
using SCPreferencesSetValueFunction = Boolean (*)(SCPreferencesRef prefs, CFStringRef key,
                                                  CFPropertyListRef value);
using SCPreferencesRemoveValueFunction = Boolean (*)(SCPreferencesRef prefs, CFStringRef key);
using SCPreferencesCommitChangesFunction = Boolean (*)(SCPreferencesRef prefs);
using SCPreferencesApplyChangesFunction = Boolean (*)(SCPreferencesRef prefs);
using SCErrorFunction = int (*)();
using CFReleaseFunction = void (*)(CFTypeRef object);
using NotifyRegisterCheckFunction = uint32_t (*)(const char* name, int* out_token);
using NotifyGetStateFunction = uint32_t (*)(int token, uint64_t* state);
using NotifySetStateFunction = uint32_t (*)(int token, uint64_t state);
using NotifyPostFunction = uint32_t (*)(const char* name);
using NotifyCancelFunction = uint32_t (*)(int token);

template <class Function>
Function lookupFunction(const char* name) noexcept {
  return reinterpret_cast<Function>(dlsym(RTLD_DEFAULT, name));
}

// The value of an exported constant, or a null value when the symbol is missing.
template <class T>
T lookupConstant(const char* name) noexcept {
  const auto* address = static_cast<const T*>(dlsym(RTLD_DEFAULT, name));
  return address ? *address : T{};
}

constexpr int32_t kStatusFailed = kSCStatusFailed;  // 1001
constexpr char kThermalPressureLiteralName[] = "com.apple.system.thermalpressurelevel";

// A key or name as a CFString (a CF reference is the Foundation object).
CFStringRef cfString(const objc::Ref& string) noexcept {
  return reinterpret_cast<CFStringRef>(string.get());
}

// ---- the thermal status store ----------------------------------------------------------

// One preferences handle, released with CFRelease when the scope ends.
class PreferencesHandle {
public:
  explicit PreferencesHandle(SCPreferencesRef prefs) noexcept : prefs_(prefs) {}
  PreferencesHandle(const PreferencesHandle&) = delete;
  PreferencesHandle& operator=(const PreferencesHandle&) = delete;
  ~PreferencesHandle() {
    if (!prefs_) return;
    // Without CFRelease nothing can free the handle; that is the host's loss, not a crash.
    if (auto release = lookupFunction<CFReleaseFunction>("CFRelease")) release(prefs_);
  }
  SCPreferencesRef get() const noexcept { return prefs_; }
  explicit operator bool() const noexcept { return prefs_ != nullptr; }

private:
  SCPreferencesRef prefs_;
};

// A fresh handle on the store, or an empty one (also when SCPreferencesCreate is missing).
PreferencesHandle createThermalStatusPreferences() {
  auto create = lookupFunction<SCPreferencesCreateFunction>("SCPreferencesCreate");
  if (!create) return PreferencesHandle(nullptr);
  objc::Ref name = objc::makeString(kThermalStatusHandleName);
  objc::Ref identifier = objc::makeString(kThermalStatusIdentifier);
  // A null allocator is the default allocator.
  return PreferencesHandle(create(nullptr, cfString(name), cfString(identifier)));
}

int32_t commitThermalStatus(SCPreferencesRef prefs) {
  auto commit = lookupFunction<SCPreferencesCommitChangesFunction>("SCPreferencesCommitChanges");
  auto apply = lookupFunction<SCPreferencesApplyChangesFunction>("SCPreferencesApplyChanges");
  if (!commit || !apply) return kStatusFailed;
  if (commit(prefs)) {
    apply(prefs);  // applying only tells the running system; the values are stored
    return 0;
  }
  auto error = lookupFunction<SCErrorFunction>("SCError");
  if (!error) return kStatusFailed;
  const int code = error();
  // The commit did fail: never let an unset error code read as success.
  return code != 0 ? static_cast<int32_t>(code) : kStatusFailed;
}

// Sets flag_key (and persistence_key, unless null) to Booleans and commits.
int32_t writeThermalStatusFlags(const char* flag_key, const char* persistence_key, int32_t flag,
                                int32_t persistent) {
  PreferencesHandle prefs = createThermalStatusPreferences();
  if (!prefs) return kStatusFailed;
  auto set = lookupFunction<SCPreferencesSetValueFunction>("SCPreferencesSetValue");
  const CFBooleanRef yes = lookupConstant<CFBooleanRef>("kCFBooleanTrue");
  const CFBooleanRef no = lookupConstant<CFBooleanRef>("kCFBooleanFalse");
  if (!set || !yes || !no) return kStatusFailed;
  objc::Ref key = objc::makeString(flag_key);
  set(prefs.get(), cfString(key), flag != 0 ? yes : no);
  if (persistence_key) {
    objc::Ref persistence = objc::makeString(persistence_key);
    set(prefs.get(), cfString(persistence), persistent != 0 ? yes : no);
  }
  return commitThermalStatus(prefs.get());
}

int32_t removeThermalStatusKey(const char* key_name) {
  PreferencesHandle prefs = createThermalStatusPreferences();
  if (!prefs) return kStatusFailed;
  auto remove = lookupFunction<SCPreferencesRemoveValueFunction>("SCPreferencesRemoveValue");
  if (!remove) return kStatusFailed;
  objc::Ref key = objc::makeString(key_name);
  remove(prefs.get(), cfString(key));
  return commitThermalStatus(prefs.get());
}

// Runs one store operation at the library's boundary: on a thread the Foundation may not
// know yet, inside its own autorelease pool, and with nothing thrown past the C interface.
template <class Operation>
int32_t atBoundary(Operation&& operation) noexcept {
  try {
    objc::ThreadAttachment attachment;
    objc::AutoreleasePool pool;
    return std::forward<Operation>(operation)();
  } catch (...) {
    return kStatusFailed;
  }
}

int32_t firstFailure(int32_t first, int32_t second) noexcept { return first != 0 ? first : second; }

int32_t writeFlags(const char* flag_key, const char* persistence_key, int32_t flag,
                   int32_t persistent) noexcept {
  return atBoundary(
      [&] { return writeThermalStatusFlags(flag_key, persistence_key, flag, persistent); });
}

int32_t removeKey(const char* key) noexcept {
  return atBoundary([&] { return removeThermalStatusKey(key); });
}

// Both removals always run, each with its own handle; the first failure is reported.
int32_t removeTwoKeys(const char* first_key, const char* second_key) noexcept {
  const int32_t first = removeKey(first_key);
  const int32_t second = removeKey(second_key);
  return firstFailure(first, second);
}

// ---- notify ----------------------------------------------------------------------------

const char* thermalPressureName() noexcept {
  if (&kOSThermalNotificationPressureLevelName != nullptr &&
      kOSThermalNotificationPressureLevelName) {
    return kOSThermalNotificationPressureLevelName;
  }
  if (const char* name = lookupConstant<const char*>("kOSThermalNotificationPressureLevelName")) {
    return name;
  }
  return kThermalPressureLiteralName;
}

constexpr uint64_t thermalPressureState(int32_t level) noexcept {
  const auto value = static_cast<uint32_t>(level);
  return (value >= 1 && value <= 5) ? uint64_t{value} * 10 : 0;
}

}  // namespace

// ---- exported ----------------------------------------------------------------------------

extern "C" {

int32_t halvernicGetRuntimeState(int32_t* first, int32_t* second) {
  auto register_check = lookupFunction<NotifyRegisterCheckFunction>("notify_register_check");
  auto get_state = lookupFunction<NotifyGetStateFunction>("notify_get_state");
  auto cancel = lookupFunction<NotifyCancelFunction>("notify_cancel");
  if (!register_check) return static_cast<int32_t>(NOTIFY_STATUS_FAILED);
  int token = 0;
  const uint32_t registered = register_check(contract::kRuntimeStateNotification, &token);
  if (registered != NOTIFY_STATUS_OK) return static_cast<int32_t>(registered);
  uint64_t word = 0;
  const uint32_t read = get_state ? get_state(token, &word) : NOTIFY_STATUS_FAILED;
  if (cancel) cancel(token);
  if (read != NOTIFY_STATUS_OK) return static_cast<int32_t>(read);
  if (!contract::runtimeStateHasMagic(word)) return 1;
  const contract::RuntimeStateValues values = contract::decodeRuntimeState(word);
  if (first) *first = values.first;
  if (second) *second = values.second;
  return 0;
}

int32_t halvernicSetDarwinThermalPressure(int32_t level) {
  auto register_check = lookupFunction<NotifyRegisterCheckFunction>("notify_register_check");
  auto set_state = lookupFunction<NotifySetStateFunction>("notify_set_state");
  auto post = lookupFunction<NotifyPostFunction>("notify_post");
  auto cancel = lookupFunction<NotifyCancelFunction>("notify_cancel");
  const char* name = thermalPressureName();
  int token = 0;
  if (!register_check || register_check(name, &token) != NOTIFY_STATUS_OK) return -1;
  uint32_t status =
      set_state ? set_state(token, thermalPressureState(level)) : NOTIFY_STATUS_FAILED;
  if (status == NOTIFY_STATUS_OK) status = post ? post(name) : NOTIFY_STATUS_FAILED;
  if (cancel) cancel(token);
  return static_cast<int32_t>(status);
}

int32_t halvernicSetOSNotifEnabled(int32_t flag, int32_t persistent) {
  return writeFlags(kThermalNotifications.flagKey, kThermalNotifications.persistenceKey, flag,
                    persistent);
}

int32_t halvernicSetOSNotifNative(void) { return halvernicSetOSNotifEnabled(1, 0); }

int32_t halvernicResetOSNotifEnabled(void) {
  return removeTwoKeys(kThermalNotifications.flagKey, kThermalNotifications.persistenceKey);
}

int32_t halvernicSetThermalMitigationsEnabled(int32_t flag, int32_t persistent) {
  return writeFlags(kThermalMitigations.flagKey, kThermalMitigations.persistenceKey, flag,
                    persistent);
}

int32_t halvernicSetThermalMitigationsNative(void) {
  return halvernicSetThermalMitigationsEnabled(1, 0);
}

int32_t halvernicResetThermalMitigations(void) {
  return removeTwoKeys(kThermalMitigations.flagKey, kThermalMitigations.persistenceKey);
}

int32_t halvernicSetHIPEnabled(int32_t flag, int32_t persistent) {
  return writeFlags(kPocketOverride.flagKey, kPocketOverride.persistenceKey, flag, persistent);
}

int32_t halvernicSetHIPNative(void) {
  const int32_t override_status = halvernicSetHIPEnabled(1, 0);
  const int32_t simulate_status = halvernicSetSimulateHIPEnabled(0);
  return firstFailure(override_status, simulate_status);
}

int32_t halvernicSetSimulateHIPEnabled(int32_t flag) {
  return writeFlags(kPocketSimulation.flagKey, nullptr, flag, 0);
}

int32_t halvernicResetHIP(void) {
  return removeTwoKeys(kPocketOverride.flagKey, kPocketOverride.persistenceKey);
}

int32_t halvernicResetSimulateHIP(void) { return removeKey(kPocketSimulation.flagKey); }

int32_t halvernicSetSunlightOverride(int32_t flag, int32_t persistent) {
  return writeFlags(kSunlightOverride.flagKey, kSunlightOverride.persistenceKey, flag, persistent);
}

int32_t halvernicResetSunlightOverride(void) {
  return removeTwoKeys(kSunlightOverride.flagKey, kSunlightOverride.persistenceKey);
}

}  // extern "C"
