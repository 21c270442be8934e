// The bounded scan of property-list bytes: what the writers produce passes, every other form
// and every list nested deeper than the limit is refused, in both forms, without recursion.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/objc/foundation.hpp"
#include "common/plist/scan.hpp"
#include "extension/contract/contract.hpp"

namespace {

using plist::Form;
using plist::kMaxContainerDepth;

Form scan(const std::string& bytes) { return plist::scan(bytes.data(), bytes.size()); }

std::string bytes_of(id data) {
  return {static_cast<const char*>(objc::send<const void*>(data, objc::sel("bytes"))),
          objc::send<unsigned long>(data, objc::sel("length"))};
}

// The platform's own writer: XML (100) or binary (200).
std::string serialised(id plist, long format) {
  id error = nullptr;
  id data = objc::send<id>(objc::cls("NSPropertyListSerialization"),
                           objc::sel("dataWithPropertyList:format:options:error:"), plist, format,
                           0UL, &error);
  return data ? bytes_of(data) : std::string();
}

objc::Ref typical_preferences() {
  objc::Ref prefs = objc::makeMutableDictionary();
  objc::dictionarySet(prefs.get(), halvernic::contract::kPowerModeKey, objc::string("fullPower"));
  objc::dictionarySet(prefs.get(), halvernic::contract::kPreventDimmingKey, objc::boolean(true));
  objc::dictionarySet(prefs.get(), halvernic::contract::kSunlightLockedKey, objc::boolean(false));
  objc::dictionarySet(prefs.get(), "anotherTweaksNumber", objc::number(-5000000000));
  objc::dictionarySet(prefs.get(), "anotherTweaksReal", objc::numberDouble(0.25));
  objc::dictionarySet(prefs.get(), "text with <markup> & \"quotes\"",
                      objc::string("l\xc3\xb6w \xe2\x9c\x93"));
  objc::Ref list = objc::makeMutableArray();
  objc::arrayAdd(list.get(), objc::makeMutableDictionary().get());
  objc::arrayAdd(list.get(), objc::makeMutableArray().get());
  objc::dictionarySet(prefs.get(), "list", list.get());
  return prefs;
}

// `levels` arrays inside one another, as XML; the innermost written <array/> or
// <array></array>.
std::string nested_xml(std::size_t levels, bool empty_element) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">";
  for (std::size_t i = 1; i < levels; ++i) xml += "<array>";
  xml += empty_element ? "<array/>" : "<array></array>";
  for (std::size_t i = 1; i < levels; ++i) xml += "</array>";
  return xml + "</plist>\n";
}

// A binary list laid out by hand: objects (their encoded bytes, references one byte each)
// after the header, the offset table (two bytes each), the trailer.
std::string binary_list(const std::vector<std::string>& objects, std::uint64_t top = 0) {
  std::string out = "bplist00";
  std::vector<std::size_t> offsets;
  for (const std::string& object : objects) {
    offsets.push_back(out.size());
    out += object;
  }
  const std::size_t table = out.size();
  for (std::size_t offset : offsets) {
    out += static_cast<char>(offset >> 8);
    out += static_cast<char>(offset & 0xFF);
  }
  std::string trailer(32, '\0');
  trailer[6] = 2;  // offset size
  trailer[7] = 1;  // reference size
  auto put = [&](std::size_t at, std::uint64_t value) {
    for (int i = 7; i >= 0; --i, value >>= 8)
      trailer[at + static_cast<std::size_t>(i)] = static_cast<char>(value & 0xFF);
  };
  put(8, objects.size());
  put(16, top);
  put(24, table);
  return out + trailer;
}

std::string array_of(std::initializer_list<int> refs) {
  std::string object(1, static_cast<char>(0xA0 | refs.size()));
  for (int ref : refs) object += static_cast<char>(ref);
  return object;
}

// `levels` arrays inside one another: object i holds object i + 1, the last is empty.
std::string nested_binary(std::size_t levels) {
  std::vector<std::string> objects;
  for (std::size_t i = 0; i + 1 < levels; ++i)
    objects.push_back(array_of({static_cast<int>(i + 1)}));
  objects.push_back(array_of({}));
  return binary_list(objects);
}

struct Case {
  const char* what;
  std::string bytes;
  Form form;
};

void expect_all(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    EXPECT_EQ(scan(c.bytes), c.form) << c.what;
  }
}

