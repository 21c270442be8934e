// The front-ends' write of the preferences file: nothing unreadable is destroyed, missing
// folders are made, the file is written by descriptor (owner and mode on the descriptor, a
// planted link redirects nothing), every value it does not change reads back equal, and a
// failed write is silent.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>

#include "common/objc/foundation.hpp"
#include "common/os/write.hpp"
#include "extension/contract/contract.hpp"
#include "tests/support/log_capture.hpp"

namespace {

namespace fs = std::filesystem;
namespace contract = halvernic::contract;

std::string read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_bytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

struct stat stat_of(const std::string& path) {
  struct stat info{};
  EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
  return info;
}

// Sets the process's umask for one scope: a mode that survives 077 was set on purpose.
class Umask {
public:
  explicit Umask(mode_t mask) : old_(umask(mask)) {}
  ~Umask() { umask(old_); }

private:
  mode_t old_;
};

class PreferencesWrite : public testing::Test {
protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() / ("hv-write-" + std::to_string(getpid()) + "-" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    path_ = (dir_ / "com.nu-falk.halvernic-prefs.plist").string();
    aside_ = path_ + contract::kUnreadableSuffix;
  }
  void TearDown() override { fs::remove_all(dir_); }

  bool write_mode(const char* mode, const contract::WriteOptions& options = {}) {
    if (options.foldersBelow.empty()) {
      contract::WriteOptions below = options;
      below.foldersBelow = dir_.string();
      return contract::writePreferenceValue(path_, contract::kPowerModeKey, objc::string(mode),
                                            below);
    }
    return contract::writePreferenceValue(path_, contract::kPowerModeKey, objc::string(mode),
                                          options);
  }
  std::size_t keys_in(const std::string& path) {
    objc::Ref plist = contract::readPreferences(path);
    return plist ? objc::count(plist.get()) : 0;
  }
  std::size_t files_in_dir() const {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
  }

  fs::path dir_;
  std::string path_;
  std::string aside_;
};

// An XML property list of at least `size` bytes holding one other key.
std::string large_plist(std::size_t size) {
  const std::string head =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
      "<key>thermalPreventDimmingEnabled</key><true/><key>padding</key><string>";
  return head + std::string(size, 'x') + "</string></dict></plist>\n";
}

TEST_F(PreferencesWrite, AFileThatCouldNotBeReadIsKeptAsideNeverOverwritten) {
  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case cases[] = {
      {"above the size limit", large_plist(contract::kMaxPreferencesFileSize)},
      {"corrupt binary", "bplist00\x01\x02 not a property list"},
      {"corrupt XML", "<?xml version=\"1.0\"?><plist><dict><key>a</key>"},
      {"not a dictionary", "<?xml version=\"1.0\"?><plist version=\"1.0\"><array/></plist>"},
      {"empty", ""},
  };
  objc::AutoreleasePool pool;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    write_bytes(path_, c.bytes);
    ASSERT_TRUE(write_mode("lowPower"));
    EXPECT_EQ(read_bytes(aside_), c.bytes) << "kept whole, replacing an older one";
    EXPECT_EQ(keys_in(path_), 1u);
    EXPECT_EQ(contract::powerModeOf(contract::readPreferences(path_).get()),
              contract::PowerMode::lowPower);
    EXPECT_EQ(files_in_dir(), 2u) << "no temporary file left behind";
  }

  // A file that reads is rewritten in place of itself; what was set aside stays as it was.
  ASSERT_TRUE(write_mode("fullPower"));
  EXPECT_EQ(read_bytes(aside_), cases[std::size(cases) - 1].bytes);
  EXPECT_EQ(files_in_dir(), 2u);
}

TEST_F(PreferencesWrite, AReadableFileIsNeverSetAsideAndAFolderInItsPlaceIsLeftAlone) {
  objc::AutoreleasePool pool;
  ASSERT_TRUE(write_mode("off"));
  ASSERT_TRUE(write_mode("lowPower"));
  EXPECT_FALSE(fs::exists(aside_));

  fs::remove(path_);
  fs::create_directories(path_ + "/inside");
  EXPECT_FALSE(write_mode("lowPower"));
  EXPECT_TRUE(fs::is_directory(path_ + "/inside"));
  EXPECT_FALSE(fs::exists(aside_));
  EXPECT_EQ(files_in_dir(), 1u) << "no temporary file left behind";
}

