// UIKit as the front-ends see it: every UIKit message they send, declared once with the
// types of Apple's headers (iOS 15.6 SDK), grouped by the class that declares it, with
// iOS's enumeration values and the C declarations of UIKit's functions and constants.
//
// How to use and extend these declarations (Preferences and ControlCenterUIKit follow
// the same pattern in preferences.hpp and controlcenter.hpp):
//
//   namespace ui = halvernic::ui;
//   id button = ui::UIButton::buttonWithType.send(ui::kUIButton, ui::UIButtonTypeSystem);
//   ui::UIButton::setTitleEdgeInsets.send(button, ui::UIEdgeInsetsMake(0, 18, 0, 48));
//   ui::UIView::setFrame.send(button, CGRectMake(0, 0, 256, 47));
//
//   - one namespace per class, named as the class; inside it one objc::Message per
//     selector, named as the selector with the colons dropped and the parts joined by
//     '_' (setTitle:forState: is setTitle_forState), with the exact types of the header:
//     CGFloat (double) where Apple says CGFloat, float where it says float (CALayer's
//     opacities), BOOL for BOOL, NSInteger/NSUInteger (long) for enumerations, blocks
//     as block types;
//   - a message is declared in the class that declares it in Apple's headers and sent
//     to any subclass (UIView::setFrame to a button); a protocol's messages in a
//     namespace named as the protocol (UITableViewDataSource);
//   - a class made with the class builder (a front-end's, a stand-in's) registers its
//     methods from these declarations, `.method(ui::UIView::layoutSubviews, &layout)`:
//     the stand-ins' implementations are written from the SDK's headers apart from these
//     declarations, and one whose C++ types differ from the declaration's does not
//     compile (objc/class_builder.hpp), so a wrong type fails on Linux at build time;
//   - every message is listed in the header's table (kUIKitMessages here) as
//     objc::instance_message<Class::message>("Class") or objc::class_message<...>;
//     tests/uikit checks that the class implements each (ui::declaration_mismatches in
//     declarations.hpp), and, for the methods the platform's own runtime provides rather
//     than a stand-in (NSObject's), that their types are the declared ones.
// Product code sends UIKit messages only through these declarations.
#pragma once

#include <objc/objc.h>

#include "common/objc/message.hpp"
#include "common/ui/geometry.hpp"

namespace halvernic::ui {

using NSInteger = long;
using NSUInteger = unsigned long;
using NSTimeInterval = double;

// ---- classes ---------------------------------------------------------------------------
inline constinit objc::ClassName kUIView{"UIView"};
inline constinit objc::ClassName kUIControl{"UIControl"};
inline constinit objc::ClassName kUIButton{"UIButton"};
inline constinit objc::ClassName kUILabel{"UILabel"};
inline constinit objc::ClassName kUIFont{"UIFont"};
inline constinit objc::ClassName kUIColor{"UIColor"};
inline constinit objc::ClassName kUITraitCollection{"UITraitCollection"};
inline constinit objc::ClassName kUIScreen{"UIScreen"};
inline constinit objc::ClassName kUIDevice{"UIDevice"};
inline constinit objc::ClassName kUIViewController{"UIViewController"};
inline constinit objc::ClassName kUITableView{"UITableView"};
inline constinit objc::ClassName kUITableViewCell{"UITableViewCell"};
inline constinit objc::ClassName kNSIndexPath{"NSIndexPath"};
inline constinit objc::ClassName kUIStackView{"UIStackView"};
inline constinit objc::ClassName kUIVisualEffectView{"UIVisualEffectView"};
inline constinit objc::ClassName kUIBlurEffect{"UIBlurEffect"};
inline constinit objc::ClassName kUIImage{"UIImage"};
inline constinit objc::ClassName kUIImageSymbolConfiguration{"UIImageSymbolConfiguration"};
inline constinit objc::ClassName kUIImageView{"UIImageView"};
inline constinit objc::ClassName kUIBezierPath{"UIBezierPath"};
inline constinit objc::ClassName kUISwitch{"UISwitch"};
inline constinit objc::ClassName kUINavigationController{"UINavigationController"};
inline constinit objc::ClassName kUINavigationItem{"UINavigationItem"};

// ---- enumerations (iOS values; tests/uikit checks them against the SDK's headers) -------
using UIViewAutoresizing = NSUInteger;
inline constexpr UIViewAutoresizing UIViewAutoresizingNone = 0;
inline constexpr UIViewAutoresizing UIViewAutoresizingFlexibleLeftMargin = 1 << 0;
inline constexpr UIViewAutoresizing UIViewAutoresizingFlexibleWidth = 1 << 1;
inline constexpr UIViewAutoresizing UIViewAutoresizingFlexibleRightMargin = 1 << 2;
inline constexpr UIViewAutoresizing UIViewAutoresizingFlexibleTopMargin = 1 << 3;
inline constexpr UIViewAutoresizing UIViewAutoresizingFlexibleHeight = 1 << 4;
inline constexpr UIViewAutoresizing UIViewAutoresizingFlexibleBottomMargin = 1 << 5;

using UIViewAnimationOptions = NSUInteger;
inline constexpr UIViewAnimationOptions UIViewAnimationOptionBeginFromCurrentState = 1 << 2;
inline constexpr UIViewAnimationOptions UIViewAnimationOptionCurveEaseInOut = 0 << 16;
inline constexpr UIViewAnimationOptions UIViewAnimationOptionCurveEaseIn = 1 << 16;
inline constexpr UIViewAnimationOptions UIViewAnimationOptionCurveEaseOut = 2 << 16;
inline constexpr UIViewAnimationOptions UIViewAnimationOptionCurveLinear = 3 << 16;

using UIControlEvents = NSUInteger;
inline constexpr UIControlEvents UIControlEventTouchDown = 1 << 0;
inline constexpr UIControlEvents UIControlEventTouchUpInside = 1 << 6;
inline constexpr UIControlEvents UIControlEventTouchUpOutside = 1 << 7;
inline constexpr UIControlEvents UIControlEventValueChanged = 1 << 12;
inline constexpr UIControlEvents UIControlEventPrimaryActionTriggered = 1 << 13;

using UIControlState = NSUInteger;
inline constexpr UIControlState UIControlStateNormal = 0;
inline constexpr UIControlState UIControlStateHighlighted = 1 << 0;
inline constexpr UIControlState UIControlStateDisabled = 1 << 1;
inline constexpr UIControlState UIControlStateSelected = 1 << 2;

using UIControlContentHorizontalAlignment = NSInteger;
inline constexpr UIControlContentHorizontalAlignment UIControlContentHorizontalAlignmentCenter = 0;
inline constexpr UIControlContentHorizontalAlignment UIControlContentHorizontalAlignmentLeft = 1;
inline constexpr UIControlContentHorizontalAlignment UIControlContentHorizontalAlignmentRight = 2;
inline constexpr UIControlContentHorizontalAlignment UIControlContentHorizontalAlignmentFill = 3;
inline constexpr UIControlContentHorizontalAlignment UIControlContentHorizontalAlignmentLeading = 4;
inline constexpr UIControlContentHorizontalAlignment UIControlContentHorizontalAlignmentTrailing = 5;

using UIControlContentVerticalAlignment = NSInteger;
inline constexpr UIControlContentVerticalAlignment UIControlContentVerticalAlignmentCenter = 0;
inline constexpr UIControlContentVerticalAlignment UIControlContentVerticalAlignmentTop = 1;
inline constexpr UIControlContentVerticalAlignment UIControlContentVerticalAlignmentBottom = 2;
inline constexpr UIControlContentVerticalAlignment UIControlContentVerticalAlignmentFill = 3;

using UIButtonType = NSInteger;
inline constexpr UIButtonType UIButtonTypeCustom = 0;
inline constexpr UIButtonType UIButtonTypeSystem = 1;

using NSTextAlignment = NSInteger;
inline constexpr NSTextAlignment NSTextAlignmentLeft = 0;
inline constexpr NSTextAlignment NSTextAlignmentCenter = 1;  // 2 on macOS: iOS's value
inline constexpr NSTextAlignment NSTextAlignmentRight = 2;
inline constexpr NSTextAlignment NSTextAlignmentJustified = 3;
inline constexpr NSTextAlignment NSTextAlignmentNatural = 4;

using UIUserInterfaceStyle = NSInteger;
inline constexpr UIUserInterfaceStyle UIUserInterfaceStyleUnspecified = 0;
inline constexpr UIUserInterfaceStyle UIUserInterfaceStyleLight = 1;
inline constexpr UIUserInterfaceStyle UIUserInterfaceStyleDark = 2;

using UIUserInterfaceIdiom = NSInteger;
inline constexpr UIUserInterfaceIdiom UIUserInterfaceIdiomPhone = 0;
inline constexpr UIUserInterfaceIdiom UIUserInterfaceIdiomPad = 1;

using UIBlurEffectStyle = NSInteger;
inline constexpr UIBlurEffectStyle UIBlurEffectStyleExtraLight = 0;
inline constexpr UIBlurEffectStyle UIBlurEffectStyleLight = 1;
inline constexpr UIBlurEffectStyle UIBlurEffectStyleDark = 2;
inline constexpr UIBlurEffectStyle UIBlurEffectStyleRegular = 4;
inline constexpr UIBlurEffectStyle UIBlurEffectStyleProminent = 5;
inline constexpr UIBlurEffectStyle UIBlurEffectStyleSystemUltraThinMaterial = 6;
inline constexpr UIBlurEffectStyle UIBlurEffectStyleSystemThinMaterial = 7;
inline constexpr UIBlurEffectStyle UIBlurEffectStyleSystemMaterial = 8;

using UIImageSymbolWeight = NSInteger;
inline constexpr UIImageSymbolWeight UIImageSymbolWeightUnspecified = 0;
inline constexpr UIImageSymbolWeight UIImageSymbolWeightRegular = 4;
inline constexpr UIImageSymbolWeight UIImageSymbolWeightMedium = 5;
inline constexpr UIImageSymbolWeight UIImageSymbolWeightSemibold = 6;
inline constexpr UIImageSymbolWeight UIImageSymbolWeightBold = 7;

using UIImageRenderingMode = NSInteger;
inline constexpr UIImageRenderingMode UIImageRenderingModeAutomatic = 0;
inline constexpr UIImageRenderingMode UIImageRenderingModeAlwaysOriginal = 1;
inline constexpr UIImageRenderingMode UIImageRenderingModeAlwaysTemplate = 2;

using UITableViewStyle = NSInteger;
inline constexpr UITableViewStyle UITableViewStylePlain = 0;
inline constexpr UITableViewStyle UITableViewStyleGrouped = 1;
inline constexpr UITableViewStyle UITableViewStyleInsetGrouped = 2;

using UITableViewScrollPosition = NSInteger;
inline constexpr UITableViewScrollPosition UITableViewScrollPositionNone = 0;

using UITableViewCellStyle = NSInteger;
inline constexpr UITableViewCellStyle UITableViewCellStyleDefault = 0;
inline constexpr UITableViewCellStyle UITableViewCellStyleValue1 = 1;
inline constexpr UITableViewCellStyle UITableViewCellStyleValue2 = 2;
inline constexpr UITableViewCellStyle UITableViewCellStyleSubtitle = 3;

using UITableViewCellAccessoryType = NSInteger;
inline constexpr UITableViewCellAccessoryType UITableViewCellAccessoryNone = 0;
inline constexpr UITableViewCellAccessoryType UITableViewCellAccessoryDisclosureIndicator = 1;
inline constexpr UITableViewCellAccessoryType UITableViewCellAccessoryCheckmark = 3;

using UITableViewCellSelectionStyle = NSInteger;
inline constexpr UITableViewCellSelectionStyle UITableViewCellSelectionStyleNone = 0;
inline constexpr UITableViewCellSelectionStyle UITableViewCellSelectionStyleDefault = 3;

using UILayoutConstraintAxis = NSInteger;
inline constexpr UILayoutConstraintAxis UILayoutConstraintAxisHorizontal = 0;
inline constexpr UILayoutConstraintAxis UILayoutConstraintAxisVertical = 1;

using UIFontWeight = CGFloat;

}  // namespace halvernic::ui

