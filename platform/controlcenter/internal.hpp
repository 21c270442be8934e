// The ControlCenterUIKit stand-in's classes and the look they share. Each class registers
// itself once, at load, superclasses first.
#pragma once

#include "common/objc/runtime.hpp"
#include "common/ui/uikit.hpp"

namespace hv_controlcenter {

namespace ui = halvernic::ui;

// Makes every class of the stand-in, superclasses first (from load.mm's +load).
void register_classes();
void register_menu_item_class();
void register_menu_item_view_class();
void register_button_module_class();
void register_menu_module_class();

// ---- geometry, in points ------------------------------------------------------------------
inline constexpr CGFloat kTileCornerRadius = 19.0;
inline constexpr CGFloat kExpandedCornerRadius = 38.0;
// The width Control Center gives an expanded module.
inline constexpr CGFloat kExpandedWidth = 320.0;
inline constexpr CGFloat kHeaderHeight = 72.0;
inline constexpr CGFloat kHeaderGlyphSide = 42.0;
inline constexpr CGFloat kRowHeight = 56.0;
inline constexpr CGFloat kMenuBottomInset = 10.0;
inline constexpr CGFloat kSideInset = 16.0;
// One step of a menu's indentation.
inline constexpr CGFloat kIndentationStep = 8.0;
inline constexpr CGFloat kCheckmarkSide = 22.0;

// The collapsed tile's parts, made in the button module's viewDidLoad (nil before).
id tile_platter(id controller);
id tile_button(id controller);
id tile_glyph_view(id controller);

// Lays the module's views out for the controller's view's bounds: the tile, then (for a
// menu module) the header and the rows. The module's root view runs it from layoutSubviews.
void layout_module(id controller);
void layout_menu(id controller);
bool is_menu_module(id controller);

// The check mark a selected row shows (a new image view, +1).
id make_checkmark_view();

// The platter colours: the module's material, and the lit platter of a selected tile.
id material_color();
id selected_platter_color();
// The secondary text of a menu row.
id secondary_text_color();

}  // namespace hv_controlcenter
