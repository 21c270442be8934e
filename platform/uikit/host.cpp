// The host API (hvplatform/uikit_host.hpp): a root view, appearance, taps, and the
// display list the renderer draws.
#include <cmath>

#include <hvplatform/uikit_host.hpp>

#include "platform/uikit/internal.hpp"

namespace hv::uikit {
namespace {

using objc::send;
using objc::sel;

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
  n.continuous_corners = l.corner_curve && objc::to_string(l.corner_curve.get()) == "continuous";
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
    const long blur = send<long>(s.effect.get(), sel("hvStyle"));
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
    t.alignment = s.h_alignment == 1 ? render::align_left : s.h_alignment == 2 ? render::align_right : render::align_center;
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
  t.utf8 = objc::to_string(s.text.get());
  id font = font_or_default(label);
  t.point_size = send<CGFloat>(font, sel("pointSize"));
  t.weight = css_weight(send<CGFloat>(font, sel("hvWeight")));
  t.color = rgba_of(send<id>(label, sel("textColor")), style);
  t.alignment = render_alignment(s.alignment);
  t.frame = rect(frame);
  t.max_lines = static_cast<int>(s.lines);
  return t;
}

void set_system_version(const char* version) {
  send(send<id>(objc::cls("UIDevice"), sel("currentDevice")), sel("hvSetSystemVersion:"), objc::string(version));
}

render::Node display_list_of(id view) {
  render::Node n = node_of(view, interface_style_of(view));
  n.to_parent = {};
  return n;
}

Host::Host(CGSize size, long interface_style) {
  root_ = make_view("UIView", CGRectMake(0, 0, size.width, size.height));
  view_state(root_).style_override = interface_style ? interface_style : 1;
  send(root_, sel("setBackgroundColor:"), send<id>(objc::cls("UIColor"), sel("systemBackgroundColor")));
  send(objc::cls("UITraitCollection"), sel("setCurrentTraitCollection:"),
       trait_collection_with_style(view_state(root_).style_override));
}

Host::~Host() {
  objc::release(controller_);
  objc::release(root_);
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
  send(root_, sel("addSubview:"), view);
  send(controller_, sel("viewDidAppear:"), NO);
}

long Host::appearance() const { return view_state(root_).style_override; }

void Host::set_appearance(long style) {
  objc::AutoreleasePool pool;
  const long old = appearance();
  if (style == old) return;
  id previous = trait_collection_with_style(old);
  view_state(root_).style_override = style;
  send(objc::cls("UITraitCollection"), sel("setCurrentTraitCollection:"), trait_collection_with_style(style));
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
      if (objc::send_bool(v, sel("isEnabled"))) send(v, sel("sendActionsForControlEvents:"), 1ul << 6);
      return hit;
    }
    if (is_kind(v, "UITableViewCell")) {
      id table = view_state(v).superview;
      if (table && is_kind(table, "UITableView")) {
        id path = send<id>(table, sel("indexPathForCell:"), v);
        id delegate = view_state(table).delegate;
        if (path) send(table, sel("selectRowAtIndexPath:animated:scrollPosition:"), path, NO, 0l);
        if (path && delegate && objc::responds_to(delegate, sel("tableView:didSelectRowAtIndexPath:"))) {
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

bool Host::snapshot(const std::string& path, double scale, std::string* error, render::Stats* stats) const {
  return render::write_png(render_image(scale, stats), path, error);
}

}  // namespace hv::uikit
