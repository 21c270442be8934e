// Views through the typed declarations: hit-testing and touch-up-inside through nested
// views, autoresizing, coordinate conversion through transforms, dynamic colours, the
// system version question, and a rendered picture's pixels.
#include <gtest/gtest.h>

#include <hvplatform/uikit_host.hpp>

#include <filesystem>

#include "common/objc/class_builder.hpp"
#include "common/objc/foundation.hpp"
#include "common/objc/system_version.hpp"
#include "common/ui/quartzcore.hpp"
#include "common/ui/uikit.hpp"

namespace ui = halvernic::ui;

namespace {

objc::Ref view(CGRect frame, const objc::ClassName& cls = ui::kUIView) {
  return objc::Ref::adopt(ui::UIView::initWithFrame.send(ui::NSObject::alloc.send(cls), frame));
}

void expect_rect(CGRect r, double x, double y, double w, double h) {
  EXPECT_NEAR(r.origin.x, x, 1e-9);
  EXPECT_NEAR(r.origin.y, y, 1e-9);
  EXPECT_NEAR(r.size.width, w, 1e-9);
  EXPECT_NEAR(r.size.height, h, 1e-9);
}

// A target that records which control sent its action.
std::vector<id> g_taps;
void tapped(id, SEL, id sender) { g_taps.push_back(sender); }
id recorder() {
  static Class c = objc::ClassBuilder("HVTapRecorder", "NSObject").method("tapped:", &tapped).build();
  static id r = objc::send<id>(objc::send<id>(c, objc::sel("alloc")), objc::sel("init"));
  return r;
}

TEST(HitTesting, TouchUpInsideReachesTheFrontmostVisibleControlThroughNestedViews) {
  objc::AutoreleasePool pool;
  hv::uikit::Host host(CGSizeMake(400, 800));
  objc::Ref card = view(CGRectMake(100, 100, 200, 300));
  ui::UIView::addSubview.send(host.root_view(), card.get());
  objc::Ref inner = view(CGRectMake(10, 10, 180, 280));
  ui::UIView::addSubview.send(card.get(), inner.get());
  objc::Ref button = objc::Ref::retain(ui::UIButton::buttonWithType.send(ui::kUIButton, ui::UIButtonTypeSystem));
  ui::UIView::setFrame.send(button.get(), CGRectMake(0, 0, 180, 47));
  ui::UIControl::addTarget_action_forControlEvents.send(button.get(), recorder(), objc::sel("tapped:"),
                                                       ui::UIControlEventTouchUpInside);
  ui::UIView::addSubview.send(inner.get(), button.get());
  objc::Ref overlay = view(CGRectMake(0, 0, 400, 800), ui::kUIControl);
  ui::UIControl::addTarget_action_forControlEvents.send(overlay.get(), recorder(), objc::sel("tapped:"),
                                                       ui::UIControlEventTouchUpInside);
  ui::UIView::insertSubview_atIndex.send(host.root_view(), overlay.get(), 0);  // below the card

  g_taps.clear();
  EXPECT_EQ(host.tap(CGPointMake(150, 120)), button.get());  // card (100,100) + inner (10,10)
  EXPECT_EQ(host.tap(CGPointMake(150, 300)), inner.get());   // inside the card, no control
  EXPECT_EQ(host.tap(CGPointMake(20, 20)), overlay.get());   // outside the card
  ASSERT_EQ(g_taps.size(), 2u);
  EXPECT_EQ(g_taps[0], button.get());
  EXPECT_EQ(g_taps[1], overlay.get());

  // UIKit's rules: alpha below 0.01, hidden, or no user interaction take no touch, and
  // nor do their subviews; the view behind gets it.
  g_taps.clear();
  ui::UIView::setAlpha.send(inner.get(), 0.005);
  EXPECT_EQ(host.tap(CGPointMake(150, 120)), card.get());
  ui::UIView::setAlpha.send(inner.get(), 0.01);
  EXPECT_EQ(host.tap(CGPointMake(150, 120)), button.get());
  ui::UIView::setHidden.send(button.get(), YES);
  EXPECT_EQ(host.tap(CGPointMake(150, 120)), inner.get());
  ui::UIView::setHidden.send(button.get(), NO);
  ui::UIView::setUserInteractionEnabled.send(card.get(), NO);
  EXPECT_EQ(host.tap(CGPointMake(150, 120)), overlay.get());
  ASSERT_EQ(g_taps.size(), 2u);
  EXPECT_EQ(g_taps[1], overlay.get());

  // A scaled view is hit where it is drawn, not where its untransformed frame lies.
  ui::UIView::setUserInteractionEnabled.send(card.get(), YES);
  ui::UIView::setTransform.send(card.get(), CGAffineTransformMakeScale(0.5, 0.5));  // (150,175)-(250,325)
  EXPECT_EQ(host.tap(CGPointMake(120, 120)), overlay.get());
  EXPECT_EQ(host.tap(CGPointMake(160, 182)), button.get());
  // Kind-of tests: a view moved to a weak-tracking subclass is still a control.
  EXPECT_TRUE(objc::is_kind_of(button.get(), ui::kUIControl));
}

TEST(Autoresizing, FlexibleMarginsAndSizesShareTheChange) {
  objc::AutoreleasePool pool;
  objc::Ref parent = view(CGRectMake(0, 0, 400, 800));
  objc::Ref filling = view(CGRectMake(0, 0, 400, 800));
  ui::UIView::setAutoresizingMask.send(filling.get(), ui::UIViewAutoresizingFlexibleWidth | ui::UIViewAutoresizingFlexibleHeight);
  objc::Ref pinned_right = view(CGRectMake(300, 10, 80, 20));
  ui::UIView::setAutoresizingMask.send(pinned_right.get(), ui::UIViewAutoresizingFlexibleLeftMargin);
  objc::Ref centred = view(CGRectMake(100, 100, 200, 100));  // margins 100 and 100
  ui::UIView::setAutoresizingMask.send(centred.get(), ui::UIViewAutoresizingFlexibleLeftMargin |
                                                          ui::UIViewAutoresizingFlexibleRightMargin);
  objc::Ref fixed = view(CGRectMake(5, 5, 10, 10));
  for (id v : {filling.get(), pinned_right.get(), centred.get(), fixed.get()}) ui::UIView::addSubview.send(parent.get(), v);

  ui::UIView::setFrame.send(parent.get(), CGRectMake(0, 0, 300, 600));
  expect_rect(ui::UIView::frame.send(filling.get()), 0, 0, 300, 600);
  expect_rect(ui::UIView::frame.send(pinned_right.get()), 200, 10, 80, 20);
  expect_rect(ui::UIView::frame.send(centred.get()), 50, 100, 200, 100);
  expect_rect(ui::UIView::frame.send(fixed.get()), 5, 5, 10, 10);
  // Through two levels: the child of an autoresized view follows it.
  objc::Ref grandchild = view(CGRectMake(0, 0, 300, 600));
  ui::UIView::setAutoresizingMask.send(grandchild.get(), ui::UIViewAutoresizingFlexibleWidth);
  ui::UIView::addSubview.send(filling.get(), grandchild.get());
  ui::UIView::setBounds.send(parent.get(), CGRectMake(0, 0, 500, 600));
  expect_rect(ui::UIView::frame.send(grandchild.get()), 0, 0, 500, 600);
}

TEST(Coordinates, ConvertRectToCoordinateSpaceThroughOffsetsAndAScale) {
  objc::AutoreleasePool pool;
  objc::Ref root = view(CGRectMake(0, 0, 390, 844));
  objc::Ref table = view(CGRectMake(0, 100, 390, 700));
  ui::UIView::setBounds.send(table.get(), CGRectMake(0, 50, 390, 700));  // scrolled by 50
  objc::Ref cell = view(CGRectMake(0, 250, 390, 44));
  ui::UIView::addSubview.send(root.get(), table.get());
  ui::UIView::addSubview.send(table.get(), cell.get());
  expect_rect(ui::UIView::convertRect_toCoordinateSpace.send(cell.get(), ui::UIView::bounds.send(cell.get()), root.get()),
              0, 300, 390, 44);
  // Scaled 0.5 about the table's centre (195, 450 in the root).
  ui::UIView::setTransform.send(table.get(), CGAffineTransformMakeScale(0.5, 0.5));
  expect_rect(ui::UIView::convertRect_toCoordinateSpace.send(cell.get(), ui::UIView::bounds.send(cell.get()), root.get()),
              97.5, 375, 195, 22);
  // And back: the root's rect in the cell's coordinates.
  expect_rect(ui::UIView::convertRect_toView.send(root.get(), CGRectMake(97.5, 375, 195, 22), cell.get()), 0, 0, 390, 44);
  expect_rect(ui::UIView::frame.send(table.get()), 97.5, 275, 195, 350);
}

TEST(Colors, ADynamicColourResolvesForLightDarkAndUnspecified) {
  objc::AutoreleasePool pool;
  objc::Ref dark_member = objc::Ref::retain(ui::UIColor::colorWithWhite_alpha.send(ui::kUIColor, 0.12, 0.95));
  objc::Ref light_member = objc::Ref::retain(ui::UIColor::colorWithWhite_alpha.send(ui::kUIColor, 0.98, 0.86));
  objc::Ref dynamic = objc::Ref::adopt(ui::UIColor::initWithDynamicProvider.send(
      ui::NSObject::alloc.send(ui::kUIColor), ^id(id traits) {
        return ui::UITraitCollection::userInterfaceStyle.send(traits) == ui::UIUserInterfaceStyleDark ? dark_member.get()
                                                                                                     : light_member.get();
      }));
  auto white_in = [&](long style) {
    id traits = ui::UITraitCollection::traitCollectionWithUserInterfaceStyle.send(ui::kUITraitCollection, style);
    CGFloat w = -1, a = -1;
    ui::UIColor::getWhite_alpha.send(ui::UIColor::resolvedColorWithTraitCollection.send(dynamic.get(), traits), &w, &a);
    return std::pair{w, a};
  };
  auto expect_white = [&](long style, double w, double a) {
    const auto [white, alpha] = white_in(style);
    EXPECT_NEAR(white, w, 1e-9) << style;
    EXPECT_NEAR(alpha, a, 1e-9) << style;
  };
  expect_white(ui::UIUserInterfaceStyleDark, 0.12, 0.95);
  expect_white(ui::UIUserInterfaceStyleLight, 0.98, 0.86);
  expect_white(ui::UIUserInterfaceStyleUnspecified, 0.98, 0.86);

  // A view's background follows the host's appearance; CGColor resolves for the current traits.
  hv::uikit::Host host(CGSizeMake(100, 100));
  objc::Ref card = view(CGRectMake(0, 0, 100, 100));
  ui::UIView::setBackgroundColor.send(card.get(), dynamic.get());
  ui::UIView::addSubview.send(host.root_view(), card.get());
  EXPECT_NEAR(host.render_image(1).pixel(50, 50).r, 0.98 * 0.86 + (1 - 0.86), 0.02);  // over white
  host.set_appearance(ui::UIUserInterfaceStyleDark);
  EXPECT_EQ(ui::UITraitCollection::userInterfaceStyle.send(ui::UIView::traitCollection.send(card.get())),
            ui::UIUserInterfaceStyleDark);
  EXPECT_NEAR(host.render_image(1).pixel(50, 50).r, 0.12 * 0.95, 0.02);  // over black
  EXPECT_EQ(CGColorGetComponents(ui::UIColor::CGColor.send(dynamic.get()))[0], 0.12);
}

TEST(SystemVersion, TheStandInsVersionIsSettableSoOlderPathsRun) {
  hv::uikit::set_system_version("12.2");
  EXPECT_FALSE(objc::system_version_at_least(13));
  EXPECT_TRUE(objc::system_version_at_least(12, 2));
  hv::uikit::set_system_version("15.6");
  EXPECT_TRUE(objc::system_version_at_least(13));
}

TEST(Graphics, UnknownSymbolsAnswerNilAndPathsStrokeIntoImageContexts) {
  objc::AutoreleasePool pool;
  id config = ui::UIImageSymbolConfiguration::configurationWithPointSize_weight.send(
      ui::kUIImageSymbolConfiguration, 28.0, ui::UIImageSymbolWeightMedium);
  EXPECT_NE(ui::UIImage::systemImageNamed_withConfiguration.send(ui::kUIImage, objc::string("waveform.path.ecg"), config), nullptr);
  hv::uikit::set_known_symbols({});
  EXPECT_EQ(ui::UIImage::systemImageNamed_withConfiguration.send(ui::kUIImage, objc::string("waveform.path.ecg"), config), nullptr);
  hv::uikit::set_known_symbols({"checkmark", "waveform.path.ecg"});

  UIGraphicsBeginImageContextWithOptions(CGSizeMake(42, 42), NO, 0.0);
  id path = ui::UIBezierPath::bezierPath.send(ui::kUIBezierPath);
  ui::UIBezierPath::moveToPoint.send(path, CGPointMake(4, 23));
  ui::UIBezierPath::addLineToPoint.send(path, CGPointMake(38, 23));
  ui::UIColor::setStroke.send(ui::UIColor::whiteColor.send(ui::kUIColor));
  ui::UIBezierPath::setLineWidth.send(path, 3.0);
  ui::UIBezierPath::stroke.send(path);
  id image = UIGraphicsGetImageFromCurrentImageContext();
  UIGraphicsEndImageContext();
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(ui::UIImage::size.send(image).width, 42);
  EXPECT_EQ(ui::UIImage::scale.send(image), 3);  // scale 0: the main screen's

  // The rounded rectangle's CGPath spans its rect.
  CGPathRef rounded = ui::UIBezierPath::CGPath.send(
      ui::UIBezierPath::bezierPathWithRoundedRect_cornerRadius.send(ui::kUIBezierPath, CGRectMake(0, 0, 256, 141), 14.0));
  expect_rect(CGPathGetBoundingBox(rounded), 0, 0, 256, 141);
}

TEST(Rendering, ACardWithShadowAndRoundedClippedCorners) {
  objc::AutoreleasePool pool;
  hv::uikit::Host host(CGSizeMake(200, 200));
  objc::Ref card = view(CGRectMake(20, 20, 160, 160));
  ui::UIView::setBackgroundColor.send(card.get(), ui::UIColor::colorWithRed_green_blue_alpha.send(ui::kUIColor, 1.0, 0.0, 0.0, 1.0));
  id layer = ui::UIView::layer.send(card.get());
  ui::CALayer::setCornerRadius.send(layer, 30.0);
  ui::CALayer::setMasksToBounds.send(layer, YES);
  ui::CALayer::setShadowOpacity.send(layer, 0.25f);
  ui::UIView::addSubview.send(host.root_view(), card.get());
  const hv::render::Image image = host.render_image(2);
  EXPECT_GT(image.pixel(200, 200).r, 0.95);  // the card's middle
  EXPECT_GT(image.pixel(44, 44).g, 0.9);     // a rounded corner shows the white behind
  const std::filesystem::path out = std::filesystem::temp_directory_path() / "hv_uikit_card.png";
  std::string error;
  EXPECT_TRUE(host.snapshot(out.string(), 2, &error)) << error;
  std::filesystem::remove(out);
}

}  // namespace

namespace {
TEST(Lifetime, ChildrenAndLayersOutlivingTheirViewForgetIt) {
  objc::AutoreleasePool pool;
  objc::Ref child = view(CGRectMake(0, 0, 10, 10));
  objc::Ref layer;
  {
    objc::Ref parent = view(CGRectMake(0, 0, 100, 100));
    ui::UIView::addSubview.send(parent.get(), child.get());
    layer = objc::Ref::retain(ui::UIView::layer.send(parent.get()));
    EXPECT_EQ(ui::UIView::superview.send(child.get()), parent.get());
  }
  EXPECT_EQ(ui::UIView::superview.send(child.get()), nullptr);
  EXPECT_EQ(objc::send<id>(layer.get(), objc::sel("delegate")), nullptr);
  expect_rect(ui::UIView::convertRect_toView.send(child.get(), CGRectMake(1, 2, 3, 4), static_cast<id>(nullptr)), 1, 2, 3, 4);
}
}  // namespace
