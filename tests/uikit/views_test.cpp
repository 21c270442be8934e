// Views through the typed declarations: hit-testing and touch-up-inside through nested
// views, autoresizing, coordinate conversion through transforms, dynamic colours, the
// system version question, and a rendered picture's pixels.
#include <gtest/gtest.h>

#include <hvplatform/uikit_host.hpp>

#include <cmath>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "common/objc/class_builder.hpp"
#include "common/objc/foundation.hpp"
#include "common/objc/system_version.hpp"
#include "common/objc/weak.hpp"
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
constinit objc::Message<void(id)> kTapped{"tapped:"};
id recorder() {
  static Class c = objc::ClassBuilder("HVTapRecorder", "NSObject").method(kTapped, &tapped).build();
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
  objc::Ref button =
      objc::Ref::retain(ui::UIButton::buttonWithType.send(ui::kUIButton, ui::UIButtonTypeSystem));
  ui::UIView::setFrame.send(button.get(), CGRectMake(0, 0, 180, 47));
  ui::UIControl::addTarget_action_forControlEvents.send(
      button.get(), recorder(), objc::sel("tapped:"), ui::UIControlEventTouchUpInside);
  ui::UIView::addSubview.send(inner.get(), button.get());
  objc::Ref overlay = view(CGRectMake(0, 0, 400, 800), ui::kUIControl);
  ui::UIControl::addTarget_action_forControlEvents.send(
      overlay.get(), recorder(), objc::sel("tapped:"), ui::UIControlEventTouchUpInside);
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
  ui::UIView::setTransform.send(card.get(),
                                CGAffineTransformMakeScale(0.5, 0.5));  // (150,175)-(250,325)
  EXPECT_EQ(host.tap(CGPointMake(120, 120)), overlay.get());
  EXPECT_EQ(host.tap(CGPointMake(160, 182)), button.get());
  EXPECT_EQ(ui::UIView::window.send(button.get()), host.root_view());
  EXPECT_EQ(ui::UIView::window.send(view(CGRectZero).get()), nullptr);
  // A view moved to a weak-tracking subclass is still a control to the tap (kind-of tests).
  objc::WeakRef weak(button.get());
  g_taps.clear();
  EXPECT_EQ(host.tap(CGPointMake(160, 182)), button.get());
  ASSERT_EQ(g_taps.size(), 1u);
  EXPECT_EQ(g_taps[0], button.get());
}

TEST(Autoresizing, FlexibleMarginsAndSizesShareTheChange) {
  objc::AutoreleasePool pool;
  objc::Ref parent = view(CGRectMake(0, 0, 400, 800));
  objc::Ref filling = view(CGRectMake(0, 0, 400, 800));
  ui::UIView::setAutoresizingMask.send(filling.get(), ui::UIViewAutoresizingFlexibleWidth |
                                                          ui::UIViewAutoresizingFlexibleHeight);
  objc::Ref pinned_right = view(CGRectMake(300, 10, 80, 20));
  ui::UIView::setAutoresizingMask.send(pinned_right.get(),
                                       ui::UIViewAutoresizingFlexibleLeftMargin);
  objc::Ref centred = view(CGRectMake(100, 100, 200, 100));  // margins 100 and 100
  ui::UIView::setAutoresizingMask.send(centred.get(),
                                       ui::UIViewAutoresizingFlexibleLeftMargin |
                                           ui::UIViewAutoresizingFlexibleRightMargin);
  objc::Ref fixed = view(CGRectMake(5, 5, 10, 10));
  for (id v : {filling.get(), pinned_right.get(), centred.get(), fixed.get()})
    ui::UIView::addSubview.send(parent.get(), v);

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
  expect_rect(ui::UIView::convertRect_toCoordinateSpace.send(
                  cell.get(), ui::UIView::bounds.send(cell.get()), root.get()),
              0, 300, 390, 44);
  // Scaled 0.5 about the table's centre (195, 450 in the root).
  ui::UIView::setTransform.send(table.get(), CGAffineTransformMakeScale(0.5, 0.5));
  expect_rect(ui::UIView::convertRect_toCoordinateSpace.send(
                  cell.get(), ui::UIView::bounds.send(cell.get()), root.get()),
              97.5, 375, 195, 22);
  // And back: the root's rect in the cell's coordinates.
  expect_rect(
      ui::UIView::convertRect_toView.send(root.get(), CGRectMake(97.5, 375, 195, 22), cell.get()),
      0, 0, 390, 44);
  expect_rect(ui::UIView::frame.send(table.get()), 97.5, 275, 195, 350);
}

