// The Settings app's Preferences framework, as much of it as a preference bundle relies on:
// PSSpecifier (a row and its properties), PSViewController (the base reading and writing of
// a row's value), PSListController (rows from a specifier resource, shown in a grouped
// table), and the cells Settings makes for them (switches, list rows, links).
//
// Written from what the framework's users rely on (PLATFORM.md, Preferences):
//   - `_specifiers` is nil until loaded; the base `specifiers` answers it as it is;
//   - `loadSpecifiersFromPlistName:target:` reads "<name>.plist" from `[self bundle]`,
//     which by default is the bundle of the controller's class (for a class made at run
//     time, the process's main bundle);
//   - each cell reads its value through the target's `readPreferenceValue:` and writes a
//     change through `setPreferenceValue:specifier:`;
//   - the base `readPreferenceValue:` / `setPreferenceValue:specifier:` keep the value in the
//     domain named by the row's `defaults` (a property list below the device root's
//     /var/jb/var/mobile/Library/Preferences, where a rootless system keeps tweak domains)
//     and the setter posts the row's `PostNotification`.
#include <CoreFoundation/CoreFoundation.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/objc/class_builder.hpp"
#include "common/objc/foundation.hpp"
#include "common/ui/preferences.hpp"
#include "common/ui/uikit.hpp"
#include "hvplatform/environment.h"

