// libFuzzer target: an arbitrary preferences file as the method replacement layer reads it
// (its own snapshot, re-read on every question here, through the contract's reader of
// changed files). The snapshot's flags must be what the contract makes of the same file
// read by the platform's own file reader (on Linux the Foundation fix-ups apply the same
// bounded scan). Nothing may crash, raise, hang or log.
#include <cstddef>
#include <cstdint>

#include "common/objc/foundation.hpp"
#include "extension/contract/contract.hpp"
#include "extension/replacements/preference_snapshot.hpp"
#include "fuzz/fuzz_support.hpp"

namespace contract = halvernic::contract;
namespace repl = halvernic::replacements;

namespace {
// A clock that moves a second at every reading: every question reads the file.
std::int64_t g_now = 0;
std::int64_t advancing_clock() noexcept { return g_now += 1'000'000'000; }
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  hv_fuzz::set_up();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  static const std::string path = hv_fuzz::scratch() + "/snapshot.plist";
  static repl::PreferenceSnapshot* snapshot = new repl::PreferenceSnapshot(path, &advancing_clock);
  if (!hv_fuzz::write_file(path, bytes, size)) return 0;

  objc::AutoreleasePool pool;
  const std::uint64_t reads = snapshot->fileReads();
  const repl::PreferenceFlags flags = snapshot->refresh();
  if (snapshot->fileReads() != reads + 1) hv_fuzz::fail("the snapshot did not read the file");
  if (flags.fullPowerMode && flags.lowPowerMode) hv_fuzz::fail("two modes at once");

  objc::Ref parsed = objc::readPropertyListFile(path);
  id preferences = objc::isDictionary(parsed.get()) ? parsed.get() : nullptr;
  const contract::PowerMode mode = contract::powerModeOf(preferences);
  if (flags.fullPowerMode != (mode == contract::PowerMode::fullPower) ||
      flags.lowPowerMode != (mode == contract::PowerMode::lowPower)) {
    hv_fuzz::fail("the snapshot and the parsed file disagree on the mode");
  }
  const bool dimming =
      preferences &&
      objc::platformBoolValue(objc::dictionaryGet(preferences, contract::kPreventDimmingKey));
  if (flags.preventDimming != dimming)
    hv_fuzz::fail("the snapshot and the parsed file disagree on dimming");
  return 0;
}
