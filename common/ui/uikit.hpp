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
//     objc::instanceMessage<Class::message>("Class") or objc::classMessage<...>;
//     tests/uikit checks that the class implements each (ui::declarationMismatches in
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
inline constexpr UIControlContentHorizontalAlignment UIControlContentHorizontalAlignmentTrailing =
    5;

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
inline constinit objc::Message<void(UIViewAutoresizing)> setAutoresizingMask{
    "setAutoresizingMask:"};
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
inline constinit objc::Message<CGRect(CGRect, id)> convertRect_toCoordinateSpace{
    "convertRect:toCoordinateSpace:"};
inline constinit objc::Message<CGPoint(CGPoint, id)> convertPoint_toCoordinateSpace{
    "convertPoint:toCoordinateSpace:"};
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
inline constinit objc::Message<void(NSTimeInterval, void (^)())> animateWithDuration_animations{
    "animateWithDuration:animations:"};
inline constinit objc::Message<void(NSTimeInterval, void (^)(), void (^)(BOOL))>
    animateWithDuration_animations_completion{"animateWithDuration:animations:completion:"};
inline constinit objc::Message<void(NSTimeInterval, NSTimeInterval, UIViewAnimationOptions,
                                    void (^)(), void (^)(BOOL))>
    animateWithDuration_delay_options_animations_completion{
        "animateWithDuration:delay:options:animations:completion:"};
inline constinit objc::Message<void(void (^)())> performWithoutAnimation{
    "performWithoutAnimation:"};
}  // namespace UIView

namespace UIControl {
inline constinit objc::Message<void(id, SEL, UIControlEvents)> addTarget_action_forControlEvents{
    "addTarget:action:forControlEvents:"};
inline constinit objc::Message<void(id, SEL, UIControlEvents)> removeTarget_action_forControlEvents{
    "removeTarget:action:forControlEvents:"};
inline constinit objc::Message<void(UIControlEvents)> sendActionsForControlEvents{
    "sendActionsForControlEvents:"};
inline constinit objc::Message<void(SEL, id, id)> sendAction_to_forEvent{"sendAction:to:forEvent:"};
inline constinit objc::Message<id()> allTargets{"allTargets"};
inline constinit objc::Message<BOOL()> isEnabled{"isEnabled"};
inline constinit objc::Message<void(BOOL)> setEnabled{"setEnabled:"};
inline constinit objc::Message<BOOL()> isSelected{"isSelected"};
inline constinit objc::Message<void(BOOL)> setSelected{"setSelected:"};
inline constinit objc::Message<BOOL()> isHighlighted{"isHighlighted"};
inline constinit objc::Message<void(BOOL)> setHighlighted{"setHighlighted:"};
inline constinit objc::Message<UIControlState()> state{"state"};
inline constinit objc::Message<UIControlContentHorizontalAlignment()> contentHorizontalAlignment{
    "contentHorizontalAlignment"};
inline constinit objc::Message<void(UIControlContentHorizontalAlignment)>
    setContentHorizontalAlignment{"setContentHorizontalAlignment:"};
inline constinit objc::Message<UIControlContentVerticalAlignment()> contentVerticalAlignment{
    "contentVerticalAlignment"};
inline constinit objc::Message<void(UIControlContentVerticalAlignment)> setContentVerticalAlignment{
    "setContentVerticalAlignment:"};
}  // namespace UIControl

namespace UIButton {
inline constinit objc::Message<id(UIButtonType)> buttonWithType{"buttonWithType:"};
inline constinit objc::Message<UIButtonType()> buttonType{"buttonType"};
inline constinit objc::Message<void(id, UIControlState)> setTitle_forState{"setTitle:forState:"};
inline constinit objc::Message<id(UIControlState)> titleForState{"titleForState:"};
inline constinit objc::Message<void(id, UIControlState)> setTitleColor_forState{
    "setTitleColor:forState:"};
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
inline constinit objc::Message<id(CGFloat, UIFontWeight)> systemFontOfSize_weight{
    "systemFontOfSize:weight:"};
inline constinit objc::Message<id(CGFloat)> boldSystemFontOfSize{"boldSystemFontOfSize:"};
inline constinit objc::Message<CGFloat()> pointSize{"pointSize"};
inline constinit objc::Message<id()> fontName{"fontName"};
inline constinit objc::Message<id()> familyName{"familyName"};
}  // namespace UIFont

