// Draws a display list with cairo. Every layer (the picture, a translucent subtree, a
// subtree whose shadow follows its content) is an ARGB32 surface of the picture's full
// size sharing the picture's device space, so a material can blur what lies behind it:
// the picture and every open layer above it, composited at their opacities.
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/render/internal.hpp"

namespace hv::render {

namespace detail {

cairo_matrix_t to_cairo(const Affine& t) {
  cairo_matrix_t m;
  cairo_matrix_init(&m, t.a, t.b, t.c, t.d, t.tx, t.ty);
  return m;
}

void set_source(cairo_t* cr, Rgba c) {
  auto unit = [](double v) { return std::clamp(std::isfinite(v) ? v : 0.0, 0.0, 1.0); };
  cairo_set_source_rgba(cr, unit(c.r), unit(c.g), unit(c.b), unit(c.a));
}

void set_path(cairo_t* cr, const Path& path) {
  cairo_new_path(cr);
  // A path with a point that is not a number is no shape at all (left empty).
  for (const PathElement& e : path)
    for (const Point& p : e.points)
      if (!std::isfinite(p.x) || !std::isfinite(p.y) || std::fabs(p.x) > 1e7 ||
          std::fabs(p.y) > 1e7)
        return;
  for (const PathElement& e : path) {
    switch (e.kind) {
      case PathElement::move: cairo_move_to(cr, e.points[0].x, e.points[0].y); break;
      case PathElement::line: cairo_line_to(cr, e.points[0].x, e.points[0].y); break;
      case PathElement::quad: {
        if (!cairo_has_current_point(cr)) {
          cairo_move_to(cr, e.points[1].x, e.points[1].y);
          break;
        }
        double x0, y0;
        cairo_get_current_point(cr, &x0, &y0);
        const Point c = e.points[0], p = e.points[1];
        cairo_curve_to(cr, x0 + 2.0 / 3 * (c.x - x0), y0 + 2.0 / 3 * (c.y - y0),
                       p.x + 2.0 / 3 * (c.x - p.x), p.y + 2.0 / 3 * (c.y - p.y), p.x, p.y);
        break;
      }
      case PathElement::cubic:
        cairo_curve_to(cr, e.points[0].x, e.points[0].y, e.points[1].x, e.points[1].y,
                       e.points[2].x, e.points[2].y);
        break;
      case PathElement::close: cairo_close_path(cr); break;
    }
  }
}

namespace {

double device_scale(const cairo_matrix_t& m) {
  return std::sqrt(std::fabs(m.xx * m.yy - m.xy * m.yx));
}

cairo_line_cap_t cap_of(int cap) {
  return cap == cap_round    ? CAIRO_LINE_CAP_ROUND
         : cap == cap_square ? CAIRO_LINE_CAP_SQUARE
                             : CAIRO_LINE_CAP_BUTT;
}
cairo_line_join_t join_of(int join) {
  return join == join_round   ? CAIRO_LINE_JOIN_ROUND
         : join == join_bevel ? CAIRO_LINE_JOIN_BEVEL
                              : CAIRO_LINE_JOIN_MITER;
}

// The path's straight segments in device space when every one of them runs along an axis.
bool axis_segments(cairo_t* cr, const Path& path, std::vector<std::pair<Point, Point>>* out) {
  Point start{}, current{};
  bool have = false;
  auto add = [&](Point to) {
    double x0 = current.x, y0 = current.y, x1 = to.x, y1 = to.y;
    cairo_user_to_device(cr, &x0, &y0);
    cairo_user_to_device(cr, &x1, &y1);
    if (std::fabs(x0 - x1) > 1e-6 && std::fabs(y0 - y1) > 1e-6) return false;
    out->push_back({{x0, y0}, {x1, y1}});
    return true;
  };
  for (const PathElement& e : path) {
    switch (e.kind) {
      case PathElement::move:
        start = current = e.points[0];
        have = true;
        break;
      case PathElement::line:
        if (have && !add(e.points[0])) return false;
        current = e.points[0];
        if (!have) start = current;
        have = true;
        break;
      case PathElement::close:
        if (have && !add(start)) return false;
        current = start;
        break;
      default: return false;
    }
  }
  return true;
}

}  // namespace

void stroke(cairo_t* cr, const Stroke& s) {
  if (s.path.empty() || s.color.a <= 0) return;
  cairo_matrix_t m;
  cairo_get_matrix(cr, &m);
  const double k = device_scale(m);
  if (k <= 0) return;
  const double device_width = s.width <= 0 ? 1 : s.width * k;
  cairo_save(cr);
  set_source(cr, s.color);
  cairo_set_line_cap(cr, cap_of(s.cap));
  cairo_set_line_join(cr, join_of(s.join));
  std::vector<std::pair<Point, Point>> segments;
  if (device_width <= 1.0001 && axis_segments(cr, s.path, &segments)) {
    // A hairline: each segment moved onto the centre of the pixel row or column it
    // crosses, so it covers exactly one pixel instead of two half-covered ones.
    cairo_identity_matrix(cr);
    cairo_new_path(cr);
    auto centre = [](double v) { return std::floor(v) + 0.5; };
    for (auto [a, b] : segments) {
      if (std::fabs(a.y - b.y) <= 1e-6)
        a.y = b.y = centre(a.y);
      else
        a.x = b.x = centre(a.x);
      cairo_move_to(cr, a.x, a.y);
      cairo_line_to(cr, b.x, b.y);
    }
    cairo_set_line_width(cr, device_width);
  } else {
    set_path(cr, s.path);
    cairo_set_line_width(cr, s.width <= 0 ? 1 / k : s.width);
  }
  cairo_stroke(cr);
  cairo_restore(cr);
}

void draw_bitmap(cairo_t* cr, const Bitmap& b) {
  if (b.pixel_width <= 0 || b.pixel_height <= 0 || b.frame.width <= 0 || b.frame.height <= 0)
    return;
  if (b.premultiplied_argb.size() < static_cast<std::size_t>(b.pixel_width) * b.pixel_height)
    return;
  const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, b.pixel_width);
  std::vector<unsigned char> pixels(static_cast<std::size_t>(stride) * b.pixel_height);
  for (int y = 0; y < b.pixel_height; ++y)
    std::memcpy(pixels.data() + static_cast<std::size_t>(y) * stride,
                b.premultiplied_argb.data() + static_cast<std::size_t>(y) * b.pixel_width,
                static_cast<std::size_t>(b.pixel_width) * 4);
  cairo_surface_t* surface = cairo_image_surface_create_for_data(
      pixels.data(), CAIRO_FORMAT_ARGB32, b.pixel_width, b.pixel_height, stride);
  cairo_save(cr);
  cairo_translate(cr, b.frame.x, b.frame.y);
  cairo_scale(cr, b.frame.width / b.pixel_width, b.frame.height / b.pixel_height);
  // Edge pixels extend to the frame's edge (not faded into transparency by the filter).
  cairo_rectangle(cr, 0, 0, b.pixel_width, b.pixel_height);
  cairo_clip(cr);
  cairo_pattern_t* pattern = cairo_pattern_create_for_surface(surface);
  cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
  if (b.template_tint) {
    set_source(cr, *b.template_tint);
    cairo_mask(cr, pattern);
  } else {
    cairo_set_source(cr, pattern);
    cairo_paint(cr);
  }
  cairo_pattern_destroy(pattern);
  cairo_restore(cr);
  cairo_surface_destroy(surface);
}

}  // namespace detail

