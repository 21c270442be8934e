// An offscreen drawing surface, what an image context (UIGraphicsBeginImageContextWithOptions
// and the CGContext calls made inside it) draws into. Coordinates are points, y downwards,
// origin top left; the surface has ceil(points * scale) pixels each way.
#pragma once

#include <memory>

#include "platform/render/display_list.hpp"

namespace hv::render {

class Canvas {
public:
  Canvas(Size points, bool opaque, double scale);
  ~Canvas();
  Canvas(Canvas&&) noexcept;
  Canvas& operator=(Canvas&&) noexcept;
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  Size size() const;
  double scale() const;
  bool opaque() const;

  // The current transformation, as CGContextSaveGState / RestoreGState / ConcatCTM.
  void save();
  void restore();
  void concat(const Affine& t);
  Affine transform() const;

  void stroke(const Stroke& s);
  void fill(const Path& path, Rgba color, bool even_odd = false);
  void clear(const Rect& r);
  void draw_bitmap(const Bitmap& b);
  void draw_text(const Text& t, Stats* stats = nullptr);

  // The pixels so far, framed at (0, 0, size): what UIGraphicsGetImageFromCurrentImageContext
  // gives.
  Bitmap snapshot() const;

private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace hv::render
