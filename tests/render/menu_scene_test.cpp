// The demo picture, built with the UIKit stand-ins, in both appearances: chosen pixels of
// the menu card, its rows, check mark, hairlines and shadow, and every title's glyphs found.
#include <gtest/gtest.h>

#include "common/objc/ref.hpp"
#include "common/ui/uikit.hpp"
#include "tests/render/menu_scene.hpp"
#include "tests/render/pixels.hpp"

namespace hv::render {
namespace {

using namespace testing;
using demo::kMenu;
using demo::kRow;

constexpr double kScale = 2;

struct Picture {
  Image image;
  Stats stats;
  Rgba at(double x, double y) const { return image.pixel(int(x * kScale), int(y * kScale)); }
  // Pixels in the point rectangle whose colour passes `keep`.
  template <typename F>
  int count(Rect r, F keep) const {
    int n = 0;
    for (int y = int(r.y * kScale); y < int((r.y + r.height) * kScale); ++y)
      for (int x = int(r.x * kScale); x < int((r.x + r.width) * kScale); ++x)
        n += keep(image.pixel(x, y));
    return n;
  }
};

namespace ui = halvernic::ui;

// The scene is built once in the light appearance and then switched, as a device would.
Picture draw(bool dark) {
  objc::AutoreleasePool pool;
  hv::uikit::Host host(CGSizeMake(demo::kPicture.width, demo::kPicture.height),
                       ui::UIUserInterfaceStyleLight);
  demo::build_menu_scene(host);
  if (dark) host.set_appearance(ui::UIUserInterfaceStyleDark);
  Picture p;
  p.image = host.render_image(kScale, &p.stats);
  return p;
}

class MenuScene : public ::testing::TestWithParam<bool> {};

TEST_P(MenuScene, EveryTitleFindsItsGlyphs) {
  const Picture p = draw(GetParam());
  EXPECT_EQ(p.stats.unknown_glyphs, 0);
  EXPECT_EQ(p.stats.texts, 13);
}

TEST_P(MenuScene, CardTakesTheMaterialOverItsBackground) {
  const bool dark = GetParam();
  const Picture p = draw(dark);
  // Page, card (its background blurred under the thin material), a quiet spot of row 0.
  const double page = dark ? 0 : 0.949, card = dark ? 0.133 : 0.972;
  EXPECT_TRUE(near(p.at(4, 110), {page, page, dark ? 0 : 0.969, 1}));
  EXPECT_TRUE(near(p.at(kMenu.x + 230, kMenu.y + 10), {card, card, card, 1}, 0.03));
}

TEST_P(MenuScene, RowTitlesCheckMarkAndHairlines) {
  const bool dark = GetParam();
  const Picture p = draw(dark);
  // Title ink in the title colour inside row 0, none in the checkmark's column of row 0.
  const Rect title{kMenu.x + 18, kMenu.y, 120, kRow};
  const int ink = p.count(
      title, [&](Rgba c) { return dark ? c.r > 0.9 && c.g > 0.9 : c.r < 0.1 && c.g < 0.1; });
  EXPECT_GT(ink, 150);
  const Rgba blue = dark ? Rgba{0.4, 0.7, 1, 1} : Rgba{0, 0.36, 1, 1};
  auto is_check = [&](Rgba c) { return near(c, blue, 0.08); };
  const Rect check_in_row1{kMenu.x + kMenu.width - 39, kMenu.y + kRow, 22, kRow};
  EXPECT_GT(p.count(check_in_row1, is_check), 40);
  EXPECT_EQ(p.count({check_in_row1.x, kMenu.y, 22, kRow}, is_check), 0);
  EXPECT_EQ(p.count({check_in_row1.x, kMenu.y + 2 * kRow, 22, kRow}, is_check), 0);

  // Two hairlines, each one pixel high at the scale; none under the last row.
  const int x = int((kMenu.x + 200) * kScale);
  auto lum = [&](int y) { return luminance_over_white(p.image.pixel(x, y)); };
  for (int i = 1; i <= 2; ++i) {
    const int line = int((kMenu.y + i * kRow - 0.5) * kScale);
    const double card = lum(line - 4);
    EXPECT_GT(std::fabs(lum(line) - card), 0.02) << i;
    EXPECT_NEAR(lum(line - 1), card, 0.01) << i;
    EXPECT_NEAR(lum(line + 1), card, 0.01) << i;
  }
  const int bottom = int((kMenu.y + 3 * kRow - 0.5) * kScale);
  EXPECT_NEAR(lum(bottom), lum(bottom - 4), 0.01);
}

TEST_P(MenuScene, ShadowDarkensTheCellsBelowTheCard) {
  const Picture p = draw(GetParam());
  if (GetParam()) {
    // Black page: no shadow shows; the dark card still stands out from it.
    EXPECT_GT(luminance_over_white(p.at(kMenu.x + 128, kMenu.y + 20)), 0.1);
    return;
  }
  const double below = luminance_over_white(p.at(kMenu.x + 128, kMenu.y + kMenu.height + 6));
  const double far = luminance_over_white(p.at(25, kMenu.y + kMenu.height + 6));  // same cell
  EXPECT_LT(below, far - 0.02);
  EXPECT_GT(below, 0.75);
}

INSTANTIATE_TEST_SUITE_P(Appearance, MenuScene, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Dark" : "Light"; });

TEST(MenuSceneCard, OpeningAnimationIsDrawnAtTheClocksTime) {
  // The menu fades in from alpha 0 and scale 0.96 over 0.16 s, as the pane opens it.
  objc::AutoreleasePool pool;
  hv::uikit::Host host(CGSizeMake(demo::kPicture.width, demo::kPicture.height),
                       ui::UIUserInterfaceStyleDark);
  id container = demo::build_menu_scene(host);
  ui::UIView::setAlpha.send(container, 0.0);
  ui::UIView::setTransform.send(container, CGAffineTransformMakeScale(0.96, 0.96));
  ui::UIView::animateWithDuration_delay_options_animations_completion.send(
      ui::kUIView, 0.16, 0.0, ui::UIViewAnimationOptionCurveEaseOut,
      ^{
        ui::UIView::setAlpha.send(container, 1.0);
        ui::UIView::setTransform.send(container, CGAffineTransformIdentity);
      },
      nullptr);
  // A quiet spot of row 0 on the black page: black, then part-way, then the card.
  auto card_at = [&] {
    return host.render_image(1).pixel(int(kMenu.x + 230), int(kMenu.y + 10)).r;
  };
  const double start = card_at();
  hv::uikit::advance(0.06);
  const double middle = card_at();
  hv::uikit::advance(0.2);
  const double end = card_at();
  EXPECT_LT(start, 0.02);
  EXPECT_GT(middle, start + 0.02);
  EXPECT_LT(middle, end - 0.01);
  EXPECT_NEAR(end, 0.133, 0.03);
}

TEST(MenuSceneCard, CardCornersAreLeftTransparent) {
  // The card alone, out of its shadow container: its continuous corners stay empty.
  objc::AutoreleasePool pool;
  hv::uikit::Host host(CGSizeMake(demo::kPicture.width, demo::kPicture.height),
                       ui::UIUserInterfaceStyleLight);
  demo::build_menu_scene(host);
  Node scene = host.display_list();
  Node card = scene.children.back().children.at(0);
  card.to_parent = {};
  const Image image = render(card, picture(kMenu.width, kMenu.height, kScale));
  EXPECT_LT(image.pixel(1, 1).a, 0.05);
  EXPECT_LT(image.pixel(image.width - 2, image.height - 2).a, 0.05);
  EXPECT_GT(image.pixel(image.width / 2, 6).a, 0.9);
}

}  // namespace
}  // namespace hv::render
