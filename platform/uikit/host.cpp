// The host API (hvplatform/uikit_host.hpp): a root view, appearance, taps, and the
// display list the renderer draws.
#include <cmath>

#include <hvplatform/uikit_host.hpp>

#include "platform/uikit/internal.hpp"

namespace hv::uikit {
namespace {

using objc::sel;
using objc::send;

void each_view(id view, const std::function<void(id)>& fn) {
  fn(view);
  const std::vector<objc::Ref> children = view_state(view).subviews;
  for (const objc::Ref& c : children) each_view(c.get(), fn);
}

render::Affine affine(const CGAffineTransform& t) { return {t.a, t.b, t.c, t.d, t.tx, t.ty}; }

render::Rect rect(CGRect r) { return {r.origin.x, r.origin.y, r.size.width, r.size.height}; }

id font_or_default(id label) { return send<id>(label, sel("font")); }

int render_alignment(long ns_alignment) {
  switch (ns_alignment) {
    case 1: return render::align_center;
    case 2: return render::align_right;
    default: return render::align_left;
  }
}

render::Node node_of(id view, long style) {
  ViewState& s = view_state(view);
  render::Node n;
  const CGRect bounds = presented_bounds(view);  // geometry at the clock's time
  n.to_parent = affine(to_superview(bounds, presented_center(view), presented_transform(view)));
  n.bounds = rect(bounds);
  n.opacity = s.hidden ? 0 : presented_alpha(view);
  if (s.background) n.background = rgba_of(s.background.get(), style);
  const LayerState& l = layer_state(s.layer.get());
  n.corner_radius = l.corner_radius;
  n.corner_mask = static_cast<unsigned>(l.masked_corners);
  n.continuous_corners = l.corner_curve && objc::toString(l.corner_curve.get()) == "continuous";
  n.clips = l.masks;
  if (l.shadow_opacity > 0 && l.shadow_color) {
    render::Shadow shadow;
    const CGFloat* k = CGColorGetComponents(l.shadow_color);
    shadow.color = {k[0], k[1], k[2], k[3]};
    shadow.opacity = l.shadow_opacity;
    shadow.radius = l.shadow_radius;
    shadow.offset = {l.shadow_offset.width, l.shadow_offset.height};
    if (l.shadow_path) shadow.path = path_of(l.shadow_path);
    n.shadow = shadow;
  }
  if (is_kind(view, "UIVisualEffectView") && s.effect) {
    const long blur = own::UIBlurEffect::hvStyle.send(s.effect.get());
    (void)blur;  // every style is drawn as the thin material
    n.backdrop = render::system_thin_material(style == 2);
  }
  if (is_kind(view, "UILabel")) {
    n.texts.push_back(text_for(view, style, bounds));
  }
  if (is_kind(view, "UIButton") && s.title_label) {
    // The title laid out in the bounds less the title insets, aligned as the content.
    CGRect r = bounds;
    r.origin.x += s.title_insets.left;
    r.origin.y += s.title_insets.top;
    r.size.width -= s.title_insets.left + s.title_insets.right;
    r.size.height -= s.title_insets.top + s.title_insets.bottom;
    render::Text t = text_for(s.title_label.get(), style, r);
    t.alignment = s.h_alignment == 1   ? render::align_left
                  : s.h_alignment == 2 ? render::align_right
                                       : render::align_center;
    n.texts.push_back(t);
  }
  id image = is_kind(view, "UIImageView") ? s.image.get() : nullptr;
  if (image) {
    const ImageState& is = objc::storage<ImageState>(image);
    render::Bitmap b = is.bitmap;
    b.frame = rect(bounds);
    if (is.symbol || is.rendering_mode == 2) {
      id tint = is.tint ? is.tint.get() : send<id>(view, sel("tintColor"));
      b.template_tint = rgba_of(tint, style);
    }
    n.images.push_back(std::move(b));
  }
  for (const objc::Ref& child : s.subviews) n.children.push_back(node_of(child.get(), style));
  return n;
}

}  // namespace

render::Text text_for(id label, long style, CGRect frame) {
  ViewState& s = view_state(label);
  render::Text t;
  t.utf8 = objc::toString(s.text.get());
  id font = font_or_default(label);
  t.point_size = send<CGFloat>(font, sel("pointSize"));
  t.weight = css_weight(own::UIFont::hvWeight.send(font));
  t.color = rgba_of(send<id>(label, sel("textColor")), style);
  t.alignment = render_alignment(s.alignment);
  t.frame = rect(frame);
  t.max_lines = static_cast<int>(s.lines);
  return t;
}

void set_system_version(const char* version) {
  own::UIDevice::hvSetSystemVersion.send(ui::UIDevice::currentDevice.send(ui::kUIDevice),
                                         objc::string(version));
}

render::Node display_list_of(id view) {
  render::Node n = node_of(view, interface_style_of(view));
  n.to_parent = {};
  return n;
}

Host::Host(CGSize size, long interface_style) {
  root_ = make_view("UIView", CGRectMake(0, 0, size.width, size.height));
  view_state(root_).style_override = interface_style ? interface_style : 1;
  send(root_, sel("setBackgroundColor:"),
       send<id>(objc::cls("UIColor"), sel("systemBackgroundColor")));
  send(objc::cls("UITraitCollection"), sel("setCurrentTraitCollection:"),
       trait_collection_with_style(view_state(root_).style_override));
}

Host::~Host() {
  objc::release(controller_);
  objc::release(status_bar_);
  objc::release(root_);
}

namespace {

id color_named(const char* name) { return send<id>(objc::cls("UIColor"), sel(name)); }

id add_piece(id parent, CGRect frame, id color, double corner_radius) {
  objc::Ref piece = objc::Ref::adopt(make_view("UIView", frame));
  send(piece.get(), sel("setBackgroundColor:"), color);
  if (corner_radius > 0)
    send(send<id>(piece.get(), sel("layer")), sel("setCornerRadius:"), corner_radius);
  send(parent, sel("addSubview:"), piece.get());
  return piece.get();
}

}  // namespace

// iOS 15's status bar on a 390-point iPhone with a notch: the leading text centred in the
// left ear, four signal bars and the battery (a translucent body, its charge full) in the
// right one.
void Host::show_status_bar(const std::string& leading, bool light_content) {
  objc::AutoreleasePool pool;
  const double width = send<CGRect>(root_, sel("bounds")).size.width;
  if (!status_bar_) {
    status_bar_ = make_view("UIView", CGRectMake(0, 0, width, kStatusBarHeight));
    send(status_bar_, sel("setUserInteractionEnabled:"), NO);
    send(status_bar_, sel("setAutoresizingMask:"), 0x2ul);
  }
  const std::vector<objc::Ref> old_pieces = view_state(status_bar_).subviews;
  for (const objc::Ref& piece : old_pieces) send(piece.get(), sel("removeFromSuperview"));
  id ink = light_content ? color_named("whiteColor") : color_named("labelColor");
  id faint = send<id>(ink, sel("colorWithAlphaComponent:"), 0.35);

  objc::Ref text = objc::Ref::adopt(make_view("UILabel", CGRectMake(0, 14, 108, 22)));
  send(text.get(), sel("setText:"), objc::string(leading));
  send(text.get(), sel("setTextAlignment:"), 1l);
  send(text.get(), sel("setFont:"),
       send<id>(objc::cls("UIFont"), sel("systemFontOfSize:weight:"), 16.0, 0.3));
  send(text.get(), sel("setTextColor:"), ink);
  send(status_bar_, sel("addSubview:"), text.get());

  const double right = width - 24;  // the battery's trailing edge
  const double battery_x = right - 27, middle = 25;
  add_piece(status_bar_, CGRectMake(battery_x, middle - 6, 25, 12), faint, 3.8);
  add_piece(status_bar_, CGRectMake(battery_x + 2, middle - 4, 21, 8), ink, 2);
  add_piece(status_bar_, CGRectMake(battery_x + 25.8, middle - 2, 1.4, 4), faint, 0.7);
  const double bar_heights[] = {4, 6.3, 8.6, 11};
  double x = battery_x - 24;
  for (double h : bar_heights) {
    add_piece(status_bar_, CGRectMake(x, middle + 5.5 - h, 3, h), ink, 1);
    x += 4.7;
  }
  send(root_, sel("addSubview:"), status_bar_);
  view_state(root_).safe_area.top = kStatusBarHeight;
  // What lays itself out by the safe area does so again (a navigation controller's view).
  each_view(root_, [](id v) {
    if (is_kind(v, "UILayoutContainerView")) send(v, sel("layoutSubviews"));
  });
}

id Host::root_view() const { return root_; }

void Host::set_root_view_controller(id controller) {
  objc::Ref keep = objc::Ref::retain(controller);
  objc::release(controller_);
  controller_ = keep.leak();
  id view = send<id>(controller_, sel("view"));
  if (!view) return;
  send(view, sel("setFrame:"), send<CGRect>(root_, sel("bounds")));
  send(view, sel("setAutoresizingMask:"), 0x12ul);
  send(controller_, sel("viewWillAppear:"), NO);
  // Below the status bar, which stays on top.
  send(root_, sel("insertSubview:atIndex:"), view, 0l);
  send(controller_, sel("viewDidAppear:"), NO);
}

long Host::appearance() const { return view_state(root_).style_override; }

void Host::set_appearance(long style) {
  objc::AutoreleasePool pool;
  const long old = appearance();
  if (style == old) return;
  id previous = trait_collection_with_style(old);
  view_state(root_).style_override = style;
  send(objc::cls("UITraitCollection"), sel("setCurrentTraitCollection:"),
       trait_collection_with_style(style));
  each_view(root_, [&](id v) { send(v, sel("traitCollectionDidChange:"), previous); });
  if (controller_) send(controller_, sel("traitCollectionDidChange:"), previous);
}

id Host::tap(CGPoint point) {
  objc::AutoreleasePool pool;
  id hit = send<id>(root_, sel("hitTest:withEvent:"), point, static_cast<id>(nullptr));
  if (!hit) return nullptr;
  objc::Ref keep = objc::Ref::retain(hit);
  for (id v = hit; v; v = view_state(v).superview) {
    if (is_kind(v, "UIControl")) {
      if (objc::sendBool(v, sel("isEnabled")))
        send(v, sel("sendActionsForControlEvents:"), 1ul << 6);
      return hit;
    }
    if (is_kind(v, "UITableViewCell")) {
      id table = view_state(v).superview;
      if (table && is_kind(table, "UITableView")) {
        id path = send<id>(table, sel("indexPathForCell:"), v);
        id delegate = view_state(table).delegate;
        if (path) send(table, sel("selectRowAtIndexPath:animated:scrollPosition:"), path, NO, 0l);
        if (path && delegate &&
            objc::respondsTo(delegate, sel("tableView:didSelectRowAtIndexPath:"))) {
          send(delegate, sel("tableView:didSelectRowAtIndexPath:"), table, path);
        }
        return hit;
      }
    }
  }
  return hit;
}

render::Node Host::display_list() const { return display_list_of(root_); }

render::Image Host::render_image(double scale, render::Stats* stats) const {
  render::Options options;
  options.scale = scale;
  const CGRect b = send<CGRect>(root_, sel("bounds"));
  options.size = {b.size.width, b.size.height};
  return render::render(display_list(), options, stats);
}

bool Host::snapshot(const std::string& path, double scale, std::string* error,
                    render::Stats* stats) const {
  return render::write_png(render_image(scale, stats), path, error);
}

}  // namespace hv::uikit
