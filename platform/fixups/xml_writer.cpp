// Foundation fix-up: property lists written in Apple's XML format as Apple's Foundation
// writes them, so that every value reads back equal.
//
// GNUstep's XML writer prints a real number with 16 significant digits, which does not
// identify every double: -2.0679515313825692e-24 comes back as -2.067951531382569e-24, and
// a front-end rewriting another tweak's preferences would change its numbers. Apple's
// writer prints 17 digits ("%.17g"; "0.0", "+infinity", "-infinity", "nan"). This writer
// takes over +[NSPropertyListSerialization dataWithPropertyList:format:options:error:] (and
// the older dataFromPropertyList:format:errorDescription:) for the XML format only, with
// Apple's layout: tab indentation, dictionary keys sorted, strings with "&", "<" and ">"
// escaped, data in base64 lines of 76, dates in whole UTC seconds. An object that is no
// property list gives nil and an error (NSPropertyListWriteInvalidError), as on Apple's,
// where GNUstep raises. Other formats are GNUstep's.
#include <objc/runtime.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "common/objc/foundation.hpp"
#include "common/objc/swizzle.hpp"

namespace {

constexpr long kXMLFormat = 100;  // NSPropertyListXMLFormat_v1_0
constexpr long kPropertyListWriteInvalidError = 3851;
// Deeper than any property list a reader of this project accepts; a deeper object graph
// (or a cycle) is handed to GNUstep's writer, which refuses it.
constexpr int kMaxDepth = 512;

constinit objc::ClassName kNSPropertyListSerialization{"NSPropertyListSerialization"};
constinit objc::ClassName kNSDate{"NSDate"};
constinit objc::ClassName kNSError{"NSError"};
constinit objc::Selector kErrorWithDomain{"errorWithDomain:code:userInfo:"};
constinit objc::Selector kDataWithPropertyList{"dataWithPropertyList:format:options:error:"};
constinit objc::Selector kDataFromPropertyList{"dataFromPropertyList:format:errorDescription:"};
constinit objc::Selector kObjCType{"objCType"};
constinit objc::Selector kUnsignedLongLongValue{"unsignedLongLongValue"};
constinit objc::Selector kTimeIntervalSince1970{"timeIntervalSince1970"};
constinit objc::Selector kBytes{"bytes"};
constinit objc::Selector kLength{"length"};

IMP original_data_with = nullptr;  // set once by the constructor
IMP original_data_from = nullptr;

void append_escaped(std::string& out, const std::string& text) {
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  }
}

std::string real_text(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "+infinity" : "-infinity";
  if (value == 0.0) return std::signbit(value) ? "-0.0" : "0.0";
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

std::string integer_text(id number) {
  const char* type = objc::send<const char*>(number, kObjCType);
  char text[32];
  // An unsigned number above the signed range keeps its value.
  if (type && (*type == 'Q' || *type == 'L')) {
    const unsigned long long value = objc::send<unsigned long long>(number, kUnsignedLongLongValue);
    std::snprintf(text, sizeof text, "%llu", value);
  } else {
    std::snprintf(text, sizeof text, "%lld", static_cast<long long>(objc::int64Value(number)));
  }
  return text;
}

bool is_real(id number) {
  const char* type = objc::send<const char*>(number, kObjCType);
  return type && (*type == 'd' || *type == 'f');
}

void append_base64(std::string& out, const unsigned char* bytes, unsigned long length,
                   const std::string& indent) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string encoded;
  encoded.reserve((length + 2) / 3 * 4);
  for (unsigned long i = 0; i < length; i += 3) {
    const unsigned long n = std::min(3UL, length - i);
    const unsigned v =
        (bytes[i] << 16) | (n > 1 ? bytes[i + 1] << 8 : 0) | (n > 2 ? bytes[i + 2] : 0);
    encoded += kAlphabet[(v >> 18) & 63];
    encoded += kAlphabet[(v >> 12) & 63];
    encoded += n > 1 ? kAlphabet[(v >> 6) & 63] : '=';
    encoded += n > 2 ? kAlphabet[v & 63] : '=';
  }
  for (std::size_t i = 0; i < encoded.size(); i += 76) {
    out += indent;
    out.append(encoded, i, 76);
    out += '\n';
  }
}

