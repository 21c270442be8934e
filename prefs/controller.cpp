#include "prefs/controller.hpp"

#include <dlfcn.h>

#include <string>

#include "common/objc/class_builder.hpp"
#include "common/objc/foundation.hpp"
#include "common/objc/message.hpp"
#include "common/ui/preferences.hpp"
#include "common/ui/uikit.hpp"
#include "extension/contract/contract.hpp"
#include "prefs/messages.hpp"
#include "prefs/mode_menu.hpp"
#include "prefs/store.hpp"

namespace halvernic::prefs {

namespace ui = halvernic::ui;
using ui::NSInteger;

namespace {

constexpr char kCPUModeRowLabel[] = "CPU 模式";

// NSObject's key-value coding and NSBundle, as the controller uses them.
inline constinit objc::Message<id(id)> kValueForKey{"valueForKey:"};
inline constinit objc::Message<void(id, id)> kSetValueForKey{"setValue:forKey:"};
inline constinit objc::Message<id(id)> kBundleWithPath{"bundleWithPath:"};
inline constinit objc::ClassName kNSBundle{"NSBundle"};
inline constinit objc::ClassName kNSMutableArray{"NSMutableArray"};

Class g_controller_class = nullptr;

objc::Ref make_string_array(const auto& texts) {
  objc::Ref array = objc::make_mutable_array();
  for (const char* text : texts) objc::array_add(array.get(), objc::make_string(text).get());
  return array;
}

// The four stored properties, before the superclass's initialiser runs.
void set_properties(id self) {
  ControllerState* state = controller_state(self);
  if (!state) return;
  state->cpu_mode_key = objc::make_string(contract::kPowerModeKey);
  state->cpu_mode_values = make_string_array(contract::kPowerModeValues);
  state->cpu_mode_titles = make_string_array(contract::kPowerModeTitles);
  state->cpu_mode_menu_overlay.store(nullptr);
}

// ---- methods, in the order the class lists them ------------------------------------------

// The rows: whatever mutable array the superclass's storage already holds, else the "Root"
// resource of this controller's bundle, stored there first.
id specifiers(id self, SEL) {
  id storage_key = objc::string("_specifiers");
  id current = kValueForKey.send(self, storage_key);
  if (current && objc::is_kind_of(current, kNSMutableArray)) return current;
  id loaded = ui::PSListController::loadSpecifiersFromPlistName_target.send(self, objc::string("Root"), self);
  kSetValueForKey.send(self, loaded, storage_key);
  return loaded;
}

void set_specifiers(id self, SEL, id rows) {
  ui::PSListController::setSpecifiers.send_super(self, g_controller_class, rows);
}

// The CPU mode row shows what its menu checks: a stored mode that is none of the three
// values is shown as the native mode, as it is treated, not as an empty value.
id read_preference_value(id self, SEL, id specifier) {
  id properties = ui::PSSpecifier::properties.send(specifier);
  ControllerState* state = controller_state(self);
  if (state && objc::objects_equal(objc::dictionary_get(properties, "key"), state->cpu_mode_key.get())) {
    return objc::string(current_cpu_mode_value());
  }
  objc::Ref value = row_value(properties);
  return objc::autorelease(value.leak());
}

// Never the superclass's: the value goes to the preferences file, not the platform's store.
void set_preference_value(id self, SEL, id value, id specifier) {
  id key = objc::dictionary_get(ui::PSSpecifier::properties.send(specifier), "key");
  if (!objc::is_string(key)) return;
  write_preference_value(value, objc::to_string(key));
}

void did_select_row(id self, SEL, id table_view, id index_path) {
  id cell = ui::UITableView::cellForRowAtIndexPath.send(table_view, index_path);
  id label = cell ? ui::UITableViewCell::textLabel.send(cell) : nullptr;
  id text = label ? ui::UILabel::text.send(label) : nullptr;
  if (text && objc::string_equals(text, kCPUModeRowLabel)) {
    ui::UITableView::deselectRowAtIndexPath_animated.send(table_view, index_path, objc::to_BOOL(true));
    show_cpu_mode_menu(self, cell);
    return;
  }
  ui::UITableViewDelegate::tableView_didSelectRowAtIndexPath.send_super(self, g_controller_class, table_view,
                                                                         index_path);
}

void cpu_mode_menu_item_tapped(id self, SEL, id sender) {
  ControllerState* state = controller_state(self);
  if (!state) return;
  const NSInteger tag = ui::UIView::tag.send(sender);
  id values = state->cpu_mode_values.get();
  if (tag < 0 || static_cast<std::size_t>(tag) >= objc::count(values)) return;
  write_preference_value(objc::array_get(values, static_cast<std::size_t>(tag)),
                         objc::to_string(state->cpu_mode_key.get()));
  close_cpu_mode_menu(self);
  ui::PSListController::reloadSpecifiers.send(self);
}

void dismiss_cpu_mode_menu(id self, SEL) { close_cpu_mode_menu(self); }

id init_for_content_size(id self, SEL, CGSize size) {
  set_properties(self);
  return ui::PSViewController::initForContentSize.send_super(self, g_controller_class, size);
}

id init_with_nib_name(id self, SEL, id nib_name, id nib_bundle) {
  set_properties(self);
  return ui::UIViewController::initWithNibName_bundle.send_super(self, g_controller_class, nib_name, nib_bundle);
}

id init_with_coder(id self, SEL, id coder) {
  set_properties(self);
  return ui::UIViewController::initWithCoder.send_super(self, g_controller_class, coder);
}

// The bundle that holds this binary. Foundation finds a class's bundle from the image that
// defines the class; a class made at run time has none, so the default would answer the
// host's own bundle and the "Root" resource would not be found.
id bundle(id self, SEL) {
  static id const own = [] () -> id {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&bundle), &info) || !info.dli_fname) return nullptr;
    const std::string binary = info.dli_fname;
    const std::string folder = binary.substr(0, binary.find_last_of('/'));
    return objc::keep_forever(
        objc::Ref::retain(kBundleWithPath.send(kNSBundle.get(), objc::string(folder))));
  }();
  if (own) return own;
  return ui::PSListController::bundle.send_super(self, g_controller_class);
}

