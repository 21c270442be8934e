// UIColor (plain and dynamic), UITraitCollection, UIFont, UIScreen, UIDevice.
#include <cmath>
#include <string>

#include "platform/uikit/internal.hpp"

namespace hv::uikit {
namespace {

using objc::sel;
using objc::send;

// ---- UITraitCollection -----------------------------------------------------------------
objc::Ref g_current_traits;  // +[UITraitCollection currentTraitCollection] (main thread)

id traits_withStyle(id, SEL, long style) { return trait_collection_with_style(style); }
long traits_style(id self, SEL) { return objc::storage<TraitState>(self).style; }
CGFloat traits_scale(id, SEL) { return main_screen_scale(); }
id traits_current(id, SEL) { return current_trait_collection(); }
void traits_setCurrent(id, SEL, id traits) { g_current_traits = objc::Ref::retain(traits); }

// ---- UIColor ---------------------------------------------------------------------------
ColorState& color_state(id c) { return objc::storage<ColorState>(c); }

id color_initRGBA(id self, SEL, CGFloat r, CGFloat g, CGFloat b, CGFloat a) {
  self = objc::sendSuper<id>(self, objc::cls("UIColor"), sel("init"));
  if (self) {
    ColorState& s = color_state(self);
    s.r = r, s.g = g, s.b = b, s.a = a;
  }
  return self;
}
id color_initWhite(id self, SEL, CGFloat w, CGFloat a) {
  return color_initRGBA(self, nullptr, w, w, w, a);
}
id color_initDynamic(id self, SEL, id (^provider)(id)) {
  self = objc::sendSuper<id>(self, objc::cls("UIColor"), sel("init"));
  if (self) color_state(self).provider = objc::Block<id(id)>(provider);
  return self;
}
id color_withRGBA(id cls, SEL, CGFloat r, CGFloat g, CGFloat b, CGFloat a) {
  return objc::autorelease(color_initRGBA(send<id>(cls, sel("alloc")), nullptr, r, g, b, a));
}
id color_withWhite(id cls, SEL, CGFloat w, CGFloat a) {
  return color_withRGBA(cls, nullptr, w, w, w, a);
}
id color_withDynamic(id cls, SEL, id (^provider)(id)) {
  return objc::autorelease(color_initDynamic(send<id>(cls, sel("alloc")), nullptr, provider));
}

id plain(double r, double g, double b, double a) {
  return color_withRGBA(objc::asId(objc::cls("UIColor")), nullptr, r, g, b, a);
}
// A named system colour: one value in light and unspecified, another in dark.
id system(double lr, double lg, double lb, double la, double dr, double dg, double db, double da) {
  return color_withDynamic(objc::asId(objc::cls("UIColor")), nullptr, ^id(id traits) {
    return send<long>(traits, sel("userInterfaceStyle")) == 2 ? plain(dr, dg, db, da)
                                                              : plain(lr, lg, lb, la);
  });
}
id c_white(id, SEL) { return plain(1, 1, 1, 1); }
id c_black(id, SEL) { return plain(0, 0, 0, 1); }
id c_clear(id, SEL) { return plain(0, 0, 0, 0); }
id c_gray(id, SEL) { return plain(0.5, 0.5, 0.5, 1); }
id c_red(id, SEL) { return plain(1, 0, 0, 1); }
id c_systemOrange(id, SEL) { return system(1, 149 / 255.0, 0, 1, 1, 159 / 255.0, 10 / 255.0, 1); }
id c_systemBlue(id, SEL) { return system(0, 122 / 255.0, 1, 1, 10 / 255.0, 132 / 255.0, 1, 1); }
id c_systemGreen(id, SEL) {
  return system(52 / 255.0, 199 / 255.0, 89 / 255.0, 1, 48 / 255.0, 209 / 255.0, 88 / 255.0, 1);
}
id c_systemRed(id, SEL) {
  return system(1, 59 / 255.0, 48 / 255.0, 1, 1, 69 / 255.0, 58 / 255.0, 1);
}
id c_systemGray(id, SEL) {
  return system(142 / 255.0, 142 / 255.0, 147 / 255.0, 1, 142 / 255.0, 142 / 255.0, 147 / 255.0, 1);
}
id c_label(id, SEL) { return system(0, 0, 0, 1, 1, 1, 1, 1); }
id c_secondaryLabel(id, SEL) {
  return system(60 / 255.0, 60 / 255.0, 67 / 255.0, 0.6, 235 / 255.0, 235 / 255.0, 245 / 255.0,
                0.6);
}
id c_tertiaryLabel(id, SEL) {
  return system(60 / 255.0, 60 / 255.0, 67 / 255.0, 0.3, 235 / 255.0, 235 / 255.0, 245 / 255.0,
                0.3);
}
id c_separator(id, SEL) {
  return system(60 / 255.0, 60 / 255.0, 67 / 255.0, 0.29, 84 / 255.0, 84 / 255.0, 88 / 255.0, 0.6);
}
id c_systemBackground(id, SEL) { return system(1, 1, 1, 1, 0, 0, 0, 1); }
id c_secondarySystemBackground(id, SEL) {
  return system(242 / 255.0, 242 / 255.0, 247 / 255.0, 1, 28 / 255.0, 28 / 255.0, 30 / 255.0, 1);
}
id c_groupedBackground(id, SEL) {
  return system(242 / 255.0, 242 / 255.0, 247 / 255.0, 1, 0, 0, 0, 1);
}
id c_secondaryGroupedBackground(id, SEL) {
  return system(1, 1, 1, 1, 28 / 255.0, 28 / 255.0, 30 / 255.0, 1);
}

id color_resolved(id self, SEL, id traits) {
  return resolve_color(self, traits ? send<long>(traits, sel("userInterfaceStyle")) : 0);
}
id color_withAlpha(id self, SEL, CGFloat alpha) {
  ColorState& s = color_state(self);
  if (!s.provider) return plain(s.r, s.g, s.b, alpha);
  objc::Ref base = objc::Ref::retain(self);
  return color_withDynamic(objc::asId(objc::cls("UIColor")), nullptr, ^id(id traits) {
    id r = send<id>(base.get(), sel("resolvedColorWithTraitCollection:"), traits);
    return send<id>(r, sel("colorWithAlphaComponent:"), alpha);
  });
}
long current_style() { return send<long>(current_trait_collection(), sel("userInterfaceStyle")); }
BOOL color_getRGBA(id self, SEL, CGFloat* r, CGFloat* g, CGFloat* b, CGFloat* a) {
  const render::Rgba c = rgba_of(self, current_style());
  if (r) *r = c.r;
  if (g) *g = c.g;
  if (b) *b = c.b;
  if (a) *a = c.a;
  return YES;
}
BOOL color_getWhite(id self, SEL, CGFloat* w, CGFloat* a) {
  const render::Rgba c = rgba_of(self, current_style());
  if (w) *w = 0.299 * c.r + 0.587 * c.g + 0.114 * c.b;
  if (a) *a = c.a;
  return YES;
}
// The colour as the current trait collection resolves it; the colour keeps it.
CGColorRef color_CGColor(id self, SEL) {
  const render::Rgba c = rgba_of(self, current_style());
  ColorState& s = color_state(self);
  const CGFloat* k = s.cg ? CGColorGetComponents(s.cg) : nullptr;
  if (!k || k[0] != c.r || k[1] != c.g || k[2] != c.b || k[3] != c.a) {
    CGColorRelease(s.cg);
    s.cg = CGColorCreateSRGB(c.r, c.g, c.b, c.a);
  }
  return s.cg;
}
void color_setStroke(id self, SEL) { set_current_stroke(rgba_of(self, current_style())); }
void color_setFill(id self, SEL) { set_current_fill(rgba_of(self, current_style())); }
void color_set(id self, SEL) {
  color_setStroke(self, nullptr);
  color_setFill(self, nullptr);
}

// ---- UIFont ----------------------------------------------------------------------------
id font_make(double size, double weight) {
  id f = make_object("UIFont");
  objc::storage<FontState>(f) = {size, weight};
  return objc::autorelease(f);
}
id font_system(id, SEL, CGFloat size) { return font_make(size, 0); }
id font_systemWeight(id, SEL, CGFloat size, CGFloat weight) { return font_make(size, weight); }
id font_bold(id, SEL, CGFloat size) { return font_make(size, 0.4); }
CGFloat font_pointSize(id self, SEL) { return objc::storage<FontState>(self).size; }
id font_name(id, SEL) { return objc::string(".SFUI"); }
id font_family(id, SEL) { return objc::string(".SF UI Text"); }
CGFloat font_weight(id self, SEL) { return objc::storage<FontState>(self).weight; }

// ---- UIScreen, UIDevice ----------------------------------------------------------------
struct DeviceState {
  std::string version = "15.6";
};
double g_scale = 3;
id screen_main(id, SEL) {
  static id const screen = objc::keepForever(objc::Ref::adopt(make_object("UIScreen")));
  return screen;
}
CGFloat screen_scale(id, SEL) { return g_scale; }
CGRect screen_bounds(id, SEL) { return CGRectMake(0, 0, 390, 844); }
id device_current(id, SEL) {
  static id const device = objc::keepForever(objc::Ref::adopt(make_object("UIDevice")));
  return device;
}
id device_systemVersion(id self, SEL) {
  return objc::string(objc::storage<DeviceState>(self).version);
}
void device_setSystemVersion(id self, SEL, id v) {
  objc::storage<DeviceState>(self).version = objc::toString(v);
}
id device_systemName(id, SEL) { return objc::string("iOS"); }
long device_idiom(id, SEL) { return 0; }

}  // namespace

ColorState::~ColorState() { CGColorRelease(cg); }

id trait_collection_with_style(long style) {
  id t = make_object("UITraitCollection");
  objc::storage<TraitState>(t).style = style;
  return objc::autorelease(t);
}

id current_trait_collection() {
  if (!g_current_traits) g_current_traits = objc::Ref::retain(trait_collection_with_style(1));
  return g_current_traits.get();
}

id resolve_color(id color, long style) {
  for (int depth = 0; color && depth < 8; ++depth) {
    ColorState& s = objc::storage<ColorState>(color);
    if (!s.provider) return color;
    color = s.provider(trait_collection_with_style(style));
  }
  return color;
}

render::Rgba rgba_of(id color, long style) {
  id plain_color = resolve_color(color, style);
  if (!plain_color || !is_kind(plain_color, "UIColor")) return {};
  const ColorState& s = objc::storage<ColorState>(plain_color);
  return {s.r, s.g, s.b, s.a};
}

int css_weight(double w) {
  if (w <= -0.7) return 100;
  if (w <= -0.5) return 200;
  if (w <= -0.2) return 300;
  if (w < 0.2) return 400;
  if (w < 0.27) return 500;
  if (w < 0.35) return 600;
  if (w < 0.5) return 700;
  if (w < 0.6) return 800;
  return 900;
}

double main_screen_scale() { return g_scale; }
void set_main_screen_scale(double scale) { g_scale = scale; }

void register_colors_and_fonts() {
  objc::ClassBuilder("UITraitCollection", "NSObject")
      .storage<TraitState>()
      .classMethod(ui::UITraitCollection::traitCollectionWithUserInterfaceStyle, &traits_withStyle)
      .classMethod(ui::UITraitCollection::currentTraitCollection, &traits_current)
      .classMethod(ui::UITraitCollection::setCurrentTraitCollection, &traits_setCurrent)
      .method(ui::UITraitCollection::userInterfaceStyle, &traits_style)
      .method(ui::UITraitCollection::displayScale, &traits_scale)
      .build();
  objc::ClassBuilder("UIColor", "NSObject")
      .storage<ColorState>()
      .classMethod(ui::UIColor::colorWithWhite_alpha, &color_withWhite)
      .classMethod(ui::UIColor::colorWithRed_green_blue_alpha, &color_withRGBA)
      .classMethod(ui::UIColor::colorWithDynamicProvider, &color_withDynamic)
      .method(ui::UIColor::initWithWhite_alpha, &color_initWhite)
      .method(ui::UIColor::initWithRed_green_blue_alpha, &color_initRGBA)
      .method(ui::UIColor::initWithDynamicProvider, &color_initDynamic)
      .classMethod(ui::UIColor::whiteColor, &c_white)
      .classMethod(ui::UIColor::blackColor, &c_black)
      .classMethod(ui::UIColor::clearColor, &c_clear)
      .classMethod(ui::UIColor::grayColor, &c_gray)
      .classMethod(ui::UIColor::redColor, &c_red)
      .classMethod(ui::UIColor::systemOrangeColor, &c_systemOrange)
      .classMethod(ui::UIColor::systemBlueColor, &c_systemBlue)
      .classMethod(ui::UIColor::systemGreenColor, &c_systemGreen)
      .classMethod(ui::UIColor::systemRedColor, &c_systemRed)
      .classMethod(ui::UIColor::systemGrayColor, &c_systemGray)
      .classMethod(ui::UIColor::labelColor, &c_label)
      .classMethod(ui::UIColor::secondaryLabelColor, &c_secondaryLabel)
      .classMethod(ui::UIColor::tertiaryLabelColor, &c_tertiaryLabel)
      .classMethod(ui::UIColor::separatorColor, &c_separator)
      .classMethod(ui::UIColor::systemBackgroundColor, &c_systemBackground)
      .classMethod(ui::UIColor::secondarySystemBackgroundColor, &c_secondarySystemBackground)
      .classMethod(ui::UIColor::systemGroupedBackgroundColor, &c_groupedBackground)
      .classMethod(ui::UIColor::secondarySystemGroupedBackgroundColor,
                   &c_secondaryGroupedBackground)
      .method(ui::UIColor::resolvedColorWithTraitCollection, &color_resolved)
      .method(ui::UIColor::colorWithAlphaComponent, &color_withAlpha)
      .method(ui::UIColor::getRed_green_blue_alpha, &color_getRGBA)
      .method(ui::UIColor::getWhite_alpha, &color_getWhite)
      .method(ui::UIColor::CGColor, &color_CGColor)
      .method(ui::UIColor::setStroke, &color_setStroke)
      .method(ui::UIColor::setFill, &color_setFill)
      .method(ui::UIColor::set, &color_set)
      .build();
  objc::ClassBuilder("UIFont", "NSObject")
      .storage<FontState>()
      .classMethod(ui::UIFont::systemFontOfSize, &font_system)
      .classMethod(ui::UIFont::systemFontOfSize_weight, &font_systemWeight)
      .classMethod(ui::UIFont::boldSystemFontOfSize, &font_bold)
      .method(ui::UIFont::pointSize, &font_pointSize)
      .method(ui::UIFont::fontName, &font_name)
      .method(ui::UIFont::familyName, &font_family)
      .method(own::UIFont::hvWeight, &font_weight)
      .build();
}

void register_devices() {
  objc::ClassBuilder("UIScreen", "NSObject")
      .classMethod(ui::UIScreen::mainScreen, &screen_main)
      .method(ui::UIScreen::scale, &screen_scale)
      .method(ui::UIScreen::bounds, &screen_bounds)
      .build();
  objc::ClassBuilder("UIDevice", "NSObject")
      .storage<DeviceState>()
      .classMethod(ui::UIDevice::currentDevice, &device_current)
      .method(ui::UIDevice::systemVersion, &device_systemVersion)
      .method(own::UIDevice::hvSetSystemVersion, &device_setSystemVersion)
      .method(ui::UIDevice::systemName, &device_systemName)
      .method(ui::UIDevice::userInterfaceIdiom, &device_idiom)
      .build();
}

}  // namespace hv::uikit

// UIFontWeight constants, Apple's values.
extern "C" {
__attribute__((visibility("default"))) extern const CGFloat UIFontWeightUltraLight = -0.8;
__attribute__((visibility("default"))) extern const CGFloat UIFontWeightThin = -0.6;
__attribute__((visibility("default"))) extern const CGFloat UIFontWeightLight = -0.4;
__attribute__((visibility("default"))) extern const CGFloat UIFontWeightRegular = 0.0;
__attribute__((visibility("default"))) extern const CGFloat UIFontWeightMedium = 0.23;
__attribute__((visibility("default"))) extern const CGFloat UIFontWeightSemibold = 0.3;
__attribute__((visibility("default"))) extern const CGFloat UIFontWeightBold = 0.4;
__attribute__((visibility("default"))) extern const CGFloat UIFontWeightHeavy = 0.56;
__attribute__((visibility("default"))) extern const CGFloat UIFontWeightBlack = 0.62;
}