namespace {

namespace ui = halvernic::ui;
namespace fs = std::filesystem;
using ui::NSInteger;

constinit objc::Message<id(id)> kBundleForClass{"bundleForClass:"};
constinit objc::Message<id()> kBundlePath{"bundlePath"};
constinit objc::Message<id()> kClassMessage{"class"};
constinit objc::Message<id()> kNew{"new"};
constinit objc::ClassName kNSBundle{"NSBundle"};

// The stand-in's own messages, which the framework does not have.
namespace own {
namespace PSListController {
// The detail page a link row last opened (its detail class's name), for tests and hosts.
constinit objc::Message<id()> hvOpenedDetail{"hvOpenedDetail"};
}  // namespace PSListController
namespace PSTableCell {
constinit objc::Message<void(id)> controlChanged{"controlChanged:"};  // a row's switch moved
}  // namespace PSTableCell
}  // namespace own

Class g_specifier = nullptr;
Class g_view_controller = nullptr;
Class g_list_controller = nullptr;
Class g_cell = nullptr;

// ---- PSSpecifier -------------------------------------------------------------------------
// Every entry of the resource's item is kept in properties; name, identifier and the cell
// kind are read from it. The target is not retained (the controller owns its rows).
struct SpecifierState {
  objc::Ref properties = objc::makeMutableDictionary();
  id target = nullptr;
  NSInteger cell_type = -1;
};

SpecifierState& specifier_state(id self) { return objc::storage<SpecifierState>(self); }

id spec_properties(id self, SEL) { return specifier_state(self).properties.get(); }
void spec_set_properties(id self, SEL, id properties) {
  specifier_state(self).properties = objc::isDictionary(properties) ? objc::mutableCopy(properties)
                                                                    : objc::makeMutableDictionary();
}
id spec_property_for_key(id self, SEL, id key) {
  return objc::dictionaryGet(specifier_state(self).properties.get(), key);
}
void spec_set_property_for_key(id self, SEL, id value, id key) {
  if (!key) return;
  objc::dictionarySet(specifier_state(self).properties.get(), key, value);
}
id spec_name(id self, SEL) {
  return objc::dictionaryGet(specifier_state(self).properties.get(), "label");
}
void spec_set_name(id self, SEL, id name) {
  objc::dictionarySet(specifier_state(self).properties.get(), "label", name);
}
id spec_identifier(id self, SEL) {
  id identifier = objc::dictionaryGet(specifier_state(self).properties.get(), "id");
  return identifier ? identifier : spec_name(self, nullptr);
}
void spec_set_identifier(id self, SEL, id identifier) {
  objc::dictionarySet(specifier_state(self).properties.get(), "id", identifier);
}
id spec_target(id self, SEL) { return specifier_state(self).target; }
void spec_set_target(id self, SEL, id target) { specifier_state(self).target = target; }
NSInteger spec_cell_type(id self, SEL) { return specifier_state(self).cell_type; }
void spec_set_cell_type(id self, SEL, NSInteger type) { specifier_state(self).cell_type = type; }
id spec_values(id self, SEL) {
  return objc::dictionaryGet(specifier_state(self).properties.get(), "validValues");
}
id spec_title_dictionary(id self, SEL) {
  id values = objc::dictionaryGet(specifier_state(self).properties.get(), "validValues");
  id titles = objc::dictionaryGet(specifier_state(self).properties.get(), "validTitles");
  objc::Ref dictionary = objc::makeMutableDictionary();
  for (std::size_t i = 0; i < objc::count(values) && i < objc::count(titles); ++i) {
    objc::dictionarySet(dictionary.get(), objc::arrayGet(values, i), objc::arrayGet(titles, i));
  }
  return objc::autorelease(dictionary.leak());
}

NSInteger cell_type_named(const std::string& name) {
  static const std::pair<const char*, NSInteger> kinds[] = {
      {"PSGroupCell", ui::PSGroupCell},           {"PSLinkCell", ui::PSLinkCell},
      {"PSLinkListCell", ui::PSLinkListCell},     {"PSListItemCell", ui::PSListItemCell},
      {"PSTitleValueCell", ui::PSTitleValueCell}, {"PSSliderCell", ui::PSSliderCell},
      {"PSSwitchCell", ui::PSSwitchCell},         {"PSStaticTextCell", ui::PSStaticTextCell},
      {"PSEditTextCell", ui::PSEditTextCell},     {"PSSegmentCell", ui::PSSegmentCell},
      {"PSButtonCell", ui::PSButtonCell},
  };
  for (const auto& [kind_name, kind] : kinds) {
    if (name == kind_name) return kind;
  }
  return ui::PSStaticTextCell;
}

// ---- PSViewController ------------------------------------------------------------------------
std::string domain_path(id domain) {
  const char* root = std::getenv(HV_ENV_DEVICE_ROOT);
  return (fs::path(root ? root : "/") / "var/jb/var/mobile/Library/Preferences" /
          (objc::toString(domain) + ".plist"))
      .string();
}

id vc_init_for_content_size(id self, SEL, CGSize) {
  return ui::UIViewController::initWithNibName_bundle.sendSuper(self, g_view_controller, nullptr,
                                                                nullptr);
}

id vc_read_preference_value(id self, SEL, id specifier) {
  id properties = ui::PSSpecifier::properties.send(specifier);
  id key = objc::dictionaryGet(properties, "key");
  id domain = objc::dictionaryGet(properties, "defaults");
  id value = nullptr;
  if (objc::isString(key) && objc::isString(domain)) {
    objc::Ref stored = objc::readPropertyListFile(domain_path(domain));
    value = objc::autorelease(objc::retain(objc::dictionaryGet(stored.get(), key)));
  }
  if (!value) value = objc::dictionaryGet(properties, "default");
  return value;
}

void vc_set_preference_value(id self, SEL, id value, id specifier) {
  objc::AutoreleasePool pool;
  id properties = ui::PSSpecifier::properties.send(specifier);
  id key = objc::dictionaryGet(properties, "key");
  id domain = objc::dictionaryGet(properties, "defaults");
  if (objc::isString(key) && objc::isString(domain)) {
    const std::string path = domain_path(domain);
    objc::Ref stored = objc::readPropertyListFile(path);
    if (!objc::isDictionary(stored.get())) stored = objc::makeMutableDictionary();
    objc::dictionarySet(stored.get(), key, value);
    fs::create_directories(fs::path(path).parent_path());
    objc::writePropertyListXmlAtomically(stored.get(), path);
  }
  id notification = objc::dictionaryGet(properties, "PostNotification");
  if (objc::isString(notification)) {
    CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(),
                                         reinterpret_cast<CFStringRef>(notification), nullptr,
                                         nullptr, true);
  }
}

id vc_specifier(id self, SEL) { return objc::getIvar(self, "_specifier"); }
// The row that opened the page: its name is the page's title (a pane's loader entry label).
void vc_set_specifier(id self, SEL, id specifier) {
  objc::setIvar(self, "_specifier", specifier);
  if (id name = specifier ? ui::PSSpecifier::name.send(specifier) : nullptr; objc::isString(name)) {
    ui::UIViewController::setTitle.send(self, name);
  }
}

