// A page as Settings shows it: a navigation controller below the status bar (title, back
// button, pop), and an inset grouped table (section cards, rounded outer corners, hairlines,
// the disclosure chevron), checked on the view tree and on chosen pixels.
#include <gtest/gtest.h>

#include <hvplatform/uikit_host.hpp>

#include <string>
#include <vector>

#include "common/objc/class_builder.hpp"
#include "common/objc/foundation.hpp"
#include "common/ui/quartzcore.hpp"
#include "common/ui/uikit.hpp"

namespace ui = halvernic::ui;

namespace {

constinit objc::ClassName kUINavigationController{"UINavigationController"};
constinit objc::Message<id(id)> kInitWithRoot{"initWithRootViewController:"};
constinit objc::Message<void(id, BOOL)> kPush{"pushViewController:animated:"};
constinit objc::Message<id()> kTopViewController{"topViewController"};
constinit objc::Message<id()> kNavigationBar{"navigationBar"};
constinit objc::Message<id()> kNavigationItem{"navigationItem"};
constinit objc::Message<id()> kNavigationController{"navigationController"};
constinit objc::Message<void(id)> kSetBackButtonTitle{"setBackButtonTitle:"};
constinit objc::Message<unsigned long()> kMaskedCorners{"maskedCorners"};

std::vector<std::string> g_calls;
void record_will_appear(id self, SEL, BOOL) {
  g_calls.push_back(objc::toString(ui::UIViewController::title.send(self)) + " will appear");
}
void record_did_disappear(id self, SEL, BOOL) {
  g_calls.push_back(objc::toString(ui::UIViewController::title.send(self)) + " did disappear");
}

objc::Ref page(const char* title) {
  static Class c = objc::ClassBuilder("HVNavigationTestPage", "UIViewController")
                       .method(ui::UIViewController::viewWillAppear, &record_will_appear)
                       .method(ui::UIViewController::viewDidDisappear, &record_did_disappear)
                       .build();
  objc::Ref controller = objc::Ref::adopt(ui::NSObject::init.send(ui::NSObject::alloc.send(c)));
  ui::UIViewController::setTitle.send(controller.get(), objc::string(title));
  return controller;
}

// The texts of the labels and buttons inside a view, in tree order.
void texts_in(id view, std::vector<std::string>& out) {
  if (objc::isKindOf(view, ui::kUILabel)) {
    const std::string text = objc::toString(ui::UILabel::text.send(view));
    if (!text.empty()) out.push_back(text);
    return;
  }
  if (objc::isKindOf(view, ui::kUIButton)) {
    out.push_back(objc::toString(ui::UIButton::titleForState.send(view, ui::UIControlStateNormal)));
    return;
  }
  id children = ui::UIView::subviews.send(view);
  for (std::size_t i = 0; i < objc::count(children); ++i)
    texts_in(objc::arrayGet(children, i), out);
}
std::vector<std::string> texts_in(id view) {
  std::vector<std::string> out;
  texts_in(view, out);
  return out;
}

id find_button(id view) {
  if (objc::isKindOf(view, ui::kUIButton)) return view;
  id children = ui::UIView::subviews.send(view);
  for (std::size_t i = 0; i < objc::count(children); ++i) {
    if (id found = find_button(objc::arrayGet(children, i))) return found;
  }
  return nullptr;
}

void expect_rect(CGRect r, double x, double y, double w, double h) {
  EXPECT_NEAR(r.origin.x, x, 1e-9);
  EXPECT_NEAR(r.origin.y, y, 1e-9);
  EXPECT_NEAR(r.size.width, w, 1e-9);
  EXPECT_NEAR(r.size.height, h, 1e-9);
}

TEST(Navigation, APushedPageShowsItsTitleAndTheWayBackBelowTheStatusBar) {
  objc::AutoreleasePool pool;
  objc::Ref settings = page("设置");
  objc::Ref pane = page("Halvernic");
  objc::Ref navigation = objc::Ref::adopt(
      kInitWithRoot.send(ui::NSObject::alloc.send(kUINavigationController), settings.get()));
  hv::uikit::Host host(CGSizeMake(390, 844));
  host.set_root_view_controller(navigation.get());
  host.show_status_bar();
  g_calls.clear();
  kPush.send(navigation.get(), pane.get(), YES);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"Halvernic will appear", "设置 did disappear"}));
  EXPECT_EQ(kNavigationController.send(pane.get()), navigation.get());

  id bar = kNavigationBar.send(navigation.get());
  expect_rect(ui::UIView::frame.send(bar), 0, 47, 390, 44);
  expect_rect(ui::UIView::frame.send(ui::UIViewController::view.send(pane.get())), 0, 91, 390,
              844 - 91);
  EXPECT_EQ(texts_in(bar), (std::vector<std::string>{"Halvernic", "设置"}));
  // A page names the way back to it.
  kSetBackButtonTitle.send(kNavigationItem.send(settings.get()), objc::string("返回"));
  objc::Ref third = page("Third");
  kPush.send(navigation.get(), third.get(), NO);
  EXPECT_EQ(texts_in(bar), (std::vector<std::string>{"Third", "Halvernic"}));

  // The back button, tapped where a finger would, pops the top page.
  id back = find_button(bar);
  ASSERT_NE(back, nullptr);
  const CGRect in_root =
      ui::UIView::convertRect_toView.send(back, ui::UIView::bounds.send(back), host.root_view());
  host.tap(CGPointMake(CGRectGetMinX(in_root) + 10, CGRectGetMidY(in_root)));
  EXPECT_EQ(kTopViewController.send(navigation.get()), pane.get());
  EXPECT_EQ(texts_in(bar), (std::vector<std::string>{"Halvernic", "返回"}));
  host.tap(CGPointMake(CGRectGetMinX(in_root) + 10, CGRectGetMidY(in_root)));
  EXPECT_EQ(kTopViewController.send(navigation.get()), settings.get());
  EXPECT_EQ(texts_in(bar), (std::vector<std::string>{"设置"})) << "no way back from the first page";
  EXPECT_EQ(kNavigationController.send(pane.get()), nullptr);

  // The status bar takes no touch: what lies below it gets it.
  EXPECT_NE(host.tap(CGPointMake(20, 20)), nullptr);
}

