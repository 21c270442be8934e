// The pane on whatever lies at the preferences file's path (every fuzz seed and finding, and
// crafted files): it shows what it can read and the defaults otherwise, never crashing or
// waiting, and a switch writes a good file over it.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/objc/foundation.hpp"
#include "extension/contract/contract.hpp"
#include "prefs/store.hpp"
#include "tests/support/planted_files.hpp"
#include "tests/support/preferences.hpp"

namespace {

namespace contract = halvernic::contract;
namespace prefs = halvernic::prefs;

TEST(PaneOnAnyFile, ShowsWhatItReadsOrTheDefaultsAndASwitchWritesAGoodFileOverIt) {
  const std::string& path = hv_test::preferences_path();
  ASSERT_EQ(prefs::preferencesFilePath(), path);
  const std::vector<hv_test::PlantedFile> files = hv_test::planted_files();
  ASSERT_GT(files.size(), 100u);
  for (const hv_test::PlantedFile& file : files) {
    objc::AutoreleasePool pool;
    file.plant(path);
    objc::Ref before = contract::readPreferences(path);
    if (file.unreadable) EXPECT_FALSE(before) << file.name;

    // The CPU mode row and a switch row as the pane reads them.
    EXPECT_STREQ(prefs::currentCpuModeValue(),
                 contract::powerModeValue(contract::powerModeOf(before.get())))
        << file.name;
    objc::Ref row = objc::makeMutableDictionary();
    objc::dictionarySet(row.get(), "key", objc::string(contract::kPreventDimmingKey));
    objc::dictionarySet(row.get(), "default", objc::boolean(false));
    objc::Ref shown = prefs::rowValue(row.get());
    id stored = objc::dictionaryGet(before.get(), contract::kPreventDimmingKey);
    EXPECT_TRUE(objc::objectsEqual(shown.get(), stored ? stored : objc::boolean(false)))
        << file.name;

    // A switch written over it: a good file, with every key the old file had that the
    // write does not drop.
    prefs::writePreferenceValue(objc::boolean(true), contract::kPreventDimmingKey);
    objc::Ref after = contract::readPreferences(path);
    ASSERT_TRUE(after) << file.name;
    EXPECT_TRUE(contract::engineBoolPreference(after.get(), contract::kPreventDimmingKey, false))
        << file.name;
    EXPECT_EQ(contract::powerModeOf(after.get()), contract::powerModeOf(before.get())) << file.name;
  }
  std::filesystem::remove(path + ".target");
}

}  // namespace
