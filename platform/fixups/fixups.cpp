// Foundation fix-ups: where GNUstep Base differs from Apple's Foundation in ways the
// product depends on, replace GNUstep's methods with Apple's behaviour. Installed by a
// load-time constructor, so every Linux program that links this library (all of them,
// through halvernic_link_runtime) sees Apple's behaviour before any of its own code runs.
//
//  - Dictionaries and arrays read binary property lists from files. GNUstep's
//    -initWithContentsOfFile: (and so +dictionaryWithContentsOfFile:,
//    +arrayWithContentsOfFile:) reads only text formats and answers nil for a binary one.
//    Every format is read through NSPropertyListSerialization, as Apple's does.
//  - NSPropertyListSerialization answers nil and an NSError (NSCocoaErrorDomain, 3840) for
//    data that is not a property list. GNUstep raises on corrupt binary data (leaking what
//    it had made), and answers nil without an error for some other bad input.
//  - Every list passes the project's bounded scan (common/plist/scan.hpp) before GNUstep's
//    parsers see it: XML and binary lists only, at most 32 containers deep, binary ones
//    well formed. GNUstep's parsers recurse once per level (a million nested brackets
//    exhaust the stack), its old-style text parser keeps what it built from damaged text,
//    and its XML parser reads damaged markup leniently and loses objects on the way. So no
//    reader of any file, in any Linux program of the project, reaches those paths. This
//    departs from Apple's Foundation, which also reads old-style text: no file the project
//    writes or reads is in that form.
//  - -[NSString boolValue]: skip leading white space, an optional "+" or "-" and leading
//    zeros; YES when the next character is one of "YyTt" or a digit 1-9, otherwise NO.
//  - Reading a property list is silent. GNUstep's readers write lines of their own through
//    NSLog for input they refuse ("Contents of file '...' does not contain a dictionary",
//    once per read: twenty lines a second from a daemon that re-reads a damaged
//    preferences file every 0.05 seconds). Apple's write nothing. Lines logged on a thread
//    while it is inside one of the readers above are dropped; every other line, from any
//    thread, is logged as before. NSData's file readers are silenced the same way (GNUstep
//    logs "Open (...) attempt failed" for a path it cannot read as a file).
#include <objc/runtime.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "common/objc/exception.hpp"
#include "common/objc/foundation.hpp"
#include "common/objc/swizzle.hpp"
#include "common/plist/scan.hpp"

