// Foundation helpers: strings, numbers against Booleans, collections, property-list files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "common/objc/foundation.hpp"
#include "common/objc/thread.hpp"
#include "tests/support/log_capture.hpp"

namespace {

namespace fs = std::filesystem;

fs::path temp_dir() {
  fs::path dir = fs::temp_directory_path() / ("hv-objc-" + std::to_string(getpid()));
  fs::create_directories(dir);
  return dir;
}

TEST(Strings, Utf8RoundTripAndExactComparison) {
  objc::AutoreleasePool pool;
  const std::string text = "caf\xC3\xA9 thermal \xE2\x9C\x93";
  id s = objc::string(text);
  EXPECT_TRUE(objc::isString(s));
  EXPECT_EQ(objc::toString(s), text);
  EXPECT_TRUE(objc::stringEquals(s, text));
  EXPECT_FALSE(objc::stringEquals(objc::string("fullPower"), "FullPower"));
  EXPECT_FALSE(objc::stringEquals(objc::number(1), "1"));
  EXPECT_EQ(objc::toString(nullptr), "");
  EXPECT_EQ(objc::toString(objc::number(3)), "") << "a number is not a string";
}

TEST(Numbers, BooleansAreToldApartFromZeroAndOne) {
  objc::AutoreleasePool pool;
  EXPECT_TRUE(objc::isBoolean(objc::boolean(true)));
  EXPECT_TRUE(objc::isBoolean(objc::boolean(false)));
  EXPECT_FALSE(objc::isBoolean(objc::number(1)));
  EXPECT_FALSE(objc::isBoolean(objc::number(0)));
  EXPECT_TRUE(objc::isNumber(objc::boolean(true)));
  EXPECT_EQ(objc::int64Value(objc::number(-5000000000LL)), -5000000000LL);
  EXPECT_TRUE(objc::platformBoolValue(objc::number(2)));
  EXPECT_FALSE(objc::platformBoolValue(objc::makeMutableDictionary().get()));
  EXPECT_FALSE(objc::platformBoolValue(nullptr));
}

TEST(Collections, QuestionsAskedOfTheWrongKindAnswerEmptyInsteadOfRaising) {
  objc::AutoreleasePool pool;
  objc::Ref dict = objc::makeMutableDictionary();
  objc::dictionarySet(dict.get(), "k", objc::number(1));
  EXPECT_EQ(objc::count(dict.get()), 1u);
  EXPECT_EQ(objc::arrayGet(dict.get(), 0), nullptr) << "a dictionary has no index";
  EXPECT_EQ(objc::count(objc::string("text")), 0u);
  EXPECT_EQ(objc::count(objc::number(3)), 0u);
  EXPECT_EQ(objc::arrayGet(objc::string("text"), 0), nullptr);
  EXPECT_EQ(objc::dictionaryGet(objc::string("text"), "k"), nullptr);
  objc::Ref array = objc::makeMutableArray();
  objc::arrayAdd(array.get(), objc::number(7));
  EXPECT_EQ(objc::int64Value(objc::arrayGet(array.get(), 0)), 7);
  EXPECT_EQ(objc::arrayGet(array.get(), 1), nullptr);
}

TEST(PropertyLists, BinaryAndXmlOfTheSameContentReadEqualWithBooleansKept) {
  objc::AutoreleasePool pool;
  objc::Ref dict = objc::makeMutableDictionary();
  objc::dictionarySet(dict.get(), "thermalPowerMode", objc::string("fullPower"));
  objc::dictionarySet(dict.get(), "thermalPreventDimmingEnabled", objc::boolean(true));
  objc::dictionarySet(dict.get(), "one", objc::number(1));
  objc::Ref nested = objc::makeMutableArray();
  objc::arrayAdd(nested.get(), objc::number(50000));
  objc::dictionarySet(dict.get(), "list", nested.get());

  const fs::path xml = temp_dir() / "same.xml.plist";
  const fs::path binary = temp_dir() / "same.bin.plist";
  ASSERT_TRUE(objc::writePropertyListXmlAtomically(dict.get(), xml.string()));
  {
    id data = objc::send<id>(objc::cls("NSPropertyListSerialization"),
                             objc::sel("dataWithPropertyList:format:options:error:"), dict.get(),
                             200L /* binary */, 0UL, static_cast<id*>(nullptr));
    ASSERT_NE(data, nullptr);
    ASSERT_TRUE(objc::sendBool(data, objc::sel("writeToFile:atomically:"),
                               objc::string(binary.string()), objc::toBool(true)));
  }
  std::ifstream head(xml);
  std::string first_line;
  std::getline(head, first_line);
  EXPECT_EQ(first_line, R"(<?xml version="1.0" encoding="UTF-8"?>)") << "Apple's XML format";

  objc::Ref from_xml = objc::readPropertyListFile(xml.string());
  objc::Ref from_binary = objc::readPropertyListFile(binary.string());
  ASSERT_TRUE(objc::isDictionary(from_xml.get()));
  EXPECT_TRUE(objc::objectsEqual(from_xml.get(), from_binary.get()));
  EXPECT_TRUE(objc::objectsEqual(from_xml.get(), dict.get()));
  EXPECT_TRUE(
      objc::isBoolean(objc::dictionaryGet(from_binary.get(), "thermalPreventDimmingEnabled")));
  EXPECT_TRUE(objc::isBoolean(objc::dictionaryGet(from_xml.get(), "thermalPreventDimmingEnabled")));
  EXPECT_FALSE(objc::isBoolean(objc::dictionaryGet(from_xml.get(), "one")));
  // Mutable containers: the result can be changed in place.
  objc::dictionarySet(from_binary.get(), "added", objc::number(1));
  EXPECT_EQ(objc::count(from_binary.get()), 5u);
}

TEST(PropertyLists, MissingEmptyAndCorruptFilesReadAsNil) {
  objc::AutoreleasePool pool;
  const fs::path dir = temp_dir();
  EXPECT_FALSE(objc::readPropertyListFile((dir / "missing.plist").string()));
  std::ofstream(dir / "empty.plist").close();
  EXPECT_FALSE(objc::readPropertyListFile((dir / "empty.plist").string()));
  std::ofstream(dir / "corrupt.plist") << "bplist00\x01\x02garbage";
  EXPECT_FALSE(objc::readPropertyListFile((dir / "corrupt.plist").string()));
  std::ofstream(dir / "text.plist") << "<plist><dict><key>a</key>";
  EXPECT_FALSE(objc::readPropertyListFile((dir / "text.plist").string()));
}

TEST(PropertyLists, AtomicWriteIsNeverObservedHalfWritten) {
  const fs::path path = temp_dir() / "atomic.plist";
  auto make = [](int n) {
    objc::Ref d = objc::makeMutableDictionary();
    objc::Ref big = objc::makeMutableArray();
    for (int i = 0; i < 2000; ++i) objc::arrayAdd(big.get(), objc::number(n));
    objc::dictionarySet(d.get(), "payload", big.get());
    objc::dictionarySet(d.get(), "n", objc::number(n));
    return d;
  };
  {
    objc::AutoreleasePool pool;
    ASSERT_TRUE(objc::writePropertyListXmlAtomically(make(0).get(), path.string()));
  }
  std::atomic<bool> done{false};
  std::atomic<int> bad{0}, reads{0};
  std::thread reader([&] {
    objc::ThreadAttachment attach;
    while (!done.load()) {
      objc::AutoreleasePool pool;
      objc::Ref d = objc::readPropertyListFile(path.string());
      if (!objc::isDictionary(d.get()) ||
          objc::count(objc::dictionaryGet(d.get(), "payload")) != 2000) {
        bad.fetch_add(1);
      }
      reads.fetch_add(1);
    }
  });
  for (int n = 1; n <= 40; ++n) {
    objc::AutoreleasePool pool;
    ASSERT_TRUE(objc::writePropertyListXmlAtomically(make(n).get(), path.string()));
  }
  done = true;
  reader.join();
  EXPECT_GT(reads.load(), 0);
  EXPECT_EQ(bad.load(), 0);
}

TEST(Log, LinesReachNSLogAndCanBeCaptured) {
  hv_test::LogCapture capture;
  objc::log("halvernic cpu level lock %d -> %d", 0, 2);
  objc::log("value %@", objc::string("x"));
  ASSERT_EQ(capture.lines().size(), 2u);
  EXPECT_EQ(capture.lines()[0], "halvernic cpu level lock 0 -> 2");
  EXPECT_EQ(capture.lines()[1], "value x");
}

}  // namespace
