#include "extension/config/dict_helper.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string_view>
#include <vector>

#include "common/objc/exception.hpp"
#include "common/objc/foundation.hpp"

namespace {

using NSUInteger = unsigned long;
struct NSRange {
  NSUInteger location;
  NSUInteger length;
};

constinit objc::ClassName kNSMutableDictionary{"NSMutableDictionary"};
constinit objc::ClassName kNSMutableArray{"NSMutableArray"};
constinit objc::ClassName kNSNumber{"NSNumber"};

constinit objc::Selector kAlloc{"alloc"};
constinit objc::Selector kInitWithCapacity{"initWithCapacity:"};
constinit objc::Selector kInitWithLongLong{"initWithLongLong:"};
constinit objc::Selector kGetObjectsAndKeysCount{"getObjects:andKeys:count:"};
constinit objc::Selector kGetObjectsAndKeys{"getObjects:andKeys:"};
constinit objc::Selector kGetObjectsRange{"getObjects:range:"};
constinit objc::Selector kObjectForKey{"objectForKey:"};
constinit objc::Selector kSetObjectForKey{"setObject:forKey:"};
constinit objc::Selector kAddObject{"addObject:"};
constinit objc::Selector kReplaceObjectAtIndex{"replaceObjectAtIndex:withObject:"};
constinit objc::Selector kLength{"length"};
constinit objc::Selector kGetCharactersRange{"getCharacters:range:"};
constinit objc::Selector kObjCType{"objCType"};
constinit objc::Selector kLongLongValue{"longLongValue"};
constinit objc::Selector kDoubleValue{"doubleValue"};

// ---- strings -----------------------------------------------------------------------------

// A string's UTF-16 code units, without allocating for the short strings configurations
// are made of.
class Utf16 {
public:
  explicit Utf16(id string) {
    const auto length = objc::send<NSUInteger>(string, kLength);
    char16_t* buffer = inline_;
    if (length > kInline) {
      heap_.resize(length);
      buffer = heap_.data();
    }
    if (length) objc::send(string, kGetCharactersRange, buffer, NSRange{0, length});
    view_ = std::u16string_view(buffer, length);
  }
  Utf16(const Utf16&) = delete;
  Utf16& operator=(const Utf16&) = delete;
  std::u16string_view view() const noexcept { return view_; }

private:
  static constexpr std::size_t kInline = 128;
  char16_t inline_[kInline];
  std::u16string heap_;
  std::u16string_view view_;
};

// Unicode's whitespace and newline characters (all in the basic plane).
bool isWhitespaceOrNewline(char16_t c) noexcept {
  if (c <= 0x20) return c == 0x20 || (c >= 0x09 && c <= 0x0D);
  if (c < 0x85) return false;
  return c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 ||
         c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

std::optional<std::int64_t> parseInteger(std::u16string_view text) noexcept {
  std::size_t begin = 0, end = text.size();
  while (begin < end && isWhitespaceOrNewline(text[begin])) ++begin;
  while (end > begin && isWhitespaceOrNewline(text[end - 1])) --end;
  if (begin == end) return std::nullopt;
  bool negative = false;
  if (text[begin] == u'+' || text[begin] == u'-') {
    negative = text[begin] == u'-';
    ++begin;
    if (begin == end) return std::nullopt;
  }
  // The magnitude of the most negative value is one more than the largest positive one.
  const std::uint64_t limit =
      static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + (negative ? 1 : 0);
  std::uint64_t magnitude = 0;
  for (std::size_t i = begin; i < end; ++i) {
    const char16_t c = text[i];
    if (c < u'0' || c > u'9') return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(c - u'0');
    if (magnitude > (limit - digit) / 10) return std::nullopt;
    magnitude = magnitude * 10 + digit;
  }
  return negative ? static_cast<std::int64_t>(std::uint64_t{0} - magnitude)
                  : static_cast<std::int64_t>(magnitude);
}

// What a dictionary key says, by case-insensitive substring.
enum KeyMark : std::uint8_t {
  kBacklight = 1,  // "backlight": a dictionary under it is a backlight component
  kTableKey = 2,   // "brightness" or "backlightpower": a table to flatten
};

// Lower-cases a code unit where the result is one of the ASCII letters the markers are
// made of; any other unit stays as it is and can match nothing.
char16_t fold(char16_t c) noexcept {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + (u'a' - u'A'));
  if (c == 0x212A) return u'k';  // KELVIN SIGN lower-cases to "k"
  return c;
}

bool containsFolded(std::u16string_view folded, std::u16string_view marker) noexcept {
  return folded.find(marker) != std::u16string_view::npos;
}

// The marks of a string key.
std::uint8_t keyMarks(id key) {
  Utf16 units(key);
  std::u16string_view text = units.view();
  // Short keys are folded in place on the stack; longer ones on the heap.
  char16_t inline_folded[128];
  std::u16string heap_folded;
  char16_t* folded = inline_folded;
  if (text.size() > std::size(inline_folded)) {
    heap_folded.resize(text.size());
    folded = heap_folded.data();
  }
  for (std::size_t i = 0; i < text.size(); ++i) folded[i] = fold(text[i]);
  const std::u16string_view view(folded, text.size());
  std::uint8_t marks = 0;
  if (containsFolded(view, u"backlight")) marks |= kBacklight;
  if (containsFolded(view, u"brightness") || containsFolded(view, u"backlightpower")) {
    marks |= kTableKey;
  }
  return marks;
}

// ---- numbers and collections ---------------------------------------------------------------

objc::Ref makeNumber(std::int64_t value) {
  id allocated = objc::send<id>(kNSNumber.get(), kAlloc);
  return objc::Ref::adopt(
      objc::send<id>(allocated, kInitWithLongLong, static_cast<long long>(value)));
}

objc::Ref makeCollection(Class mutable_class, NSUInteger capacity) {
  id allocated = objc::send<id>(mutable_class, kAlloc);
  return objc::Ref::adopt(objc::send<id>(allocated, kInitWithCapacity, capacity));
}

// A string constant made once and kept for the life of the process.
id constantString(std::string_view text) { return objc::keepForever(objc::makeString(text)); }

struct Keys {
  id maxThermalPower = constantString("maxThermalPower");
  id minThermalPower = constantString("minThermalPower");
  id backlightPower = constantString("BacklightPower");
  id expectsCPMSSupport = constantString("expectsCPMSSupport");
  id zero = objc::keepForever(makeNumber(0));
};

const Keys& keys() {
  static const Keys instance;
  return instance;
}

// ---- the walk --------------------------------------------------------------------------------

enum class Kind : std::uint8_t { other, dictionary, array, string, number };

// What kind of property-list value an object is, remembered per class for the length of
// one walk: a configuration is made of a handful of classes, and looking up the class
// hierarchy for each of its values costs more than the rest of the walk.
class Kinds {
public:
  Kind of(id object) noexcept {
    if (!object) return Kind::other;
    Class c = objc::classOf(object);
    for (std::size_t i = 0; i < used_; ++i) {
      if (classes_[i] == c) return kinds_[i];
    }
    const Kind kind = objc::isDictionary(object) ? Kind::dictionary
                      : objc::isArray(object)    ? Kind::array
                      : objc::isString(object)   ? Kind::string
                      : objc::isNumber(object)   ? Kind::number
                                                 : Kind::other;
    const std::size_t slot = used_ < kSlots ? used_++ : (evict_++ % kSlots);
    classes_[slot] = c;
    kinds_[slot] = kind;
    return kind;
  }

private:
  static constexpr std::size_t kSlots = 16;
  Class classes_[kSlots] = {};
  Kind kinds_[kSlots] = {};
  std::size_t used_ = 0;
  std::size_t evict_ = 0;
};

// The integer value of a configuration value of the given kind (configIntegerValue).
std::optional<std::int64_t> integerValue(id value, Kind kind) noexcept {
  if (kind == Kind::string) {
    Utf16 units(value);
    return parseInteger(units.view());
  }
  if (kind != Kind::number) return std::nullopt;
  const char* type = objc::send<const char*>(value, kObjCType);
  if (type && (type[0] == 'd' || type[0] == 'f')) {
    // Truncated towards zero and saturated at the 64-bit range, as the hardware
    // conversion of arm64 does it; in C++ an out-of-range conversion is undefined.
    const double real = objc::send<double>(value, kDoubleValue);
    if (std::isnan(real)) return 0;
    if (real >= 0x1p63) return std::numeric_limits<std::int64_t>::max();
    if (real < -0x1p63) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(real);
  }
  return static_cast<std::int64_t>(objc::send<long long>(value, kLongLongValue));
}

// One dictionary or array being rebuilt. Its entries (keys, values and key marks of a
// dictionary; values of an array) sit in the walk's shared arena from base on; as each
// child container is finished its new copy takes the child's place among the values.
struct Frame {
  objc::Ref result;  // the new mutable container
  bool dictionary;
  bool under_backlight;  // the key it was found under (an array's, for its elements) says so
  std::size_t base;
  std::size_t count;
  std::size_t next = 0;
};

class Walk {
public:
  explicit Walk(HDictHepler::Engine& engine) : engine_(engine) {}

