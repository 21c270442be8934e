// Type encodings compared by what decides how a method is called.
#include <gtest/gtest.h>

#include <cstdint>

#include "common/objc/encoding.hpp"

namespace {

TEST(Encoding, OffsetsAndQualifiersAreDroppedPointersAreOneKind) {
  EXPECT_EQ(objc::callingConvention("v20@0:8i16"), "v p p s32");
  EXPECT_EQ(objc::callingConvention("v@:i"), "v p p s32");
  EXPECT_EQ(objc::callingConvention("Vv24@0:8r*16"), "v p p p");
  EXPECT_EQ(objc::callingConvention("^v24@0:8^{__CFString=}16"), "p p p p");
  EXPECT_EQ(objc::callingConvention("v32@0:8@?16@\"NSString\"24"), "v p p p p");
  EXPECT_EQ(objc::callingConvention("v28@0:8i16^{__IOHIDServiceClient=}20"), "v p p s32 p");
  EXPECT_EQ(objc::callingConvention("^^{Nested={Inner=ii}}@:"), "p p p");
}

TEST(Encoding, IntegersByWidthAndSignednessFloatsByWidthStructsByEncoding) {
  EXPECT_EQ(objc::callingConvention("cCBsSiIqQfd"), "s8 u8 u8 s16 u16 s32 u32 s64 u64 f32 f64");
  EXPECT_EQ(objc::callingConvention("{CGSize=dd}16@0:8"), "{CGSize=dd} p p");
  EXPECT_EQ(objc::callingConvention("v@:[4i](U=if)"), "v p p [4i] (U=if)");
  // A BOOL of either runtime (_Bool, unsigned char) is called the same way; a 32-bit and a
  // 64-bit integer, or an integer and a double, are not.
  EXPECT_TRUE(objc::sameCallingConvention("v20@0:8B16", objc::methodTypes<void, unsigned char>()));
  EXPECT_FALSE(objc::sameCallingConvention("i16@0:8", objc::methodTypes<std::int64_t>()));
  EXPECT_FALSE(objc::sameCallingConvention("I16@0:8", "i16@0:8"));
  EXPECT_FALSE(objc::sameCallingConvention("v@:d", "v@:q"));
  EXPECT_FALSE(objc::sameCallingConvention("v@:{A=ii}", "v@:{B=ii}"));
  EXPECT_TRUE(objc::sameCallingConvention("q16@0:8", objc::methodTypes<std::int64_t>()));
  EXPECT_TRUE(
      objc::sameCallingConvention("Q24@0:8Q16", objc::methodTypes<std::uint64_t, std::uint64_t>()));
}

TEST(Encoding, MalformedOrMissingEncodingsMatchNothing) {
  EXPECT_EQ(objc::callingConvention("v@:{Open=i"), "v p p ?");
  EXPECT_EQ(objc::callingConvention("v@:Z"), "v p p ?");
  EXPECT_FALSE(objc::sameCallingConvention("v@:Z", "v@:Z"));
  EXPECT_FALSE(objc::sameCallingConvention(nullptr, "v@:"));
  EXPECT_FALSE(objc::sameCallingConvention("v@:", nullptr));
}

}  // namespace
