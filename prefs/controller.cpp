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

objc::Ref makeStringArray(const auto& texts) {
  objc::Ref array = objc::makeMutableArray();
  for (const char* text : texts) objc::arrayAdd(array.get(), objc::makeString(text).get());
  return array;
}

// The four stored properties, before the superclass's initialiser runs.
void setProperties(id self) {
  ControllerState* state = controllerState(self);
  if (!state) return;
  state->cpu_mode_key = objc::makeString(contract::kPowerModeKey);
  state->cpu_mode_values = makeStringArray(contract::kPowerModeValues);
  state->cpu_mode_titles = makeStringArray(contract::kPowerModeTitles);
  state->cpu_mode_menu_overlay.store(nullptr);
}

// ---- methods, in the order the class lists them ------------------------------------------

// The rows: whatever mutable array the superclass's storage already holds, else the "Root"
// resource of this controller's bundle, stored there first.
id specifiers(id self, SEL) {
  id storage_key = objc::string("_specifiers");
  id current = kValueForKey.send(self, storage_key);
  if (current && objc::isKindOf(current, kNSMutableArray)) return current;
  id loaded = ui::PSListController::loadSpecifiersFromPlistName_target.send(
      self, objc::string("Root"), self);
  kSetValueForKey.send(self, loaded, storage_key);
  return loaded;
}

void setSpecifiers(id self, SEL, id rows) {
  ui::PSListController::setSpecifiers.sendSuper(self, g_controller_class, rows);
}

// The CPU mode row shows what its menu checks: a stored mode that is none of the three
// values is shown as the native mode, as it is treated, not as an empty value.
id readPreferenceValue(id self, SEL, id specifier) {
  id properties = ui::PSSpecifier::properties.send(specifier);
  ControllerState* state = controllerState(self);
  if (state &&
      objc::objectsEqual(objc::dictionaryGet(properties, "key"), state->cpu_mode_key.get())) {
    return objc::string(currentCpuModeValue());
  }
  objc::Ref value = rowValue(properties);
  return objc::autorelease(value.leak());
}

// Never the superclass's: the value goes to the preferences file, not the platform's store.
void setPreferenceValue(id self, SEL, id value, id specifier) {
  id key = objc::dictionaryGet(ui::PSSpecifier::properties.send(specifier), "key");
  if (!objc::isString(key)) return;
  writePreferenceValue(value, objc::toString(key));
}

void didSelectRow(id self, SEL, id table_view, id index_path) {
  id cell = ui::UITableView::cellForRowAtIndexPath.send(table_view, index_path);
  id label = cell ? ui::UITableViewCell::textLabel.send(cell) : nullptr;
  id text = label ? ui::UILabel::text.send(label) : nullptr;
  if (text && objc::stringEquals(text, kCPUModeRowLabel)) {
    ui::UITableView::deselectRowAtIndexPath_animated.send(table_view, index_path,
                                                          objc::toBool(true));
    showCpuModeMenu(self, cell);
    return;
  }
  ui::UITableViewDelegate::tableView_didSelectRowAtIndexPath.sendSuper(self, g_controller_class,
                                                                       table_view, index_path);
}

void cpuModeMenuItemTapped(id self, SEL, id sender) {
  ControllerState* state = controllerState(self);
  if (!state) return;
  const NSInteger tag = ui::UIView::tag.send(sender);
  id values = state->cpu_mode_values.get();
  if (tag < 0 || static_cast<std::size_t>(tag) >= objc::count(values)) return;
  writePreferenceValue(objc::arrayGet(values, static_cast<std::size_t>(tag)),
                       objc::toString(state->cpu_mode_key.get()));
  closeCpuModeMenu(self);
  ui::PSListController::reloadSpecifiers.send(self);
}

void dismissCpuModeMenu(id self, SEL) { closeCpuModeMenu(self); }

id initForContentSize(id self, SEL, CGSize size) {
  setProperties(self);
  return ui::PSViewController::initForContentSize.sendSuper(self, g_controller_class, size);
}

id initWithNibName(id self, SEL, id nib_name, id nib_bundle) {
  setProperties(self);
  return ui::UIViewController::initWithNibName_bundle.sendSuper(self, g_controller_class, nib_name,
                                                                nib_bundle);
}

id initWithCoder(id self, SEL, id coder) {
  setProperties(self);
  return ui::UIViewController::initWithCoder.sendSuper(self, g_controller_class, coder);
}

// The bundle that holds this binary. Foundation finds a class's bundle from the image that
// defines the class; a class made at run time has none, so the default would answer the
// host's own bundle and the "Root" resource would not be found.
id bundle(id self, SEL) {
  static id const own = []() -> id {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&bundle), &info) || !info.dli_fname) return nullptr;
    const std::string binary = info.dli_fname;
    const std::string folder = binary.substr(0, binary.find_last_of('/'));
    return objc::keepForever(
        objc::Ref::retain(kBundleWithPath.send(kNSBundle.get(), objc::string(folder))));
  }();
  if (own) return own;
  return ui::PSListController::bundle.sendSuper(self, g_controller_class);
}

// Property getters.
id cpuModeKey(id self, SEL) {
  ControllerState* state = controllerState(self);
  return state ? state->cpu_mode_key.get() : nullptr;
}
id cpuModeValues(id self, SEL) {
  ControllerState* state = controllerState(self);
  return state ? state->cpu_mode_values.get() : nullptr;
}
id cpuModeTitles(id self, SEL) {
  ControllerState* state = controllerState(self);
  return state ? state->cpu_mode_titles.get() : nullptr;
}
id cpuModeMenuOverlay(id self, SEL) {
  ControllerState* state = controllerState(self);
  if (!state) return nullptr;
  return objc::autorelease(state->cpu_mode_menu_overlay.load().leak());
}

}  // namespace

ControllerState* controllerState(id controller) {
  if (!g_controller_class || !objc::isKindOf(controller, g_controller_class)) return nullptr;
  return &objc::storage<ControllerState>(controller);
}

void registerControllerClasses() {
  if (g_controller_class || objc::cls("RootListController") || !ui::kPSListController.get()) return;
  g_controller_class =
      objc::ClassBuilder("RootListController", "PSListController")
          .storage<ControllerState>()
          .method(ui::PSListController::specifiers, &specifiers)
          .method(ui::PSListController::setSpecifiers, &setSpecifiers)
          .method(ui::PSViewController::readPreferenceValue, &readPreferenceValue)
          .method(ui::PSViewController::setPreferenceValue_specifier, &setPreferenceValue)
          .method(ui::UITableViewDelegate::tableView_didSelectRowAtIndexPath, &didSelectRow)
          .method(RootListController::cpuModeMenuItemTapped, &cpuModeMenuItemTapped)
          .method(RootListController::dismissCPUModeMenu, &dismissCpuModeMenu)
          .method(ui::PSViewController::initForContentSize, &initForContentSize)
          .method(ui::UIViewController::initWithNibName_bundle, &initWithNibName)
          .method(ui::UIViewController::initWithCoder, &initWithCoder)
          .method(ui::PSListController::bundle, &bundle)
          .method(RootListController::cpuModeKey, &cpuModeKey)
          .method(RootListController::cpuModeValues, &cpuModeValues)
          .method(RootListController::cpuModeTitles, &cpuModeTitles)
          .method(RootListController::cpuModeMenuOverlay, &cpuModeMenuOverlay)
          .build();
}

}  // namespace halvernic::prefs
