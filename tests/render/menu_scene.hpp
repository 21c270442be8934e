// The picture people look at, built from the UIKit stand-ins: a settings list with the
// CPU mode menu open over it (a card with a shadow and the thin material, three row
// buttons with Chinese titles, a check mark, two hairlines) and a Control Center tile
// with its drawn fallback glyph. Colours are dynamic, so the host's appearance picks
// light or dark.
#pragma once

#include <hvplatform/uikit_host.hpp>

#include "platform/render/display_list.hpp"

namespace hv::render::demo {

// Points; the menu sits where the settings pane puts it for the full-width CPU mode cell
// at (0, 300, 390, 44), over a second group of cells whose icons show through its blur.
inline constexpr Size kPicture{390, 540};
inline constexpr Rect kMenu{120, 352, 256, 141};
inline constexpr double kRow = 47;
inline constexpr int kCheckedRow = 1;
inline constexpr Rect kTile{24, 24, 72, 72};

// Adds the scene's views to the host's root view (which it colours as a grouped list);
// answers the menu's shadow container (+0, held by the view tree).
id build_menu_scene(hv::uikit::Host& host);

}  // namespace hv::render::demo
