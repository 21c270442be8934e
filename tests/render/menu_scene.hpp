// The picture people look at: a settings list with the CPU mode menu open over it (a card
// with a shadow and the thin material, three rows with Chinese titles, a check mark, two
// hairlines) and the Control Center tile's drawn glyph, in the light or dark appearance.
#pragma once

#include "platform/render/display_list.hpp"

namespace hv::render::demo {

// Points; the menu sits where the settings pane puts it for the full-width CPU mode cell
// at (0, 300, 390, 44), over a second group of cells whose icons show through its blur.
inline constexpr Size kPicture{390, 540};
inline constexpr Rect kMenu{120, 352, 256, 141};
inline constexpr double kRow = 47;
inline constexpr int kCheckedRow = 1;
inline constexpr Rect kTile{24, 24, 72, 72};

Node menu_scene(bool dark);

}  // namespace hv::render::demo