// ---- PSListController ------------------------------------------------------------------------
id list_specifiers(id self, SEL) { return objc::getIvar(self, "_specifiers"); }

void list_set_specifiers(id self, SEL, id specifiers) {
  objc::setIvar(self, "_specifiers", specifiers);
  ui::UITableView::reloadData.send(objc::getIvar(self, "_table"));
}

id list_bundle(id self, SEL) {
  return kBundleForClass.send(kNSBundle.get(), kClassMessage.send(self));
}

id list_load_specifiers_bundle(id self, SEL, id name, id target, id bundle) {
  const fs::path file =
      fs::path(objc::toString(kBundlePath.send(bundle))) / (objc::toString(name) + ".plist");
  objc::Ref plist = objc::readPropertyListFile(file.string());
  objc::Ref rows = objc::makeMutableArray();
  if (id title = objc::dictionaryGet(plist.get(), "title"); objc::isString(title)) {
    ui::UIViewController::setTitle.send(self, title);
  }
  id items = objc::dictionaryGet(plist.get(), "items");
  for (std::size_t i = 0; i < objc::count(items); ++i) {
    id item = objc::arrayGet(items, i);
    if (!objc::isDictionary(item)) continue;
    objc::Ref row = objc::Ref::adopt(kNew.send(g_specifier));
    ui::PSSpecifier::setProperties.send(row.get(), item);
    ui::PSSpecifier::setCellType.send(
        row.get(), cell_type_named(objc::toString(objc::dictionaryGet(item, "cell"))));
    ui::PSSpecifier::setTarget.send(row.get(), target);
    objc::arrayAdd(rows.get(), row.get());
  }
  return objc::autorelease(rows.leak());
}

id list_load_specifiers(id self, SEL, id name, id target) {
  return ui::PSListController::loadSpecifiersFromPlistName_target_bundle.send(
      self, name, target, ui::PSListController::bundle.send(self));
}

// The table's sections: a group row starts one; rows before the first group form a section
// without a title. Built from the controller's `specifiers` each time it is asked.
struct Section {
  id group = nullptr;  // the group specifier, or nil
  std::vector<id> rows;
};

std::vector<Section> sections_of(id self) {
  id rows = ui::PSListController::specifiers.send(self);
  std::vector<Section> sections;
  for (std::size_t i = 0; i < objc::count(rows); ++i) {
    id row = objc::arrayGet(rows, i);
    if (ui::PSSpecifier::cellType.send(row) == ui::PSGroupCell) {
      sections.push_back(Section{row, {}});
      continue;
    }
    if (sections.empty()) sections.push_back(Section{});
    sections.back().rows.push_back(row);
  }
  return sections;
}

id list_specifier_at_index_path(id self, SEL, id index_path) {
  const auto sections = sections_of(self);
  const NSInteger section = ui::NSIndexPath::section.send(index_path);
  const NSInteger row = ui::NSIndexPath::row.send(index_path);
  if (section < 0 || static_cast<std::size_t>(section) >= sections.size()) return nullptr;
  const auto& rows = sections[static_cast<std::size_t>(section)].rows;
  if (row < 0 || static_cast<std::size_t>(row) >= rows.size()) return nullptr;
  return rows[static_cast<std::size_t>(row)];
}

id list_index_path_for_specifier(id self, SEL, id specifier) {
  const auto sections = sections_of(self);
  for (std::size_t s = 0; s < sections.size(); ++s) {
    for (std::size_t r = 0; r < sections[s].rows.size(); ++r) {
      if (sections[s].rows[r] == specifier) {
        return ui::NSIndexPath::indexPathForRow_inSection.send(
            ui::kNSIndexPath.get(), static_cast<NSInteger>(r), static_cast<NSInteger>(s));
      }
    }
  }
  return nullptr;
}

id list_specifier_for_id(id self, SEL, id identifier) {
  id rows = ui::PSListController::specifiers.send(self);
  for (std::size_t i = 0; i < objc::count(rows); ++i) {
    id row = objc::arrayGet(rows, i);
    if (objc::objectsEqual(ui::PSSpecifier::identifier.send(row), identifier)) return row;
  }
  return nullptr;
}

