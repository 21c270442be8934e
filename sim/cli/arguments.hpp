// Arguments of the simulated device's command lines (hv-device, hv-settings,
// hv-controlcenter, thermalmonitord). A number is read whole and bounded: "abc", "12x",
// " 5", "0x10", "nan", "inf" and anything outside the bounds are refused, never read as 0
// or as a huge wait. An argument that is not UTF-8 text is refused before any of it
// reaches Foundation. A refusal is bad usage: a message and kUsageStatus.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace halvernic::sim::cli {

// The exit status of a command line refused as bad usage.
inline constexpr int kUsageStatus = 2;

// text as a decimal number within [low, high]: an optional sign, digits with an optional
// fraction (at least one digit in all), an optional exponent; nothing before or after.
std::optional<double> parse_real(std::string_view text, double low, double high);

// text as a whole decimal number within [low, high]: an optional sign and digits.
std::optional<long long> parse_integer(std::string_view text, long long low, long long high);

// What a refusal says: what "from LOW to HIGH, not \"TEXT\"" (the text printable).
std::string expected(std::string_view what, std::string_view text, double low, double high);

// Whether text is well-formed UTF-8 (no overlong forms, surrogates or code points past
// U+10FFFF).
bool is_utf8(std::string_view text);

// text for a message: bytes that are not printable UTF-8 as \xNN.
std::string printable(std::string_view text);

// The first of count arguments that is not UTF-8, or -1 when all are.
int first_non_utf8(int count, const char* const* arguments);

}  // namespace halvernic::sim::cli