namespace {

using namespace detail;

struct Layer {
  cairo_surface_t* surface;
  double alpha;
};

// A surface of the picture's size and a context on it with the given transformation.
struct Surface {
  cairo_surface_t* surface = nullptr;
  cairo_t* cr = nullptr;
  Surface(int w, int h, cairo_format_t format, const cairo_matrix_t* m) {
    surface = cairo_image_surface_create(format, w, h);
    cr = cairo_create(surface);
    if (m) cairo_set_matrix(cr, m);
  }
  ~Surface() {
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  }
  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;
};

// Paints `source` (device space) onto cr as a mask of `color`, moved by (dx, dy) pixels.
void paint_mask(cairo_t* cr, cairo_surface_t* mask, Rgba color, double dx, double dy) {
  cairo_save(cr);
  cairo_identity_matrix(cr);
  set_source(cr, color);
  cairo_mask_surface(cr, mask, dx, dy);
  cairo_restore(cr);
}

void paint_surface(cairo_t* cr, cairo_surface_t* source, double alpha) {
  cairo_save(cr);
  cairo_identity_matrix(cr);
  cairo_set_source_surface(cr, source, 0, 0);
  cairo_paint_with_alpha(cr, alpha);
  cairo_restore(cr);
}

void blur_surface(cairo_surface_t* s, double sigma, bool clamp) {
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) return;
  cairo_surface_flush(s);
  const int channels = cairo_image_surface_get_format(s) == CAIRO_FORMAT_A8 ? 1 : 4;
  blur(cairo_image_surface_get_data(s), cairo_image_surface_get_width(s),
       cairo_image_surface_get_height(s), cairo_image_surface_get_stride(s), channels, sigma,
       clamp);
  cairo_surface_mark_dirty(s);
}