TEST(Colors, ADynamicColourResolvesForLightDarkAndUnspecified) {
  objc::AutoreleasePool pool;
  objc::Ref dark_member =
      objc::Ref::retain(ui::UIColor::colorWithWhite_alpha.send(ui::kUIColor, 0.12, 0.95));
  objc::Ref light_member =
      objc::Ref::retain(ui::UIColor::colorWithWhite_alpha.send(ui::kUIColor, 0.98, 0.86));
  objc::Ref dynamic = objc::Ref::adopt(ui::UIColor::initWithDynamicProvider.send(
      ui::NSObject::alloc.send(ui::kUIColor), ^id(id traits) {
        return ui::UITraitCollection::userInterfaceStyle.send(traits) ==
                       ui::UIUserInterfaceStyleDark
                   ? dark_member.get()
                   : light_member.get();
      }));
  auto white_in = [&](long style) {
    id traits = ui::UITraitCollection::traitCollectionWithUserInterfaceStyle.send(
        ui::kUITraitCollection, style);
    CGFloat w = -1, a = -1;
    ui::UIColor::getWhite_alpha.send(
        ui::UIColor::resolvedColorWithTraitCollection.send(dynamic.get(), traits), &w, &a);
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
  EXPECT_EQ(
      ui::UITraitCollection::userInterfaceStyle.send(ui::UIView::traitCollection.send(card.get())),
      ui::UIUserInterfaceStyleDark);
  EXPECT_NEAR(host.render_image(1).pixel(50, 50).r, 0.12 * 0.95, 0.02);  // over black
  EXPECT_EQ(CGColorGetComponents(ui::UIColor::CGColor.send(dynamic.get()))[0], 0.12);
}

TEST(SystemVersion, TheStandInsVersionIsSettableSoOlderPathsRun) {
  hv::uikit::set_system_version("12.2");
  EXPECT_FALSE(objc::systemVersionAtLeast(13));
  EXPECT_TRUE(objc::systemVersionAtLeast(12, 2));
  hv::uikit::set_system_version("15.6");
  EXPECT_TRUE(objc::systemVersionAtLeast(13));
}

TEST(Graphics, UnknownSymbolsAnswerNilAndPathsStrokeIntoImageContexts) {
  objc::AutoreleasePool pool;
  id config = ui::UIImageSymbolConfiguration::configurationWithPointSize_weight.send(
      ui::kUIImageSymbolConfiguration, 28.0, ui::UIImageSymbolWeightMedium);
  EXPECT_NE(ui::UIImage::systemImageNamed_withConfiguration.send(
                ui::kUIImage, objc::string("waveform.path.ecg"), config),
            nullptr);
  hv::uikit::set_known_symbols({});
  EXPECT_EQ(ui::UIImage::systemImageNamed_withConfiguration.send(
                ui::kUIImage, objc::string("waveform.path.ecg"), config),
            nullptr);
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
  CGPathRef rounded =
      ui::UIBezierPath::CGPath.send(ui::UIBezierPath::bezierPathWithRoundedRect_cornerRadius.send(
          ui::kUIBezierPath, CGRectMake(0, 0, 256, 141), 14.0));
  expect_rect(CGPathGetBoundingBox(rounded), 0, 0, 256, 141);
}

TEST(Rendering, ACardWithShadowAndRoundedClippedCorners) {
  objc::AutoreleasePool pool;
  hv::uikit::Host host(CGSizeMake(200, 200));
  objc::Ref card = view(CGRectMake(20, 20, 160, 160));
  ui::UIView::setBackgroundColor.send(card.get(), ui::UIColor::colorWithRed_green_blue_alpha.send(
                                                      ui::kUIColor, 1.0, 0.0, 0.0, 1.0));
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
  expect_rect(ui::UIView::convertRect_toView.send(child.get(), CGRectMake(1, 2, 3, 4),
                                                  static_cast<id>(nullptr)),
              1, 2, 3, 4);
}
}  // namespace