TEST(PlistScan, WhatTheWritersProducePassesInItsForm) {
  objc::AutoreleasePool pool;
  objc::Ref prefs = typical_preferences();
  const std::string xml = serialised(prefs.get(), 100);
  const std::string binary = serialised(prefs.get(), 200);
  ASSERT_EQ(xml.rfind("<?xml", 0), 0u);
  ASSERT_EQ(binary.rfind("bplist00", 0), 0u);
  EXPECT_EQ(scan(xml), Form::xml);
  EXPECT_EQ(scan(binary), Form::binary);
  // What the scan lets through, the platform reads.
  EXPECT_TRUE(
      objc::objectsEqual(objc::parsePropertyList(objc::makeData(xml).get()).get(), prefs.get()));
  EXPECT_TRUE(
      objc::objectsEqual(objc::parsePropertyList(objc::makeData(binary).get()).get(), prefs.get()));

  // A writer may share equal containers (GNUstep's does): a list that stands for more
  // objects than it has bytes.
  objc::Ref repeated = objc::makeMutableArray();
  for (int i = 0; i < 200; ++i) {
    objc::Ref inner = objc::makeMutableArray();
    for (int k = 0; k < 5; ++k) objc::arrayAdd(inner.get(), objc::number(k));
    objc::arrayAdd(repeated.get(), inner.get());
  }
  EXPECT_EQ(scan(serialised(repeated.get(), 200)), Form::binary);
}

TEST(PlistScan, XmlAsPeopleAndOtherToolsWriteItPasses) {
  const std::string doctype =
      "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
      "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n";
  expect_all({
      {"a byte-order mark", "\xEF\xBB\xBF<plist><dict/></plist>", Form::xml},
      {"declaration, DOCTYPE, comments and instructions around the root",
       "<?xml version='1.0' encoding='utf-8' standalone='yes'?>\n<!-- made by hand -->\n" +
           doctype +
           "<?editor keep?>\n<plist version=\"1.0\">\n<!-- mode -->\n<dict>\n\t<key>a</key>"
           "<!-- inside --><string>b</string>\n</dict>\n</plist>\n<!-- after -->\n",
       Form::xml},
      {"no declaration, a bare dictionary as the root", "<dict><key>a</key><true/></dict>",
       Form::xml},
      {"a string as the root", "<plist><string>x</string></plist>", Form::xml},
      {"CDATA, entities and character references in values",
       "<plist><dict><key>a&amp;b</"
       "key><string><![CDATA[<dict>]]>&lt;&#233;&#x1F600;&quot;&apos;&gt;</string>"
       "</dict></plist>",
       Form::xml},
      {"empty containers of both spellings",
       "<plist><array><dict/><array/><dict></dict><array ></array ><string/></array></plist>",
       Form::xml},
      {"control characters and a NUL inside a value, as the writers keep them",
       std::string(
           "<plist><dict><key>a\x01</key><string>b\x1F\0\xEF\xBF\xBF</string></dict></plist>", 64),
       Form::xml},
      {"every value element",
       "<plist><dict><key>k</key><data>AAEC</data><key>d</key><date>2024-01-01T00:00:00Z</date>"
       "<key>i</key><integer>-5</integer><key>r</key><real>0.5</real><key>t</key><true/>"
       "<key>f</key><false></false></dict></plist>",
       Form::xml},
  });
}

TEST(PlistScan, EveryOtherFormIsRefused) {
  std::string utf16_xml;
  for (char c : std::string("<plist><dict/></plist>")) {
    utf16_xml += c;
    utf16_xml += '\0';
  }
  expect_all({
      {"empty", "", Form::refused},
      {"white space only", " \n\t", Form::refused},
      {"old-style text", "{ thermalPowerMode = fullPower; }", Form::refused},
      {"old-style text, nested", std::string(100000, '{'), Form::refused},
      {"old-style array", "(a, b)", Form::refused},
      {"old-style data", "<0fbd7777>", Form::refused},
      {"UTF-16 XML", "\xFF\xFE" + utf16_xml, Form::refused},
      {"GNUstep's serialised form", std::string("\x00\x05\x05\x05\x02", 5), Form::refused},
      {"another binary version", binary_list({array_of({})}).replace(0, 8, "bplist01"),
       Form::refused},
      {"JSON", "{\"thermalPowerMode\": \"fullPower\"}", Form::refused},
  });
}