id list_table(id self, SEL) { return objc::getIvar(self, "_table"); }

void list_reload_specifiers(id self, SEL) {
  objc::setIvar(self, "_specifiers", nullptr);
  ui::PSListController::specifiers.send(self);
  ui::UITableView::reloadData.send(objc::getIvar(self, "_table"));
}

void list_reload_specifier(id self, SEL, id) {
  ui::UITableView::reloadData.send(objc::getIvar(self, "_table"));
}

// The view: a plain view holding the grouped table, both resizing with it.
void list_load_view(id self, SEL) {
  const CGRect frame{{0, 0}, {390, 844}};
  objc::Ref view = objc::Ref::adopt(
      ui::UIView::initWithFrame.send(ui::NSObject::alloc.send(ui::kUIView.get()), frame));
  objc::Ref table = objc::Ref::adopt(ui::UITableView::initWithFrame_style.send(
      ui::NSObject::alloc.send(ui::kUITableView.get()), frame, ui::UITableViewStyleInsetGrouped));
  const ui::UIViewAutoresizing flexible =
      ui::UIViewAutoresizingFlexibleWidth | ui::UIViewAutoresizingFlexibleHeight;
  ui::UIView::setAutoresizingMask.send(view.get(), flexible);
  ui::UIView::setAutoresizingMask.send(table.get(), flexible);
  // Settings' grouped look: grey page, rows on the grouped cell colour (both dynamic).
  ui::UIView::setBackgroundColor.send(
      table.get(), ui::UIColor::systemGroupedBackgroundColor.send(ui::kUIColor.get()));
  ui::UITableView::setDataSource.send(table.get(), self);
  ui::UITableView::setDelegate.send(table.get(), self);
  ui::UIView::addSubview.send(view.get(), table.get());
  objc::setIvar(self, "_table", table.get());
  ui::UIViewController::setView.send(self, view.get());
}

// Settings shows the rows afresh each time the page appears.
void list_view_will_appear(id self, SEL, BOOL animated) {
  ui::UIViewController::viewWillAppear.sendSuper(self, g_list_controller, animated);
  ui::UITableView::reloadData.send(objc::getIvar(self, "_table"));
}

NSInteger list_number_of_sections(id self, SEL, id) {
  return static_cast<NSInteger>(sections_of(self).size());
}

NSInteger list_number_of_rows(id self, SEL, id, NSInteger section) {
  const auto sections = sections_of(self);
  if (section < 0 || static_cast<std::size_t>(section) >= sections.size()) return 0;
  return static_cast<NSInteger>(sections[static_cast<std::size_t>(section)].rows.size());
}

id group_text(id self, NSInteger section, const char* key) {
  const auto sections = sections_of(self);
  if (section < 0 || static_cast<std::size_t>(section) >= sections.size()) return nullptr;
  id group = sections[static_cast<std::size_t>(section)].group;
  id text = objc::dictionaryGet(ui::PSSpecifier::properties.send(group), key);
  return objc::isString(text) ? text : nullptr;
}
id list_title_for_header(id self, SEL, id, NSInteger section) {
  return group_text(self, section, "label");
}
id list_title_for_footer(id self, SEL, id, NSInteger section) {
  return group_text(self, section, "footerText");
}