namespace {
// A data source and delegate of two sections (2 and 1 rows) that records selections.
std::vector<std::pair<long, long>> g_selected;
long rows_in(id, SEL, id, long section) { return section == 0 ? 2 : 1; }
long sections_in(id, SEL, id) { return 2; }
id cell_at(id, SEL, id, id path) {
  id cell = ui::UITableViewCell::initWithStyle_reuseIdentifier.send(
      ui::NSObject::alloc.send(ui::kUITableViewCell), ui::UITableViewCellStyleDefault,
      objc::string("row"));
  const std::string text = "S" + std::to_string(ui::NSIndexPath::section.send(path)) + "R" +
                           std::to_string(ui::NSIndexPath::row.send(path));
  ui::UILabel::setText.send(ui::UITableViewCell::textLabel.send(cell), objc::string(text));
  return objc::autorelease(cell);
}
void did_select(id, SEL, id, id path) {
  g_selected.emplace_back(ui::NSIndexPath::section.send(path), ui::NSIndexPath::row.send(path));
}

int g_loads = 0;
std::vector<std::string> g_calls;
void vc_load_view(id self, SEL) {
  ++g_loads;
  g_calls.push_back("loadView");
  objc::Ref v = view(CGRectMake(0, 0, 10, 10));
  ui::UIViewController::setView.send(self, v.get());
}
void vc_did_load(id self, SEL cmd) {
  g_calls.push_back("viewDidLoad");
  ui::UIViewController::viewDidLoad.sendSuper(self, objc::cls("HVTestController"));
}
void vc_will_appear(id, SEL, BOOL) { g_calls.push_back("viewWillAppear:"); }

TEST(Table, RowsComeFromTheDataSourceAndATapSelectsThroughTheDelegate) {
  objc::AutoreleasePool pool;
  static Class source_class =
      objc::ClassBuilder("HVTableSource", "NSObject")
          .protocol("UITableViewDataSource")
          .method(ui::UITableViewDataSource::tableView_numberOfRowsInSection, &rows_in)
          .method(ui::UITableViewDataSource::numberOfSectionsInTableView, &sections_in)
          .method(ui::UITableViewDataSource::tableView_cellForRowAtIndexPath, &cell_at)
          .method(ui::UITableViewDelegate::tableView_didSelectRowAtIndexPath, &did_select)
          .build();
  objc::Ref source = objc::Ref::adopt(
      objc::send<id>(objc::send<id>(source_class, objc::sel("alloc")), objc::sel("init")));
  hv::uikit::Host host(CGSizeMake(390, 844));
  objc::Ref table = objc::Ref::adopt(ui::UITableView::initWithFrame_style.send(
      ui::NSObject::alloc.send(ui::kUITableView), CGRectMake(0, 0, 390, 844),
      ui::UITableViewStyleGrouped));
  ui::UITableView::setDataSource.send(table.get(), source.get());
  ui::UITableView::setDelegate.send(table.get(), source.get());
  ui::UIView::addSubview.send(host.root_view(), table.get());
  ui::UITableView::reloadData.send(table.get());
  ASSERT_EQ(ui::UITableView::numberOfSections.send(table.get()), 2);
  EXPECT_EQ(ui::UITableView::numberOfRowsInSection.send(table.get(), 0), 2);
  id path = ui::NSIndexPath::indexPathForRow_inSection.send(ui::kNSIndexPath, 0, 1);
  EXPECT_EQ(ui::NSIndexPath::row.send(path), 0);
  EXPECT_EQ(ui::NSIndexPath::section.send(path), 1);
  id cell = ui::UITableView::cellForRowAtIndexPath.send(table.get(), path);
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(objc::toString(ui::UILabel::text.send(ui::UITableViewCell::textLabel.send(cell))),
            "S1R0");
  const CGRect in_root = ui::UIView::convertRect_toCoordinateSpace.send(
      cell, ui::UIView::bounds.send(cell), host.root_view());
  g_selected.clear();
  host.tap(CGPointMake(CGRectGetMidX(in_root), CGRectGetMidY(in_root)));
  ASSERT_EQ(g_selected.size(), 1u);
  EXPECT_EQ(g_selected[0], std::make_pair(1L, 0L));
  EXPECT_EQ(ui::UITableView::indexPathForCell.send(table.get(), cell) != nullptr, true);
}

TEST(ViewController, TheViewLoadsOnceThroughLoadViewThenViewDidLoad) {
  objc::AutoreleasePool pool;
  static Class c = objc::ClassBuilder("HVTestController", "UIViewController")
                       .method(ui::UIViewController::loadView, &vc_load_view)
                       .method(ui::UIViewController::viewDidLoad, &vc_did_load)
                       .method(ui::UIViewController::viewWillAppear, &vc_will_appear)
                       .build();
  g_calls.clear();
  objc::Ref vc = objc::Ref::adopt(ui::UIViewController::initWithNibName_bundle.send(
      ui::NSObject::alloc.send(objc::ClassName("HVTestController").get()), static_cast<id>(nullptr),
      static_cast<id>(nullptr)));
  EXPECT_FALSE(objc::fromBool(ui::UIViewController::isViewLoaded.send(vc.get())));
  hv::uikit::Host host(CGSizeMake(390, 844));
  host.set_root_view_controller(vc.get());
  id v = ui::UIViewController::view.send(vc.get());
  EXPECT_EQ(ui::UIViewController::view.send(vc.get()), v);
  EXPECT_EQ(g_loads, 1);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"loadView", "viewDidLoad", "viewWillAppear:"}));
  expect_rect(ui::UIView::frame.send(v), 0, 0, 390, 844);  // filled to the root
  (void)c;
}
}  // namespace

