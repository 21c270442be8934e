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
                           objc::sel("dataWithPropertyList:format:options:error:"), plist, kXMLFormat,
                           0UL, &error);
  if (!data) return "(nil)";
  return {static_cast<const char*>(objc::send<const void*>(data, objc::sel("bytes"))),
          objc::send<unsigned long>(data, objc::sel("length"))};
}

TEST(XmlWriter, WritesApplesLayoutAndEveryValueReadsBackEqual) {
  objc::AutoreleasePool pool;
  objc::Ref inner = objc::make_mutable_array();
  objc::array_add(inner.get(), objc::number_double(-2.0679515313825692e-24));
  objc::array_add(inner.get(), objc::boolean(false));
  objc::Ref root = objc::make_mutable_dictionary();
  objc::dictionary_set(root.get(), "b", inner.get());
  objc::dictionary_set(root.get(), "a&<>", objc::string("x & <y>"));
  objc::dictionary_set(root.get(), "c", objc::make_mutable_dictionary().get());
  objc::dictionary_set(root.get(), "d", objc::number(-7));
  objc::dictionary_set(root.get(), "e", objc::make_data("\x01\x02\x03\x04").get());
  objc::dictionary_set(root.get(), "f", objc::number_double(0.0));
  objc::dictionary_set(root.get(), "g", objc::number_double(INFINITY));

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
  const double reals[] = {-2.0679515313825692e-24, 0.1, 2.0 / 3.0, DBL_MAX, DBL_MIN,
                          std::numeric_limits<double>::denorm_min(), -0.0, -INFINITY,
                          5e-324, 1.7976931348623155e308, 123456789012345678.0};
  for (const double real : reals) {
    objc::Ref list = objc::make_mutable_array();
    objc::array_add(list.get(), objc::number_double(real));
    objc::Ref back = objc::parse_property_list(objc::make_data(xml_of(list.get())).get());
    ASSERT_EQ(objc::count(back.get()), 1u) << real;
    const double got = objc::double_value(objc::array_get(back.get(), 0));
    EXPECT_EQ(got, real);
    EXPECT_EQ(std::signbit(got), std::signbit(real)) << real;
  }
  objc::Ref list = objc::make_mutable_array();
  objc::array_add(list.get(), objc::number_double(NAN));
  objc::array_add(list.get(), objc::number(std::numeric_limits<std::int64_t>::min()));
  objc::array_add(list.get(), objc::make_data(std::string(100, '\xFF')).get());
  const std::string xml = xml_of(list.get());
  EXPECT_NE(xml.find("<real>nan</real>"), std::string::npos);
  EXPECT_NE(xml.find("<integer>-9223372036854775808</integer>"), std::string::npos);
  EXPECT_NE(xml.find("<data>\n\t" + std::string(76, '/') + "\n\t" + std::string(57, '/') + "w==\n\t</data>"),
            std::string::npos)
      << "base64 in lines of 76";
  objc::Ref back = objc::parse_property_list(objc::make_data(xml).get());
  ASSERT_EQ(objc::count(back.get()), 3u);
  EXPECT_TRUE(std::isnan(objc::double_value(objc::array_get(back.get(), 0))));
  EXPECT_TRUE(objc::objects_equal(objc::array_get(back.get(), 1), objc::array_get(list.get(), 1)));
  EXPECT_TRUE(objc::objects_equal(objc::array_get(back.get(), 2), objc::array_get(list.get(), 2)));
}

TEST(XmlWriter, WhatIsNoPropertyListIsRefusedAndOtherFormatsAreGNUsteps) {
  objc::AutoreleasePool pool;
  objc::Ref odd = objc::make_mutable_dictionary();
  objc::dictionary_set(odd.get(), objc::number(1), objc::string("a number as a key"));
  EXPECT_EQ(xml_of(odd.get()), "(nil)");
  objc::Ref holder = objc::make_mutable_array();
  objc::Ref object = objc::Ref::adopt(objc::send<id>(objc::cls("NSObject"), objc::sel("new")));
  objc::array_add(holder.get(), object.get());
  EXPECT_EQ(xml_of(holder.get()), "(nil)");

  objc::Ref plain = objc::make_mutable_dictionary();
  objc::dictionary_set(plain.get(), "k", objc::number_double(0.1));
  id error = nullptr;
  id binary = objc::send<id>(objc::cls("NSPropertyListSerialization"),
                             objc::sel("dataWithPropertyList:format:options:error:"), plain.get(), 200L,
                             0UL, &error);
  ASSERT_TRUE(binary);
  EXPECT_EQ(std::string(static_cast<const char*>(objc::send<const void*>(binary, objc::sel("bytes"))), 6),
            "bplist");
}

}  // namespace