namespace {

using unichar = unsigned short;

constexpr long kPropertyListReadCorruptError = 3840;
constexpr unsigned long kImmutable = 0;

constinit objc::ClassName kNSData{"NSData"};
constinit objc::ClassName kNSMutableData{"NSMutableData"};
constinit objc::ClassName kNSError{"NSError"};
constinit objc::ClassName kNSDictionary{"NSDictionary"};
constinit objc::ClassName kNSArray{"NSArray"};
constinit objc::ClassName kNSString{"NSString"};
constinit objc::ClassName kNSCharacterSet{"NSCharacterSet"};
constinit objc::ClassName kNSPropertyListSerialization{"NSPropertyListSerialization"};

constinit objc::Selector kDataWithContentsOfFile{"dataWithContentsOfFile:"};
constinit objc::Selector kDataWithContentsOfURL{"dataWithContentsOfURL:"};
constinit objc::Selector kBytes{"bytes"};
constinit objc::Selector kLength{"length"};
constinit objc::Selector kCharacterAtIndex{"characterAtIndex:"};
constinit objc::Selector kCharacterIsMember{"characterIsMember:"};
constinit objc::Selector kWhitespaceAndNewline{"whitespaceAndNewlineCharacterSet"};
constinit objc::Selector kInitWithContentsOfFile{"initWithContentsOfFile:"};
constinit objc::Selector kInitWithContentsOfURL{"initWithContentsOfURL:"};
constinit objc::Selector kInitWithDictionary{"initWithDictionary:"};
constinit objc::Selector kInitWithArray{"initWithArray:"};
constinit objc::Selector kIsFileURL{"isFileURL"};
constinit objc::Selector kPath{"path"};
constinit objc::Selector kRelease{"release"};
constinit objc::Selector kBoolValue{"boolValue"};
constinit objc::Selector kPropertyListWithData{"propertyListWithData:options:format:error:"};
constinit objc::Selector kPropertyListFromData{
    "propertyListFromData:mutabilityOption:format:errorDescription:"};
constinit objc::Selector kErrorWithDomain{"errorWithDomain:code:userInfo:"};

// ---- silence inside the readers --------------------------------------------------------

// GNUstep hands every NSLog line to this handler; it starts as GNUstep's own, which writes
// the line to the log.
extern "C" {
using NSLogPrintfHandler = void(id message);
extern NSLogPrintfHandler* _NSLog_printf_handler;
}

// How deep this thread is inside the property-list readers.
thread_local int reading_depth = 0;
NSLogPrintfHandler* platform_log_handler = nullptr;  // set by the constructor

struct SilentReading {
  SilentReading() noexcept { ++reading_depth; }
  ~SilentReading() { --reading_depth; }
  SilentReading(const SilentReading&) = delete;
  SilentReading& operator=(const SilentReading&) = delete;
};

void log_unless_reading(id message) {
  if (reading_depth > 0) return;
  platform_log_handler(message);
}

// Implementations replaced, by the class they were replaced in. Written once by the
// constructor before any other code of the process runs, read-only afterwards.
struct Saved {
  Class cls;
  SEL selector;
  IMP original;
};
std::vector<Saved>* saved = nullptr;

IMP original_for(id self_or_class, SEL selector, bool class_side) {
  Class start = class_side ? reinterpret_cast<Class>(self_or_class) : objc::classOf(self_or_class);
  for (Class c = start; c; c = objc::superclassOf(c)) {
    for (const Saved& entry : *saved) {
      if (entry.cls == c && sel_isEqual(entry.selector, selector)) return entry.original;
    }
  }
  return nullptr;
}

void replace(Class cls, SEL selector, IMP imp, bool class_side) {
  if (!cls) return;
  IMP original = class_side ? objc::replaceClassMethod(cls, selector, imp)
                            : objc::replaceInstanceMethod(cls, selector, imp);
  if (original) saved->push_back({cls, selector, original});
}

// ---- property lists through ...WithContentsOfFile: -------------------------------------

// The property list in the file at path (any format), +0; nil when the file cannot be read
// or is not a property list (*is_file tells the two apart). Every format goes through
// NSPropertyListSerialization, as on Apple's: the daemon's readers of one file, by URL,
// by path or as data, all read it alike (and GNUstep's own text path, which logs and
// loses objects on damaged files, is never taken).
id read_plist_file(id path, bool* is_file) {
  *is_file = false;
  id data = objc::send<id>(kNSData.get(), kDataWithContentsOfFile, path);
  if (!data) return nullptr;
  *is_file = true;
  id plist = nullptr;
  objc::catchException([&] {
    id error = nullptr;
    long format = 0;
    plist = objc::send<id>(kNSPropertyListSerialization.get(), kPropertyListWithData, data,
                           kImmutable, &format, &error);
  });
  return plist;
}

id init_from_file(id self, SEL cmd, id path, Class kind, SEL init_with) {
  SilentReading silent;
  bool is_file = false;
  id plist = path ? read_plist_file(path, &is_file) : nullptr;
  if (!is_file) return objc::call<id>(original_for(self, cmd, false), self, cmd, path);
  if (!objc::isKindOf(plist, kind)) {
    objc::send(self, kRelease);
    return nullptr;
  }
  return objc::send<id>(self, init_with, plist);
}

id dictionary_init_with_file(id self, SEL cmd, id path) {
  return init_from_file(self, cmd, path, kNSDictionary.get(), kInitWithDictionary);
}
id array_init_with_file(id self, SEL cmd, id path) {
  return init_from_file(self, cmd, path, kNSArray.get(), kInitWithArray);
}

id init_from_url(id self, SEL cmd, id url, Class kind, SEL init_with) {
  SilentReading silent;
  if (url && objc::sendBool(url, kIsFileURL)) {
    id path = objc::send<id>(url, kPath);
    bool is_file = false;
    id plist = path ? read_plist_file(path, &is_file) : nullptr;
    if (is_file) {
      if (!objc::isKindOf(plist, kind)) {
        objc::send(self, kRelease);
        return nullptr;
      }
      return objc::send<id>(self, init_with, plist);
    }
  }
  return objc::call<id>(original_for(self, cmd, false), self, cmd, url);
}

id dictionary_init_with_url(id self, SEL cmd, id url) {
  return init_from_url(self, cmd, url, kNSDictionary.get(), kInitWithDictionary);
}
id array_init_with_url(id self, SEL cmd, id url) {
  return init_from_url(self, cmd, url, kNSArray.get(), kInitWithArray);
}

// ---- NSData's file readers, silent ----------------------------------------------------

id data_read_class_side(id self, SEL cmd, id path_or_url) {
  SilentReading silent;
  return objc::call<id>(original_for(self, cmd, true), self, cmd, path_or_url);
}
id data_read_instance_side(id self, SEL cmd, id path_or_url) {
  SilentReading silent;
  return objc::call<id>(original_for(self, cmd, false), self, cmd, path_or_url);
}

// ---- NSPropertyListSerialization: nil and an error instead of an exception -------------

id corrupt_error(const std::string& reason) {
  objc::Ref info = objc::makeMutableDictionary();
  objc::dictionarySet(info.get(), "NSDebugDescription",
                      objc::string(reason.empty() ? "The data is not a property list." : reason));
  return objc::send<id>(kNSError.get(), kErrorWithDomain, objc::string("NSCocoaErrorDomain"),
                        kPropertyListReadCorruptError, info.get());
}

// Only lists the scan lets through reach GNUstep: XML and well-formed binary lists, nested
// at most 32 deep. That also keeps GNUstep's own serialised-format decoder (which can spin
// for minutes on a few corrupt bytes) and its binary reader's raise on damaged data away.
bool passes_scan(id data) {
  const unsigned long length = data ? objc::send<unsigned long>(data, kLength) : 0;
  if (length == 0) return false;
  const void* bytes = objc::send<const void*>(data, kBytes);
  return plist::scan(bytes, length) != plist::Form::refused;
}

// Both reading methods take (data, option, format, out) and differ only in what they
// report on failure: an NSError, or a description string. The original runs inside the
// exception boundary; a raise becomes nil and the failure report.
// GNUstep's readers lose what they have made when they give up on damaged data (the
// string made of OpenStep text, the object read before trailing garbage, the XML parser's
// state). Those are GNUstep's own allocations, made in functions that carry no symbol a
// suppression could name. In a leak-checked build a list is therefore read first with leak
// recording paused (LeakSanitizer's scoped disabling); only when that read succeeds is it
// read again, recorded, and that second result is the caller's, so that whatever the
// caller loses is still reported. Elsewhere the weak references are null: one read.
extern "C" [[gnu::weak]] void __lsan_disable();
extern "C" [[gnu::weak]] void __lsan_enable();

bool leak_checked() { return __lsan_disable && __lsan_enable; }

class LeakCheckPause {
public:
  LeakCheckPause() noexcept { __lsan_disable(); }
  ~LeakCheckPause() { __lsan_enable(); }
  LeakCheckPause(const LeakCheckPause&) = delete;
  LeakCheckPause& operator=(const LeakCheckPause&) = delete;
};

// GNUstep's text readers (its XML parser's string comparisons among them) can look a few
// bytes past the end of data cut short inside a token. They get a copy whose buffer runs on
// with zero bytes beyond its length, where every such comparison stops; the length, and so
// what is parsed, is the data's own. Binary data is checked whole first and read as it is.
constexpr unsigned long kTextReadPadding = 64;
constinit objc::Selector kInitWithBytesNoCopy{"initWithBytesNoCopy:length:freeWhenDone:"};
constinit objc::Selector kAlloc{"alloc"};
constinit objc::Selector kAutorelease{"autorelease"};

id padded_text_copy(id data) {
  const unsigned long length = data ? objc::send<unsigned long>(data, kLength) : 0;
  if (length == 0) return data;
  const auto* bytes = static_cast<const unsigned char*>(objc::send<const void*>(data, kBytes));
  if (!bytes || (length >= 6 && std::memcmp(bytes, "bplist", 6) == 0)) return data;
  if (length > ~0UL - kTextReadPadding) return data;
  auto* copy = static_cast<unsigned char*>(std::calloc(length + kTextReadPadding, 1));
  if (!copy) return data;
  std::memcpy(copy, bytes, length);
  id padded = objc::send<id>(objc::send<id>(kNSData.get(), kAlloc), kInitWithBytesNoCopy,
                             static_cast<void*>(copy), length, objc::toBool(true));
  if (!padded) return data;  // the initialiser freed the buffer or never took it
  return objc::send<id>(padded, kAutorelease);
}

template <class Failure>
id read_without_raising(id self, SEL cmd, id data, unsigned long option, long* format, id* out,
                        Failure failure) {
  SilentReading silent;
  if (!passes_scan(data)) {
    if (out) *out = failure("");
    return nullptr;
  }
  data = padded_text_copy(data);
  id result = nullptr;
  id inner = nullptr;
  std::string reason;
  auto read = [&] {
    inner = nullptr;
    const bool returned = objc::catchException(
        [&] {
          result = objc::call<id>(original_for(self, cmd, true), self, cmd, data, option, format,
                                  &inner);
        },
        &reason);
    if (!returned) result = nullptr;
  };
  if (leak_checked()) {
    {
      LeakCheckPause pause;
      read();
    }
    if (result) read();
  } else {
    read();
  }
  if (out) *out = result ? nullptr : (inner ? inner : failure(reason));
  return result;
}

id property_list_with_data(id self, SEL cmd, id data, unsigned long options, long* format,
                           id* error) {
  return read_without_raising(self, cmd, data, options, format, error,
                              [](const std::string& reason) { return corrupt_error(reason); });
}

id property_list_from_data(id self, SEL cmd, id data, unsigned long option, long* format,
                           id* error_description) {
  return read_without_raising(
      self, cmd, data, option, format, error_description, [](const std::string& reason) {
        return objc::string(reason.empty() ? "not a property list" : reason);
      });
}

// ---- -[NSString boolValue] -------------------------------------------------------------

id whitespace = nullptr;  // immortal character set, set by the constructor

BOOL string_bool_value(id self, SEL) {
  const unsigned long length = objc::send<unsigned long>(self, kLength);
  unsigned long i = 0;
  auto at = [&](unsigned long index) {
    return objc::send<unichar>(self, kCharacterAtIndex, index);
  };
  while (i < length && objc::sendBool(whitespace, kCharacterIsMember, at(i))) ++i;
  if (i < length && (at(i) == '+' || at(i) == '-')) ++i;
  while (i < length && at(i) == '0') ++i;
  if (i == length) return NO;
  const unichar c = at(i);
  return objc::toBool(c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9'));
}

bool defines_own(Class cls, SEL selector) {
  unsigned int count = 0;
  Method* methods = class_copyMethodList(cls, &count);
  bool found = false;
  for (unsigned int i = 0; i < count && !found; ++i)
    found = sel_isEqual(method_getName(methods[i]), selector);
  std::free(methods);
  return found;
}

bool is_subclass_of(Class cls, Class base) {
  for (Class c = cls; c; c = objc::superclassOf(c)) {
    if (c == base) return true;
  }
  return false;
}

// Every string class with a boolValue of its own (GNUstep's concrete strings override it).
std::vector<Class> string_classes_defining_bool_value() {
  std::vector<Class> result;
  const int n = objc_getClassList(nullptr, 0);
  std::vector<Class> classes(static_cast<std::size_t>(n));
  const int got = objc_getClassList(classes.data(), n);
  classes.resize(static_cast<std::size_t>(got < n ? got : n));
  for (Class c : classes) {
    if (is_subclass_of(c, kNSString.get()) && defines_own(c, kBoolValue)) result.push_back(c);
  }
  return result;
}

[[gnu::constructor]] void install_foundation_fixups() {
  saved = new std::vector<Saved>;
  objc::AutoreleasePool pool;

  replace(kNSDictionary.get(), kInitWithContentsOfFile,
          reinterpret_cast<IMP>(&dictionary_init_with_file), false);
  replace(kNSDictionary.get(), kInitWithContentsOfURL,
          reinterpret_cast<IMP>(&dictionary_init_with_url), false);
  replace(kNSArray.get(), kInitWithContentsOfFile, reinterpret_cast<IMP>(&array_init_with_file),
          false);
  replace(kNSArray.get(), kInitWithContentsOfURL, reinterpret_cast<IMP>(&array_init_with_url),
          false);

  // GNUstep's NSMutableData defines its class-side readers again.
  for (Class cls : {kNSData.get(), kNSMutableData.get()}) {
    replace(cls, kDataWithContentsOfFile, reinterpret_cast<IMP>(&data_read_class_side), true);
    replace(cls, kDataWithContentsOfURL, reinterpret_cast<IMP>(&data_read_class_side), true);
  }
  replace(kNSData.get(), kInitWithContentsOfFile, reinterpret_cast<IMP>(&data_read_instance_side),
          false);
  replace(kNSData.get(), kInitWithContentsOfURL, reinterpret_cast<IMP>(&data_read_instance_side),
          false);

  replace(kNSPropertyListSerialization.get(), kPropertyListWithData,
          reinterpret_cast<IMP>(&property_list_with_data), true);
  replace(kNSPropertyListSerialization.get(), kPropertyListFromData,
          reinterpret_cast<IMP>(&property_list_from_data), true);

  // A GNUstep without a handler of its own set writes lines itself: nothing to filter then.
  platform_log_handler = _NSLog_printf_handler;
  if (platform_log_handler) _NSLog_printf_handler = &log_unless_reading;

  whitespace = objc::keepForever(
      objc::Ref::retain(objc::send<id>(kNSCharacterSet.get(), kWhitespaceAndNewline)));
  for (Class c : string_classes_defining_bool_value()) {
    replace(c, kBoolValue, reinterpret_cast<IMP>(&string_bool_value), false);
  }
}

}  // namespace
