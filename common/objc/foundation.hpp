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
bool is_string(id object) noexcept;
bool is_number(id object) noexcept;      // Booleans are numbers too
bool is_boolean(id object) noexcept;     // a Boolean, as a property list stores it
bool is_dictionary(id object) noexcept;
bool is_array(id object) noexcept;
bool is_data(id object) noexcept;

// ---- strings -------------------------------------------------------------------------
id string(std::string_view utf8);      // autoreleased NSString
Ref make_string(std::string_view utf8);  // owned NSString
std::string to_string(id string_object);  // "" for nil or a non-string
bool string_equals(id string_object, std::string_view utf8) noexcept;  // exact, case-sensitive

// ---- numbers and Booleans --------------------------------------------------------------
id number(std::int64_t value);  // autoreleased NSNumber
id number_double(double value);
id boolean(bool value);         // the platform's Boolean object (a singleton)
std::int64_t int64_value(id number_or_string) noexcept;  // longLongValue; 0 for nil
double double_value(id number_or_string) noexcept;
// The platform's own boolValue of a number or a string ("2" reads true, "on" false);
// false for anything else and never raises.
bool platform_bool_value(id object) noexcept;

// ---- collections -----------------------------------------------------------------------
id dictionary_get(id dictionary, id key) noexcept;            // nil when absent or not a dictionary
id dictionary_get(id dictionary, std::string_view key);       // string key
std::size_t count(id collection) noexcept;                    // 0 for nil or a non-collection
id array_get(id array, std::size_t index) noexcept;           // nil past the end or for a non-array
id dictionary_keys(id dictionary);                            // autoreleased array
bool all_keys_are_strings(id dictionary) noexcept;
Ref make_mutable_dictionary();
Ref make_mutable_array();
Ref mutable_copy(id collection);                              // shallow mutable copy, +1
void dictionary_set(id mutable_dictionary, std::string_view key, id value);
void dictionary_set(id mutable_dictionary, id key, id value);
void dictionary_remove(id mutable_dictionary, std::string_view key);
void array_add(id mutable_array, id value);
bool objects_equal(id a, id b) noexcept;                      // isEqual:, nil equals nil

// Calls fn(key, value) for each entry; fn returns false to stop.
template <class Fn>
void for_each_entry(id dictionary, Fn&& fn);

// ---- property lists --------------------------------------------------------------------
// Reads a property-list file (XML or binary) with mutable containers. nil when the file
// is missing or unreadable or is not a property list; never raises.
Ref read_property_list_file(std::string_view path);
// The same with the file read in one bounded read (common/os read_file): a file above
// max_bytes, or one that grows past it while it is read, reads as nil without being read
// whole or parsed. For files of the system; the preferences file, which any local process
// may write, is read only through contract::read_preferences_file (the bounded scan first).
Ref read_property_list_file(std::string_view path, std::size_t max_bytes);
// The bytes as NSData (owned).
Ref make_data(std::string_view bytes);
// Parses data (NSData) as a property list with mutable containers; nil on any error.
Ref parse_property_list(id data);
// A property list in Apple's XML format; nothing when it is not a property list (a
// value of another class, a dictionary key that is not a string). Never raises.
std::optional<std::string> property_list_xml(id plist);
// Writes a property list as Apple's XML format, atomically (a temporary file renamed into
// place): a reader sees the old file or the new one, never a mixture. On iOS the platform's
// own atomic write does it; on Linux, and on iOS when an owner or mode is asked for (the
// platform's write has no way to set them but by path afterwards), os::write_file_atomically
// does, with every step after the temporary file's creation on its descriptor.
bool write_property_list_xml_atomically(id plist, std::string_view path,
                                        const os::Ownership& ownership = {});

// ---- logging ---------------------------------------------------------------------------
// The platform's NSLog with a printf-style format ("%d", "%@" for objects).
// Pass "%d" arguments as int: the format is not checked by the compiler.
void log(const char* format, ...);
void logv(const char* format, va_list args);

// ---------------------------------------------------------------------------------------
template <class Fn>
void for_each_entry(id dictionary, Fn&& fn) {
  id keys = dictionary_keys(dictionary);
  const std::size_t n = count(keys);
  for (std::size_t i = 0; i < n; ++i) {
    id key = array_get(keys, i);
    if (!fn(key, dictionary_get(dictionary, key))) return;
  }
}

}  // namespace objc
