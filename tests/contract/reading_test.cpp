// How every reader reads the preferences file (contract::readPreferencesFile): what is
// taken, what is unreadable, and that nothing planted at the path can stall, crash or
// bloat a reader; after each, a front-end's write puts a good file in its place.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "common/objc/foundation.hpp"
#include "common/plist/scan.hpp"
#include "extension/contract/contract.hpp"

namespace {

namespace fs = std::filesystem;
namespace contract = halvernic::contract;
using contract::PreferencesFileStatus;
using Clock = std::chrono::steady_clock;

class Reading : public testing::Test {
protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() / ("hv-reading-" + std::to_string(getpid()) + "-" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    path_ = (dir_ / "com.nu-falk.halvernic-prefs.plist").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  void write_raw(const std::string& bytes) const {
    std::ofstream(path_, std::ios::binary) << bytes;
  }
  void write_list(id plist, long format) const {
    id error = nullptr;
    id data = objc::send<id>(objc::cls("NSPropertyListSerialization"),
                             objc::sel("dataWithPropertyList:format:options:error:"), plist, format,
                             0UL, &error);
    ASSERT_NE(data, nullptr);
    write_raw({static_cast<const char*>(objc::send<const void*>(data, objc::sel("bytes"))),
               objc::send<unsigned long>(data, objc::sel("length"))});
  }

  fs::path dir_;
  std::string path_;
};

std::string nested_xml_arrays(std::size_t levels) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>a</key>";
  for (std::size_t i = 1; i < levels; ++i) xml += "<array>";
  for (std::size_t i = 1; i < levels; ++i) xml += "</array>";
  return xml + "</dict></plist>\n";
}

TEST_F(Reading, XmlAndBinaryListsAreReadAndTellTheirRoot) {
  objc::AutoreleasePool pool;
  EXPECT_EQ(contract::readPreferencesFile(path_).status, PreferencesFileStatus::missing);
  EXPECT_FALSE(contract::readPreferencesFile(path_).propertyList);

  objc::Ref prefs = objc::makeMutableDictionary();
  objc::dictionarySet(prefs.get(), contract::kPowerModeKey, objc::string("lowPower"));
  for (long format : {100L, 200L}) {
    write_list(prefs.get(), format);
    const contract::PreferencesFileContents read = contract::readPreferencesFile(path_);
    EXPECT_EQ(read.status, PreferencesFileStatus::read) << format;
    EXPECT_EQ(contract::powerModeOf(read.propertyList.get()), contract::PowerMode::lowPower)
        << format;
  }
  // A list of another root is read; it is no preferences dictionary.
  objc::Ref array = objc::makeMutableArray();
  write_list(array.get(), 100);
  EXPECT_EQ(contract::readPreferencesFile(path_).status, PreferencesFileStatus::read);
  EXPECT_FALSE(contract::readPreferences(path_));
  // Nested as deep as the scan allows, and one level deeper (the root dictionary is 1).
  write_raw(nested_xml_arrays(plist::kMaxContainerDepth));
  EXPECT_EQ(contract::readPreferencesFile(path_).status, PreferencesFileStatus::read);
  write_raw(nested_xml_arrays(plist::kMaxContainerDepth + 1));
  EXPECT_EQ(contract::readPreferencesFile(path_).status, PreferencesFileStatus::unreadable);
}

// Everything that is no XML or binary list within the limits, or no regular file reached
// without a final link: unreadable, read at once (never waiting for a writer), and a
// front-end's write replaces it with a good file.
TEST_F(Reading, WhatIsPlantedAtThePathIsUnreadableAtOnceAndAWriteReplacesIt) {
  const std::string target = (dir_ / "elsewhere.plist").string();
  struct Case {
    const char* what;
    std::function<void()> plant;
  };
  const Case cases[] = {
      {"an empty file", [&] { write_raw(""); }},
      {"old-style text", [&] { write_raw("{ thermalPowerMode = fullPower; }"); }},
      {"a megabyte of nested braces", [&] { write_raw(std::string(1000000, '{')); }},
      {"deeply nested XML", [&] { write_raw(nested_xml_arrays(100000)); }},
      {"a damaged binary list", [&] { write_raw("bplist00\x01\xff garbage"); }},
      {"a file above 1 MiB",
       [&] {
         write_raw("<plist><string>" + std::string(contract::kMaxPreferencesFileSize, 'x') +
                   "</string></plist>");
       }},
      {"a FIFO", [&] { ASSERT_EQ(mkfifo(path_.c_str(), 0644), 0); }},
      {"a folder", [&] { fs::create_directory(path_); }},
      {"a link to a good file",
       [&] {
         objc::Ref prefs = objc::makeMutableDictionary();
         objc::dictionarySet(prefs.get(), contract::kPowerModeKey, objc::string("fullPower"));
         ASSERT_TRUE(objc::writePropertyListXmlAtomically(prefs.get(), target));
         fs::create_symlink(target, path_);
       }},
      {"a link to nothing", [&] { fs::create_symlink(dir_ / "nothing", path_); }},
  };
  for (const Case& c : cases) {
    objc::AutoreleasePool pool;
    fs::remove_all(path_);
    c.plant();
    const auto start = Clock::now();
    const contract::PreferencesFileContents read = contract::readPreferencesFile(path_);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2)) << c.what;
    EXPECT_EQ(read.status, PreferencesFileStatus::unreadable) << c.what;
    EXPECT_FALSE(read.propertyList) << c.what;
    EXPECT_FALSE(contract::readPreferences(path_)) << c.what;
    EXPECT_EQ(contract::powerModeOf(contract::readPreferences(path_).get()),
              contract::PowerMode::off)
        << c.what;