// CALayer's blur radius in points as a Gaussian's sigma in device pixels; bounded, so a
// wild radius cannot ask for a blur larger than any picture.
double blur_sigma(double radius, double device_scale) {
  if (!std::isfinite(radius) || !std::isfinite(device_scale) || radius <= 0) return 0;
  return std::min(radius / 2 * device_scale, 256.0);
}

// Core Animation draws the edges of an unrotated layer on pixel boundaries (edge
// antialiasing is off by default): a 0.5-point separator at a 3x scale covers one whole
// pixel row, not one and a half rows with a faint edge. When the context maps the
// rectangle onto the device without rotation or skew, its edges are rounded to the
// nearest pixel (a rectangle that would round to nothing keeps one pixel) and it becomes
// the current path in device space; otherwise nothing is set and false is returned.
bool fill_on_pixels(cairo_t* cr, const Rect& r) {
  cairo_matrix_t m;
  cairo_get_matrix(cr, &m);
  if (m.xy != 0 || m.yx != 0 || !(r.width > 0) || !(r.height > 0)) return false;
  double x0 = r.x, y0 = r.y, x1 = r.x + r.width, y1 = r.y + r.height;
  cairo_user_to_device(cr, &x0, &y0);
  cairo_user_to_device(cr, &x1, &y1);
  auto edges = [](double a, double b, double* lo, double* hi) {
    if (a > b) std::swap(a, b);
    if (!(std::fabs(a) < 1e7 && std::fabs(b) < 1e7)) return false;
    *lo = std::round(a);
    *hi = std::round(b);
    if (*hi <= *lo) *hi = *lo + 1;
    return true;
  };
  double px0, px1, py0, py1;
  if (!edges(x0, x1, &px0, &px1) || !edges(y0, y1, &py0, &py1)) return false;
  cairo_save(cr);
  cairo_identity_matrix(cr);
  cairo_new_path(cr);
  cairo_rectangle(cr, px0, py0, px1 - px0, py1 - py0);
  cairo_restore(cr);  // the path stays, in device coordinates
  return true;
}

// A rectangle of device pixels, [x0, x1) x [y0, y1).
struct Region {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  int width() const { return x1 - x0; }
  int height() const { return y1 - y0; }
  bool empty() const { return x1 <= x0 || y1 <= y0; }
  Region grow(int by) const { return empty() ? *this : Region{x0 - by, y0 - by, x1 + by, y1 + by}; }
  Region intersect(const Region& o) const {
    return {std::max(x0, o.x0), std::max(y0, o.y0), std::min(x1, o.x1), std::min(y1, o.y1)};
  }
};

// The device pixels the context's current path covers (a bound of its fill).
Region path_region(cairo_t* cr) {
  double ux0, uy0, ux1, uy1;
  cairo_fill_extents(cr, &ux0, &uy0, &ux1, &uy1);
  if (ux1 <= ux0 || uy1 <= uy0) return {};
  double xs[4] = {ux0, ux1, ux0, ux1}, ys[4] = {uy0, uy0, uy1, uy1};
  double dx0 = HUGE_VAL, dy0 = HUGE_VAL, dx1 = -HUGE_VAL, dy1 = -HUGE_VAL;
  for (int i = 0; i < 4; ++i) {
    cairo_user_to_device(cr, &xs[i], &ys[i]);
    dx0 = std::min(dx0, xs[i]), dy0 = std::min(dy0, ys[i]);
    dx1 = std::max(dx1, xs[i]), dy1 = std::max(dy1, ys[i]);
  }
  constexpr double kFar = 1 << 20;  // keeps the conversion to int defined
  auto clampi = [&](double v) {
    return std::isfinite(v) ? static_cast<int>(std::clamp(v, -kFar, kFar)) : 0;
  };
  return {clampi(std::floor(dx0)), clampi(std::floor(dy0)), clampi(std::ceil(dx1)),
          clampi(std::ceil(dy1))};
}