// ---- cells -----------------------------------------------------------------------------------
// PSTableCell: one row, made from its specifier, showing the value its target reads.
void cell_refresh(id self, SEL, id specifier) {
  objc::setIvar(self, "_specifier", specifier);
  ui::UILabel::setText.send(ui::UITableViewCell::textLabel.send(self),
                            ui::PSSpecifier::name.send(specifier));
  id target = ui::PSSpecifier::target.send(specifier);
  const NSInteger type = ui::PSSpecifier::cellType.send(specifier);
  id value =
      (type == ui::PSSwitchCell || type == ui::PSLinkListCell || type == ui::PSTitleValueCell)
          ? ui::PSViewController::readPreferenceValue.send(target, specifier)
          : nullptr;
  if (type == ui::PSSwitchCell) {
    id control = ui::UITableViewCell::accessoryView.send(self);
    if (!control) {
      objc::Ref made = objc::Ref::adopt(ui::UIView::initWithFrame.send(
          ui::NSObject::alloc.send(ui::kUISwitch.get()), CGRect{{0, 0}, {51, 31}}));
      ui::UIControl::addTarget_action_forControlEvents.send(
          made.get(), self, own::PSTableCell::controlChanged, ui::UIControlEventValueChanged);
      ui::UITableViewCell::setAccessoryView.send(self, made.get());
      ui::UITableViewCell::setSelectionStyle.send(self, ui::UITableViewCellSelectionStyleNone);
      control = made.get();
    }
    ui::UISwitch::setOn_animated.send(control, objc::toBool(objc::platformBoolValue(value)),
                                      objc::toBool(false));
  } else if (type == ui::PSLinkListCell || type == ui::PSTitleValueCell) {
    id title = objc::dictionaryGet(ui::PSSpecifier::titleDictionary.send(specifier), value);
    if (!title && objc::isString(value) && type == ui::PSTitleValueCell) title = value;
    ui::UILabel::setText.send(ui::UITableViewCell::detailTextLabel.send(self), title);
    if (type == ui::PSLinkListCell) {
      ui::UITableViewCell::setAccessoryType.send(self,
                                                 ui::UITableViewCellAccessoryDisclosureIndicator);
    }
  } else if (type == ui::PSLinkCell) {
    ui::UITableViewCell::setAccessoryType.send(self,
                                               ui::UITableViewCellAccessoryDisclosureIndicator);
  }
}

id cell_specifier(id self, SEL) { return objc::getIvar(self, "_specifier"); }

// A switch changed: the new value goes to the target as Settings sends it, a Boolean.
void cell_control_changed(id self, SEL, id control) {
  id specifier = objc::getIvar(self, "_specifier");
  const bool on = objc::fromBool(ui::UISwitch::isOn.send(control));
  ui::PSViewController::setPreferenceValue_specifier.send(ui::PSSpecifier::target.send(specifier),
                                                          objc::boolean(on), specifier);
}

id list_cell_for_row(id self, SEL, id, id index_path) {
  id specifier = ui::PSListController::specifierAtIndexPath.send(self, index_path);
  objc::Ref cell = objc::Ref::adopt(ui::UITableViewCell::initWithStyle_reuseIdentifier.send(
      ui::NSObject::alloc.send(g_cell), ui::UITableViewCellStyleValue1, nullptr));
  ui::UIView::setBackgroundColor.send(
      cell.get(), ui::UIColor::secondarySystemGroupedBackgroundColor.send(ui::kUIColor.get()));
  ui::PSTableCell::refreshCellContentsWithSpecifier.send(cell.get(), specifier);
  return objc::autorelease(cell.leak());
}

// The default selection: the row is deselected; a row with a detail page records which one
// Settings would open (the stand-in shows no detail pages).
void list_did_select_row(id self, SEL, id table_view, id index_path) {
  ui::UITableView::deselectRowAtIndexPath_animated.send(table_view, index_path, objc::toBool(true));
  id specifier = ui::PSListController::specifierAtIndexPath.send(self, index_path);
  id detail = objc::dictionaryGet(ui::PSSpecifier::properties.send(specifier), "detail");
  if (objc::isString(detail)) objc::setIvar(self, "_hvOpenedDetail", detail);
}

id list_opened_detail(id self, SEL) { return objc::getIvar(self, "_hvOpenedDetail"); }

// PSSpecifier: one row of a pane, its properties by key and the usual ones by name.
Class build_specifier() {
  return objc::ClassBuilder("PSSpecifier", "NSObject")
      .storage<SpecifierState>()
      .method(ui::PSSpecifier::properties, &spec_properties)
      .method(ui::PSSpecifier::setProperties, &spec_set_properties)
      .method(ui::PSSpecifier::propertyForKey, &spec_property_for_key)
      .method(ui::PSSpecifier::setProperty_forKey, &spec_set_property_for_key)
      .method(ui::PSSpecifier::name, &spec_name)
      .method(ui::PSSpecifier::setName, &spec_set_name)
      .method(ui::PSSpecifier::identifier, &spec_identifier)
      .method(ui::PSSpecifier::setIdentifier, &spec_set_identifier)
      .method(ui::PSSpecifier::target, &spec_target)
      .method(ui::PSSpecifier::setTarget, &spec_set_target)
      .method(ui::PSSpecifier::cellType, &spec_cell_type)
      .method(ui::PSSpecifier::setCellType, &spec_set_cell_type)
      .method(ui::PSSpecifier::values, &spec_values)
      .method(ui::PSSpecifier::titleDictionary, &spec_title_dictionary)
      .build();
}

