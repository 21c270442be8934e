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
// Types: BOOL for Booleans; `int` for the 32-bit CPU and package setters;
// std::int64_t for the GPU setters, levels and the power getters of MitigationController;
// std::uint32_t for the power answers of CPMSHelper and ComponentControl; `int` for
// mitigationType; `id` for objects.
#pragma once

#include <cstdint>

#include "common/objc/runtime.hpp"

namespace halvernic::host {

// A message with its types: Message<R(Args...)> is sent with Args and answers R.
template <class Signature>
class Message;

template <class R, class... Args>
class Message<R(Args...)> : public objc::Selector {
public:
  using Signature = R(Args...);
  using Result = R;

  constexpr explicit Message(const char* name) noexcept : objc::Selector(name) {}

  // [receiver message:args...]
  R send(id receiver, Args... args) const { return objc::send<R>(receiver, get(), args...); }
  // [ClassName message:args...] (a class method)
  R send(Class receiver, Args... args) const {
    return objc::send<R>(objc::as_id(receiver), get(), args...);
  }
  // Calls one implementation of this message directly (a saved host implementation);
  // a null implementation or a nil receiver answers zero.
  R call(IMP imp, id receiver, Args... args) const {
    if (!imp || !receiver) return objc::detail::zero<R>();
    return objc::call<R>(imp, receiver, get(), args...);
  }
};

// The second argument of the CPU and package setters that take two (the decision source
// or the DVD1 contributor). The replacement layer passes it on exactly as it received
// it, whatever width the host declares, so it travels in the full width of its argument
// register: a host that declares 32 bits reads the low half, one that declares 64 reads
// all of it. Senders pass ordinary integers (0 for the decision source).
using PassedOnArg = std::intptr_t;

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
inline constinit Message<std::int64_t()> kGetPotentialForcedThermalPressureLevel{
    "getPotentialForcedThermalPressureLevel"};
// nil means no forced level.
inline constinit Message<id(id)> kGetPotentialForcedThermalLevel{"getPotentialForcedThermalLevel:"};
// The argument is a Boolean number.
inline constinit Message<void(id)> kThermalUpdatesToWatchdogEnabled{
    "thermalUpdatesToWatchdogEnabled:"};

// ---- ThermalManager --------------------------------------------------------------------
// A string-keyed configuration dictionary, or nil.
inline constinit Message<id(std::int64_t)> kGetConfigurationFor{"getConfigurationFor:"};
// nil means no suggestion or mitigation.
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
inline constinit Message<std::int64_t()> kCPULevel{"CPULevel"};
inline constinit Message<std::int64_t()> kGetCPUTargetPower{"getCPUTargetPower"};
inline constinit Message<std::int64_t()> kGetPackageCPUPowerTarget{"getPackageCPUPowerTarget"};
inline constinit Message<std::int64_t()> kGetPackageTargetPower{"getPackageTargetPower"};
// GPU setters (64-bit values and sources).
inline constinit Message<void(std::int64_t, std::int64_t)> kSetGPUPowerCeilingFromDecisionSource{
    "setGPUPowerCeiling:fromDecisionSource:"};
inline constinit Message<void(std::int64_t, std::int64_t)> kSetGPUPowerFloorFromDecisionSource{
    "setGPUPowerFloor:fromDecisionSource:"};
inline constinit Message<void(std::int64_t)> kSetGPUPowerZoneTarget{"setGPUPowerZoneTarget:"};
inline constinit Message<void(std::int64_t)> kSetSGXLevel{"setSGXLevel:"};
inline constinit Message<void(std::int64_t)> kSetMaxGraphicsDrivePowerTarget{
    "setMaxGraphicsDrivePowerTarget:"};
// The controller recomputes its limits.
inline constinit Message<void()> kUpdateCPU{"updateCPU"};
inline constinit Message<void()> kUpdateGPU{"updateGPU"};
inline constinit Message<void()> kUpdatePackage{"updatePackage"};
// Switches, levels, CPU and package setters (32-bit values).
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
inline constinit Message<std::uint32_t(std::int64_t)> kGetMaxPowerForComponent{
    "getMaxPowerForComponent:"};
inline constinit Message<std::uint32_t(std::int64_t)> kGetMinPowerForComponent{
    "getMinPowerForComponent:"};

// ---- ComponentControl ------------------------------------------------------------------
inline constinit Message<std::uint32_t()> kCurrentPower{"currentPower"};
inline constinit Message<std::uint32_t()> kComputePowerTarget{"computePowerTarget"};
inline constinit Message<std::uint32_t()> kPowerTarget{"powerTarget"};
// Identifies the component (its type).
inline constinit Message<int()> kMitigationType{"mitigationType"};
inline constinit Message<void(id)> kUpdatePowerParameters{"updatePowerParameters:"};

// ---- HidSensors ------------------------------------------------------------------------
inline constinit Message<void(std::int64_t, id)> kHandleTemperatureEventService{
    "handleTemperatureEvent:service:"};

// ---- NSDictionary (class method) ---------------------------------------------------------
// The daemon loads its configuration files, under kThermalConfigurationFolder, with it.
inline constinit Message<id(id)> kDictionaryWithContentsOfFile{"dictionaryWithContentsOfFile:"};

// Every file whose path contains this is one of the daemon's thermal configuration files.
inline constexpr const char kThermalConfigurationFolder[] = "/System/Library/ThermalMonitor/";

// The daemon's full power value, in its own unit: the extension only compares power values.
inline constexpr std::int64_t kFullPowerValue = 50000;

}  // namespace halvernic::host
