// Foundation from C++: strings, numbers, Booleans, collections, property lists, NSLog.
// Results follow Cocoa's conventions (ref.hpp): "make_" and "copy_" helpers say when the
// caller owns the result; everything else is +0 (autoreleased or owned elsewhere).
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/objc/ref.hpp"
#include "common/objc/runtime.hpp"
#include "common/os/write.hpp"

namespace objc {

// ---- classes -------------------------------------------------------------------------
bool isString(id object) noexcept;
bool isNumber(id object) noexcept;   // Booleans are numbers too
bool isBoolean(id object) noexcept;  // a Boolean, as a property list stores it
bool isDictionary(id object) noexcept;
bool isArray(id object) noexcept;
bool isData(id object) noexcept;

// ---- strings -------------------------------------------------------------------------
id string(std::string_view utf8);                                     // autoreleased NSString
Ref makeString(std::string_view utf8);                                // owned NSString
std::string toString(id string_object);                               // "" for nil or a non-string
bool stringEquals(id string_object, std::string_view utf8) noexcept;  // exact, case-sensitive

// ---- numbers and Booleans --------------------------------------------------------------
id number(std::int64_t value);  // autoreleased NSNumber
id numberDouble(double value);
id boolean(bool value);  // the platform's Boolean object (a singleton)
std::int64_t int64Value(id number_or_string) noexcept;  // longLongValue; 0 for nil
double doubleValue(id number_or_string) noexcept;
// The platform's own boolValue of a number or a string ("2" reads true, "on" false);
// false for anything else and never raises.
bool platformBoolValue(id object) noexcept;

// ---- collections -----------------------------------------------------------------------
id dictionaryGet(id dictionary, id key) noexcept;       // nil when absent or not a dictionary
id dictionaryGet(id dictionary, std::string_view key);  // string key
std::size_t count(id collection) noexcept;              // 0 for nil or a non-collection
id arrayGet(id array, std::size_t index) noexcept;      // nil past the end or for a non-array
id dictionaryKeys(id dictionary);                       // autoreleased array
bool allKeysAreStrings(id dictionary) noexcept;
Ref makeMutableDictionary();
Ref makeMutableArray();
Ref mutableCopy(id collection);  // shallow mutable copy, +1
void dictionarySet(id mutable_dictionary, std::string_view key, id value);
void dictionarySet(id mutable_dictionary, id key, id value);
void dictionaryRemove(id mutable_dictionary, std::string_view key);
void arrayAdd(id mutable_array, id value);
bool objectsEqual(id a, id b) noexcept;  // isEqual:, nil equals nil

// Calls fn(key, value) for each entry; fn returns false to stop.
template <class Fn>
void forEachEntry(id dictionary, Fn&& fn);

// ---- property lists --------------------------------------------------------------------
// Reads a property-list file (XML or binary) with mutable containers. nil when the file
// is missing or unreadable or is not a property list; never raises.
Ref readPropertyListFile(std::string_view path);
// The same with the file read in one bounded read (common/os read_file): a file above
// max_bytes, or one that grows past it while it is read, reads as nil without being read
// whole or parsed. For files of the system; the preferences file, which any local process
// may write, is read only through contract::readPreferencesFile (the bounded scan first).
Ref readPropertyListFile(std::string_view path, std::size_t max_bytes);
// The bytes as NSData (owned).
Ref makeData(std::string_view bytes);
// Parses data (NSData) as a property list with mutable containers; nil on any error.
Ref parsePropertyList(id data);
// A property list in Apple's XML format; nothing when it is not a property list (a
// value of another class, a dictionary key that is not a string). Never raises.
std::optional<std::string> propertyListXml(id plist);
// Writes a property list as Apple's XML format, atomically (a temporary file renamed into
// place): a reader sees the old file or the new one, never a mixture. On iOS the platform's
// own atomic write does it; on Linux, and on iOS when an owner or mode is asked for (the
// platform's write has no way to set them but by path afterwards), os::writeFileAtomically
// does, with every step after the temporary file's creation on its descriptor.
bool writePropertyListXmlAtomically(id plist, std::string_view path,
                                    const os::Ownership& ownership = {});

// ---- logging ---------------------------------------------------------------------------
// The platform's NSLog with a printf-style format ("%d", "%@" for objects).
// Pass "%d" arguments as int: the format is not checked by the compiler.
void log(const char* format, ...);
void logv(const char* format, va_list args);

// ---------------------------------------------------------------------------------------
template <class Fn>
void forEachEntry(id dictionary, Fn&& fn) {
  id keys = dictionaryKeys(dictionary);
  const std::size_t n = count(keys);
  for (std::size_t i = 0; i < n; ++i) {
    id key = arrayGet(keys, i);
    if (!fn(key, dictionaryGet(dictionary, key))) return;
  }
}

}  // namespace objc
