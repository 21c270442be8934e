#include <gtest/gtest.h>

#include <cairo.h>

#include <cmath>
#include <filesystem>
#include <numeric>

#include "platform/render/display_list.hpp"
#include "platform/render/internal.hpp"
#include "tests/render/pixels.hpp"

namespace hv::render {
namespace {

using namespace testing;

const Rgba kRed{1, 0, 0, 1}, kBlue{0, 0, 1, 1}, kWhite{1, 1, 1, 1}, kBlack{0, 0, 0, 1};
const Rgba kClear{};

TEST(RenderFill, BackgroundsLandOnTheirPixelsAtEveryScale) {
  for (double scale : {1.0, 2.0, 3.0}) {
    SCOPED_TRACE(scale);
    Node root = box({0, 0, 40, 30}, kWhite);
    root.children.push_back(box({10, 5, 20, 10}, {0.2, 0.4, 0.6, 1}));
    root.children.push_back(box({10, 20, 20, 5}, {0, 1, 0, 0.5}));  // background with alpha
    const Image image = render(root, picture(40, 30, scale));
    ASSERT_EQ(image.width, static_cast<int>(40 * scale));
    ASSERT_EQ(image.height, static_cast<int>(30 * scale));
    auto at = [&](double x, double y) { return image.pixel(int(x * scale), int(y * scale)); };
    EXPECT_TRUE(near(at(11, 6), {0.2, 0.4, 0.6, 1}));
    EXPECT_TRUE(near(at(29.6, 14.6), {0.2, 0.4, 0.6, 1}));
    EXPECT_TRUE(near(at(30.2, 14), kWhite));
    EXPECT_TRUE(near(at(9.5, 6), kWhite));
    EXPECT_TRUE(near(at(15, 22), {0.5, 1, 0.5, 1}));  // half green over white
    EXPECT_TRUE(near(image.pixel(-1, 0), kClear));
  }
}

TEST(RenderFill, ClearColourShowsWhereNothingIsDrawn) {
  Node root;
  root.bounds = {0, 0, 10, 10};
  root.children.push_back(box({0, 0, 5, 10}, kRed));
  const Image image = render(root, picture(10, 10, 2, {0, 0, 0, 0.5}));
  EXPECT_TRUE(near(image.pixel(15, 5), {0, 0, 0, 0.5}));
  EXPECT_TRUE(near(image.pixel(2, 5), kRed));
}

TEST(RenderFill, UnrotatedEdgesLandOnPixelBoundaries) {
  // A separator of half a point: one whole pixel row at 2x and at 3x, never a faint pair.
  for (double scale : {2.0, 3.0}) {
    SCOPED_TRACE(scale);
    Node root;
    root.bounds = {0, 0, 20, 60};
    root.children.push_back(box({0, 46.5, 20, 0.5}, kBlack));
    const Image image = render(root, picture(20, 60, scale));
    int rows = 0;
    for (int y = 0; y < image.height; ++y) {
      const double a = image.pixel(10, y).a;
      EXPECT_TRUE(a < 0.01 || a > 0.99) << y << ": " << a;
      rows += a > 0.99;
    }
    EXPECT_EQ(rows, 1);
  }
  // Rotated, the edges stay smooth.
  Node root;
  root.bounds = {0, 0, 40, 40};
  Node turned = box({0, 0, 20, 20}, kBlack);
  turned.to_parent = {0.7071, 0.7071, -0.7071, 0.7071, 20, 5};
  root.children.push_back(turned);
  const Image image = render(root, picture(40, 40, 2));
  int partial = 0;
  for (int x = 0; x < image.width; ++x)
    partial += image.pixel(x, 30).a > 0.1 && image.pixel(x, 30).a < 0.9;
  EXPECT_GT(partial, 0);
}

TEST(RenderCorners, RoundedCornersStayTransparentBothCurves) {
  for (bool continuous : {false, true}) {
    SCOPED_TRACE(continuous);
    Node card = box({0, 0, 100, 60}, kBlue);
    card.corner_radius = 16;
    card.continuous_corners = continuous;
    const Image image = render(card, picture(100, 60, 2));
    // Every corner's outermost pixels are empty, the middle of each edge is filled.
    for (auto [x, y] : {std::pair{0, 0}, {199, 0}, {0, 119}, {199, 119}, {3, 3}, {196, 116}})
      EXPECT_LT(image.pixel(x, y).a, 0.05) << x << "," << y;
    for (auto [x, y] : {std::pair{100, 0}, {100, 119}, {0, 60}, {199, 60}, {100, 60}})
      EXPECT_GT(image.pixel(x, y).a, 0.95) << x << "," << y;
    // The four corners are mirror images of one another (up to the rasterizer's sampling).
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 60; ++x) {
        const double a = image.pixel(x, y).a;
        ASSERT_NEAR(image.pixel(199 - x, y).a, a, 0.1) << x << "," << y;
        ASSERT_NEAR(image.pixel(x, 119 - y).a, a, 0.1) << x << "," << y;
        ASSERT_NEAR(image.pixel(199 - x, 119 - y).a, a, 0.1) << x << "," << y;
      }
  }
}

TEST(RenderCorners, ContinuousCornerBendsEarlierThanCircular) {
  auto alpha_along_top = [](bool continuous, int x) {
    Node card = box({0, 0, 100, 100}, kBlue);
    card.corner_radius = 20;
    card.continuous_corners = continuous;
    return render(card, picture(100, 100, 4)).pixel(x, 0).a;
  };
  // 22 points from the corner the circular edge is straight; the continuous one still bends.
  EXPECT_GT(alpha_along_top(false, 88), 0.95);
  EXPECT_LT(alpha_along_top(true, 88), alpha_along_top(false, 88) - 0.1);
}

// The first and last rows of an inset grouped section round only their outer corners.
TEST(RenderCorners, OnlyTheMaskedCornersAreRounded) {
  for (bool continuous : {false, true}) {
    SCOPED_TRACE(continuous);
    Node row = box({0, 0, 100, 44}, kBlue);
    row.corner_radius = 10;
    row.continuous_corners = continuous;
    row.corner_mask = corner_top_left | corner_top_right;
    row.clips = true;
    Node child = box({0, 0, 100, 44}, kBlue);
    row.children.push_back(child);  // a child fills the clipped shape, no more
    const Image image = render(row, picture(100, 44, 2));
    EXPECT_LT(image.pixel(0, 0).a, 0.05);
    EXPECT_LT(image.pixel(199, 0).a, 0.05);
    EXPECT_GT(image.pixel(0, 87).a, 0.95) << "bottom left stays square";
    EXPECT_GT(image.pixel(199, 87).a, 0.95) << "bottom right stays square";
    EXPECT_GT(image.pixel(100, 0).a, 0.95);
  }
  Node none = box({0, 0, 20, 20}, kBlue);
  none.corner_radius = 5;
  none.corner_mask = 0;
  EXPECT_GT(render(none, picture(20, 20, 2)).pixel(0, 0).a, 0.95)
      << "no corner masked: a rectangle";
}

TEST(RenderClip, ClippingFollowsTheRoundedBounds) {
  Node parent = box({10, 10, 40, 40}, kWhite);
  parent.corner_radius = 10;
  parent.clips = true;
  parent.children.push_back(box({-10, -10, 60, 60}, kRed));  // larger than the parent
  Node unclipped = parent;
  unclipped.clips = false;
  const Image clipped_image = render(parent, picture(60, 60, 2));
  const Image open_image = render(unclipped, picture(60, 60, 2));
  EXPECT_TRUE(near(clipped_image.pixel(60, 60), kRed));
  EXPECT_LT(clipped_image.pixel(21, 21).a, 0.05);  // the parent's rounded corner
  EXPECT_LT(clipped_image.pixel(10, 60).a, 0.05);  // outside the parent
  EXPECT_TRUE(near(open_image.pixel(21, 21), kRed));
  EXPECT_TRUE(near(open_image.pixel(10, 60), kRed));
}

TEST(RenderOpacity, ASubtreeFadesAsOneGroup) {
  Node group;
  group.bounds = {0, 0, 40, 20};
  group.opacity = 0.5;
  group.children.push_back(box({0, 0, 30, 20}, kRed));
  group.children.push_back(box({10, 0, 30, 20}, kBlue));  // overlaps the red one
  Node root = box({0, 0, 40, 20}, kWhite);
  root.children.push_back(group);
  const Image image = render(root, picture(40, 20, 1));
  // Where they overlap only the blue shows, at half strength: red does not shine through.
  EXPECT_TRUE(near(image.pixel(20, 10), {0.5, 0.5, 1, 1}));
  EXPECT_TRUE(near(image.pixel(5, 10), {1, 0.5, 0.5, 1}));

  group.opacity = 0;
  root.children = {group};
  EXPECT_TRUE(near(render(root, picture(40, 20, 1)).pixel(20, 10), kWhite));
}

TEST(RenderTransform, NodesMoveScaleAndRotateIntoTheirParents) {
  Node root = box({0, 0, 100, 100}, kWhite);
  Node scaled = box({0, 0, 10, 10}, kRed);
  scaled.to_parent = {2, 0, 0, 2, 20, 30};  // 10x10 drawn as 20x20 at (20, 30)
  Node child = box({5, 5, 5, 5}, kBlue);    // in the scaled node's space
  scaled.children.push_back(child);
  Node rotated = box({0, 0, 20, 10}, kBlack);
  rotated.to_parent = {0, 1, -1, 0, 80, 50};  // 90 degrees clockwise: x goes down
  root.children = {scaled, rotated};
  const Image image = render(root, picture(100, 100, 1));
  EXPECT_TRUE(near(image.pixel(22, 32), kRed));
  EXPECT_TRUE(near(image.pixel(35, 45), kBlue));  // (5..10) * 2 + (20, 30)
  EXPECT_TRUE(near(image.pixel(41, 45), kWhite));
  EXPECT_TRUE(near(image.pixel(75, 65), kBlack));  // rotated: x 70..80, y 50..70
  EXPECT_TRUE(near(image.pixel(85, 55), kWhite));
}

// The shadow's spread, darkness below and above a card on white.
struct ShadowProbe {
  double above, below, far;
};
ShadowProbe probe_shadow(const Shadow& shadow) {
  Node root = box({0, 0, 120, 160}, kWhite);
  Node card = box({20, 40, 80, 80}, kWhite);
  card.corner_radius = 12;
  card.shadow = shadow;
  root.children.push_back(card);
  const Image image = render(root, picture(120, 160, 2));
  return {luminance_over_white(image.pixel(120, 2 * 36)),
          luminance_over_white(image.pixel(120, 2 * 124)), luminance_over_white(image.pixel(2, 2))};
}

TEST(RenderShadow, ShadowFallsBelowTheCardAndFades) {
  Shadow s;
  s.color = kBlack;
  s.opacity = 0.25;
  s.radius = 20;
  s.offset = {0, 8};
  const ShadowProbe p = probe_shadow(s);
  EXPECT_LT(p.below, p.above - 0.02);
  EXPECT_LT(p.below, 0.97);
  EXPECT_GT(p.below, 0.75);  // a quarter-strength shadow never gets darker than that
  EXPECT_NEAR(p.far, 1, 0.005);

  // The same with the shape given as a path, and a shadow of no opacity draws nothing.
  s.path = rounded_rect_path({0, 0, 80, 80}, 12, true);
  const ShadowProbe q = probe_shadow(s);
  EXPECT_NEAR(q.below, p.below, 0.02);
  EXPECT_NEAR(q.above, p.above, 0.02);
  s.opacity = 0;
  EXPECT_NEAR(probe_shadow(s).below, 1, 0.005);
}

TEST(RenderShadow, ShadowWithoutPathFollowsTheContent) {
  // A node with no background: its shadow is that of its child, not of its bounds.
  Node root = box({0, 0, 100, 100}, kWhite);
  Node holder;
  holder.to_parent = {1, 0, 0, 1, 0, 0};
  holder.bounds = {0, 0, 100, 100};
  holder.shadow = Shadow{kBlack, 1, 6, {0, 0}, std::nullopt};
  holder.children.push_back(box({40, 40, 20, 20}, kRed));
  root.children.push_back(holder);
  const Image image = render(root, picture(100, 100, 1));
  EXPECT_LT(luminance_over_white(image.pixel(50, 61)), 0.9);        // just below the child
  EXPECT_NEAR(luminance_over_white(image.pixel(50, 80)), 1, 0.01);  // inside bounds, far from it
  EXPECT_TRUE(near(image.pixel(50, 50), kRed));
}

TEST(RenderBackdrop, MaterialMixesWhatLiesBehindAndStaysInsideItsShape) {
  Node root;
  root.bounds = {0, 0, 100, 60};
  root.children.push_back(box({0, 0, 50, 60}, kRed));
  root.children.push_back(box({50, 0, 50, 60}, kBlue));
  Node glass;
  glass.to_parent = {1, 0, 0, 1, 20, 10};
  glass.bounds = {0, 0, 60, 40};
  glass.corner_radius = 8;
  glass.backdrop = Backdrop{20, {1, 1, 1, 0}, 1};
  root.children.push_back(glass);
  Image image = render(root, picture(100, 60, 2));
  const Rgba middle = image.pixel(100, 60);  // on the red/blue border, inside the glass
  EXPECT_GT(middle.r, 0.3);
  EXPECT_GT(middle.b, 0.3);
  EXPECT_NEAR(middle.a, 1, 0.01);
  EXPECT_TRUE(near(image.pixel(100, 4), kRed, 0.02) || near(image.pixel(100, 4), kBlue, 0.02));
  EXPECT_TRUE(near(image.pixel(41, 21), kRed));         // the glass's corner is not blurred
  EXPECT_TRUE(near(image.pixel(150, 80), kBlue, 0.1));  // far from the border: still blue

  // The tint lies over the blur.
  root.children.back().backdrop->tint = {1, 1, 1, 0.5};
  image = render(root, picture(100, 60, 2));
  EXPECT_TRUE(near(image.pixel(150, 80), {0.5, 0.5, 1, 1}, 0.1));
}

TEST(RenderBackdrop, BackdropInsideATranslucentGroupStillSeesThePicture) {
  Node root;
  root.bounds = {0, 0, 100, 60};
  root.children.push_back(box({0, 0, 50, 60}, kRed));
  root.children.push_back(box({50, 0, 50, 60}, kBlue));
  Node group;
  group.bounds = {0, 0, 100, 60};
  group.opacity = 0.99;
  Node glass;
  glass.bounds = {0, 0, 100, 60};
  glass.backdrop = Backdrop{20, {}, 1};
  group.children.push_back(glass);
  root.children.push_back(group);
  const Rgba middle = render(root, picture(100, 60, 1)).pixel(50, 30);
  EXPECT_GT(middle.r, 0.3);
  EXPECT_GT(middle.b, 0.3);
  EXPECT_GT(middle.a, 0.95);
}

// Rows of the column x with ink.
std::vector<int> inked_rows(const Image& image, int x) {
  std::vector<int> rows;
  for (int y = 0; y < image.height; ++y)
    if (image.pixel(x, y).a > 0.05) rows.push_back(y);
  return rows;
}

TEST(RenderStroke, HairlinesAreOnePixelAtScaleTwoAndThree) {
  for (double scale : {2.0, 3.0}) {
    for (double y : {10.0, 10.25, 10.5}) {
      SCOPED_TRACE(::testing::Message() << "scale " << scale << " y " << y);
      Node root;
      root.bounds = {0, 0, 40, 20};
      root.strokes.push_back(Stroke{
          {{PathElement::move, {{0, y}}}, {PathElement::line, {{40, y}}}}, kBlack, 1 / scale});
      const Image image = render(root, picture(40, 20, scale));
      const std::vector<int> rows = inked_rows(image, 30);
      ASSERT_EQ(rows.size(), 1u);
      EXPECT_GT(image.pixel(30, rows[0]).a, 0.95);
      EXPECT_NEAR(rows[0], y * scale, 1);
    }
  }
  // A vertical hairline of width 0 (one device pixel) likewise, and a thick line is not moved.
  Node root;
  root.bounds = {0, 0, 20, 20};
  root.strokes.push_back(
      Stroke{{{PathElement::move, {{5, 0}}}, {PathElement::line, {{5, 20}}}}, kBlack, 0});
  root.strokes.push_back(
      Stroke{{{PathElement::move, {{0, 10}}}, {PathElement::line, {{20, 10}}}}, kBlack, 2});
  const Image image = render(root, picture(20, 20, 3));
  int columns = 0;
  for (int x = 0; x < image.width; ++x) columns += image.pixel(x, 3).a > 0.05;
  EXPECT_EQ(columns, 1);
  EXPECT_EQ(inked_rows(image, 50).size(), 6u);  // 2 points at scale 3, on pixel boundaries
}

TEST(RenderStroke, CheckMarkPathWithRoundCapsAndJoins) {
  Node root;
  root.bounds = {0, 0, 20, 20};
  Stroke check{{{PathElement::move, {{4, 10}}},
                {PathElement::line, {{8, 14}}},
                {PathElement::line, {{16, 5}}}},
               kBlue,
               2,
               cap_round,
               join_round};
  root.strokes.push_back(check);
  const Image image = render(root, picture(20, 20, 2));
  EXPECT_TRUE(near(image.pixel(16, 28), kBlue, 0.1));  // (8, 14): the joint
  EXPECT_TRUE(near(image.pixel(24, 19), kBlue, 0.1));  // on the long arm
  EXPECT_LT(image.pixel(30, 30).a, 0.05);
  EXPECT_LT(image.pixel(6, 10).a, 0.05);
}

TEST(RenderBitmap, BitmapsScaleIntoTheirFrameAndTemplatesTakeTheTint) {
  Bitmap b;
  b.pixel_width = 2;
  b.pixel_height = 1;
  b.premultiplied_argb = {0xffff0000u, 0x80000080u};  // opaque red, half-transparent blue
  b.frame = {0, 0, 20, 10};
  Node root;
  root.bounds = {0, 0, 20, 10};
  root.images.push_back(b);
  Image image = render(root, picture(20, 10, 1));
  EXPECT_TRUE(near(image.pixel(2, 5), kRed));
  EXPECT_TRUE(near(image.pixel(18, 5), {0, 0, 1, 0.5}, 0.03));
  root.images[0].template_tint = Rgba{0, 1, 0, 1};
  image = render(root, picture(20, 10, 1));
  EXPECT_TRUE(near(image.pixel(2, 5), {0, 1, 0, 1}));
  EXPECT_TRUE(near(image.pixel(18, 5), {0, 1, 0, 0.5}, 0.03));

  root.images[0].premultiplied_argb.resize(1);  // fewer pixels than claimed: not drawn
  EXPECT_LT(render(root, picture(20, 10, 1)).pixel(2, 5).a, 0.05);
}

TEST(RenderBlur, BoxesApproximateTheGaussiansSpread) {
  for (double sigma : {2.0, 5.0, 12.0}) {
    SCOPED_TRACE(sigma);
    // A vertical line one pixel wide: with the edges repeated, the vertical passes leave it
    // as it is and each row shows the horizontal spread.
    const int w = 201, h = 9;
    std::vector<std::uint8_t> data(w * h, 0);
    for (int y = 0; y < h; ++y) data[y * w + w / 2] = 255;
    detail::blur(data.data(), w, h, w, 1, sigma, true);
    const std::uint8_t* row = data.data() + 4 * w;
    double mass = 0, variance = 0;
    for (int i = 0; i < w; ++i) {
      mass += row[i];
      variance += row[i] * double(i - w / 2) * (i - w / 2);
    }
    variance /= mass;
    EXPECT_NEAR(std::sqrt(variance), sigma, sigma * 0.15);
    EXPECT_NEAR(mass, 255, 255 * 0.1);
    EXPECT_GE(row[w / 2], row[w / 2 + 1]);
    EXPECT_EQ(row[w / 2 + 1], row[w / 2 - 1]);
  }
}

TEST(RenderPng, WrittenFileReadsBackAndFailuresAreReported) {
  Node root = box({0, 0, 8, 4}, {0, 0.5, 1, 1});
  const Image image = render(root, picture(8, 4, 1));
  const auto dir =
      std::filesystem::temp_directory_path() / ("hv-render-test-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "box.png").string();
  std::string error;
  ASSERT_TRUE(write_png(image, path, &error)) << error;
  cairo_surface_t* back = cairo_image_surface_create_from_png(path.c_str());
  ASSERT_EQ(cairo_surface_status(back), CAIRO_STATUS_SUCCESS);
  EXPECT_EQ(cairo_image_surface_get_width(back), 8);
  const auto* px = reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(back));
  EXPECT_EQ(px[0], image.premultiplied_argb[0]);
  cairo_surface_destroy(back);

  EXPECT_FALSE(write_png(image, (dir / "missing" / "box.png").string(), &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(write_png(Image{}, path, &error));
  std::filesystem::remove_all(dir);
}

TEST(RenderPng, EmptyOrAbsurdSizesGiveAnEmptyImage) {
  Node root = box({0, 0, 8, 4}, kRed);
  EXPECT_EQ(render(root, picture(0, 4, 2)).width, 0);
  EXPECT_EQ(render(root, picture(8, -1, 2)).width, 0);
  EXPECT_EQ(render(root, picture(1e9, 4, 2)).width, 0);
  EXPECT_EQ(render(root, picture(NAN, 4, 2)).width, 0);
}

TEST(RenderInput, ValuesThatAreNotNumbersOrAbsurdDrawNothingAndNeverCrash) {
  Node root = box({0, 0, 40, 40}, kWhite);
  Node bad = box({0, 0, 20, 20}, kRed);
  bad.to_parent.tx = NAN;
  root.children.push_back(bad);
  Node wide = box({0, 0, 20, 20}, kRed);
  wide.bounds.width = INFINITY;
  root.children.push_back(wide);
  Node shadowed = box({5, 5, 10, 10}, kBlue);
  shadowed.shadow =
      Shadow{kBlack, 1, NAN, {NAN, 1e300}, rounded_rect_path({0, 0, NAN, 10}, 2, true)};
  shadowed.backdrop = Backdrop{1e12, {1, 1, 1, 0.1}, NAN};
  root.children.push_back(shadowed);
  Text t;
  t.utf8 = "防止温控降频";
  t.frame = {0, 0, NAN, 40};
  t.point_size = 1e9;
  root.texts.push_back(t);
  t.point_size = NAN;
  root.texts.push_back(t);
  Stats stats;
  const Image image = render(root, picture(40, 40, 2), &stats);
  EXPECT_TRUE(near(image.pixel(60, 70), kWhite));  // nothing red anywhere it could be
  EXPECT_TRUE(near(image.pixel(2, 2), kWhite));
  EXPECT_EQ(stats.texts, 0);
  EXPECT_EQ(measure_text(t).width, 0);
}

}  // namespace
}  // namespace hv::render