    if (fs::is_directory(fs::symlink_status(path_))) continue;  // no file can be written there
    EXPECT_TRUE(
        contract::writePreferenceValue(path_, contract::kPowerModeKey, objc::string("lowPower")))
        << c.what;
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path_))) << c.what;
    EXPECT_EQ(contract::powerModeOf(contract::readPreferences(path_).get()),
              contract::PowerMode::lowPower)
        << c.what;
  }
  // The write replaced the link, never the file it named.
  objc::AutoreleasePool pool;
  EXPECT_EQ(contract::powerModeOf(contract::readPreferences(target).get()),
            contract::PowerMode::fullPower);
}

TEST_F(Reading, AFifoWithAWriterStillReadsAsUnreadableWithoutReadingIt) {
  ASSERT_EQ(mkfifo(path_.c_str(), 0644), 0);
  // A writer keeps the FIFO open with a valid list queued: still no regular file.
  const int reader_end = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader_end, 0);
  const int writer = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK);
  ASSERT_GE(writer, 0);
  const std::string xml = "<plist><dict/></plist>";
  ASSERT_EQ(::write(writer, xml.data(), xml.size()), static_cast<ssize_t>(xml.size()));
  objc::AutoreleasePool pool;
  EXPECT_EQ(contract::readPreferencesFile(path_).status, PreferencesFileStatus::unreadable);
  char queued[64];
  EXPECT_EQ(::read(reader_end, queued, sizeof queued), static_cast<ssize_t>(xml.size()))
      << "nothing was taken";
  ::close(writer);
  ::close(reader_end);
}

// The readers that keep a file until it changes (the engine's, the replacement layer's):
// a FIFO is read once, as unreadable, and never blocks them.
TEST_F(Reading, TheChangedFileReaderTakesAFifoAsUnreadable) {
  ASSERT_EQ(mkfifo(path_.c_str(), 0644), 0);
  contract::PreferencesFileReader reader(path_, 0);
  objc::AutoreleasePool pool;
  const auto start = Clock::now();
  const contract::PreferencesFileReader::Reading first = reader.read();
  EXPECT_TRUE(first.fresh);
  EXPECT_FALSE(first.propertyList);
  EXPECT_FALSE(reader.read().propertyList);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
}

}  // namespace