TEST(PlistScan, DamagedXmlIsRefused) {
  const std::string good = "<plist><dict><key>a</key><string>b</string></dict></plist>";
  ASSERT_EQ(scan(good), Form::xml);
  expect_all({
      {"cut short", good.substr(0, good.size() - 3), Form::refused},
      {"cut inside a tag", "<plist><dict><key>a</key><stri", Form::refused},
      {"an end tag that does not match", "<plist><dict></array></plist>", Form::refused},
      {"an end tag without a start", "<plist></dict></plist>", Form::refused},
      {"an unknown element", "<plist><dict><key>a</key><object/></dict></plist>", Form::refused},
      {"an element inside a value", "<plist><string><dict/></string></plist>", Form::refused},
      {"text inside a container", "<plist><dict>loose</dict></plist>", Form::refused},
      {"a key outside a dictionary", "<plist><key>a</key></plist>", Form::refused},
      {"a plist inside a plist", "<plist><plist/></plist>", Form::refused},
      {"two roots", "<dict/><dict/>", Form::refused},
      {"text after the root", good + "x", Form::refused},
      {"an unterminated comment", "<plist><!-- <dict/></plist>", Form::refused},
      {"an unterminated instruction", "<?C \"-//Apple//DTD\">\n" + good, Form::refused},
      {"a declaration not at the start", " <?xml version=\"1.0\"?>" + good, Form::refused},
      {"another encoding", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + good, Form::refused},
      {"a DOCTYPE with an internal subset",
       "<!DOCTYPE plist [<!ENTITY a \"aaaaaaaa\">]><plist><string>&a;</string></plist>",
       Form::refused},
      {"two DOCTYPEs", "<!DOCTYPE plist><!DOCTYPE plist>" + good, Form::refused},
      {"an unknown entity", "<plist><string>&nbsp;</string></plist>", Form::refused},
      {"a bare ampersand", "<plist><string>a & b</string></plist>", Form::refused},
      {"a reference to no character", "<plist><string>&#0;</string></plist>", Form::refused},
      {"a reference out of range", "<plist><string>&#x110000;</string></plist>", Form::refused},
      {"a reference of 6 hexadecimal digits", "<plist><string>&#x01F600;</string></plist>",
       Form::refused},
      {"a reference of 7 decimal digits", "<plist><string>&#0000065;</string></plist>",
       Form::refused},
      {"CDATA inside a container", "<plist><dict><![CDATA[x]]></dict></plist>", Form::refused},
      {"a control character between elements", "<plist><dict>\x1F</dict></plist>", Form::refused},
      {"a control character in a tag", "<plist\x01><dict/></plist>", Form::refused},
      {"a NUL byte in a comment", std::string("<plist><!-- \0 --><dict/></plist>", 32),
       Form::refused},
      {"invalid UTF-8", "<plist><string>\xC3(</string></plist>", Form::refused},
      {"an overlong UTF-8 form", "<plist><string>\xC0\xBC</string></plist>", Form::refused},
      {"a UTF-16 surrogate in UTF-8", "<plist><string>\xED\xA0\x80</string></plist>",
       Form::refused},
      {"attributes without space between", "<plist a=\"1\"b=\"2\"><dict/></plist>", Form::refused},
      {"an attribute without a value", "<plist version><dict/></plist>", Form::refused},
      {"'<' in an attribute", "<plist version=\"<\"><dict/></plist>", Form::refused},
      // Where parsers end markup differently, or GNUstep's loses what it made.
      {"an unknown entity in an instruction", "<?C a&e.com?>" + good, Form::refused},
      {"an unknown entity in the declaration", "<?xml version=\"1.0\" x=\"&foo;\"?>" + good,
       Form::refused},
      {"'>' inside an instruction", "<?C a><array><array>?>" + good, Form::refused},
      {"'?>' inside quotes in an instruction", "<?C \"a?><array>\"?>" + good, Form::refused},
      {"'>' inside quotes in the DOCTYPE", "<!DOCTYPE plist \"a><array>\">" + good, Form::refused},
      {"a reference in the DOCTYPE", "<!DOCTYPE plist \"&amp;\">" + good, Form::refused},
  });
  EXPECT_EQ(scan("<?C a&amp;b \"c\"?>" + good), Form::xml) << "a known reference in an instruction";
}

TEST(PlistScan, XmlNestingStopsAtThirtyTwoContainers) {
  for (bool empty_element : {false, true}) {
    EXPECT_EQ(scan(nested_xml(kMaxContainerDepth, empty_element)), Form::xml) << empty_element;
    EXPECT_EQ(scan(nested_xml(kMaxContainerDepth + 1, empty_element)), Form::refused)
        << empty_element;
  }
  // A value inside the deepest container is no level of its own.
  std::string deepest = nested_xml(kMaxContainerDepth, false);
  deepest.insert(deepest.find("</array>"), "<string>x</string>");
  EXPECT_EQ(scan(deepest), Form::xml);
  // Far deeper, as a crafted file of a megabyte would be: refused at once, never recursed.
  std::string huge;
  while (huge.size() < (1u << 20)) huge += "<dict><key>a</key>";
  EXPECT_EQ(scan("<plist>" + huge), Form::refused);
  std::string arrays;
  while (arrays.size() < (1u << 20)) arrays += "<array>";
  EXPECT_EQ(scan(arrays), Form::refused);
}

