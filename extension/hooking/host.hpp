// The host daemon thermalmonitord as the extension sees it: its classes and every message
// the extension sends to them or replaces on them, each declared once with the exact
// argument and result types the daemon uses.
//
// A message is an objc::Selector that also knows its types, so the rest of the extension
// never spells a selector twice and never sends one with the wrong types:
//
//   host::kSetCPULevel.send(controller, 0);               // -[MitigationController setCPULevel:]
//   BOOL saving = host::kPowerSaveActive.send(controller);
//   id config = host::kDictionaryWithContentsOfFile.send(host::kNSDictionary, path);
//
// A nil receiver answers zero (or nil, or NO), as everywhere in the bridge. Hook tables
// (hook.hpp) take these messages and check the replacement's types against them.
//
// Types are the daemon's own, as Apple's class dumps of thermalmonitord (iOS 14, and iOS
// 18.2) declare them, never a wider type that would do: on arm64 the upper half of a
// register carrying a 32-bit value is unspecified, so a 32-bit result read as 64 bits can
// be anything. BOOL for Booleans; `int` for the MitigationController getters, the CPU,
// GPU and package setters and their decision sources, levels and mitigationType;
// std::uint32_t for the power answers of CPMSHelper and ComponentControl; std::int64_t
// for thermalPressureLevel; `bool` (_Bool) and unsigned 64-bit values where the daemon
// has them; `id` for objects, and the CoreFoundation and IOKit references the daemon
// takes as opaque pointers. Installing a hook or a replacement compares these types with
// the host method's own encoding and skips a method whose types differ.
//
// The engine computes in 64 bits; values the daemon answers are widened with their sign,
// and what goes back to the daemon is saturated into the daemon's width (saturated<T>).
#pragma once

#include <cstdint>
#include <limits>
#include <type_traits>

#include "common/objc/message.hpp"
#include "common/objc/runtime.hpp"

struct __CFString;
struct __IOHIDServiceClient;