namespace UIColor {
inline constinit objc::Message<id(CGFloat, CGFloat)> colorWithWhite_alpha{"colorWithWhite:alpha:"};
inline constinit objc::Message<id(CGFloat, CGFloat, CGFloat, CGFloat)>
    colorWithRed_green_blue_alpha{"colorWithRed:green:blue:alpha:"};
inline constinit objc::Message<id(id (^)(id))> colorWithDynamicProvider{
    "colorWithDynamicProvider:"};
inline constinit objc::Message<id(CGFloat, CGFloat)> initWithWhite_alpha{"initWithWhite:alpha:"};
inline constinit objc::Message<id(CGFloat, CGFloat, CGFloat, CGFloat)> initWithRed_green_blue_alpha{
    "initWithRed:green:blue:alpha:"};
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
inline constinit objc::Message<id()> secondarySystemBackgroundColor{
    "secondarySystemBackgroundColor"};
inline constinit objc::Message<id()> systemGroupedBackgroundColor{"systemGroupedBackgroundColor"};
inline constinit objc::Message<id()> secondarySystemGroupedBackgroundColor{
    "secondarySystemGroupedBackgroundColor"};
inline constinit objc::Message<id(id)> resolvedColorWithTraitCollection{
    "resolvedColorWithTraitCollection:"};
inline constinit objc::Message<id(CGFloat)> colorWithAlphaComponent{"colorWithAlphaComponent:"};
inline constinit objc::Message<BOOL(CGFloat*, CGFloat*, CGFloat*, CGFloat*)>
    getRed_green_blue_alpha{"getRed:green:blue:alpha:"};
inline constinit objc::Message<BOOL(CGFloat*, CGFloat*)> getWhite_alpha{"getWhite:alpha:"};
inline constinit objc::Message<CGColorRef()> CGColor{"CGColor"};
inline constinit objc::Message<void()> setStroke{"setStroke"};
inline constinit objc::Message<void()> setFill{"setFill"};
inline constinit objc::Message<void()> set{"set"};
}  // namespace UIColor

namespace UITraitCollection {
inline constinit objc::Message<id(UIUserInterfaceStyle)> traitCollectionWithUserInterfaceStyle{
    "traitCollectionWithUserInterfaceStyle:"};
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
inline constinit objc::Message<void(id, BOOL)> pushViewController_animated{
    "pushViewController:animated:"};
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
inline constinit objc::Message<id(CGRect, UITableViewStyle)> initWithFrame_style{
    "initWithFrame:style:"};
inline constinit objc::Message<UITableViewStyle()> style{"style"};
inline constinit objc::Message<id()> dataSource{"dataSource"};
inline constinit objc::Message<void(id)> setDataSource{"setDataSource:"};
inline constinit objc::Message<id()> delegate{"delegate"};
inline constinit objc::Message<void(id)> setDelegate{"setDelegate:"};
inline constinit objc::Message<void()> reloadData{"reloadData"};
inline constinit objc::Message<NSInteger()> numberOfSections{"numberOfSections"};
inline constinit objc::Message<NSInteger(NSInteger)> numberOfRowsInSection{
    "numberOfRowsInSection:"};
inline constinit objc::Message<id(id)> cellForRowAtIndexPath{"cellForRowAtIndexPath:"};
inline constinit objc::Message<id(id)> indexPathForCell{"indexPathForCell:"};
inline constinit objc::Message<id()> visibleCells{"visibleCells"};
inline constinit objc::Message<CGRect(id)> rectForRowAtIndexPath{"rectForRowAtIndexPath:"};
inline constinit objc::Message<void(id, BOOL, UITableViewScrollPosition)>
    selectRowAtIndexPath_animated_scrollPosition{"selectRowAtIndexPath:animated:scrollPosition:"};
inline constinit objc::Message<void(id, BOOL)> deselectRowAtIndexPath_animated{
    "deselectRowAtIndexPath:animated:"};
inline constinit objc::Message<id()> indexPathForSelectedRow{"indexPathForSelectedRow"};
inline constinit objc::Message<CGFloat()> rowHeight{"rowHeight"};
inline constinit objc::Message<void(CGFloat)> setRowHeight{"setRowHeight:"};
inline constinit objc::Message<id(id)> dequeueReusableCellWithIdentifier{
    "dequeueReusableCellWithIdentifier:"};
}  // namespace UITableView

// UITableViewDataSource (a protocol: sent to the table's data source).
namespace UITableViewDataSource {
inline constinit objc::Message<NSInteger(id)> numberOfSectionsInTableView{
    "numberOfSectionsInTableView:"};
inline constinit objc::Message<NSInteger(id, NSInteger)> tableView_numberOfRowsInSection{
    "tableView:numberOfRowsInSection:"};
inline constinit objc::Message<id(id, id)> tableView_cellForRowAtIndexPath{
    "tableView:cellForRowAtIndexPath:"};
inline constinit objc::Message<id(id, NSInteger)> tableView_titleForHeaderInSection{
    "tableView:titleForHeaderInSection:"};
inline constinit objc::Message<id(id, NSInteger)> tableView_titleForFooterInSection{
    "tableView:titleForFooterInSection:"};
}  // namespace UITableViewDataSource

