#include "common/objc/foundation.hpp"

#include <cstring>
#include <string>

#include "common/objc/exception.hpp"
#include "common/os/file.hpp"

extern "C" void NSLogv(id format, va_list args);

namespace objc {
namespace {

constinit ClassName kNSString{"NSString"};
constinit ClassName kNSNumber{"NSNumber"};
constinit ClassName kNSDictionary{"NSDictionary"};
constinit ClassName kNSMutableDictionary{"NSMutableDictionary"};
constinit ClassName kNSArray{"NSArray"};
constinit ClassName kNSMutableArray{"NSMutableArray"};
constinit ClassName kNSData{"NSData"};
constinit ClassName kNSPropertyListSerialization{"NSPropertyListSerialization"};

constinit Selector kAlloc{"alloc"};
constinit Selector kNew{"new"};
constinit Selector kInitWithBytes{"initWithBytes:length:encoding:"};
constinit Selector kUTF8String{"UTF8String"};
constinit Selector kLengthOfBytes{"lengthOfBytesUsingEncoding:"};
constinit Selector kIsEqual{"isEqual:"};
constinit Selector kNumberWithLongLong{"numberWithLongLong:"};
constinit Selector kNumberWithDouble{"numberWithDouble:"};
constinit Selector kNumberWithBool{"numberWithBool:"};
constinit Selector kLongLongValue{"longLongValue"};
constinit Selector kDoubleValue{"doubleValue"};
constinit Selector kBoolValue{"boolValue"};
constinit Selector kObjectForKey{"objectForKey:"};
constinit Selector kSetObjectForKey{"setObject:forKey:"};
constinit Selector kRemoveObjectForKey{"removeObjectForKey:"};
constinit Selector kCount{"count"};
constinit Selector kObjectAtIndex{"objectAtIndex:"};
constinit Selector kAllKeys{"allKeys"};
constinit Selector kAddObject{"addObject:"};
constinit Selector kMutableCopy{"mutableCopy"};
constinit Selector kDataWithContentsOfFile{"dataWithContentsOfFile:"};
constinit Selector kDataWithBytesLength{"dataWithBytes:length:"};
constinit Selector kPropertyListWithData{"propertyListWithData:options:format:error:"};
constinit Selector kDataWithPropertyList{"dataWithPropertyList:format:options:error:"};
#if defined(__APPLE__)
constinit Selector kWriteToFileAtomically{"writeToFile:atomically:"};
#endif
constinit Selector kBytes{"bytes"};
constinit Selector kLength{"length"};

constexpr unsigned long kUTF8Encoding = 4;           // NSUTF8StringEncoding
constexpr unsigned long kMutableContainers = 1;      // NSPropertyListMutableContainers
constexpr unsigned long kXMLFormat = 100;            // NSPropertyListXMLFormat_v1_0

using NSUInteger = unsigned long;
using NSInteger = long;

// The platform's two Boolean objects, as property lists and numberWithBool: give them.
id boolean_singleton(bool value) {
  static const id yes =
      keep_forever(Ref::retain(send<id>(kNSNumber.get(), kNumberWithBool, to_BOOL(true))));
  static const id no =
      keep_forever(Ref::retain(send<id>(kNSNumber.get(), kNumberWithBool, to_BOOL(false))));
  return value ? yes : no;
}

}  // namespace

bool is_string(id object) noexcept { return is_kind_of(object, kNSString); }
bool is_number(id object) noexcept { return is_kind_of(object, kNSNumber); }
bool is_dictionary(id object) noexcept { return is_kind_of(object, kNSDictionary); }
bool is_array(id object) noexcept { return is_kind_of(object, kNSArray); }
bool is_data(id object) noexcept { return is_kind_of(object, kNSData); }

bool is_boolean(id object) noexcept {
  // Both runtimes hand out exactly two Boolean objects (kCFBooleanTrue/False on Apple,
  // NSBoolNumber's two instances on GNUstep); every Boolean read from a property list is
  // one of them, and no other number ever is.
  return object && (object == boolean_singleton(true) || object == boolean_singleton(false));
}

id string(std::string_view utf8) { return autorelease(make_string(utf8).leak()); }

Ref make_string(std::string_view utf8) {
  id allocated = send<id>(kNSString.get(), kAlloc);
  return Ref::adopt(send<id>(allocated, kInitWithBytes, static_cast<const void*>(utf8.data()),
                             static_cast<NSUInteger>(utf8.size()), kUTF8Encoding));
}

std::string to_string(id string_object) {
  if (!is_string(string_object)) return {};
  const char* bytes = send<const char*>(string_object, kUTF8String);
  if (!bytes) return {};
  const auto length = send<NSUInteger>(string_object, kLengthOfBytes, kUTF8Encoding);
  return std::string(bytes, length);
}

bool string_equals(id string_object, std::string_view utf8) noexcept {
  if (!is_string(string_object)) return false;
  const char* bytes = send<const char*>(string_object, kUTF8String);
  if (!bytes) return false;
  const auto length = send<NSUInteger>(string_object, kLengthOfBytes, kUTF8Encoding);
  return length == utf8.size() && std::memcmp(bytes, utf8.data(), length) == 0;
}

id number(std::int64_t value) {
  return send<id>(kNSNumber.get(), kNumberWithLongLong, static_cast<long long>(value));
}
id number_double(double value) { return send<id>(kNSNumber.get(), kNumberWithDouble, value); }
id boolean(bool value) { return boolean_singleton(value); }

std::int64_t int64_value(id object) noexcept {
  if (!is_number(object) && !is_string(object)) return 0;
  return send<long long>(object, kLongLongValue);
}

double double_value(id object) noexcept {
  if (!is_number(object) && !is_string(object)) return 0;
  return send<double>(object, kDoubleValue);
}

bool platform_bool_value(id object) noexcept {
  if (!is_number(object) && !is_string(object)) return false;
  return send_bool(object, kBoolValue);
}

id dictionary_get(id dictionary, id key) noexcept {
  if (!key || !is_dictionary(dictionary)) return nullptr;
  return send<id>(dictionary, kObjectForKey, key);
}

id dictionary_get(id dictionary, std::string_view key) {
  if (!is_dictionary(dictionary)) return nullptr;
  AutoreleasePool pool;
  Ref k = make_string(key);
  return send<id>(dictionary, kObjectForKey, k.get());
}

std::size_t count(id collection) noexcept {
  // An object without a count (a string, a number) would raise here, inside noexcept.
  return responds_to(collection, kCount) ? send<NSUInteger>(collection, kCount) : 0;
}

id array_get(id array, std::size_t index) noexcept {
  if (!is_array(array) || index >= count(array)) return nullptr;
  return send<id>(array, kObjectAtIndex, static_cast<NSUInteger>(index));
}

id dictionary_keys(id dictionary) {
  return is_dictionary(dictionary) ? send<id>(dictionary, kAllKeys) : nullptr;
}

bool all_keys_are_strings(id dictionary) noexcept {
  bool all = true;
  for_each_entry(dictionary, [&](id key, id) { return all = is_string(key); });
  return all;
}

Ref make_mutable_dictionary() { return Ref::adopt(send<id>(kNSMutableDictionary.get(), kNew)); }
Ref make_mutable_array() { return Ref::adopt(send<id>(kNSMutableArray.get(), kNew)); }
Ref mutable_copy(id collection) { return Ref::adopt(send<id>(collection, kMutableCopy)); }

void dictionary_set(id dictionary, std::string_view key, id value) {
  Ref k = make_string(key);
  dictionary_set(dictionary, k.get(), value);
}
void dictionary_set(id dictionary, id key, id value) {
  if (!key || !value) return;
  send(dictionary, kSetObjectForKey, value, key);
}
void dictionary_remove(id dictionary, std::string_view key) {
  Ref k = make_string(key);
  send(dictionary, kRemoveObjectForKey, k.get());
}
void array_add(id array, id value) {
  if (value) send(array, kAddObject, value);
}

bool objects_equal(id a, id b) noexcept {
  if (a == b) return true;
  if (!a || !b) return false;
  return send_bool(a, kIsEqual, b);
}

Ref parse_property_list(id data) {
  if (!is_data(data)) return {};
  Ref result;
  catch_exception([&] {
    id error = nullptr;
    NSInteger format = 0;
    id plist = send<id>(kNSPropertyListSerialization.get(), kPropertyListWithData, data,
                        kMutableContainers, &format, &error);
    result = Ref::retain(plist);
  });
  return result;
}

Ref read_property_list_file(std::string_view path) {
  AutoreleasePool pool;
  Ref result;
  catch_exception([&] {
    id data = send<id>(kNSData.get(), kDataWithContentsOfFile, string(path));
    result = parse_property_list(data);
  });
  return result;
}

Ref make_data(std::string_view bytes) {
  return Ref::retain(send<id>(kNSData.get(), kDataWithBytesLength,
                              static_cast<const void*>(bytes.data()),
                              static_cast<NSUInteger>(bytes.size())));
}

Ref read_property_list_file(std::string_view path, std::size_t max_bytes) {
  std::string bytes;
  if (os::read_file(std::string(path).c_str(), max_bytes, bytes) != os::ReadStatus::ok) return {};
  AutoreleasePool pool;
  Ref result;
  catch_exception([&] {
    Ref data = make_data(bytes);
    result = parse_property_list(data.get());
  });
  return result;
}

std::optional<std::string> property_list_xml(id plist) {
  if (!plist) return std::nullopt;
  AutoreleasePool pool;
  std::optional<std::string> bytes;
  catch_exception([&] {
    id error = nullptr;
    id data = send<id>(kNSPropertyListSerialization.get(), kDataWithPropertyList, plist,
                       static_cast<NSInteger>(kXMLFormat), NSUInteger{0}, &error);
    if (!data) return;
    const auto* start = send<const void*>(data, kBytes);
    const NSUInteger length = send<NSUInteger>(data, kLength);
    if (start || length == 0) bytes.emplace(static_cast<const char*>(start), length);
  });
  return bytes;
}

bool write_property_list_xml_atomically(id plist, std::string_view path,
                                        const os::Ownership& ownership) {
  if (!plist || path.empty()) return false;
  AutoreleasePool pool;
  id data = nullptr;
  catch_exception([&] {
    id error = nullptr;
    data = send<id>(kNSPropertyListSerialization.get(), kDataWithPropertyList, plist,
                    static_cast<NSInteger>(kXMLFormat), NSUInteger{0}, &error);
  });
  if (!is_data(data)) return false;
#if defined(__APPLE__)
  if (!ownership.uid && !ownership.gid && !ownership.mode) {
    bool written = false;
    catch_exception([&] {
      written = send_bool(data, kWriteToFileAtomically, string(path), to_BOOL(true));
    });
    return written;
  }
#endif
  const auto* bytes = static_cast<const char*>(send<const void*>(data, kBytes));
  const auto length = send<NSUInteger>(data, kLength);
  if (!bytes && length != 0) return false;
  return os::write_file_atomically(std::string(path), std::string_view(bytes, length), ownership);
}

void logv(const char* format, va_list args) {
  AutoreleasePool pool;
  NSLogv(string(format), args);
}

void log(const char* format, ...) {
  va_list args;
  va_start(args, format);
  logv(format, args);
  va_end(args);
}

}  // namespace objc