TEST_F(PreferencesWrite, MissingFoldersBelowTheRootAreMadeAndNoneElsewhere) {
  Umask mask(077);
  objc::AutoreleasePool pool;
  const fs::path root = dir_ / "var" / "jb";
  fs::create_directories(root);
  const std::string deep = (root / "var/mobile/Library/Preferences/prefs.plist").string();
  contract::WriteOptions options;
  options.foldersBelow = root.string();

  ASSERT_TRUE(contract::writePreferenceValue(deep, contract::kPowerModeKey,
                                             objc::string("lowPower"), options));
  EXPECT_EQ(contract::powerModeOf(contract::readPreferences(deep).get()),
            contract::PowerMode::lowPower);
  for (const char* folder :
       {"var", "var/mobile", "var/mobile/Library", "var/mobile/Library/Preferences"}) {
    const struct stat info = stat_of((root / folder).string());
    EXPECT_TRUE(S_ISDIR(info.st_mode)) << folder;
    EXPECT_EQ(info.st_mode & 07777, 0755u) << folder;
    EXPECT_EQ(info.st_uid, geteuid()) << folder;
  }
  EXPECT_EQ(stat_of(deep).st_mode & 0777, 0600u) << "a new file: 0666 less the umask";

  // Outside the root, or with the root itself missing, nothing is made and the write fails.
  const std::string outside = (dir_ / "elsewhere/prefs.plist").string();
  EXPECT_FALSE(contract::writePreferenceValue(outside, contract::kPowerModeKey,
                                              objc::string("lowPower"), options));
  EXPECT_FALSE(fs::exists(dir_ / "elsewhere"));
  contract::WriteOptions missing_root;
  missing_root.foldersBelow = (dir_ / "no-root").string();
  EXPECT_FALSE(contract::writePreferenceValue((dir_ / "no-root/a/prefs.plist").string(),
                                              contract::kPowerModeKey, objc::string("lowPower"),
                                              missing_root));
  EXPECT_FALSE(fs::exists(dir_ / "no-root"));

  // A file where a folder belongs: the write fails and the file stays.
  write_bytes((root / "blocked").string(), "x");
  EXPECT_FALSE(contract::writePreferenceValue((root / "blocked/prefs.plist").string(),
                                              contract::kPowerModeKey, objc::string("lowPower"),
                                              options));
  EXPECT_EQ(read_bytes((root / "blocked").string()), "x");
}

// A tool running as root leaves the file and the folders it makes as the user's own
// programs would; without the option, a rewrite keeps the owner and mode of the file.
TEST_F(PreferencesWrite, OwnerAndModeAreSetOnTheNewFile) {
  if (geteuid() != 0) GTEST_SKIP() << "giving files away needs root";
  Umask mask(077);
  objc::AutoreleasePool pool;
  const fs::path root = dir_ / "jb";
  fs::create_directories(root);
  const std::string deep = (root / "var/mobile/Library/Preferences/prefs.plist").string();
  contract::WriteOptions mobile;
  mobile.foldersBelow = root.string();
  mobile.ownership = {501, 501, 0644};
  ASSERT_TRUE(contract::writePreferenceValue(deep, contract::kPowerModeKey,
                                             objc::string("fullPower"), mobile));
  struct stat info = stat_of(deep);
  EXPECT_EQ(info.st_uid, 501u);
  EXPECT_EQ(info.st_gid, 501u);
  EXPECT_EQ(info.st_mode & 07777, 0644u);
  for (const char* folder : {"var", "var/mobile/Library/Preferences"}) {
    info = stat_of((root / folder).string());
    EXPECT_EQ(info.st_uid, 501u) << folder;
    EXPECT_EQ(info.st_mode & 07777, 0755u) << folder;
  }

  contract::WriteOptions plain;
  plain.foldersBelow = root.string();
  ASSERT_EQ(chmod(deep.c_str(), 0640), 0);
  ASSERT_TRUE(contract::writePreferenceValue(deep, contract::kPreventDimmingKey,
                                             objc::boolean(true), plain));
  info = stat_of(deep);
  EXPECT_EQ(info.st_uid, 501u) << "the owner of the file it replaces";
  EXPECT_EQ(info.st_mode & 07777, 0640u) << "the mode of the file it replaces";
}

