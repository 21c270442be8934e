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
inline constinit objc::Message<CGFloat()> preferredExpandedContentHeight{"preferredExpandedContentHeight"};
inline constinit objc::Message<CGFloat()> preferredExpandedContentWidth{"preferredExpandedContentWidth"};
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
inline constinit objc::Message<void(BOOL)> setShouldProvideOwnPlatter{"setShouldProvideOwnPlatter:"};
inline constinit objc::Message<BOOL()> useTrailingCheckmarkLayout{"useTrailingCheckmarkLayout"};
inline constinit objc::Message<void(BOOL)> setUseTrailingCheckmarkLayout{"setUseTrailingCheckmarkLayout:"};
inline constinit objc::Message<BOOL()> isBusy{"isBusy"};
inline constinit objc::Message<void(BOOL)> setBusy{"setBusy:"};
inline constinit objc::Message<void(id)> setMenuItems{"setMenuItems:"};
inline constinit objc::Message<id(id)> menuItemForIdentifier{"menuItemForIdentifier:"};
// A row was tapped; sender is its CCUIMenuModuleItemView.
inline constinit objc::Message<void(id)> _handleActionTapped{"_handleActionTapped:"};
// Puts the check mark view on each selected row and takes it off the others.
inline constinit objc::Message<void()> _updateLeadingAndTrailingViews{"_updateLeadingAndTrailingViews"};
inline constinit objc::Message<BOOL()> _canShowWhileLocked{"_canShowWhileLocked"};
}  // namespace CCUIMenuModuleViewController