namespace {
TEST(StackView, ArrangedSubviewsKeepTheirOrderAndAreLaidOutAlongTheAxis) {
  objc::AutoreleasePool pool;
  objc::Ref stack = objc::Ref::adopt(ui::UIView::initWithFrame.send(
      ui::NSObject::alloc.send(ui::kUIStackView), CGRectMake(0, 0, 300, 200)));
  ui::UIStackView::setAxis.send(stack.get(), ui::UILayoutConstraintAxisVertical);
  objc::Ref rows[3] = {view(CGRectMake(0, 0, 10, 47)), view(CGRectMake(0, 0, 10, 47)),
                       view(CGRectMake(0, 0, 10, 30))};
  for (auto& r : rows) ui::UIStackView::addArrangedSubview.send(stack.get(), r.get());
  id arranged = ui::UIStackView::arrangedSubviews.send(stack.get());
  ASSERT_EQ(objc::count(arranged), 3u);
  EXPECT_EQ(objc::arrayGet(arranged, 1), rows[1].get());
  expect_rect(ui::UIView::frame.send(rows[2].get()), 0, 94, 300, 30);
  // A row removed from its superview leaves the arranged subviews too, as in UIKit.
  ui::UIView::removeFromSuperview.send(rows[1].get());
  arranged = ui::UIStackView::arrangedSubviews.send(stack.get());
  ASSERT_EQ(objc::count(arranged), 2u);
  EXPECT_EQ(objc::arrayGet(arranged, 1), rows[2].get());
  // Subviews keep insertion order; insertSubview:atIndex: puts a view below the others.
  objc::Ref below = view(CGRectMake(0, 0, 1, 1));
  ui::UIView::insertSubview_atIndex.send(stack.get(), below.get(), 0);
  EXPECT_EQ(objc::arrayGet(ui::UIView::subviews.send(stack.get()), 0), below.get());
}
}  // namespace