// The pixels of an ARGB32 surface with any alpha.
Region alpha_region(cairo_surface_t* s) {
  cairo_surface_flush(s);
  const unsigned char* data = cairo_image_surface_get_data(s);
  const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
  const int stride = cairo_image_surface_get_stride(s);
  Region r{w, h, 0, 0};
  for (int y = 0; y < h; ++y) {
    const auto* row =
        reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
    for (int x = 0; x < w; ++x)
      if (row[x] >> 24) {
        r.x0 = std::min(r.x0, x), r.x1 = std::max(r.x1, x + 1);
        r.y0 = std::min(r.y0, y), r.y1 = std::max(r.y1, y + 1);
      }
  }
  return r;
}

bool finite(const Node& n) {
  const Affine& t = n.to_parent;
  const Rect& b = n.bounds;
  for (double v : {t.a, t.b, t.c, t.d, t.tx, t.ty, b.x, b.y, b.width, b.height, n.corner_radius})
    if (!std::isfinite(v)) return false;
  return true;
}

class Renderer {
public:
  Renderer(int width, int height, Stats* stats) : width_(width), height_(height), stats_(stats) {}

  void draw_root(cairo_surface_t* root, cairo_t* cr, const Node& node) {
    stack_.push_back({root, 1});
    draw(cr, node);
    stack_.pop_back();
  }

private:
  void draw(cairo_t* cr, const Node& n) {
    if (!(n.opacity > 0)) return;  // nothing of a transparent subtree shows
    if (!finite(n)) return;        // a node whose geometry is not a number shows nothing
    cairo_save(cr);
    const cairo_matrix_t to_parent = to_cairo(n.to_parent);
    cairo_transform(cr, &to_parent);
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    if (cairo_matrix_invert(&m) != CAIRO_STATUS_SUCCESS) {  // flattened to nothing
      cairo_restore(cr);
      return;
    }
    cairo_get_matrix(cr, &m);
    const bool shadow = n.shadow && n.shadow->opacity * n.shadow->color.a > 0;
    const bool group = n.opacity < 1;
    if (!group && !shadow) {
      draw_content(cr, n);
      cairo_restore(cr);
      return;
    }
    // The translucent node draws into its own layer, composited once at its opacity.
    std::optional<Surface> g;
    cairo_t* target = cr;
    if (group) {
      g.emplace(width_, height_, CAIRO_FORMAT_ARGB32, &m);
      cairo_set_tolerance(g->cr, 0.05);
      target = g->cr;
      stack_.push_back({g->surface, n.opacity});
    }
    if (shadow) {
      draw_with_shadow(target, n, m);
    } else {
      draw_content(target, n);
    }
    if (group) {
      stack_.pop_back();
      paint_surface(cr, g->surface, n.opacity);
    }
    cairo_restore(cr);
  }

