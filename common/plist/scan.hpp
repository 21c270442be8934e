// A bounded look at property-list bytes before any platform parser sees them. Both parsers
// a property list can reach (Apple's and GNUstep's) build nested containers by recursion: a
// file of a million nested brackets exhausts the stack of the thread that reads it, and a
// reader that runs inside a root daemon must never meet one. The preferences file is
// written as XML or as a binary list ("bplist00"), a few levels deep; anything else is no
// preferences file.
//
// The scan is one linear pass over the bytes, with no recursion and memory bounded by the
// nesting limit (plus one byte per object of a binary list). Plain C++: it runs the same
// on every platform, before Apple's parser on iOS and inside the Foundation fix-ups on
// Linux.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plist {

// The deepest nesting of containers (dictionaries and arrays) a scanned list may have; the
// root container is level 1, an empty container counts as a level.
inline constexpr std::size_t kMaxContainerDepth = 32;

enum class Form : std::uint8_t {
  refused,  // not a list this scan lets through
  xml,
  binary,
};

// What the bytes are, as far as the scan can tell:
//  - binary: "bplist00", a trailer whose sizes, counts and offsets fit the bytes; every
//    object reached from the top (through the offset table, every reference below the
//    object count, offsets and references of 1 to 4 bytes) lies inside the object area and
//    is one of the property-list kinds (Booleans, integers of 1 to 8 bytes, reals, dates
//    other than NaN, data, ASCII strings of ASCII bytes, UTF-16 strings without an unpaired
//    surrogate, arrays, dictionaries); no container holds itself at any depth.
//  - xml: UTF-8 (an optional byte-order mark, an XML declaration naming no other
//    encoding), well-formed XML as far as a property list uses it: comments, processing
//    instructions, one DOCTYPE without an internal subset, CDATA sections and the five
//    predefined entities and character references inside values; one root element of the
//    property-list vocabulary (plist, dict, array, key, string, data, date, integer, real,
//    true, false), every end tag matching its start tag, containers holding only elements
//    and white space, values holding no element; outside values no control character but
//    tab, line feed and carriage return (inside them, whatever a string may hold: the
//    platforms' writers put it there as it is). Where parsers read markup differently, the scan
//    takes only what they all read alike: no '<' or '>' inside an instruction or the DOCTYPE but
//    the one that closes it, and no '&' anywhere but as a reference every parser knows (GNUstep's
//    loses a string for every other one it meets, even inside an instruction).
//  - nesting at most kMaxContainerDepth containers deep in both.
// Everything else is refused: old-style (OpenStep) text, UTF-16 XML, GNUstep's serialised
// form, and any truncated or damaged list.
Form scan(const void* bytes, std::size_t length) noexcept;

}  // namespace plist
