// Type encodings compared by what decides how a method is called.
#include <gtest/gtest.h>

#include <cstdint>

#include "common/objc/encoding.hpp"

namespace {

TEST(Encoding, OffsetsAndQualifiersAreDroppedPointersAreOneKind) {
  EXPECT_EQ(objc::calling_convention("v20@0:8i16"), "v p p s32");
  EXPECT_EQ(objc::calling_convention("v@:i"), "v p p s32");
  EXPECT_EQ(objc::calling_convention("Vv24@0:8r*16"), "v p p p");
  EXPECT_EQ(objc::calling_convention("^v24@0:8^{__CFString=}16"), "p p p p");
  EXPECT_EQ(objc::calling_convention("v32@0:8@?16@\"NSString\"24"), "v p p p p");
  EXPECT_EQ(objc::calling_convention("v28@0:8i16^{__IOHIDServiceClient=}20"), "v p p s32 p");
  EXPECT_EQ(objc::calling_convention("^^{Nested={Inner=ii}}@:"), "p p p");
}

TEST(Encoding, IntegersByWidthAndSignednessFloatsByWidthStructsByEncoding) {
  EXPECT_EQ(objc::calling_convention("cCBsSiIqQfd"), "s8 u8 u8 s16 u16 s32 u32 s64 u64 f32 f64");
  EXPECT_EQ(objc::calling_convention("{CGSize=dd}16@0:8"), "{CGSize=dd} p p");
  EXPECT_EQ(objc::calling_convention("v@:[4i](U=if)"), "v p p [4i] (U=if)");
  // A BOOL of either runtime (_Bool, unsigned char) is called the same way; a 32-bit and a
  // 64-bit integer, or an integer and a double, are not.
  EXPECT_TRUE(objc::same_calling_convention("v20@0:8B16", objc::method_types<void, unsigned char>()));
  EXPECT_FALSE(objc::same_calling_convention("i16@0:8", objc::method_types<std::int64_t>()));
  EXPECT_FALSE(objc::same_calling_convention("I16@0:8", "i16@0:8"));
  EXPECT_FALSE(objc::same_calling_convention("v@:d", "v@:q"));
  EXPECT_FALSE(objc::same_calling_convention("v@:{A=ii}", "v@:{B=ii}"));
  EXPECT_TRUE(objc::same_calling_convention("q16@0:8", objc::method_types<std::int64_t>()));
  EXPECT_TRUE(objc::same_calling_convention("Q24@0:8Q16",
                                            objc::method_types<std::uint64_t, std::uint64_t>()));
}

TEST(Encoding, MalformedOrMissingEncodingsMatchNothing) {
  EXPECT_EQ(objc::calling_convention("v@:{Open=i"), "v p p ?");
  EXPECT_EQ(objc::calling_convention("v@:Z"), "v p p ?");
  EXPECT_FALSE(objc::same_calling_convention("v@:Z", "v@:Z"));
  EXPECT_FALSE(objc::same_calling_convention(nullptr, "v@:"));
  EXPECT_FALSE(objc::same_calling_convention("v@:", nullptr));
}

}  // namespace
