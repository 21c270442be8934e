// The contract between the binaries: the runtime-state word, mode normalisation, the
// engine's Boolean forms and the shared part of a front-end write.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "common/objc/foundation.hpp"
#include "common/os/file.hpp"
#include "extension/contract/contract.hpp"

namespace {

namespace fs = std::filesystem;
namespace contract = halvernic::contract;
using contract::PowerMode;

TEST(RuntimeStateWord, EncodesTheMagicAndTheLowBytesOfBothValues) {
  EXPECT_EQ(contract::encodeRuntimeState(0x1FF, 0x2AB), 0x48414C560000FFABull);
  EXPECT_EQ(contract::encodeRuntimeState(0xFFFFFFFFu, 0), 0x48414C560000FF00ull);
  EXPECT_EQ(contract::kPublishedRuntimeState, 0x48414C5600000000ull);

  const auto values = contract::decodeRuntimeState(0x48414C5600000307ull);
  EXPECT_EQ(values.first, 3);
  EXPECT_EQ(values.second, 7);
  // Bits 31-16 are not part of either value.
  const auto noisy = contract::decodeRuntimeState(0x48414C56ABCD0307ull);
  EXPECT_EQ(noisy.first, 3);
  EXPECT_EQ(noisy.second, 7);
}

TEST(RuntimeStateWord, OnlyTheExactMagicInTheUpperHalfCounts) {
  EXPECT_TRUE(contract::runtimeStateHasMagic(contract::encodeRuntimeState(9, 9)));
  EXPECT_FALSE(contract::runtimeStateHasMagic(0));  // never published
  EXPECT_FALSE(contract::runtimeStateHasMagic(0x48414C5700000000ull));
  EXPECT_FALSE(contract::runtimeStateHasMagic(0x0000000048414C56ull));  // magic in the wrong half
  EXPECT_FALSE(contract::runtimeStateHasMagic(0x564C414800000000ull));  // byte-swapped
}

id preferences_with_mode(id value) {
  objc::Ref dict = objc::makeMutableDictionary();
  objc::dictionarySet(dict.get(), contract::kPowerModeKey, value);
  return objc::autorelease(dict.leak());
}

TEST(PowerModes, OnlyTheTwoExactStringsSelectAModeEverythingElseIsNative) {
  objc::AutoreleasePool pool;
  EXPECT_EQ(contract::powerModeOf(preferences_with_mode(objc::string("lowPower"))),
            PowerMode::lowPower);
  EXPECT_EQ(contract::powerModeOf(preferences_with_mode(objc::string("fullPower"))),
            PowerMode::fullPower);
  for (const char* other : {"off", "native", "FullPower", "lowpower", "", "fullPower ", "1"}) {
    EXPECT_EQ(contract::powerModeOf(preferences_with_mode(objc::string(other))), PowerMode::off)
        << other;
  }
  EXPECT_EQ(contract::powerModeOf(preferences_with_mode(objc::number(1))), PowerMode::off);
  EXPECT_EQ(contract::powerModeOf(preferences_with_mode(objc::boolean(true))), PowerMode::off);
  EXPECT_EQ(contract::powerModeOf(objc::makeMutableDictionary().get()), PowerMode::off);
  EXPECT_EQ(contract::powerModeOf(nullptr), PowerMode::off);
  objc::Ref array = objc::makeMutableArray();
  objc::arrayAdd(array.get(), objc::string("fullPower"));
  EXPECT_EQ(contract::powerModeOf(array.get()), PowerMode::off) << "not a dictionary";

  EXPECT_STREQ(contract::powerModeValue(PowerMode::off), "off");
  EXPECT_STREQ(contract::powerModeValue(PowerMode::lowPower), "lowPower");
  EXPECT_STREQ(contract::powerModeValue(PowerMode::fullPower), "fullPower");
}

TEST(EngineBooleans, BooleansNumbersAndTheFourTrueWords) {
  objc::AutoreleasePool pool;
  EXPECT_EQ(contract::engineBoolValue(objc::boolean(true)), true);
  EXPECT_EQ(contract::engineBoolValue(objc::boolean(false)), false);
  EXPECT_EQ(contract::engineBoolValue(objc::number(0)), false);
  EXPECT_EQ(contract::engineBoolValue(objc::number(2)), true);
  EXPECT_EQ(contract::engineBoolValue(objc::number(-1)), true);
  EXPECT_EQ(contract::engineBoolValue(objc::number(256)), true) << "not cut to a byte";
  EXPECT_EQ(contract::engineBoolValue(objc::numberDouble(0.5)), true);
  EXPECT_EQ(contract::engineBoolValue(objc::numberDouble(0.0)), false);

  for (const char* yes : {"1", "true", "yes", "on", "Yes", "TRUE", "oN"}) {
    EXPECT_EQ(contract::engineBoolValue(objc::string(yes)), true) << yes;
  }
  for (const char* no : {"2", "0", "", "no", "off", " yes", "yes ", "y", "enabled", "truex"}) {
    EXPECT_EQ(contract::engineBoolValue(objc::string(no)), false) << '"' << no << '"';
  }
  EXPECT_EQ(contract::engineBoolValue(nullptr), std::nullopt);
  EXPECT_EQ(contract::engineBoolValue(objc::makeMutableArray().get()), std::nullopt);
  EXPECT_EQ(contract::engineBoolValue(objc::makeMutableDictionary().get()), std::nullopt);
}

TEST(EngineBooleans, FallbackOnlyForAbsentOrUnreadableValues) {
  objc::AutoreleasePool pool;
  objc::Ref prefs = objc::makeMutableDictionary();
  objc::dictionarySet(prefs.get(), "word", objc::string("2"));
  objc::dictionarySet(prefs.get(), "yes", objc::string("Yes"));
  objc::dictionarySet(prefs.get(), "list", objc::makeMutableArray().get());
  EXPECT_FALSE(contract::engineBoolPreference(prefs.get(), "word", true))
      << "a string is read, not skipped";
  EXPECT_TRUE(contract::engineBoolPreference(prefs.get(), "yes", false));
  EXPECT_TRUE(contract::engineBoolPreference(prefs.get(), "list", true));
  EXPECT_FALSE(contract::engineBoolPreference(prefs.get(), "list", false));
  EXPECT_TRUE(contract::engineBoolPreference(prefs.get(), "missing", true));
  EXPECT_TRUE(contract::engineBoolPreference(nullptr, "yes", true));
}

class WriteProtocol : public testing::Test {
protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() / ("hv-contract-" + std::to_string(getpid()) + "-" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    path_ = (dir_ / "com.nu-falk.halvernic-prefs.plist").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  void write_raw(const std::string& bytes) { std::ofstream(path_, std::ios::binary) << bytes; }
  std::string read_raw() const {
    std::ifstream in(path_, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  std::set<std::string> keys_on_disk() const {
    objc::AutoreleasePool pool;
    std::set<std::string> keys;
    objc::Ref plist = objc::readPropertyListFile(path_);
    objc::forEachEntry(plist.get(), [&](id key, id) {
      keys.insert(objc::toString(key));
      return true;
    });
    return keys;
  }
  std::size_t files_in_dir() const {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
  }

  fs::path dir_;
  std::string path_;
};

TEST_F(WriteProtocol, KeepsUnrelatedKeysDropsTheSevenAndWritesXml) {
  objc::AutoreleasePool pool;
  objc::Ref old = objc::makeMutableDictionary();
  objc::dictionarySet(old.get(), contract::kPowerModeKey, objc::string("fullPower"));
  objc::dictionarySet(old.get(), contract::kPreventDimmingKey, objc::boolean(true));
  objc::dictionarySet(old.get(), "someoneElsesKey", objc::number(5));
  for (const char* key : contract::kModeResetKeys)
    objc::dictionarySet(old.get(), key, objc::number(1));
  ASSERT_TRUE(objc::writePropertyListXmlAtomically(old.get(), path_));

  EXPECT_TRUE(
      contract::writePreferenceValue(path_, contract::kPowerModeKey, objc::string("lowPower")));

  EXPECT_EQ(read_raw().rfind("<?xml", 0), 0u) << "Apple's XML property-list format";
  EXPECT_EQ(keys_on_disk(),
            (std::set<std::string>{contract::kPowerModeKey, contract::kPreventDimmingKey,
                                   "someoneElsesKey"}));
  objc::Ref now = objc::readPropertyListFile(path_);
  EXPECT_EQ(contract::powerModeOf(now.get()), PowerMode::lowPower);
  EXPECT_TRUE(objc::isBoolean(objc::dictionaryGet(now.get(), contract::kPreventDimmingKey)));
  EXPECT_EQ(objc::int64Value(objc::dictionaryGet(now.get(), "someoneElsesKey")), 5);
  EXPECT_EQ(files_in_dir(), 1u) << "no temporary file left behind";
}

TEST_F(WriteProtocol, AnUnrelatedKeyAlsoDropsTheSevenAndNilRemovesTheKey) {
  objc::AutoreleasePool pool;
  objc::Ref old = objc::makeMutableDictionary();
  objc::dictionarySet(old.get(), "thermalPuppetValue", objc::number(3));
  objc::dictionarySet(old.get(), "thermalDisableMitigationsEnabled", objc::boolean(true));
  objc::dictionarySet(old.get(), contract::kSunlightLockedKey, objc::boolean(true));
  ASSERT_TRUE(objc::writePropertyListXmlAtomically(old.get(), path_));

  contract::writePreferenceValue(path_, "notThermalAtAll", objc::string("x"));
  EXPECT_EQ(keys_on_disk(),
            (std::set<std::string>{contract::kSunlightLockedKey, "notThermalAtAll"}));

  contract::writePreferenceValue(path_, contract::kSunlightLockedKey, nullptr);
  EXPECT_EQ(keys_on_disk(), (std::set<std::string>{"notThermalAtAll"}));
}

TEST_F(WriteProtocol, StartsEmptyWhenTheFileIsMissingCorruptOrNotADictionary) {
  objc::AutoreleasePool pool;
  const std::set<std::string> only_mode{contract::kPowerModeKey};

  contract::writePreferenceValue(path_, contract::kPowerModeKey, objc::string("fullPower"));
  EXPECT_EQ(keys_on_disk(), only_mode) << "missing file is created";

  write_raw("bplist00\x01\x02 this is not a property list");
  contract::writePreferenceValue(path_, contract::kPowerModeKey, objc::string("fullPower"));
  EXPECT_EQ(keys_on_disk(), only_mode) << "corrupt file";

  objc::Ref array = objc::makeMutableArray();
  objc::arrayAdd(array.get(), objc::string("thermalPowerMode"));
  ASSERT_TRUE(objc::writePropertyListXmlAtomically(array.get(), path_));
  EXPECT_TRUE(
      contract::writePreferenceValue(path_, contract::kPowerModeKey, objc::string("fullPower")));
  EXPECT_EQ(keys_on_disk(), only_mode) << "array root";
  objc::Ref now = objc::readPropertyListFile(path_);
  EXPECT_EQ(contract::powerModeOf(now.get()), PowerMode::fullPower);
}

TEST_F(WriteProtocol, AnUnwritablePathReportsFailureAndLeavesNothing) {
  objc::AutoreleasePool pool;
  const std::string nowhere = (dir_ / "no-such-folder" / "prefs.plist").string();
  EXPECT_FALSE(
      contract::writePreferenceValue(nowhere, contract::kPowerModeKey, objc::string("lowPower")));
  EXPECT_FALSE(fs::exists(nowhere));
}

}  // namespace

TEST_F(WriteProtocol, ReadingGivesAMutableDictionaryOrNilForAnythingElse) {
  objc::AutoreleasePool pool;
  EXPECT_FALSE(contract::readPreferences(path_)) << "missing file";
  write_raw("bplist00\x01\x02 this is not a property list");
  EXPECT_FALSE(contract::readPreferences(path_)) << "corrupt file";
  objc::Ref array = objc::makeMutableArray();
  ASSERT_TRUE(objc::writePropertyListXmlAtomically(array.get(), path_));
  EXPECT_FALSE(contract::readPreferences(path_)) << "array root";

  contract::writePreferenceValue(path_, contract::kPowerModeKey, objc::string("lowPower"));
  objc::Ref read = contract::readPreferences(path_);
  ASSERT_TRUE(read);
  EXPECT_EQ(contract::powerModeOf(read.get()), PowerMode::lowPower);
  objc::dictionarySet(read.get(), "added", objc::number(1));  // mutable: would raise otherwise
  EXPECT_EQ(objc::int64Value(objc::dictionaryGet(read.get(), "added")), 1);
}

// ---- the size limit and the reading of changed files only ---------------------------------

namespace {

// An XML property list of exactly `size` bytes holding the mode and padding.
std::string plist_of_size(std::size_t size, const char* mode) {
  const std::string head =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
      "<key>thermalPowerMode</key><string>" +
      std::string(mode) + "</string><key>padding</key><string>";
  const std::string tail = "</string></dict></plist>\n";
  return head + std::string(size - head.size() - tail.size(), 'x') + tail;
}

}  // namespace

TEST_F(WriteProtocol, AFileAboveOneMebibyteIsUnreadableForEveryReaderAndTheWriteStartsEmpty) {
  write_raw(plist_of_size(contract::kMaxPreferencesFileSize, "fullPower"));
  EXPECT_EQ(contract::powerModeOf(contract::readPreferences(path_).get()), PowerMode::fullPower)
      << "exactly at the limit";

  write_raw(plist_of_size(contract::kMaxPreferencesFileSize + 1, "fullPower"));
  EXPECT_FALSE(contract::readPreferences(path_));
  EXPECT_FALSE(contract::readPreferencesPropertyList(path_));
  std::string bytes;
  EXPECT_EQ(os::readFile(path_.c_str(), contract::kMaxPreferencesFileSize, bytes),
            os::ReadStatus::tooLarge);
  EXPECT_TRUE(bytes.empty()) << "nothing of it is read";

  // A front-end's write loads nothing from it and writes a small file.
  objc::AutoreleasePool pool;
  ASSERT_TRUE(contract::writePreferenceValue(path_, "thermalPowerMode", objc::string("lowPower")));
  EXPECT_EQ(keys_on_disk(), (std::set<std::string>{"thermalPowerMode"}));
  EXPECT_LT(fs::file_size(path_), 1024u);
}

class PreferencesFile : public WriteProtocol {
protected:
  static constexpr std::int64_t kWindow = 50'000'000;
  static PowerMode mode_of(const contract::PreferencesFileReader::Reading& reading) {
    return contract::powerModeOf(reading.propertyList.get());
  }
  // Rewrites the file in place (same inode), as a writer that does not rename would.
  void rewrite_in_place(const std::string& bytes) {
    std::ofstream out(path_, std::ios::binary | std::ios::in | std::ios::out);
    out << bytes;
  }
};

TEST_F(PreferencesFile, AnUnchangedFileIsParsedOnceAReplacedOneAgain) {
  contract::PreferencesFileReader reader(path_, kWindow, &os::fileStamp,
                                         []() noexcept { return std::int64_t{1} << 62; });
  EXPECT_TRUE(reader.read().fresh) << "missing: a reading of nothing";
  EXPECT_FALSE(reader.read().fresh) << "still missing";
  EXPECT_EQ(reader.parses(), 0u);

  write_raw(plist_of_size(400, "lowPower"));
  contract::PreferencesFileReader::Reading first = reader.read();
  EXPECT_TRUE(first.fresh);
  EXPECT_EQ(mode_of(first), PowerMode::lowPower);
  for (int i = 0; i < 10; ++i) {
    contract::PreferencesFileReader::Reading again = reader.read();
    EXPECT_FALSE(again.fresh);
    EXPECT_EQ(again.propertyList.get(), first.propertyList.get());
  }
  EXPECT_EQ(reader.parses(), 1u);

  // Written anew by renaming another file into place, as the front-ends write.
  objc::AutoreleasePool pool;
  ASSERT_TRUE(contract::writePreferenceValue(path_, "thermalPowerMode", objc::string("fullPower")));
  contract::PreferencesFileReader::Reading replaced = reader.read();
  EXPECT_TRUE(replaced.fresh);
  EXPECT_EQ(mode_of(replaced), PowerMode::fullPower);
  EXPECT_EQ(reader.parses(), 2u);

  fs::remove(path_);
  EXPECT_TRUE(reader.read().fresh);
  EXPECT_FALSE(reader.read().propertyList);
}

// Two rewrites of the same size in place within one tick of the file system's clock leave
// device, inode, size and both times as they were: the stamp cannot tell them apart. A file
// is therefore parsed again while its times lie within the window of its parsing, or in the
// same second (a file system that keeps whole seconds stamps every write of that second
// alike), and only then trusted.
TEST_F(PreferencesFile, SameSizeRewritesWithinOneTickAreNeverMistakenForNone) {
  struct Case {
    const char* what;
    std::int64_t written;      // the file's times
    std::int64_t first_parse;  // the moment of the first reading
    std::int64_t settled;      // a moment from which an unchanged stamp is trusted
  };
  constexpr std::int64_t s = 1'000'000'000;
  const Case cases[] = {
      // Fine times, read at once: racy for the rest of that second.
      {"fine times", 1000 * s + 300'000'000, 1000 * s + 301'000'000, 1001 * s},
      // Written at the very end of a second, read just after it: the window decides (file
      // times come from a clock that may lag the wall clock by a tick).
      {"across a second", 1000 * s + 990'000'000, 1001 * s + 10'000'000, 1001 * s + 40'000'000},
      // Whole seconds, read 0.9 s into the second the file was written in: the window has
      // long passed, yet a rewrite later in that second keeps the stamp.
      {"whole seconds", 1000 * s, 1000 * s + 900'000'000, 1001 * s},
      // A file stamped in the future (a clock set back) is never trusted until it is past.
      {"future times", 1005 * s, 1000 * s + 500'000'000, 1006 * s},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    static std::int64_t now;
    static os::FileStamp fixed;
    fixed = os::FileStamp{1, 2, 400, c.written, c.written};
    auto stat_fixed = [](const char* path) noexcept -> std::optional<os::FileStamp> {
      return fs::exists(path) ? std::optional<os::FileStamp>(fixed) : std::nullopt;
    };
    now = c.first_parse;
    contract::PreferencesFileReader reader(path_, kWindow, stat_fixed,
                                           []() noexcept { return now; });

    write_raw(plist_of_size(400, "lowPower"));
    EXPECT_EQ(mode_of(reader.read()), PowerMode::lowPower);
    rewrite_in_place(plist_of_size(400, "notAMode"));
    EXPECT_EQ(mode_of(reader.read()), PowerMode::off) << "the second write was missed";
    rewrite_in_place(plist_of_size(400, "fullPower"));
    now = c.settled;  // parsed once more, once no write can keep the stamp any longer
    EXPECT_EQ(mode_of(reader.read()), PowerMode::fullPower);
    EXPECT_EQ(reader.parses(), 3u);
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(reader.read().fresh);
    EXPECT_EQ(reader.parses(), 3u) << "an unchanged stamp is an unchanged file";
  }
}

// A file renamed into place keeps nothing of the old one's identity but what a writer may
// copy: with the same size and the same whole-second times, its inode tells it apart.
TEST_F(PreferencesFile, AFileRenamedIntoPlaceIsSeenByItsInodeAlone) {
  static std::int64_t now = 0;
  auto stat_whole_seconds = [](const char* path) noexcept -> std::optional<os::FileStamp> {
    std::optional<os::FileStamp> stamp = os::fileStamp(path);
    if (stamp) stamp->modified_ns = stamp->changed_ns = 1000'000'000'000;
    return stamp;
  };
  now = 1002'000'000'000;  // seconds after the stamped times: never racy
  contract::PreferencesFileReader reader(path_, kWindow, stat_whole_seconds,
                                         []() noexcept { return now; });
  write_raw(plist_of_size(400, "lowPower"));
  EXPECT_EQ(mode_of(reader.read()), PowerMode::lowPower);
  EXPECT_FALSE(reader.read().fresh);
  const std::string other = path_ + ".new";
  std::ofstream(other, std::ios::binary) << plist_of_size(400, "fullPower");
  fs::rename(other, path_);
  EXPECT_EQ(mode_of(reader.read()), PowerMode::fullPower);
  EXPECT_EQ(reader.parses(), 2u);
}

// The same on the real file system and clocks: an in-place rewrite right after a reading.
TEST_F(PreferencesFile, AnInPlaceRewriteRightAfterAReadingIsSeen) {
  contract::PreferencesFileReader reader(path_, kWindow);
  write_raw(plist_of_size(400, "lowPower"));
  EXPECT_EQ(mode_of(reader.read()), PowerMode::lowPower);
  rewrite_in_place(plist_of_size(400, "fullPower"));
  EXPECT_EQ(mode_of(reader.read()), PowerMode::fullPower);
}
