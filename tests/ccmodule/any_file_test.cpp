// The module on whatever lies at the preferences file's path (every fuzz seed and finding,
// and crafted files): it shows the mode it can read and "off" otherwise, never crashing or
// waiting, and a choice writes a good file over it.
#include <gtest/gtest.h>

#include <filesystem>

#include "ccmodule/power_mode.hpp"
#include "common/objc/foundation.hpp"
#include "extension/contract/contract.hpp"
#include "tests/support/planted_files.hpp"
#include "tests/support/preferences.hpp"

namespace {

namespace contract = halvernic::contract;
namespace ccmodule = halvernic::ccmodule;

TEST(ModuleOnAnyFile, ShowsTheModeItReadsOrOffAndAChoiceWritesAGoodFileOverIt) {
  const std::string& path = hv_test::preferences_path();
  ASSERT_EQ(ccmodule::preferencesFilePath(), path);
  const std::vector<hv_test::PlantedFile> files = hv_test::planted_files();
  ASSERT_GT(files.size(), 100u);
  for (const hv_test::PlantedFile& file : files) {
    objc::AutoreleasePool pool;
    file.plant(path);
    objc::Ref before = contract::readPreferences(path);
    if (file.unreadable) EXPECT_FALSE(before) << file.name;
    EXPECT_STREQ(ccmodule::currentPowerModeValue(),
                 contract::powerModeValue(contract::powerModeOf(before.get())))
        << file.name;

    ccmodule::applyPowerModeValue(objc::string("lowPower"));
    objc::Ref after = contract::readPreferences(path);
    ASSERT_TRUE(after) << file.name;
    EXPECT_STREQ(ccmodule::currentPowerModeValue(), "lowPower") << file.name;
    id kept = objc::dictionaryGet(before.get(), contract::kPreventDimmingKey);
    EXPECT_TRUE(
        objc::objectsEqual(objc::dictionaryGet(after.get(), contract::kPreventDimmingKey), kept))
        << file.name << ": a key the choice does not touch is kept";
  }
  std::filesystem::remove(path + ".target");
}

}  // namespace
