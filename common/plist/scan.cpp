#include "common/plist/scan.hpp"

#include <array>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

namespace plist {
namespace {

// ---- binary lists ------------------------------------------------------------------------

constexpr std::size_t kBinaryHeader = 8;  // "bplist00"
constexpr std::size_t kTrailer = 32;

// Big-endian unsigned value of size bytes (1 to 8).
std::uint64_t readBe(const std::uint8_t* at, std::size_t size) noexcept {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < size; ++i) value = (value << 8) | at[i];
  return value;
}

// How many references a binary list may make a parser follow in all, at least: a list
// without shared containers never needs more than its own length (every reference takes a
// byte), but writers share equal containers (GNUstep's does), so a small list may stand
// for a larger tree. Bounded, a few hundred bytes of containers sharing each other cannot
// stand for an exponential one.
constexpr std::uint64_t kMinReferenceBudget = std::uint64_t{1} << 16;

// Follows the references from the top object down, as a parser would, without recursion.
// A container met again through another reference is walked again (a parser builds it
// again), so every path is bounded by the depth limit, and the references followed in all
// by the larger of the list's length and kMinReferenceBudget.
class BinaryWalk {
public:
  BinaryWalk(const std::uint8_t* bytes, std::size_t length) noexcept
      : bytes_(bytes), length_(length),
        budget_(length > kMinReferenceBudget ? length : kMinReferenceBudget) {}

  bool check() {
    if (length_ < kBinaryHeader + 1 + kTrailer) return false;
    if (std::memcmp(bytes_, "bplist00", kBinaryHeader) != 0) return false;
    const std::uint8_t* trailer = bytes_ + length_ - kTrailer;
    offset_size_ = trailer[6];
    ref_size_ = trailer[7];
    const std::uint64_t count = readBe(trailer + 8, 8);
    const std::uint64_t top = readBe(trailer + 16, 8);
    const std::uint64_t table = readBe(trailer + 24, 8);
    // Sizes of 1 to 4 bytes: enough for any list of at most 4 GiB, which is all Apple's writer
    // makes them for, and all GNUstep's reader takes (it raises on larger ones).
    if (offset_size_ < 1 || offset_size_ > 4 || ref_size_ < 1 || ref_size_ > 4) return false;
    const std::uint64_t area_end = length_ - kTrailer;
    // Every object takes at least one byte between the header and the offset table, and
    // the table holds one offset per object before the trailer.
    if (count < 1 || top >= count || table < kBinaryHeader + 1 || table > area_end) return false;
    if (count > table - kBinaryHeader || count > (area_end - table) / offset_size_) return false;
    count_ = count;
    table_ = table;
    std::uint8_t* state = inline_state_.data();
    if (count > inline_state_.size()) {
      heap_state_.assign(static_cast<std::size_t>(count), 0);
      state = heap_state_.data();
    } else {
      inline_state_.fill(0);
    }
    state_ = state;
    return walk(top);
  }

private:
  struct Frame {
    std::uint64_t object = 0;
    std::uint64_t refs = 0;   // where its references begin
    std::uint64_t count = 0;  // how many references it has (a dictionary's keys and values)
    std::uint64_t next = 0;   // the next one to follow
  };

  bool inArea(std::uint64_t begin, std::uint64_t size) const noexcept {
    return begin <= table_ && size <= table_ - begin;
  }

  // A length of a data, string or container object: the low four bits, or (all four set)
  // the integer object that follows the marker. *at moves past what was read.
  bool lengthOf(std::uint8_t marker, std::uint64_t* at, std::uint64_t* length) const noexcept {
    if ((marker & 0x0F) != 0x0F) {
      *length = marker & 0x0F;
      return true;
    }
    if (!inArea(*at, 1)) return false;
    const std::uint8_t int_marker = bytes_[*at];
    if ((int_marker & 0xF0) != 0x10 || (int_marker & 0x0F) > 3) return false;
    const std::size_t size = std::size_t{1} << (int_marker & 0x0F);
    if (!inArea(*at + 1, size)) return false;
    *length = readBe(bytes_ + *at + 1, size);
    *at += 1 + size;
    return true;
  }

