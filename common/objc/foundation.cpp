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

constexpr unsigned long kUTF8Encoding = 4;       // NSUTF8StringEncoding
constexpr unsigned long kMutableContainers = 1;  // NSPropertyListMutableContainers
constexpr unsigned long kXMLFormat = 100;        // NSPropertyListXMLFormat_v1_0

using NSUInteger = unsigned long;
using NSInteger = long;

// The platform's two Boolean objects, as property lists and numberWithBool: give them.
id booleanSingleton(bool value) {
  static const id yes =
      keepForever(Ref::retain(send<id>(kNSNumber.get(), kNumberWithBool, toBool(true))));
  static const id no =
      keepForever(Ref::retain(send<id>(kNSNumber.get(), kNumberWithBool, toBool(false))));
  return value ? yes : no;
}

}  // namespace

bool isString(id object) noexcept { return isKindOf(object, kNSString); }
bool isNumber(id object) noexcept { return isKindOf(object, kNSNumber); }
bool isDictionary(id object) noexcept { return isKindOf(object, kNSDictionary); }
bool isArray(id object) noexcept { return isKindOf(object, kNSArray); }
bool isData(id object) noexcept { return isKindOf(object, kNSData); }

bool isBoolean(id object) noexcept {
  // Both runtimes hand out exactly two Boolean objects (kCFBooleanTrue/False on Apple,
  // NSBoolNumber's two instances on GNUstep); every Boolean read from a property list is
  // one of them, and no other number ever is.
  return object && (object == booleanSingleton(true) || object == booleanSingleton(false));
}

id string(std::string_view utf8) { return autorelease(makeString(utf8).leak()); }

Ref makeString(std::string_view utf8) {
  id allocated = send<id>(kNSString.get(), kAlloc);
  return Ref::adopt(send<id>(allocated, kInitWithBytes, static_cast<const void*>(utf8.data()),
                             static_cast<NSUInteger>(utf8.size()), kUTF8Encoding));
}

std::string toString(id string_object) {
  if (!isString(string_object)) return {};
  const char* bytes = send<const char*>(string_object, kUTF8String);
  if (!bytes) return {};
  const auto length = send<NSUInteger>(string_object, kLengthOfBytes, kUTF8Encoding);
  return std::string(bytes, length);
}

bool stringEquals(id string_object, std::string_view utf8) noexcept {
  if (!isString(string_object)) return false;
  const char* bytes = send<const char*>(string_object, kUTF8String);
  if (!bytes) return false;
  const auto length = send<NSUInteger>(string_object, kLengthOfBytes, kUTF8Encoding);
  return length == utf8.size() && std::memcmp(bytes, utf8.data(), length) == 0;
}

id number(std::int64_t value) {
  return send<id>(kNSNumber.get(), kNumberWithLongLong, static_cast<long long>(value));
}
id numberDouble(double value) { return send<id>(kNSNumber.get(), kNumberWithDouble, value); }
id boolean(bool value) { return booleanSingleton(value); }

std::int64_t int64Value(id object) noexcept {
  if (!isNumber(object) && !isString(object)) return 0;
  return send<long long>(object, kLongLongValue);
}

double doubleValue(id object) noexcept {
  if (!isNumber(object) && !isString(object)) return 0;
  return send<double>(object, kDoubleValue);
}

bool platformBoolValue(id object) noexcept {
  if (!isNumber(object) && !isString(object)) return false;
  return sendBool(object, kBoolValue);
}

id dictionaryGet(id dictionary, id key) noexcept {
  if (!key || !isDictionary(dictionary)) return nullptr;
  return send<id>(dictionary, kObjectForKey, key);
}

id dictionaryGet(id dictionary, std::string_view key) {
  if (!isDictionary(dictionary)) return nullptr;
  AutoreleasePool pool;
  Ref k = makeString(key);
  return send<id>(dictionary, kObjectForKey, k.get());
}

std::size_t count(id collection) noexcept {
  // An object without a count (a string, a number) would raise here, inside noexcept.
  return respondsTo(collection, kCount) ? send<NSUInteger>(collection, kCount) : 0;
}

