// Paths of the common shapes, and the affine arithmetic the renderer and the stand-ins share.
#include <algorithm>
#include <cmath>

#include "platform/render/display_list.hpp"

namespace hv::render {

namespace {

PathElement move_to(double x, double y) { return {PathElement::move, {{x, y}, {}, {}}}; }
PathElement line_to(double x, double y) { return {PathElement::line, {{x, y}, {}, {}}}; }
PathElement cubic_to(Point c1, Point c2, Point end) { return {PathElement::cubic, {c1, c2, end}}; }
PathElement close_path() { return {PathElement::close, {}}; }

// The circular arc's cubic handle for a quarter circle: 4/3 * (sqrt(2) - 1).
constexpr double kCircleHandle = 0.5522847498;

}  // namespace

Path rect_path(const Rect& r) {
  return {move_to(r.x, r.y), line_to(r.x + r.width, r.y), line_to(r.x + r.width, r.y + r.height),
          line_to(r.x, r.y + r.height), close_path()};
}

// Circular corners are one quarter-circle cubic each. Continuous corners approximate iOS's
// squircle the way it is commonly reconstructed: each corner starts its bend earlier, at
// 1.528 * radius from the corner along both edges, and is drawn as three cubics, so the
// curvature rises from zero instead of jumping at the tangent point.
// The extent is capped by half the shorter side; when the rectangle is too small for the
// longer transition the corner falls back to the circular one.
Path rounded_rect_path(const Rect& r, double radius, bool continuous, unsigned corners) {
  const double limit = std::min(r.width, r.height) / 2;
  radius = std::clamp(radius, 0.0, std::max(limit, 0.0));
  corners &= kAllCorners;
  if (radius <= 0 || corners == 0) return rect_path(r);
  const double x0 = r.x, y0 = r.y, x1 = r.x + r.width, y1 = r.y + r.height;

  if (!continuous || radius * 1.528 > limit) {
    const double h = radius * (1 - kCircleHandle);
    Path p;
    // Each corner in turn, clockwise from the top right, entered along one edge and left
    // along the next; a corner that is not rounded is the corner point itself.
    auto corner = [&](unsigned bit, Point c, Point in, Point out) {
      if (!(corners & bit)) {
        p.push_back(p.empty() ? move_to(c.x, c.y) : line_to(c.x, c.y));
        return;
      }
      const Point start{c.x - radius * in.x, c.y - radius * in.y};
      p.push_back(p.empty() ? move_to(start.x, start.y) : line_to(start.x, start.y));
      p.push_back(cubic_to({c.x - h * in.x, c.y - h * in.y}, {c.x + h * out.x, c.y + h * out.y},
                           {c.x + radius * out.x, c.y + radius * out.y}));
    };
    corner(corner_top_right, {x1, y0}, {1, 0}, {0, 1});
    corner(corner_bottom_right, {x1, y1}, {0, 1}, {-1, 0});
    corner(corner_bottom_left, {x0, y1}, {-1, 0}, {0, -1});
    corner(corner_top_left, {x0, y0}, {0, -1}, {1, 0});
    p.push_back(close_path());
    return p;
  }

  // Each corner as three cubics, in (u, v): u back along the edge that enters the corner,
  // v forward along the edge that leaves it, as fractions of the radius (the widely used
  // reconstruction of iOS 7's rounded-rectangle path). Symmetric in u and v, so the path
  // is the same whichever way it is walked.
  static constexpr double kCorner[10][2] = {{1.52866483, 0},          {1.08849296, 0},
                                            {0.86840694, 0},          {0.63149399, 0.07491100},
                                            {0.37282383, 0.16906191}, {0.16906191, 0.37282383},
                                            {0.07491100, 0.63149399}, {0, 0.86840694},
                                            {0, 1.08849296},          {0, 1.52866483}};
  Path p;
  // Corner point and the unit directions of travel in and out, walking clockwise on screen.
  auto corner = [&](unsigned bit, Point c, Point in, Point out) {
    if (!(corners & bit)) {
      p.push_back(p.empty() ? move_to(c.x, c.y) : line_to(c.x, c.y));
      return;
    }
    auto at = [&](int i) {
      const double u = kCorner[i][0] * radius, v = kCorner[i][1] * radius;
      return Point{c.x - u * in.x + v * out.x, c.y - u * in.y + v * out.y};
    };
    const Point s = at(0);
    p.push_back(p.empty() ? move_to(s.x, s.y) : line_to(s.x, s.y));
    for (int i = 1; i < 10; i += 3) p.push_back(cubic_to(at(i), at(i + 1), at(i + 2)));
  };
  corner(corner_top_right, {x1, y0}, {1, 0}, {0, 1});
  corner(corner_bottom_right, {x1, y1}, {0, 1}, {-1, 0});
  corner(corner_bottom_left, {x0, y1}, {-1, 0}, {0, -1});
  corner(corner_top_left, {x0, y0}, {0, -1}, {1, 0});
  p.push_back(close_path());
  return p;
}

Path ellipse_path(const Rect& r) {
  const double cx = r.x + r.width / 2, cy = r.y + r.height / 2;
  const double rx = r.width / 2, ry = r.height / 2;
  const double hx = rx * kCircleHandle, hy = ry * kCircleHandle;
  return {move_to(cx + rx, cy),
          cubic_to({cx + rx, cy + hy}, {cx + hx, cy + ry}, {cx, cy + ry}),
          cubic_to({cx - hx, cy + ry}, {cx - rx, cy + hy}, {cx - rx, cy}),
          cubic_to({cx - rx, cy - hy}, {cx - hx, cy - ry}, {cx, cy - ry}),
          cubic_to({cx + hx, cy - ry}, {cx + rx, cy - hy}, {cx + rx, cy}),
          close_path()};
}

Affine multiply(const Affine& t1, const Affine& t2) {
  // first t1, then t2 (CGAffineTransformConcat's order)
  return {t1.a * t2.a + t1.b * t2.c,           t1.a * t2.b + t1.b * t2.d,
          t1.c * t2.a + t1.d * t2.c,           t1.c * t2.b + t1.d * t2.d,
          t1.tx * t2.a + t1.ty * t2.c + t2.tx, t1.tx * t2.b + t1.ty * t2.d + t2.ty};
}

Point apply(const Affine& t, Point p) {
  return {t.a * p.x + t.c * p.y + t.tx, t.b * p.x + t.d * p.y + t.ty};
}

}  // namespace hv::render
