// Method type encodings: the runtime's text for a method's result and argument types
// ("i16@0:8" for -(int)CPULevel), made from C++ types as Apple's compiler writes them with
// @encode: what the class builder registers for a method and what a typed message
// (message.hpp) or a hook declares, so the two can be compared by what decides how the
// method is called.
//
// Structs passed by value need a specialisation with Apple's exact encoding; the header
// that defines the struct's role gives it, e.g. for CoreGraphics' rectangle:
//   HALVERNIC_OBJC_STRUCT_ENCODING(CGRect, "{CGRect={CGPoint=dd}{CGSize=dd}}");
// (at namespace scope, outside any namespace). A block argument encodes as "@?".
#pragma once

#include <string>
#include <type_traits>

#include "common/objc/runtime.hpp"

namespace objc {

// The runtime's type encoding of a C++ type. Specialise for struct types passed by value.
template <class T, class = void>
struct Encoding;

#define HALVERNIC_OBJC_ENCODING(type, code)    \
  template <>                                  \
  struct Encoding<type> {                      \
    static constexpr const char* value = code; \
  }
HALVERNIC_OBJC_ENCODING(void, "v");
HALVERNIC_OBJC_ENCODING(id, "@");
HALVERNIC_OBJC_ENCODING(Class, "#");
HALVERNIC_OBJC_ENCODING(SEL, ":");
HALVERNIC_OBJC_ENCODING(bool, "B");
HALVERNIC_OBJC_ENCODING(char, "c");
HALVERNIC_OBJC_ENCODING(signed char, "c");
HALVERNIC_OBJC_ENCODING(unsigned char, "C");
HALVERNIC_OBJC_ENCODING(short, "s");
HALVERNIC_OBJC_ENCODING(unsigned short, "S");
HALVERNIC_OBJC_ENCODING(int, "i");
HALVERNIC_OBJC_ENCODING(unsigned int, "I");
HALVERNIC_OBJC_ENCODING(long long, "q");
HALVERNIC_OBJC_ENCODING(unsigned long long, "Q");
HALVERNIC_OBJC_ENCODING(float, "f");
HALVERNIC_OBJC_ENCODING(double, "d");
HALVERNIC_OBJC_ENCODING(const char*, "*");
#if defined(__APPLE__)
HALVERNIC_OBJC_ENCODING(long, "q");
HALVERNIC_OBJC_ENCODING(unsigned long, "Q");
#else
HALVERNIC_OBJC_ENCODING(long, "l");
HALVERNIC_OBJC_ENCODING(unsigned long, "L");
#endif
#undef HALVERNIC_OBJC_ENCODING

template <class T>
struct Encoding<T*, std::enable_if_t<!std::is_same_v<T, const char> && !std::is_same_v<T*, id> &&
                                     !std::is_same_v<T*, SEL> && !std::is_same_v<T*, Class>>> {
  static constexpr const char* value = "^v";
};

// An enumeration encodes as its underlying integer, as @encode does (CoreGraphics' line caps
// and joins are enums on iOS and plain integers in the Linux header).
template <class T>
struct Encoding<T, std::enable_if_t<std::is_enum_v<T>>> {
  static constexpr const char* value = Encoding<std::underlying_type_t<T>>::value;
};

// A block (any signature) travels as an object pointer of block kind.
template <class R, class... Args>
struct Encoding<R (^)(Args...)> {
  static constexpr const char* value = "@?";
};

// The method type string of an implementation R imp(id self, SEL _cmd, Args...), without
// offsets: "v@:i".
template <class R, class... Args>
std::string methodTypesString() {
  std::string types = Encoding<R>::value;
  types += "@:";
  ((types += Encoding<Args>::value), ...);
  return types;
}

// The same, made once per signature and kept for the life of the process.
template <class R, class... Args>
const char* methodTypes() noexcept {
  static const std::string types = methodTypesString<R, Args...>();
  return types.c_str();
}

// What of an encoding decides the calling convention, one token per type separated by
// spaces: offsets and qualifiers (const, in, out, ...) are dropped; every object, class,
// selector, C string, block and pointer is "p" whatever it points to; integers are their
// signedness and width ("s32", "u64"; BOOL and _Bool are "u8"); floating point its width
// ("f64"); structs, unions and arrays their own encoding. "v@:i" and "v20@0:8i16" both give
// "v p p s32". A malformed encoding gives "?" where it stops.
std::string callingConvention(const char* types);

// Whether two methods with these encodings are called the same way (nullptr matches
// nothing).
bool sameCallingConvention(const char* a, const char* b);

template <class R, class... Args>
std::string methodEncoding(R (*)(id, SEL, Args...)) {
  return methodTypes<R, Args...>();
}

}  // namespace objc

// Apple's encoding of a struct passed by value; use at global namespace scope.
#define HALVERNIC_OBJC_STRUCT_ENCODING(type, code) \
  template <>                                      \
  struct objc::Encoding<type> {                    \
    static constexpr const char* value = code;     \
  }