  objc::Ref run(id root) {
    push(root, kinds_.of(root), false);
    objc::Ref finished;
    while (!frames_.empty()) {
      Frame& top = frames_.back();
      if (top.next < top.count) {
        const std::size_t at = top.base + top.next++;
        const bool under_backlight =
            top.dictionary ? (marks_[at] & kBacklight) != 0 : top.under_backlight;
        id child = values_[at];
        const Kind kind = kinds_.of(child);
        if (kind == Kind::dictionary || kind == Kind::array) {
          push(child, kind, under_backlight);  // top is not used after this
        } else {
          store(top, at, child);
        }
        continue;
      }
      if (top.dictionary) patchIfBacklightComponent(top);
      objc::Ref done = std::move(top.result);
      const std::size_t base = top.base;
      frames_.pop_back();
      values_.resize(base);
      keys_.resize(base);
      marks_.resize(base);
      if (frames_.empty()) {
        finished = std::move(done);
      } else {
        Frame& parent = frames_.back();
        const std::size_t at = parent.base + parent.next - 1;
        values_[at] = done.get();  // the parent's container holds it from here on
        store(parent, at, done.get());
      }
    }
    return finished;
  }

private:
  void push(id container, Kind kind, bool under_backlight) {
    const bool dictionary = kind == Kind::dictionary;
    const std::size_t base = values_.size();
    const std::size_t n = objc::count(container);
    values_.resize(base + n);
    keys_.resize(base + n);
    marks_.resize(base + n);
    if (dictionary) {
      if (objc::respondsTo(container, kGetObjectsAndKeysCount)) {
        objc::send(container, kGetObjectsAndKeysCount, values_.data() + base, keys_.data() + base,
                   static_cast<NSUInteger>(n));
      } else {
        objc::send(container, kGetObjectsAndKeys, values_.data() + base, keys_.data() + base);
      }
      for (std::size_t i = base; i < base + n; ++i) {
        marks_[i] = kinds_.of(keys_[i]) == Kind::string ? keyMarks(keys_[i]) : 0;
      }
    } else if (n) {
      objc::send(container, kGetObjectsRange, values_.data() + base, NSRange{0, n});
    }
    frames_.push_back(
        Frame{makeCollection(dictionary ? kNSMutableDictionary.get() : kNSMutableArray.get(), n),
              dictionary, under_backlight, base, n});
  }

