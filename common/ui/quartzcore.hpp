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
    objc::instance_message<CALayer::cornerRadius>("CALayer"),
    objc::instance_message<CALayer::setCornerRadius>("CALayer"),
    objc::instance_message<CALayer::maskedCorners>("CALayer"),
    objc::instance_message<CALayer::setMaskedCorners>("CALayer"),
    objc::instance_message<CALayer::cornerCurve>("CALayer"),
    objc::instance_message<CALayer::setCornerCurve>("CALayer"),
    objc::instance_message<CALayer::masksToBounds>("CALayer"),
    objc::instance_message<CALayer::setMasksToBounds>("CALayer"),
    objc::instance_message<CALayer::opacity>("CALayer"),
    objc::instance_message<CALayer::setOpacity>("CALayer"),
    objc::instance_message<CALayer::shadowColor>("CALayer"),
    objc::instance_message<CALayer::setShadowColor>("CALayer"),
    objc::instance_message<CALayer::shadowOpacity>("CALayer"),
    objc::instance_message<CALayer::setShadowOpacity>("CALayer"),
    objc::instance_message<CALayer::shadowRadius>("CALayer"),
    objc::instance_message<CALayer::setShadowRadius>("CALayer"),
    objc::instance_message<CALayer::shadowOffset>("CALayer"),
    objc::instance_message<CALayer::setShadowOffset>("CALayer"),
    objc::instance_message<CALayer::shadowPath>("CALayer"),
    objc::instance_message<CALayer::setShadowPath>("CALayer"),
    objc::instance_message<CALayer::backgroundColor>("CALayer"),
    objc::instance_message<CALayer::setBackgroundColor>("CALayer"),
    objc::instance_message<CALayer::borderWidth>("CALayer"),
    objc::instance_message<CALayer::setBorderWidth>("CALayer"),
    objc::instance_message<CALayer::borderColor>("CALayer"),
    objc::instance_message<CALayer::setBorderColor>("CALayer"),
    objc::instance_message<CALayer::bounds>("CALayer"),
    objc::instance_message<CALayer::frame>("CALayer"),
    objc::instance_message<CALayer::delegate>("CALayer"),
};

}  // namespace halvernic::ui
