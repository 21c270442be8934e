// UIResponder, UIView and its layer CALayer, UIControl, UIButton, UILabel, UIImageView,
// UIStackView, UIVisualEffectView and UIBlurEffect.
#include <algorithm>
#include <cmath>

#include "common/ui/quartzcore.hpp"
#include "platform/uikit/internal.hpp"

namespace hv::uikit {
void view_animate_delay(id self, SEL, double duration, double delay, unsigned long options,
                        void (^animations)(),
                        void (^completion)(BOOL));  // mainloop.cpp
namespace {

using objc::sel;
using objc::send;

constexpr unsigned long kFlexLeft = 1 << 0, kFlexWidth = 1 << 1, kFlexRight = 1 << 2,
                        kFlexTop = 1 << 3, kFlexHeight = 1 << 4, kFlexBottom = 1 << 5;

void layout(id view) {
  send(view, sel("setNeedsLayout"));
  send(view, sel("layoutIfNeeded"));
}

// UIKit's autoresizing: the change of the superview's size is shared among the flexible
// parts of each axis in proportion to their sizes (equally when all are zero).
void resize_axis(double& origin, double& length, double old_parent, double new_parent,
                 bool flex_near, bool flex_size, bool flex_far) {
  const double delta = new_parent - old_parent;
  if (delta == 0 || !(flex_near || flex_size || flex_far)) return;
  const double near = origin, size = length, far = old_parent - origin - length;
  double total = (flex_near ? near : 0) + (flex_size ? size : 0) + (flex_far ? far : 0);
  const int count = flex_near + flex_size + flex_far;
  auto share = [&](bool flex, double part) {
    if (!flex) return 0.0;
    return total > 0 ? delta * part / total : delta / count;
  };
  origin += share(flex_near, near);
  length += share(flex_size, size);
}

void autoresize_children(id view, CGSize old_size, CGSize new_size) {
  ViewState& s = view_state(view);
  if (!s.autoresizes_subviews) return;
  if (old_size.width == new_size.width && old_size.height == new_size.height) return;
  for (objc::Ref child : s.subviews) {
    ViewState& c = view_state(child.get());
    if (!c.autoresizing) continue;
    CGRect f = view_frame(c);
    resize_axis(f.origin.x, f.size.width, old_size.width, new_size.width,
                c.autoresizing & kFlexLeft, c.autoresizing & kFlexWidth,
                c.autoresizing & kFlexRight);
    resize_axis(f.origin.y, f.size.height, old_size.height, new_size.height,
                c.autoresizing & kFlexTop, c.autoresizing & kFlexHeight,
                c.autoresizing & kFlexBottom);
    send(child.get(), sel("setFrame:"), f);
  }
}

// ---- UIView ---------------------------------------------------------------------------
id view_initWithFrame(id self, SEL, CGRect frame) {
  self = objc::sendSuper<id>(self, objc::cls("UIView"), sel("init"));
  if (!self) return nullptr;
  ViewState& s = view_state(self);
  s.bounds = CGRectMake(0, 0, frame.size.width, frame.size.height);
  s.center = CGPointMake(CGRectGetMidX(frame), CGRectGetMidY(frame));
  s.layer = objc::Ref::adopt(make_object("CALayer"));
  layer_state(s.layer.get()).view = self;
  return self;
}
id view_init(id self, SEL) { return send<id>(self, sel("initWithFrame:"), CGRectZero); }

CGRect view_frame_get(id self, SEL) { return view_frame(view_state(self)); }
void view_setFrame(id self, SEL, CGRect frame) {
  ViewState& s = view_state(self);
  will_change(self, Property::frame_center);
  will_change(self, Property::bounds);
  const CGSize old = s.bounds.size;
  s.center = CGPointMake(CGRectGetMidX(frame), CGRectGetMidY(frame));
  if (CGAffineTransformIsIdentity(s.transform)) {
    s.bounds.size = CGRectStandardize(frame).size;
  } else {  // UIKit leaves this undefined; keep the untransformed size that yields frame
    const CGSize scaled = CGSizeApplyAffineTransform(CGSizeMake(1, 1), s.transform);
    s.bounds.size = CGSizeMake(frame.size.width / (scaled.width ? std::fabs(scaled.width) : 1),
                               frame.size.height / (scaled.height ? std::fabs(scaled.height) : 1));
  }
  autoresize_children(self, old, s.bounds.size);
  if (old.width != s.bounds.size.width || old.height != s.bounds.size.height) layout(self);
}
CGRect view_bounds(id self, SEL) { return view_state(self).bounds; }
void view_setBounds(id self, SEL, CGRect bounds) {
  ViewState& s = view_state(self);
  will_change(self, Property::bounds);
  const CGSize old = s.bounds.size;
  s.bounds = bounds;
  autoresize_children(self, old, bounds.size);
  if (old.width != bounds.size.width || old.height != bounds.size.height) layout(self);
}
CGPoint view_center(id self, SEL) { return view_state(self).center; }
void view_setCenter(id self, SEL, CGPoint c) {
  will_change(self, Property::frame_center);
  view_state(self).center = c;
}
id view_superview(id self, SEL) { return view_state(self).superview; }
id view_subviews(id self, SEL) {
  objc::Ref array = objc::makeMutableArray();
  for (const objc::Ref& v : view_state(self).subviews) objc::arrayAdd(array.get(), v.get());
  return objc::autorelease(array.leak());
}
// The host's root view plays the window: a view in a host's tree has one, a detached
// view has none.
id view_window(id self, SEL) {
  id root = root_of(self);
  return view_state(root).style_override ? root : nullptr;
}

void detach(id view) {
  ViewState& s = view_state(view);
  id parent = s.superview;
  if (!parent) return;
  send(parent, sel("willRemoveSubview:"), view);
  auto& siblings = view_state(parent).subviews;
  objc::Ref keep = objc::Ref::retain(view);
  for (auto it = siblings.begin(); it != siblings.end(); ++it) {
    if (it->get() == view) {
      siblings.erase(it);
      break;
    }
  }
  s.superview = nullptr;
  auto& arranged = view_state(parent).arranged;
  for (auto it = arranged.begin(); it != arranged.end(); ++it) {
    if (it->get() == view) {
      arranged.erase(it);
      break;
    }
  }
  send(view, sel("didMoveToSuperview"));
}

void view_insertSubviewAtIndex(id self, SEL, id view, long index) {
  if (!view || view == self) return;
  objc::Ref keep = objc::Ref::retain(view);
  detach(view);
  auto& subviews = view_state(self).subviews;
  if (index < 0) index = 0;
  if (static_cast<size_t>(index) > subviews.size()) index = static_cast<long>(subviews.size());
  subviews.insert(subviews.begin() + index, keep);
  view_state(view).superview = self;
  send(self, sel("didAddSubview:"), view);
  send(view, sel("didMoveToSuperview"));
}
void view_addSubview(id self, SEL, id view) {
  view_insertSubviewAtIndex(self, nullptr, view,
                            static_cast<long>(view_state(self).subviews.size()) +
                                (view && view_state(view).superview == self ? -1 : 0));
}
void view_bringSubviewToFront(id self, SEL, id view) {
  if (view && view_state(view).superview == self) view_addSubview(self, nullptr, view);
}
void view_removeFromSuperview(id self, SEL) { detach(self); }
void view_noop_id(id, SEL, id) {}
void view_noop(id, SEL) {}

id view_backgroundColor(id self, SEL) { return view_state(self).background.get(); }
void view_setBackgroundColor(id self, SEL, id color) {
  will_change(self, Property::background);
  view_state(self).background = objc::Ref::retain(color);
}
CGFloat view_alpha(id self, SEL) { return view_state(self).alpha; }
void view_setAlpha(id self, SEL, CGFloat a) {
  will_change(self, Property::alpha);
  view_state(self).alpha = a < 0 ? 0 : a > 1 ? 1 : a;
}
BOOL view_isHidden(id self, SEL) { return objc::toBool(view_state(self).hidden); }
void view_setHidden(id self, SEL, BOOL v) { view_state(self).hidden = objc::fromBool(v); }
BOOL view_isOpaque(id self, SEL) { return objc::toBool(view_state(self).opaque); }
void view_setOpaque(id self, SEL, BOOL v) { view_state(self).opaque = objc::fromBool(v); }
BOOL view_clipsToBounds(id self, SEL) {
  return objc::toBool(layer_state(view_state(self).layer.get()).masks);
}
void view_setClipsToBounds(id self, SEL, BOOL v) {
  layer_state(view_state(self).layer.get()).masks = objc::fromBool(v);
}
CGAffineTransform view_transform(id self, SEL) { return view_state(self).transform; }
void view_setTransform(id self, SEL, CGAffineTransform t) {
  will_change(self, Property::transform);
  view_state(self).transform = t;
}
unsigned long view_autoresizingMask(id self, SEL) { return view_state(self).autoresizing; }
void view_setAutoresizingMask(id self, SEL, unsigned long m) { view_state(self).autoresizing = m; }
BOOL view_autoresizesSubviews(id self, SEL) {
  return objc::toBool(view_state(self).autoresizes_subviews);
}
void view_setAutoresizesSubviews(id self, SEL, BOOL v) {
  view_state(self).autoresizes_subviews = objc::fromBool(v);
}
long view_tag(id self, SEL) { return view_state(self).tag; }
void view_setTag(id self, SEL, long t) { view_state(self).tag = t; }
id view_viewWithTag(id self, SEL, long t) {
  if (view_state(self).tag == t) return self;
  for (const objc::Ref& v : view_state(self).subviews) {
    if (id found = send<id>(v.get(), sel("viewWithTag:"), t)) return found;
  }
  return nullptr;
}
BOOL view_userInteraction(id self, SEL) { return objc::toBool(view_state(self).user_interaction); }
void view_setUserInteraction(id self, SEL, BOOL v) {
  view_state(self).user_interaction = objc::fromBool(v);
}
id view_tintColor(id self, SEL) {
  for (id v = self; v; v = view_state(v).superview) {
    if (view_state(v).tint) return view_state(v).tint.get();
  }
  return send<id>(objc::cls("UIColor"), sel("systemBlueColor"));
}
void view_setTintColor(id self, SEL, id c) { view_state(self).tint = objc::Ref::retain(c); }
id view_layer(id self, SEL) { return view_state(self).layer.get(); }
id view_traitCollection(id self, SEL) {
  return trait_collection_with_style(interface_style_of(self));
}

CGPoint convert_point(id from, CGPoint p, id to) {
  const CGAffineTransform up = to_root(from);
  CGPoint in_root = CGPointApplyAffineTransform(p, up);
  if (!to) return in_root;
  return CGPointApplyAffineTransform(in_root, CGAffineTransformInvert(to_root(to)));
}
CGRect convert_rect(id from, CGRect r, id to) {
  CGAffineTransform t = to_root(from);
  if (to) t = CGAffineTransformConcat(t, CGAffineTransformInvert(to_root(to)));
  return CGRectApplyAffineTransform(r, t);
}
CGRect view_convertRectToSpace(id self, SEL, CGRect r, id space) {
  // A space that is no view (the screen's) is taken as the root's coordinates.
  return convert_rect(self, r, space && is_view(space) ? space : nullptr);
}
CGPoint view_convertPointToSpace(id self, SEL, CGPoint p, id space) {
  return convert_point(self, p, space && is_view(space) ? space : nullptr);
}
CGRect view_convertRectToView(id self, SEL, CGRect r, id view) {
  return convert_rect(self, r, view);
}
CGPoint view_convertPointToView(id self, SEL, CGPoint p, id view) {
  return convert_point(self, p, view);
}

// The part of the root's safe area (the host's status bar) that covers this view.
UIEdgeInsets view_safeAreaInsets(id self, SEL) {
  id root = root_of(self);
  const UIEdgeInsets root_insets = view_state(root).safe_area;
  const CGRect bounds = view_state(self).bounds;
  const CGRect in_root = convert_rect(self, bounds, nullptr);
  const CGRect root_bounds = view_state(root).bounds;
  UIEdgeInsets insets{};
  insets.top = std::max(0.0, root_insets.top - CGRectGetMinY(in_root));
  insets.left = std::max(0.0, root_insets.left - CGRectGetMinX(in_root));
  insets.bottom =
      std::max(0.0, CGRectGetMaxY(in_root) - (CGRectGetMaxY(root_bounds) - root_insets.bottom));
  insets.right =
      std::max(0.0, CGRectGetMaxX(in_root) - (CGRectGetMaxX(root_bounds) - root_insets.right));
  return insets;
}

BOOL view_pointInside(id self, SEL, CGPoint p, id) {
  return objc::toBool(CGRectContainsPoint(view_state(self).bounds, p));
}
// UIKit's rules: a hidden view, a view with alpha below 0.01 or without user interaction
// takes no touch and nor do its subviews; otherwise the frontmost subview that contains
// the point answers, else the view itself if it contains the point.
id view_hitTest(id self, SEL, CGPoint p, id event) {
  ViewState& s = view_state(self);
  if (s.hidden || s.alpha < 0.01 || !s.user_interaction) return nullptr;
  if (!objc::sendBool(self, sel("pointInside:withEvent:"), p, event)) return nullptr;
  for (auto it = s.subviews.rbegin(); it != s.subviews.rend(); ++it) {
    id child = it->get();
    const CGPoint in_child =
        CGPointApplyAffineTransform(p, CGAffineTransformInvert(to_superview(view_state(child))));
    if (id hit = send<id>(child, sel("hitTest:withEvent:"), in_child, event)) return hit;
  }
  return self;
}
CGSize view_sizeThatFits(id self, SEL, CGSize) { return view_state(self).bounds.size; }
void view_sizeToFit(id self, SEL) {
  CGSize size = send<CGSize>(self, sel("sizeThatFits:"), view_state(self).bounds.size);
  CGRect f = view_frame(view_state(self));
  f.size = size;
  send(self, sel("setFrame:"), f);
}
void view_layoutIfNeeded(id self, SEL) { send(self, sel("layoutSubviews")); }

void view_animate(id self, SEL, double duration, void (^animations)(), void (^completion)(BOOL));
void view_animate_short(id self, SEL, double duration, void (^animations)()) {
  view_animate(self, nullptr, duration, animations, nullptr);
}
void view_animate(id self, SEL, double duration, void (^animations)(), void (^completion)(BOOL)) {
  view_animate_delay(self, nullptr, duration, 0, 0, animations, completion);
}

void view_performWithoutAnimation(id, SEL, void (^actions)()) {
  if (actions) actions();
}

// ---- CALayer -------------------------------------------------------------------------
CGFloat layer_cornerRadius(id self, SEL) { return layer_state(self).corner_radius; }
void layer_setCornerRadius(id self, SEL, CGFloat r) { layer_state(self).corner_radius = r; }
id layer_cornerCurve(id self, SEL) {
  id c = layer_state(self).corner_curve.get();
  return c ? c : objc::string("circular");
}
void layer_setCornerCurve(id self, SEL, id c) {
  layer_state(self).corner_curve = objc::makeString(objc::toString(c));
}
unsigned long layer_maskedCorners(id self, SEL) { return layer_state(self).masked_corners; }
void layer_setMaskedCorners(id self, SEL, unsigned long mask) {
  layer_state(self).masked_corners = mask & 15;
}
BOOL layer_masks(id self, SEL) { return objc::toBool(layer_state(self).masks); }
void layer_setMasks(id self, SEL, BOOL v) { layer_state(self).masks = objc::fromBool(v); }
float layer_opacity(id self, SEL) { return layer_state(self).opacity; }
void layer_setOpacity(id self, SEL, float v) { layer_state(self).opacity = v; }
void set_color(CGColorRef& slot, CGColorRef c) {
  CGColorRetain(c);
  CGColorRelease(slot);
  slot = c;
}
CGColorRef layer_shadowColor(id self, SEL) { return layer_state(self).shadow_color; }
void layer_setShadowColor(id self, SEL, CGColorRef c) {
  set_color(layer_state(self).shadow_color, c);
}
CGColorRef layer_background(id self, SEL) { return layer_state(self).background; }
void layer_setBackground(id self, SEL, CGColorRef c) { set_color(layer_state(self).background, c); }
CGColorRef layer_borderColor(id self, SEL) { return layer_state(self).border_color; }
void layer_setBorderColor(id self, SEL, CGColorRef c) {
  set_color(layer_state(self).border_color, c);
}
CGFloat layer_borderWidth(id self, SEL) { return layer_state(self).border_width; }
void layer_setBorderWidth(id self, SEL, CGFloat w) { layer_state(self).border_width = w; }
float layer_shadowOpacity(id self, SEL) { return layer_state(self).shadow_opacity; }
void layer_setShadowOpacity(id self, SEL, float v) { layer_state(self).shadow_opacity = v; }
CGFloat layer_shadowRadius(id self, SEL) { return layer_state(self).shadow_radius; }
void layer_setShadowRadius(id self, SEL, CGFloat v) { layer_state(self).shadow_radius = v; }
CGSize layer_shadowOffset(id self, SEL) { return layer_state(self).shadow_offset; }
void layer_setShadowOffset(id self, SEL, CGSize v) { layer_state(self).shadow_offset = v; }
CGPathRef layer_shadowPath(id self, SEL) { return layer_state(self).shadow_path; }
void layer_setShadowPath(id self, SEL, CGPathRef p) {
  LayerState& s = layer_state(self);
  CGPathRef copy = p ? CGPathCreateCopy(p) : nullptr;  // CALayer copies the path
  CGPathRelease(s.shadow_path);
  s.shadow_path = copy;
}
CGRect layer_bounds(id self, SEL) {
  id v = layer_state(self).view;
  return v ? view_state(v).bounds : CGRectZero;
}
CGRect layer_frame(id self, SEL) {
  id v = layer_state(self).view;
  return v ? view_frame(view_state(v)) : CGRectZero;
}
id layer_delegate(id self, SEL) { return layer_state(self).view; }

// ---- UIControl ------------------------------------------------------------------------
void control_addTarget(id self, SEL, id target, SEL action, unsigned long events) {
  auto& targets = view_state(self).targets;
  for (Target& t : targets) {
    if (t.target == target && t.action == action) {
      t.events |= events;
      return;
    }
  }
  targets.push_back({target, action, events});
}
void control_removeTarget(id self, SEL, id target, SEL action, unsigned long events) {
  auto& targets = view_state(self).targets;
  for (auto it = targets.begin(); it != targets.end();) {
    if ((!target || it->target == target) && (!action || sel_isEqual(it->action, action))) {
      it->events &= ~events;
      if (!it->events) {
        it = targets.erase(it);
        continue;
      }
    }
    ++it;
  }
}
void control_sendAction(id self, SEL, SEL action, id target, id event) {
  if (target) {
    objc::send(target, action, self, event);
  }
}
void control_sendActions(id self, SEL, unsigned long events) {
  const std::vector<Target> targets = view_state(self).targets;  // an action may change them
  for (const Target& t : targets) {
    if (t.events & events)
      send(self, sel("sendAction:to:forEvent:"), t.action, t.target, static_cast<id>(nullptr));
  }
}
id control_allTargets(id self, SEL) {
  objc::Ref set = objc::Ref::adopt(make_object("NSMutableSet"));
  for (const Target& t : view_state(self).targets) {
    if (t.target) send(set.get(), sel("addObject:"), t.target);
  }
  return objc::autorelease(set.leak());
}
BOOL control_isEnabled(id self, SEL) { return objc::toBool(view_state(self).enabled); }
void control_setEnabled(id self, SEL, BOOL v) { view_state(self).enabled = objc::fromBool(v); }
BOOL control_isSelected(id self, SEL) { return objc::toBool(view_state(self).selected); }
void control_setSelected(id self, SEL, BOOL v) { view_state(self).selected = objc::fromBool(v); }
BOOL control_isHighlighted(id self, SEL) { return objc::toBool(view_state(self).highlighted); }
void control_setHighlighted(id self, SEL, BOOL v) {
  view_state(self).highlighted = objc::fromBool(v);
}
unsigned long control_state(id self, SEL) {
  ViewState& s = view_state(self);
  return (s.highlighted ? 1 : 0) | (s.enabled ? 0 : 2) | (s.selected ? 4 : 0);
}
long control_hAlign(id self, SEL) { return view_state(self).h_alignment; }
void control_setHAlign(id self, SEL, long v) { view_state(self).h_alignment = v; }
long control_vAlign(id self, SEL) { return view_state(self).v_alignment; }
void control_setVAlign(id self, SEL, long v) { view_state(self).v_alignment = v; }

// ---- UIButton -------------------------------------------------------------------------
id button_buttonWithType(id cls, SEL, long type) {
  id button = send<id>(send<id>(cls, sel("alloc")), sel("initWithFrame:"), CGRectZero);
  ViewState& s = view_state(button);
  s.button_type = type;
  s.title_label = objc::Ref::adopt(make_view("UILabel", CGRectZero));
  view_state(s.title_label.get()).superview = button;  // drawn by the button, not a subview
  view_state(s.title_label.get()).font = objc::Ref::retain(
      send<id>(objc::cls("UIFont"), sel("systemFontOfSize:"), 15.0));  // UIButton's default
  return objc::autorelease(button);
}
long button_type(id self, SEL) { return view_state(self).button_type; }
// The value for a state: the state's own, else the normal state's.
id for_state(const std::map<unsigned long, objc::Ref>& m, unsigned long state) {
  auto it = m.find(state);
  if (it != m.end()) return it->second.get();
  it = m.find(0);
  return it != m.end() ? it->second.get() : nullptr;
}
void button_sync_label(id self) {
  ViewState& s = view_state(self);
  if (!s.title_label) return;
  const unsigned long state = control_state(self, nullptr);
  ViewState& l = view_state(s.title_label.get());
  l.text = objc::Ref::retain(for_state(s.titles, state));
  id color = for_state(s.title_colors, state);
  if (!color && s.button_type == 1) color = view_tintColor(self, nullptr);  // a system button: tint
  l.text_color = objc::Ref::retain(color);
}
void button_setTitle(id self, SEL, id title, unsigned long state) {
  view_state(self).titles[state] = objc::makeString(objc::toString(title));
  if (!title) view_state(self).titles.erase(state);
  button_sync_label(self);
}
id button_titleForState(id self, SEL, unsigned long state) {
  return for_state(view_state(self).titles, state);
}
void button_setTitleColor(id self, SEL, id color, unsigned long state) {
  if (color) {
    view_state(self).title_colors[state] = objc::Ref::retain(color);
  } else {
    view_state(self).title_colors.erase(state);
  }
  button_sync_label(self);
}
id button_titleColorForState(id self, SEL, unsigned long state) {
  return for_state(view_state(self).title_colors, state);
}
void button_setImage(id self, SEL, id image, unsigned long state) {
  view_state(self).images[state] = objc::Ref::retain(image);
}
id button_imageForState(id self, SEL, unsigned long state) {
  return for_state(view_state(self).images, state);
}
id button_currentTitle(id self, SEL) {
  return for_state(view_state(self).titles, control_state(self, nullptr));
}
id button_currentTitleColor(id self, SEL) {
  button_sync_label(self);
  return view_state(view_state(self).title_label.get()).text_color.get();
}
id button_titleLabel(id self, SEL) { return view_state(self).title_label.get(); }
id button_imageView(id self, SEL) { return nullptr; }
UIEdgeInsets button_titleInsets(id self, SEL) { return view_state(self).title_insets; }
void button_setTitleInsets(id self, SEL, UIEdgeInsets i) { view_state(self).title_insets = i; }
UIEdgeInsets button_contentInsets(id self, SEL) { return view_state(self).content_insets; }
void button_setContentInsets(id self, SEL, UIEdgeInsets i) { view_state(self).content_insets = i; }

// ---- UILabel --------------------------------------------------------------------------
id label_initWithFrame(id self, SEL, CGRect frame) {
  self = objc::sendSuper<id>(self, objc::cls("UILabel"), sel("initWithFrame:"), frame);
  if (self) view_state(self).user_interaction = false;  // as UIKit's labels
  return self;
}
id label_text(id self, SEL) { return view_state(self).text.get(); }
void label_setText(id self, SEL, id t) {
  view_state(self).text = t ? objc::makeString(objc::toString(t)) : objc::Ref();
}
id label_textColor(id self, SEL) {
  id c = view_state(self).text_color.get();
  return c ? c : send<id>(objc::cls("UIColor"), sel("labelColor"));
}
void label_setTextColor(id self, SEL, id c) { view_state(self).text_color = objc::Ref::retain(c); }
id label_font(id self, SEL) {
  id f = view_state(self).font.get();
  return f ? f : send<id>(objc::cls("UIFont"), sel("systemFontOfSize:"), 17.0);
}
void label_setFont(id self, SEL, id f) { view_state(self).font = objc::Ref::retain(f); }
long label_alignment(id self, SEL) { return view_state(self).alignment; }
void label_setAlignment(id self, SEL, long a) { view_state(self).alignment = a; }
long label_lines(id self, SEL) { return view_state(self).lines; }
void label_setLines(id self, SEL, long n) { view_state(self).lines = n; }
CGSize label_sizeThatFits(id self, SEL, CGSize) {
  render::Size s = measure(text_for(self, interface_style_of(self), CGRectZero));
  return CGSizeMake(std::ceil(s.width), std::ceil(s.height));
}

// ---- UIImageView ---------------------------------------------------------------------
id imageview_initWithImage(id self, SEL, id image) {
  CGSize size = image ? send<CGSize>(image, sel("size")) : CGSizeZero;
  self = send<id>(self, sel("initWithFrame:"), CGRectMake(0, 0, size.width, size.height));
  if (self) view_state(self).image = objc::Ref::retain(image);
  return self;
}
id imageview_image(id self, SEL) { return view_state(self).image.get(); }
void imageview_setImage(id self, SEL, id image) {
  view_state(self).image = objc::Ref::retain(image);
}

// ---- UIStackView ---------------------------------------------------------------------
void stack_layout(id self, SEL) {
  ViewState& s = view_state(self);
  double offset = 0;
  for (const objc::Ref& v : s.arranged) {
    ViewState& c = view_state(v.get());
    if (c.hidden) continue;
    CGRect f = view_frame(c);
    if (s.axis == 1) {
      f = CGRectMake(0, offset, s.bounds.size.width, f.size.height);
      offset += f.size.height + s.spacing;
    } else {
      f = CGRectMake(offset, 0, f.size.width, s.bounds.size.height);
      offset += f.size.width + s.spacing;
    }
    send(v.get(), sel("setFrame:"), f);
  }
}
void stack_addArranged(id self, SEL, id view) {
  if (!view) return;
  send(self, sel("addSubview:"), view);
  view_state(self).arranged.push_back(objc::Ref::retain(view));
  stack_layout(self, nullptr);
}
void stack_insertArranged(id self, SEL, id view, unsigned long index) {
  if (!view) return;
  send(self, sel("addSubview:"), view);
  auto& arranged = view_state(self).arranged;
  if (index > arranged.size()) index = arranged.size();
  arranged.insert(arranged.begin() + static_cast<long>(index), objc::Ref::retain(view));
  stack_layout(self, nullptr);
}
void stack_removeArranged(id self, SEL, id view) {
  auto& arranged = view_state(self).arranged;
  for (auto it = arranged.begin(); it != arranged.end(); ++it) {
    if (it->get() == view) {
      arranged.erase(it);
      break;
    }
  }
  stack_layout(self, nullptr);
}
id stack_initWithArranged(id self, SEL, id views) {
  self = send<id>(self, sel("initWithFrame:"), CGRectZero);
  for (size_t i = 0; i < objc::count(views); ++i)
    stack_addArranged(self, nullptr, objc::arrayGet(views, i));
  return self;
}
id stack_arranged(id self, SEL) {
  objc::Ref array = objc::makeMutableArray();
  for (const objc::Ref& v : view_state(self).arranged) objc::arrayAdd(array.get(), v.get());
  return objc::autorelease(array.leak());
}
long stack_axis(id self, SEL) { return view_state(self).axis; }
void stack_setAxis(id self, SEL, long a) {
  view_state(self).axis = a;
  stack_layout(self, nullptr);
}
CGFloat stack_spacing(id self, SEL) { return view_state(self).spacing; }
void stack_setSpacing(id self, SEL, CGFloat v) {
  view_state(self).spacing = v;
  stack_layout(self, nullptr);
}

// ---- UIVisualEffectView, UIBlurEffect --------------------------------------------------
struct EffectState {
  long style = 0;
};
id effectview_initWithEffect(id self, SEL, id effect) {
  self = send<id>(self, sel("initWithFrame:"), CGRectZero);
  if (!self) return nullptr;
  ViewState& s = view_state(self);
  s.effect = objc::Ref::retain(effect);
  s.content_view = objc::Ref::adopt(make_view("UIView", CGRectZero));
  send(s.content_view.get(), sel("setAutoresizingMask:"), kFlexWidth | kFlexHeight);
  send(self, sel("addSubview:"), s.content_view.get());
  return self;
}
id effectview_effect(id self, SEL) { return view_state(self).effect.get(); }
id effectview_contentView(id self, SEL) { return view_state(self).content_view.get(); }
id blur_effectWithStyle(id cls, SEL, long style) {
  id effect = make_object("UIBlurEffect");
  objc::storage<EffectState>(effect).style = style;
  return objc::autorelease(effect);
}
long blur_style(id self, SEL) { return objc::storage<EffectState>(self).style; }

}  // namespace

// ---- shared helpers --------------------------------------------------------------------
ViewState::~ViewState() {
  for (const objc::Ref& child : subviews) view_state(child.get()).superview = nullptr;
  if (title_label) view_state(title_label.get()).superview = nullptr;
  if (layer) layer_state(layer.get()).view = nullptr;
}

LayerState::~LayerState() {
  CGColorRelease(shadow_color);
  CGColorRelease(background);
  CGColorRelease(border_color);
  CGPathRelease(shadow_path);
}

ViewState& view_state(id view) { return objc::storage<ViewState>(view); }
LayerState& layer_state(id layer) { return objc::storage<LayerState>(layer); }

id make_object(const char* class_name) {
  return send<id>(send<id>(objc::cls(class_name), sel("alloc")), sel("init"));
}
id make_view(const char* class_name, CGRect frame) {
  return send<id>(send<id>(objc::cls(class_name), sel("alloc")), sel("initWithFrame:"), frame);
}
bool is_kind(id object, const char* class_name) {
  return objc::isKindOf(object, objc::cls(class_name));
}
bool is_view(id object) { return is_kind(object, "UIView"); }

CGRect view_frame(const ViewState& s) {
  const CGRect centred = CGRectMake(-s.bounds.size.width / 2, -s.bounds.size.height / 2,
                                    s.bounds.size.width, s.bounds.size.height);
  CGRect r = CGAffineTransformIsIdentity(s.transform)
                 ? centred
                 : CGRectApplyAffineTransform(centred, s.transform);
  return CGRectOffset(r, s.center.x, s.center.y);
}

CGAffineTransform to_superview(CGRect bounds, CGPoint center, const CGAffineTransform& transform) {
  CGAffineTransform t = CGAffineTransformMakeTranslation(-bounds.origin.x - bounds.size.width / 2,
                                                         -bounds.origin.y - bounds.size.height / 2);
  t = CGAffineTransformConcat(t, transform);
  return CGAffineTransformConcat(t, CGAffineTransformMakeTranslation(center.x, center.y));
}

CGAffineTransform to_root(id view) {
  CGAffineTransform t = CGAffineTransformIdentity;
  for (id v = view; v && view_state(v).superview; v = view_state(v).superview) {
    t = CGAffineTransformConcat(t, to_superview(view_state(v)));
  }
  return t;
}

id root_of(id view) {
  id v = view;
  while (v && view_state(v).superview) v = view_state(v).superview;
  return v;
}

long interface_style_of(id view) {
  for (id v = view; v; v = view_state(v).superview) {
    if (view_state(v).style_override) return view_state(v).style_override;
  }
  return 1;
}

namespace {

// CALayer: the corners, shadow, border and background a view's layer draws with.
void register_layer() {
  objc::ClassBuilder("CALayer", "NSObject")
      .storage<LayerState>()
      .method(ui::CALayer::cornerRadius, &layer_cornerRadius)
      .method(ui::CALayer::setCornerRadius, &layer_setCornerRadius)
      .method(ui::CALayer::cornerCurve, &layer_cornerCurve)
      .method(ui::CALayer::setCornerCurve, &layer_setCornerCurve)
      .method(ui::CALayer::maskedCorners, &layer_maskedCorners)
      .method(ui::CALayer::setMaskedCorners, &layer_setMaskedCorners)
      .method(ui::CALayer::masksToBounds, &layer_masks)
      .method(ui::CALayer::setMasksToBounds, &layer_setMasks)
      .method(ui::CALayer::opacity, &layer_opacity)
      .method(ui::CALayer::setOpacity, &layer_setOpacity)
      .method(ui::CALayer::shadowColor, &layer_shadowColor)
      .method(ui::CALayer::setShadowColor, &layer_setShadowColor)
      .method(ui::CALayer::shadowOpacity, &layer_shadowOpacity)
      .method(ui::CALayer::setShadowOpacity, &layer_setShadowOpacity)
      .method(ui::CALayer::shadowRadius, &layer_shadowRadius)
      .method(ui::CALayer::setShadowRadius, &layer_setShadowRadius)
      .method(ui::CALayer::shadowOffset, &layer_shadowOffset)
      .method(ui::CALayer::setShadowOffset, &layer_setShadowOffset)
      .method(ui::CALayer::shadowPath, &layer_shadowPath)
      .method(ui::CALayer::setShadowPath, &layer_setShadowPath)
      .method(ui::CALayer::backgroundColor, &layer_background)
      .method(ui::CALayer::setBackgroundColor, &layer_setBackground)
      .method(ui::CALayer::borderWidth, &layer_borderWidth)
      .method(ui::CALayer::setBorderWidth, &layer_setBorderWidth)
      .method(ui::CALayer::borderColor, &layer_borderColor)
      .method(ui::CALayer::setBorderColor, &layer_setBorderColor)
      .method(ui::CALayer::bounds, &layer_bounds)
      .method(ui::CALayer::frame, &layer_frame)
      .method(ui::CALayer::delegate, &layer_delegate)
      .build();
}

// The view's place and size: frame, bounds, centre and transform, resizing with the
// superview, conversions between coordinate spaces, hit-testing, fitting and layout.
void add_view_geometry(objc::ClassBuilder& view) {
  view.method(ui::UIView::frame, &view_frame_get)
      .method(ui::UIView::safeAreaInsets, &view_safeAreaInsets)
      .method(ui::UIView::setFrame, &view_setFrame)
      .method(ui::UIView::bounds, &view_bounds)
      .method(ui::UIView::setBounds, &view_setBounds)
      .method(ui::UIView::center, &view_center)
      .method(ui::UIView::setCenter, &view_setCenter)
      .method(ui::UIView::transform, &view_transform)
      .method(ui::UIView::setTransform, &view_setTransform)
      .method(ui::UIView::autoresizingMask, &view_autoresizingMask)
      .method(ui::UIView::setAutoresizingMask, &view_setAutoresizingMask)
      .method(ui::UIView::autoresizesSubviews, &view_autoresizesSubviews)
      .method(ui::UIView::setAutoresizesSubviews, &view_setAutoresizesSubviews)
      .method(ui::UIView::convertRect_toCoordinateSpace, &view_convertRectToSpace)
      .method(ui::UIView::convertPoint_toCoordinateSpace, &view_convertPointToSpace)
      .method(ui::UIView::convertRect_toView, &view_convertRectToView)
      .method(ui::UIView::convertPoint_toView, &view_convertPointToView)
      .method(ui::UIView::hitTest_withEvent, &view_hitTest)
      .method(ui::UIView::pointInside_withEvent, &view_pointInside)
      .method(ui::UIView::sizeThatFits, &view_sizeThatFits)
      .method(ui::UIView::sizeToFit, &view_sizeToFit)
      .method(ui::UIView::setNeedsLayout, &view_noop)
      .method(ui::UIView::layoutIfNeeded, &view_layoutIfNeeded)
      .method(ui::UIView::layoutSubviews, &view_noop);
}

// The view tree: superview, subviews and window, adding, ordering and removing subviews, tags,
// and the calls that tell a view of changes to the tree (which a plain view ignores).
void add_view_hierarchy(objc::ClassBuilder& view) {
  view.method(ui::UIView::superview, &view_superview)
      .method(ui::UIView::subviews, &view_subviews)
      .method(ui::UIView::window, &view_window)
      .method(ui::UIView::addSubview, &view_addSubview)
      .method(ui::UIView::insertSubview_atIndex, &view_insertSubviewAtIndex)
      .method(ui::UIView::removeFromSuperview, &view_removeFromSuperview)
      .method(ui::UIView::bringSubviewToFront, &view_bringSubviewToFront)
      .method(ui::UIView::tag, &view_tag)
      .method(ui::UIView::setTag, &view_setTag)
      .method(ui::UIView::viewWithTag, &view_viewWithTag)
      .method(ui::UIView::didAddSubview, &view_noop_id)
      .method(ui::UIView::willRemoveSubview, &view_noop_id)
      .method(ui::UIView::didMoveToSuperview, &view_noop)
      .method(ui::UIView::didMoveToWindow, &view_noop);
}

// How the view shows: colours, transparency, visibility, clipping, touches, its layer and its
// trait collection.
void add_view_appearance(objc::ClassBuilder& view) {
  view.method(ui::UIView::backgroundColor, &view_backgroundColor)
      .method(ui::UIView::setBackgroundColor, &view_setBackgroundColor)
      .method(ui::UIView::alpha, &view_alpha)
      .method(ui::UIView::setAlpha, &view_setAlpha)
      .method(ui::UIView::isHidden, &view_isHidden)
      .method(ui::UIView::setHidden, &view_setHidden)
      .method(ui::UIView::isOpaque, &view_isOpaque)
      .method(ui::UIView::setOpaque, &view_setOpaque)
      .method(ui::UIView::clipsToBounds, &view_clipsToBounds)
      .method(ui::UIView::setClipsToBounds, &view_setClipsToBounds)
      .method(ui::UIView::isUserInteractionEnabled, &view_userInteraction)
      .method(ui::UIView::setUserInteractionEnabled, &view_setUserInteraction)
      .method(ui::UIView::tintColor, &view_tintColor)
      .method(ui::UIView::setTintColor, &view_setTintColor)
      .method(ui::UIView::layer, &view_layer)
      .method(ui::UIView::traitCollection, &view_traitCollection)
      .method(ui::UIView::traitCollectionDidChange, &view_noop_id);
}

// The animation class methods, carried out by the main loop (mainloop.cpp).
void add_view_animations(objc::ClassBuilder& view) {
  view.classMethod(ui::UIView::animateWithDuration_animations, &view_animate_short)
      .classMethod(ui::UIView::animateWithDuration_animations_completion, &view_animate)
      .classMethod(ui::UIView::animateWithDuration_delay_options_animations_completion,
                   &view_animate_delay)
      .classMethod(ui::UIView::performWithoutAnimation, &view_performWithoutAnimation);
}

// UIView, its methods in groups.
void register_view() {
  objc::ClassBuilder view("UIView", "UIResponder");
  view.storage<ViewState>()
      .protocol("UICoordinateSpace")
      .method(ui::NSObject::init, &view_init)
      .method(ui::UIView::initWithFrame, &view_initWithFrame);
  add_view_geometry(view);
  add_view_hierarchy(view);
  add_view_appearance(view);
  add_view_animations(view);
  view.build();
}

// UIControl: targets and actions, its states and its content alignments.
void register_control() {
  objc::ClassBuilder("UIControl", "UIView")
      .method(ui::UIControl::addTarget_action_forControlEvents, &control_addTarget)
      .method(ui::UIControl::removeTarget_action_forControlEvents, &control_removeTarget)
      .method(ui::UIControl::sendActionsForControlEvents, &control_sendActions)
      .method(ui::UIControl::sendAction_to_forEvent, &control_sendAction)
      .method(ui::UIControl::allTargets, &control_allTargets)
      .method(ui::UIControl::isEnabled, &control_isEnabled)
      .method(ui::UIControl::setEnabled, &control_setEnabled)
      .method(ui::UIControl::isSelected, &control_isSelected)
      .method(ui::UIControl::setSelected, &control_setSelected)
      .method(ui::UIControl::isHighlighted, &control_isHighlighted)
      .method(ui::UIControl::setHighlighted, &control_setHighlighted)
      .method(ui::UIControl::state, &control_state)
      .method(ui::UIControl::contentHorizontalAlignment, &control_hAlign)
      .method(ui::UIControl::setContentHorizontalAlignment, &control_setHAlign)
      .method(ui::UIControl::contentVerticalAlignment, &control_vAlign)
      .method(ui::UIControl::setContentVerticalAlignment, &control_setVAlign)
      .build();
}

// UILabel: text in a font, colour and alignment, on one line or more.
void register_label() {
  objc::ClassBuilder("UILabel", "UIView")
      .method(ui::UIView::initWithFrame, &label_initWithFrame)
      .method(ui::UILabel::text, &label_text)
      .method(ui::UILabel::setText, &label_setText)
      .method(ui::UILabel::textColor, &label_textColor)
      .method(ui::UILabel::setTextColor, &label_setTextColor)
      .method(ui::UILabel::font, &label_font)
      .method(ui::UILabel::setFont, &label_setFont)
      .method(ui::UILabel::textAlignment, &label_alignment)
      .method(ui::UILabel::setTextAlignment, &label_setAlignment)
      .method(ui::UILabel::numberOfLines, &label_lines)
      .method(ui::UILabel::setNumberOfLines, &label_setLines)
      .method(ui::UIView::sizeThatFits, &label_sizeThatFits)
      .build();
}

// UIButton: a title, title colour and image per control state, with their insets.
void register_button() {
  objc::ClassBuilder("UIButton", "UIControl")
      .classMethod(ui::UIButton::buttonWithType, &button_buttonWithType)
      .method(ui::UIButton::buttonType, &button_type)
      .method(ui::UIButton::setTitle_forState, &button_setTitle)
      .method(ui::UIButton::titleForState, &button_titleForState)
      .method(ui::UIButton::setTitleColor_forState, &button_setTitleColor)
      .method(ui::UIButton::titleColorForState, &button_titleColorForState)
      .method(ui::UIButton::setImage_forState, &button_setImage)
      .method(ui::UIButton::imageForState, &button_imageForState)
      .method(ui::UIButton::currentTitle, &button_currentTitle)
      .method(ui::UIButton::currentTitleColor, &button_currentTitleColor)
      .method(ui::UIButton::titleLabel, &button_titleLabel)
      .method(ui::UIButton::imageView, &button_imageView)
      .method(ui::UIButton::titleEdgeInsets, &button_titleInsets)
      .method(ui::UIButton::setTitleEdgeInsets, &button_setTitleInsets)
      .method(ui::UIButton::contentEdgeInsets, &button_contentInsets)
      .method(ui::UIButton::setContentEdgeInsets, &button_setContentInsets)
      .build();
}

// UIImageView, and UIStackView, which lays out its arranged subviews along an axis.
void register_image_and_stack_views() {
  objc::ClassBuilder("UIImageView", "UIView")
      .method(ui::UIImageView::initWithImage, &imageview_initWithImage)
      .method(ui::UIImageView::image, &imageview_image)
      .method(ui::UIImageView::setImage, &imageview_setImage)
      .build();
  objc::ClassBuilder("UIStackView", "UIView")
      .method(ui::UIStackView::initWithArrangedSubviews, &stack_initWithArranged)
      .method(ui::UIStackView::arrangedSubviews, &stack_arranged)
      .method(ui::UIStackView::addArrangedSubview, &stack_addArranged)
      .method(ui::UIStackView::removeArrangedSubview, &stack_removeArranged)
      .method(ui::UIStackView::insertArrangedSubview_atIndex, &stack_insertArranged)
      .method(ui::UIStackView::axis, &stack_axis)
      .method(ui::UIStackView::setAxis, &stack_setAxis)
      .method(ui::UIStackView::spacing, &stack_spacing)
      .method(ui::UIStackView::setSpacing, &stack_setSpacing)
      .method(ui::UIView::layoutSubviews, &stack_layout)
      .build();
}

// UIBlurEffect (its style kept for the renderer) and UIVisualEffectView.
void register_visual_effects() {
  objc::ClassBuilder("UIVisualEffect", "NSObject").build();
  objc::ClassBuilder("UIBlurEffect", "UIVisualEffect")
      .storage<EffectState>()
      .classMethod(ui::UIBlurEffect::effectWithStyle, &blur_effectWithStyle)
      .method(own::UIBlurEffect::hvStyle, &blur_style)
      .build();
  objc::ClassBuilder("UIVisualEffectView", "UIView")
      .method(ui::UIVisualEffectView::initWithEffect, &effectview_initWithEffect)
      .method(ui::UIVisualEffectView::effect, &effectview_effect)
      .method(ui::UIVisualEffectView::contentView, &effectview_contentView)
      .build();
}

}  // namespace

// Superclasses first.
void register_responder_and_views() {
  objc::ClassBuilder("UIResponder", "NSObject").build();
  register_layer();
  register_view();
  register_control();
  register_label();
  register_button();
  register_image_and_stack_views();
  register_visual_effects();
}

}  // namespace hv::uikit