  // Text GNUstep's reader turns into a string without raising (it raises, and loses what
  // it had built, on ASCII strings with other bytes and on UTF-16 with an unpaired
  // surrogate): checked once per object, however often it is referred to.
  bool textReadable(std::uint64_t object, std::uint64_t at, std::uint64_t length,
                    bool utf16) noexcept {
    if (state_[object] & kTextChecked) return true;
    const std::uint8_t* text = bytes_ + at;
    if (!utf16) {
      for (std::uint64_t i = 0; i < length; ++i) {
        if (text[i] >= 0x80) return false;
      }
    } else {
      for (std::uint64_t i = 0; i < length; ++i) {
        const unsigned unit = (unsigned{text[2 * i]} << 8) | text[2 * i + 1];
        if (unit >= 0xDC00 && unit <= 0xDFFF) return false;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
          if (i + 1 == length) return false;
          const unsigned next = (unsigned{text[2 * i + 2]} << 8) | text[2 * i + 3];
          if (next < 0xDC00 || next > 0xDFFF) return false;
          ++i;
        }
      }
    }
    state_[object] |= kTextChecked;
    return true;
  }

  // A date GNUstep's reader takes: any number but NaN (it raises on one).
  bool dateReadable(std::uint64_t at) const noexcept {
    const std::uint64_t bits = readBe(bytes_ + at, 8);
    const bool nan =
        ((bits >> 52) & 0x7FF) == 0x7FF && (bits & ((std::uint64_t{1} << 52) - 1)) != 0;
    return !nan;
  }

  // Checks one object's own bytes; *container tells whether it has references to follow,
  // described by *frame.
  bool describe(std::uint64_t object, Frame* frame, bool* container) noexcept {
    std::uint64_t at = readBe(bytes_ + table_ + object * offset_size_, offset_size_);
    if (at < kBinaryHeader || at >= table_) return false;
    const std::uint8_t marker = bytes_[at++];
    const std::uint8_t info = marker & 0x0F;
    std::uint64_t length = 0;
    *container = false;
    switch (marker & 0xF0) {
      case 0x00: return marker == 0x08 || marker == 0x09;  // false, true
      case 0x10: return info <= 3 && inArea(at, std::uint64_t{1} << info);
      case 0x20: return (info == 2 || info == 3) && inArea(at, std::uint64_t{1} << info);
      case 0x30: return marker == 0x33 && inArea(at, 8) && dateReadable(at);
      case 0x40: return lengthOf(marker, &at, &length) && inArea(at, length);
      case 0x50:
        return lengthOf(marker, &at, &length) && inArea(at, length) &&
               textReadable(object, at, length, false);
      case 0x60:
        return lengthOf(marker, &at, &length) && length <= table_ / 2 && inArea(at, length * 2) &&
               textReadable(object, at, length, true);
      case 0xA0:
      case 0xD0: {
        if (!lengthOf(marker, &at, &length) || length > table_) return false;
        const std::uint64_t refs = (marker & 0xF0) == 0xD0 ? length * 2 : length;
        if (refs > table_ / ref_size_ || !inArea(at, refs * ref_size_)) return false;
        *frame = Frame{object, at, refs, 0};
        *container = true;
        return true;
      }
      default: return false;  // sets, UIDs, 16-byte integers and unknown kinds are no preferences
    }
  }

