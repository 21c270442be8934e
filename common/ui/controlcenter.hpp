// ControlCenterUIKit, the private framework of Control Center's modules, as the module sees
// it: its classes and every message the module sends to them or implements for Control
// Center, each declared once with the framework's types (iOS 15 class dumps).
//
//   namespace ui = halvernic::ui;
//   ui::CCUIButtonModuleViewController::setGlyphState.send(controller, objc::string("on"));
//   id item = ui::CCUIMenuModuleItem::initWithTitle_identifier_handler.send(
//       ui::NSObject::alloc.send(ui::kCCUIMenuModuleItem), title, identifier, nullptr);
//
// The pattern is uikit.hpp's; the protocols' messages are listed under the class of the
// stand-in that implements them for the encoding test.
//
// A nil receiver answers zero (or nil, or NO), as everywhere in the bridge.
#pragma once

#include <objc/objc.h>

#include "common/objc/message.hpp"
#include "common/objc/runtime.hpp"
#include "common/ui/geometry.hpp"

namespace halvernic::ui {

// A menu item's handler: run when the item's row is chosen; the answer is the framework's
// (whether the menu should stay open).
using CCUIMenuModuleItemHandler = BOOL (^)(void);

inline constinit objc::ClassName kCCUIButtonModuleViewController{"CCUIButtonModuleViewController"};
inline constinit objc::ClassName kCCUIMenuModuleViewController{"CCUIMenuModuleViewController"};
inline constinit objc::ClassName kCCUIMenuModuleItem{"CCUIMenuModuleItem"};
inline constinit objc::ClassName kCCUIMenuModuleItemView{"CCUIMenuModuleItemView"};

// Protocol names, adopted by classes the module makes.
inline constexpr char kCCUIContentModuleProtocol[] = "CCUIContentModule";
inline constexpr char kCCUIContentModuleContentViewControllerProtocol[] =
    "CCUIContentModuleContentViewController";

// <CCUIContentModule>: the object Control Center makes from a module bundle's principal class.
namespace CCUIContentModule {
inline constinit objc::Message<id()> contentViewController{"contentViewController"};
inline constinit objc::Message<id()> backgroundViewController{"backgroundViewController"};
inline constinit objc::Message<void(id)> setContentModuleContext{"setContentModuleContext:"};
}  // namespace CCUIContentModule

// <CCUIContentModuleContentViewController>: what Control Center asks a module's content.
namespace CCUIContentModuleContentViewController {
inline constinit objc::Message<CGFloat()> preferredExpandedContentHeight{
    "preferredExpandedContentHeight"};
inline constinit objc::Message<CGFloat()> preferredExpandedContentWidth{
    "preferredExpandedContentWidth"};
inline constinit objc::Message<BOOL()> shouldBeginTransitionToExpandedContentModule{
    "shouldBeginTransitionToExpandedContentModule"};
inline constinit objc::Message<void(BOOL)> willTransitionToExpandedContentMode{
    "willTransitionToExpandedContentMode:"};
inline constinit objc::Message<void(BOOL)> didTransitionToExpandedContentMode{
    "didTransitionToExpandedContentMode:"};
inline constinit objc::Message<void()> controlCenterWillPresent{"controlCenterWillPresent"};
inline constinit objc::Message<void()> controlCenterDidDismiss{"controlCenterDidDismiss"};
inline constinit objc::Message<BOOL()> providesOwnPlatter{"providesOwnPlatter"};
}  // namespace CCUIContentModuleContentViewController

// CCUIButtonModuleViewController : UIViewController, the collapsed tile with its glyph.
namespace CCUIButtonModuleViewController {
inline constinit objc::Message<id()> glyphImage{"glyphImage"};
inline constinit objc::Message<void(id)> setGlyphImage{"setGlyphImage:"};
inline constinit objc::Message<id()> glyphColor{"glyphColor"};
inline constinit objc::Message<void(id)> setGlyphColor{"setGlyphColor:"};
inline constinit objc::Message<id()> selectedGlyphImage{"selectedGlyphImage"};
inline constinit objc::Message<void(id)> setSelectedGlyphImage{"setSelectedGlyphImage:"};
inline constinit objc::Message<id()> selectedGlyphColor{"selectedGlyphColor"};
inline constinit objc::Message<void(id)> setSelectedGlyphColor{"setSelectedGlyphColor:"};
// A copied string naming the glyph's state ("on", "off").
inline constinit objc::Message<id()> glyphState{"glyphState"};
inline constinit objc::Message<void(id)> setGlyphState{"setGlyphState:"};
inline constinit objc::Message<BOOL()> isSelected{"isSelected"};
inline constinit objc::Message<void(BOOL)> setSelected{"setSelected:"};
inline constinit objc::Message<BOOL()> isExpanded{"isExpanded"};
inline constinit objc::Message<void(BOOL)> setExpanded{"setExpanded:"};
// The tile's button was tapped (sender: the button; event: the UIEvent).
inline constinit objc::Message<void(id, id)> buttonTapped_forEvent{"buttonTapped:forEvent:"};
}  // namespace CCUIButtonModuleViewController

// CCUIMenuModuleViewController : CCUIButtonModuleViewController, a tile that expands into a
// header and a stack of menu rows. Its ivars: _titleLabel (UILabel), _menuItemsContainer
// (UIStackView of CCUIMenuModuleItemView), _menuItems (NSMutableArray).
namespace CCUIMenuModuleViewController {
inline constinit objc::Message<id()> subtitle{"subtitle"};
inline constinit objc::Message<void(id)> setSubtitle{"setSubtitle:"};
inline constinit objc::Message<unsigned long long()> indentation{"indentation"};
inline constinit objc::Message<void(unsigned long long)> setIndentation{"setIndentation:"};
inline constinit objc::Message<BOOL()> shouldProvideOwnPlatter{"shouldProvideOwnPlatter"};
inline constinit objc::Message<void(BOOL)> setShouldProvideOwnPlatter{
    "setShouldProvideOwnPlatter:"};
inline constinit objc::Message<BOOL()> useTrailingCheckmarkLayout{"useTrailingCheckmarkLayout"};
inline constinit objc::Message<void(BOOL)> setUseTrailingCheckmarkLayout{
    "setUseTrailingCheckmarkLayout:"};
inline constinit objc::Message<BOOL()> isBusy{"isBusy"};
inline constinit objc::Message<void(BOOL)> setBusy{"setBusy:"};
inline constinit objc::Message<void(id)> setMenuItems{"setMenuItems:"};
inline constinit objc::Message<id(id)> menuItemForIdentifier{"menuItemForIdentifier:"};
// A row was tapped; sender is its CCUIMenuModuleItemView.
inline constinit objc::Message<void(id)> _handleActionTapped{"_handleActionTapped:"};
// Puts the check mark view on each selected row and takes it off the others.
inline constinit objc::Message<void()> _updateLeadingAndTrailingViews{
    "_updateLeadingAndTrailingViews"};
inline constinit objc::Message<BOOL()> _canShowWhileLocked{"_canShowWhileLocked"};
}  // namespace CCUIMenuModuleViewController

// CCUIMenuModuleItem : NSObject, one row's data.
namespace CCUIMenuModuleItem {
inline constinit objc::Message<id(id, id, CCUIMenuModuleItemHandler)>
    initWithTitle_identifier_handler{"initWithTitle:identifier:handler:"};
inline constinit objc::Message<id()> title{"title"};
inline constinit objc::Message<id()> identifier{"identifier"};
inline constinit objc::Message<id()> subtitle{"subtitle"};
inline constinit objc::Message<void(id)> setSubtitle{"setSubtitle:"};
inline constinit objc::Message<BOOL()> isSelected{"isSelected"};
inline constinit objc::Message<void(BOOL)> setSelected{"setSelected:"};
inline constinit objc::Message<BOOL()> isBusy{"isBusy"};
inline constinit objc::Message<void(BOOL)> setBusy{"setBusy:"};
// Runs the handler; NO without one.
inline constinit objc::Message<BOOL()> performAction{"performAction"};
}  // namespace CCUIMenuModuleItem

// CCUIMenuModuleItemView : UIControl, one row of the expanded menu; its superview is the
// stack of rows.
namespace CCUIMenuModuleItemView {
inline constinit objc::Message<id()> menuItem{"menuItem"};
inline constinit objc::Message<void(id)> setMenuItem{"setMenuItem:"};
inline constinit objc::Message<id()> leadingView{"leadingView"};
inline constinit objc::Message<void(id)> setLeadingView{"setLeadingView:"};
inline constinit objc::Message<id()> trailingView{"trailingView"};
inline constinit objc::Message<void(id)> setTrailingView{"setTrailingView:"};
inline constinit objc::Message<BOOL()> useTrailingCheckmarkLayout{"useTrailingCheckmarkLayout"};
inline constinit objc::Message<void(BOOL)> setUseTrailingCheckmarkLayout{
    "setUseTrailingCheckmarkLayout:"};
inline constinit objc::Message<unsigned long long()> indentation{"indentation"};
inline constinit objc::Message<void(unsigned long long)> setIndentation{"setIndentation:"};
inline constinit objc::Message<BOOL()> separatorVisible{"separatorVisible"};
inline constinit objc::Message<void(BOOL)> setSeparatorVisible{"setSeparatorVisible:"};
}  // namespace CCUIMenuModuleItemView

// Every message above with the stand-in class that implements it (for the encoding test;
// the module's own protocol, CCUIContentModule, is implemented by the module alone).
inline constexpr objc::MessageInfo kControlCenterUIKitMessages[] = {
    objc::instanceMessage<CCUIContentModuleContentViewController::preferredExpandedContentHeight>(
        "CCUIButtonModuleViewController"),
    objc::instanceMessage<CCUIContentModuleContentViewController::preferredExpandedContentWidth>(
        "CCUIButtonModuleViewController"),
    objc::instanceMessage<
        CCUIContentModuleContentViewController::shouldBeginTransitionToExpandedContentModule>(
        "CCUIButtonModuleViewController"),
    objc::instanceMessage<
        CCUIContentModuleContentViewController::willTransitionToExpandedContentMode>(
        "CCUIButtonModuleViewController"),
    objc::instanceMessage<
        CCUIContentModuleContentViewController::didTransitionToExpandedContentMode>(
        "CCUIButtonModuleViewController"),
    objc::instanceMessage<CCUIContentModuleContentViewController::controlCenterWillPresent>(
        "CCUIButtonModuleViewController"),
    objc::instanceMessage<CCUIContentModuleContentViewController::controlCenterDidDismiss>(
        "CCUIButtonModuleViewController"),
    objc::instanceMessage<CCUIContentModuleContentViewController::providesOwnPlatter>(
        "CCUIButtonModuleViewController"),
    objc::instanceMessage<CCUIButtonModuleViewController::glyphImage>(
        "CCUIButtonModuleViewController"),
    objc::instanceMessage<CCUIButtonModuleViewController::setGlyphImage>(
        "CCUIButtonModuleViewController"),
    objc::instanceMessage<CCUIButtonModuleViewController::glyphColor>(
        "CCUIButtonModuleViewController"),
    objc::instanceMessage<CCUIButtonModuleViewController::setGlyphColor>(
        "CCUIButtonModuleViewController"),
    objc::instanceMessage<CCUIButtonModuleViewController::selectedGlyphImage>(
        "CCUIButtonModuleViewController"),
    objc::instanceMessage<CCUIButtonModuleViewController::setSelectedGlyphImage>(
        "CCUIButtonModuleViewController"),
    objc::instanceMessage<CCUIButtonModuleViewController::selectedGlyphColor>(
        "CCUIButtonModuleViewController"),
    objc::instanceMessage<CCUIButtonModuleViewController::setSelectedGlyphColor>(
        "CCUIButtonModuleViewController"),
    objc::instanceMessage<CCUIButtonModuleViewController::glyphState>(
        "CCUIButtonModuleViewController"),
    objc::instanceMessage<CCUIButtonModuleViewController::setGlyphState>(
        "CCUIButtonModuleViewController"),
    objc::instanceMessage<CCUIButtonModuleViewController::isSelected>(
        "CCUIButtonModuleViewController"),
    objc::instanceMessage<CCUIButtonModuleViewController::setSelected>(
        "CCUIButtonModuleViewController"),
    objc::instanceMessage<CCUIButtonModuleViewController::isExpanded>(
        "CCUIButtonModuleViewController"),
    objc::instanceMessage<CCUIButtonModuleViewController::setExpanded>(
        "CCUIButtonModuleViewController"),
    objc::instanceMessage<CCUIButtonModuleViewController::buttonTapped_forEvent>(
        "CCUIButtonModuleViewController"),
    objc::instanceMessage<CCUIMenuModuleViewController::subtitle>("CCUIMenuModuleViewController"),
    objc::instanceMessage<CCUIMenuModuleViewController::setSubtitle>(
        "CCUIMenuModuleViewController"),
    objc::instanceMessage<CCUIMenuModuleViewController::indentation>(
        "CCUIMenuModuleViewController"),
    objc::instanceMessage<CCUIMenuModuleViewController::setIndentation>(
        "CCUIMenuModuleViewController"),
    objc::instanceMessage<CCUIMenuModuleViewController::shouldProvideOwnPlatter>(
        "CCUIMenuModuleViewController"),
    objc::instanceMessage<CCUIMenuModuleViewController::setShouldProvideOwnPlatter>(
        "CCUIMenuModuleViewController"),
    objc::instanceMessage<CCUIMenuModuleViewController::useTrailingCheckmarkLayout>(
        "CCUIMenuModuleViewController"),
    objc::instanceMessage<CCUIMenuModuleViewController::setUseTrailingCheckmarkLayout>(
        "CCUIMenuModuleViewController"),
    objc::instanceMessage<CCUIMenuModuleViewController::isBusy>("CCUIMenuModuleViewController"),
    objc::instanceMessage<CCUIMenuModuleViewController::setBusy>("CCUIMenuModuleViewController"),
    objc::instanceMessage<CCUIMenuModuleViewController::setMenuItems>(
        "CCUIMenuModuleViewController"),
    objc::instanceMessage<CCUIMenuModuleViewController::menuItemForIdentifier>(
        "CCUIMenuModuleViewController"),
    objc::instanceMessage<CCUIMenuModuleViewController::_handleActionTapped>(
        "CCUIMenuModuleViewController"),
    objc::instanceMessage<CCUIMenuModuleViewController::_updateLeadingAndTrailingViews>(
        "CCUIMenuModuleViewController"),
    objc::instanceMessage<CCUIMenuModuleViewController::_canShowWhileLocked>(
        "CCUIMenuModuleViewController"),
    objc::instanceMessage<CCUIMenuModuleItem::initWithTitle_identifier_handler>(
        "CCUIMenuModuleItem"),
    objc::instanceMessage<CCUIMenuModuleItem::title>("CCUIMenuModuleItem"),
    objc::instanceMessage<CCUIMenuModuleItem::identifier>("CCUIMenuModuleItem"),
    objc::instanceMessage<CCUIMenuModuleItem::subtitle>("CCUIMenuModuleItem"),
    objc::instanceMessage<CCUIMenuModuleItem::setSubtitle>("CCUIMenuModuleItem"),
    objc::instanceMessage<CCUIMenuModuleItem::isSelected>("CCUIMenuModuleItem"),
    objc::instanceMessage<CCUIMenuModuleItem::setSelected>("CCUIMenuModuleItem"),
    objc::instanceMessage<CCUIMenuModuleItem::isBusy>("CCUIMenuModuleItem"),
    objc::instanceMessage<CCUIMenuModuleItem::setBusy>("CCUIMenuModuleItem"),
    objc::instanceMessage<CCUIMenuModuleItem::performAction>("CCUIMenuModuleItem"),
    objc::instanceMessage<CCUIMenuModuleItemView::menuItem>("CCUIMenuModuleItemView"),
    objc::instanceMessage<CCUIMenuModuleItemView::setMenuItem>("CCUIMenuModuleItemView"),
    objc::instanceMessage<CCUIMenuModuleItemView::leadingView>("CCUIMenuModuleItemView"),
    objc::instanceMessage<CCUIMenuModuleItemView::setLeadingView>("CCUIMenuModuleItemView"),
    objc::instanceMessage<CCUIMenuModuleItemView::trailingView>("CCUIMenuModuleItemView"),
    objc::instanceMessage<CCUIMenuModuleItemView::setTrailingView>("CCUIMenuModuleItemView"),
    objc::instanceMessage<CCUIMenuModuleItemView::useTrailingCheckmarkLayout>(
        "CCUIMenuModuleItemView"),
    objc::instanceMessage<CCUIMenuModuleItemView::setUseTrailingCheckmarkLayout>(
        "CCUIMenuModuleItemView"),
    objc::instanceMessage<CCUIMenuModuleItemView::indentation>("CCUIMenuModuleItemView"),
    objc::instanceMessage<CCUIMenuModuleItemView::setIndentation>("CCUIMenuModuleItemView"),
    objc::instanceMessage<CCUIMenuModuleItemView::separatorVisible>("CCUIMenuModuleItemView"),
    objc::instanceMessage<CCUIMenuModuleItemView::setSeparatorVisible>("CCUIMenuModuleItemView"),
};

}  // namespace halvernic::ui
