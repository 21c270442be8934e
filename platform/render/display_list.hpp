// What a view tree shows, as plain values: the UIKit stand-ins build it from their views
// (dynamic colours already resolved for the chosen appearance, animated properties at the
// host clock's time, fonts and images looked up) and the renderer draws it with cairo and
// pango. Nothing here knows of Objective-C.
//
// Coordinates are points, y growing downwards as in UIKit. Each node has its own
// coordinate space (its bounds); `to_parent` maps that space into the parent's. The root's
// parent space is the picture, of `Options::size` points at `Options::scale` pixels a point.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hv::render {

// Components 0..1, not premultiplied.
struct Rgba {
  double r = 0, g = 0, b = 0, a = 0;
};

struct Point {
  double x = 0, y = 0;
};

struct Size {
  double width = 0, height = 0;
};

struct Rect {
  double x = 0, y = 0, width = 0, height = 0;
};

// CGAffineTransform's layout: x' = a*x + c*y + tx, y' = b*x + d*y + ty.
struct Affine {
  double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
};

// A path as CGPath holds it. `move` and `line` use points[0]; `quad` a control point and
// the end (points[0..1]); `cubic` two control points and the end (points[0..2]).
struct PathElement {
  enum Kind { move, line, quad, cubic, close } kind = move;
  Point points[3];
};
using Path = std::vector<PathElement>;

// CALayer's shadow: drawn under the node, the shape being `path` when given (in the node's
// coordinates), else the node's rounded bounds. The alpha is color.a * opacity. `radius` is
// CALayer's shadowRadius (a blur close to a Gaussian of sigma radius / 2); `offset` moves
// the shadow in the node's coordinates (positive height is downwards).
struct Shadow {
  Rgba color{0, 0, 0, 1};
  double opacity = 0;
  double radius = 3;
  Size offset{0, -3};
  std::optional<Path> path;
};

// A material: what lies behind the node, within its rounded bounds, is blurred
// (`blur_radius` points, as a shadow's radius), its saturation scaled, then `tint` is
// laid over it.
struct Backdrop {
  double blur_radius = 0;
  Rgba tint;
  double saturation = 1;
};

enum TextAlignment { align_left = 0, align_center = 1, align_right = 2 };

// The corners of a rectangle, as CACornerMask names them (y growing downwards: "min y" is
// the top).
enum Corner : unsigned {
  corner_top_left = 1,      // kCALayerMinXMinYCorner
  corner_top_right = 2,     // kCALayerMaxXMinYCorner
  corner_bottom_left = 4,   // kCALayerMinXMaxYCorner
  corner_bottom_right = 8,  // kCALayerMaxXMaxYCorner
};
inline constexpr unsigned kAllCorners = 15;

// Text laid out in `frame` (node coordinates), centred vertically as UILabel does.
// `family` may be a comma-separated list; empty means the system font. `weight` is
// 100..900 (400 regular, 700 bold). `max_lines` 0 wraps without limit; a text cut short by
// `max_lines` (or a single line too wide for the frame) ends in an ellipsis.
struct Text {
  std::string utf8;
  std::string family;
  double point_size = 17;
  int weight = 400;
  Rgba color{0, 0, 0, 1};
  int alignment = align_left;
  Rect frame;
  int max_lines = 1;
};

// CGLineCap and CGLineJoin values.
enum LineCap { cap_butt = 0, cap_round = 1, cap_square = 2 };
enum LineJoin { join_miter = 0, join_round = 1, join_bevel = 2 };

// A stroked path in node coordinates. A width of 0 draws one device pixel; lines of one
// device pixel or thinner along the axes are moved onto pixel centres so they stay sharp.
struct Stroke {
  Path path;
  Rgba color{0, 0, 0, 1};
  double width = 1;
  int cap = cap_butt;
  int join = join_miter;
};

// A filled path in node coordinates (non-zero winding unless even_odd).
struct Fill {
  Path path;
  Rgba color{0, 0, 0, 1};
  bool even_odd = false;
};

// Pixels (cairo's ARGB32: premultiplied, native-endian 0xAARRGGBB), drawn scaled into
// `frame`. With `template_tint` only the pixels' alpha is used, filled with the tint.
struct Bitmap {
  int pixel_width = 0, pixel_height = 0;
  std::vector<std::uint32_t> premultiplied_argb;
  Rect frame;
  std::optional<Rgba> template_tint;
};

// One view (or layer). Drawn in this order: shadow, backdrop, background, images, fills,
// strokes, texts, children; `clips` clips the contents and the children (not the shadow)
// to the rounded bounds; `opacity` applies to the node and its subtree as one group.
struct Node {
  Affine to_parent;
  Rect bounds;
  double opacity = 1;
  std::optional<Rgba> background;
  double corner_radius = 0;
  bool continuous_corners = false;
  unsigned corner_mask = kAllCorners;  // which corners corner_radius rounds
  bool clips = false;
  std::optional<Shadow> shadow;
  std::optional<Backdrop> backdrop;
  std::vector<Bitmap> images;
  std::vector<Fill> fills;
  std::vector<Stroke> strokes;
  std::vector<Text> texts;
  std::vector<Node> children;
};

struct Options {
  double scale = 2;
  Size size;   // points; the picture is ceil(size * scale) pixels
  Rgba clear;  // what the picture starts as
};

struct Stats {
  // Glyphs of non-space characters that no font had (drawn as boxes or nothing).
  int unknown_glyphs = 0;
  int texts = 0;
};

struct Image {
  int width = 0, height = 0;
  std::vector<std::uint32_t> premultiplied_argb;  // row-major, cairo's ARGB32
  // The pixel's colour, un-premultiplied; transparent black outside the picture.
  Rgba pixel(int x, int y) const;
};

Image render(const Node& root, const Options& options, Stats* stats = nullptr);
bool write_png(const Image& image, const std::string& path, std::string* error = nullptr);

// The size (points) the text takes: one line unwrapped when max_lines is 1 or the frame
// has no width, else wrapped to frame.width.
Size measure_text(const Text& text, Stats* stats = nullptr);

// Paths for the common shapes. Continuous corners follow iOS's smoother curve (see path.cpp);
// `corners` (CACornerMask's bits) names the corners that are rounded, the others stay square.
Path rect_path(const Rect& r);
Path rounded_rect_path(const Rect& r, double radius, bool continuous,
                       unsigned corners = kAllCorners);
Path ellipse_path(const Rect& r);

// The thin system material (UIBlurEffectStyleSystemThinMaterial) in the light or dark
// appearance; see materials.cpp for how close it is.
Backdrop system_thin_material(bool dark);

Affine multiply(const Affine& first, const Affine& then);
Point apply(const Affine& t, Point p);

}  // namespace hv::render
