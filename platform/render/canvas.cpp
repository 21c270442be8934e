// The offscreen surface of image contexts: cairo with points as user space.
#include "platform/render/canvas.hpp"

#include <cairo.h>

#include <cmath>
#include <cstring>

#include "platform/render/internal.hpp"

namespace hv::render {

struct Canvas::State {
  cairo_surface_t* surface = nullptr;
  cairo_t* cr = nullptr;
  Size size;
  double scale = 1;
  bool opaque = false;
  ~State() {
    if (cr) cairo_destroy(cr);
    if (surface) cairo_surface_destroy(surface);
  }
};

namespace {
int pixels(double points, double scale) {
  const double v = points * scale;
  if (!(v > 0)) return 0;
  return static_cast<int>(std::ceil(std::min(v, 16384.0) - 1e-9));
}
}  // namespace

Canvas::Canvas(Size points, bool opaque, double scale) : state_(std::make_unique<State>()) {
  if (!(scale > 0)) scale = 1;
  state_->size = {std::max(points.width, 0.0), std::max(points.height, 0.0)};
  state_->scale = scale;
  state_->opaque = opaque;
  // A context of no pixels still takes drawing calls (and draws nothing).
  const int w = std::max(pixels(points.width, scale), 1),
            h = std::max(pixels(points.height, scale), 1);
  state_->surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  state_->cr = cairo_create(state_->surface);
  if (opaque) {  // an opaque bitmap context starts black, as the platform's does
    cairo_set_source_rgb(state_->cr, 0, 0, 0);
    cairo_paint(state_->cr);
  }
  cairo_scale(state_->cr, scale, scale);
}

Canvas::~Canvas() = default;
Canvas::Canvas(Canvas&&) noexcept = default;
Canvas& Canvas::operator=(Canvas&&) noexcept = default;

Size Canvas::size() const { return state_->size; }
double Canvas::scale() const { return state_->scale; }
bool Canvas::opaque() const { return state_->opaque; }

void Canvas::save() { cairo_save(state_->cr); }
void Canvas::restore() { cairo_restore(state_->cr); }

void Canvas::concat(const Affine& t) {
  const cairo_matrix_t m = detail::to_cairo(t);
  cairo_transform(state_->cr, &m);
}

Affine Canvas::transform() const {
  cairo_matrix_t m;
  cairo_get_matrix(state_->cr, &m);
  const double s = state_->scale;
  return {m.xx / s, m.yx / s, m.xy / s, m.yy / s, m.x0 / s, m.y0 / s};
}

void Canvas::stroke(const Stroke& s) { detail::stroke(state_->cr, s); }

void Canvas::fill(const Path& path, Rgba color, bool even_odd) {
  cairo_t* cr = state_->cr;
  cairo_save(cr);
  detail::set_path(cr, path);
  cairo_set_fill_rule(cr, even_odd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
  detail::set_source(cr, color);
  cairo_fill(cr);
  cairo_restore(cr);
}

void Canvas::clear(const Rect& r) {
  cairo_t* cr = state_->cr;
  cairo_save(cr);
  cairo_rectangle(cr, r.x, r.y, r.width, r.height);
  cairo_set_operator(cr, state_->opaque ? CAIRO_OPERATOR_SOURCE : CAIRO_OPERATOR_CLEAR);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_fill(cr);
  cairo_restore(cr);
}

void Canvas::draw_bitmap(const Bitmap& b) { detail::draw_bitmap(state_->cr, b); }

void Canvas::draw_text(const Text& t, Stats* stats) { detail::draw_text(state_->cr, t, stats); }

Bitmap Canvas::snapshot() const {
  cairo_surface_flush(state_->surface);
  Bitmap b;
  b.pixel_width = cairo_image_surface_get_width(state_->surface);
  b.pixel_height = cairo_image_surface_get_height(state_->surface);
  b.frame = {0, 0, state_->size.width, state_->size.height};
  b.premultiplied_argb.resize(static_cast<std::size_t>(b.pixel_width) * b.pixel_height);
  const unsigned char* data = cairo_image_surface_get_data(state_->surface);
  const int stride = cairo_image_surface_get_stride(state_->surface);
  for (int y = 0; y < b.pixel_height; ++y)
    std::memcpy(b.premultiplied_argb.data() + static_cast<std::size_t>(y) * b.pixel_width,
                data + static_cast<std::size_t>(y) * stride,
                static_cast<std::size_t>(b.pixel_width) * 4);
  return b;
}

}  // namespace hv::render
