// The thermal configuration patcher against a stand-in engine: which dictionaries count as
// backlight components, what happens to them, integer values of configuration values, and
// a configuration nested far deeper than any thread's stack would allow a recursive walk.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "common/objc/foundation.hpp"
#include "extension/config/dict_helper.hpp"

namespace {

using Entries = std::initializer_list<std::pair<std::string_view, id>>;

class StandInEngine final : public HDictHepler::Engine {
public:
  bool preventDimming = true;
  int asked = 0;
  std::vector<std::int64_t> observed;

  bool preventDimmingEnabled() override {
    ++asked;
    return preventDimming;
  }
  void observeComponentPower(std::int64_t value) override { observed.push_back(value); }
};

objc::Ref str(std::string_view text) { return objc::makeString(text); }  // a new object each time
id num(std::int64_t value) { return objc::number(value); }

objc::Ref dict(Entries entries) {
  objc::Ref d = objc::makeMutableDictionary();
  for (const auto& [key, value] : entries) objc::dictionarySet(d.get(), key, value);
  return d;
}

objc::Ref arr(std::initializer_list<id> elements) {
  objc::Ref a = objc::makeMutableArray();
  for (id e : elements) objc::arrayAdd(a.get(), e);
  return a;
}

id get(id dictionary, std::string_view key) { return objc::dictionaryGet(dictionary, key); }
std::int64_t int_at(id dictionary, std::string_view key) {
  return objc::int64Value(get(dictionary, key));
}

// The three changes every patched component shows.
void expect_pinned(id component, std::int64_t power) {
  ASSERT_TRUE(objc::isDictionary(component));
  EXPECT_EQ(int_at(component, "maxThermalPower"), power);
  EXPECT_EQ(int_at(component, "minThermalPower"), power);
  id cpms = get(component, "expectsCPMSSupport");
  ASSERT_TRUE(objc::isNumber(cpms));
  EXPECT_FALSE(objc::isBoolean(cpms));
  EXPECT_EQ(objc::int64Value(cpms), 0);
}

void expect_untouched(id dictionary) {
  EXPECT_EQ(get(dictionary, "expectsCPMSSupport"), nullptr);
  EXPECT_EQ(get(dictionary, "maxThermalPower"), nullptr);
}

// Every element of array is the very object expected.
void expect_all(id array, id expected, std::size_t n) {
  ASSERT_TRUE(objc::isArray(array));
  ASSERT_EQ(objc::count(array), n);
  for (std::size_t i = 0; i < n; ++i) EXPECT_EQ(objc::arrayGet(array, i), expected) << i;
}

class DictHelperTest : public testing::Test {
protected:
  objc::AutoreleasePool pool;
  StandInEngine engine;
  HDictHepler patcher{engine};