// ---- an inset grouped table ------------------------------------------------------------------

long sections(id, SEL, id) { return 2; }
long rows(id, SEL, id, long section) { return section == 0 ? 3 : 1; }
id cell(id, SEL, id, id path) {
  const long section = ui::NSIndexPath::section.send(path), row = ui::NSIndexPath::row.send(path);
  objc::Ref made = objc::Ref::adopt(ui::UITableViewCell::initWithStyle_reuseIdentifier.send(
      ui::NSObject::alloc.send(ui::kUITableViewCell), ui::UITableViewCellStyleValue1, nullptr));
  ui::UILabel::setText.send(
      ui::UITableViewCell::textLabel.send(made.get()),
      objc::string("S" + std::to_string(section) + "R" + std::to_string(row)));
  ui::UIView::setBackgroundColor.send(made.get(), ui::UIColor::whiteColor.send(ui::kUIColor));
  if (section == 0 && row == 0) {
    ui::UILabel::setText.send(ui::UITableViewCell::detailTextLabel.send(made.get()),
                              objc::string("Value"));
    ui::UITableViewCell::setAccessoryType.send(made.get(),
                                               ui::UITableViewCellAccessoryDisclosureIndicator);
  }
  return objc::autorelease(made.leak());
}
id header(id, SEL, id, long section) { return section == 0 ? objc::string("Header") : nullptr; }

struct TableScene {
  hv::uikit::Host host{CGSizeMake(390, 844)};
  objc::Ref source, table;
  explicit TableScene(long style) {
    static Class c =
        objc::ClassBuilder("HVInsetTableSource", "NSObject")
            .protocol("UITableViewDataSource")
            .method(ui::UITableViewDataSource::numberOfSectionsInTableView, &sections)
            .method(ui::UITableViewDataSource::tableView_numberOfRowsInSection, &rows)
            .method(ui::UITableViewDataSource::tableView_cellForRowAtIndexPath, &cell)
            .method(ui::UITableViewDataSource::tableView_titleForHeaderInSection, &header)
            .build();
    source = objc::Ref::adopt(ui::NSObject::init.send(ui::NSObject::alloc.send(c)));
    table = objc::Ref::adopt(ui::UITableView::initWithFrame_style.send(
        ui::NSObject::alloc.send(ui::kUITableView), CGRectMake(0, 0, 390, 844), style));
    ui::UIView::setBackgroundColor.send(
        table.get(), ui::UIColor::systemGroupedBackgroundColor.send(ui::kUIColor));
    ui::UITableView::setDataSource.send(table.get(), source.get());
    ui::UIView::addSubview.send(host.root_view(), table.get());
    ui::UITableView::reloadData.send(table.get());
  }
  id cell_at(long row, long section) {
    return ui::UITableView::cellForRowAtIndexPath.send(
        table.get(),
        ui::NSIndexPath::indexPathForRow_inSection.send(ui::kNSIndexPath, row, section));
  }
};

// Which subview of a cell is the hairline (a thin view of its own, not the content).
id hairline_of(id c) {
  id children = ui::UIView::subviews.send(c);
  for (std::size_t i = 0; i < objc::count(children); ++i) {
    id child = objc::arrayGet(children, i);
    const CGRect f = ui::UIView::frame.send(child);
    if (f.size.height > 0 && f.size.height < 1) return child;
  }
  return nullptr;
}

