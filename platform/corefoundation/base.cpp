// CoreFoundation base functions, Booleans and strings. A CF reference is the Foundation
// object itself, as on the platform: CFRetain is retain, CFRelease is release.
#include <CoreFoundation/CoreFoundation.h>

#include <cstring>
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
  return objc::objects_equal(as_object(cf1), as_object(cf2)) ? TRUE : FALSE;
}

HV_CF_API CFIndex CFGetRetainCount(CFTypeRef cf) {
  return static_cast<CFIndex>(objc::send<unsigned long>(as_object(cf), kRetainCount));
}

HV_CF_API Boolean CFBooleanGetValue(CFBooleanRef boolean) {
  return objc::send_bool(as_object(boolean), kBoolValue) ? TRUE : FALSE;
}

// CFSTR: one immortal string per text, looked up under a lock held for a map lookup.
HV_CF_API CFStringRef __CFStringMakeConstantString(const char* cStr) {
  static std::mutex* lock = new std::mutex;
  static auto* strings = new std::unordered_map<std::string, id>;
  if (!cStr) return nullptr;
  std::lock_guard<std::mutex> guard(*lock);
  auto found = strings->find(cStr);
  if (found == strings->end()) {
    objc::Ref made = objc::make_string(cStr);
    found = strings->emplace(cStr, objc::keep_forever(std::move(made))).first;
  }
  return static_cast<CFStringRef>(static_cast<const void*>(found->second));
}

HV_CF_API CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* cStr,
                                                CFStringEncoding encoding) {
  if (!cStr || !is_utf8_compatible(encoding)) return nullptr;
  objc::Ref made = objc::make_string(cStr);
  return static_cast<CFStringRef>(static_cast<const void*>(made.leak()));
}

HV_CF_API CFIndex CFStringGetLength(CFStringRef theString) {
  return static_cast<CFIndex>(objc::send<unsigned long>(as_object(theString), kLength));
}

HV_CF_API Boolean CFStringGetCString(CFStringRef theString, char* buffer, CFIndex bufferSize,
                                     CFStringEncoding encoding) {
  if (!theString || !buffer || bufferSize <= 0 || !is_utf8_compatible(encoding)) return FALSE;
  objc::AutoreleasePool pool;
  if (!objc::is_string(as_object(theString))) return FALSE;
  const std::string text = objc::to_string(as_object(theString));
  if (encoding == kCFStringEncodingASCII) {
    for (unsigned char c : text) {
      if (c > 0x7F) return FALSE;
    }
  }
  if (static_cast<CFIndex>(text.size()) >= bufferSize) return FALSE;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return TRUE;
}
