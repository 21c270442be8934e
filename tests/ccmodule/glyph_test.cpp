// The tile's glyph: the system symbol when the platform has it, else the drawn pulse line at
// the screen's scale (pixels checked on the line and off it, at scales 2 and 3).
#include <gtest/gtest.h>

#include <cmath>

#include "hvplatform/controlcenter_testing.h"
#include "hvplatform/uikit_host.hpp"
#include "tests/ccmodule/module_fixture.hpp"

namespace {

namespace ui = halvernic::ui;
namespace button = ui::CCUIButtonModuleViewController;
using hv_test::ModuleTest;

// Points on the polyline (4,23) (14,23) (19,10) (25,34) (30,20) (38,20), one per segment,
// and points well away from it (more than the line's half width of 1.5).
constexpr CGPoint kOnLine[] = {{9, 23},  {16.5, 16.5}, {22, 22},  {27.5, 27},
                               {34, 20}, {4.5, 23},    {37.5, 20}};
constexpr CGPoint kOffLine[] = {{9, 30},  {9, 16}, {34, 27}, {34, 13}, {1, 23},
                                {41, 20}, {21, 5}, {21, 39}, {3, 3}};

class Glyph : public ModuleTest {
protected:
  void TearDown() override {
    hv::uikit::set_main_screen_scale(3);
    hv::uikit::set_known_symbols({});
    ModuleTest::TearDown();
  }
};

TEST_F(Glyph, WithoutTheSymbolThePulseLineIsDrawnAtTheScreensScale) {
  hv::uikit::set_known_symbols({});
  for (double scale : {2.0, 3.0}) {
    objc::AutoreleasePool pool;
    hv::uikit::set_main_screen_scale(scale);
    module_ = objc::Ref::adopt(
        ui::NSObject::init.send(ui::NSObject::alloc.send(hv_test::module_class())));
    controller_ = ui::CCUIContentModule::contentViewController.send(module_.get());
    present();
    id glyph = button::glyphImage.send(controller_);
    ASSERT_NE(glyph, nullptr);
    EXPECT_FALSE(objc::fromBool(ui::UIImage::isSymbolImage.send(glyph)));
    const CGSize size = ui::UIImage::size.send(glyph);
    EXPECT_EQ(size.width, 42);
    EXPECT_EQ(size.height, 42);
    EXPECT_EQ(ui::UIImage::scale.send(glyph), scale);

    objc::Ref view = objc::Ref::adopt(
        ui::UIImageView::initWithImage.send(ui::NSObject::alloc.send(ui::kUIImageView), glyph));
    ui::UIView::setFrame.send(view.get(), CGRect{{0, 0}, {42, 42}});
    hv::render::Options options;
    options.scale = scale;
    options.size = {42, 42};
    options.clear = {0, 0, 0, 1};
    const hv::render::Image picture =
        hv::render::render(hv::uikit::display_list_of(view.get()), options);
    ASSERT_EQ(picture.width, static_cast<int>(42 * scale));
    for (const CGPoint& p : kOnLine) {
      const hv::render::Rgba pixel =
          picture.pixel(static_cast<int>(p.x * scale), static_cast<int>(p.y * scale));
      EXPECT_GT(pixel.r, 0.9) << "on the line at (" << p.x << ", " << p.y << "), scale " << scale;
      EXPECT_GT(pixel.g, 0.9);
      EXPECT_GT(pixel.b, 0.9);
    }
    for (const CGPoint& p : kOffLine) {
      const hv::render::Rgba pixel =
          picture.pixel(static_cast<int>(p.x * scale), static_cast<int>(p.y * scale));
      EXPECT_LT(pixel.r, 0.05) << "off the line at (" << p.x << ", " << p.y << "), scale " << scale;
    }
  }
}

TEST_F(Glyph, TheSystemSymbolIsUsedWhenThePlatformHasIt) {
  objc::AutoreleasePool pool;
  hv::uikit::set_known_symbols({"waveform.path.ecg"});
  present();
  id glyph = button::glyphImage.send(controller_);
  ASSERT_NE(glyph, nullptr);
  EXPECT_TRUE(objc::fromBool(ui::UIImage::isSymbolImage.send(glyph)));
}

hv::render::Rgba tile_pixel(id controller, CGPoint point) {
  constexpr double kScale = 2;
  hv::render::Options options;
  options.scale = kScale;
  options.size = {70, 70};
  options.clear = {0, 0, 0, 1};
  const hv::render::Image picture = hv::render::render(
      hv::uikit::display_list_of(ui::UIViewController::view.send(controller)), options);
  return picture.pixel(static_cast<int>(point.x * kScale), static_cast<int>(point.y * kScale));
}

// The pulse line's first segment, in the tile (the 42-point glyph is centred in 70 points),
// and a point of the platter beside the glyph.
constexpr CGPoint kGlyphPoint{14 + 9, 14 + 23};
constexpr CGPoint kPlatterPoint{6, 35};

TEST_F(Glyph, TheTileLightsUpWithTheOrangeGlyphOnlyWhileANonNativeModeIsCurrent) {
  objc::AutoreleasePool pool;
  hv::uikit::set_known_symbols({});
  present();
  hv::render::Rgba glyph = tile_pixel(controller_, kGlyphPoint);
  hv::render::Rgba platter = tile_pixel(controller_, kPlatterPoint);
  EXPECT_GT(glyph.r, 0.9);
  EXPECT_GT(glyph.g, 0.9);
  EXPECT_GT(glyph.b, 0.9) << "white on the material";
  EXPECT_LT(platter.r, 0.3) << "the dark material";

  ui::UIControl::sendActionsForControlEvents.send(HVCCTestTileButton(controller_),
                                                  ui::UIControlEventTouchUpInside);
  glyph = tile_pixel(controller_, kGlyphPoint);
  platter = tile_pixel(controller_, kPlatterPoint);
  EXPECT_GT(glyph.r, 0.9) << "the system orange";
  EXPECT_GT(glyph.g, 0.4);
  EXPECT_LT(glyph.g, 0.75);
  EXPECT_LT(glyph.b, 0.2);
  EXPECT_GT(platter.r, 0.95) << "the lit platter";
  EXPECT_GT(platter.b, 0.95);
}

}  // namespace
