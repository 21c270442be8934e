// libFuzzer target: an arbitrary preferences file as the Settings pane and the Control Center
// module read and rewrite it. readPreferences answers a mutable dictionary or nil; one
// front-end change (the mode set, the seven mode-reset keys dropped, the whole dictionary
// written back) must leave a file that reads back with the new mode, without the reset
// keys, and with every other entry of the old file as it was; a file that did not read is
// kept whole beside it (<name>.unreadable).
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>

#include "common/objc/foundation.hpp"
#include "extension/contract/contract.hpp"
#include "fuzz/fuzz_support.hpp"

namespace contract = halvernic::contract;

namespace {

bool is_reset_key(id key) {
  for (const char* reset : contract::kModeResetKeys) {
    if (objc::stringEquals(key, reset)) return true;
  }
  return false;
}

bool is_date(id object) { return objc::isKindOf(object, objc::cls("NSDate")); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  hv_fuzz::set_up();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  static const std::string path = hv_fuzz::scratch() + "/frontend.plist";
  if (!hv_fuzz::write_file(path, bytes, size)) return 0;

  objc::AutoreleasePool pool;
  objc::Ref before = contract::readPreferences(path);
  if (before) {
    if (!objc::isDictionary(before.get())) hv_fuzz::fail("preferences that are no dictionary");
    // Mutable, as the front-ends change it in place.
    objc::dictionarySet(before.get(), "hvFuzzProbe", objc::number(1));
    objc::dictionaryRemove(before.get(), "hvFuzzProbe");
  }
  (void)contract::powerModeOf(before.get());

  const bool written =
      contract::writePreferenceValue(path, contract::kPowerModeKey, objc::string("lowPower"));
  if (!written) return 0;  // a failed write is ignored by the front-ends
  objc::Ref after = contract::readPreferences(path);
  if (!after) hv_fuzz::fail("a written preferences file does not read back");
  if (contract::powerModeOf(after.get()) != contract::PowerMode::lowPower)
    hv_fuzz::fail("the mode written is lost");
  objc::forEachEntry(after.get(), [](id key, id) {
    if (is_reset_key(key)) hv_fuzz::fail("a mode-reset key survived the write");
    return true;
  });
  if (!before) {
    // What could not be read is kept whole beside the new file, never overwritten.
    std::ifstream aside(path + contract::kUnreadableSuffix, std::ios::binary);
    const std::string kept{std::istreambuf_iterator<char>(aside), std::istreambuf_iterator<char>()};
    if (kept != std::string(reinterpret_cast<const char*>(bytes), size)) {
      hv_fuzz::fail("an unreadable file was not kept aside whole");
    }
  }
  if (before) {
    objc::forEachEntry(before.get(), [&](id key, id value) {
      if (is_reset_key(key) || objc::stringEquals(key, contract::kPowerModeKey)) return true;
      id kept = objc::dictionaryGet(after.get(), key);
      if (!kept) hv_fuzz::fail("an entry of the old file is lost");
      // Dates keep whole seconds in Apple's XML format too.
      if (!is_date(value) && !objc::objectsEqual(kept, value))
        hv_fuzz::fail("an entry of the old file changed");
      return true;
    });
  }
  return 0;
}