  bool walk(std::uint64_t top) noexcept {
    std::array<Frame, kMaxContainerDepth> stack;
    std::size_t depth = 0;
    auto enter = [&](std::uint64_t object) {
      if (state_[object] & kOnPath) return false;  // a container inside itself
      Frame frame;
      bool container = false;
      if (!describe(object, &frame, &container)) return false;
      if (!container) return true;
      if (depth == kMaxContainerDepth) return false;
      state_[object] |= kOnPath;
      stack[depth++] = frame;
      return true;
    };
    if (!enter(top)) return false;
    while (depth > 0) {
      Frame& current = stack[depth - 1];
      if (current.next == current.count) {
        state_[current.object] &= static_cast<std::uint8_t>(~kOnPath);
        --depth;
        continue;
      }
      if (budget_ == 0) return false;
      --budget_;
      const std::uint64_t ref = readBe(bytes_ + current.refs + current.next * ref_size_, ref_size_);
      ++current.next;
      if (ref >= count_ || !enter(ref)) return false;
    }
    return true;
  }

  const std::uint8_t* bytes_;
  std::size_t length_;
  std::uint64_t budget_;
  std::size_t offset_size_ = 0;
  std::size_t ref_size_ = 0;
  std::uint64_t count_ = 0;
  std::uint64_t table_ = 0;
  // Per object: a container on the path being walked (kOnPath), its text checked once
  // (kTextChecked). A typical preferences list has a few dozen objects: no allocation.
  static constexpr std::uint8_t kOnPath = 1;
  static constexpr std::uint8_t kTextChecked = 2;
  std::array<std::uint8_t, 256> inline_state_;
  std::vector<std::uint8_t> heap_state_;
  std::uint8_t* state_ = nullptr;
};

// ---- XML lists ---------------------------------------------------------------------------

// The elements of a property list. Containers hold elements; values hold text only.
enum class Element : std::uint8_t {
  plist,
  dict,
  array,
  key,
  string,
  data,
  date,
  integer,
  real,
  yes,
  no,
  unknown
};

constexpr bool isContainer(Element e) noexcept { return e == Element::dict || e == Element::array; }
constexpr bool isValue(Element e) noexcept { return e != Element::plist && !isContainer(e); }

