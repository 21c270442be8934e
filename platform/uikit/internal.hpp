// The UIKit stand-in's own state, shared by its files. Each class keeps its C++ state in
// the class builder's storage; every class of the view family shares one ViewState.
//
// Everything here runs on the main thread (UIKit's rule); nothing is locked.
#pragma once

#include <CoreGraphics/CoreGraphics.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/objc/block.hpp"
#include "common/objc/class_builder.hpp"
#include "common/objc/foundation.hpp"
#include "common/objc/message.hpp"
#include "common/objc/ref.hpp"
#include "common/ui/geometry.hpp"
#include "common/ui/uikit.hpp"
#include "platform/render/canvas.hpp"
#include "platform/render/display_list.hpp"

namespace hv::uikit {

// The classes register their methods from the declarations of common/ui (Apple's types);
// the implementations are written from the SDK's headers, and a registration whose
// function has other types than the declaration does not compile.
namespace ui = halvernic::ui;
using halvernic::ui::UIEdgeInsets;

// The stand-in's own messages, which no UIKit header has: what the host API and tests ask
// of its objects, and the actions of its own controls.
namespace own {
namespace UIBlurEffect {
inline constinit objc::Message<ui::UIBlurEffectStyle()> hvStyle{"hvStyle"};  // as made
}  // namespace UIBlurEffect
namespace UIFont {
inline constinit objc::Message<ui::UIFontWeight()> hvWeight{"hvWeight"};
}  // namespace UIFont
namespace UIDevice {
// The version systemVersion answers from now on (the simulated host's iOS version).
inline constinit objc::Message<void(id)> hvSetSystemVersion{"hvSetSystemVersion:"};
}  // namespace UIDevice
namespace UISwitch {
inline constinit objc::Message<void(id)> hvToggle{"hvToggle:"};  // a tap's action
}  // namespace UISwitch
namespace UINavigationBar {
inline constinit objc::Message<void(id)> hvBack{"hvBack:"};  // the back button's action
}  // namespace UINavigationBar
}  // namespace own

struct Target {
  id target = nullptr;  // not retained, as UIKit
  SEL action = nullptr;
  unsigned long events = 0;
};

struct ViewState {
  ViewState() = default;
  ViewState(const ViewState&) = delete;  // its destructor unlinks the tree: never copy one
  ViewState& operator=(const ViewState&) = delete;
  // geometry, as UIKit keeps it: bounds, centre and transform; frame is derived
  CGRect bounds{};
  CGPoint center{};
  CGAffineTransform transform{1, 0, 0, 1, 0, 0};
  std::vector<objc::Ref> subviews;
  id superview = nullptr;  // the superview owns this view
  objc::Ref background;
  double alpha = 1;
  bool hidden = false;
  bool opaque = true;
  bool user_interaction = true;
  bool autoresizes_subviews = true;
  unsigned long autoresizing = 0;
  long tag = 0;
  objc::Ref layer;
  objc::Ref tint;
  long style_override = 0;   // a root view's interface style (host appearance)
  UIEdgeInsets safe_area{};  // a root view's safe area (the host's status bar)
  // UIControl
  std::vector<Target> targets;
  bool enabled = true, selected = false, highlighted = false;
  long h_alignment = 0, v_alignment = 0;
  // UIButton
  long button_type = 0;
  std::map<unsigned long, objc::Ref> titles, title_colors, images;
  objc::Ref title_label, image_view;
  UIEdgeInsets title_insets{}, content_insets{};
  // UILabel
  objc::Ref text, text_color, font;
  long alignment = 4;  // NSTextAlignmentNatural
  long lines = 1;
  // UIImageView
  objc::Ref image;
  // UIStackView
  std::vector<objc::Ref> arranged;
  long axis = 0;
  double spacing = 0;
  // UIVisualEffectView
  objc::Ref effect, content_view;
  // UITableView
  id data_source = nullptr, delegate = nullptr;  // weak, as UIKit
  long table_style = 0;
  double row_height = 44;
  std::vector<std::vector<objc::Ref>> cells;
  std::vector<objc::Ref> section_views;
  objc::Ref selected_path;
  // UITableViewCell (disclosure: the chevron UIKit shows for the disclosure accessory type;
  // separator: the hairline the table gives every row of a section but its last)
  objc::Ref text_label, detail_label, reuse_identifier, accessory_view, disclosure, separator;
  long cell_style = 0, accessory = 0, selection_style = 3;
  bool cell_selected = false;
  // Views that outlive this one (retained elsewhere) no longer name it as their superview;
  // a layer kept elsewhere no longer names it as its view.
  ~ViewState();
};

struct LayerState {
  id view = nullptr;  // the view that owns the layer
  double corner_radius = 0;
  unsigned long masked_corners = 15;  // CACornerMask: all four
  objc::Ref corner_curve;
  bool masks = false;
  float opacity = 1;
  CGColorRef shadow_color = nullptr;
  CGColorRef background = nullptr;
  CGColorRef border_color = nullptr;
  double border_width = 0;
  float shadow_opacity = 0;
  double shadow_radius = 3;
  CGSize shadow_offset{0, -3};
  CGPathRef shadow_path = nullptr;
  ~LayerState();
};

struct ColorState {
  double r = 0, g = 0, b = 0, a = 0;
  objc::Block<id(id)> provider;  // a dynamic colour
  CGColorRef cg = nullptr;
  ~ColorState();
};

struct FontState {
  double size = 17;
  double weight = 0;  // UIFontWeight
};

struct TraitState {
  long style = 0;
};

struct ImageState {
  render::Bitmap bitmap;  // frame = (0, 0, size in points)
  double scale = 1;
  bool symbol = false;
  long rendering_mode = 0;
  objc::Ref tint;
};

struct SymbolConfigurationState {
  double point_size = 0;
  long weight = 0;
};

struct PathState {
  CGMutablePathRef path = nullptr;
  double line_width = 1;
  int cap = 0, join = 0;
  ~PathState();
};

struct ControllerState {
  objc::Ref view;
  objc::Ref title;
  CGSize preferred_content_size{};
  id parent = nullptr;  // the container showing it (a navigation controller), not retained
  objc::Ref navigation_item;
};

// ---- helpers shared by the files ------------------------------------------------------
ViewState& view_state(id view);
LayerState& layer_state(id layer);
id make_object(const char* class_name);              // alloc/init, +1
id make_view(const char* class_name, CGRect frame);  // alloc/initWithFrame:, +1
bool is_view(id object);
bool is_kind(id object, const char* class_name);

CGRect view_frame(const ViewState& s);
// The view's bounds coordinates to its superview's coordinates.
CGAffineTransform to_superview(CGRect bounds, CGPoint center, const CGAffineTransform& transform);
inline CGAffineTransform to_superview(const ViewState& s) {
  return to_superview(s.bounds, s.center, s.transform);
}
// The view's coordinates to its root's (the topmost superview's).
CGAffineTransform to_root(id view);
id root_of(id view);

long interface_style_of(id view);            // 1 light or 2 dark (the root's, light by default)
id trait_collection_with_style(long style);  // autoreleased
id resolve_color(id color, long style);      // a plain colour (+0)
render::Rgba rgba_of(id color, long style);
id current_trait_collection();  // +[UITraitCollection currentTraitCollection]

// Animatable properties record their change while an animation block runs.
enum class Property { frame_center, bounds, alpha, transform, background };
void will_change(id view, Property p);
// The property's value at the host clock's time, mid-animation included.
double presented_alpha(id view);
CGAffineTransform presented_transform(id view);
CGPoint presented_center(id view);
CGRect presented_bounds(id view);

double clock_now();
void run_after(double delay, objc::Block<void()> work);

// The image context stack (UIGraphicsBeginImageContextWithOptions).
render::Canvas* current_canvas();
void set_current_stroke(render::Rgba c);
void set_current_fill(render::Rgba c);
std::optional<render::Rgba> current_stroke();
std::optional<render::Rgba> current_fill();
render::Path path_of(CGPathRef path);
render::Size measure(const render::Text& t);
render::Text text_for(id label, long style, CGRect frame);  // a UILabel's text, as drawn
int css_weight(double ui_font_weight);
// A chevron image (template, autoreleased): the disclosure and back indicators.
id chevron_image(bool forward, double width, double height, double line_width);
double main_screen_scale();

// Class registration, in dependency order.
void register_responder_and_views();
void register_colors_and_fonts();
void register_controller();
void register_table();
void register_graphics();
void register_devices();
void register_switch();
void register_navigation();

}  // namespace hv::uikit
