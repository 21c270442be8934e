#include <gtest/gtest.h>

#include "platform/render/canvas.hpp"
#include "tests/render/pixels.hpp"

namespace hv::render {
namespace {

using namespace testing;

Rgba at(const Bitmap& b, int x, int y) {
  Image image{b.pixel_width, b.pixel_height, b.premultiplied_argb};
  return image.pixel(x, y);
}

TEST(RenderCanvas, StrokesAndFillsInPointsLandAtTheScale) {
  Canvas canvas({10, 6}, false, 3);
  EXPECT_EQ(canvas.size().width, 10);
  canvas.fill(rect_path({0, 0, 5, 6}), {0, 0, 1, 1});
  canvas.stroke(
      Stroke{{{PathElement::move, {{6, 3}}}, {PathElement::line, {{10, 3}}}}, {1, 0, 0, 1}, 2});
  const Bitmap b = canvas.snapshot();
  EXPECT_EQ(b.pixel_width, 30);
  EXPECT_EQ(b.pixel_height, 18);
  EXPECT_EQ(b.frame.width, 10);
  EXPECT_TRUE(near(at(b, 7, 9), {0, 0, 1, 1}));
  EXPECT_TRUE(near(at(b, 24, 9), {1, 0, 0, 1}));
  EXPECT_LT(at(b, 24, 2).a, 0.05);  // a transparent context starts empty
  EXPECT_LT(at(b, 16, 9).a, 0.05);
}

TEST(RenderCanvas, StateStackAndTransforms) {
  Canvas canvas({20, 20}, true, 2);
  EXPECT_TRUE(near(at(canvas.snapshot(), 1, 1), {0, 0, 0, 1}));  // opaque starts black
  canvas.save();
  canvas.concat({1, 0, 0, 1, 10, 10});
  EXPECT_DOUBLE_EQ(canvas.transform().tx, 10);
  canvas.fill(rect_path({0, 0, 5, 5}), {1, 1, 1, 1});
  canvas.restore();
  EXPECT_DOUBLE_EQ(canvas.transform().tx, 0);
  canvas.fill(rect_path({0, 0, 2, 2}), {0, 1, 0, 1});
  const Bitmap b = canvas.snapshot();
  EXPECT_TRUE(near(at(b, 24, 24), {1, 1, 1, 1}));
  EXPECT_TRUE(near(at(b, 1, 1), {0, 1, 0, 1}));
  EXPECT_TRUE(near(at(b, 14, 14), {0, 0, 0, 1}));
}

TEST(RenderCanvas, SnapshotDrawsBackAsATemplateImage) {
  // What UIBezierPath stroking into an image context gives, used as a template glyph.
  Canvas canvas({10, 10}, false, 2);
  canvas.stroke(
      Stroke{{{PathElement::move, {{0, 5}}}, {PathElement::line, {{10, 5}}}}, {0, 0, 0, 1}, 4});
  Bitmap glyph = canvas.snapshot();
  glyph.frame = {5, 5, 10, 10};
  glyph.template_tint = Rgba{1, 0.5, 0, 1};
  Node root;
  root.bounds = {0, 0, 20, 20};
  root.images.push_back(glyph);
  const Image image = render(root, picture(20, 20, 2));
  EXPECT_TRUE(near(image.pixel(20, 20), {1, 0.5, 0, 1}));
  EXPECT_LT(image.pixel(20, 12).a, 0.05);
}

TEST(RenderCanvas, DegenerateSizesStillTakeDrawing) {
  Canvas canvas({0, 0}, false, 0);
  canvas.fill(rect_path({0, 0, 5, 5}), {1, 0, 0, 1});
  canvas.clear({0, 0, 5, 5});
  EXPECT_EQ(canvas.snapshot().pixel_width, 1);
  EXPECT_EQ(canvas.scale(), 1);
}

}  // namespace
}  // namespace hv::render
