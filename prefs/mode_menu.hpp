// The CPU mode menu: a small card of the three modes, anchored below the tapped cell and
// right-aligned to it, with a check mark at the current mode, over a transparent control
// that closes it on a tap outside.
#pragma once

#include "common/objc/runtime.hpp"

namespace halvernic::prefs {

// Closes any open menu, then builds and shows a new one for the tapped cell.
void showCpuModeMenu(id controller, id cell);

// Clears the controller's overlay reference at once, then fades the overlay out over 0.12 s
// and removes it from its superview. Does nothing when no menu is open.
void closeCpuModeMenu(id controller);

}  // namespace halvernic::prefs