namespace halvernic::host {

// CoreFoundation's and IOKit's references as the daemon's methods take them (opaque
// pointers; a CFStringRef is an NSString).
using CFStringRef = const struct ::__CFString*;
using IOHIDServiceClientRef = struct ::__IOHIDServiceClient*;

// An object as one of those references, and back (toll-free: the same pointer).
template <class Ref>
inline Ref bridged(id object) noexcept {
  return reinterpret_cast<Ref>(object);
}
inline id object(const void* reference) noexcept {
  return reinterpret_cast<id>(const_cast<void*>(reference));
}

// A 64-bit value brought into the daemon's width T: values outside T's range become its
// nearest end.
template <class T>
constexpr T saturated(std::int64_t value) noexcept {
  static_assert(std::is_integral_v<T> && sizeof(T) <= sizeof(std::int64_t));
  if constexpr (std::is_signed_v<T>) {
    if (value < static_cast<std::int64_t>(std::numeric_limits<T>::min())) {
      return std::numeric_limits<T>::min();
    }
  } else {
    if (value < 0) return 0;
  }
  if constexpr (sizeof(T) < sizeof(std::int64_t) || std::is_signed_v<T>) {
    if (value > static_cast<std::int64_t>(std::numeric_limits<T>::max())) {
      return std::numeric_limits<T>::max();
    }
  }
  return static_cast<T>(value);
}

// A message with its types (common/objc/message.hpp): Message<R(Args...)> is sent with Args
// and answers R.
using objc::Message;

// The second argument of the CPU and package setters that take two (the decision source
// or the DVD1 contributor), a 32-bit value the replacement layer passes on unchanged.
using PassedOnArg = int;

// ---- classes ---------------------------------------------------------------------------
inline constinit objc::ClassName kCommonProduct{"CommonProduct"};
inline constinit objc::ClassName kThermalManager{"ThermalManager"};
inline constinit objc::ClassName kMitigationController{"MitigationController"};
inline constinit objc::ClassName kCPMSHelper{"CPMSHelper"};
inline constinit objc::ClassName kHidSensors{"HidSensors"};
inline constinit objc::ClassName kComponentControl{"ComponentControl"};
inline constinit objc::ClassName kNSDictionary{"NSDictionary"};

// ---- CommonProduct ---------------------------------------------------------------------
// The daemon creates its product through initProduct: (the argument is the product's
// configuration); the result is the product.
inline constinit Message<id(id)> kInitProduct{"initProduct:"};
// "nominal" or "light" makes the product report that simulated state; "off" ends it.
inline constinit Message<void(id)> kPutDeviceInThermalSimulationMode{
    "putDeviceInThermalSimulationMode:"};
inline constinit Message<void(id)> kPutDeviceInLowTempSimulationMode{
    "putDeviceInLowTempSimulationMode:"};
inline constinit Message<void()> kTryTakeAction{"tryTakeAction"};
inline constinit Message<void()> kHandleMCSThermalPressure{"handleMCSThermalPressure"};
inline constinit Message<void()> kSimulateLightThermalPressure{"simulateLightThermalPressure"};
inline constinit Message<void()> kUpdatePowerzoneTelemetry{"updatePowerzoneTelemetry"};
// Pressure level 0 means none.
inline constinit Message<std::int64_t()> kThermalPressureLevel{"thermalPressureLevel"};
inline constinit Message<void(int)> kSetThermalState{"setThermalState:"};
inline constinit Message<bool()> kGetPotentialForcedThermalPressureLevel{
    "getPotentialForcedThermalPressureLevel"};
// 0 means no forced level.
inline constinit Message<std::uint64_t(std::uint64_t)> kGetPotentialForcedThermalLevel{
    "getPotentialForcedThermalLevel:"};
// The argument is a Boolean number.
inline constinit Message<void(id)> kThermalUpdatesToWatchdogEnabled{
    "thermalUpdatesToWatchdogEnabled:"};

// ---- ThermalManager --------------------------------------------------------------------
// The section of the daemon's configuration under a string key: a string-keyed
// dictionary (or NULL) that the daemon borrows and keeps using for the life of the
// process.
inline constinit Message<void*(CFStringRef)> kGetConfigurationFor{"getConfigurationFor:"};
// nil means no suggestion or mitigation. These four are not part of Apple's daemon (its
// class dumps of iOS 14 and 18.2 have none of them); installation skips them there.
inline constinit Message<id(id)> kGetThermalSuggestion{"getThermalSuggestion:"};
inline constinit Message<id(id)> kThermalSuggestion{"thermalSuggestion:"};
inline constinit Message<id(id)> kThermalMitigation{"thermalMitigation:"};
// A number holding the pressure level.
inline constinit Message<id(id)> kThermalPressure{"thermalPressure:"};

// ---- MitigationController --------------------------------------------------------------
inline constinit Message<id(BOOL, BOOL, id, id)> kInitForFastLoop{
    "initForFastLoop:noDisplay:powerSaveParams:powerZoneParams:"};
// Getters.
inline constinit Message<BOOL()> kPowerSaveActive{"powerSaveActive"};
inline constinit Message<int()> kCPULevel{"CPULevel"};
inline constinit Message<int()> kGetCPUTargetPower{"getCPUTargetPower"};
inline constinit Message<int()> kGetPackageCPUPowerTarget{"getPackageCPUPowerTarget"};
inline constinit Message<int()> kGetPackageTargetPower{"getPackageTargetPower"};
// GPU setters (values and decision sources).
inline constinit Message<void(int, int)> kSetGPUPowerCeilingFromDecisionSource{
    "setGPUPowerCeiling:fromDecisionSource:"};
inline constinit Message<void(int, int)> kSetGPUPowerFloorFromDecisionSource{
    "setGPUPowerFloor:fromDecisionSource:"};
inline constinit Message<void(int)> kSetGPUPowerZoneTarget{"setGPUPowerZoneTarget:"};
inline constinit Message<void(int)> kSetSGXLevel{"setSGXLevel:"};
inline constinit Message<void(int)> kSetMaxGraphicsDrivePowerTarget{
    "setMaxGraphicsDrivePowerTarget:"};
// The controller recomputes its limits.
inline constinit Message<void()> kUpdateCPU{"updateCPU"};
inline constinit Message<void()> kUpdateGPU{"updateGPU"};
inline constinit Message<void()> kUpdatePackage{"updatePackage"};
// Switches, levels, CPU and package setters.
inline constinit Message<void(BOOL)> kSetPowerSaveActive{"setPowerSaveActive:"};
inline constinit Message<void(BOOL)> kSetCPMSMitigationsEnabled{"setCPMSMitigationsEnabled:"};
inline constinit Message<void(int)> kSetDVD1Level{"setDVD1Level:"};
inline constinit Message<void(int)> kSetCPULevel{"setCPULevel:"};
inline constinit Message<void(int)> kSetCPULowPowerTarget{"setCPULowPowerTarget:"};
inline constinit Message<void(int, PassedOnArg)> kSetCPUPowerCeilingFromDecisionSource{
    "setCPUPowerCeiling:fromDecisionSource:"};
inline constinit Message<void(int, PassedOnArg)> kSetCPUPowerCeilingForDVD1Contributor{
    "setCPUPowerCeiling:forDVD1Contributor:"};
inline constinit Message<void(int, PassedOnArg)> kSetCPUPowerFloorFromDecisionSource{
    "setCPUPowerFloor:fromDecisionSource:"};
inline constinit Message<void(int)> kSetCPUPowerZoneTarget{"setCPUPowerZoneTarget:"};
inline constinit Message<void(int, PassedOnArg)> kSetPackagePowerCeilingFromDecisionSource{
    "setPackagePowerCeiling:fromDecisionSource:"};
inline constinit Message<void(int, PassedOnArg)> kSetPackagePowerFloorFromDecisionSource{
    "setPackagePowerFloor:fromDecisionSource:"};
inline constinit Message<void(int)> kSetMaxPackagePower{"setMaxPackagePower:"};
// Spelled without a colon: no argument.
inline constinit Message<void()> kSetPackageLowPowerTarget{"setPackageLowPowerTarget"};
inline constinit Message<void()> kSetPackagePowerZoneTarget{"setPackagePowerZoneTarget"};

// ---- CPMSHelper ------------------------------------------------------------------------
// The daemon bounds each component's power by these answers.
inline constinit Message<std::uint32_t(int)> kGetMaxPowerForComponent{"getMaxPowerForComponent:"};
inline constinit Message<std::uint32_t(int)> kGetMinPowerForComponent{"getMinPowerForComponent:"};

// ---- ComponentControl ------------------------------------------------------------------
inline constinit Message<std::uint32_t()> kCurrentPower{"currentPower"};
inline constinit Message<std::uint32_t()> kComputePowerTarget{"computePowerTarget"};
inline constinit Message<std::uint32_t()> kPowerTarget{"powerTarget"};
// Identifies the component (its type).
inline constinit Message<int()> kMitigationType{"mitigationType"};
inline constinit Message<void(id)> kUpdatePowerParameters{"updatePowerParameters:"};

// ---- HidSensors ------------------------------------------------------------------------
inline constinit Message<void(int, IOHIDServiceClientRef)> kHandleTemperatureEventService{
    "handleTemperatureEvent:service:"};

// ---- NSDictionary (class method) ---------------------------------------------------------
// The daemon loads its configuration files, under kThermalConfigurationFolder, with it.
inline constinit Message<id(id)> kDictionaryWithContentsOfFile{"dictionaryWithContentsOfFile:"};

// Every file whose path contains this is one of the daemon's thermal configuration files.
inline constexpr const char kThermalConfigurationFolder[] = "/System/Library/ThermalMonitor/";

// The daemon's full power value, in its own unit: the extension only compares power values.
inline constexpr std::int64_t kFullPowerValue = 50000;
// The CPU level the low-power mode holds the daemon at (setCPULevel:).
inline constexpr int kLowPowerCPULevel = 2;

}  // namespace halvernic::host
