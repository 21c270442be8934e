// Helpers for checking chosen pixels of rendered pictures.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <utility>

#include "platform/render/display_list.hpp"

namespace hv::render::testing {

inline Node box(Rect frame, Rgba color) {
  Node n;
  n.to_parent = {1, 0, 0, 1, frame.x, frame.y};
  n.bounds = {0, 0, frame.width, frame.height};
  n.background = color;
  return n;
}

inline Options picture(double width, double height, double scale, Rgba clear = {}) {
  Options o;
  o.size = {width, height};
  o.scale = scale;
  o.clear = clear;
  return o;
}

inline ::testing::AssertionResult near(Rgba actual, Rgba expected, double tolerance = 0.02) {
  const double d = std::max({std::fabs(actual.r - expected.r), std::fabs(actual.g - expected.g),
                             std::fabs(actual.b - expected.b), std::fabs(actual.a - expected.a)});
  if (d <= tolerance) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "(" << actual.r << ", " << actual.g << ", " << actual.b << ", " << actual.a
         << ") is not (" << expected.r << ", " << expected.g << ", " << expected.b << ", "
         << expected.a << ")";
}

// Perceived darkness of a pixel laid over white.
inline double luminance_over_white(Rgba p) {
  auto over = [&](double c) { return c * p.a + (1 - p.a); };
  return 0.2126 * over(p.r) + 0.7152 * over(p.g) + 0.0722 * over(p.b);
}

// Pixels of the rectangle [x0, x1) x [y0, y1) with any alpha at all.
inline int inked(const Image& image, int x0, int y0, int x1, int y1) {
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      if (image.pixel(x, y).a > 0.05) ++n;
  return n;
}

// The box [x0, x1) x [y0, y1) of every inked pixel; x0 > x1 when none.
struct Ink {
  int x0, y0, x1, y1;
};
inline Ink ink_box(const Image& image) {
  Ink box{image.width, image.height, 0, 0};
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x)
      if (image.pixel(x, y).a > 0.05) {
        box.x0 = std::min(box.x0, x), box.y0 = std::min(box.y0, y);
        box.x1 = std::max(box.x1, x + 1), box.y1 = std::max(box.y1, y + 1);
      }
  return box;
}

}  // namespace hv::render::testing