namespace {
TEST(CoreGraphics, TransformsComposeInCoreGraphicsOrderAndInvert) {
  const CGAffineTransform scale = CGAffineTransformMakeScale(2, 3);
  const CGAffineTransform move = CGAffineTransformMakeTranslation(10, 20);
  // Concat(t1, t2) applies t1 first.
  const CGPoint p =
      CGPointApplyAffineTransform(CGPointMake(1, 1), CGAffineTransformConcat(scale, move));
  EXPECT_EQ(p.x, 12);
  EXPECT_EQ(p.y, 23);
  const CGPoint q =
      CGPointApplyAffineTransform(CGPointMake(1, 1), CGAffineTransformScale(move, 2, 3));
  EXPECT_EQ(q.x, 12);  // CGAffineTransformScale scales first, then the transform
  const CGAffineTransform inverse = CGAffineTransformInvert(CGAffineTransformConcat(scale, move));
  const CGPoint back = CGPointApplyAffineTransform(p, inverse);
  EXPECT_NEAR(back.x, 1, 1e-12);
  EXPECT_NEAR(back.y, 1, 1e-12);
  EXPECT_TRUE(CGAffineTransformIsIdentity(CGAffineTransformIdentity));
  // A rect with a negative size is standardised; a transformed rect is its bounding box.
  EXPECT_EQ(CGRectGetMinX(CGRectMake(10, 0, -4, 1)), 6);
  EXPECT_EQ(CGRectGetMaxX(CGRectMake(10, 0, -4, 1)), 10);
  const CGRect turned =
      CGRectApplyAffineTransform(CGRectMake(0, 0, 4, 2), CGAffineTransformMakeRotation(M_PI / 2));
  EXPECT_NEAR(turned.size.width, 2, 1e-12);
  EXPECT_NEAR(turned.size.height, 4, 1e-12);
  EXPECT_FALSE(
      CGRectContainsPoint(CGRectMake(0, 0, 10, 10), CGPointMake(10, 5)));  // max edge excluded
  // Colours and paths are counted references.
  CGColorRef c = CGColorCreateSRGB(0.1, 0.2, 0.3, 0.4);
  EXPECT_EQ(CGColorRetain(c), c);
  CGColorRelease(c);
  EXPECT_EQ(CGColorGetAlpha(c), 0.4);
  CGColorRelease(c);
}

TEST(Button, TitleAndColourPerStateFallBackToNormal) {
  objc::AutoreleasePool pool;
  id button = ui::UIButton::buttonWithType.send(ui::kUIButton, ui::UIButtonTypeSystem);
  EXPECT_EQ(ui::UIButton::buttonType.send(button), ui::UIButtonTypeSystem);
  ui::UIButton::setTitle_forState.send(button, objc::string("苹果原生温控"),
                                       ui::UIControlStateNormal);
  ui::UIButton::setTitleColor_forState.send(button, ui::UIColor::blackColor.send(ui::kUIColor),
                                            ui::UIControlStateNormal);
  ui::UIButton::setTitleColor_forState.send(button, ui::UIColor::redColor.send(ui::kUIColor),
                                            ui::UIControlStateSelected);
  id label = ui::UIButton::titleLabel.send(button);
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(objc::toString(ui::UILabel::text.send(label)), "苹果原生温控");
  EXPECT_EQ(ui::UIFont::pointSize.send(ui::UILabel::font.send(label)), 15);
  EXPECT_EQ(objc::toString(ui::UIButton::titleForState.send(button, ui::UIControlStateSelected)),
            "苹果原生温控");
  CGFloat r = -1;
  ui::UIColor::getRed_green_blue_alpha.send(ui::UIButton::currentTitleColor.send(button), &r,
                                            nullptr, nullptr, nullptr);
  EXPECT_EQ(r, 0);
  ui::UIControl::setSelected.send(button, YES);
  ui::UIColor::getRed_green_blue_alpha.send(ui::UIButton::currentTitleColor.send(button), &r,
                                            nullptr, nullptr, nullptr);
  EXPECT_EQ(r, 1);
  ui::UIButton::setTitleEdgeInsets.send(button, ui::UIEdgeInsetsMake(0, 18, 0, 48));
  EXPECT_EQ(ui::UIButton::titleEdgeInsets.send(button).right, 48);
}
}  // namespace