// A link planted where the file belongs is replaced, never followed: what it points to is
// neither written nor given away.
TEST_F(PreferencesWrite, ALinkAtThePathIsReplacedAndItsTargetUntouched) {
  objc::AutoreleasePool pool;
  const std::string target = (dir_ / "target").string();
  write_bytes(target, "not the preferences");
  ASSERT_EQ(chmod(target.c_str(), 0600), 0);
  fs::create_symlink(target, path_);
  contract::WriteOptions options;
  options.ownership = {501, 501, 0644};
  if (geteuid() != 0) options.ownership = {};

  ASSERT_TRUE(write_mode("lowPower", options));
  EXPECT_FALSE(fs::is_symlink(path_));
  EXPECT_EQ(contract::powerModeOf(contract::readPreferences(path_).get()),
            contract::PowerMode::lowPower);
  EXPECT_EQ(read_bytes(target), "not the preferences");
  const struct stat info = stat_of(target);
  EXPECT_EQ(info.st_uid, geteuid());
  EXPECT_EQ(info.st_mode & 07777, 0600u);
}

TEST_F(PreferencesWrite, EveryValueItDoesNotChangeReadsBackEqual) {
  objc::AutoreleasePool pool;
  const double reals[] = {-2.0679515313825692e-24,
                          0.1,
                          1.0 / 3.0,
                          DBL_MIN,
                          DBL_MAX,
                          std::numeric_limits<double>::denorm_min(),
                          -0.0,
                          1e300,
                          -123456789.125};
  objc::Ref old = objc::makeMutableDictionary();
  objc::Ref list = objc::makeMutableArray();
  for (double real : reals) objc::arrayAdd(list.get(), objc::numberDouble(real));
  objc::dictionarySet(old.get(), "reals", list.get());
  objc::dictionarySet(old.get(), "infinity", objc::numberDouble(-INFINITY));
  objc::dictionarySet(old.get(), "smallest",
                      objc::number(std::numeric_limits<std::int64_t>::min()));
  objc::dictionarySet(old.get(), "largest", objc::number(std::numeric_limits<std::int64_t>::max()));
  objc::dictionarySet(old.get(), "markup", objc::string("a < b && c > d ]]> \"é\" 温控"));
  objc::dictionarySet(old.get(), "bytes", objc::makeData(std::string(200, '\xA5')).get());
  ASSERT_TRUE(objc::writePropertyListXmlAtomically(old.get(), path_));
  objc::Ref before = contract::readPreferences(path_);
  ASSERT_TRUE(before);

  ASSERT_TRUE(write_mode("fullPower"));
  objc::Ref after = contract::readPreferences(path_);
  ASSERT_TRUE(after);
  objc::forEachEntry(before.get(), [&](id key, id value) {
    EXPECT_TRUE(objc::objectsEqual(objc::dictionaryGet(after.get(), key), value))
        << objc::toString(key);
    return true;
  });
  id reals_after = objc::dictionaryGet(after.get(), "reals");
  ASSERT_EQ(objc::count(reals_after), std::size(reals));
  for (std::size_t i = 0; i < std::size(reals); ++i) {
    const double got = objc::doubleValue(objc::arrayGet(reals_after, i));
    EXPECT_EQ(got, reals[i]) << i;
    EXPECT_EQ(std::signbit(got), std::signbit(reals[i])) << i;
  }
}

// The file the fuzzer found: another tweak's binary list whose real changed on a rewrite.
TEST_F(PreferencesWrite, TheFuzzedBinaryListKeepsItsRealNumber) {
  objc::AutoreleasePool pool;
  write_bytes(path_, read_bytes(HV_FINDINGS_DIR "/frontend-real-not-kept.bplist"));
  objc::Ref before = contract::readPreferences(path_);
  ASSERT_TRUE(before);
  ASSERT_TRUE(write_mode("lowPower"));
  objc::Ref after = contract::readPreferences(path_);
  id kept = objc::dictionaryGet(after.get(), "otherTweakKey");
  EXPECT_TRUE(objc::objectsEqual(kept, objc::dictionaryGet(before.get(), "otherTweakKey")));
  const double real = objc::doubleValue(objc::arrayGet(objc::dictionaryGet(kept, "nested"), 1));
  EXPECT_EQ(real, -2.0679515313825692e-24);
}

// A write that fails says nothing: the front-ends log nothing, and the platform's layer
// below them must not either.
TEST_F(PreferencesWrite, AFailedWriteLogsNothing) {
  objc::AutoreleasePool pool;
  hv_test::LogCapture log;
  fs::create_directories(path_);  // a folder where the file belongs
  EXPECT_FALSE(write_mode("lowPower"));
  EXPECT_FALSE(objc::writePropertyListXmlAtomically(objc::makeMutableDictionary().get(),
                                                    (dir_ / "none/x.plist").string()));
  EXPECT_FALSE(os::writeFileAtomically((dir_ / "none/x.plist").string(), "x"));
  EXPECT_TRUE(log.lines().empty()) << log.lines().front();
}

}  // namespace