// Appends object at the given depth (the number of tabs before its opening tag). false
// when it, or anything inside it, is no property-list object.
bool append_object(std::string& out, id object, int depth) {
  if (depth > kMaxDepth || !object) return false;
  const std::string indent(static_cast<std::size_t>(depth), '\t');
  out += indent;
  if (objc::isString(object)) {
    out += "<string>";
    append_escaped(out, objc::toString(object));
    out += "</string>\n";
  } else if (objc::isBoolean(object)) {
    out += objc::platformBoolValue(object) ? "<true/>\n" : "<false/>\n";
  } else if (objc::isNumber(object)) {
    if (is_real(object)) {
      out += "<real>" + real_text(objc::doubleValue(object)) + "</real>\n";
    } else {
      out += "<integer>" + integer_text(object) + "</integer>\n";
    }
  } else if (objc::isData(object)) {
    const auto length = objc::send<unsigned long>(object, kLength);
    const auto* bytes = static_cast<const unsigned char*>(objc::send<const void*>(object, kBytes));
    out += "<data>\n";
    if (bytes) append_base64(out, bytes, length, indent);
    out += indent + "</data>\n";
  } else if (objc::isKindOf(object, kNSDate)) {
    const double since1970 = objc::send<double>(object, kTimeIntervalSince1970);
    if (!std::isfinite(since1970)) return false;
    const std::time_t seconds = static_cast<std::time_t>(std::floor(since1970));
    std::tm utc{};
    if (!gmtime_r(&seconds, &utc)) return false;
    char text[64];
    std::snprintf(text, sizeof text, "<date>%04d-%02d-%02dT%02d:%02d:%02dZ</date>\n",
                  utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min,
                  utc.tm_sec);
    out += text;
  } else if (objc::isArray(object)) {
    const std::size_t n = objc::count(object);
    if (n == 0) {
      out += "<array/>\n";
      return true;
    }
    out += "<array>\n";
    for (std::size_t i = 0; i < n; ++i) {
      if (!append_object(out, objc::arrayGet(object, i), depth + 1)) return false;
    }
    out += indent + "</array>\n";
  } else if (objc::isDictionary(object)) {
    std::vector<std::pair<std::string, id>> entries;
    bool keys_are_strings = true;
    objc::forEachEntry(object, [&](id key, id value) {
      if (!objc::isString(key)) {
        keys_are_strings = false;
        return false;
      }
      entries.emplace_back(objc::toString(key), value);
      return true;
    });
    if (!keys_are_strings) return false;
    if (entries.empty()) {
      out += "<dict/>\n";
      return true;
    }
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    out += "<dict>\n";
    for (const auto& [key, value] : entries) {
      out += indent + "\t<key>";
      append_escaped(out, key);
      out += "</key>\n";
      if (!append_object(out, value, depth + 1)) return false;
    }
    out += indent + "</dict>\n";
  } else {
    return false;
  }
  return true;
}

// The list as Apple's XML format, as NSData (+0); nil when it is no property list.
id xml_data(id plist) {
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
      "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
      "<plist version=\"1.0\">\n";
  // The root sits at depth 0, like every object inside the plist element.
  if (!append_object(out, plist, 0)) return nullptr;
  out += "</plist>\n";
  return objc::autorelease(objc::makeData(out).leak());
}

constexpr char kInvalid[] = "The object is not a property list.";

id data_with_property_list(id self, SEL cmd, id plist, long format, unsigned long options,
                           id* error) {
  if (format != kXMLFormat) {
    return objc::call<id>(original_data_with, self, cmd, plist, format, options, error);
  }
  id data = xml_data(plist);
  if (error) {
    *error = nullptr;
    if (!data) {
      objc::Ref info = objc::makeMutableDictionary();
      objc::dictionarySet(info.get(), "NSDebugDescription", objc::string(kInvalid));
      *error = objc::send<id>(kNSError.get(), kErrorWithDomain, objc::string("NSCocoaErrorDomain"),
                              kPropertyListWriteInvalidError, info.get());
    }
  }
  return data;
}

id data_from_property_list(id self, SEL cmd, id plist, long format, id* description) {
  if (format != kXMLFormat) {
    return objc::call<id>(original_data_from, self, cmd, plist, format, description);
  }
  id data = xml_data(plist);
  if (description) *description = data ? nullptr : objc::string(kInvalid);
  return data;
}

[[gnu::constructor]] void install_xml_writer() {
  Class serialization = kNSPropertyListSerialization.get();
  if (!serialization) return;
  original_data_with = objc::replaceClassMethod(serialization, kDataWithPropertyList,
                                                reinterpret_cast<IMP>(&data_with_property_list));
  original_data_from = objc::replaceClassMethod(serialization, kDataFromPropertyList,
                                                reinterpret_cast<IMP>(&data_from_property_list));
}

}  // namespace