// ---- UIKit's C functions and constants ---------------------------------------------------
extern "C" {
void UIGraphicsBeginImageContextWithOptions(CGSize size, BOOL opaque, CGFloat scale);
id UIGraphicsGetImageFromCurrentImageContext(void);  // +0 UIImage
void UIGraphicsEndImageContext(void);
CGContextRef UIGraphicsGetCurrentContext(void);

extern const CGFloat UIFontWeightUltraLight;
extern const CGFloat UIFontWeightThin;
extern const CGFloat UIFontWeightLight;
extern const CGFloat UIFontWeightRegular;
extern const CGFloat UIFontWeightMedium;
extern const CGFloat UIFontWeightSemibold;
extern const CGFloat UIFontWeightBold;
extern const CGFloat UIFontWeightHeavy;
extern const CGFloat UIFontWeightBlack;
}

// ---- messages --------------------------------------------------------------------------
namespace halvernic::ui {

namespace NSObject {
inline constinit objc::Message<id()> alloc{"alloc"};
inline constinit objc::Message<id()> init{"init"};
inline constinit objc::Message<id()> copy{"copy"};
inline constinit objc::Message<id()> mutableCopy{"mutableCopy"};
inline constinit objc::Message<id(id)> valueForKey{"valueForKey:"};
}  // namespace NSObject

namespace UIView {
inline constinit objc::Message<id(CGRect)> initWithFrame{"initWithFrame:"};
inline constinit objc::Message<CGRect()> frame{"frame"};
inline constinit objc::Message<void(CGRect)> setFrame{"setFrame:"};
inline constinit objc::Message<CGRect()> bounds{"bounds"};
inline constinit objc::Message<void(CGRect)> setBounds{"setBounds:"};
inline constinit objc::Message<UIEdgeInsets()> safeAreaInsets{"safeAreaInsets"};
inline constinit objc::Message<CGPoint()> center{"center"};
inline constinit objc::Message<void(CGPoint)> setCenter{"setCenter:"};
inline constinit objc::Message<id()> superview{"superview"};
inline constinit objc::Message<id()> subviews{"subviews"};
inline constinit objc::Message<id()> window{"window"};
inline constinit objc::Message<void(id)> addSubview{"addSubview:"};
inline constinit objc::Message<void(id, NSInteger)> insertSubview_atIndex{"insertSubview:atIndex:"};
inline constinit objc::Message<void()> removeFromSuperview{"removeFromSuperview"};
inline constinit objc::Message<void(id)> bringSubviewToFront{"bringSubviewToFront:"};
inline constinit objc::Message<id()> backgroundColor{"backgroundColor"};
inline constinit objc::Message<void(id)> setBackgroundColor{"setBackgroundColor:"};
inline constinit objc::Message<CGFloat()> alpha{"alpha"};
inline constinit objc::Message<void(CGFloat)> setAlpha{"setAlpha:"};
inline constinit objc::Message<BOOL()> isHidden{"isHidden"};
inline constinit objc::Message<void(BOOL)> setHidden{"setHidden:"};
inline constinit objc::Message<BOOL()> isOpaque{"isOpaque"};
inline constinit objc::Message<void(BOOL)> setOpaque{"setOpaque:"};
inline constinit objc::Message<BOOL()> clipsToBounds{"clipsToBounds"};
inline constinit objc::Message<void(BOOL)> setClipsToBounds{"setClipsToBounds:"};
inline constinit objc::Message<CGAffineTransform()> transform{"transform"};
inline constinit objc::Message<void(CGAffineTransform)> setTransform{"setTransform:"};
inline constinit objc::Message<UIViewAutoresizing()> autoresizingMask{"autoresizingMask"};
inline constinit objc::Message<void(UIViewAutoresizing)> setAutoresizingMask{"setAutoresizingMask:"};
inline constinit objc::Message<BOOL()> autoresizesSubviews{"autoresizesSubviews"};
inline constinit objc::Message<void(BOOL)> setAutoresizesSubviews{"setAutoresizesSubviews:"};
inline constinit objc::Message<NSInteger()> tag{"tag"};
inline constinit objc::Message<void(NSInteger)> setTag{"setTag:"};
inline constinit objc::Message<id(NSInteger)> viewWithTag{"viewWithTag:"};
inline constinit objc::Message<BOOL()> isUserInteractionEnabled{"isUserInteractionEnabled"};
inline constinit objc::Message<void(BOOL)> setUserInteractionEnabled{"setUserInteractionEnabled:"};
inline constinit objc::Message<id()> tintColor{"tintColor"};
inline constinit objc::Message<void(id)> setTintColor{"setTintColor:"};
inline constinit objc::Message<id()> layer{"layer"};
inline constinit objc::Message<id()> traitCollection{"traitCollection"};
inline constinit objc::Message<void(id)> traitCollectionDidChange{"traitCollectionDidChange:"};
inline constinit objc::Message<CGRect(CGRect, id)> convertRect_toCoordinateSpace{"convertRect:toCoordinateSpace:"};
inline constinit objc::Message<CGPoint(CGPoint, id)> convertPoint_toCoordinateSpace{"convertPoint:toCoordinateSpace:"};
inline constinit objc::Message<CGRect(CGRect, id)> convertRect_toView{"convertRect:toView:"};
inline constinit objc::Message<CGPoint(CGPoint, id)> convertPoint_toView{"convertPoint:toView:"};
inline constinit objc::Message<id(CGPoint, id)> hitTest_withEvent{"hitTest:withEvent:"};
inline constinit objc::Message<BOOL(CGPoint, id)> pointInside_withEvent{"pointInside:withEvent:"};
inline constinit objc::Message<CGSize(CGSize)> sizeThatFits{"sizeThatFits:"};
inline constinit objc::Message<void()> sizeToFit{"sizeToFit"};
inline constinit objc::Message<void()> setNeedsLayout{"setNeedsLayout"};
inline constinit objc::Message<void()> layoutIfNeeded{"layoutIfNeeded"};
inline constinit objc::Message<void()> layoutSubviews{"layoutSubviews"};
inline constinit objc::Message<void(id)> didAddSubview{"didAddSubview:"};
inline constinit objc::Message<void(id)> willRemoveSubview{"willRemoveSubview:"};
inline constinit objc::Message<void()> didMoveToSuperview{"didMoveToSuperview"};
inline constinit objc::Message<void()> didMoveToWindow{"didMoveToWindow"};
inline constinit objc::Message<void(NSTimeInterval, void (^)())> animateWithDuration_animations{"animateWithDuration:animations:"};
inline constinit objc::Message<void(NSTimeInterval, void (^)(), void (^)(BOOL))> animateWithDuration_animations_completion{"animateWithDuration:animations:completion:"};
inline constinit objc::Message<void(NSTimeInterval, NSTimeInterval, UIViewAnimationOptions, void (^)(), void (^)(BOOL))> animateWithDuration_delay_options_animations_completion{"animateWithDuration:delay:options:animations:completion:"};
inline constinit objc::Message<void(void (^)())> performWithoutAnimation{"performWithoutAnimation:"};
}  // namespace UIView

namespace UIControl {
inline constinit objc::Message<void(id, SEL, UIControlEvents)> addTarget_action_forControlEvents{"addTarget:action:forControlEvents:"};
inline constinit objc::Message<void(id, SEL, UIControlEvents)> removeTarget_action_forControlEvents{"removeTarget:action:forControlEvents:"};
inline constinit objc::Message<void(UIControlEvents)> sendActionsForControlEvents{"sendActionsForControlEvents:"};
inline constinit objc::Message<void(SEL, id, id)> sendAction_to_forEvent{"sendAction:to:forEvent:"};
inline constinit objc::Message<id()> allTargets{"allTargets"};
inline constinit objc::Message<BOOL()> isEnabled{"isEnabled"};
inline constinit objc::Message<void(BOOL)> setEnabled{"setEnabled:"};
inline constinit objc::Message<BOOL()> isSelected{"isSelected"};
inline constinit objc::Message<void(BOOL)> setSelected{"setSelected:"};
inline constinit objc::Message<BOOL()> isHighlighted{"isHighlighted"};
inline constinit objc::Message<void(BOOL)> setHighlighted{"setHighlighted:"};
inline constinit objc::Message<UIControlState()> state{"state"};
inline constinit objc::Message<UIControlContentHorizontalAlignment()> contentHorizontalAlignment{"contentHorizontalAlignment"};
inline constinit objc::Message<void(UIControlContentHorizontalAlignment)> setContentHorizontalAlignment{"setContentHorizontalAlignment:"};
inline constinit objc::Message<UIControlContentVerticalAlignment()> contentVerticalAlignment{"contentVerticalAlignment"};
inline constinit objc::Message<void(UIControlContentVerticalAlignment)> setContentVerticalAlignment{"setContentVerticalAlignment:"};
}  // namespace UIControl

namespace UIButton {
inline constinit objc::Message<id(UIButtonType)> buttonWithType{"buttonWithType:"};
inline constinit objc::Message<UIButtonType()> buttonType{"buttonType"};
inline constinit objc::Message<void(id, UIControlState)> setTitle_forState{"setTitle:forState:"};
inline constinit objc::Message<id(UIControlState)> titleForState{"titleForState:"};
inline constinit objc::Message<void(id, UIControlState)> setTitleColor_forState{"setTitleColor:forState:"};
inline constinit objc::Message<id(UIControlState)> titleColorForState{"titleColorForState:"};
inline constinit objc::Message<void(id, UIControlState)> setImage_forState{"setImage:forState:"};
inline constinit objc::Message<id(UIControlState)> imageForState{"imageForState:"};
inline constinit objc::Message<id()> currentTitle{"currentTitle"};
inline constinit objc::Message<id()> currentTitleColor{"currentTitleColor"};
inline constinit objc::Message<id()> titleLabel{"titleLabel"};
inline constinit objc::Message<id()> imageView{"imageView"};
inline constinit objc::Message<UIEdgeInsets()> titleEdgeInsets{"titleEdgeInsets"};
inline constinit objc::Message<void(UIEdgeInsets)> setTitleEdgeInsets{"setTitleEdgeInsets:"};
inline constinit objc::Message<UIEdgeInsets()> contentEdgeInsets{"contentEdgeInsets"};
inline constinit objc::Message<void(UIEdgeInsets)> setContentEdgeInsets{"setContentEdgeInsets:"};
}  // namespace UIButton

namespace UILabel {
inline constinit objc::Message<id()> text{"text"};
inline constinit objc::Message<void(id)> setText{"setText:"};
inline constinit objc::Message<id()> textColor{"textColor"};
inline constinit objc::Message<void(id)> setTextColor{"setTextColor:"};
inline constinit objc::Message<id()> font{"font"};
inline constinit objc::Message<void(id)> setFont{"setFont:"};
inline constinit objc::Message<NSTextAlignment()> textAlignment{"textAlignment"};
inline constinit objc::Message<void(NSTextAlignment)> setTextAlignment{"setTextAlignment:"};
inline constinit objc::Message<NSInteger()> numberOfLines{"numberOfLines"};
inline constinit objc::Message<void(NSInteger)> setNumberOfLines{"setNumberOfLines:"};
}  // namespace UILabel

namespace UIFont {
inline constinit objc::Message<id(CGFloat)> systemFontOfSize{"systemFontOfSize:"};
inline constinit objc::Message<id(CGFloat, UIFontWeight)> systemFontOfSize_weight{"systemFontOfSize:weight:"};
inline constinit objc::Message<id(CGFloat)> boldSystemFontOfSize{"boldSystemFontOfSize:"};
inline constinit objc::Message<CGFloat()> pointSize{"pointSize"};
inline constinit objc::Message<id()> fontName{"fontName"};
inline constinit objc::Message<id()> familyName{"familyName"};
}  // namespace UIFont

namespace UIColor {
inline constinit objc::Message<id(CGFloat, CGFloat)> colorWithWhite_alpha{"colorWithWhite:alpha:"};
inline constinit objc::Message<id(CGFloat, CGFloat, CGFloat, CGFloat)> colorWithRed_green_blue_alpha{"colorWithRed:green:blue:alpha:"};
inline constinit objc::Message<id(id (^)(id))> colorWithDynamicProvider{"colorWithDynamicProvider:"};
inline constinit objc::Message<id(CGFloat, CGFloat)> initWithWhite_alpha{"initWithWhite:alpha:"};
inline constinit objc::Message<id(CGFloat, CGFloat, CGFloat, CGFloat)> initWithRed_green_blue_alpha{"initWithRed:green:blue:alpha:"};
inline constinit objc::Message<id(id (^)(id))> initWithDynamicProvider{"initWithDynamicProvider:"};
inline constinit objc::Message<id()> whiteColor{"whiteColor"};
inline constinit objc::Message<id()> blackColor{"blackColor"};
inline constinit objc::Message<id()> clearColor{"clearColor"};
inline constinit objc::Message<id()> grayColor{"grayColor"};
inline constinit objc::Message<id()> redColor{"redColor"};
inline constinit objc::Message<id()> systemOrangeColor{"systemOrangeColor"};
inline constinit objc::Message<id()> systemBlueColor{"systemBlueColor"};
inline constinit objc::Message<id()> systemGreenColor{"systemGreenColor"};
inline constinit objc::Message<id()> systemRedColor{"systemRedColor"};
inline constinit objc::Message<id()> systemGrayColor{"systemGrayColor"};
inline constinit objc::Message<id()> labelColor{"labelColor"};
inline constinit objc::Message<id()> secondaryLabelColor{"secondaryLabelColor"};
inline constinit objc::Message<id()> tertiaryLabelColor{"tertiaryLabelColor"};
inline constinit objc::Message<id()> separatorColor{"separatorColor"};
inline constinit objc::Message<id()> systemBackgroundColor{"systemBackgroundColor"};
inline constinit objc::Message<id()> secondarySystemBackgroundColor{"secondarySystemBackgroundColor"};
inline constinit objc::Message<id()> systemGroupedBackgroundColor{"systemGroupedBackgroundColor"};
inline constinit objc::Message<id()> secondarySystemGroupedBackgroundColor{"secondarySystemGroupedBackgroundColor"};
inline constinit objc::Message<id(id)> resolvedColorWithTraitCollection{"resolvedColorWithTraitCollection:"};
inline constinit objc::Message<id(CGFloat)> colorWithAlphaComponent{"colorWithAlphaComponent:"};
inline constinit objc::Message<BOOL(CGFloat*, CGFloat*, CGFloat*, CGFloat*)> getRed_green_blue_alpha{"getRed:green:blue:alpha:"};
inline constinit objc::Message<BOOL(CGFloat*, CGFloat*)> getWhite_alpha{"getWhite:alpha:"};
inline constinit objc::Message<CGColorRef()> CGColor{"CGColor"};
inline constinit objc::Message<void()> setStroke{"setStroke"};
inline constinit objc::Message<void()> setFill{"setFill"};
inline constinit objc::Message<void()> set{"set"};
}  // namespace UIColor

namespace UITraitCollection {
inline constinit objc::Message<id(UIUserInterfaceStyle)> traitCollectionWithUserInterfaceStyle{"traitCollectionWithUserInterfaceStyle:"};
inline constinit objc::Message<id()> currentTraitCollection{"currentTraitCollection"};
inline constinit objc::Message<void(id)> setCurrentTraitCollection{"setCurrentTraitCollection:"};
inline constinit objc::Message<UIUserInterfaceStyle()> userInterfaceStyle{"userInterfaceStyle"};
inline constinit objc::Message<CGFloat()> displayScale{"displayScale"};
}  // namespace UITraitCollection

namespace UIScreen {
inline constinit objc::Message<id()> mainScreen{"mainScreen"};
inline constinit objc::Message<CGFloat()> scale{"scale"};
inline constinit objc::Message<CGRect()> bounds{"bounds"};
}  // namespace UIScreen

namespace UIDevice {
inline constinit objc::Message<id()> currentDevice{"currentDevice"};
inline constinit objc::Message<id()> systemVersion{"systemVersion"};
inline constinit objc::Message<id()> systemName{"systemName"};
inline constinit objc::Message<UIUserInterfaceIdiom()> userInterfaceIdiom{"userInterfaceIdiom"};
}  // namespace UIDevice

namespace UIViewController {
inline constinit objc::Message<id(id, id)> initWithNibName_bundle{"initWithNibName:bundle:"};
inline constinit objc::Message<id(id)> initWithCoder{"initWithCoder:"};
inline constinit objc::Message<id()> view{"view"};
inline constinit objc::Message<void(id)> setView{"setView:"};
inline constinit objc::Message<id()> viewIfLoaded{"viewIfLoaded"};
inline constinit objc::Message<BOOL()> isViewLoaded{"isViewLoaded"};
inline constinit objc::Message<void()> loadView{"loadView"};
inline constinit objc::Message<void()> loadViewIfNeeded{"loadViewIfNeeded"};
inline constinit objc::Message<void()> viewDidLoad{"viewDidLoad"};
inline constinit objc::Message<void(BOOL)> viewWillAppear{"viewWillAppear:"};
inline constinit objc::Message<void(BOOL)> viewDidAppear{"viewDidAppear:"};
inline constinit objc::Message<void(BOOL)> viewWillDisappear{"viewWillDisappear:"};
inline constinit objc::Message<void(BOOL)> viewDidDisappear{"viewDidDisappear:"};
inline constinit objc::Message<id()> title{"title"};
inline constinit objc::Message<void(id)> setTitle{"setTitle:"};
inline constinit objc::Message<id()> traitCollection{"traitCollection"};
inline constinit objc::Message<void(id)> traitCollectionDidChange{"traitCollectionDidChange:"};
inline constinit objc::Message<CGSize()> preferredContentSize{"preferredContentSize"};
inline constinit objc::Message<void(CGSize)> setPreferredContentSize{"setPreferredContentSize:"};
inline constinit objc::Message<id()> parentViewController{"parentViewController"};
// UINavigationControllerItem (a category in UINavigationController.h).
inline constinit objc::Message<id()> navigationItem{"navigationItem"};
inline constinit objc::Message<id()> navigationController{"navigationController"};
}  // namespace UIViewController

namespace UINavigationController {
inline constinit objc::Message<id(id)> initWithRootViewController{"initWithRootViewController:"};
inline constinit objc::Message<void(id, BOOL)> pushViewController_animated{"pushViewController:animated:"};
inline constinit objc::Message<id(BOOL)> popViewControllerAnimated{"popViewControllerAnimated:"};
inline constinit objc::Message<id()> topViewController{"topViewController"};
inline constinit objc::Message<id()> visibleViewController{"visibleViewController"};
inline constinit objc::Message<id()> viewControllers{"viewControllers"};
inline constinit objc::Message<id()> navigationBar{"navigationBar"};
}  // namespace UINavigationController

namespace UINavigationItem {
inline constinit objc::Message<id(id)> initWithTitle{"initWithTitle:"};
inline constinit objc::Message<id()> title{"title"};
inline constinit objc::Message<void(id)> setTitle{"setTitle:"};
inline constinit objc::Message<id()> backButtonTitle{"backButtonTitle"};
inline constinit objc::Message<void(id)> setBackButtonTitle{"setBackButtonTitle:"};
}  // namespace UINavigationItem

namespace UITableView {
inline constinit objc::Message<id(CGRect, UITableViewStyle)> initWithFrame_style{"initWithFrame:style:"};
inline constinit objc::Message<UITableViewStyle()> style{"style"};
inline constinit objc::Message<id()> dataSource{"dataSource"};
inline constinit objc::Message<void(id)> setDataSource{"setDataSource:"};
inline constinit objc::Message<id()> delegate{"delegate"};
inline constinit objc::Message<void(id)> setDelegate{"setDelegate:"};
inline constinit objc::Message<void()> reloadData{"reloadData"};
inline constinit objc::Message<NSInteger()> numberOfSections{"numberOfSections"};
inline constinit objc::Message<NSInteger(NSInteger)> numberOfRowsInSection{"numberOfRowsInSection:"};
inline constinit objc::Message<id(id)> cellForRowAtIndexPath{"cellForRowAtIndexPath:"};
inline constinit objc::Message<id(id)> indexPathForCell{"indexPathForCell:"};
inline constinit objc::Message<id()> visibleCells{"visibleCells"};
inline constinit objc::Message<CGRect(id)> rectForRowAtIndexPath{"rectForRowAtIndexPath:"};
inline constinit objc::Message<void(id, BOOL, UITableViewScrollPosition)> selectRowAtIndexPath_animated_scrollPosition{"selectRowAtIndexPath:animated:scrollPosition:"};
inline constinit objc::Message<void(id, BOOL)> deselectRowAtIndexPath_animated{"deselectRowAtIndexPath:animated:"};
inline constinit objc::Message<id()> indexPathForSelectedRow{"indexPathForSelectedRow"};
inline constinit objc::Message<CGFloat()> rowHeight{"rowHeight"};
inline constinit objc::Message<void(CGFloat)> setRowHeight{"setRowHeight:"};
inline constinit objc::Message<id(id)> dequeueReusableCellWithIdentifier{"dequeueReusableCellWithIdentifier:"};
}  // namespace UITableView

// UITableViewDataSource (a protocol: sent to the table's data source).
namespace UITableViewDataSource {
inline constinit objc::Message<NSInteger(id)> numberOfSectionsInTableView{"numberOfSectionsInTableView:"};
inline constinit objc::Message<NSInteger(id, NSInteger)> tableView_numberOfRowsInSection{"tableView:numberOfRowsInSection:"};
inline constinit objc::Message<id(id, id)> tableView_cellForRowAtIndexPath{"tableView:cellForRowAtIndexPath:"};
inline constinit objc::Message<id(id, NSInteger)> tableView_titleForHeaderInSection{"tableView:titleForHeaderInSection:"};
inline constinit objc::Message<id(id, NSInteger)> tableView_titleForFooterInSection{"tableView:titleForFooterInSection:"};
}  // namespace UITableViewDataSource

// UITableViewDelegate (a protocol: sent to the table's delegate).
namespace UITableViewDelegate {
inline constinit objc::Message<void(id, id)> tableView_didSelectRowAtIndexPath{"tableView:didSelectRowAtIndexPath:"};
}  // namespace UITableViewDelegate

namespace UISwitch {
inline constinit objc::Message<BOOL()> isOn{"isOn"};
inline constinit objc::Message<void(BOOL)> setOn{"setOn:"};
inline constinit objc::Message<void(BOOL, BOOL)> setOn_animated{"setOn:animated:"};
}  // namespace UISwitch

namespace UITableViewCell {
inline constinit objc::Message<id(UITableViewCellStyle, id)> initWithStyle_reuseIdentifier{"initWithStyle:reuseIdentifier:"};
inline constinit objc::Message<id()> reuseIdentifier{"reuseIdentifier"};
inline constinit objc::Message<id()> textLabel{"textLabel"};
inline constinit objc::Message<id()> detailTextLabel{"detailTextLabel"};
inline constinit objc::Message<id()> contentView{"contentView"};
inline constinit objc::Message<UITableViewCellAccessoryType()> accessoryType{"accessoryType"};
inline constinit objc::Message<void(UITableViewCellAccessoryType)> setAccessoryType{"setAccessoryType:"};
inline constinit objc::Message<id()> accessoryView{"accessoryView"};
inline constinit objc::Message<void(id)> setAccessoryView{"setAccessoryView:"};
inline constinit objc::Message<UITableViewCellSelectionStyle()> selectionStyle{"selectionStyle"};
inline constinit objc::Message<void(UITableViewCellSelectionStyle)> setSelectionStyle{"setSelectionStyle:"};
inline constinit objc::Message<BOOL()> isSelected{"isSelected"};
inline constinit objc::Message<void(BOOL, BOOL)> setSelected_animated{"setSelected:animated:"};
}  // namespace UITableViewCell

namespace NSIndexPath {
inline constinit objc::Message<id(NSInteger, NSInteger)> indexPathForRow_inSection{"indexPathForRow:inSection:"};
inline constinit objc::Message<NSInteger()> row{"row"};
inline constinit objc::Message<NSInteger()> section{"section"};
}  // namespace NSIndexPath

namespace UIStackView {
inline constinit objc::Message<id(id)> initWithArrangedSubviews{"initWithArrangedSubviews:"};
inline constinit objc::Message<id()> arrangedSubviews{"arrangedSubviews"};
inline constinit objc::Message<void(id)> addArrangedSubview{"addArrangedSubview:"};
inline constinit objc::Message<void(id)> removeArrangedSubview{"removeArrangedSubview:"};
inline constinit objc::Message<void(id, NSUInteger)> insertArrangedSubview_atIndex{"insertArrangedSubview:atIndex:"};
inline constinit objc::Message<UILayoutConstraintAxis()> axis{"axis"};
inline constinit objc::Message<void(UILayoutConstraintAxis)> setAxis{"setAxis:"};
inline constinit objc::Message<CGFloat()> spacing{"spacing"};
inline constinit objc::Message<void(CGFloat)> setSpacing{"setSpacing:"};
}  // namespace UIStackView

namespace UIVisualEffectView {
inline constinit objc::Message<id(id)> initWithEffect{"initWithEffect:"};
inline constinit objc::Message<id()> effect{"effect"};
inline constinit objc::Message<id()> contentView{"contentView"};
}  // namespace UIVisualEffectView

namespace UIBlurEffect {
inline constinit objc::Message<id(UIBlurEffectStyle)> effectWithStyle{"effectWithStyle:"};
}  // namespace UIBlurEffect

namespace UIImage {
inline constinit objc::Message<id(id)> systemImageNamed{"systemImageNamed:"};
inline constinit objc::Message<id(id, id)> systemImageNamed_withConfiguration{"systemImageNamed:withConfiguration:"};
inline constinit objc::Message<id(id)> imageNamed{"imageNamed:"};
inline constinit objc::Message<CGSize()> size{"size"};
inline constinit objc::Message<CGFloat()> scale{"scale"};
inline constinit objc::Message<BOOL()> isSymbolImage{"isSymbolImage"};
inline constinit objc::Message<UIImageRenderingMode()> renderingMode{"renderingMode"};
inline constinit objc::Message<id(UIImageRenderingMode)> imageWithRenderingMode{"imageWithRenderingMode:"};
inline constinit objc::Message<id(id)> imageWithTintColor{"imageWithTintColor:"};
}  // namespace UIImage

namespace UIImageSymbolConfiguration {
inline constinit objc::Message<id(CGFloat)> configurationWithPointSize{"configurationWithPointSize:"};
inline constinit objc::Message<id(CGFloat, UIImageSymbolWeight)> configurationWithPointSize_weight{"configurationWithPointSize:weight:"};
inline constinit objc::Message<id(UIImageSymbolWeight)> configurationWithWeight{"configurationWithWeight:"};
}  // namespace UIImageSymbolConfiguration

namespace UIImageView {
inline constinit objc::Message<id(id)> initWithImage{"initWithImage:"};
inline constinit objc::Message<id()> image{"image"};
inline constinit objc::Message<void(id)> setImage{"setImage:"};
}  // namespace UIImageView

namespace UIBezierPath {
inline constinit objc::Message<id()> bezierPath{"bezierPath"};
inline constinit objc::Message<id(CGRect)> bezierPathWithRect{"bezierPathWithRect:"};
inline constinit objc::Message<id(CGRect, CGFloat)> bezierPathWithRoundedRect_cornerRadius{"bezierPathWithRoundedRect:cornerRadius:"};
inline constinit objc::Message<void(CGPoint)> moveToPoint{"moveToPoint:"};
inline constinit objc::Message<void(CGPoint)> addLineToPoint{"addLineToPoint:"};
inline constinit objc::Message<void(CGPoint, CGPoint, CGPoint)> addCurveToPoint_controlPoint1_controlPoint2{"addCurveToPoint:controlPoint1:controlPoint2:"};
inline constinit objc::Message<void(CGPoint, CGPoint)> addQuadCurveToPoint_controlPoint{"addQuadCurveToPoint:controlPoint:"};
inline constinit objc::Message<void()> closePath{"closePath"};
inline constinit objc::Message<CGFloat()> lineWidth{"lineWidth"};
inline constinit objc::Message<void(CGFloat)> setLineWidth{"setLineWidth:"};
inline constinit objc::Message<CGLineCap()> lineCapStyle{"lineCapStyle"};
inline constinit objc::Message<void(CGLineCap)> setLineCapStyle{"setLineCapStyle:"};
inline constinit objc::Message<CGLineJoin()> lineJoinStyle{"lineJoinStyle"};
inline constinit objc::Message<void(CGLineJoin)> setLineJoinStyle{"setLineJoinStyle:"};
inline constinit objc::Message<void()> stroke{"stroke"};
inline constinit objc::Message<void()> fill{"fill"};
inline constinit objc::Message<CGPathRef()> CGPath{"CGPath"};
inline constinit objc::Message<CGRect()> bounds{"bounds"};
inline constinit objc::Message<BOOL()> isEmpty{"isEmpty"};
}  // namespace UIBezierPath

// Every message above with the class that declares it (for the encoding test).
inline constexpr objc::MessageInfo kUIKitMessages[] = {
    objc::class_message<NSObject::alloc>("NSObject"),
    objc::instance_message<NSObject::init>("NSObject"),
    objc::instance_message<NSObject::copy>("NSObject"),
    objc::instance_message<NSObject::mutableCopy>("NSObject"),
    objc::instance_message<NSObject::valueForKey>("NSObject"),
    objc::instance_message<UIView::initWithFrame>("UIView"),
    objc::instance_message<UIView::frame>("UIView"),
    objc::instance_message<UIView::setFrame>("UIView"),
    objc::instance_message<UIView::bounds>("UIView"),
    objc::instance_message<UIView::setBounds>("UIView"),
    objc::instance_message<UIView::safeAreaInsets>("UIView"),
    objc::instance_message<UIView::center>("UIView"),
    objc::instance_message<UIView::setCenter>("UIView"),
    objc::instance_message<UIView::superview>("UIView"),
    objc::instance_message<UIView::subviews>("UIView"),
    objc::instance_message<UIView::window>("UIView"),
    objc::instance_message<UIView::addSubview>("UIView"),
    objc::instance_message<UIView::insertSubview_atIndex>("UIView"),
    objc::instance_message<UIView::removeFromSuperview>("UIView"),
    objc::instance_message<UIView::bringSubviewToFront>("UIView"),
    objc::instance_message<UIView::backgroundColor>("UIView"),
    objc::instance_message<UIView::setBackgroundColor>("UIView"),
    objc::instance_message<UIView::alpha>("UIView"),
    objc::instance_message<UIView::setAlpha>("UIView"),
    objc::instance_message<UIView::isHidden>("UIView"),
    objc::instance_message<UIView::setHidden>("UIView"),
    objc::instance_message<UIView::isOpaque>("UIView"),
    objc::instance_message<UIView::setOpaque>("UIView"),
    objc::instance_message<UIView::clipsToBounds>("UIView"),
    objc::instance_message<UIView::setClipsToBounds>("UIView"),
    objc::instance_message<UIView::transform>("UIView"),
    objc::instance_message<UIView::setTransform>("UIView"),
    objc::instance_message<UIView::autoresizingMask>("UIView"),
    objc::instance_message<UIView::setAutoresizingMask>("UIView"),
    objc::instance_message<UIView::autoresizesSubviews>("UIView"),
    objc::instance_message<UIView::setAutoresizesSubviews>("UIView"),
    objc::instance_message<UIView::tag>("UIView"),
    objc::instance_message<UIView::setTag>("UIView"),
    objc::instance_message<UIView::viewWithTag>("UIView"),
    objc::instance_message<UIView::isUserInteractionEnabled>("UIView"),
    objc::instance_message<UIView::setUserInteractionEnabled>("UIView"),
    objc::instance_message<UIView::tintColor>("UIView"),
    objc::instance_message<UIView::setTintColor>("UIView"),
    objc::instance_message<UIView::layer>("UIView"),
    objc::instance_message<UIView::traitCollection>("UIView"),
    objc::instance_message<UIView::traitCollectionDidChange>("UIView"),
    objc::instance_message<UIView::convertRect_toCoordinateSpace>("UIView"),
    objc::instance_message<UIView::convertPoint_toCoordinateSpace>("UIView"),
    objc::instance_message<UIView::convertRect_toView>("UIView"),
    objc::instance_message<UIView::convertPoint_toView>("UIView"),
    objc::instance_message<UIView::hitTest_withEvent>("UIView"),
    objc::instance_message<UIView::pointInside_withEvent>("UIView"),
    objc::instance_message<UIView::sizeThatFits>("UIView"),
    objc::instance_message<UIView::sizeToFit>("UIView"),
    objc::instance_message<UIView::setNeedsLayout>("UIView"),
    objc::instance_message<UIView::layoutIfNeeded>("UIView"),
    objc::instance_message<UIView::layoutSubviews>("UIView"),
    objc::instance_message<UIView::didAddSubview>("UIView"),
    objc::instance_message<UIView::willRemoveSubview>("UIView"),
    objc::instance_message<UIView::didMoveToSuperview>("UIView"),
    objc::instance_message<UIView::didMoveToWindow>("UIView"),
    objc::class_message<UIView::animateWithDuration_animations>("UIView"),
    objc::class_message<UIView::animateWithDuration_animations_completion>("UIView"),
    objc::class_message<UIView::animateWithDuration_delay_options_animations_completion>("UIView"),
    objc::class_message<UIView::performWithoutAnimation>("UIView"),
    objc::instance_message<UIControl::addTarget_action_forControlEvents>("UIControl"),
    objc::instance_message<UIControl::removeTarget_action_forControlEvents>("UIControl"),
    objc::instance_message<UIControl::sendActionsForControlEvents>("UIControl"),
    objc::instance_message<UIControl::sendAction_to_forEvent>("UIControl"),
    objc::instance_message<UIControl::allTargets>("UIControl"),
    objc::instance_message<UIControl::isEnabled>("UIControl"),
    objc::instance_message<UIControl::setEnabled>("UIControl"),
    objc::instance_message<UIControl::isSelected>("UIControl"),
    objc::instance_message<UIControl::setSelected>("UIControl"),
    objc::instance_message<UIControl::isHighlighted>("UIControl"),
    objc::instance_message<UIControl::setHighlighted>("UIControl"),
    objc::instance_message<UIControl::state>("UIControl"),
    objc::instance_message<UIControl::contentHorizontalAlignment>("UIControl"),
    objc::instance_message<UIControl::setContentHorizontalAlignment>("UIControl"),
    objc::instance_message<UIControl::contentVerticalAlignment>("UIControl"),
    objc::instance_message<UIControl::setContentVerticalAlignment>("UIControl"),
    objc::class_message<UIButton::buttonWithType>("UIButton"),
    objc::instance_message<UIButton::buttonType>("UIButton"),
    objc::instance_message<UIButton::setTitle_forState>("UIButton"),
    objc::instance_message<UIButton::titleForState>("UIButton"),
    objc::instance_message<UIButton::setTitleColor_forState>("UIButton"),
    objc::instance_message<UIButton::titleColorForState>("UIButton"),
    objc::instance_message<UIButton::setImage_forState>("UIButton"),
    objc::instance_message<UIButton::imageForState>("UIButton"),
    objc::instance_message<UIButton::currentTitle>("UIButton"),
    objc::instance_message<UIButton::currentTitleColor>("UIButton"),
    objc::instance_message<UIButton::titleLabel>("UIButton"),
    objc::instance_message<UIButton::imageView>("UIButton"),
    objc::instance_message<UIButton::titleEdgeInsets>("UIButton"),
    objc::instance_message<UIButton::setTitleEdgeInsets>("UIButton"),
    objc::instance_message<UIButton::contentEdgeInsets>("UIButton"),
    objc::instance_message<UIButton::setContentEdgeInsets>("UIButton"),
    objc::instance_message<UILabel::text>("UILabel"),
    objc::instance_message<UILabel::setText>("UILabel"),
    objc::instance_message<UILabel::textColor>("UILabel"),
    objc::instance_message<UILabel::setTextColor>("UILabel"),
    objc::instance_message<UILabel::font>("UILabel"),
    objc::instance_message<UILabel::setFont>("UILabel"),
    objc::instance_message<UILabel::textAlignment>("UILabel"),
    objc::instance_message<UILabel::setTextAlignment>("UILabel"),
    objc::instance_message<UILabel::numberOfLines>("UILabel"),
    objc::instance_message<UILabel::setNumberOfLines>("UILabel"),
    objc::class_message<UIFont::systemFontOfSize>("UIFont"),
    objc::class_message<UIFont::systemFontOfSize_weight>("UIFont"),
    objc::class_message<UIFont::boldSystemFontOfSize>("UIFont"),
    objc::instance_message<UIFont::pointSize>("UIFont"),
    objc::instance_message<UIFont::fontName>("UIFont"),
    objc::instance_message<UIFont::familyName>("UIFont"),
    objc::class_message<UIColor::colorWithWhite_alpha>("UIColor"),
    objc::class_message<UIColor::colorWithRed_green_blue_alpha>("UIColor"),
    objc::class_message<UIColor::colorWithDynamicProvider>("UIColor"),
    objc::instance_message<UIColor::initWithWhite_alpha>("UIColor"),
    objc::instance_message<UIColor::initWithRed_green_blue_alpha>("UIColor"),
    objc::instance_message<UIColor::initWithDynamicProvider>("UIColor"),
    objc::class_message<UIColor::whiteColor>("UIColor"),
    objc::class_message<UIColor::blackColor>("UIColor"),
    objc::class_message<UIColor::clearColor>("UIColor"),
    objc::class_message<UIColor::grayColor>("UIColor"),
    objc::class_message<UIColor::redColor>("UIColor"),
    objc::class_message<UIColor::systemOrangeColor>("UIColor"),
    objc::class_message<UIColor::systemBlueColor>("UIColor"),
    objc::class_message<UIColor::systemGreenColor>("UIColor"),
    objc::class_message<UIColor::systemRedColor>("UIColor"),
    objc::class_message<UIColor::systemGrayColor>("UIColor"),
    objc::class_message<UIColor::labelColor>("UIColor"),
    objc::class_message<UIColor::secondaryLabelColor>("UIColor"),
    objc::class_message<UIColor::tertiaryLabelColor>("UIColor"),
    objc::class_message<UIColor::separatorColor>("UIColor"),
    objc::class_message<UIColor::systemBackgroundColor>("UIColor"),
    objc::class_message<UIColor::secondarySystemBackgroundColor>("UIColor"),
    objc::class_message<UIColor::systemGroupedBackgroundColor>("UIColor"),
    objc::class_message<UIColor::secondarySystemGroupedBackgroundColor>("UIColor"),
    objc::instance_message<UIColor::resolvedColorWithTraitCollection>("UIColor"),
    objc::instance_message<UIColor::colorWithAlphaComponent>("UIColor"),
    objc::instance_message<UIColor::getRed_green_blue_alpha>("UIColor"),
    objc::instance_message<UIColor::getWhite_alpha>("UIColor"),
    objc::instance_message<UIColor::CGColor>("UIColor"),
    objc::instance_message<UIColor::setStroke>("UIColor"),
    objc::instance_message<UIColor::setFill>("UIColor"),
    objc::instance_message<UIColor::set>("UIColor"),
    objc::class_message<UITraitCollection::traitCollectionWithUserInterfaceStyle>("UITraitCollection"),
    objc::class_message<UITraitCollection::currentTraitCollection>("UITraitCollection"),
    objc::class_message<UITraitCollection::setCurrentTraitCollection>("UITraitCollection"),
    objc::instance_message<UITraitCollection::userInterfaceStyle>("UITraitCollection"),
    objc::instance_message<UITraitCollection::displayScale>("UITraitCollection"),
    objc::class_message<UIScreen::mainScreen>("UIScreen"),
    objc::instance_message<UIScreen::scale>("UIScreen"),
    objc::instance_message<UIScreen::bounds>("UIScreen"),
    objc::class_message<UIDevice::currentDevice>("UIDevice"),
    objc::instance_message<UIDevice::systemVersion>("UIDevice"),
    objc::instance_message<UIDevice::systemName>("UIDevice"),
    objc::instance_message<UIDevice::userInterfaceIdiom>("UIDevice"),
    objc::instance_message<UIViewController::initWithNibName_bundle>("UIViewController"),
    objc::instance_message<UIViewController::initWithCoder>("UIViewController"),
    objc::instance_message<UIViewController::view>("UIViewController"),
    objc::instance_message<UIViewController::setView>("UIViewController"),
    objc::instance_message<UIViewController::viewIfLoaded>("UIViewController"),
    objc::instance_message<UIViewController::isViewLoaded>("UIViewController"),
    objc::instance_message<UIViewController::loadView>("UIViewController"),
    objc::instance_message<UIViewController::loadViewIfNeeded>("UIViewController"),
    objc::instance_message<UIViewController::viewDidLoad>("UIViewController"),
    objc::instance_message<UIViewController::viewWillAppear>("UIViewController"),
    objc::instance_message<UIViewController::viewDidAppear>("UIViewController"),
    objc::instance_message<UIViewController::viewWillDisappear>("UIViewController"),
    objc::instance_message<UIViewController::viewDidDisappear>("UIViewController"),
    objc::instance_message<UIViewController::title>("UIViewController"),
    objc::instance_message<UIViewController::setTitle>("UIViewController"),
    objc::instance_message<UIViewController::traitCollection>("UIViewController"),
    objc::instance_message<UIViewController::preferredContentSize>("UIViewController"),
    objc::instance_message<UIViewController::setPreferredContentSize>("UIViewController"),
    objc::instance_message<UIViewController::parentViewController>("UIViewController"),
    objc::instance_message<UIViewController::traitCollectionDidChange>("UIViewController"),
    objc::instance_message<UIViewController::navigationItem>("UIViewController"),
    objc::instance_message<UIViewController::navigationController>("UIViewController"),
    objc::instance_message<UINavigationController::initWithRootViewController>("UINavigationController"),
    objc::instance_message<UINavigationController::pushViewController_animated>("UINavigationController"),
    objc::instance_message<UINavigationController::popViewControllerAnimated>("UINavigationController"),
    objc::instance_message<UINavigationController::topViewController>("UINavigationController"),
    objc::instance_message<UINavigationController::visibleViewController>("UINavigationController"),
    objc::instance_message<UINavigationController::viewControllers>("UINavigationController"),
    objc::instance_message<UINavigationController::navigationBar>("UINavigationController"),
    objc::instance_message<UINavigationItem::initWithTitle>("UINavigationItem"),
    objc::instance_message<UINavigationItem::title>("UINavigationItem"),
    objc::instance_message<UINavigationItem::setTitle>("UINavigationItem"),
    objc::instance_message<UINavigationItem::backButtonTitle>("UINavigationItem"),
    objc::instance_message<UINavigationItem::setBackButtonTitle>("UINavigationItem"),
    objc::instance_message<UITableView::initWithFrame_style>("UITableView"),
    objc::instance_message<UITableView::style>("UITableView"),
    objc::instance_message<UITableView::dataSource>("UITableView"),
    objc::instance_message<UITableView::setDataSource>("UITableView"),
    objc::instance_message<UITableView::delegate>("UITableView"),
    objc::instance_message<UITableView::setDelegate>("UITableView"),
    objc::instance_message<UITableView::reloadData>("UITableView"),
    objc::instance_message<UITableView::numberOfSections>("UITableView"),
    objc::instance_message<UITableView::numberOfRowsInSection>("UITableView"),
    objc::instance_message<UITableView::cellForRowAtIndexPath>("UITableView"),
    objc::instance_message<UITableView::indexPathForCell>("UITableView"),
    objc::instance_message<UITableView::visibleCells>("UITableView"),
    objc::instance_message<UITableView::rectForRowAtIndexPath>("UITableView"),
    objc::instance_message<UITableView::selectRowAtIndexPath_animated_scrollPosition>("UITableView"),
    objc::instance_message<UITableView::deselectRowAtIndexPath_animated>("UITableView"),
    objc::instance_message<UITableView::indexPathForSelectedRow>("UITableView"),
    objc::instance_message<UITableView::rowHeight>("UITableView"),
    objc::instance_message<UITableView::setRowHeight>("UITableView"),
    objc::instance_message<UITableView::dequeueReusableCellWithIdentifier>("UITableView"),
    objc::instance_message<UISwitch::isOn>("UISwitch"),
    objc::instance_message<UISwitch::setOn>("UISwitch"),
    objc::instance_message<UISwitch::setOn_animated>("UISwitch"),
    objc::instance_message<UITableViewCell::initWithStyle_reuseIdentifier>("UITableViewCell"),
    objc::instance_message<UITableViewCell::reuseIdentifier>("UITableViewCell"),
    objc::instance_message<UITableViewCell::textLabel>("UITableViewCell"),
    objc::instance_message<UITableViewCell::detailTextLabel>("UITableViewCell"),
    objc::instance_message<UITableViewCell::contentView>("UITableViewCell"),
    objc::instance_message<UITableViewCell::accessoryType>("UITableViewCell"),
    objc::instance_message<UITableViewCell::setAccessoryType>("UITableViewCell"),
    objc::instance_message<UITableViewCell::accessoryView>("UITableViewCell"),
    objc::instance_message<UITableViewCell::setAccessoryView>("UITableViewCell"),
    objc::instance_message<UITableViewCell::selectionStyle>("UITableViewCell"),
    objc::instance_message<UITableViewCell::setSelectionStyle>("UITableViewCell"),
    objc::instance_message<UITableViewCell::isSelected>("UITableViewCell"),
    objc::instance_message<UITableViewCell::setSelected_animated>("UITableViewCell"),
    objc::class_message<NSIndexPath::indexPathForRow_inSection>("NSIndexPath"),
    objc::instance_message<NSIndexPath::row>("NSIndexPath"),
    objc::instance_message<NSIndexPath::section>("NSIndexPath"),
    objc::instance_message<UIStackView::initWithArrangedSubviews>("UIStackView"),
    objc::instance_message<UIStackView::arrangedSubviews>("UIStackView"),
    objc::instance_message<UIStackView::addArrangedSubview>("UIStackView"),
    objc::instance_message<UIStackView::removeArrangedSubview>("UIStackView"),
    objc::instance_message<UIStackView::insertArrangedSubview_atIndex>("UIStackView"),
    objc::instance_message<UIStackView::axis>("UIStackView"),
    objc::instance_message<UIStackView::setAxis>("UIStackView"),
    objc::instance_message<UIStackView::spacing>("UIStackView"),
    objc::instance_message<UIStackView::setSpacing>("UIStackView"),
    objc::instance_message<UIVisualEffectView::initWithEffect>("UIVisualEffectView"),
    objc::instance_message<UIVisualEffectView::effect>("UIVisualEffectView"),
    objc::instance_message<UIVisualEffectView::contentView>("UIVisualEffectView"),
    objc::class_message<UIBlurEffect::effectWithStyle>("UIBlurEffect"),
    objc::class_message<UIImage::systemImageNamed>("UIImage"),
    objc::class_message<UIImage::systemImageNamed_withConfiguration>("UIImage"),
    objc::class_message<UIImage::imageNamed>("UIImage"),
    objc::instance_message<UIImage::size>("UIImage"),
    objc::instance_message<UIImage::scale>("UIImage"),
    objc::instance_message<UIImage::isSymbolImage>("UIImage"),
    objc::instance_message<UIImage::renderingMode>("UIImage"),
    objc::instance_message<UIImage::imageWithRenderingMode>("UIImage"),
    objc::instance_message<UIImage::imageWithTintColor>("UIImage"),
    objc::class_message<UIImageSymbolConfiguration::configurationWithPointSize>("UIImageSymbolConfiguration"),
    objc::class_message<UIImageSymbolConfiguration::configurationWithPointSize_weight>("UIImageSymbolConfiguration"),
    objc::class_message<UIImageSymbolConfiguration::configurationWithWeight>("UIImageSymbolConfiguration"),
    objc::instance_message<UIImageView::initWithImage>("UIImageView"),
    objc::instance_message<UIImageView::image>("UIImageView"),
    objc::instance_message<UIImageView::setImage>("UIImageView"),
    objc::class_message<UIBezierPath::bezierPath>("UIBezierPath"),
    objc::class_message<UIBezierPath::bezierPathWithRect>("UIBezierPath"),
    objc::class_message<UIBezierPath::bezierPathWithRoundedRect_cornerRadius>("UIBezierPath"),
    objc::instance_message<UIBezierPath::moveToPoint>("UIBezierPath"),
    objc::instance_message<UIBezierPath::addLineToPoint>("UIBezierPath"),
    objc::instance_message<UIBezierPath::addCurveToPoint_controlPoint1_controlPoint2>("UIBezierPath"),
    objc::instance_message<UIBezierPath::addQuadCurveToPoint_controlPoint>("UIBezierPath"),
    objc::instance_message<UIBezierPath::closePath>("UIBezierPath"),
    objc::instance_message<UIBezierPath::lineWidth>("UIBezierPath"),
    objc::instance_message<UIBezierPath::setLineWidth>("UIBezierPath"),
    objc::instance_message<UIBezierPath::lineCapStyle>("UIBezierPath"),
    objc::instance_message<UIBezierPath::setLineCapStyle>("UIBezierPath"),
    objc::instance_message<UIBezierPath::lineJoinStyle>("UIBezierPath"),
    objc::instance_message<UIBezierPath::setLineJoinStyle>("UIBezierPath"),
    objc::instance_message<UIBezierPath::stroke>("UIBezierPath"),
    objc::instance_message<UIBezierPath::fill>("UIBezierPath"),
    objc::instance_message<UIBezierPath::CGPath>("UIBezierPath"),
    objc::instance_message<UIBezierPath::bounds>("UIBezierPath"),
    objc::instance_message<UIBezierPath::isEmpty>("UIBezierPath"),
};

}  // namespace halvernic::ui
