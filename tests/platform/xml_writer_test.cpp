// Apple's XML property-list format as the Foundation fix-ups write it on Linux: Apple's
// layout, and every value read back equal.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "common/objc/foundation.hpp"

namespace {

constexpr long kXMLFormat = 100;

std::string xml_of(id plist) {
  id error = nullptr;
  id data = objc::send<id>(objc::cls("NSPropertyListSerialization"),
                           objc::sel("dataWithPropertyList:format:options:error:"), plist,
                           kXMLFormat, 0UL, &error);
  if (!data) return "(nil)";
  return {static_cast<const char*>(objc::send<const void*>(data, objc::sel("bytes"))),
          objc::send<unsigned long>(data, objc::sel("length"))};
}

TEST(XmlWriter, WritesApplesLayoutAndEveryValueReadsBackEqual) {
  objc::AutoreleasePool pool;
  objc::Ref inner = objc::makeMutableArray();
  objc::arrayAdd(inner.get(), objc::numberDouble(-2.0679515313825692e-24));
  objc::arrayAdd(inner.get(), objc::boolean(false));
  objc::Ref root = objc::makeMutableDictionary();
  objc::dictionarySet(root.get(), "b", inner.get());
  objc::dictionarySet(root.get(), "a&<>", objc::string("x & <y>"));
  objc::dictionarySet(root.get(), "c", objc::makeMutableDictionary().get());
  objc::dictionarySet(root.get(), "d", objc::number(-7));
  objc::dictionarySet(root.get(), "e", objc::makeData("\x01\x02\x03\x04").get());
  objc::dictionarySet(root.get(), "f", objc::numberDouble(0.0));
  objc::dictionarySet(root.get(), "g", objc::numberDouble(INFINITY));

  EXPECT_EQ(xml_of(root.get()),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
            "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
            "<plist version=\"1.0\">\n"
            "<dict>\n"
            "\t<key>a&amp;&lt;&gt;</key>\n"
            "\t<string>x &amp; &lt;y&gt;</string>\n"
            "\t<key>b</key>\n"
            "\t<array>\n"
            "\t\t<real>-2.0679515313825692e-24</real>\n"
            "\t\t<false/>\n"
            "\t</array>\n"
            "\t<key>c</key>\n"
            "\t<dict/>\n"
            "\t<key>d</key>\n"
            "\t<integer>-7</integer>\n"
            "\t<key>e</key>\n"
            "\t<data>\n"
            "\tAQIDBA==\n"
            "\t</data>\n"
            "\t<key>f</key>\n"
            "\t<real>0.0</real>\n"
            "\t<key>g</key>\n"
            "\t<real>+infinity</real>\n"
            "</dict>\n"
            "</plist>\n");

  // Every double reads back as itself (16 digits do not tell all of them apart).
  const double reals[] = {-2.0679515313825692e-24,
                          0.1,
                          2.0 / 3.0,
                          DBL_MAX,
                          DBL_MIN,
                          std::numeric_limits<double>::denorm_min(),
                          -0.0,
                          -INFINITY,
                          5e-324,
                          1.7976931348623155e308,
                          123456789012345678.0};
  for (const double real : reals) {
    objc::Ref list = objc::makeMutableArray();
    objc::arrayAdd(list.get(), objc::numberDouble(real));
    objc::Ref back = objc::parsePropertyList(objc::makeData(xml_of(list.get())).get());
    ASSERT_EQ(objc::count(back.get()), 1u) << real;
    const double got = objc::doubleValue(objc::arrayGet(back.get(), 0));
    EXPECT_EQ(got, real);
    EXPECT_EQ(std::signbit(got), std::signbit(real)) << real;
  }
  objc::Ref list = objc::makeMutableArray();
  objc::arrayAdd(list.get(), objc::numberDouble(NAN));
  objc::arrayAdd(list.get(), objc::number(std::numeric_limits<std::int64_t>::min()));
  objc::arrayAdd(list.get(), objc::makeData(std::string(100, '\xFF')).get());
  const std::string xml = xml_of(list.get());
  EXPECT_NE(xml.find("<real>nan</real>"), std::string::npos);
  EXPECT_NE(xml.find("<integer>-9223372036854775808</integer>"), std::string::npos);
  EXPECT_NE(xml.find("<data>\n\t" + std::string(76, '/') + "\n\t" + std::string(57, '/') +
                     "w==\n\t</data>"),
            std::string::npos)
      << "base64 in lines of 76";
  objc::Ref back = objc::parsePropertyList(objc::makeData(xml).get());
  ASSERT_EQ(objc::count(back.get()), 3u);
  EXPECT_TRUE(std::isnan(objc::doubleValue(objc::arrayGet(back.get(), 0))));
  EXPECT_TRUE(objc::objectsEqual(objc::arrayGet(back.get(), 1), objc::arrayGet(list.get(), 1)));
  EXPECT_TRUE(objc::objectsEqual(objc::arrayGet(back.get(), 2), objc::arrayGet(list.get(), 2)));
}

TEST(XmlWriter, WhatIsNoPropertyListIsRefusedAndOtherFormatsAreGNUsteps) {
  objc::AutoreleasePool pool;
  objc::Ref odd = objc::makeMutableDictionary();
  objc::dictionarySet(odd.get(), objc::number(1), objc::string("a number as a key"));
  EXPECT_EQ(xml_of(odd.get()), "(nil)");
  objc::Ref holder = objc::makeMutableArray();
  objc::Ref object = objc::Ref::adopt(objc::send<id>(objc::cls("NSObject"), objc::sel("new")));
  objc::arrayAdd(holder.get(), object.get());
  EXPECT_EQ(xml_of(holder.get()), "(nil)");

  objc::Ref plain = objc::makeMutableDictionary();
  objc::dictionarySet(plain.get(), "k", objc::numberDouble(0.1));
  id error = nullptr;
  id binary = objc::send<id>(objc::cls("NSPropertyListSerialization"),
                             objc::sel("dataWithPropertyList:format:options:error:"), plain.get(),
                             200L, 0UL, &error);
  ASSERT_TRUE(binary);
  EXPECT_EQ(
      std::string(static_cast<const char*>(objc::send<const void*>(binary, objc::sel("bytes"))), 6),
      "bplist");
}

}  // namespace
