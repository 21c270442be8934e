// The battery's temperature through IOKit, against the stand-in's registry below the
// device root: what counts as a reading, and what is unknown.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/objc/foundation.hpp"
#include "extension/battery/battery.hpp"
#include "hvplatform/iokit_registry.h"
#include "tests/support/preferences.hpp"

namespace {

namespace fs = std::filesystem;
namespace battery = halvernic::battery;

fs::path entry() {
  return hv_test::device_root() / HV_IOREGISTRY_FOLDER / "AppleSmartBattery.plist";
}

// The battery entry with Temperature set to value (none: without the property).
void write_battery(id value) {
  objc::AutoreleasePool pool;
  fs::create_directories(entry().parent_path());
  objc::Ref properties = objc::makeMutableDictionary();
  objc::dictionarySet(properties.get(), "CurrentCapacity", objc::number(80));
  if (value) objc::dictionarySet(properties.get(), battery::kTemperatureProperty, value);
  ASSERT_TRUE(objc::writePropertyListXmlAtomically(properties.get(), entry().string()));
}

TEST(BatteryTemperature, ReadsTheTemperaturePropertyInHundredthsOfADegree) {
  objc::AutoreleasePool pool;
  struct Case {
    const char* name;
    id value;
    std::optional<int> reading;
  };
  const objc::Ref list = objc::makeMutableArray();
  const Case cases[] = {
      {"an integer", objc::number(3125), 3125},
      {"zero degrees", objc::number(0), 0},
      {"below zero", objc::number(-1250), -1250},
      {"a real, rounded", objc::numberDouble(4999.6), 5000},
      {"the highest plausible", objc::number(15000), 15000},
      {"above it: a sensor's error value", objc::number(65535), std::nullopt},
      {"below the lowest plausible", objc::number(-5001), std::nullopt},
      {"a Boolean", objc::boolean(true), std::nullopt},
      {"a string of digits", objc::string("3125"), std::nullopt},
      {"an array", list.get(), std::nullopt},
      {"no property", nullptr, std::nullopt},
  };
  for (const Case& c : cases) {
    write_battery(c.value);
    EXPECT_EQ(battery::readTemperatureCentiCelsius(), c.reading) << c.name;
  }
}

TEST(BatteryTemperature, NoBatteryEntryIsUnknown) {
  fs::remove(entry());
  EXPECT_EQ(battery::readTemperatureCentiCelsius(), std::nullopt);
  fs::create_directories(entry());  // a folder in its place
  EXPECT_EQ(battery::readTemperatureCentiCelsius(), std::nullopt);
  fs::remove(entry());
}

}  // namespace
