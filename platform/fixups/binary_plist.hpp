// The structure of a binary property list ("bplist00"), checked before GNUstep's reader sees
// it. GNUstep raises on corrupt binary data and, on the way out, loses objects it had made
// (every read of a damaged file leaks); Apple's reader refuses the same data quietly. A
// list that passes this check is one GNUstep reads without raising.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hv_fixups {

// Whether bytes are a well-formed binary property list as Apple's reader accepts it:
//  - the header "bplist" and a 32-byte trailer whose sizes, counts and offsets fit the data;
//  - every object's offset within the object area, every reference below the object count;
//  - objects of the property-list kinds only: false, true, integers (1 to 8 bytes), reals
//    (4 or 8 bytes), dates, data, ASCII and UTF-16 strings, arrays and dictionaries (keys
//    of any of these kinds: the file reader refuses other than string keys); lengths of 15 or more as an integer object that follows (Apple also
//    reads 16-byte integers, sets and UIDs, which no preferences file holds and GNUstep's
//    reader does not take);
//  - no container that holds itself, at any depth, and nesting at most kMaxDepth deep.
bool is_well_formed_binary_plist(const std::uint8_t* bytes, std::size_t length);

inline constexpr std::size_t kMaxDepth = 512;

}  // namespace hv_fixups
