// CoreGraphics' types as messages carry them, and UIKit's UIEdgeInsets.
//
// CoreGraphics is plain C: product code includes <CoreGraphics/CoreGraphics.h>, Apple's
// on iOS and the stand-in's header of the same path on Linux (platform/include). This
// header adds what the bridge needs to send them: Apple's type encodings of the structs
// passed by value, and of the CoreGraphics references.
#pragma once

#include <CoreGraphics/CoreGraphics.h>

#include "common/objc/encoding.hpp"

namespace halvernic::ui {

// UIKit's edge insets (UIKit declares them only in an Objective-C header).
struct UIEdgeInsets {
  CGFloat top, left, bottom, right;
};
constexpr UIEdgeInsets UIEdgeInsetsMake(CGFloat top, CGFloat left, CGFloat bottom, CGFloat right) {
  return {top, left, bottom, right};
}

}  // namespace halvernic::ui

HALVERNIC_OBJC_STRUCT_ENCODING(CGPoint, "{CGPoint=dd}");
HALVERNIC_OBJC_STRUCT_ENCODING(CGSize, "{CGSize=dd}");
HALVERNIC_OBJC_STRUCT_ENCODING(CGRect, "{CGRect={CGPoint=dd}{CGSize=dd}}");
HALVERNIC_OBJC_STRUCT_ENCODING(CGAffineTransform, "{CGAffineTransform=dddddd}");
HALVERNIC_OBJC_STRUCT_ENCODING(halvernic::ui::UIEdgeInsets, "{UIEdgeInsets=dddd}");
HALVERNIC_OBJC_STRUCT_ENCODING(CGColorRef, "^{CGColor=}");
HALVERNIC_OBJC_STRUCT_ENCODING(CGPathRef, "^{CGPath=}");
HALVERNIC_OBJC_STRUCT_ENCODING(CGContextRef, "^{CGContext=}");
