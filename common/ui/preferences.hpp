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
inline constinit objc::Message<void(id, id)> setPreferenceValue_specifier{
    "setPreferenceValue:specifier:"};
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
    objc::instanceMessage<PSSpecifier::properties>("PSSpecifier"),
    objc::instanceMessage<PSSpecifier::setProperties>("PSSpecifier"),
    objc::instanceMessage<PSSpecifier::propertyForKey>("PSSpecifier"),
    objc::instanceMessage<PSSpecifier::setProperty_forKey>("PSSpecifier"),
    objc::instanceMessage<PSSpecifier::name>("PSSpecifier"),
    objc::instanceMessage<PSSpecifier::setName>("PSSpecifier"),
    objc::instanceMessage<PSSpecifier::identifier>("PSSpecifier"),
    objc::instanceMessage<PSSpecifier::setIdentifier>("PSSpecifier"),
    objc::instanceMessage<PSSpecifier::target>("PSSpecifier"),
    objc::instanceMessage<PSSpecifier::setTarget>("PSSpecifier"),
    objc::instanceMessage<PSSpecifier::cellType>("PSSpecifier"),
    objc::instanceMessage<PSSpecifier::setCellType>("PSSpecifier"),
    objc::instanceMessage<PSSpecifier::values>("PSSpecifier"),
    objc::instanceMessage<PSSpecifier::titleDictionary>("PSSpecifier"),
    objc::instanceMessage<PSViewController::initForContentSize>("PSViewController"),
    objc::instanceMessage<PSViewController::readPreferenceValue>("PSViewController"),
    objc::instanceMessage<PSViewController::setPreferenceValue_specifier>("PSViewController"),
    objc::instanceMessage<PSViewController::specifier>("PSViewController"),
    objc::instanceMessage<PSViewController::setSpecifier>("PSViewController"),
    objc::instanceMessage<PSListController::specifiers>("PSListController"),
    objc::instanceMessage<PSListController::setSpecifiers>("PSListController"),
    objc::instanceMessage<PSListController::loadSpecifiersFromPlistName_target>("PSListController"),
    objc::instanceMessage<PSListController::loadSpecifiersFromPlistName_target_bundle>(
        "PSListController"),
    objc::instanceMessage<PSListController::reloadSpecifiers>("PSListController"),
    objc::instanceMessage<PSListController::reloadSpecifier>("PSListController"),
    objc::instanceMessage<PSListController::specifierForID>("PSListController"),
    objc::instanceMessage<PSListController::specifierAtIndexPath>("PSListController"),
    objc::instanceMessage<PSListController::indexPathForSpecifier>("PSListController"),
    objc::instanceMessage<PSListController::table>("PSListController"),
    objc::instanceMessage<PSListController::bundle>("PSListController"),
    objc::instanceMessage<UITableViewDataSource::numberOfSectionsInTableView>("PSListController"),
    objc::instanceMessage<UITableViewDataSource::tableView_numberOfRowsInSection>(
        "PSListController"),
    objc::instanceMessage<UITableViewDataSource::tableView_cellForRowAtIndexPath>(
        "PSListController"),
    objc::instanceMessage<UITableViewDataSource::tableView_titleForHeaderInSection>(
        "PSListController"),
    objc::instanceMessage<UITableViewDataSource::tableView_titleForFooterInSection>(
        "PSListController"),
    objc::instanceMessage<UITableViewDelegate::tableView_didSelectRowAtIndexPath>(
        "PSListController"),
    objc::instanceMessage<PSTableCell::refreshCellContentsWithSpecifier>("PSTableCell"),
    objc::instanceMessage<PSTableCell::specifier>("PSTableCell"),
};

}  // namespace halvernic::ui