TEST(InsetGroupedTable, SectionsAreRoundedCardsWithHairlinesAndTheDisclosureChevron) {
  objc::AutoreleasePool pool;
  TableScene scene(ui::UITableViewStyleInsetGrouped);
  struct Expected {
    long row, section;
    unsigned long corners;  // rounded corners (CACornerMask)
    bool hairline;
  };
  for (const Expected& e : {Expected{0, 0, 1 | 2, true}, Expected{1, 0, 0, true},
                            Expected{2, 0, 4 | 8, false}, Expected{0, 1, 15, false}}) {
    SCOPED_TRACE(std::to_string(e.section) + "/" + std::to_string(e.row));
    id c = scene.cell_at(e.row, e.section);
    ASSERT_NE(c, nullptr);
    const CGRect frame = ui::UIView::frame.send(c);
    EXPECT_EQ(frame.origin.x, 20);
    EXPECT_EQ(frame.size.width, 350);
    id layer = ui::UIView::layer.send(c);
    EXPECT_EQ(ui::CALayer::cornerRadius.send(layer), e.corners ? 10 : 0);
    if (e.corners) EXPECT_EQ(kMaskedCorners.send(layer), e.corners);
    EXPECT_EQ(objc::fromBool(ui::CALayer::masksToBounds.send(layer)), e.corners != 0);
    id hairline = hairline_of(c);
    EXPECT_EQ(hairline != nullptr, e.hairline);
    if (hairline) EXPECT_EQ(ui::UIView::frame.send(hairline).origin.x, 16) << "from the text on";
    expect_rect(ui::UIView::frame.send(ui::UITableViewCell::textLabel.send(c)), 16, 0,
                ui::UIView::frame.send(ui::UITableViewCell::textLabel.send(c)).size.width, 44);
  }

  // The disclosure row: a chevron at the trailing margin, the value ending before it.
  id first = scene.cell_at(0, 0);
  auto chevron_of = [](id c) -> id {
    id children = ui::UIView::subviews.send(c);
    for (std::size_t i = 0; i < objc::count(children); ++i) {
      if (objc::isKindOf(objc::arrayGet(children, i), ui::kUIImageView))
        return objc::arrayGet(children, i);
    }
    return nullptr;
  };
  id chevron = chevron_of(first);
  ASSERT_NE(chevron, nullptr);
  const CGRect chevron_frame = ui::UIView::frame.send(chevron);
  EXPECT_NEAR(CGRectGetMaxX(chevron_frame), 350 - 16, 1e-9);
  const CGRect value = ui::UIView::frame.send(ui::UITableViewCell::detailTextLabel.send(first));
  EXPECT_LE(CGRectGetMaxX(value), chevron_frame.origin.x - 8);
  ui::UITableViewCell::setAccessoryType.send(first, ui::UITableViewCellAccessoryNone);
  EXPECT_EQ(chevron_of(first), nullptr) << "the chevron goes";

  // Pixels: the card's outer corner shows the grouped background, the chevron is drawn in
  // a grey between the white row and black.
  ui::UITableViewCell::setAccessoryType.send(first,
                                             ui::UITableViewCellAccessoryDisclosureIndicator);
  chevron = chevron_of(first);
  ASSERT_NE(chevron, nullptr);
  const hv::render::Image image = scene.host.render_image(2);
  const CGRect card = ui::UIView::frame.send(first);
  const hv::render::Rgba corner =
      image.pixel(static_cast<int>(card.origin.x * 2), static_cast<int>(card.origin.y * 2));
  EXPECT_NEAR(corner.r, 242 / 255.0, 0.02) << "the corner is cut off";
  const hv::render::Rgba inside = image.pixel(static_cast<int>((card.origin.x + 100) * 2),
                                              static_cast<int>((card.origin.y + 2) * 2));
  EXPECT_NEAR(inside.r, 1.0, 0.02);
  double darkest = 1;
  const CGRect mark = ui::UIView::convertRect_toView.send(chevron, ui::UIView::bounds.send(chevron),
                                                          scene.host.root_view());
  for (int y = static_cast<int>(mark.origin.y * 2); y < static_cast<int>(CGRectGetMaxY(mark) * 2);
       ++y)
    for (int x = static_cast<int>(mark.origin.x * 2); x < static_cast<int>(CGRectGetMaxX(mark) * 2);
         ++x)
      darkest = std::min(darkest, image.pixel(x, y).r);
  EXPECT_LT(darkest, 0.85);
  EXPECT_GT(darkest, 0.6);
}

TEST(InsetGroupedTable, OtherStylesKeepFullWidthSquareRows) {
  objc::AutoreleasePool pool;
  TableScene scene(ui::UITableViewStyleGrouped);
  id first = scene.cell_at(0, 0);
  EXPECT_EQ(ui::UIView::frame.send(first).origin.x, 0);
  EXPECT_EQ(ui::UIView::frame.send(first).size.width, 390);
  EXPECT_EQ(ui::CALayer::cornerRadius.send(ui::UIView::layer.send(first)), 0);
  EXPECT_EQ(ui::UIView::frame.send(ui::UITableViewCell::textLabel.send(first)).origin.x, 20);
}

}  // namespace
