// HFileManager::readPropertyList: a string-keyed dictionary or an empty one, whatever the
// file holds, and never a mixture of two versions of a file replaced while it is read.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "common/objc/foundation.hpp"
#include "common/objc/thread.hpp"
#include "extension/config/file_manager.hpp"

namespace {

namespace fs = std::filesystem;

constinit objc::ClassName kNSPropertyListSerialization{"NSPropertyListSerialization"};
constinit objc::ClassName kNSMutableDictionary{"NSMutableDictionary"};
constinit objc::Selector kDataWithPropertyList{"dataWithPropertyList:format:options:error:"};
constinit objc::Selector kWriteToFileAtomically{"writeToFile:atomically:"};
constexpr long kBinaryFormat = 200;  // NSPropertyListBinaryFormat_v1_0

class FileManagerTest : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/hv-file-manager-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string path(const char* name) const { return (dir_ / name).string(); }

  void write_bytes(const std::string& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
  }

  void write_binary(id plist, const std::string& file) {
    objc::AutoreleasePool pool;
    id error = nullptr;
    id data = objc::send<id>(kNSPropertyListSerialization.get(), kDataWithPropertyList, plist,
                             kBinaryFormat, 0UL, &error);
    ASSERT_NE(data, nullptr);
    ASSERT_TRUE(
        objc::sendBool(data, kWriteToFileAtomically, objc::string(file), objc::toBool(true)));
  }

  static void expect_empty_dictionary(const objc::Ref& result) {
    ASSERT_TRUE(result);
    EXPECT_TRUE(objc::isDictionary(result.get()));
    EXPECT_EQ(objc::count(result.get()), 0u);
  }

  objc::AutoreleasePool pool_;
  fs::path dir_;
};

objc::Ref sample(const char* version, int entries) {
  objc::Ref dictionary = objc::makeMutableDictionary();
  objc::dictionarySet(dictionary.get(), "version", objc::string(version));
  objc::dictionarySet(dictionary.get(), "thermalPreventDimmingEnabled", objc::boolean(true));
  objc::Ref list = objc::makeMutableArray();
  for (int i = 0; i < entries; ++i) objc::arrayAdd(list.get(), objc::number(i));
  objc::dictionarySet(dictionary.get(), "list", list.get());
  objc::Ref nested = objc::makeMutableDictionary();
  objc::dictionarySet(nested.get(), "level", objc::number(-7));
  objc::dictionarySet(dictionary.get(), "nested", nested.get());
  return dictionary;
}

// A binary property list whose one dictionary has the integer key 7 (and, when both is
// set, also the string key "s"): the binary format allows any key, a string-keyed
// dictionary is what the reader answers.
std::string binary_with_integer_key(bool both) {
  std::string b = "bplist00";
  // objects: 0 dict, 1 int 7, 2 string "x", [3 string "s"]
  if (both) {
    b += "\xD2\x01\x03\x02\x02";  // dict of 2: keys 1, 3; values 2, 2
  } else {
    b += "\xD1\x01\x02";  // dict of 1: key 1, value 2
  }
  std::vector<unsigned char> offsets{8};
  offsets.push_back(static_cast<unsigned char>(b.size()));
  b += std::string("\x10\x07", 2);
  offsets.push_back(static_cast<unsigned char>(b.size()));
  b += "\x51x";
  if (both) {
    offsets.push_back(static_cast<unsigned char>(b.size()));
    b += "\x51s";
  }
  const auto table = static_cast<unsigned char>(b.size());
  for (unsigned char o : offsets) b += static_cast<char>(o);
  std::string trailer(32, '\0');
  trailer[6] = 1;                                   // offset size
  trailer[7] = 1;                                   // object reference size
  trailer[15] = static_cast<char>(offsets.size());  // object count
  trailer[23] = 0;                                  // top object
  trailer[31] = static_cast<char>(table);           // offset table position
  return b + trailer;
}

TEST_F(FileManagerTest, EveryFailureReadsAsAnEmptyDictionary) {
  expect_empty_dictionary(HFileManager::readPropertyList(path("missing.plist")));
  expect_empty_dictionary(HFileManager::readPropertyList(""));
  expect_empty_dictionary(HFileManager::readPropertyList(dir_.string()));  // a folder

  write_bytes(path("empty.plist"), "");
  expect_empty_dictionary(HFileManager::readPropertyList(path("empty.plist")));

  objc::Ref array = objc::makeMutableArray();
  objc::arrayAdd(array.get(), objc::string("thermalPowerMode"));
  ASSERT_TRUE(objc::writePropertyListXmlAtomically(array.get(), path("array.plist")));
  expect_empty_dictionary(HFileManager::readPropertyList(path("array.plist")));

  write_bytes(path("text.plist"), "not a property list at all {");
  expect_empty_dictionary(HFileManager::readPropertyList(path("text.plist")));
  write_bytes(path("corrupt.plist"),
              std::string("bplist00\xD5\x01\x02\xFF\xFF", 13) + std::string(32, '\xFF'));
  expect_empty_dictionary(HFileManager::readPropertyList(path("corrupt.plist")));
  write_bytes(path("cut.plist"),
              "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key>");
  expect_empty_dictionary(HFileManager::readPropertyList(path("cut.plist")));
}

