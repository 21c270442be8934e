// libFuzzer target: the bounded scan of property-list bytes (common/plist), both forms.
// The scan ends on any input (no recursion, bounded work) and names the form by its first
// bytes. What it lets through, the platform's parser reads without crashing, raising or
// losing memory, and whatever that parser builds nests no deeper than the scan counted.
// What the platform's writer makes of such a list, as XML and as binary, the scan lets
// through again: a front-end's rewrite never turns a readable file unreadable.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "common/objc/foundation.hpp"
#include "common/plist/scan.hpp"
#include "fuzz/fuzz_support.hpp"

namespace {

constexpr long kXmlFormat = 100;
constexpr long kBinaryFormat = 200;

// How many containers deep the list goes (the root container is level 1), without
// recursion; stops counting past the limit. *nan tells whether it holds a real that is NaN.
std::size_t container_depth(id root, bool* nan) {
  std::size_t deepest = 0;
  *nan = false;
  std::vector<std::pair<id, std::size_t>> pending{{root, 1}};
  while (!pending.empty()) {
    const id object = pending.back().first;
    const std::size_t level = pending.back().second;
    pending.pop_back();
    if (objc::isNumber(object) && std::isnan(objc::doubleValue(object))) *nan = true;
    const bool dictionary = objc::isDictionary(object);
    if (!dictionary && !objc::isArray(object)) continue;
    if (level > deepest) deepest = level;
    if (deepest > plist::kMaxContainerDepth) return deepest;
    if (dictionary) {
      objc::forEachEntry(object, [&](id, id value) {
        pending.emplace_back(value, level + 1);
        return true;
      });
    } else {
      for (std::size_t i = 0; i < objc::count(object); ++i)
        pending.emplace_back(objc::arrayGet(object, i), level + 1);
    }
  }
  return deepest;
}

bool starts_with(const std::uint8_t* bytes, std::size_t size, const char* prefix) {
  const std::size_t n = std::strlen(prefix);
  return size >= n && std::memcmp(bytes, prefix, n) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  hv_fuzz::set_up();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const plist::Form form = plist::scan(bytes, size);
  if (form == plist::Form::binary && !starts_with(bytes, size, "bplist00")) {
    hv_fuzz::fail("a binary list without the binary header");
  }
  if (form == plist::Form::xml && starts_with(bytes, size, "bplist"))
    hv_fuzz::fail("XML with a binary header");
  if (form == plist::Form::refused) return 0;

  objc::AutoreleasePool pool;
  objc::Ref data = objc::makeData({reinterpret_cast<const char*>(bytes), size});
  objc::Ref parsed = objc::parsePropertyList(data.get());
  if (!parsed) return 0;
  bool nan = false;
  if (container_depth(parsed.get(), &nan) > plist::kMaxContainerDepth) {
    hv_fuzz::fail("the parser built a list deeper than the scan counted");
  }
  for (long format : {kXmlFormat, kBinaryFormat}) {
    // GNUstep's binary writer asks for 16 GB to write a NaN (no reader is involved, and the
    // product writes XML only).
    if (format == kBinaryFormat && nan) continue;
    id written = nullptr;
    try {
      id error = nullptr;
      written = objc::send<id>(objc::cls("NSPropertyListSerialization"),
                               objc::sel("dataWithPropertyList:format:options:error:"),
                               parsed.get(), format, 0UL, &error);
    } catch (...) {
      written = nullptr;
    }
    if (!written) continue;  // a list the writer does not write (e.g. keys that are no strings)
    const void* out = objc::send<const void*>(written, objc::sel("bytes"));
    const unsigned long length = objc::send<unsigned long>(written, objc::sel("length"));
    if (plist::scan(out, length) == plist::Form::refused) {
      hv_fuzz::fail(format == kXmlFormat
                        ? "the scan refuses the platform's XML of a list it let through"
                        : "the scan refuses the platform's binary of a list it let through");
    }
  }
  return 0;
}
