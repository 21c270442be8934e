#include "sim/cli/arguments.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace halvernic::sim::cli {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::size_t digits_from(std::string_view text, std::size_t at) {
  std::size_t end = at;
  while (end < text.size() && is_digit(text[end])) ++end;
  return end - at;
}

// The length of the well-formed UTF-8 sequence at text[at], or 0.
std::size_t sequence_length(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  char32_t point = 0, lowest = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, point = lead & 0x1F, lowest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, point = lead & 0x0F, lowest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, point = lead & 0x07, lowest = 0x10000;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    point = (point << 6) | (byte(at + i) & 0x3F);
  }
  if (point < lowest || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return 0;
  return length;
}

std::string number_text(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

}  // namespace

std::optional<double> parse_real(std::string_view text, double low, double high) {
  std::size_t at = 0;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
  const std::size_t whole = digits_from(text, at);
  at += whole;
  std::size_t fraction = 0;
  if (at < text.size() && text[at] == '.') {
    fraction = digits_from(text, at + 1);
    at += 1 + fraction;
  }
  if (whole + fraction == 0) return std::nullopt;
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    ++at;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
    const std::size_t exponent = digits_from(text, at);
    if (exponent == 0) return std::nullopt;
    at += exponent;
  }
  if (at != text.size()) return std::nullopt;
  // from_chars takes no '+' and ignores the locale.
  const std::string_view digits = text.front() == '+' ? text.substr(1) : text;
  double value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  if (value < low || value > high) return std::nullopt;
  return value == 0 ? 0.0 : value;  // no -0
}

std::optional<long long> parse_integer(std::string_view text, long long low, long long high) {
  std::size_t at = 0;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
  const std::size_t digits = digits_from(text, at);
  if (digits == 0 || at + digits != text.size()) return std::nullopt;
  const std::string_view number = text.front() == '+' ? text.substr(1) : text;
  long long value = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (error != std::errc() || end != number.data() + number.size()) return std::nullopt;
  if (value < low || value > high) return std::nullopt;
  return value;
}

std::string expected(std::string_view what, std::string_view text, double low, double high) {
  return std::string(what) + " from " + number_text(low) + " to " + number_text(high) + ", not \"" +
         printable(text) + "\"";
}

bool is_utf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = sequence_length(text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

std::string printable(std::string_view text) {
  std::string out;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = sequence_length(text, at);
    const auto byte = static_cast<unsigned char>(text[at]);
    if (length == 0 || byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      out += escaped;
      ++at;
    } else {
      out.append(text.substr(at, length));
      at += length;
    }
  }
  return out;
}

int first_non_utf8(int count, const char* const* arguments) {
  for (int i = 0; i < count; ++i) {
    if (!is_utf8(arguments[i])) return i;
  }
  return -1;
}

}  // namespace halvernic::sim::cli