// PSViewController: a pane's controller, with the specifier that opened it.
Class build_view_controller() {
  return objc::ClassBuilder("PSViewController", "UIViewController")
      .ivar("_specifier")
      .method(ui::PSViewController::initForContentSize, &vc_init_for_content_size)
      .method(ui::PSViewController::readPreferenceValue, &vc_read_preference_value)
      .method(ui::PSViewController::setPreferenceValue_specifier, &vc_set_preference_value)
      .method(ui::PSViewController::specifier, &vc_specifier)
      .method(ui::PSViewController::setSpecifier, &vc_set_specifier)
      .build();
}

// PSListController: a table of specifiers, loaded from a bundle's property list, with the
// table's data source and delegate.
Class build_list_controller() {
  return objc::ClassBuilder("PSListController", "PSViewController")
      .ivar("_specifiers")
      .ivar("_table")
      .ivar("_hvOpenedDetail")
      .protocol("UITableViewDataSource")
      .protocol("UITableViewDelegate")
      .method(ui::PSListController::specifiers, &list_specifiers)
      .method(ui::PSListController::setSpecifiers, &list_set_specifiers)
      .method(ui::PSListController::bundle, &list_bundle)
      .method(ui::PSListController::loadSpecifiersFromPlistName_target, &list_load_specifiers)
      .method(ui::PSListController::loadSpecifiersFromPlistName_target_bundle,
              &list_load_specifiers_bundle)
      .method(ui::PSListController::reloadSpecifiers, &list_reload_specifiers)
      .method(ui::PSListController::reloadSpecifier, &list_reload_specifier)
      .method(ui::PSListController::specifierForID, &list_specifier_for_id)
      .method(ui::PSListController::specifierAtIndexPath, &list_specifier_at_index_path)
      .method(ui::PSListController::indexPathForSpecifier, &list_index_path_for_specifier)
      .method(ui::PSListController::table, &list_table)
      .method(ui::UIViewController::loadView, &list_load_view)
      .method(ui::UIViewController::viewWillAppear, &list_view_will_appear)
      .method(ui::UITableViewDataSource::numberOfSectionsInTableView, &list_number_of_sections)
      .method(ui::UITableViewDataSource::tableView_numberOfRowsInSection, &list_number_of_rows)
      .method(ui::UITableViewDataSource::tableView_cellForRowAtIndexPath, &list_cell_for_row)
      .method(ui::UITableViewDataSource::tableView_titleForHeaderInSection, &list_title_for_header)
      .method(ui::UITableViewDataSource::tableView_titleForFooterInSection, &list_title_for_footer)
      .method(ui::UITableViewDelegate::tableView_didSelectRowAtIndexPath, &list_did_select_row)
      .method(own::PSListController::hvOpenedDetail, &list_opened_detail)
      .build();
}

// PSTableCell: a row's cell, filled in from its specifier; its switch's changes go to the
// specifier's target.
Class build_cell() {
  return objc::ClassBuilder("PSTableCell", "UITableViewCell")
      .ivar("_specifier")
      .method(ui::PSTableCell::refreshCellContentsWithSpecifier, &cell_refresh)
      .method(ui::PSTableCell::specifier, &cell_specifier)
      .method(own::PSTableCell::controlChanged, &cell_control_changed)
      .build();
}

__attribute__((constructor)) void register_preferences_classes() {
  objc::AutoreleasePool pool;
  if (objc::cls("PSListController")) return;
  g_specifier = build_specifier();
  g_view_controller = build_view_controller();
  g_list_controller = build_list_controller();
  g_cell = build_cell();
}

}  // namespace