// UITableViewDelegate (a protocol: sent to the table's delegate).
namespace UITableViewDelegate {
inline constinit objc::Message<void(id, id)> tableView_didSelectRowAtIndexPath{
    "tableView:didSelectRowAtIndexPath:"};
}  // namespace UITableViewDelegate

namespace UISwitch {
inline constinit objc::Message<BOOL()> isOn{"isOn"};
inline constinit objc::Message<void(BOOL)> setOn{"setOn:"};
inline constinit objc::Message<void(BOOL, BOOL)> setOn_animated{"setOn:animated:"};
}  // namespace UISwitch

namespace UITableViewCell {
inline constinit objc::Message<id(UITableViewCellStyle, id)> initWithStyle_reuseIdentifier{
    "initWithStyle:reuseIdentifier:"};
inline constinit objc::Message<id()> reuseIdentifier{"reuseIdentifier"};
inline constinit objc::Message<id()> textLabel{"textLabel"};
inline constinit objc::Message<id()> detailTextLabel{"detailTextLabel"};
inline constinit objc::Message<id()> contentView{"contentView"};
inline constinit objc::Message<UITableViewCellAccessoryType()> accessoryType{"accessoryType"};
inline constinit objc::Message<void(UITableViewCellAccessoryType)> setAccessoryType{
    "setAccessoryType:"};
inline constinit objc::Message<id()> accessoryView{"accessoryView"};
inline constinit objc::Message<void(id)> setAccessoryView{"setAccessoryView:"};
inline constinit objc::Message<UITableViewCellSelectionStyle()> selectionStyle{"selectionStyle"};
inline constinit objc::Message<void(UITableViewCellSelectionStyle)> setSelectionStyle{
    "setSelectionStyle:"};
inline constinit objc::Message<BOOL()> isSelected{"isSelected"};
inline constinit objc::Message<void(BOOL, BOOL)> setSelected_animated{"setSelected:animated:"};
}  // namespace UITableViewCell

namespace NSIndexPath {
inline constinit objc::Message<id(NSInteger, NSInteger)> indexPathForRow_inSection{
    "indexPathForRow:inSection:"};
inline constinit objc::Message<NSInteger()> row{"row"};
inline constinit objc::Message<NSInteger()> section{"section"};
}  // namespace NSIndexPath

namespace UIStackView {
inline constinit objc::Message<id(id)> initWithArrangedSubviews{"initWithArrangedSubviews:"};
inline constinit objc::Message<id()> arrangedSubviews{"arrangedSubviews"};
inline constinit objc::Message<void(id)> addArrangedSubview{"addArrangedSubview:"};
inline constinit objc::Message<void(id)> removeArrangedSubview{"removeArrangedSubview:"};
inline constinit objc::Message<void(id, NSUInteger)> insertArrangedSubview_atIndex{
    "insertArrangedSubview:atIndex:"};
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
inline constinit objc::Message<id(id, id)> systemImageNamed_withConfiguration{
    "systemImageNamed:withConfiguration:"};
inline constinit objc::Message<id(id)> imageNamed{"imageNamed:"};
inline constinit objc::Message<CGSize()> size{"size"};
inline constinit objc::Message<CGFloat()> scale{"scale"};
inline constinit objc::Message<BOOL()> isSymbolImage{"isSymbolImage"};
inline constinit objc::Message<UIImageRenderingMode()> renderingMode{"renderingMode"};
inline constinit objc::Message<id(UIImageRenderingMode)> imageWithRenderingMode{
    "imageWithRenderingMode:"};
inline constinit objc::Message<id(id)> imageWithTintColor{"imageWithTintColor:"};
}  // namespace UIImage

namespace UIImageSymbolConfiguration {
inline constinit objc::Message<id(CGFloat)> configurationWithPointSize{
    "configurationWithPointSize:"};
inline constinit objc::Message<id(CGFloat, UIImageSymbolWeight)> configurationWithPointSize_weight{
    "configurationWithPointSize:weight:"};
inline constinit objc::Message<id(UIImageSymbolWeight)> configurationWithWeight{
    "configurationWithWeight:"};
}  // namespace UIImageSymbolConfiguration

namespace UIImageView {
inline constinit objc::Message<id(id)> initWithImage{"initWithImage:"};
inline constinit objc::Message<id()> image{"image"};
inline constinit objc::Message<void(id)> setImage{"setImage:"};
}  // namespace UIImageView