  objc::Ref patch(id configuration) { return patcher.patchThermalConfiguration(configuration); }
};

TEST_F(DictHelperTest, WorkedComponent) {
  objc::Ref b300 = str("300"), b450a = str("450"), b450b = str("450");
  objc::Ref s10 = str("10"), s40 = str("40"), s25 = str("25");
  objc::Ref power = arr({num(300), num(450), num(450)});
  objc::Ref brightness = arr({s10.get(), s40.get(), s25.get()});
  objc::Ref component = dict({{"maxThermalPower", num(600000)},
                              {"minThermalPower", num(200000)},
                              {"BacklightPower", power.get()},
                              {"MaxBrightnessTable", brightness.get()}});
  objc::Ref root = dict({{"Panel", component.get()}, {"version", num(3)}});

  objc::Ref result = patch(root.get());
  ASSERT_NE(result.get(), root.get());
  id patched = get(result.get(), "Panel");
  expect_pinned(patched, 1000000);
  id flattened = get(patched, "BacklightPower");
  ASSERT_EQ(objc::count(flattened), 3u);
  for (std::size_t i = 0; i < 3; ++i)
    EXPECT_EQ(objc::int64Value(objc::arrayGet(flattened, i)), 450);
  // The brightness table holds the string "40" itself, not its number.
  expect_all(get(patched, "MaxBrightnessTable"), s40.get(), 3);
  EXPECT_EQ(objc::count(patched), 5u);
  EXPECT_EQ(get(result.get(), "version"), get(root.get(), "version"));
  EXPECT_EQ(engine.observed, std::vector<std::int64_t>{450});

  // The input is left as it was.
  EXPECT_EQ(int_at(component.get(), "maxThermalPower"), 600000);
  EXPECT_EQ(get(component.get(), "expectsCPMSSupport"), nullptr);
  EXPECT_EQ(objc::arrayGet(brightness.get(), 0), s10.get());
  EXPECT_NE(get(patched, "BacklightPower"), power.get());

  // Equal largest elements: the first of them is kept.
  objc::Ref ties = dict({{"BacklightPower", arr({b300.get(), b450a.get(), b450b.get()}).get()}});
  objc::Ref tied = patch(ties.get());
  expect_all(get(tied.get(), "BacklightPower"), b450a.get(), 3);
}

TEST_F(DictHelperTest, SettingOffOrNoDictionaryGivesTheVeryObject) {
  objc::Ref root = dict({{"Backlight", dict({{"BacklightPower", arr({num(5)}).get()}}).get()}});
  engine.preventDimming = false;
  objc::Ref result = patch(root.get());
  EXPECT_EQ(result.get(), root.get());
  EXPECT_EQ(engine.asked, 1);
  EXPECT_EQ(get(get(root.get(), "Backlight"), "expectsCPMSSupport"), nullptr);
  EXPECT_TRUE(engine.observed.empty());

  engine.preventDimming = true;
  objc::Ref array = arr({dict({{"brightness", arr({num(1)}).get()}}).get()});
  EXPECT_EQ(patch(array.get()).get(), array.get());
  EXPECT_EQ(patch(nullptr).get(), nullptr);
}

TEST_F(DictHelperTest, ConfigurationWithoutComponentsIsRebuiltEqual) {
  objc::Ref leaf = str("CPU");
  objc::Ref inner = arr({num(1), leaf.get(), dict({{"x", num(2)}}).get()});
  objc::Ref root = dict({{"sensors", inner.get()}, {"name", leaf.get()}});
  objc::Ref result = patch(root.get());
  ASSERT_NE(result.get(), root.get());
  EXPECT_TRUE(objc::objectsEqual(result.get(), root.get()));
  id copied = get(result.get(), "sensors");
  EXPECT_NE(copied, inner.get());
  EXPECT_NE(objc::arrayGet(copied, 2), objc::arrayGet(inner.get(), 2));
  EXPECT_EQ(objc::arrayGet(copied, 1), leaf.get()) << "leaves are shared";
  // Every container of the result is mutable.
  objc::dictionarySet(result.get(), "added", num(1));
  objc::arrayAdd(copied, num(1));
  objc::dictionarySet(objc::arrayGet(copied, 2), "y", num(1));
  EXPECT_EQ(objc::count(inner.get()), 3u);
}

TEST_F(DictHelperTest, ParentKeyMarksComponentsInAnyCaseAndThroughArrays) {
  objc::Ref root = dict({
      {"LCD_BackLight_Config", dict({{"a", num(1)}, {"inner", dict({{"b", num(1)}}).get()}}).get()},
      {"BACKLIGHT", dict({{"maxThermalPower", num(1500000)}}).get()},
      {"bac\xE2\x84\xAAlight", dict({{"c", num(1)}}).get()},  // KELVIN SIGN lower-cases to k
      {"displayBacklights",
       arr({dict({{"d", num(1)}}).get(), arr({dict({{"e", num(1)}}).get()}).get()}).get()},
      {"other", arr({dict({{"f", num(1)}}).get()}).get()},
      {"back light", dict({{"g", num(1)}}).get()},
  });
  objc::Ref result = patch(root.get());
  id lcd = get(result.get(), "LCD_BackLight_Config");
  expect_pinned(lcd, 1000000);
  expect_untouched(get(lcd, "inner"));  // found under "inner", not under a backlight key
  expect_pinned(get(result.get(), "BACKLIGHT"), 1500000);
  expect_pinned(get(result.get(), "bac\xE2\x84\xAAlight"), 1000000);
  id listed = get(result.get(), "displayBacklights");
  expect_pinned(objc::arrayGet(listed, 0), 1000000);
  expect_pinned(objc::arrayGet(objc::arrayGet(listed, 1), 0), 1000000);
  expect_untouched(objc::arrayGet(get(result.get(), "other"), 0));
  expect_untouched(get(result.get(), "back light"));
  expect_untouched(result.get());
  EXPECT_TRUE(engine.observed.empty()) << "no BacklightPower table anywhere";
}

TEST_F(DictHelperTest, OwnKeysMarkComponentsAndOnlyArraysAreFlattened) {
  objc::Ref text = str("bright");
  objc::Ref junk = str("abc"), five = str(" 5 "), spaced = str("4 2"), lettered = str("9x");
  objc::Ref a = str("a"), b = str("b");
  objc::Ref root = dict({
      {"c1", dict({{"ScreenBRIGHTNESSLevels",
                    arr({junk.get(), five.get(), spaced.get(), lettered.get()}).get()},
                   {"brightnessName", text.get()},
                   {"BrightnessEmpty", arr({}).get()},
                   {"brightnessWords", arr({a.get(), b.get()}).get()},
                   {"unrelated", arr({num(1), num(7)}).get()}})
                 .get()},
      {"c2", dict({{"xBacklightPowerY", arr({num(3), num(8)}).get()},
                   {"minThermalPower", str(" 1200000\n").get()}})
                 .get()},
      {"c3", dict({{"BacklightPower", arr({num(-5), num(-2)}).get()}}).get()},
  });
  objc::Ref result = patch(root.get());
  id c1 = get(result.get(), "c1");
  expect_pinned(c1, 1000000);
  expect_all(get(c1, "ScreenBRIGHTNESSLevels"), five.get(), 4);
  EXPECT_EQ(get(c1, "brightnessName"), text.get());
  EXPECT_EQ(objc::count(get(c1, "BrightnessEmpty")), 0u);
  expect_all(get(c1, "brightnessWords"), a.get(), 2);  // nothing numeric: the first element
  id unrelated = get(c1, "unrelated");
  EXPECT_EQ(objc::int64Value(objc::arrayGet(unrelated, 0)), 1);
  EXPECT_EQ(objc::int64Value(objc::arrayGet(unrelated, 1)), 7);

  id c2 = get(result.get(), "c2");
  expect_pinned(c2, 1200000);
  id table = get(c2, "xBacklightPowerY");
  EXPECT_EQ(objc::int64Value(objc::arrayGet(table, 0)), 8);
  EXPECT_EQ(objc::int64Value(objc::arrayGet(table, 1)), 8);

  // Negative backlight power is flattened to its largest (-2) but is never reported.
  id c3 = get(result.get(), "c3");
  expect_pinned(c3, 1000000);
  EXPECT_EQ(objc::int64Value(objc::arrayGet(get(c3, "BacklightPower"), 0)), -2);
  EXPECT_EQ(objc::int64Value(objc::arrayGet(get(c3, "BacklightPower"), 1)), -2);
  EXPECT_TRUE(engine.observed.empty());
}

// Power given as strings and fractions, and a table whose elements are themselves
// components (their key mentions backlight): they are patched first, then the table is
// flattened to the first of them, since none has an integer value.
TEST_F(DictHelperTest, StringPowersAndTablesOfComponents) {
  objc::Ref p600 = str("600"), p900 = str(" 900\n"), px = str("x");
  objc::Ref root = dict(
      {{"panel", dict({
                          {"BacklightPower", arr({p600.get(), p900.get(), px.get()}).get()},
                          {"BacklightPowerModes",
                           arr({dict({{"a", num(1)}}).get(), dict({{"b", num(2)}}).get()}).get()},
                          {"maxThermalPower", str("  2500000 ").get()},
                          {"minThermalPower", objc::numberDouble(3000000.9)},
                      })
                     .get()}});
  objc::Ref result = patch(root.get());
  id panel = get(result.get(), "panel");
  expect_pinned(panel, 3000000);
  expect_all(get(panel, "BacklightPower"), p900.get(), 3);
  EXPECT_EQ(engine.observed, std::vector<std::int64_t>{900});

  id modes = get(panel, "BacklightPowerModes");
  ASSERT_EQ(objc::count(modes), 2u);
  id first = objc::arrayGet(modes, 0);
  EXPECT_EQ(objc::arrayGet(modes, 1), first);
  expect_pinned(first, 1000000);
  EXPECT_EQ(int_at(first, "a"), 1);
  EXPECT_EQ(get(first, "b"), nullptr);
}

TEST_F(DictHelperTest, PinnedPowerHasAFloorOfOneMillion) {
  struct Case {
    std::int64_t max, min, backlight, pinned;
  } cases[] = {
      {999999, 5, 1, 1000000},   {1000000, 0, 1, 1000000},   {1500000, 10, 1, 1500000},
      {10, 1500000, 1, 1500000}, {10, 20, 1500000, 1500000}, {-7, -8, -9, 1000000},
      {1000001, 0, 0, 1000001},
  };
  for (const Case& c : cases) {
    engine.observed.clear();
    objc::Ref root = dict({{"Backlight", dict({{"maxThermalPower", num(c.max)},
                                               {"minThermalPower", num(c.min)},
                                               {"BacklightPower", arr({num(c.backlight)}).get()}})
                                             .get()}});
    objc::Ref result = patch(root.get());
    SCOPED_TRACE(c.max);
    expect_pinned(get(result.get(), "Backlight"), c.pinned);
    EXPECT_EQ(engine.observed, c.backlight >= 1 ? std::vector<std::int64_t>{c.backlight}
                                                : std::vector<std::int64_t>{});
  }
}

TEST_F(DictHelperTest, IntegerValuesOfConfigurationValues) {
  using V = std::optional<std::int64_t>;
  auto of = [](std::string_view text) { return HDictHepler::configIntegerValue(str(text).get()); };
  EXPECT_EQ(of("42"), V(42));
  EXPECT_EQ(of("  42  "), V(42));
  EXPECT_EQ(of("\n\t42\r\n"), V(42));
  EXPECT_EQ(of("\xC2\xA0"
               "42\xE3\x80\x80"),
            V(42));  // no-break and ideographic spaces
  EXPECT_EQ(of("+42"), V(42));
  EXPECT_EQ(of("-42"), V(-42));
  EXPECT_EQ(of("-0"), V(0));
  EXPECT_EQ(of("000000000000000000000000000000042"), V(42));
  EXPECT_EQ(of(std::string(300, ' ') + "42" + std::string(300, '\n')), V(42));
  EXPECT_EQ(of("9223372036854775807"), V(INT64_MAX));
  EXPECT_EQ(of("-9223372036854775808"), V(INT64_MIN));
  for (std::string_view none :
       {"", "   ", "4 2", "42abc", "abc42", "+", "-", "+-4", "4.0", "0x10", "9223372036854775808",
        "-9223372036854775809", "99999999999999999999",
        "\xEF\xBC\x94\xEF\xBC\x92" /* fullwidth 42 */}) {
    EXPECT_EQ(of(none), std::nullopt) << '"' << none << '"';
  }
  // A NUL inside the string is not whitespace.
  EXPECT_EQ(of(std::string_view("42\0", 3)), std::nullopt);

  EXPECT_EQ(HDictHepler::configIntegerValue(num(-17)), V(-17));
  EXPECT_EQ(HDictHepler::configIntegerValue(objc::numberDouble(42.9)), V(42));
  EXPECT_EQ(HDictHepler::configIntegerValue(objc::numberDouble(-42.9)), V(-42));
  EXPECT_EQ(HDictHepler::configIntegerValue(objc::numberDouble(1e30)), V(INT64_MAX));
  EXPECT_EQ(HDictHepler::configIntegerValue(objc::numberDouble(-1e30)), V(INT64_MIN));
  EXPECT_EQ(HDictHepler::configIntegerValue(objc::boolean(true)), V(1));
  EXPECT_EQ(HDictHepler::configIntegerValue(nullptr), std::nullopt);
  EXPECT_EQ(HDictHepler::configIntegerValue(arr({num(1)}).get()), std::nullopt);
  EXPECT_EQ(HDictHepler::configIntegerValue(dict({}).get()), std::nullopt);
}

// Releases a deeply nested chain from the top down while each level is still held, so
// that no release cascades through all the levels at once.
void release_chain(std::vector<objc::Ref>& levels) {
  for (objc::Ref& level : levels) level.reset();
  levels.clear();
}

TEST_F(DictHelperTest, DeeplyNestedConfigurationIsPatchedWithoutRecursion) {
  constexpr std::size_t kDepth = 100000;
  std::vector<objc::Ref> input;
  input.reserve(kDepth + 1);
  // Innermost: a backlight component under a backlight key, inside an array.
  objc::Ref component = dict({{"BacklightPower", arr({num(7), num(9)}).get()}});
  objc::Ref innermost = arr({component.get()});
  input.push_back(innermost);
  // Outwards: dictionaries and arrays in turn; the level holding the array is keyed
  // "backlights".
  for (std::size_t depth = 1; depth <= kDepth; ++depth) {
    objc::Ref level;
    if (depth == 1) {
      level = dict({{"backlights", input.back().get()}});
    } else if (depth % 2 == 0) {
      level = dict({{"level", input.back().get()}});
    } else {
      level = arr({input.back().get()});
    }
    input.push_back(std::move(level));
  }
  std::reverse(input.begin(), input.end());  // input[0] is the root
  ASSERT_TRUE(objc::isDictionary(input[0].get()));

  objc::Ref result = patch(input[0].get());
  ASSERT_NE(result.get(), input[0].get());

  std::vector<objc::Ref> output;
  output.reserve(kDepth + 1);
  id at = result.get();
  for (std::size_t i = 0; i < kDepth; ++i) {
    output.push_back(objc::Ref::retain(at));
    const bool dictionary = objc::isDictionary(at);
    ASSERT_EQ(dictionary, objc::isDictionary(input[i].get())) << i;
    ASSERT_NE(at, input[i].get()) << i;
    ASSERT_EQ(objc::count(at), 1u) << i << ": only the innermost component is patched";
    at = dictionary ? objc::arrayGet(objc::dictionaryKeys(at), 0) : objc::arrayGet(at, 0);
    if (dictionary) at = objc::dictionaryGet(output.back().get(), at);
  }
  ASSERT_TRUE(objc::isArray(at));
  output.push_back(objc::Ref::retain(at));
  id patched = objc::arrayGet(at, 0);
  expect_pinned(patched, 1000000);
  EXPECT_EQ(objc::int64Value(objc::arrayGet(get(patched, "BacklightPower"), 0)), 9);
  EXPECT_EQ(engine.observed, std::vector<std::int64_t>{9});

  result.reset();
  release_chain(output);
  release_chain(input);
}

}  // namespace
