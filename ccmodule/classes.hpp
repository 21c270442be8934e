// The module's two classes, made at load with the class builder: HalvernicCCModule (the
// bundle's principal class, adopting CCUIContentModule) and its content view controller
// HalvernicCCModuleViewController, a CCUIMenuModuleViewController.
#pragma once

#include "common/objc/runtime.hpp"

namespace halvernic::ccmodule {

inline constexpr char kModuleClassName[] = "HalvernicCCModule";
inline constexpr char kViewControllerClassName[] = "HalvernicCCModuleViewController";

// Each registers its class once; the view controller's comes first (the module makes one).
Class registerViewControllerClass();
Class registerModuleClass();

// The tile's glyph when the system symbol cannot be loaded: a 42 by 42 point image at the
// screen's scale holding a white pulse line (+0, autoreleased).
id drawFallbackGlyph();

}  // namespace halvernic::ccmodule