// The preferences file's size limit: a valid dictionary one byte above 1 MiB is unreadable.
TEST_F(FileManagerTest, AFileAboveOneMebibyteReadsAsAnEmptyDictionary) {
  const std::string head =
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>thermalPowerMode</key>"
      "<string>fullPower</string><key>padding</key><string>";
  const std::string tail = "</string></dict></plist>";
  const std::size_t limit = 1024 * 1024;
  write_bytes(path("limit.plist"),
              head + std::string(limit - head.size() - tail.size(), 'x') + tail);
  EXPECT_EQ(objc::count(HFileManager::readPropertyList(path("limit.plist")).get()), 2u);
  write_bytes(path("large.plist"),
              head + std::string(limit + 1 - head.size() - tail.size(), 'x') + tail);
  expect_empty_dictionary(HFileManager::readPropertyList(path("large.plist")));
}

TEST_F(FileManagerTest, NonStringKeysGiveAnEmptyDictionary) {
  // Which layer refuses an integer key differs by platform: Linux's parser (with the
  // Foundation fix-ups) refuses the file itself, a parser that accepts it leaves the
  // refusal to the reader. Either way the reader answers an empty dictionary.
  write_bytes(path("integer.plist"), binary_with_integer_key(false));
  objc::Ref raw = objc::readPropertyListFile(path("integer.plist"));
  if (raw) EXPECT_FALSE(objc::allKeysAreStrings(raw.get()));
  expect_empty_dictionary(HFileManager::readPropertyList(path("integer.plist")));

  write_bytes(path("mixed.plist"), binary_with_integer_key(true));
  raw = objc::readPropertyListFile(path("mixed.plist"));
  if (raw) EXPECT_FALSE(objc::allKeysAreStrings(raw.get()));
  expect_empty_dictionary(HFileManager::readPropertyList(path("mixed.plist")));

  // The reader's own test, on a dictionary such a parser would give.
  objc::AutoreleasePool pool;
  objc::Ref mixed = objc::makeMutableDictionary();
  objc::dictionarySet(mixed.get(), "thermalPowerMode", objc::string("fullPower"));
  objc::send(mixed.get(), objc::sel("setObject:forKey:"), objc::string("x"), objc::number(7));
  ASSERT_EQ(objc::count(mixed.get()), 2u);
  EXPECT_FALSE(objc::allKeysAreStrings(mixed.get()));
}

TEST_F(FileManagerTest, XMLAndBinaryGiveEqualMutableDictionaries) {
  objc::Ref original = sample("one", 5);
  ASSERT_TRUE(objc::writePropertyListXmlAtomically(original.get(), path("xml.plist")));
  write_binary(original.get(), path("binary.plist"));

  objc::Ref xml = HFileManager::readPropertyList(path("xml.plist"));
  objc::Ref binary = HFileManager::readPropertyList(path("binary.plist"));
  EXPECT_TRUE(objc::objectsEqual(xml.get(), original.get()));
  EXPECT_TRUE(objc::objectsEqual(binary.get(), original.get()));
  EXPECT_TRUE(objc::isBoolean(objc::dictionaryGet(binary.get(), "thermalPreventDimmingEnabled")));
  EXPECT_TRUE(objc::isKindOf(xml.get(), kNSMutableDictionary.get())) << "mutable containers";
  EXPECT_TRUE(
      objc::isKindOf(objc::dictionaryGet(binary.get(), "nested"), kNSMutableDictionary.get()));
  EXPECT_NE(xml.get(), binary.get());
}

TEST_F(FileManagerTest, AFileReplacedAtomicallyReadsAsOldOrNewNeverAMixture) {
  const std::string file = path("prefs.plist");
  objc::Ref old_version = sample("old", 40);
  objc::Ref new_version = sample("new", 3000);
  ASSERT_TRUE(objc::writePropertyListXmlAtomically(old_version.get(), file));

  std::atomic<bool> done{false};
  std::atomic<int> writes{0};
  std::thread writer([&] {
    objc::runAttached([&] {
      for (int i = 0; !done.load(); ++i) {
        objc::AutoreleasePool pool;
        objc::writePropertyListXmlAtomically(i % 2 ? old_version.get() : new_version.get(), file);
        writes.fetch_add(1);
      }
    });
  });

  int olds = 0, news = 0;
  for (int i = 0; i < 300; ++i) {
    objc::AutoreleasePool pool;
    objc::Ref read = HFileManager::readPropertyList(file);
    if (objc::objectsEqual(read.get(), old_version.get())) {
      ++olds;
    } else if (objc::objectsEqual(read.get(), new_version.get())) {
      ++news;
    } else {
      ADD_FAILURE() << "read " << i << " is neither version (" << objc::count(read.get())
                    << " keys)";
      break;
    }
  }
  done = true;
  writer.join();
  EXPECT_GT(writes.load(), 1);
  EXPECT_EQ(olds + news, 300);
}

}  // namespace