  // The shadow first: of the shadow path when there is one, else of what the node and its
  // subtree draw (their alpha), as CALayer does. Only the shape's neighbourhood is blurred.
  void draw_with_shadow(cairo_t* target, const Node& n, const cairo_matrix_t& m) {
    const Shadow& s = *n.shadow;
    const double k = device_scale(m);
    auto bounded = [](double v) {
      return std::isfinite(v) ? std::clamp(v, -65536.0, 65536.0) : 0.0;
    };
    const double dx = bounded(m.xx * s.offset.width + m.xy * s.offset.height);
    const double dy = bounded(m.yx * s.offset.width + m.yy * s.offset.height);
    const double sigma = blur_sigma(s.radius, k);
    const int margin = static_cast<int>(std::ceil(3 * sigma)) + 1;
    // Shapes off the picture may cast shadows onto it: keep what the offset can bring in.
    const Region limit{-margin - static_cast<int>(std::fabs(dx)) - 1,
                       -margin - static_cast<int>(std::fabs(dy)) - 1,
                       width_ + margin + static_cast<int>(std::fabs(dx)) + 1,
                       height_ + margin + static_cast<int>(std::fabs(dy)) + 1};
    Rgba color = s.color;
    color.a *= std::clamp(s.opacity, 0.0, 1.0);
    if (s.path) {
      set_path(target, *s.path);
      const Region r = path_region(target).grow(margin).intersect(limit);
      cairo_new_path(target);
      if (!r.empty()) {
        Surface mask(r.width(), r.height(), CAIRO_FORMAT_A8, nullptr);
        cairo_matrix_t shifted = m;
        shifted.x0 -= r.x0;
        shifted.y0 -= r.y0;
        cairo_set_matrix(mask.cr, &shifted);
        set_path(mask.cr, *s.path);
        cairo_fill(mask.cr);
        blur_surface(mask.surface, sigma, false);
        paint_mask(target, mask.surface, color, r.x0 + dx, r.y0 + dy);
      }
      draw_content(target, n);
      return;
    }
    Surface content(width_, height_, CAIRO_FORMAT_ARGB32, &m);
    cairo_set_tolerance(content.cr, 0.05);
    stack_.push_back({content.surface, 1});
    draw_content(content.cr, n);
    stack_.pop_back();
    const Region r = alpha_region(content.surface).grow(margin).intersect(limit);
    if (!r.empty()) {
      Surface mask(r.width(), r.height(), CAIRO_FORMAT_A8, nullptr);
      cairo_set_operator(mask.cr, CAIRO_OPERATOR_SOURCE);
      cairo_set_source_surface(mask.cr, content.surface, -r.x0, -r.y0);
      cairo_paint(mask.cr);
      blur_surface(mask.surface, sigma, false);
      paint_mask(target, mask.surface, color, r.x0 + dx, r.y0 + dy);
    }
    paint_surface(target, content.surface, 1);
  }

  void draw_content(cairo_t* cr, const Node& n) {
    cairo_save(cr);
    const Path shape =
        rounded_rect_path(n.bounds, n.corner_radius, n.continuous_corners, n.corner_mask);
    if (n.backdrop) draw_backdrop(cr, *n.backdrop, shape);
    if (n.background && n.background->a > 0) {
      if (n.corner_radius > 0 || !fill_on_pixels(cr, n.bounds)) set_path(cr, shape);
      set_source(cr, *n.background);
      cairo_fill(cr);
    }
    if (n.clips) {
      set_path(cr, shape);
      cairo_clip(cr);
    }
    for (const Bitmap& b : n.images) draw_bitmap(cr, b);
    for (const Fill& f : n.fills) {
      if (f.path.empty() || f.color.a <= 0) continue;
      set_path(cr, f.path);
      cairo_set_fill_rule(cr, f.even_odd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
      set_source(cr, f.color);
      cairo_fill(cr);
    }
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    for (const Stroke& s : n.strokes) stroke(cr, s);
    for (const Text& t : n.texts) draw_text(cr, t, stats_);
    for (const Node& child : n.children) draw(cr, child);
    cairo_restore(cr);
  }

  // What lies behind the shape (every open layer over the picture), blurred, saturated,
  // then the tint over it, all within the shape.
  void draw_backdrop(cairo_t* cr, const Backdrop& b, const Path& shape) {
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    const double sigma = blur_sigma(b.blur_radius, device_scale(m));
    set_path(cr, shape);
    const Region r = path_region(cr)
                         .grow(static_cast<int>(std::ceil(3 * sigma)) + 1)
                         .intersect({0, 0, width_, height_});
    cairo_new_path(cr);
    const int x0 = r.x0, y0 = r.y0, x1 = r.x1, y1 = r.y1;
    if (x1 > x0 && y1 > y0) {
      Surface behind(x1 - x0, y1 - y0, CAIRO_FORMAT_ARGB32, nullptr);
      for (const Layer& layer : stack_) {
        cairo_set_source_surface(behind.cr, layer.surface, -x0, -y0);
        cairo_paint_with_alpha(behind.cr, layer.alpha);
      }
      blur_surface(behind.surface, sigma, true);
      const double saturation =
          std::isfinite(b.saturation) ? std::clamp(b.saturation, 0.0, 8.0) : 1.0;
      if (cairo_surface_status(behind.surface) == CAIRO_STATUS_SUCCESS)
        saturate(cairo_image_surface_get_data(behind.surface), x1 - x0, y1 - y0,
                 cairo_image_surface_get_stride(behind.surface), saturation);
      cairo_surface_mark_dirty(behind.surface);
      cairo_save(cr);
      set_path(cr, shape);
      cairo_clip(cr);
      cairo_identity_matrix(cr);
      // Replaces what is under the shape in this layer: the blur already holds it.
      cairo_set_source_surface(cr, behind.surface, x0, y0);
      cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
      cairo_paint(cr);
      cairo_restore(cr);
    }
    if (b.tint.a > 0) {
      set_path(cr, shape);
      set_source(cr, b.tint);
      cairo_fill(cr);
    }
  }

  int width_, height_;
  Stats* stats_;
  std::vector<Layer> stack_;
};

int pixels_for(double points, double scale) {
  const double v = points * scale;
  if (!(v > 0) || v > 16384) return 0;
  return static_cast<int>(std::ceil(v - 1e-9));
}

}  // namespace

