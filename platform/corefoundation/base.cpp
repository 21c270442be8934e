// CoreFoundation base functions, Booleans and strings. A CF reference is the Foundation
// object itself, as on the platform: CFRetain is retain, CFRelease is release.
#include <CoreFoundation/CoreFoundation.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>

#include "common/objc/foundation.hpp"
#include "common/objc/ref.hpp"

namespace {

constinit objc::Selector kRetainCount{"retainCount"};
constinit objc::Selector kLength{"length"};
constinit objc::Selector kBoolValue{"boolValue"};

id as_object(CFTypeRef cf) { return const_cast<id>(static_cast<const objc_object*>(cf)); }

// The Foundation's Boolean singletons, held for the life of the process.
CFBooleanRef make_boolean(bool value) {
  objc::AutoreleasePool pool;
  return static_cast<CFBooleanRef>(static_cast<const void*>(objc::retain(objc::boolean(value))));
}

bool is_utf8_compatible(CFStringEncoding encoding) {
  return encoding == kCFStringEncodingUTF8 || encoding == kCFStringEncodingASCII;
}

}  // namespace

#define HV_CF_API extern "C" [[gnu::visibility("default")]]

HV_CF_API const CFAllocatorRef kCFAllocatorDefault = nullptr;
HV_CF_API const CFBooleanRef kCFBooleanTrue = make_boolean(true);
HV_CF_API const CFBooleanRef kCFBooleanFalse = make_boolean(false);

HV_CF_API CFTypeRef CFRetain(CFTypeRef cf) {
  objc::retain(as_object(cf));
  return cf;
}

HV_CF_API void CFRelease(CFTypeRef cf) { objc::release(as_object(cf)); }

HV_CF_API CFTypeRef CFAutorelease(CFTypeRef cf) {
  objc::autorelease(as_object(cf));
  return cf;
}

HV_CF_API Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2) {
  return objc::objectsEqual(as_object(cf1), as_object(cf2)) ? TRUE : FALSE;
}

HV_CF_API CFIndex CFGetRetainCount(CFTypeRef cf) {
  return static_cast<CFIndex>(objc::send<unsigned long>(as_object(cf), kRetainCount));
}

HV_CF_API Boolean CFBooleanGetValue(CFBooleanRef boolean) {
  return objc::sendBool(as_object(boolean), kBoolValue) ? TRUE : FALSE;
}

// Type identifiers: the kinds this system tells apart, and one for every other object.
namespace {
enum : CFTypeID { kOtherTypeID = 1, kBooleanTypeID = 21, kNumberTypeID = 22, kStringTypeID = 7 };
}  // namespace

HV_CF_API CFTypeID CFBooleanGetTypeID(void) { return kBooleanTypeID; }
HV_CF_API CFTypeID CFNumberGetTypeID(void) { return kNumberTypeID; }
HV_CF_API CFTypeID CFStringGetTypeID(void) { return kStringTypeID; }

HV_CF_API CFTypeID CFGetTypeID(CFTypeRef cf) {
  id object = as_object(cf);
  if (objc::isBoolean(object)) return kBooleanTypeID;
  if (objc::isNumber(object)) return kNumberTypeID;
  if (objc::isString(object)) return kStringTypeID;
  return kOtherTypeID;
}

namespace {

// value converted to T, and whether that was exact.
template <class T>
Boolean store(double value, void* valuePtr) {
  const T converted = static_cast<T>(value);
  *static_cast<T*>(valuePtr) = converted;
  return static_cast<double>(converted) == value ? TRUE : FALSE;
}

template <class T>
Boolean store_integer(id number, void* valuePtr) {
  const double value = objc::doubleValue(number);
  const double limit = std::ldexp(1.0, std::numeric_limits<T>::digits);  // 2^(bits - 1)
  if (!(value >= -limit && value < limit)) {
    // Out of range (or not a number): saturated, as the platform does, and inexact.
    *static_cast<T*>(valuePtr) =
        value > 0 ? std::numeric_limits<T>::max() : std::numeric_limits<T>::min();
    return FALSE;
  }
  // 64-bit integers keep every digit: read them as integers, not through a double.
  if constexpr (sizeof(T) == 8) {
    if (std::trunc(value) == value) {
      *static_cast<T*>(valuePtr) = static_cast<T>(objc::int64Value(number));
      return TRUE;
    }
  }
  return store<T>(std::trunc(value), valuePtr) && std::trunc(value) == value;
}

}  // namespace

HV_CF_API Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr) {
  id object = as_object(number);
  if (!valuePtr || !objc::isNumber(object) || objc::isBoolean(object)) return FALSE;
  switch (theType) {
    case kCFNumberSInt8Type:
    case kCFNumberCharType: return store_integer<std::int8_t>(object, valuePtr);
    case kCFNumberSInt16Type:
    case kCFNumberShortType: return store_integer<std::int16_t>(object, valuePtr);
    case kCFNumberSInt32Type:
    case kCFNumberIntType: return store_integer<std::int32_t>(object, valuePtr);
    case kCFNumberSInt64Type:
    case kCFNumberLongType:
    case kCFNumberLongLongType:
    case kCFNumberCFIndexType:
    case kCFNumberNSIntegerType: return store_integer<std::int64_t>(object, valuePtr);
    case kCFNumberFloat32Type:
    case kCFNumberFloatType: return store<float>(objc::doubleValue(object), valuePtr);
    case kCFNumberFloat64Type:
    case kCFNumberDoubleType:
    case kCFNumberCGFloatType: return store<double>(objc::doubleValue(object), valuePtr);
  }
  return FALSE;
}

// CFSTR: one immortal string per text, looked up under a lock held for a map lookup.
HV_CF_API CFStringRef __CFStringMakeConstantString(const char* cStr) {
  static std::mutex* lock = new std::mutex;
  static auto* strings = new std::unordered_map<std::string, id>;
  if (!cStr) return nullptr;
  std::lock_guard<std::mutex> guard(*lock);
  auto found = strings->find(cStr);
  if (found == strings->end()) {
    objc::Ref made = objc::makeString(cStr);
    found = strings->emplace(cStr, objc::keepForever(std::move(made))).first;
  }
  return static_cast<CFStringRef>(static_cast<const void*>(found->second));
}

HV_CF_API CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* cStr,
                                                CFStringEncoding encoding) {
  if (!cStr || !is_utf8_compatible(encoding)) return nullptr;
  objc::Ref made = objc::makeString(cStr);
  return static_cast<CFStringRef>(static_cast<const void*>(made.leak()));
}

HV_CF_API CFIndex CFStringGetLength(CFStringRef theString) {
  return static_cast<CFIndex>(objc::send<unsigned long>(as_object(theString), kLength));
}

HV_CF_API Boolean CFStringGetCString(CFStringRef theString, char* buffer, CFIndex bufferSize,
                                     CFStringEncoding encoding) {
  if (!theString || !buffer || bufferSize <= 0 || !is_utf8_compatible(encoding)) return FALSE;
  objc::AutoreleasePool pool;
  if (!objc::isString(as_object(theString))) return FALSE;
  const std::string text = objc::toString(as_object(theString));
  if (encoding == kCFStringEncodingASCII) {
    for (unsigned char c : text) {
      if (c > 0x7F) return FALSE;
    }
  }
  if (static_cast<CFIndex>(text.size()) >= bufferSize) return FALSE;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return TRUE;
}
