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
  EXPECT_TRUE(objc::is_string(s));
  EXPECT_EQ(objc::to_string(s), text);
  EXPECT_TRUE(objc::string_equals(s, text));
  EXPECT_FALSE(objc::string_equals(objc::string("fullPower"), "FullPower"));
  EXPECT_FALSE(objc::string_equals(objc::number(1), "1"));
  EXPECT_EQ(objc::to_string(nullptr), "");
  EXPECT_EQ(objc::to_string(objc::number(3)), "") << "a number is not a string";
}

TEST(Numbers, BooleansAreToldApartFromZeroAndOne) {
  objc::AutoreleasePool pool;
  EXPECT_TRUE(objc::is_boolean(objc::boolean(true)));
  EXPECT_TRUE(objc::is_boolean(objc::boolean(false)));
  EXPECT_FALSE(objc::is_boolean(objc::number(1)));
  EXPECT_FALSE(objc::is_boolean(objc::number(0)));
  EXPECT_TRUE(objc::is_number(objc::boolean(true)));
  EXPECT_EQ(objc::int64_value(objc::number(-5000000000LL)), -5000000000LL);
  EXPECT_TRUE(objc::platform_bool_value(objc::number(2)));
  EXPECT_FALSE(objc::platform_bool_value(objc::make_mutable_dictionary().get()));
  EXPECT_FALSE(objc::platform_bool_value(nullptr));
}

TEST(Collections, QuestionsAskedOfTheWrongKindAnswerEmptyInsteadOfRaising) {
  objc::AutoreleasePool pool;
  objc::Ref dict = objc::make_mutable_dictionary();
  objc::dictionary_set(dict.get(), "k", objc::number(1));
  EXPECT_EQ(objc::count(dict.get()), 1u);
  EXPECT_EQ(objc::array_get(dict.get(), 0), nullptr) << "a dictionary has no index";
  EXPECT_EQ(objc::count(objc::string("text")), 0u);
  EXPECT_EQ(objc::count(objc::number(3)), 0u);
  EXPECT_EQ(objc::array_get(objc::string("text"), 0), nullptr);
  EXPECT_EQ(objc::dictionary_get(objc::string("text"), "k"), nullptr);
  objc::Ref array = objc::make_mutable_array();
  objc::array_add(array.get(), objc::number(7));
  EXPECT_EQ(objc::int64_value(objc::array_get(array.get(), 0)), 7);
  EXPECT_EQ(objc::array_get(array.get(), 1), nullptr);
}

TEST(PropertyLists, BinaryAndXmlOfTheSameContentReadEqualWithBooleansKept) {
  objc::AutoreleasePool pool;
  objc::Ref dict = objc::make_mutable_dictionary();
  objc::dictionary_set(dict.get(), "thermalPowerMode", objc::string("fullPower"));
  objc::dictionary_set(dict.get(), "thermalPreventDimmingEnabled", objc::boolean(true));
  objc::dictionary_set(dict.get(), "one", objc::number(1));
  objc::Ref nested = objc::make_mutable_array();
  objc::array_add(nested.get(), objc::number(50000));
  objc::dictionary_set(dict.get(), "list", nested.get());

  const fs::path xml = temp_dir() / "same.xml.plist";
  const fs::path binary = temp_dir() / "same.bin.plist";
  ASSERT_TRUE(objc::write_property_list_xml_atomically(dict.get(), xml.string()));
  {
    id data = objc::send<id>(objc::cls("NSPropertyListSerialization"),
                             objc::sel("dataWithPropertyList:format:options:error:"), dict.get(),
                             200L /* binary */, 0UL, static_cast<id*>(nullptr));
    ASSERT_NE(data, nullptr);
    ASSERT_TRUE(objc::send_bool(data, objc::sel("writeToFile:atomically:"),
                                objc::string(binary.string()), objc::to_BOOL(true)));
  }
  std::ifstream head(xml);
  std::string first_line;
  std::getline(head, first_line);
  EXPECT_EQ(first_line, R"(<?xml version="1.0" encoding="UTF-8"?>)") << "Apple's XML format";

  objc::Ref from_xml = objc::read_property_list_file(xml.string());
  objc::Ref from_binary = objc::read_property_list_file(binary.string());
  ASSERT_TRUE(objc::is_dictionary(from_xml.get()));
  EXPECT_TRUE(objc::objects_equal(from_xml.get(), from_binary.get()));
  EXPECT_TRUE(objc::objects_equal(from_xml.get(), dict.get()));
  EXPECT_TRUE(objc::is_boolean(objc::dictionary_get(from_binary.get(), "thermalPreventDimmingEnabled")));
  EXPECT_TRUE(objc::is_boolean(objc::dictionary_get(from_xml.get(), "thermalPreventDimmingEnabled")));
  EXPECT_FALSE(objc::is_boolean(objc::dictionary_get(from_xml.get(), "one")));
  // Mutable containers: the result can be changed in place.
  objc::dictionary_set(from_binary.get(), "added", objc::number(1));
  EXPECT_EQ(objc::count(from_binary.get()), 5u);
}

TEST(PropertyLists, MissingEmptyAndCorruptFilesReadAsNil) {
  objc::AutoreleasePool pool;
  const fs::path dir = temp_dir();
  EXPECT_FALSE(objc::read_property_list_file((dir / "missing.plist").string()));
  std::ofstream(dir / "empty.plist").close();
  EXPECT_FALSE(objc::read_property_list_file((dir / "empty.plist").string()));
  std::ofstream(dir / "corrupt.plist") << "bplist00\x01\x02garbage";
  EXPECT_FALSE(objc::read_property_list_file((dir / "corrupt.plist").string()));
  std::ofstream(dir / "text.plist") << "<plist><dict><key>a</key>";
  EXPECT_FALSE(objc::read_property_list_file((dir / "text.plist").string()));
}

TEST(PropertyLists, AtomicWriteIsNeverObservedHalfWritten) {
  const fs::path path = temp_dir() / "atomic.plist";
  auto make = [](int n) {
    objc::Ref d = objc::make_mutable_dictionary();
    objc::Ref big = objc::make_mutable_array();
    for (int i = 0; i < 2000; ++i) objc::array_add(big.get(), objc::number(n));
    objc::dictionary_set(d.get(), "payload", big.get());
    objc::dictionary_set(d.get(), "n", objc::number(n));
    return d;
  };
  {
    objc::AutoreleasePool pool;
    ASSERT_TRUE(objc::write_property_list_xml_atomically(make(0).get(), path.string()));
  }
  std::atomic<bool> done{false};
  std::atomic<int> bad{0}, reads{0};
  std::thread reader([&] {
    objc::ThreadAttachment attach;
    while (!done.load()) {
      objc::AutoreleasePool pool;
      objc::Ref d = objc::read_property_list_file(path.string());
      if (!objc::is_dictionary(d.get()) ||
          objc::count(objc::dictionary_get(d.get(), "payload")) != 2000) {
        bad.fetch_add(1);
      }
      reads.fetch_add(1);
    }
  });
  for (int n = 1; n <= 40; ++n) {
    objc::AutoreleasePool pool;
    ASSERT_TRUE(objc::write_property_list_xml_atomically(make(n).get(), path.string()));
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