Rgba Image::pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return {};
  const std::uint32_t p = premultiplied_argb[static_cast<std::size_t>(y) * width + x];
  const double a = (p >> 24) & 0xff;
  if (a == 0) return {};
  return {((p >> 16) & 0xff) / a, ((p >> 8) & 0xff) / a, (p & 0xff) / a, a / 255};
}

Image render(const Node& root, const Options& options, Stats* stats) {
  Image image;
  const int w = pixels_for(options.size.width, options.scale);
  const int h = pixels_for(options.size.height, options.scale);
  if (w == 0 || h == 0) return image;
  Surface picture(w, h, CAIRO_FORMAT_ARGB32, nullptr);
  cairo_set_operator(picture.cr, CAIRO_OPERATOR_SOURCE);
  set_source(picture.cr, options.clear);
  cairo_paint(picture.cr);
  cairo_set_operator(picture.cr, CAIRO_OPERATOR_OVER);
  cairo_scale(picture.cr, options.scale, options.scale);
  cairo_set_tolerance(picture.cr, 0.05);
  Renderer(w, h, stats).draw_root(picture.surface, picture.cr, root);
  cairo_surface_flush(picture.surface);
  image.width = w;
  image.height = h;
  image.premultiplied_argb.resize(static_cast<std::size_t>(w) * h);
  const unsigned char* data = cairo_image_surface_get_data(picture.surface);
  const int stride = cairo_image_surface_get_stride(picture.surface);
  for (int y = 0; y < h; ++y)
    std::memcpy(image.premultiplied_argb.data() + static_cast<std::size_t>(y) * w,
                data + static_cast<std::size_t>(y) * stride, static_cast<std::size_t>(w) * 4);
  return image;
}

bool write_png(const Image& image, const std::string& path, std::string* error) {
  if (image.width <= 0 || image.height <= 0 ||
      image.premultiplied_argb.size() < static_cast<std::size_t>(image.width) * image.height) {
    if (error) *error = "empty image";
    return false;
  }
  Bitmap b{image.width, image.height, image.premultiplied_argb, {}, std::nullopt};
  Surface s(image.width, image.height, CAIRO_FORMAT_ARGB32, nullptr);
  b.frame = {0, 0, static_cast<double>(image.width), static_cast<double>(image.height)};
  cairo_set_operator(s.cr, CAIRO_OPERATOR_SOURCE);
  draw_bitmap(s.cr, b);
  cairo_surface_flush(s.surface);
  const cairo_status_t status = cairo_surface_write_to_png(s.surface, path.c_str());
  if (status != CAIRO_STATUS_SUCCESS) {
    if (error) *error = std::string(cairo_status_to_string(status)) + ": " + path;
    return false;
  }
  return true;
}

Size measure_text(const Text& text, Stats* stats) { return detail::measure_text(text, stats); }

}  // namespace hv::render