bool isSpace(std::uint8_t c) noexcept { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool isNameStart(std::uint8_t c) noexcept {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
}
bool isNameChar(std::uint8_t c) noexcept {
  return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}
bool isXmlChar(std::uint32_t c) noexcept {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

class XmlScan {
public:
  XmlScan(const std::uint8_t* bytes, std::size_t length) noexcept
      : at_(bytes), end_(bytes + length) {}

  bool check() noexcept {
    if (end_ - at_ >= 3 && at_[0] == 0xEF && at_[1] == 0xBB && at_[2] == 0xBF) at_ += 3;
    if (lookingAt("<?xml") && end_ - at_ > 5 && (isSpace(at_[5]) || at_[5] == '?')) {
      if (!declaration()) return false;
    }
    while (at_ < end_) {
      if (*at_ != '<') {
        if (!text()) return false;
      } else if (lookingAt("<!--")) {
        at_ += 4;
        if (!skipPast("-->")) return false;
      } else if (lookingAt("<?")) {
        if (!instruction()) return false;
      } else if (lookingAt("<![CDATA[")) {
        if (depth_ == 0 || !isValue(stack_[depth_ - 1])) return false;
        at_ += 9;
        if (!skipPast("]]>", true)) return false;
      } else if (lookingAt("<!DOCTYPE")) {
        if (!doctype()) return false;
      } else if (lookingAt("</")) {
        if (!endTag()) return false;
      } else {
        if (!startTag()) return false;
      }
    }
    return root_seen_ && depth_ == 0;
  }

private:
  bool lookingAt(const char* literal) const noexcept {
    const std::size_t n = std::strlen(literal);
    return static_cast<std::size_t>(end_ - at_) >= n && std::memcmp(at_, literal, n) == 0;
  }

  // One character at at_ in UTF-8 (no overlong form, no surrogate); moves past it. An XML
  // character, or inside a value (text or CDATA of a string, a key...) any character a
  // string holds: the platforms' XML writers put control characters and noncharacters of
  // a string into the file as they are, and their parsers read them back.
  bool character(bool in_value = false) noexcept {
    const std::uint8_t c = *at_;
    if (c < 0x80) {
      ++at_;
      return in_value || isXmlChar(c);
    }
    std::size_t extra = 0;
    std::uint32_t value = 0;
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
      value = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      value = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      value = c & 0x07;
    } else {
      return false;
    }
    if (static_cast<std::size_t>(end_ - at_) <= extra) return false;
    for (std::size_t i = 1; i <= extra; ++i) {
      if ((at_[i] & 0xC0) != 0x80) return false;
      value = (value << 6) | (at_[i] & 0x3F);
    }
    if ((extra == 2 && value < 0x800) || (extra == 3 && value < 0x10000)) return false;
    at_ += extra + 1;
    return isXmlChar(value) || (in_value && (value == 0xFFFE || value == 0xFFFF));
  }

  // Characters up to and past terminator.
  bool skipPast(const char* terminator, bool in_value = false) noexcept {
    const std::size_t n = std::strlen(terminator);
    while (at_ < end_) {
      if (static_cast<std::size_t>(end_ - at_) >= n && std::memcmp(at_, terminator, n) == 0) {
        at_ += n;
        return true;
      }
      if (!character(in_value)) return false;
    }
    return false;
  }

  bool name(const std::uint8_t** begin, std::size_t* length) noexcept {
    *begin = at_;
    if (at_ >= end_ || !isNameStart(*at_)) return false;
    while (at_ < end_ && isNameChar(*at_)) ++at_;
    *length = static_cast<std::size_t>(at_ - *begin);
    return true;
  }

  void skipSpaces() noexcept {
    while (at_ < end_ && isSpace(*at_)) ++at_;
  }

  // A reference after "&": one of the five predefined entities or a character reference
  // of an XML character in at most 6 decimal or 5 hexadecimal digits. GNUstep's parser
  // takes a longer reference ("&#x01F600;", leading zeros included) for the name of an
  // entity it does not know, and loses that name.
  bool reference() noexcept {
    ++at_;  // '&'
    if (at_ < end_ && *at_ == '#') {
      ++at_;
      const bool hex = at_ < end_ && *at_ == 'x';
      if (hex) ++at_;
      std::uint32_t value = 0;
      std::size_t digits = 0;
      for (; at_ < end_ && *at_ != ';'; ++at_, ++digits) {
        const std::uint8_t c = *at_;
        std::uint32_t digit = 0;
        if (c >= '0' && c <= '9') {
          digit = c - '0';
        } else if (hex && c >= 'a' && c <= 'f') {
          digit = c - 'a' + 10;
        } else if (hex && c >= 'A' && c <= 'F') {
          digit = c - 'A' + 10;
        } else {
          return false;
        }
        if (digits == (hex ? 5u : 6u)) return false;
        value = value * (hex ? 16 : 10) + digit;
      }
      if (at_ >= end_ || digits == 0 || !isXmlChar(value)) return false;
      ++at_;  // ';'
      return true;
    }
    for (const char* entity : {"lt;", "gt;", "amp;", "quot;", "apos;"}) {
      if (lookingAt(entity)) {
        at_ += std::strlen(entity);
        return true;
      }
    }
    return false;
  }

  // Text up to the next markup: inside a value anything but a bare '&'; elsewhere white
  // space only.
  bool text() noexcept {
    const bool in_value = depth_ > 0 && isValue(stack_[depth_ - 1]);
    while (at_ < end_ && *at_ != '<') {
      if (!in_value) {
        if (!isSpace(*at_)) return false;
        ++at_;
      } else if (*at_ == '&') {
        if (!reference()) return false;
      } else if (!character(true)) {
        return false;
      }
    }
    return true;
  }

  // The data of a processing instruction or of the declaration, up to and past "?>". The
  // markup the scan lets through must mean to every parser what it means to the scan, and
  // parsers end an instruction differently (at the first '>', or at "?>" outside quotes),
  // so there is no '<' in it and no '>' but the closing one, outside quotes. GNUstep also
  // resolves references inside it, and loses the name of every entity it does not know
  // (a string per reading): an '&' must begin a reference every parser knows.
  bool instructionData() noexcept {
    std::uint8_t quote = 0;
    while (at_ < end_) {
      const std::uint8_t c = *at_;
      if (c == '<') return false;
      if (c == '>') {
        if (quote || at_[-1] != '?') return false;
        ++at_;
        return true;
      }
      if (c == '&') {
        if (!reference()) return false;
        continue;
      }
      if (c == '"' || c == '\'') {
        if (!quote) {
          quote = c;
        } else if (quote == c) {
          quote = 0;
        }
      }
      if (!character()) return false;
    }
    return false;
  }

  // <?xml version="1.0" encoding="UTF-8"?> at the very start: the encoding, when named,
  // is UTF-8.
  bool declaration() noexcept {
    const std::uint8_t* begin = at_;
    at_ += 5;
    if (!instructionData()) return false;
    const std::string_view text(reinterpret_cast<const char*>(begin),
                                static_cast<std::size_t>(at_ - begin));
    const std::size_t named = text.find("encoding");
    if (named == std::string_view::npos) return true;
    std::size_t i = named + 8;
    while (i < text.size() && isSpace(static_cast<std::uint8_t>(text[i]))) ++i;
    if (i >= text.size() || text[i] != '=') return false;
    ++i;
    while (i < text.size() && isSpace(static_cast<std::uint8_t>(text[i]))) ++i;
    if (i >= text.size() || (text[i] != '"' && text[i] != '\'')) return false;
    const char quote = text[i++];
    const std::size_t close = text.find(quote, i);
    if (close == std::string_view::npos) return false;
    const std::string_view encoding = text.substr(i, close - i);
    if (encoding.size() != 5) return false;
    for (std::size_t k = 0; k < 5; ++k) {
      const char c = encoding[k];
      const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
      if (lower != "utf-8"[k]) return false;
    }
    return true;
  }

  // <?target ...?>; the target "xml" in any case is the declaration's alone.
  bool instruction() noexcept {
    at_ += 2;
    const std::uint8_t* target = nullptr;
    std::size_t length = 0;
    if (!name(&target, &length)) return false;
    if (length == 3 && (target[0] | 0x20) == 'x' && (target[1] | 0x20) == 'm' &&
        (target[2] | 0x20) == 'l') {
      return false;
    }
    return instructionData();
  }

  // <!DOCTYPE plist PUBLIC "..." "...">: once, before the root element, without an
  // internal subset (which could declare entities that expand without bound). Some
  // parsers end it at the first '>' even inside quotes (GNUstep's does): no '>' but the
  // closing one, no '<' and no reference in it.
  bool doctype() noexcept {
    if (root_seen_ || doctype_seen_) return false;
    doctype_seen_ = true;
    at_ += 9;
    std::uint8_t quote = 0;
    while (at_ < end_) {
      const std::uint8_t c = *at_;
      if (c == '[' || c == '<' || c == '&') return false;
      if (c == '>') {
        if (quote) return false;
        ++at_;
        return true;
      }
      if (c == quote) {
        quote = 0;
      } else if (!quote && (c == '"' || c == '\'')) {
        quote = c;
      }
      if (!character()) return false;
    }
    return false;
  }

  static Element elementNamed(const std::uint8_t* name, std::size_t length) noexcept {
    static constexpr std::pair<const char*, Element> kNames[] = {
        {"plist", Element::plist}, {"dict", Element::dict},       {"array", Element::array},
        {"key", Element::key},     {"string", Element::string},   {"data", Element::data},
        {"date", Element::date},   {"integer", Element::integer}, {"real", Element::real},
        {"true", Element::yes},    {"false", Element::no},
    };
    for (const auto& [text, element] : kNames) {
      if (std::strlen(text) == length && std::memcmp(text, name, length) == 0) return element;
    }
    return Element::unknown;
  }

  // An attribute value in quotes: characters and references, no '<'.
  bool attributeValue() noexcept {
    if (at_ >= end_ || (*at_ != '"' && *at_ != '\'')) return false;
    const std::uint8_t quote = *at_++;
    while (at_ < end_ && *at_ != quote) {
      if (*at_ == '<') return false;
      if (*at_ == '&') {
        if (!reference()) return false;
      } else if (!character()) {
        return false;
      }
    }
    if (at_ >= end_) return false;
    ++at_;
    return true;
  }

  bool startTag() noexcept {
    ++at_;  // '<'
    const std::uint8_t* text = nullptr;
    std::size_t length = 0;
    if (!name(&text, &length)) return false;
    const Element element = elementNamed(text, length);
    if (element == Element::unknown) return false;
    // Where it may stand: the root (once; a plist or any object but a key), inside the
    // plist (an object), inside a container (a key or an object); never inside a value.
    if (depth_ == 0) {
      if (root_seen_ || element == Element::key) return false;
      root_seen_ = true;
    } else {
      const Element parent = stack_[depth_ - 1];
      if (isValue(parent) || element == Element::plist) return false;
      if (parent == Element::plist && element == Element::key) return false;
    }
    for (;;) {
      const bool spaced = at_ < end_ && isSpace(*at_);
      skipSpaces();
      if (at_ >= end_) return false;
      if (*at_ == '>' || *at_ == '/') break;
      const std::uint8_t* attribute = nullptr;
      std::size_t attribute_length = 0;
      if (!spaced || !name(&attribute, &attribute_length)) return false;
      skipSpaces();
      if (at_ >= end_ || *at_ != '=') return false;
      ++at_;
      skipSpaces();
      if (!attributeValue()) return false;
    }
    const bool empty = *at_ == '/';
    if (empty) {
      ++at_;
      if (at_ >= end_ || *at_ != '>') return false;
    }
    ++at_;  // '>'
    if (isContainer(element)) {
      if (containers_ == kMaxContainerDepth) return false;
      if (empty) return true;
      ++containers_;
    } else if (empty) {
      return true;
    }
    stack_[depth_++] = element;
    return true;
  }

  bool endTag() noexcept {
    at_ += 2;
    const std::uint8_t* text = nullptr;
    std::size_t length = 0;
    if (!name(&text, &length)) return false;
    skipSpaces();
    if (at_ >= end_ || *at_ != '>') return false;
    ++at_;
    if (depth_ == 0 || stack_[depth_ - 1] != elementNamed(text, length)) return false;
    if (isContainer(stack_[--depth_])) --containers_;
    return true;
  }

  const std::uint8_t* at_;
  const std::uint8_t* end_;
  // The open elements: the plist, the containers, one value.
  std::array<Element, kMaxContainerDepth + 2> stack_{};
  std::size_t depth_ = 0;
  std::size_t containers_ = 0;
  bool root_seen_ = false;
  bool doctype_seen_ = false;
};

}  // namespace

Form scan(const void* bytes, std::size_t length) noexcept {
  if (!bytes || length == 0) return Form::refused;
  const auto* data = static_cast<const std::uint8_t*>(bytes);
  if (length >= kBinaryHeader && std::memcmp(data, "bplist", 6) == 0) {
    try {
      return BinaryWalk(data, length).check() ? Form::binary : Form::refused;
    } catch (const std::bad_alloc&) {
      return Form::refused;
    }
  }
  return XmlScan(data, length).check() ? Form::xml : Form::refused;
}

}  // namespace plist
