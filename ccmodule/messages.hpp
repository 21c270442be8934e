// HalvernicCCModuleViewController's own messages, beside those it overrides from
// ControlCenterUIKit (common/ui/controlcenter.hpp), declared once with their types.
#pragma once

#include "common/objc/message.hpp"

namespace halvernic::ccmodule::HalvernicCCModuleViewController {
inline constinit objc::Message<void()> forceWhiteHeaderTitle{"forceWhiteHeaderTitle"};
inline constinit objc::Message<void()> refreshSelectionState{"refreshSelectionState"};
inline constinit objc::Message<void()> rebuildMenuItems{"rebuildMenuItems"};
// The mode table's three columns (arrays of strings, copied when set).
inline constinit objc::Message<id()> modeValues{"modeValues"};
inline constinit objc::Message<void(id)> setModeValues{"setModeValues:"};
inline constinit objc::Message<id()> modeTitles{"modeTitles"};
inline constinit objc::Message<void(id)> setModeTitles{"setModeTitles:"};
inline constinit objc::Message<id()> modeSubtitles{"modeSubtitles"};
inline constinit objc::Message<void(id)> setModeSubtitles{"setModeSubtitles:"};
// The index of the current mode in modeValues.
inline constinit objc::Message<long long()> selectedIndex{"selectedIndex"};
inline constinit objc::Message<void(long long)> setSelectedIndex{"setSelectedIndex:"};
}  // namespace halvernic::ccmodule::HalvernicCCModuleViewController