id arrayGet(id array, std::size_t index) noexcept {
  if (!isArray(array) || index >= count(array)) return nullptr;
  return send<id>(array, kObjectAtIndex, static_cast<NSUInteger>(index));
}

id dictionaryKeys(id dictionary) {
  return isDictionary(dictionary) ? send<id>(dictionary, kAllKeys) : nullptr;
}

bool allKeysAreStrings(id dictionary) noexcept {
  bool all = true;
  forEachEntry(dictionary, [&](id key, id) { return all = isString(key); });
  return all;
}

Ref makeMutableDictionary() { return Ref::adopt(send<id>(kNSMutableDictionary.get(), kNew)); }
Ref makeMutableArray() { return Ref::adopt(send<id>(kNSMutableArray.get(), kNew)); }
Ref mutableCopy(id collection) { return Ref::adopt(send<id>(collection, kMutableCopy)); }

void dictionarySet(id dictionary, std::string_view key, id value) {
  Ref k = makeString(key);
  dictionarySet(dictionary, k.get(), value);
}
void dictionarySet(id dictionary, id key, id value) {
  if (!key || !value) return;
  send(dictionary, kSetObjectForKey, value, key);
}
void dictionaryRemove(id dictionary, std::string_view key) {
  Ref k = makeString(key);
  send(dictionary, kRemoveObjectForKey, k.get());
}
void arrayAdd(id array, id value) {
  if (value) send(array, kAddObject, value);
}

bool objectsEqual(id a, id b) noexcept {
  if (a == b) return true;
  if (!a || !b) return false;
  return sendBool(a, kIsEqual, b);
}

Ref parsePropertyList(id data) {
  if (!isData(data)) return {};
  Ref result;
  catchException([&] {
    id error = nullptr;
    NSInteger format = 0;
    id plist = send<id>(kNSPropertyListSerialization.get(), kPropertyListWithData, data,
                        kMutableContainers, &format, &error);
    result = Ref::retain(plist);
  });
  return result;
}

Ref readPropertyListFile(std::string_view path) {
  AutoreleasePool pool;
  Ref result;
  catchException([&] {
    id data = send<id>(kNSData.get(), kDataWithContentsOfFile, string(path));
    result = parsePropertyList(data);
  });
  return result;
}

Ref makeData(std::string_view bytes) {
  return Ref::retain(send<id>(kNSData.get(), kDataWithBytesLength,
                              static_cast<const void*>(bytes.data()),
                              static_cast<NSUInteger>(bytes.size())));
}

Ref readPropertyListFile(std::string_view path, std::size_t max_bytes) {
  std::string bytes;
  if (os::readFile(std::string(path).c_str(), max_bytes, bytes) != os::ReadStatus::ok) return {};
  AutoreleasePool pool;
  Ref result;
  catchException([&] {
    Ref data = makeData(bytes);
    result = parsePropertyList(data.get());
  });
  return result;
}

std::optional<std::string> propertyListXml(id plist) {
  if (!plist) return std::nullopt;
  AutoreleasePool pool;
  std::optional<std::string> bytes;
  catchException([&] {
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

bool writePropertyListXmlAtomically(id plist, std::string_view path,
                                    const os::Ownership& ownership) {
  if (!plist || path.empty()) return false;
  AutoreleasePool pool;
  id data = nullptr;
  catchException([&] {
    id error = nullptr;
    data = send<id>(kNSPropertyListSerialization.get(), kDataWithPropertyList, plist,
                    static_cast<NSInteger>(kXMLFormat), NSUInteger{0}, &error);
  });
  if (!isData(data)) return false;
#if defined(__APPLE__)
  if (!ownership.uid && !ownership.gid && !ownership.mode) {
    bool written = false;
    catchException(
        [&] { written = sendBool(data, kWriteToFileAtomically, string(path), toBool(true)); });
    return written;
  }
#endif
  const auto* bytes = static_cast<const char*>(send<const void*>(data, kBytes));
  const auto length = send<NSUInteger>(data, kLength);
  if (!bytes && length != 0) return false;
  return os::writeFileAtomically(std::string(path), std::string_view(bytes, length), ownership);
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