  void store(const Frame& frame, std::size_t at, id value) {
    if (frame.dictionary) {
      objc::send(frame.result.get(), kSetObjectForKey, value, keys_[at]);
    } else {
      objc::send(frame.result.get(), kAddObject, value);
    }
  }

  // The dictionary's children are done: if it is a backlight component, flatten its
  // tables, clear its CPMS flag and pin its thermal power.
  void patchIfBacklightComponent(const Frame& frame) {
    const std::size_t end = frame.base + frame.count;
    bool component = frame.under_backlight;
    for (std::size_t i = frame.base; !component && i < end; ++i) {
      component = (marks_[i] & kTableKey) != 0;
    }
    if (!component) return;

    id dictionary = frame.result.get();
    for (std::size_t i = frame.base; i < end; ++i) {
      if (!(marks_[i] & kTableKey)) continue;
      id table = values_[i];  // a new mutable array when the value was an array
      if (kinds_.of(table) != Kind::array) continue;
      objc::Ref largest = objc::Ref::retain(largestElement(table));
      if (!largest) continue;
      const std::size_t n = objc::count(table);
      for (std::size_t k = 0; k < n; ++k) {
        objc::send(table, kReplaceObjectAtIndex, static_cast<NSUInteger>(k), largest.get());
      }
    }
    const Keys& k = keys();
    objc::send(dictionary, kSetObjectForKey, k.zero, k.expectsCPMSSupport);
    const std::int64_t pinned =
        std::max(largestThermalPower(dictionary), HDictHepler::thermalPowerFloor);
    objc::Ref number = makeNumber(pinned);
    objc::send(dictionary, kSetObjectForKey, number.get(), k.maxThermalPower);
    objc::send(dictionary, kSetObjectForKey, number.get(), k.minThermalPower);
  }

