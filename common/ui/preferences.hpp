// The Settings app's Preferences framework as the pane sees it: PSSpecifier,
// PSViewController and PSListController, each message declared once with the types of
// the framework's class dumps. The framework is private; its classes are reached by name
// (on Linux they are the stand-ins of platform/preferences, with the same names and types).
// The pattern is uikit.hpp's.
#pragma once

#include <objc/objc.h>

#include "common/objc/message.hpp"
#include "common/ui/uikit.hpp"

namespace halvernic::ui {

inline constinit objc::ClassName kPSSpecifier{"PSSpecifier"};
inline constinit objc::ClassName kPSViewController{"PSViewController"};
inline constinit objc::ClassName kPSListController{"PSListController"};
inline constinit objc::ClassName kPSTableCell{"PSTableCell"};

// The row kinds of a specifier (PSCellType) and the resource's names for them.
using PSCellType = NSInteger;
inline constexpr PSCellType PSGroupCell = 0;
inline constexpr PSCellType PSLinkCell = 1;
inline constexpr PSCellType PSLinkListCell = 2;
inline constexpr PSCellType PSListItemCell = 3;
inline constexpr PSCellType PSTitleValueCell = 4;
inline constexpr PSCellType PSSliderCell = 5;
inline constexpr PSCellType PSSwitchCell = 6;
inline constexpr PSCellType PSStaticTextCell = 7;
inline constexpr PSCellType PSEditTextCell = 8;
inline constexpr PSCellType PSSegmentCell = 9;
inline constexpr PSCellType PSGiantIconCell = 10;
inline constexpr PSCellType PSGiantCell = 11;
inline constexpr PSCellType PSSecureEditTextCell = 12;
inline constexpr PSCellType PSButtonCell = 13;
inline constexpr PSCellType PSEditTextViewCell = 14;

namespace PSSpecifier {
inline constinit objc::Message<id()> properties{"properties"};
inline constinit objc::Message<void(id)> setProperties{"setProperties:"};
inline constinit objc::Message<id(id)> propertyForKey{"propertyForKey:"};
inline constinit objc::Message<void(id, id)> setProperty_forKey{"setProperty:forKey:"};
inline constinit objc::Message<id()> name{"name"};
inline constinit objc::Message<void(id)> setName{"setName:"};
inline constinit objc::Message<id()> identifier{"identifier"};
inline constinit objc::Message<void(id)> setIdentifier{"setIdentifier:"};
inline constinit objc::Message<id()> target{"target"};
inline constinit objc::Message<void(id)> setTarget{"setTarget:"};
inline constinit objc::Message<PSCellType()> cellType{"cellType"};
inline constinit objc::Message<void(PSCellType)> setCellType{"setCellType:"};
inline constinit objc::Message<id()> values{"values"};
inline constinit objc::Message<id()> titleDictionary{"titleDictionary"};
}  // namespace PSSpecifier

namespace PSViewController {
inline constinit objc::Message<id(CGSize)> initForContentSize{"initForContentSize:"};
inline constinit objc::Message<id(id)> readPreferenceValue{"readPreferenceValue:"};
inline constinit objc::Message<void(id, id)> setPreferenceValue_specifier{"setPreferenceValue:specifier:"};
inline constinit objc::Message<id()> specifier{"specifier"};
inline constinit objc::Message<void(id)> setSpecifier{"setSpecifier:"};
}  // namespace PSViewController

namespace PSListController {
inline constinit objc::Message<id()> specifiers{"specifiers"};
inline constinit objc::Message<void(id)> setSpecifiers{"setSpecifiers:"};
inline constinit objc::Message<id(id, id)> loadSpecifiersFromPlistName_target{
    "loadSpecifiersFromPlistName:target:"};
inline constinit objc::Message<id(id, id, id)> loadSpecifiersFromPlistName_target_bundle{
    "loadSpecifiersFromPlistName:target:bundle:"};
inline constinit objc::Message<void()> reloadSpecifiers{"reloadSpecifiers"};
inline constinit objc::Message<void(id)> reloadSpecifier{"reloadSpecifier:"};
inline constinit objc::Message<id(id)> specifierForID{"specifierForID:"};
inline constinit objc::Message<id(id)> specifierAtIndexPath{"specifierAtIndexPath:"};
inline constinit objc::Message<id(id)> indexPathForSpecifier{"indexPathForSpecifier:"};
inline constinit objc::Message<id()> table{"table"};
inline constinit objc::Message<id()> bundle{"bundle"};
}  // namespace PSListController

// PSTableCell : UITableViewCell, the cell Settings makes for a specifier.
namespace PSTableCell {
inline constinit objc::Message<void(id)> refreshCellContentsWithSpecifier{
    "refreshCellContentsWithSpecifier:"};
inline constinit objc::Message<id()> specifier{"specifier"};
}  // namespace PSTableCell

// Every message above with the class that declares it (for the encoding test).
inline constexpr objc::MessageInfo kPreferencesMessages[] = {
    objc::instance_message<PSSpecifier::properties>("PSSpecifier"),
    objc::instance_message<PSSpecifier::setProperties>("PSSpecifier"),
    objc::instance_message<PSSpecifier::propertyForKey>("PSSpecifier"),
    objc::instance_message<PSSpecifier::setProperty_forKey>("PSSpecifier"),
    objc::instance_message<PSSpecifier::name>("PSSpecifier"),
    objc::instance_message<PSSpecifier::setName>("PSSpecifier"),
    objc::instance_message<PSSpecifier::identifier>("PSSpecifier"),
    objc::instance_message<PSSpecifier::setIdentifier>("PSSpecifier"),
    objc::instance_message<PSSpecifier::target>("PSSpecifier"),
    objc::instance_message<PSSpecifier::setTarget>("PSSpecifier"),
    objc::instance_message<PSSpecifier::cellType>("PSSpecifier"),
    objc::instance_message<PSSpecifier::setCellType>("PSSpecifier"),
    objc::instance_message<PSSpecifier::values>("PSSpecifier"),
    objc::instance_message<PSSpecifier::titleDictionary>("PSSpecifier"),
    objc::instance_message<PSViewController::initForContentSize>("PSViewController"),
    objc::instance_message<PSViewController::readPreferenceValue>("PSViewController"),
    objc::instance_message<PSViewController::setPreferenceValue_specifier>("PSViewController"),
    objc::instance_message<PSViewController::specifier>("PSViewController"),
    objc::instance_message<PSViewController::setSpecifier>("PSViewController"),
    objc::instance_message<PSListController::specifiers>("PSListController"),
    objc::instance_message<PSListController::setSpecifiers>("PSListController"),
    objc::instance_message<PSListController::loadSpecifiersFromPlistName_target>("PSListController"),
    objc::instance_message<PSListController::loadSpecifiersFromPlistName_target_bundle>("PSListController"),
    objc::instance_message<PSListController::reloadSpecifiers>("PSListController"),
    objc::instance_message<PSListController::reloadSpecifier>("PSListController"),
    objc::instance_message<PSListController::specifierForID>("PSListController"),
    objc::instance_message<PSListController::specifierAtIndexPath>("PSListController"),
    objc::instance_message<PSListController::indexPathForSpecifier>("PSListController"),
    objc::instance_message<PSListController::table>("PSListController"),
    objc::instance_message<PSListController::bundle>("PSListController"),
    objc::instance_message<UITableViewDataSource::numberOfSectionsInTableView>("PSListController"),
    objc::instance_message<UITableViewDataSource::tableView_numberOfRowsInSection>("PSListController"),
    objc::instance_message<UITableViewDataSource::tableView_cellForRowAtIndexPath>("PSListController"),
    objc::instance_message<UITableViewDataSource::tableView_titleForHeaderInSection>("PSListController"),
    objc::instance_message<UITableViewDataSource::tableView_titleForFooterInSection>("PSListController"),
    objc::instance_message<UITableViewDelegate::tableView_didSelectRowAtIndexPath>("PSListController"),
    objc::instance_message<PSTableCell::refreshCellContentsWithSpecifier>("PSTableCell"),
    objc::instance_message<PSTableCell::specifier>("PSTableCell"),
};

}  // namespace halvernic::ui