// Property getters.
id cpu_mode_key(id self, SEL) {
  ControllerState* state = controller_state(self);
  return state ? state->cpu_mode_key.get() : nullptr;
}
id cpu_mode_values(id self, SEL) {
  ControllerState* state = controller_state(self);
  return state ? state->cpu_mode_values.get() : nullptr;
}
id cpu_mode_titles(id self, SEL) {
  ControllerState* state = controller_state(self);
  return state ? state->cpu_mode_titles.get() : nullptr;
}
id cpu_mode_menu_overlay(id self, SEL) {
  ControllerState* state = controller_state(self);
  if (!state) return nullptr;
  return objc::autorelease(state->cpu_mode_menu_overlay.load().leak());
}

}  // namespace

ControllerState* controller_state(id controller) {
  if (!g_controller_class || !objc::is_kind_of(controller, g_controller_class)) return nullptr;
  return &objc::storage<ControllerState>(controller);
}

void register_controller_classes() {
  if (g_controller_class || objc::cls("RootListController") || !ui::kPSListController.get()) return;
  g_controller_class = objc::ClassBuilder("RootListController", "PSListController")
                           .storage<ControllerState>()
                           .method(ui::PSListController::specifiers, &specifiers)
                           .method(ui::PSListController::setSpecifiers, &set_specifiers)
                           .method(ui::PSViewController::readPreferenceValue,
                                   &read_preference_value)
                           .method(ui::PSViewController::setPreferenceValue_specifier,
                                   &set_preference_value)
                           .method(ui::UITableViewDelegate::tableView_didSelectRowAtIndexPath,
                                   &did_select_row)
                           .method(RootListController::cpuModeMenuItemTapped,
                                   &cpu_mode_menu_item_tapped)
                           .method(RootListController::dismissCPUModeMenu, &dismiss_cpu_mode_menu)
                           .method(ui::PSViewController::initForContentSize, &init_for_content_size)
                           .method(ui::UIViewController::initWithNibName_bundle,
                                   &init_with_nib_name)
                           .method(ui::UIViewController::initWithCoder, &init_with_coder)
                           .method(ui::PSListController::bundle, &bundle)
                           .method(RootListController::cpuModeKey, &cpu_mode_key)
                           .method(RootListController::cpuModeValues, &cpu_mode_values)
                           .method(RootListController::cpuModeTitles, &cpu_mode_titles)
                           .method(RootListController::cpuModeMenuOverlay, &cpu_mode_menu_overlay)
                           .build();
}

}  // namespace halvernic::prefs
