// UIImage (symbol images with a symbol configuration), UIImageSymbolConfiguration,
// UIBezierPath, and the image contexts of UIGraphicsBeginImageContextWithOptions, drawn
// with the renderer's canvas.
#include <algorithm>
#include <memory>
#include <set>

#include <hvplatform/uikit_host.hpp>

#include "platform/uikit/internal.hpp"

namespace hv::uikit {
namespace {

using objc::sel;
using objc::send;

struct Context {
  render::Canvas canvas;
  std::optional<render::Rgba> stroke, fill;
};
std::vector<std::unique_ptr<Context>>& contexts() {
  static auto* stack = new std::vector<std::unique_ptr<Context>>();
  return *stack;
}

std::set<std::string>& known_symbols() {
  static auto* names = new std::set<std::string>{"checkmark", "waveform.path.ecg"};
  return *names;
}

id image_with_bitmap(render::Bitmap bitmap, double scale, bool symbol) {
  id image = make_object("UIImage");
  ImageState& s = objc::storage<ImageState>(image);
  s.bitmap = std::move(bitmap);
  s.scale = scale;
  s.symbol = symbol;
  return objc::autorelease(image);
}

// A system symbol drawn as strokes in a square of the configuration's point size.
id draw_symbol(const std::string& name, double point_size, long weight) {
  const double size = point_size > 0 ? point_size : 17;
  const double scale = main_screen_scale();
  render::Canvas canvas({size * 1.2, size * 1.2}, false, scale);
  const double w = size * 1.2;
  const double line = std::max(1.0, size * (0.06 + 0.01 * std::max(0L, weight - 4)));
  render::Path path;
  auto move = [&](double x, double y) {
    path.push_back({render::PathElement::move, {{x * w, y * w}}});
  };
  auto to = [&](double x, double y) {
    path.push_back({render::PathElement::line, {{x * w, y * w}}});
  };
  if (name == "checkmark") {
    move(0.15, 0.55);
    to(0.4, 0.8);
    to(0.85, 0.2);
  } else {  // waveform.path.ecg
    move(0.05, 0.55);
    to(0.3, 0.55);
    to(0.42, 0.2);
    to(0.58, 0.85);
    to(0.7, 0.45);
    to(0.95, 0.45);
  }
  canvas.stroke({path, {0, 0, 0, 1}, line, render::cap_round, render::join_round});
  return image_with_bitmap(canvas.snapshot(), scale, true);
}

}  // namespace

// A chevron of width x height points, pointing right (forward) or left, as UIKit draws the
// disclosure indicator and the back indicator: a template image (the view's tint colours it).
id chevron_image(bool forward, double width, double height, double line_width) {
  const double scale = main_screen_scale();
  render::Canvas canvas({width, height}, false, scale);
  const double inset = line_width / 2;
  const double near = forward ? inset : width - inset, far = forward ? width - inset : inset;
  render::Path path;
  path.push_back({render::PathElement::move, {{near, inset}}});
  path.push_back({render::PathElement::line, {{far, height / 2}}});
  path.push_back({render::PathElement::line, {{near, height - inset}}});
  canvas.stroke({path, {0, 0, 0, 1}, line_width, render::cap_round, render::join_round});
  id image = image_with_bitmap(canvas.snapshot(), scale, false);
  objc::storage<ImageState>(image).rendering_mode = 2;  // always template
  return image;
}

namespace {

// ---- UIImageSymbolConfiguration ----------------------------------------------------------
id config_make(double size, long weight) {
  id c = make_object("UIImageSymbolConfiguration");
  objc::storage<SymbolConfigurationState>(c) = {size, weight};
  return objc::autorelease(c);
}
id config_size(id, SEL, CGFloat size) { return config_make(size, 0); }
id config_sizeWeight(id, SEL, CGFloat size, long weight) { return config_make(size, weight); }
id config_weight(id, SEL, long weight) { return config_make(0, weight); }

// ---- UIImage -----------------------------------------------------------------------------
id image_systemNamedConfig(id, SEL, id name, id configuration) {
  const std::string symbol = objc::toString(name);
  if (!known_symbols().count(symbol)) return nullptr;  // an unknown symbol: nil, as UIKit
  SymbolConfigurationState c;
  if (configuration) c = objc::storage<SymbolConfigurationState>(configuration);
  return draw_symbol(symbol, c.point_size, c.weight);
}
id image_systemNamed(id cls, SEL, id name) {
  return image_systemNamedConfig(cls, nullptr, name, nullptr);
}
id image_named(id, SEL, id) { return nullptr; }
CGSize image_size(id self, SEL) {
  const ImageState& s = objc::storage<ImageState>(self);
  return CGSizeMake(s.bitmap.frame.width, s.bitmap.frame.height);
}
CGFloat image_scale(id self, SEL) { return objc::storage<ImageState>(self).scale; }
BOOL image_isSymbol(id self, SEL) { return objc::toBool(objc::storage<ImageState>(self).symbol); }
long image_renderingMode(id self, SEL) { return objc::storage<ImageState>(self).rendering_mode; }
id image_copy_with(id self, long mode, id tint) {
  const ImageState& s = objc::storage<ImageState>(self);
  id copy = image_with_bitmap(s.bitmap, s.scale, s.symbol);
  objc::storage<ImageState>(copy).rendering_mode = mode;
  objc::storage<ImageState>(copy).tint = objc::Ref::retain(tint ? tint : s.tint.get());
  return copy;
}
id image_withRenderingMode(id self, SEL, long mode) { return image_copy_with(self, mode, nullptr); }
id image_withTint(id self, SEL, id tint) { return image_copy_with(self, 1, tint); }

// ---- UIBezierPath ------------------------------------------------------------------------
PathState& path_state(id self) {
  PathState& s = objc::storage<PathState>(self);
  if (!s.path) s.path = CGPathCreateMutable();
  return s;
}
id bezier_path(id, SEL) { return objc::autorelease(make_object("UIBezierPath")); }
id bezier_rect(id cls, SEL, CGRect r) {
  id p = bezier_path(cls, nullptr);
  CGPathAddRect(path_state(p).path, nullptr, r);
  return p;
}
id bezier_rounded(id cls, SEL, CGRect r, CGFloat radius) {
  id p = bezier_path(cls, nullptr);
  CGPathAddRoundedRect(path_state(p).path, nullptr, r, radius, radius);
  return p;
}
void bezier_move(id self, SEL, CGPoint p) {
  CGPathMoveToPoint(path_state(self).path, nullptr, p.x, p.y);
}
void bezier_line(id self, SEL, CGPoint p) {
  CGPathAddLineToPoint(path_state(self).path, nullptr, p.x, p.y);
}
void bezier_curve(id self, SEL, CGPoint p, CGPoint c1, CGPoint c2) {
  CGPathAddCurveToPoint(path_state(self).path, nullptr, c1.x, c1.y, c2.x, c2.y, p.x, p.y);
}
void bezier_quad(id self, SEL, CGPoint p, CGPoint c) {
  CGPathAddQuadCurveToPoint(path_state(self).path, nullptr, c.x, c.y, p.x, p.y);
}
void bezier_close(id self, SEL) { CGPathCloseSubpath(path_state(self).path); }
CGFloat bezier_lineWidth(id self, SEL) { return path_state(self).line_width; }
void bezier_setLineWidth(id self, SEL, CGFloat w) { path_state(self).line_width = w; }
int bezier_cap(id self, SEL) { return path_state(self).cap; }
void bezier_setCap(id self, SEL, int v) { path_state(self).cap = v; }
int bezier_join(id self, SEL) { return path_state(self).join; }
void bezier_setJoin(id self, SEL, int v) { path_state(self).join = v; }
// Strokes into the current image context with its stroke colour (nothing without one).
void bezier_stroke(id self, SEL) {
  if (contexts().empty()) return;
  Context& c = *contexts().back();
  PathState& s = path_state(self);
  c.canvas.stroke(
      {path_of(s.path), c.stroke.value_or(render::Rgba{0, 0, 0, 1}), s.line_width, s.cap, s.join});
}
void bezier_fill(id self, SEL) {
  if (contexts().empty()) return;
  Context& c = *contexts().back();
  c.canvas.fill(path_of(path_state(self).path), c.fill.value_or(render::Rgba{0, 0, 0, 1}));
}
CGPathRef bezier_CGPath(id self, SEL) { return path_state(self).path; }
CGRect bezier_bounds(id self, SEL) {
  CGPathRef p = path_state(self).path;
  return CGPathIsEmpty(p) ? CGRectZero : CGPathGetBoundingBox(p);
}
BOOL bezier_isEmpty(id self, SEL) { return objc::toBool(CGPathIsEmpty(path_state(self).path)); }

}  // namespace

PathState::~PathState() { CGPathRelease(path); }

render::Canvas* current_canvas() {
  return contexts().empty() ? nullptr : &contexts().back()->canvas;
}
void set_current_stroke(render::Rgba c) {
  if (!contexts().empty()) contexts().back()->stroke = c;
}
void set_current_fill(render::Rgba c) {
  if (!contexts().empty()) contexts().back()->fill = c;
}
std::optional<render::Rgba> current_stroke() {
  return contexts().empty() ? std::nullopt : contexts().back()->stroke;
}
std::optional<render::Rgba> current_fill() {
  return contexts().empty() ? std::nullopt : contexts().back()->fill;
}

render::Path path_of(CGPathRef path) {
  render::Path out;
  CGPathApply(path, &out, [](void* info, const CGPathElement* e) {
    auto& p = *static_cast<render::Path*>(info);
    render::PathElement el;
    switch (e->type) {
      case kCGPathElementMoveToPoint: el.kind = render::PathElement::move; break;
      case kCGPathElementAddLineToPoint: el.kind = render::PathElement::line; break;
      case kCGPathElementAddQuadCurveToPoint: el.kind = render::PathElement::quad; break;
      case kCGPathElementAddCurveToPoint: el.kind = render::PathElement::cubic; break;
      default: el.kind = render::PathElement::close; break;
    }
    const int n = el.kind == render::PathElement::cubic   ? 3
                  : el.kind == render::PathElement::quad  ? 2
                  : el.kind == render::PathElement::close ? 0
                                                          : 1;
    for (int i = 0; i < n; ++i) el.points[i] = {e->points[i].x, e->points[i].y};
    p.push_back(el);
  });
  return out;
}

render::Size measure(const render::Text& t) { return render::measure_text(t); }

void set_known_symbols(std::vector<std::string> names) {
  known_symbols() = std::set<std::string>(names.begin(), names.end());
}

void register_graphics() {
  objc::ClassBuilder("UIImageConfiguration", "NSObject").build();
  objc::ClassBuilder("UIImageSymbolConfiguration", "UIImageConfiguration")
      .storage<SymbolConfigurationState>()
      .classMethod(ui::UIImageSymbolConfiguration::configurationWithPointSize, &config_size)
      .classMethod(ui::UIImageSymbolConfiguration::configurationWithPointSize_weight,
                   &config_sizeWeight)
      .classMethod(ui::UIImageSymbolConfiguration::configurationWithWeight, &config_weight)
      .build();
  objc::ClassBuilder("UIImage", "NSObject")
      .storage<ImageState>()
      .classMethod(ui::UIImage::systemImageNamed, &image_systemNamed)
      .classMethod(ui::UIImage::systemImageNamed_withConfiguration, &image_systemNamedConfig)
      .classMethod(ui::UIImage::imageNamed, &image_named)
      .method(ui::UIImage::size, &image_size)
      .method(ui::UIImage::scale, &image_scale)
      .method(ui::UIImage::isSymbolImage, &image_isSymbol)
      .method(ui::UIImage::renderingMode, &image_renderingMode)
      .method(ui::UIImage::imageWithRenderingMode, &image_withRenderingMode)
      .method(ui::UIImage::imageWithTintColor, &image_withTint)
      .build();
  objc::ClassBuilder("UIBezierPath", "NSObject")
      .storage<PathState>()
      .classMethod(ui::UIBezierPath::bezierPath, &bezier_path)
      .classMethod(ui::UIBezierPath::bezierPathWithRect, &bezier_rect)
      .classMethod(ui::UIBezierPath::bezierPathWithRoundedRect_cornerRadius, &bezier_rounded)
      .method(ui::UIBezierPath::moveToPoint, &bezier_move)
      .method(ui::UIBezierPath::addLineToPoint, &bezier_line)
      .method(ui::UIBezierPath::addCurveToPoint_controlPoint1_controlPoint2, &bezier_curve)
      .method(ui::UIBezierPath::addQuadCurveToPoint_controlPoint, &bezier_quad)
      .method(ui::UIBezierPath::closePath, &bezier_close)
      .method(ui::UIBezierPath::lineWidth, &bezier_lineWidth)
      .method(ui::UIBezierPath::setLineWidth, &bezier_setLineWidth)
      .method(ui::UIBezierPath::lineCapStyle, &bezier_cap)
      .method(ui::UIBezierPath::setLineCapStyle, &bezier_setCap)
      .method(ui::UIBezierPath::lineJoinStyle, &bezier_join)
      .method(ui::UIBezierPath::setLineJoinStyle, &bezier_setJoin)
      .method(ui::UIBezierPath::stroke, &bezier_stroke)
      .method(ui::UIBezierPath::fill, &bezier_fill)
      .method(ui::UIBezierPath::CGPath, &bezier_CGPath)
      .method(ui::UIBezierPath::bounds, &bezier_bounds)
      .method(ui::UIBezierPath::isEmpty, &bezier_isEmpty)
      .build();
}

}  // namespace hv::uikit

extern "C" {

__attribute__((visibility("default"))) void
UIGraphicsBeginImageContextWithOptions(CGSize size, BOOL opaque, CGFloat scale) {
  if (scale <= 0) scale = hv::uikit::main_screen_scale();
  hv::uikit::contexts().push_back(std::make_unique<hv::uikit::Context>(hv::uikit::Context{
      hv::render::Canvas({size.width, size.height}, objc::fromBool(opaque), scale), {}, {}}));
}

__attribute__((visibility("default"))) id UIGraphicsGetImageFromCurrentImageContext(void) {
  hv::render::Canvas* canvas = hv::uikit::current_canvas();
  if (!canvas) return nullptr;
  return hv::uikit::image_with_bitmap(canvas->snapshot(), canvas->scale(), false);
}

__attribute__((visibility("default"))) void UIGraphicsEndImageContext(void) {
  if (!hv::uikit::contexts().empty()) hv::uikit::contexts().pop_back();
}

__attribute__((visibility("default"))) CGContextRef UIGraphicsGetCurrentContext(void) {
  return reinterpret_cast<CGContextRef>(hv::uikit::current_canvas());
}
}