TEST(PlistScan, BinaryNestingStopsAtThirtyTwoContainers) {
  EXPECT_EQ(scan(nested_binary(1)), Form::binary);
  EXPECT_EQ(scan(nested_binary(kMaxContainerDepth)), Form::binary);
  EXPECT_EQ(scan(nested_binary(kMaxContainerDepth + 1)), Form::refused);
  EXPECT_EQ(scan(nested_binary(200)), Form::refused);
  // The platform agrees with the layout of the hand-made lists.
  objc::AutoreleasePool pool;
  objc::Ref read = objc::parsePropertyList(objc::makeData(nested_binary(3)).get());
  ASSERT_TRUE(objc::isArray(read.get()));
  EXPECT_TRUE(objc::isArray(objc::arrayGet(objc::arrayGet(read.get(), 0), 0)));
}

TEST(PlistScan, BinaryCyclesSharedContainersAndBadReferencesAreRefused) {
  // A container reached twice is built twice by a parser: fine while every path stays
  // within the limit and the whole stays within the list's own size.
  const std::string shared =
      binary_list({array_of({1, 1, 1}), array_of({2}), std::string(1, '\x09')});
  // The chain of objects 21 to 40 hangs below the root (21 levels, walked first) and below
  // the chain of objects 1 to 20 (41 levels).
  std::vector<std::string> deep_twice;
  deep_twice.push_back(array_of({21, 1}));  // the short path first
  for (int i = 1; i < 20; ++i) deep_twice.push_back(array_of({i + 1}));
  deep_twice.push_back(array_of({21}));  // object 20
  for (int i = 21; i < 40; ++i) deep_twice.push_back(array_of({i + 1}));
  deep_twice.push_back(array_of({}));  // object 40
  // Thirty arrays each holding the next twice: 2^31 references once expanded, from 200 bytes.
  std::vector<std::string> doubling;
  for (int i = 0; i < 30; ++i) doubling.push_back(array_of({i + 1, i + 1}));
  doubling.push_back(array_of({}));
  const std::string string_a =
      "\x51"
      "a";
  expect_all({
      {"a shared container", shared, Form::binary},
      {"a surrogate pair and an ASCII string",
       binary_list({array_of({1, 2}), std::string("\x62\xD8\x3D\xDE\x00", 5), "\x51x"}),
       Form::binary},
      {"a container that holds itself", binary_list({array_of({0})}), Form::refused},
      {"two containers that hold each other", binary_list({array_of({1}), array_of({0})}),
       Form::refused},
      {"a dictionary whose value is itself",
       binary_list({std::string("\xD1\x01\x00", 3), string_a}), Form::refused},
      {"a shared container too deep on its second path", binary_list(deep_twice), Form::refused},
      {"shared containers that double at every level", binary_list(doubling), Form::refused},
      {"a reference past the objects", binary_list({array_of({5})}), Form::refused},
      {"a top object past the objects", binary_list({array_of({})}, 1), Form::refused},
      {"a set", binary_list({std::string("\xC1\x01", 2), string_a}), Form::refused},
      {"a UID", binary_list({std::string("\x80\x01", 2)}), Form::refused},
      {"a 16-byte integer", binary_list({"\x14" + std::string(16, '\x01')}), Form::refused},
      {"a string running past the objects",
       binary_list({"\x5F\x10\x7F"
                    "abc"}),
       Form::refused},
      // What GNUstep's reader raises on (and loses what it had built).
      {"an ASCII string of another byte", binary_list({array_of({1}), "\x53x\xFFy"}),
       Form::refused},
      {"a UTF-16 string with an unpaired surrogate",
       binary_list({array_of({1}), std::string("\x61\xD8\x00", 3)}), Form::refused},
      {"a date that is no number",
       binary_list({array_of({1}), "\x33\x7F\xF8" + std::string(6, '\0')}), Form::refused},
      {"eight-byte offsets",
       std::string("bplist00\xA0", 9) + std::string(7, '\0') + "\x08" + std::string(6, '\0') +
           "\x08\x01" + std::string(7, '\0') + "\x01" + std::string(15, '\0') + "\x09",
       Form::refused},
      {"an array running past the objects", binary_list({"\xAF\x10\x40" + std::string(3, '\0')}),
       Form::refused},
  });
  std::string cut = binary_list({array_of({})});
  cut.resize(cut.size() - 1);
  EXPECT_EQ(scan(cut), Form::refused) << "trailer cut short";
  std::string table_outside = binary_list({array_of({})});
  table_outside[table_outside.size() - 1] = '\x7F';
  EXPECT_EQ(scan(table_outside), Form::refused) << "offset table past the trailer";
  std::string offset_outside = binary_list({array_of({})});
  offset_outside[offset_outside.size() - 32 - 1] = '\x7F';
  EXPECT_EQ(scan(offset_outside), Form::refused) << "an object's offset past the objects";
}

}  // namespace
