// libFuzzer target: an arbitrary preferences file as the power policy engine reads it.
// Each input is written as the file below the device root; the engine, back to its
// starting state, loads it, answers its questions and applies the policy (no host objects:
// only the OS thermal status functions are called). Nothing may crash, raise or hang, and
// the engine's answers must follow its own rules for whatever mode it read.
#include <cstddef>
#include <cstdint>

#include "common/objc/foundation.hpp"
#include "extension/config/file_manager.hpp"
#include "extension/contract/contract.hpp"
#include "extension/contract/overheat.hpp"
#include "extension/policy/power_helper.hpp"
#include "fuzz/fuzz_support.hpp"

namespace contract = halvernic::contract;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  hv_fuzz::set_up();
  hv_fuzz::discard_log_lines();  // the engine logs every application
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  static const std::string path = contract::resolvedPreferencesPath();
  if (path.empty()) hv_fuzz::fail("no preferences path");
  if (!hv_fuzz::write_file(path, bytes, size)) return 0;

  objc::AutoreleasePool pool;
  HPowerHepler& engine = HPowerHepler::shared();
  engine.resetForTesting();
  engine.loadPreferencesIfEmpty();

  // The engine's reading is the reader's: the same mode and Booleans.
  objc::Ref read = HFileManager::readPropertyList(path);
  if (!objc::isDictionary(read.get())) hv_fuzz::fail("the reader answered no dictionary");
  const contract::PowerMode mode = engine.currentPowerMode();
  if (mode != contract::powerModeOf(read.get()))
    hv_fuzz::fail("engine and reader disagree on the mode");
  for (const char* key : {contract::kPreventDimmingKey, contract::kSuppressNotificationsKey,
                          contract::kDisablePocketSunlightKey, contract::kSunlightLockedKey}) {
    for (bool fallback : {false, true}) {
      if (engine.boolPreference(key, fallback) !=
          contract::engineBoolPreference(read.get(), key, fallback)) {
        hv_fuzz::fail("engine and contract disagree on a Boolean");
      }
    }
  }
  // The overheat protection's setting: on unless the file turns it off, and never engaged
  // without a reading of the battery.
  if (engine.overheatStatus().enabled !=
      contract::engineBoolPreference(read.get(), contract::kOverheatProtectionKey, true)) {
    hv_fuzz::fail("engine and contract disagree on the overheat protection");
  }
  if (engine.overheatProtectionEngaged()) hv_fuzz::fail("engaged without a reading");
  const bool force = engine.shouldForceThermalState();
  if (mode == contract::PowerMode::fullPower && !force)
    hv_fuzz::fail("fullPower without a forced state");

  // The hot-path questions, before and after an application.
  for (int round = 0; round < 2; ++round) {
    const std::int64_t level = engine.filterCPULevel(0);
    if (mode == contract::PowerMode::lowPower ? level != 2 : level != 0) hv_fuzz::fail("CPU level");
    const std::int64_t target = engine.adjustCPUPowerTarget(30000);
    if (mode == contract::PowerMode::fullPower ? target < 50000 : target != 30000)
      hv_fuzz::fail("CPU target");
    const std::int64_t limit = engine.adjustComponentPowerLimit(1000, 3);
    if (mode == contract::PowerMode::fullPower ? limit < 50000 : limit != 1000)
      hv_fuzz::fail("component limit");
    if (round == 0) engine.applyThermalState();
  }
  if (engine.currentPowerMode() != mode) hv_fuzz::fail("an application changed the mode read");
  return 0;
}