  std::int64_t largestThermalPower(id dictionary) {
    const Keys& k = keys();
    std::optional<std::int64_t> largest;
    auto collect = [&](std::optional<std::int64_t> value) {
      if (value && (!largest || *value > *largest)) largest = value;
    };
    collect(integer(objc::send<id>(dictionary, kObjectForKey, k.maxThermalPower)));
    collect(integer(objc::send<id>(dictionary, kObjectForKey, k.minThermalPower)));
    id table = objc::send<id>(dictionary, kObjectForKey, k.backlightPower);
    if (kinds_.of(table) == Kind::array) {
      const auto power = integer(largestElement(table));
      if (power && *power >= 1) engine_.observeComponentPower(*power);
      collect(power);
    }
    return largest.value_or(0);
  }

  std::optional<std::int64_t> integer(id value) noexcept {
    return integerValue(value, kinds_.of(value));
  }

  // The element of array with the largest integer value (the first of equals), else the
  // array's first element; nil for an empty array.
  id largestElement(id array) {
    const std::size_t n = objc::count(array);
    id best = nullptr;
    std::int64_t best_value = 0;
    for (std::size_t i = 0; i < n; ++i) {
      id element = objc::arrayGet(array, i);
      const auto value = integer(element);
      if (value && (!best || *value > best_value)) {
        best = element;
        best_value = *value;
      }
    }
    return best ? best : objc::arrayGet(array, 0);
  }

  HDictHepler::Engine& engine_;
  Kinds kinds_;
  std::vector<Frame> frames_;
  std::vector<id> values_;
  std::vector<id> keys_;
  std::vector<std::uint8_t> marks_;
};

}  // namespace

std::optional<std::int64_t> HDictHepler::configIntegerValue(id value) noexcept {
  return integerValue(value, Kinds().of(value));
}

objc::Ref HDictHepler::patchThermalConfiguration(id dictionary) {
  objc::AutoreleasePool pool;
  objc::Ref given = objc::Ref::retain(dictionary);
  if (!objc::isDictionary(dictionary)) return given;
  if (!engine_.preventDimmingEnabled()) return given;

  objc::Ref patched;
  // The daemon calls this from its own methods: an exception raised by a collection
  // (one mutated while it is walked) must not unwind into it. It keeps its own
  // configuration then.
  const bool completed = objc::catchException([&] {
    Walk walk(engine_);
    patched = walk.run(dictionary);
  });
  if (!completed || !objc::isDictionary(patched.get())) return given;
  return patched;
}