namespace UIBezierPath {
inline constinit objc::Message<id()> bezierPath{"bezierPath"};
inline constinit objc::Message<id(CGRect)> bezierPathWithRect{"bezierPathWithRect:"};
inline constinit objc::Message<id(CGRect, CGFloat)> bezierPathWithRoundedRect_cornerRadius{
    "bezierPathWithRoundedRect:cornerRadius:"};
inline constinit objc::Message<void(CGPoint)> moveToPoint{"moveToPoint:"};
inline constinit objc::Message<void(CGPoint)> addLineToPoint{"addLineToPoint:"};
inline constinit objc::Message<void(CGPoint, CGPoint, CGPoint)>
    addCurveToPoint_controlPoint1_controlPoint2{"addCurveToPoint:controlPoint1:controlPoint2:"};
inline constinit objc::Message<void(CGPoint, CGPoint)> addQuadCurveToPoint_controlPoint{
    "addQuadCurveToPoint:controlPoint:"};
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
    objc::classMessage<NSObject::alloc>("NSObject"),
    objc::instanceMessage<NSObject::init>("NSObject"),
    objc::instanceMessage<NSObject::copy>("NSObject"),
    objc::instanceMessage<NSObject::mutableCopy>("NSObject"),
    objc::instanceMessage<NSObject::valueForKey>("NSObject"),
    objc::instanceMessage<UIView::initWithFrame>("UIView"),
    objc::instanceMessage<UIView::frame>("UIView"),
    objc::instanceMessage<UIView::setFrame>("UIView"),
    objc::instanceMessage<UIView::bounds>("UIView"),
    objc::instanceMessage<UIView::setBounds>("UIView"),
    objc::instanceMessage<UIView::safeAreaInsets>("UIView"),
    objc::instanceMessage<UIView::center>("UIView"),
    objc::instanceMessage<UIView::setCenter>("UIView"),
    objc::instanceMessage<UIView::superview>("UIView"),
    objc::instanceMessage<UIView::subviews>("UIView"),
    objc::instanceMessage<UIView::window>("UIView"),
    objc::instanceMessage<UIView::addSubview>("UIView"),
    objc::instanceMessage<UIView::insertSubview_atIndex>("UIView"),
    objc::instanceMessage<UIView::removeFromSuperview>("UIView"),
    objc::instanceMessage<UIView::bringSubviewToFront>("UIView"),
    objc::instanceMessage<UIView::backgroundColor>("UIView"),
    objc::instanceMessage<UIView::setBackgroundColor>("UIView"),
    objc::instanceMessage<UIView::alpha>("UIView"),
    objc::instanceMessage<UIView::setAlpha>("UIView"),
    objc::instanceMessage<UIView::isHidden>("UIView"),
    objc::instanceMessage<UIView::setHidden>("UIView"),
    objc::instanceMessage<UIView::isOpaque>("UIView"),
    objc::instanceMessage<UIView::setOpaque>("UIView"),
    objc::instanceMessage<UIView::clipsToBounds>("UIView"),
    objc::instanceMessage<UIView::setClipsToBounds>("UIView"),
    objc::instanceMessage<UIView::transform>("UIView"),
    objc::instanceMessage<UIView::setTransform>("UIView"),
    objc::instanceMessage<UIView::autoresizingMask>("UIView"),
    objc::instanceMessage<UIView::setAutoresizingMask>("UIView"),
    objc::instanceMessage<UIView::autoresizesSubviews>("UIView"),
    objc::instanceMessage<UIView::setAutoresizesSubviews>("UIView"),
    objc::instanceMessage<UIView::tag>("UIView"),
    objc::instanceMessage<UIView::setTag>("UIView"),
    objc::instanceMessage<UIView::viewWithTag>("UIView"),
    objc::instanceMessage<UIView::isUserInteractionEnabled>("UIView"),
    objc::instanceMessage<UIView::setUserInteractionEnabled>("UIView"),
    objc::instanceMessage<UIView::tintColor>("UIView"),
    objc::instanceMessage<UIView::setTintColor>("UIView"),
    objc::instanceMessage<UIView::layer>("UIView"),
    objc::instanceMessage<UIView::traitCollection>("UIView"),
    objc::instanceMessage<UIView::traitCollectionDidChange>("UIView"),
    objc::instanceMessage<UIView::convertRect_toCoordinateSpace>("UIView"),
    objc::instanceMessage<UIView::convertPoint_toCoordinateSpace>("UIView"),
    objc::instanceMessage<UIView::convertRect_toView>("UIView"),
    objc::instanceMessage<UIView::convertPoint_toView>("UIView"),
    objc::instanceMessage<UIView::hitTest_withEvent>("UIView"),
    objc::instanceMessage<UIView::pointInside_withEvent>("UIView"),
    objc::instanceMessage<UIView::sizeThatFits>("UIView"),
    objc::instanceMessage<UIView::sizeToFit>("UIView"),
    objc::instanceMessage<UIView::setNeedsLayout>("UIView"),
    objc::instanceMessage<UIView::layoutIfNeeded>("UIView"),
    objc::instanceMessage<UIView::layoutSubviews>("UIView"),
    objc::instanceMessage<UIView::didAddSubview>("UIView"),
    objc::instanceMessage<UIView::willRemoveSubview>("UIView"),
    objc::instanceMessage<UIView::didMoveToSuperview>("UIView"),
    objc::instanceMessage<UIView::didMoveToWindow>("UIView"),
    objc::classMessage<UIView::animateWithDuration_animations>("UIView"),
    objc::classMessage<UIView::animateWithDuration_animations_completion>("UIView"),
    objc::classMessage<UIView::animateWithDuration_delay_options_animations_completion>("UIView"),
    objc::classMessage<UIView::performWithoutAnimation>("UIView"),
    objc::instanceMessage<UIControl::addTarget_action_forControlEvents>("UIControl"),
    objc::instanceMessage<UIControl::removeTarget_action_forControlEvents>("UIControl"),
    objc::instanceMessage<UIControl::sendActionsForControlEvents>("UIControl"),
    objc::instanceMessage<UIControl::sendAction_to_forEvent>("UIControl"),
    objc::instanceMessage<UIControl::allTargets>("UIControl"),
    objc::instanceMessage<UIControl::isEnabled>("UIControl"),
    objc::instanceMessage<UIControl::setEnabled>("UIControl"),
    objc::instanceMessage<UIControl::isSelected>("UIControl"),
    objc::instanceMessage<UIControl::setSelected>("UIControl"),
    objc::instanceMessage<UIControl::isHighlighted>("UIControl"),
    objc::instanceMessage<UIControl::setHighlighted>("UIControl"),
    objc::instanceMessage<UIControl::state>("UIControl"),
    objc::instanceMessage<UIControl::contentHorizontalAlignment>("UIControl"),
    objc::instanceMessage<UIControl::setContentHorizontalAlignment>("UIControl"),
    objc::instanceMessage<UIControl::contentVerticalAlignment>("UIControl"),
    objc::instanceMessage<UIControl::setContentVerticalAlignment>("UIControl"),
    objc::classMessage<UIButton::buttonWithType>("UIButton"),
    objc::instanceMessage<UIButton::buttonType>("UIButton"),
    objc::instanceMessage<UIButton::setTitle_forState>("UIButton"),
    objc::instanceMessage<UIButton::titleForState>("UIButton"),
    objc::instanceMessage<UIButton::setTitleColor_forState>("UIButton"),
    objc::instanceMessage<UIButton::titleColorForState>("UIButton"),
    objc::instanceMessage<UIButton::setImage_forState>("UIButton"),
    objc::instanceMessage<UIButton::imageForState>("UIButton"),
    objc::instanceMessage<UIButton::currentTitle>("UIButton"),
    objc::instanceMessage<UIButton::currentTitleColor>("UIButton"),
    objc::instanceMessage<UIButton::titleLabel>("UIButton"),
    objc::instanceMessage<UIButton::imageView>("UIButton"),
    objc::instanceMessage<UIButton::titleEdgeInsets>("UIButton"),
    objc::instanceMessage<UIButton::setTitleEdgeInsets>("UIButton"),
    objc::instanceMessage<UIButton::contentEdgeInsets>("UIButton"),
    objc::instanceMessage<UIButton::setContentEdgeInsets>("UIButton"),
    objc::instanceMessage<UILabel::text>("UILabel"),
    objc::instanceMessage<UILabel::setText>("UILabel"),
    objc::instanceMessage<UILabel::textColor>("UILabel"),
    objc::instanceMessage<UILabel::setTextColor>("UILabel"),
    objc::instanceMessage<UILabel::font>("UILabel"),
    objc::instanceMessage<UILabel::setFont>("UILabel"),
    objc::instanceMessage<UILabel::textAlignment>("UILabel"),
    objc::instanceMessage<UILabel::setTextAlignment>("UILabel"),
    objc::instanceMessage<UILabel::numberOfLines>("UILabel"),
    objc::instanceMessage<UILabel::setNumberOfLines>("UILabel"),
    objc::classMessage<UIFont::systemFontOfSize>("UIFont"),
    objc::classMessage<UIFont::systemFontOfSize_weight>("UIFont"),
    objc::classMessage<UIFont::boldSystemFontOfSize>("UIFont"),
    objc::instanceMessage<UIFont::pointSize>("UIFont"),
    objc::instanceMessage<UIFont::fontName>("UIFont"),
    objc::instanceMessage<UIFont::familyName>("UIFont"),
    objc::classMessage<UIColor::colorWithWhite_alpha>("UIColor"),
    objc::classMessage<UIColor::colorWithRed_green_blue_alpha>("UIColor"),
    objc::classMessage<UIColor::colorWithDynamicProvider>("UIColor"),
    objc::instanceMessage<UIColor::initWithWhite_alpha>("UIColor"),
    objc::instanceMessage<UIColor::initWithRed_green_blue_alpha>("UIColor"),
    objc::instanceMessage<UIColor::initWithDynamicProvider>("UIColor"),
    objc::classMessage<UIColor::whiteColor>("UIColor"),
    objc::classMessage<UIColor::blackColor>("UIColor"),
    objc::classMessage<UIColor::clearColor>("UIColor"),
    objc::classMessage<UIColor::grayColor>("UIColor"),
    objc::classMessage<UIColor::redColor>("UIColor"),
    objc::classMessage<UIColor::systemOrangeColor>("UIColor"),
    objc::classMessage<UIColor::systemBlueColor>("UIColor"),
    objc::classMessage<UIColor::systemGreenColor>("UIColor"),
    objc::classMessage<UIColor::systemRedColor>("UIColor"),
    objc::classMessage<UIColor::systemGrayColor>("UIColor"),
    objc::classMessage<UIColor::labelColor>("UIColor"),
    objc::classMessage<UIColor::secondaryLabelColor>("UIColor"),
    objc::classMessage<UIColor::tertiaryLabelColor>("UIColor"),
    objc::classMessage<UIColor::separatorColor>("UIColor"),
    objc::classMessage<UIColor::systemBackgroundColor>("UIColor"),
    objc::classMessage<UIColor::secondarySystemBackgroundColor>("UIColor"),
    objc::classMessage<UIColor::systemGroupedBackgroundColor>("UIColor"),
    objc::classMessage<UIColor::secondarySystemGroupedBackgroundColor>("UIColor"),
    objc::instanceMessage<UIColor::resolvedColorWithTraitCollection>("UIColor"),
    objc::instanceMessage<UIColor::colorWithAlphaComponent>("UIColor"),
    objc::instanceMessage<UIColor::getRed_green_blue_alpha>("UIColor"),
    objc::instanceMessage<UIColor::getWhite_alpha>("UIColor"),
    objc::instanceMessage<UIColor::CGColor>("UIColor"),
    objc::instanceMessage<UIColor::setStroke>("UIColor"),
    objc::instanceMessage<UIColor::setFill>("UIColor"),
    objc::instanceMessage<UIColor::set>("UIColor"),
    objc::classMessage<UITraitCollection::traitCollectionWithUserInterfaceStyle>(
        "UITraitCollection"),
    objc::classMessage<UITraitCollection::currentTraitCollection>("UITraitCollection"),
    objc::classMessage<UITraitCollection::setCurrentTraitCollection>("UITraitCollection"),
    objc::instanceMessage<UITraitCollection::userInterfaceStyle>("UITraitCollection"),
    objc::instanceMessage<UITraitCollection::displayScale>("UITraitCollection"),
    objc::classMessage<UIScreen::mainScreen>("UIScreen"),
    objc::instanceMessage<UIScreen::scale>("UIScreen"),
    objc::instanceMessage<UIScreen::bounds>("UIScreen"),
    objc::classMessage<UIDevice::currentDevice>("UIDevice"),
    objc::instanceMessage<UIDevice::systemVersion>("UIDevice"),
    objc::instanceMessage<UIDevice::systemName>("UIDevice"),
    objc::instanceMessage<UIDevice::userInterfaceIdiom>("UIDevice"),
    objc::instanceMessage<UIViewController::initWithNibName_bundle>("UIViewController"),
    objc::instanceMessage<UIViewController::initWithCoder>("UIViewController"),
    objc::instanceMessage<UIViewController::view>("UIViewController"),
    objc::instanceMessage<UIViewController::setView>("UIViewController"),
    objc::instanceMessage<UIViewController::viewIfLoaded>("UIViewController"),
    objc::instanceMessage<UIViewController::isViewLoaded>("UIViewController"),
    objc::instanceMessage<UIViewController::loadView>("UIViewController"),
    objc::instanceMessage<UIViewController::loadViewIfNeeded>("UIViewController"),
    objc::instanceMessage<UIViewController::viewDidLoad>("UIViewController"),
    objc::instanceMessage<UIViewController::viewWillAppear>("UIViewController"),
    objc::instanceMessage<UIViewController::viewDidAppear>("UIViewController"),
    objc::instanceMessage<UIViewController::viewWillDisappear>("UIViewController"),
    objc::instanceMessage<UIViewController::viewDidDisappear>("UIViewController"),
    objc::instanceMessage<UIViewController::title>("UIViewController"),
    objc::instanceMessage<UIViewController::setTitle>("UIViewController"),
    objc::instanceMessage<UIViewController::traitCollection>("UIViewController"),
    objc::instanceMessage<UIViewController::preferredContentSize>("UIViewController"),
    objc::instanceMessage<UIViewController::setPreferredContentSize>("UIViewController"),
    objc::instanceMessage<UIViewController::parentViewController>("UIViewController"),
    objc::instanceMessage<UIViewController::traitCollectionDidChange>("UIViewController"),
    objc::instanceMessage<UIViewController::navigationItem>("UIViewController"),
    objc::instanceMessage<UIViewController::navigationController>("UIViewController"),
    objc::instanceMessage<UINavigationController::initWithRootViewController>(
        "UINavigationController"),
    objc::instanceMessage<UINavigationController::pushViewController_animated>(
        "UINavigationController"),
    objc::instanceMessage<UINavigationController::popViewControllerAnimated>(
        "UINavigationController"),
    objc::instanceMessage<UINavigationController::topViewController>("UINavigationController"),
    objc::instanceMessage<UINavigationController::visibleViewController>("UINavigationController"),
    objc::instanceMessage<UINavigationController::viewControllers>("UINavigationController"),
    objc::instanceMessage<UINavigationController::navigationBar>("UINavigationController"),
    objc::instanceMessage<UINavigationItem::initWithTitle>("UINavigationItem"),
    objc::instanceMessage<UINavigationItem::title>("UINavigationItem"),
    objc::instanceMessage<UINavigationItem::setTitle>("UINavigationItem"),
    objc::instanceMessage<UINavigationItem::backButtonTitle>("UINavigationItem"),
    objc::instanceMessage<UINavigationItem::setBackButtonTitle>("UINavigationItem"),
    objc::instanceMessage<UITableView::initWithFrame_style>("UITableView"),
    objc::instanceMessage<UITableView::style>("UITableView"),
    objc::instanceMessage<UITableView::dataSource>("UITableView"),
    objc::instanceMessage<UITableView::setDataSource>("UITableView"),
    objc::instanceMessage<UITableView::delegate>("UITableView"),
    objc::instanceMessage<UITableView::setDelegate>("UITableView"),
    objc::instanceMessage<UITableView::reloadData>("UITableView"),
    objc::instanceMessage<UITableView::numberOfSections>("UITableView"),
    objc::instanceMessage<UITableView::numberOfRowsInSection>("UITableView"),
    objc::instanceMessage<UITableView::cellForRowAtIndexPath>("UITableView"),
    objc::instanceMessage<UITableView::indexPathForCell>("UITableView"),
    objc::instanceMessage<UITableView::visibleCells>("UITableView"),
    objc::instanceMessage<UITableView::rectForRowAtIndexPath>("UITableView"),
    objc::instanceMessage<UITableView::selectRowAtIndexPath_animated_scrollPosition>("UITableView"),
    objc::instanceMessage<UITableView::deselectRowAtIndexPath_animated>("UITableView"),
    objc::instanceMessage<UITableView::indexPathForSelectedRow>("UITableView"),
    objc::instanceMessage<UITableView::rowHeight>("UITableView"),
    objc::instanceMessage<UITableView::setRowHeight>("UITableView"),
    objc::instanceMessage<UITableView::dequeueReusableCellWithIdentifier>("UITableView"),
    objc::instanceMessage<UISwitch::isOn>("UISwitch"),
    objc::instanceMessage<UISwitch::setOn>("UISwitch"),
    objc::instanceMessage<UISwitch::setOn_animated>("UISwitch"),
    objc::instanceMessage<UITableViewCell::initWithStyle_reuseIdentifier>("UITableViewCell"),
    objc::instanceMessage<UITableViewCell::reuseIdentifier>("UITableViewCell"),
    objc::instanceMessage<UITableViewCell::textLabel>("UITableViewCell"),
    objc::instanceMessage<UITableViewCell::detailTextLabel>("UITableViewCell"),
    objc::instanceMessage<UITableViewCell::contentView>("UITableViewCell"),
    objc::instanceMessage<UITableViewCell::accessoryType>("UITableViewCell"),
    objc::instanceMessage<UITableViewCell::setAccessoryType>("UITableViewCell"),
    objc::instanceMessage<UITableViewCell::accessoryView>("UITableViewCell"),
    objc::instanceMessage<UITableViewCell::setAccessoryView>("UITableViewCell"),
    objc::instanceMessage<UITableViewCell::selectionStyle>("UITableViewCell"),
    objc::instanceMessage<UITableViewCell::setSelectionStyle>("UITableViewCell"),
    objc::instanceMessage<UITableViewCell::isSelected>("UITableViewCell"),
    objc::instanceMessage<UITableViewCell::setSelected_animated>("UITableViewCell"),
    objc::classMessage<NSIndexPath::indexPathForRow_inSection>("NSIndexPath"),
    objc::instanceMessage<NSIndexPath::row>("NSIndexPath"),
    objc::instanceMessage<NSIndexPath::section>("NSIndexPath"),
    objc::instanceMessage<UIStackView::initWithArrangedSubviews>("UIStackView"),
    objc::instanceMessage<UIStackView::arrangedSubviews>("UIStackView"),
    objc::instanceMessage<UIStackView::addArrangedSubview>("UIStackView"),
    objc::instanceMessage<UIStackView::removeArrangedSubview>("UIStackView"),
    objc::instanceMessage<UIStackView::insertArrangedSubview_atIndex>("UIStackView"),
    objc::instanceMessage<UIStackView::axis>("UIStackView"),
    objc::instanceMessage<UIStackView::setAxis>("UIStackView"),
    objc::instanceMessage<UIStackView::spacing>("UIStackView"),
    objc::instanceMessage<UIStackView::setSpacing>("UIStackView"),
    objc::instanceMessage<UIVisualEffectView::initWithEffect>("UIVisualEffectView"),
    objc::instanceMessage<UIVisualEffectView::effect>("UIVisualEffectView"),
    objc::instanceMessage<UIVisualEffectView::contentView>("UIVisualEffectView"),
    objc::classMessage<UIBlurEffect::effectWithStyle>("UIBlurEffect"),
    objc::classMessage<UIImage::systemImageNamed>("UIImage"),
    objc::classMessage<UIImage::systemImageNamed_withConfiguration>("UIImage"),
    objc::classMessage<UIImage::imageNamed>("UIImage"),
    objc::instanceMessage<UIImage::size>("UIImage"),
    objc::instanceMessage<UIImage::scale>("UIImage"),
    objc::instanceMessage<UIImage::isSymbolImage>("UIImage"),
    objc::instanceMessage<UIImage::renderingMode>("UIImage"),
    objc::instanceMessage<UIImage::imageWithRenderingMode>("UIImage"),
    objc::instanceMessage<UIImage::imageWithTintColor>("UIImage"),
    objc::classMessage<UIImageSymbolConfiguration::configurationWithPointSize>(
        "UIImageSymbolConfiguration"),
    objc::classMessage<UIImageSymbolConfiguration::configurationWithPointSize_weight>(
        "UIImageSymbolConfiguration"),
    objc::classMessage<UIImageSymbolConfiguration::configurationWithWeight>(
        "UIImageSymbolConfiguration"),
    objc::instanceMessage<UIImageView::initWithImage>("UIImageView"),
    objc::instanceMessage<UIImageView::image>("UIImageView"),
    objc::instanceMessage<UIImageView::setImage>("UIImageView"),
    objc::classMessage<UIBezierPath::bezierPath>("UIBezierPath"),
    objc::classMessage<UIBezierPath::bezierPathWithRect>("UIBezierPath"),
    objc::classMessage<UIBezierPath::bezierPathWithRoundedRect_cornerRadius>("UIBezierPath"),
    objc::instanceMessage<UIBezierPath::moveToPoint>("UIBezierPath"),
    objc::instanceMessage<UIBezierPath::addLineToPoint>("UIBezierPath"),
    objc::instanceMessage<UIBezierPath::addCurveToPoint_controlPoint1_controlPoint2>(
        "UIBezierPath"),
    objc::instanceMessage<UIBezierPath::addQuadCurveToPoint_controlPoint>("UIBezierPath"),
    objc::instanceMessage<UIBezierPath::closePath>("UIBezierPath"),
    objc::instanceMessage<UIBezierPath::lineWidth>("UIBezierPath"),
    objc::instanceMessage<UIBezierPath::setLineWidth>("UIBezierPath"),
    objc::instanceMessage<UIBezierPath::lineCapStyle>("UIBezierPath"),
    objc::instanceMessage<UIBezierPath::setLineCapStyle>("UIBezierPath"),
    objc::instanceMessage<UIBezierPath::lineJoinStyle>("UIBezierPath"),
    objc::instanceMessage<UIBezierPath::setLineJoinStyle>("UIBezierPath"),
    objc::instanceMessage<UIBezierPath::stroke>("UIBezierPath"),
    objc::instanceMessage<UIBezierPath::fill>("UIBezierPath"),
    objc::instanceMessage<UIBezierPath::CGPath>("UIBezierPath"),
    objc::instanceMessage<UIBezierPath::bounds>("UIBezierPath"),
    objc::instanceMessage<UIBezierPath::isEmpty>("UIBezierPath"),
};

}  // namespace halvernic::ui
