// RootListController's own messages, beside those it overrides from Preferences and UIKit
// (common/ui), declared once with their types: the class registers its methods from them
// and the CPU mode menu targets its actions through them.
#pragma once

#include "common/objc/message.hpp"

namespace halvernic::prefs::RootListController {
// The menu's actions: a mode's row was tapped (sender: the row's button, tagged with the
// mode's index), or the dimmed area around the menu.
inline constinit objc::Message<void(id)> cpuModeMenuItemTapped{"cpuModeMenuItemTapped:"};
inline constinit objc::Message<void()> dismissCPUModeMenu{"dismissCPUModeMenu"};
// The stored properties: the CPU mode's preference key, its values and titles (arrays of
// strings, same order), and the open menu's overlay (nil when none is open).
inline constinit objc::Message<id()> cpuModeKey{"cpuModeKey"};
inline constinit objc::Message<id()> cpuModeValues{"cpuModeValues"};
inline constinit objc::Message<id()> cpuModeTitles{"cpuModeTitles"};
inline constinit objc::Message<id()> cpuModeMenuOverlay{"cpuModeMenuOverlay"};
}  // namespace halvernic::prefs::RootListController
