#include "common/objc/encoding.hpp"

#include <climits>
#include <cstring>

namespace objc {
namespace {

// Apple's runtime encodes long as 'q' on 64-bit and keeps 'l' for a 32-bit quantity;
// GCC's runtime encodes long as 'l' in its own width.
#if defined(__APPLE__)
constexpr int kLongBits = 32;
#else
constexpr int kLongBits = static_cast<int>(sizeof(long) * CHAR_BIT);
#endif

bool isQualifier(char c) noexcept { return std::strchr("rnNoORVA!", c) != nullptr && c != '\0'; }

bool isOffset(char c) noexcept { return (c >= '0' && c <= '9') || c == '-' || c == '+'; }

// Skips a bracketed encoding ("{name=...}", "(...)", "[12i]") from its opening bracket,
// quoted names included; p ends after the closing bracket (or at the end when unbalanced).
const char* skipBracketed(const char* p, bool& ok) {
  int depth = 0;
  do {
    const char c = *p;
    if (c == '\0') {
      ok = false;
      return p;
    }
    if (c == '"') {
      const char* close = std::strchr(p + 1, '"');
      if (!close) {
        ok = false;
        return p + std::strlen(p);
      }
      p = close + 1;
      continue;
    }
    if (c == '{' || c == '(' || c == '[') ++depth;
    if (c == '}' || c == ')' || c == ']') --depth;
    ++p;
  } while (depth > 0);
  return p;
}

// The token of a type written as one character ("" when c is no such type): a pointer, an
// integer or a floating-point number of its width, or void.
std::string oneCharacterToken(char c) {
  switch (c) {
    case '#':
    case ':':
    case '*':
    case '?': return "p";
    case 'c': return "s8";
    case 'C':
    case 'B': return "u8";
    case 's': return "s16";
    case 'S': return "u16";
    case 'i': return "s32";
    case 'I': return "u32";
    case 'l': return "s" + std::to_string(kLongBits);
    case 'L': return "u" + std::to_string(kLongBits);
    case 'q': return "s64";
    case 'Q': return "u64";
    case 'f': return "f32";
    case 'd': return "f64";
    case 'D': return "f" + std::to_string(sizeof(long double) * CHAR_BIT);
    case 'v': return "v";
    default: return {};
  }
}

// One type from p: appends its token to out and answers where the next type begins (its
// offset skipped), or nullptr when the encoding is malformed.
const char* oneType(const char* p, std::string& out, bool top_level) {
  while (isQualifier(*p)) ++p;
  const char c = *p;
  if (c == '\0') return nullptr;
  ++p;
  std::string token;
  switch (c) {
    case '@':
      if (*p == '?') {
        ++p;  // a block
      } else if (*p == '"') {
        const char* close = std::strchr(p + 1, '"');  // @"NSString"
        if (!close) return nullptr;
        p = close + 1;
      }
      token = "p";
      break;
    case '^': {
      std::string pointee;
      p = oneType(p, pointee, false);
      if (!p) return nullptr;
      token = "p";
      break;
    }
    case 'b': {
      const char* start = p;
      while (*p >= '0' && *p <= '9') ++p;
      token = "b" + std::string(start, p);
      break;
    }
    case '{':
    case '(':
    case '[': {
      bool ok = true;
      const char* end = skipBracketed(p - 1, ok);
      if (!ok) return nullptr;
      token.assign(p - 1, end);
      p = end;
      break;
    }
    default:
      token = oneCharacterToken(c);
      if (token.empty()) return nullptr;
  }
  if (top_level) {
    while (isOffset(*p)) ++p;
  }
  if (!out.empty()) out += ' ';
  out += token;
  return p;
}

}  // namespace

std::string callingConvention(const char* types) {
  std::string out;
  if (!types) return "?";
  const char* p = types;
  while (*p != '\0') {
    p = oneType(p, out, true);
    if (!p) {
      if (!out.empty()) out += ' ';
      out += '?';
      break;
    }
  }
  return out;
}

bool sameCallingConvention(const char* a, const char* b) {
  if (!a || !b) return false;
  const std::string left = callingConvention(a);
  if (left.find('?') != std::string::npos) return false;
  return left == callingConvention(b);
}

}  // namespace objc