// CCUIMenuModuleItem : NSObject, one row's data.
namespace CCUIMenuModuleItem {
inline constinit objc::Message<id(id, id, CCUIMenuModuleItemHandler)> initWithTitle_identifier_handler{
    "initWithTitle:identifier:handler:"};
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
    objc::instance_message<CCUIContentModuleContentViewController::preferredExpandedContentHeight>("CCUIButtonModuleViewController"),
    objc::instance_message<CCUIContentModuleContentViewController::preferredExpandedContentWidth>("CCUIButtonModuleViewController"),
    objc::instance_message<CCUIContentModuleContentViewController::shouldBeginTransitionToExpandedContentModule>("CCUIButtonModuleViewController"),
    objc::instance_message<CCUIContentModuleContentViewController::willTransitionToExpandedContentMode>("CCUIButtonModuleViewController"),
    objc::instance_message<CCUIContentModuleContentViewController::didTransitionToExpandedContentMode>("CCUIButtonModuleViewController"),
    objc::instance_message<CCUIContentModuleContentViewController::controlCenterWillPresent>("CCUIButtonModuleViewController"),
    objc::instance_message<CCUIContentModuleContentViewController::controlCenterDidDismiss>("CCUIButtonModuleViewController"),
    objc::instance_message<CCUIContentModuleContentViewController::providesOwnPlatter>("CCUIButtonModuleViewController"),
    objc::instance_message<CCUIButtonModuleViewController::glyphImage>("CCUIButtonModuleViewController"),
    objc::instance_message<CCUIButtonModuleViewController::setGlyphImage>("CCUIButtonModuleViewController"),
    objc::instance_message<CCUIButtonModuleViewController::glyphColor>("CCUIButtonModuleViewController"),
    objc::instance_message<CCUIButtonModuleViewController::setGlyphColor>("CCUIButtonModuleViewController"),
    objc::instance_message<CCUIButtonModuleViewController::selectedGlyphImage>("CCUIButtonModuleViewController"),
    objc::instance_message<CCUIButtonModuleViewController::setSelectedGlyphImage>("CCUIButtonModuleViewController"),
    objc::instance_message<CCUIButtonModuleViewController::selectedGlyphColor>("CCUIButtonModuleViewController"),
    objc::instance_message<CCUIButtonModuleViewController::setSelectedGlyphColor>("CCUIButtonModuleViewController"),
    objc::instance_message<CCUIButtonModuleViewController::glyphState>("CCUIButtonModuleViewController"),
    objc::instance_message<CCUIButtonModuleViewController::setGlyphState>("CCUIButtonModuleViewController"),
    objc::instance_message<CCUIButtonModuleViewController::isSelected>("CCUIButtonModuleViewController"),
    objc::instance_message<CCUIButtonModuleViewController::setSelected>("CCUIButtonModuleViewController"),
    objc::instance_message<CCUIButtonModuleViewController::isExpanded>("CCUIButtonModuleViewController"),
    objc::instance_message<CCUIButtonModuleViewController::setExpanded>("CCUIButtonModuleViewController"),
    objc::instance_message<CCUIButtonModuleViewController::buttonTapped_forEvent>("CCUIButtonModuleViewController"),
    objc::instance_message<CCUIMenuModuleViewController::subtitle>("CCUIMenuModuleViewController"),
    objc::instance_message<CCUIMenuModuleViewController::setSubtitle>("CCUIMenuModuleViewController"),
    objc::instance_message<CCUIMenuModuleViewController::indentation>("CCUIMenuModuleViewController"),
    objc::instance_message<CCUIMenuModuleViewController::setIndentation>("CCUIMenuModuleViewController"),
    objc::instance_message<CCUIMenuModuleViewController::shouldProvideOwnPlatter>("CCUIMenuModuleViewController"),
    objc::instance_message<CCUIMenuModuleViewController::setShouldProvideOwnPlatter>("CCUIMenuModuleViewController"),
    objc::instance_message<CCUIMenuModuleViewController::useTrailingCheckmarkLayout>("CCUIMenuModuleViewController"),
    objc::instance_message<CCUIMenuModuleViewController::setUseTrailingCheckmarkLayout>("CCUIMenuModuleViewController"),
    objc::instance_message<CCUIMenuModuleViewController::isBusy>("CCUIMenuModuleViewController"),
    objc::instance_message<CCUIMenuModuleViewController::setBusy>("CCUIMenuModuleViewController"),
    objc::instance_message<CCUIMenuModuleViewController::setMenuItems>("CCUIMenuModuleViewController"),
    objc::instance_message<CCUIMenuModuleViewController::menuItemForIdentifier>("CCUIMenuModuleViewController"),
    objc::instance_message<CCUIMenuModuleViewController::_handleActionTapped>("CCUIMenuModuleViewController"),
    objc::instance_message<CCUIMenuModuleViewController::_updateLeadingAndTrailingViews>("CCUIMenuModuleViewController"),
    objc::instance_message<CCUIMenuModuleViewController::_canShowWhileLocked>("CCUIMenuModuleViewController"),
    objc::instance_message<CCUIMenuModuleItem::initWithTitle_identifier_handler>("CCUIMenuModuleItem"),
    objc::instance_message<CCUIMenuModuleItem::title>("CCUIMenuModuleItem"),
    objc::instance_message<CCUIMenuModuleItem::identifier>("CCUIMenuModuleItem"),
    objc::instance_message<CCUIMenuModuleItem::subtitle>("CCUIMenuModuleItem"),
    objc::instance_message<CCUIMenuModuleItem::setSubtitle>("CCUIMenuModuleItem"),
    objc::instance_message<CCUIMenuModuleItem::isSelected>("CCUIMenuModuleItem"),
    objc::instance_message<CCUIMenuModuleItem::setSelected>("CCUIMenuModuleItem"),
    objc::instance_message<CCUIMenuModuleItem::isBusy>("CCUIMenuModuleItem"),
    objc::instance_message<CCUIMenuModuleItem::setBusy>("CCUIMenuModuleItem"),
    objc::instance_message<CCUIMenuModuleItem::performAction>("CCUIMenuModuleItem"),
    objc::instance_message<CCUIMenuModuleItemView::menuItem>("CCUIMenuModuleItemView"),
    objc::instance_message<CCUIMenuModuleItemView::setMenuItem>("CCUIMenuModuleItemView"),
    objc::instance_message<CCUIMenuModuleItemView::leadingView>("CCUIMenuModuleItemView"),
    objc::instance_message<CCUIMenuModuleItemView::setLeadingView>("CCUIMenuModuleItemView"),
    objc::instance_message<CCUIMenuModuleItemView::trailingView>("CCUIMenuModuleItemView"),
    objc::instance_message<CCUIMenuModuleItemView::setTrailingView>("CCUIMenuModuleItemView"),
    objc::instance_message<CCUIMenuModuleItemView::useTrailingCheckmarkLayout>("CCUIMenuModuleItemView"),
    objc::instance_message<CCUIMenuModuleItemView::setUseTrailingCheckmarkLayout>("CCUIMenuModuleItemView"),
    objc::instance_message<CCUIMenuModuleItemView::indentation>("CCUIMenuModuleItemView"),
    objc::instance_message<CCUIMenuModuleItemView::setIndentation>("CCUIMenuModuleItemView"),
    objc::instance_message<CCUIMenuModuleItemView::separatorVisible>("CCUIMenuModuleItemView"),
    objc::instance_message<CCUIMenuModuleItemView::setSeparatorVisible>("CCUIMenuModuleItemView"),
};

}  // namespace halvernic::ui
