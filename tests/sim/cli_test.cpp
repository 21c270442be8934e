// The arguments of the simulated device's command lines: numbers read whole and bounded,
// text that must be UTF-8.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>

#include "sim/cli/arguments.hpp"

namespace {

namespace cli = halvernic::sim::cli;

struct RealCase {
  const char* text;
  std::optional<double> value;  // nullopt: refused
};

TEST(SimArguments, RealsAreReadWholeAndBounded) {
  const RealCase cases[] = {
      {"0", 0.0},
      {"10", 10.0},
      {"+2.5", 2.5},
      {"-1", -1.0},
      {".5", 0.5},
      {"5.", 5.0},
      {"1e2", 100.0},
      {"2.5E-1", 0.25},
      {"3600", 3600.0},
      {"", std::nullopt},
      {"abc", std::nullopt},
      {"12x", std::nullopt},
      {" 5", std::nullopt},
      {"5 ", std::nullopt},
      {"0x10", std::nullopt},
      {"nan", std::nullopt},
      {"inf", std::nullopt},
      {"-inf", std::nullopt},
      {"1e400", std::nullopt},
      {"3600.001", std::nullopt},
      {"-0.5", std::nullopt},
      {"1e29", std::nullopt},
      {"e5", std::nullopt},
      {"1e", std::nullopt},
      {".", std::nullopt},
      {"+", std::nullopt},
      {"--1", std::nullopt},
      {"1,5", std::nullopt},
  };
  for (const RealCase& c : cases) {
    const std::optional<double> value =
        cli::parse_real(c.text, c.value && *c.value < 0 ? -10 : 0, 3600);
    EXPECT_EQ(value, c.value) << '"' << c.text << '"';
  }
  EXPECT_EQ(cli::parse_real("-0", 0, 1), 0.0);
  EXPECT_FALSE(std::signbit(*cli::parse_real("-0", 0, 1))) << "no negative zero";
}

struct IntegerCase {
  const char* text;
  std::optional<long long> value;
};

TEST(SimArguments, IntegersAreReadWholeAndBounded) {
  const IntegerCase cases[] = {
      {"0", 0},
      {"200", 200},
      {"+7", 7},
      {"60000", 60000},
      {"60001", std::nullopt},
      {"-1", std::nullopt},
      {"1.5", std::nullopt},
      {"1e3", std::nullopt},
      {"abc", std::nullopt},
      {"", std::nullopt},
      {"99999999999999999999999", std::nullopt},
      {"12 ", std::nullopt},
  };
  for (const IntegerCase& c : cases) {
    EXPECT_EQ(cli::parse_integer(c.text, 0, 60000), c.value) << '"' << c.text << '"';
  }
}

TEST(SimArguments, RefusalsNameTheBoundsAndShowTheTextPrintably) {
  EXPECT_EQ(cli::expected("a number of seconds", "nan", 0, 3600),
            "a number of seconds from 0 to 3600, not \"nan\"");
  EXPECT_EQ(cli::expected("a number", "x\xff\n", 0.5, 1e6),
            "a number from 0.5 to 1000000, not \"x\\xFF\\x0A\"");
}

TEST(SimArguments, OnlyWellFormedUtf8IsText) {
  struct Case {
    const char* text;
    bool utf8;
  } cases[] = {
      {"", true},
      {"CPU 模式", true},
      {"满频率 🔥", true},
      {"\xff", false},
      {"tap\xc3", false},           // cut short
      {"\xc0\xaf", false},          // overlong '/'
      {"\xed\xa0\x80", false},      // a surrogate
      {"\xf4\x90\x80\x80", false},  // past U+10FFFF
      {"\x80", false},              // a continuation alone
  };
  for (const Case& c : cases) EXPECT_EQ(cli::is_utf8(c.text), c.utf8) << cli::printable(c.text);
  const char* arguments[] = {"rows", "CPU 模式", "\xff", "x"};
  EXPECT_EQ(cli::first_non_utf8(4, arguments), 2);
  EXPECT_EQ(cli::first_non_utf8(2, arguments), -1);
  EXPECT_EQ(cli::printable("模式\xff"), "模式\\xFF");
}

}  // namespace
