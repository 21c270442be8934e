// UISwitch: the on/off control of Settings' switch rows. A rounded track (green when on, a
// light grey outline when off) with a white knob; a tap flips it and sends value-changed,
// as a finger's tap on a real switch does.
#include "platform/uikit/internal.hpp"

namespace hv::uikit {
namespace {

using objc::sel;
using objc::send;

constexpr CGFloat kWidth = 51, kHeight = 31, kKnob = 27, kInset = 2;

struct SwitchState {
  bool on = false;
  objc::Ref track, knob;
};

id color(double r, double g, double b, double a) {
  return send<id>(objc::cls("UIColor"), sel("colorWithRed:green:blue:alpha:"), CGFloat(r),
                  CGFloat(g), CGFloat(b), CGFloat(a));
}

// The off track: a light grey fill, stronger on a dark background.
id off_color() {
  static id const off = objc::keepForever(objc::Ref::retain(
      send<id>(objc::cls("UIColor"), sel("colorWithDynamicProvider:"), ^id(id traits) {
        const bool dark = send<long>(traits, sel("userInterfaceStyle")) == 2;
        return color(0.47, 0.47, 0.5, dark ? 0.32 : 0.16);
      })));
  return off;
}

void show_state(id self) {
  SwitchState& s = objc::storage<SwitchState>(self);
  send(s.track.get(), sel("setBackgroundColor:"),
       s.on ? color(0.204, 0.78, 0.349, 1) : off_color());
  const CGFloat x = s.on ? kWidth - kInset - kKnob : kInset;
  send(s.knob.get(), sel("setFrame:"), CGRectMake(x, kInset, kKnob, kKnob));
}

id switch_initWithFrame(id self, SEL cmd, CGRect frame) {
  frame.size = CGSizeMake(kWidth, kHeight);  // a switch has its own size
  self = objc::sendSuper<id>(self, objc::cls("UISwitch"), cmd, frame);
  if (!self) return nullptr;
  SwitchState& s = objc::storage<SwitchState>(self);
  s.track = objc::Ref::adopt(make_view("UIView", CGRectMake(0, 0, kWidth, kHeight)));
  send(send<id>(s.track.get(), sel("layer")), sel("setCornerRadius:"), CGFloat(kHeight / 2));
  send(s.track.get(), sel("setUserInteractionEnabled:"), objc::toBool(false));
  s.knob = objc::Ref::adopt(make_view("UIView", CGRectMake(kInset, kInset, kKnob, kKnob)));
  send(s.knob.get(), sel("setBackgroundColor:"), send<id>(objc::cls("UIColor"), sel("whiteColor")));
  id knob_layer = send<id>(s.knob.get(), sel("layer"));
  send(knob_layer, sel("setCornerRadius:"), CGFloat(kKnob / 2));
  send(knob_layer, sel("setShadowOpacity:"), 0.15f);
  send(knob_layer, sel("setShadowRadius:"), CGFloat(2));
  send(knob_layer, sel("setShadowOffset:"), CGSizeMake(0, 2));
  send(s.knob.get(), sel("setUserInteractionEnabled:"), objc::toBool(false));
  send(self, sel("addSubview:"), s.track.get());
  send(self, sel("addSubview:"), s.knob.get());
  send(self, sel("addTarget:action:forControlEvents:"), self, own::UISwitch::hvToggle.get(),
       1UL << 6);
  show_state(self);
  return self;
}

BOOL switch_isOn(id self, SEL) { return objc::toBool(objc::storage<SwitchState>(self).on); }
void switch_setOn(id self, SEL, BOOL on) {
  objc::storage<SwitchState>(self).on = objc::fromBool(on);
  show_state(self);
}
void switch_setOnAnimated(id self, SEL, BOOL on, BOOL) { switch_setOn(self, nullptr, on); }

// A tap (touch-up-inside) flips the switch and reports the change.
void switch_toggle(id self, SEL, id) {
  switch_setOn(self, nullptr, objc::toBool(!objc::storage<SwitchState>(self).on));
  send(self, sel("sendActionsForControlEvents:"), 1UL << 12);
}

}  // namespace

void register_switch() {
  objc::ClassBuilder("UISwitch", "UIControl")
      .storage<SwitchState>()
      .method(ui::UIView::initWithFrame, &switch_initWithFrame)
      .method(ui::UISwitch::isOn, &switch_isOn)
      .method(ui::UISwitch::setOn, &switch_setOn)
      .method(ui::UISwitch::setOn_animated, &switch_setOnAnimated)
      .method(own::UISwitch::hvToggle, &switch_toggle)
      .build();
}

}  // namespace hv::uikit
