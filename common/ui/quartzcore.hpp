// QuartzCore as the front-ends see it: CALayer's messages with the types of Apple's
// headers (shadowOpacity and opacity are float, the lengths CGFloat, colours and paths
// CoreGraphics references) and the corner curve constant. The pattern is uikit.hpp's.
#pragma once

#include <objc/objc.h>

#include "common/objc/message.hpp"
#include "common/ui/geometry.hpp"

// CALayer's continuous corner curve, an NSString. Weak: iOS 13 and later only (the
// Settings pane runs from 12.2), so its address is null on an older system.
extern "C" id const kCACornerCurveContinuous __attribute__((weak));
extern "C" id const kCACornerCurveCircular __attribute__((weak));

namespace halvernic::ui {

inline constinit objc::ClassName kCALayer{"CALayer"};

// Which corners cornerRadius rounds (NS_OPTIONS over NSUInteger).
using CACornerMask = unsigned long;

namespace CALayer {
inline constinit objc::Message<CGFloat()> cornerRadius{"cornerRadius"};
inline constinit objc::Message<void(CGFloat)> setCornerRadius{"setCornerRadius:"};
inline constinit objc::Message<CACornerMask()> maskedCorners{"maskedCorners"};
inline constinit objc::Message<void(CACornerMask)> setMaskedCorners{"setMaskedCorners:"};
inline constinit objc::Message<id()> cornerCurve{"cornerCurve"};
inline constinit objc::Message<void(id)> setCornerCurve{"setCornerCurve:"};
inline constinit objc::Message<BOOL()> masksToBounds{"masksToBounds"};
inline constinit objc::Message<void(BOOL)> setMasksToBounds{"setMasksToBounds:"};
inline constinit objc::Message<float()> opacity{"opacity"};
inline constinit objc::Message<void(float)> setOpacity{"setOpacity:"};
inline constinit objc::Message<CGColorRef()> shadowColor{"shadowColor"};
inline constinit objc::Message<void(CGColorRef)> setShadowColor{"setShadowColor:"};
inline constinit objc::Message<float()> shadowOpacity{"shadowOpacity"};
inline constinit objc::Message<void(float)> setShadowOpacity{"setShadowOpacity:"};
inline constinit objc::Message<CGFloat()> shadowRadius{"shadowRadius"};
inline constinit objc::Message<void(CGFloat)> setShadowRadius{"setShadowRadius:"};
inline constinit objc::Message<CGSize()> shadowOffset{"shadowOffset"};
inline constinit objc::Message<void(CGSize)> setShadowOffset{"setShadowOffset:"};
inline constinit objc::Message<CGPathRef()> shadowPath{"shadowPath"};
inline constinit objc::Message<void(CGPathRef)> setShadowPath{"setShadowPath:"};
inline constinit objc::Message<CGColorRef()> backgroundColor{"backgroundColor"};
inline constinit objc::Message<void(CGColorRef)> setBackgroundColor{"setBackgroundColor:"};
inline constinit objc::Message<CGFloat()> borderWidth{"borderWidth"};
inline constinit objc::Message<void(CGFloat)> setBorderWidth{"setBorderWidth:"};
inline constinit objc::Message<CGColorRef()> borderColor{"borderColor"};
inline constinit objc::Message<void(CGColorRef)> setBorderColor{"setBorderColor:"};
inline constinit objc::Message<CGRect()> bounds{"bounds"};
inline constinit objc::Message<CGRect()> frame{"frame"};
inline constinit objc::Message<id()> delegate{"delegate"};
}  // namespace CALayer

// Every message above with the class that declares it (for the encoding test).
inline constexpr objc::MessageInfo kQuartzCoreMessages[] = {
    objc::instanceMessage<CALayer::cornerRadius>("CALayer"),
    objc::instanceMessage<CALayer::setCornerRadius>("CALayer"),
    objc::instanceMessage<CALayer::maskedCorners>("CALayer"),
    objc::instanceMessage<CALayer::setMaskedCorners>("CALayer"),
    objc::instanceMessage<CALayer::cornerCurve>("CALayer"),
    objc::instanceMessage<CALayer::setCornerCurve>("CALayer"),
    objc::instanceMessage<CALayer::masksToBounds>("CALayer"),
    objc::instanceMessage<CALayer::setMasksToBounds>("CALayer"),
    objc::instanceMessage<CALayer::opacity>("CALayer"),
    objc::instanceMessage<CALayer::setOpacity>("CALayer"),
    objc::instanceMessage<CALayer::shadowColor>("CALayer"),
    objc::instanceMessage<CALayer::setShadowColor>("CALayer"),
    objc::instanceMessage<CALayer::shadowOpacity>("CALayer"),
    objc::instanceMessage<CALayer::setShadowOpacity>("CALayer"),
    objc::instanceMessage<CALayer::shadowRadius>("CALayer"),
    objc::instanceMessage<CALayer::setShadowRadius>("CALayer"),
    objc::instanceMessage<CALayer::shadowOffset>("CALayer"),
    objc::instanceMessage<CALayer::setShadowOffset>("CALayer"),
    objc::instanceMessage<CALayer::shadowPath>("CALayer"),
    objc::instanceMessage<CALayer::setShadowPath>("CALayer"),
    objc::instanceMessage<CALayer::backgroundColor>("CALayer"),
    objc::instanceMessage<CALayer::setBackgroundColor>("CALayer"),
    objc::instanceMessage<CALayer::borderWidth>("CALayer"),
    objc::instanceMessage<CALayer::setBorderWidth>("CALayer"),
    objc::instanceMessage<CALayer::borderColor>("CALayer"),
    objc::instanceMessage<CALayer::setBorderColor>("CALayer"),
    objc::instanceMessage<CALayer::bounds>("CALayer"),
    objc::instanceMessage<CALayer::frame>("CALayer"),
    objc::instanceMessage<CALayer::delegate>("CALayer"),
};

}  // namespace halvernic::ui
