// RootListController, the pane's principal class: a PSListController whose rows read and
// write the preferences file directly (store.hpp), and whose "CPU 模式" row opens the
// pane's own menu of the three CPU modes (mode_menu.hpp) instead of a detail page.
#pragma once

#include "common/objc/ref.hpp"
#include "common/objc/weak.hpp"

namespace halvernic::prefs {

// The controller's stored properties. The three constants are set before the superclass's
// initialiser runs; the overlay reference is weak, so a menu the platform removed reads nil.
struct ControllerState {
  objc::Ref cpu_mode_key;     // "thermalPowerMode"
  objc::Ref cpu_mode_values;  // "off", "lowPower", "fullPower"
  objc::Ref cpu_mode_titles;  // the three titles, same order
  objc::WeakRef cpu_mode_menu_overlay;
};

// The state of a controller (nullptr for an object that is not a RootListController).
ControllerState* controllerState(id controller);

// Registers RootListController (and its companions) with the runtime; once per process.
void registerControllerClasses();

}  // namespace halvernic::prefs
