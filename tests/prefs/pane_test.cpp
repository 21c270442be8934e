// RootListController on the Preferences and UIKit stand-ins: the rows' reads and writes, the
// CPU mode row, and the CPU mode menu's view tree, geometry, colours and motion.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "common/objc/class_builder.hpp"
#include "common/objc/foundation.hpp"
#include "common/objc/system_version.hpp"
#include "common/ui/declarations.hpp"
#include "common/ui/preferences.hpp"
#include "common/ui/quartzcore.hpp"
#include "common/ui/uikit.hpp"
#include "extension/contract/contract.hpp"
#include "hvplatform/uikit_host.hpp"
#include "prefs/controller.hpp"
#include "prefs/mode_menu.hpp"
#include "tests/support/preferences.hpp"

namespace {

namespace ui = halvernic::ui;
namespace prefs = halvernic::prefs;
using ui::NSInteger;

constinit objc::Message<id()> kCpuModeMenuOverlay{"cpuModeMenuOverlay"};
constinit objc::Message<void(id)> kCpuModeMenuItemTapped{"cpuModeMenuItemTapped:"};
constinit objc::Message<void()> kDismissCPUModeMenu{"dismissCPUModeMenu"};
constinit objc::Message<id()> kOpenedDetail{"hvOpenedDetail"};
// What the UIKit stand-in tells tests beyond Apple's API.
constinit objc::Message<ui::NSInteger()> kBlurStyle{"hvStyle"};
constinit objc::Message<CGFloat()> kFontWeight{"hvWeight"};

class Pane : public testing::Test {
protected:
  static void SetUpTestSuite() {
    hv_test::device_root();
    prefs::registerControllerClasses();
  }
  void SetUp() override {
    hv_test::write_preferences({});
    hv::uikit::set_system_version("15.6");
    settle();
  }
  void TearDown() override {
    settle();
    hosts_.clear();
  }
  // Runs every pending animation and completion, and drops the records (which hold views).
  static void settle() {
    hv::uikit::advance(1);
    hv::uikit::forget_animations();
  }

  // A controller shown in a host of W x H points (its view fills the host's root view).
  objc::Ref make_controller(double width = 390, double height = 844,
                            long style = ui::UIUserInterfaceStyleLight) {
    objc::Ref controller = objc::Ref::adopt(ui::PSViewController::initForContentSize.send(
        ui::NSObject::alloc.send(objc::cls("RootListController")), CGSize{width, height}));
    hosts_.push_back(std::make_unique<hv::uikit::Host>(CGSize{width, height}, style));
    hosts_.back()->set_root_view_controller(controller.get());
    return controller;
  }
  hv::uikit::Host& host() { return *hosts_.back(); }
  // A cell-sized view at rect in the controller's view.
  static id add_cell(id controller, CGRect rect) {
    objc::Ref cell = objc::Ref::adopt(
        ui::UIView::initWithFrame.send(ui::NSObject::alloc.send(ui::kUIView.get()), rect));
    ui::UIView::addSubview.send(ui::UIViewController::view.send(controller), cell.get());
    return cell.get();
  }
  static id overlay(id controller) { return kCpuModeMenuOverlay.send(controller); }
  static id container_of(id overlay) {
    return objc::arrayGet(ui::UIView::subviews.send(overlay), 0);
  }
  static id card_of(id overlay) {
    return objc::arrayGet(ui::UIView::subviews.send(container_of(overlay)), 0);
  }
  std::vector<std::unique_ptr<hv::uikit::Host>> hosts_;

  static std::string stored_mode() {
    objc::Ref stored = halvernic::contract::readPreferences(hv_test::preferences_path());
    return objc::toString(objc::dictionaryGet(stored.get(), "thermalPowerMode"));
  }
};

bool near(double a, double b) { return std::fabs(a - b) < 1e-9; }
::testing::AssertionResult rect_is(CGRect r, double x, double y, double w, double h) {
  if (near(r.origin.x, x) && near(r.origin.y, y) && near(r.size.width, w) &&
      near(r.size.height, h)) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << "(" << r.origin.x << ", " << r.origin.y << ", " << r.size.width << ", " << r.size.height
         << ") is not (" << x << ", " << y << ", " << w << ", " << h << ")";
}

// ---- the Preferences stand-in answers what the pane declares
// ---------------------------------------

TEST(PreferencesDeclarations, EveryMessageHasTheStandInsTypes) {
  EXPECT_THAT(ui::declarationMismatches(ui::kPreferencesMessages), testing::IsEmpty());
}

// ---- the menu's frame ------------------------------------------------------------------------

TEST_F(Pane, TheMenuSitsBelowTheCellRightAlignedAndInsideTheView) {
  struct Case {
    const char* what;
    double view_w, view_h;
    CGRect cell;
    CGRect menu;
  };
  const Case cases[] = {
      {"full-width cell", 390, 844, {{0, 300}, {390, 44}}, {{120, 352}, {256, 141}}},
      {"wide cell: 0.56 of its width", 700, 844, {{0, 300}, {600, 44}}, {{250, 352}, {336, 141}}},
      {"narrow view: width clamped, pushed left",
       360,
       844,
       {{0, 300}, {600, 44}},
       {{14, 352}, {332, 141}}},
      {"bottom cell: pushed up over the cell",
       390,
       844,
       {{0, 756}, {390, 44}},
       {{120, 691}, {256, 141}}},
      {"cell ending at 100: left margin", 390, 844, {{0, 300}, {100, 44}}, {{14, 352}, {256, 141}}},
      {"cell scrolled above the top: top margin",
       390,
       844,
       {{0, -100}, {390, 44}},
       {{120, 12}, {256, 141}}},
  };
  for (const Case& c : cases) {
    objc::AutoreleasePool pool;
    objc::Ref controller = make_controller(c.view_w, c.view_h);
    prefs::showCpuModeMenu(controller.get(), add_cell(controller.get(), c.cell));
    id shown = overlay(controller.get());
    ASSERT_NE(shown, nullptr) << c.what;
    EXPECT_TRUE(rect_is(ui::UIView::frame.send(shown), 0, 0, c.view_w, c.view_h)) << c.what;
    hv::uikit::advance(1);
    EXPECT_TRUE(rect_is(ui::UIView::frame.send(container_of(shown)), c.menu.origin.x,
                        c.menu.origin.y, c.menu.size.width, c.menu.size.height))
        << c.what;
  }
}

// ---- rows, check mark, separators --------------------------------------------------------------

struct Part {
  std::string kind;  // "button", "check", "separator", "blur"
  CGRect frame;
  std::string text;
  NSInteger tag = 0;
};

std::vector<Part> parts_of(id card) {
  std::vector<Part> parts;
  id subviews = ui::UIView::subviews.send(card);
  for (std::size_t i = 0; i < objc::count(subviews); ++i) {
    id v = objc::arrayGet(subviews, i);
    Part p;
    p.frame = ui::UIView::frame.send(v);
    p.tag = ui::UIView::tag.send(v);
    if (objc::isKindOf(v, ui::kUIButton)) {
      p.kind = "button";
      p.text = objc::toString(ui::UIButton::titleForState.send(v, ui::UIControlStateNormal));
    } else if (objc::isKindOf(v, ui::kUILabel)) {
      p.kind = "check";
      p.text = objc::toString(ui::UILabel::text.send(v));
    } else if (objc::isKindOf(v, ui::kUIVisualEffectView)) {
      p.kind = "blur";
    } else {
      p.kind = "separator";
    }
    parts.push_back(p);
  }
  return parts;
}

std::vector<std::string> kinds(const std::vector<Part>& parts) {
  std::vector<std::string> out;
  for (const Part& p : parts) out.push_back(p.kind);
  return out;
}

TEST_F(Pane, TheCurrentModeAloneCarriesTheCheckMarkAndTwoSeparatorsDivideThreeRows) {
  struct Case {
    const char* stored;  // nullptr: no file
    std::vector<std::string> order;
    double check_y;
  };
  const Case cases[] = {
      {nullptr, {"blur", "button", "check", "separator", "button", "separator", "button"}, 0},
      {"lowPower", {"blur", "button", "separator", "button", "check", "separator", "button"}, 47},
      {"fullPower", {"blur", "button", "separator", "button", "separator", "button", "check"}, 94},
      {"native", {"blur", "button", "check", "separator", "button", "separator", "button"}, 0},
  };
  for (const Case& c : cases) {
    objc::AutoreleasePool pool;
    if (c.stored) {
      hv_test::write_preferences({{"thermalPowerMode", objc::string(c.stored)}});
    } else {
      hv_test::write_preferences({});
    }
    objc::Ref controller = make_controller();
    prefs::showCpuModeMenu(controller.get(), add_cell(controller.get(), {{0, 300}, {390, 44}}));
    const std::vector<Part> parts = parts_of(card_of(overlay(controller.get())));
    EXPECT_EQ(kinds(parts), c.order) << (c.stored ? c.stored : "no file");
    int buttons = 0;
    for (const Part& p : parts) {
      if (p.kind == "button") {
        EXPECT_EQ(p.tag, buttons);
        EXPECT_TRUE(rect_is(p.frame, 0, 47.0 * buttons, 256, 47));
        EXPECT_EQ(p.text, std::vector<std::string>(
                              {"苹果原生温控", "模拟低电频率", "防止温控降频"})[buttons]);
        ++buttons;
      } else if (p.kind == "check") {
        EXPECT_EQ(p.text, "✓");
        EXPECT_TRUE(rect_is(p.frame, 217, c.check_y, 22, 47));
      } else if (p.kind == "separator") {
        EXPECT_TRUE(rect_is(p.frame, 0, 47.0 * buttons - 0.5, 256, 0.5));
      } else if (p.kind == "blur") {
        EXPECT_TRUE(rect_is(p.frame, 0, 0, 256, 141));
      }
    }
  }
}

}  // namespace

namespace {

id card_of_overlay(id overlay) {
  id container = objc::arrayGet(ui::UIView::subviews.send(overlay), 0);
  return objc::arrayGet(ui::UIView::subviews.send(container), 0);
}

// ---- choosing and closing ---------------------------------------------------------------------

id button_titled(id overlay, const std::string& title) {
  id subviews = ui::UIView::subviews.send(card_of_overlay(overlay));
  for (std::size_t i = 0; i < objc::count(subviews); ++i) {
    id v = objc::arrayGet(subviews, i);
    if (objc::isKindOf(v, ui::kUIButton) &&
        objc::toString(ui::UIButton::titleForState.send(v, ui::UIControlStateNormal)) == title) {
      return v;
    }
  }
  return nullptr;
}

// What the world looked like when the controller reloaded its rows (recorded by an override of
// reloadSpecifiers that then runs the superclass's).
struct AtReload {
  int count = 0;
  std::string mode;
  std::size_t animations = 0;
  bool overlay_cleared = false;
};
AtReload g_at_reload;

void recording_reload_specifiers(id self, SEL cmd) {
  ++g_at_reload.count;
  objc::Ref stored = halvernic::contract::readPreferences(hv_test::preferences_path());
  g_at_reload.mode = objc::toString(objc::dictionaryGet(stored.get(), "thermalPowerMode"));
  g_at_reload.animations = hv::uikit::animations().size();
  g_at_reload.overlay_cleared = kCpuModeMenuOverlay.send(self) == nullptr;
  objc::sendSuper<void>(self, objc::cls("RootListController"), cmd);
}

TEST_F(Pane, ChoosingAModeWritesItThenFadesTheMenuThenReloadsTheRows) {
  static const bool recording = [] {
    objc::ClassBuilder::extend("RootListController")
        .method(ui::PSListController::reloadSpecifiers, &recording_reload_specifiers)
        .build();
    return true;
  }();
  ASSERT_TRUE(recording);
  g_at_reload = {};
  objc::AutoreleasePool pool;
  hv_test::write_preferences({{"thermalCPULimitEnabled", objc::boolean(true)}});
  objc::Ref controller = make_controller();
  id rows_before = ui::PSListController::specifiers.send(controller.get());
  ASSERT_NE(rows_before, nullptr);
  objc::Ref kept_rows = objc::Ref::retain(rows_before);
  prefs::showCpuModeMenu(controller.get(), add_cell(controller.get(), {{0, 300}, {390, 44}}));
  objc::Ref shown = objc::Ref::retain(overlay(controller.get()));
  hv::uikit::advance(1);
  hv::uikit::forget_animations();

  // A real touch on the row: hit-testing finds the button, its action is the controller's.
  id button = button_titled(shown.get(), "模拟低电频率");
  ASSERT_NE(button, nullptr);
  const CGRect b = ui::UIView::bounds.send(button);
  const CGRect at = ui::UIView::convertRect_toView.send(button, b, host().root_view());
  host().tap(CGPoint{at.origin.x + at.size.width / 2, at.origin.y + at.size.height / 2});

  EXPECT_EQ(stored_mode(), "lowPower");
  objc::Ref stored = halvernic::contract::readPreferences(hv_test::preferences_path());
  EXPECT_EQ(objc::dictionaryGet(stored.get(), "thermalCPULimitEnabled"), nullptr);
  EXPECT_EQ(overlay(controller.get()), nullptr) << "the reference is cleared before the fade";
  const auto fades = hv::uikit::animations();
  ASSERT_EQ(fades.size(), 1u);
  EXPECT_DOUBLE_EQ(fades[0].duration, 0.12);
  EXPECT_NE(ui::PSListController::specifiers.send(controller.get()), kept_rows.get())
      << "rows reloaded";
  EXPECT_EQ(g_at_reload.count, 1);
  EXPECT_EQ(g_at_reload.mode, "lowPower") << "written before the reload";
  EXPECT_EQ(g_at_reload.animations, 1u) << "the fade started before the reload";
  EXPECT_TRUE(g_at_reload.overlay_cleared);
  EXPECT_EQ(ui::UIView::superview.send(shown.get()),
            ui::UIViewController::view.send(controller.get()))
      << "still fading";
  hv::uikit::advance(0.13);
  EXPECT_EQ(ui::UIView::superview.send(shown.get()), nullptr) << "removed when the fade completes";
}

TEST_F(Pane, ARowTagOutOfRangeChangesNothingAndLeavesTheMenuOpen) {
  objc::AutoreleasePool pool;
  objc::Ref controller = make_controller();
  prefs::showCpuModeMenu(controller.get(), add_cell(controller.get(), {{0, 300}, {390, 44}}));
  id shown = overlay(controller.get());
  for (NSInteger tag : {-1L, 3L, 1000L}) {
    objc::Ref sender = objc::Ref::adopt(
        ui::UIView::initWithFrame.send(ui::NSObject::alloc.send(ui::kUIButton.get()), CGRect{}));
    ui::UIView::setTag.send(sender.get(), tag);
    kCpuModeMenuItemTapped.send(controller.get(), sender.get());
    EXPECT_EQ(overlay(controller.get()), shown) << tag;
  }
  EXPECT_FALSE(std::ifstream(hv_test::preferences_path()).good()) << "nothing written";
}

TEST_F(Pane, AnOldMenusFadeNeverRemovesTheNewerMenu) {
  objc::AutoreleasePool pool;
  objc::Ref controller = make_controller();
  id cell = add_cell(controller.get(), {{0, 300}, {390, 44}});
  prefs::showCpuModeMenu(controller.get(), cell);
  objc::Ref first = objc::Ref::retain(overlay(controller.get()));
  hv::uikit::advance(0.05);
  prefs::showCpuModeMenu(controller.get(), cell);  // closes the first, opens a second at once
  objc::Ref second = objc::Ref::retain(overlay(controller.get()));
  ASSERT_NE(second.get(), first.get());
  id view = ui::UIViewController::view.send(controller.get());
  EXPECT_EQ(ui::UIView::superview.send(first.get()), view)
      << "the first fades while the second opens";
  hv::uikit::advance(0.2);
  EXPECT_EQ(ui::UIView::superview.send(first.get()), nullptr);
  EXPECT_EQ(ui::UIView::superview.send(second.get()), view);
  EXPECT_EQ(overlay(controller.get()), second.get());

  kDismissCPUModeMenu.send(controller.get());
  EXPECT_EQ(overlay(controller.get()), nullptr);
  kDismissCPUModeMenu.send(controller.get());  // nothing open: nothing happens
  hv::uikit::advance(0.2);
  EXPECT_EQ(ui::UIView::superview.send(second.get()), nullptr);
}

TEST_F(Pane, AnOverlayThePlatformRemovedReadsNilAndANewMenuOpens) {
  objc::AutoreleasePool pool;
  objc::Ref controller = make_controller();
  id cell = add_cell(controller.get(), {{0, 300}, {390, 44}});
  {
    objc::AutoreleasePool inner;
    prefs::showCpuModeMenu(controller.get(), cell);
    hv::uikit::advance(1);
    hv::uikit::forget_animations();  // the recorder holds the views it animated
    ui::UIView::removeFromSuperview.send(overlay(controller.get()));
  }
  EXPECT_EQ(overlay(controller.get()), nullptr) << "weak: the removed overlay is gone";
  prefs::showCpuModeMenu(controller.get(), cell);
  EXPECT_NE(overlay(controller.get()), nullptr);
}

// ---- the controller's rows --------------------------------------------------------------------

objc::Ref specifier_with(std::initializer_list<std::pair<const char*, id>> entries) {
  objc::Ref specifier =
      objc::Ref::adopt(ui::NSObject::init.send(ui::NSObject::alloc.send(ui::kPSSpecifier.get())));
  for (const auto& [key, value] : entries)
    ui::PSSpecifier::setProperty_forKey.send(specifier.get(), value, objc::string(key));
  return specifier;
}

TEST_F(Pane, ARowReadsTheFileAsItIsAtEachRead) {
  objc::AutoreleasePool pool;
  objc::Ref controller = make_controller();
  objc::Ref row = specifier_with(
      {{"key", objc::string("thermalPreventDimmingEnabled")}, {"default", objc::boolean(false)}});
  auto read = [&] {
    return ui::PSViewController::readPreferenceValue.send(controller.get(), row.get());
  };
  EXPECT_TRUE(objc::objectsEqual(read(), objc::boolean(false)));
  hv_test::write_preferences({{"thermalPreventDimmingEnabled", objc::boolean(true)}});
  EXPECT_TRUE(objc::objectsEqual(read(), objc::boolean(true)));
  hv_test::write_preferences({{"thermalPreventDimmingEnabled", objc::number(7)}});
  EXPECT_EQ(objc::int64Value(read()), 7);
  std::ofstream(hv_test::preferences_path(), std::ios::trunc) << "<plist><array/></plist>";
  EXPECT_TRUE(objc::objectsEqual(read(), objc::boolean(false)));
}

// The CPU mode row shows the mode its menu checks: anything but the three values is the
// native mode, never an empty value; other rows show what is stored.
TEST_F(Pane, TheModeRowReadsWhatTheMenuChecks) {
  objc::AutoreleasePool pool;
  objc::Ref controller = make_controller();
  objc::Ref row = specifier_with(
      {{"key", objc::string("thermalPowerMode")}, {"default", objc::string("lowPower")}});
  auto read = [&] {
    return objc::toString(
        ui::PSViewController::readPreferenceValue.send(controller.get(), row.get()));
  };
  EXPECT_EQ(read(), "off") << "no file";
  struct Case {
    id stored;
    const char* shown;
  };
  for (const Case& c :
       {Case{objc::string("native"), "off"}, Case{objc::string("FullPower"), "off"},
        Case{objc::number(1), "off"}, Case{objc::string(""), "off"},
        Case{objc::string("lowPower"), "lowPower"}, Case{objc::string("fullPower"), "fullPower"}}) {
    hv_test::write_preferences({{"thermalPowerMode", c.stored}});
    EXPECT_EQ(read(), c.shown) << objc::toString(
        objc::send<id>(c.stored, objc::sel("description")));
  }
  hv_test::write_preferences(
      {{"thermalPowerMode", objc::number(1)}, {"thermalSunlightLockedEnabled", objc::number(1)}});
  objc::Ref other = specifier_with({{"key", objc::string("thermalSunlightLockedEnabled")}});
  EXPECT_EQ(objc::int64Value(
                ui::PSViewController::readPreferenceValue.send(controller.get(), other.get())),
            1);
}

TEST_F(Pane, AChangeGoesToTheFileNeverToThePlatformsStore) {
  objc::AutoreleasePool pool;
  objc::Ref controller = make_controller();
  // The base class would keep this in the "defaults" domain and post the row's notification.
  objc::Ref row = specifier_with({{"key", objc::string("thermalSunlightLockedEnabled")},
                                  {"defaults", objc::string("com.example.domain")},
                                  {"PostNotification", objc::string("com.example.changed")}});
  ui::PSViewController::setPreferenceValue_specifier.send(controller.get(), objc::boolean(true),
                                                          row.get());
  objc::Ref stored = halvernic::contract::readPreferences(hv_test::preferences_path());
  EXPECT_TRUE(objc::objectsEqual(objc::dictionaryGet(stored.get(), "thermalSunlightLockedEnabled"),
                                 objc::boolean(true)));
  EXPECT_FALSE(std::ifstream(hv_test::device_root() /
                             "var/jb/var/mobile/Library/Preferences/com.example.domain.plist")
                   .good());

  // A row without a string key: the change is dropped.
  hv_test::write_preferences({});
  for (id key : {static_cast<id>(nullptr), objc::number(3)}) {
    objc::Ref keyless = specifier_with({{"default", objc::boolean(true)}});
    if (key) ui::PSSpecifier::setProperty_forKey.send(keyless.get(), key, objc::string("key"));
    ui::PSViewController::setPreferenceValue_specifier.send(controller.get(), objc::boolean(false),
                                                            keyless.get());
    EXPECT_FALSE(std::ifstream(hv_test::preferences_path()).good());
    EXPECT_TRUE(objc::objectsEqual(
        ui::PSViewController::readPreferenceValue.send(controller.get(), keyless.get()),
        objc::boolean(true)));
  }
}

TEST_F(Pane, OnlyTheExactCPUModeLabelOpensTheMenu) {
  objc::AutoreleasePool pool;
  objc::Ref controller = make_controller();
  ui::UIViewController::view.send(controller.get());
  id table = ui::PSListController::table.send(controller.get());
  ASSERT_NE(table, nullptr);
  id rows = ui::PSListController::specifiers.send(controller.get());
  id cpu_row =
      ui::PSListController::specifierForID.send(controller.get(), objc::string("CPU 模式"));
  ASSERT_NE(cpu_row, nullptr);
  id path = ui::PSListController::indexPathForSpecifier.send(controller.get(), cpu_row);
  ASSERT_NE(path, nullptr);
  ui::UIView::layoutIfNeeded.send(ui::UIViewController::view.send(controller.get()));

  for (const char* label : {"CPU模式", "cpu 模式", "CPU 模式 ", " CPU 模式", "CPU  模式"}) {
    ui::PSSpecifier::setName.send(cpu_row, objc::string(label));
    ui::UITableView::reloadData.send(table);
    ui::UIView::layoutIfNeeded.send(ui::UIViewController::view.send(controller.get()));
    objc::setIvar(controller.get(), "_hvOpenedDetail", nullptr);
    ui::UITableViewDelegate::tableView_didSelectRowAtIndexPath.send(controller.get(), table, path);
    EXPECT_EQ(overlay(controller.get()), nullptr) << label;
    EXPECT_TRUE(objc::stringEquals(kOpenedDetail.send(controller.get()), "PSListItemsController"))
        << label << ": the superclass's selection ran";
  }
  ui::PSSpecifier::setName.send(cpu_row, objc::string("CPU 模式"));
  ui::UITableView::reloadData.send(table);
  ui::UIView::layoutIfNeeded.send(ui::UIViewController::view.send(controller.get()));
  objc::setIvar(controller.get(), "_hvOpenedDetail", nullptr);
  ui::UITableViewDelegate::tableView_didSelectRowAtIndexPath.send(controller.get(), table, path);
  EXPECT_NE(overlay(controller.get()), nullptr);
  EXPECT_EQ(kOpenedDetail.send(controller.get()), nullptr) << "the superclass is not called";
  EXPECT_EQ(ui::UITableView::indexPathForSelectedRow.send(table), nullptr)
      << "the row is deselected";
  EXPECT_EQ(objc::count(rows), 10u);
}

TEST_F(Pane, SpecifiersKeepAMutableArrayAndLoadTheRootResourceOtherwise) {
  objc::AutoreleasePool pool;
  objc::Ref controller = make_controller();
  objc::Ref mine = objc::makeMutableArray();
  ui::PSListController::setSpecifiers.send(controller.get(), mine.get());
  EXPECT_EQ(ui::PSListController::specifiers.send(controller.get()), mine.get())
      << "returned as it is, even empty";
  // An immutable array is no loaded row list: the resource is read again.
  objc::Ref fixed = objc::Ref::adopt(objc::send<id>(objc::cls("NSArray"), objc::sel("new")));
  ui::PSListController::setSpecifiers.send(controller.get(), fixed.get());
  id loaded = ui::PSListController::specifiers.send(controller.get());
  EXPECT_NE(loaded, fixed.get());
  EXPECT_EQ(objc::getIvar(controller.get(), "_specifiers"), loaded)
      << "kept in the superclass's storage";
}

TEST_F(Pane, EveryInitialiserSetsTheModeTable) {
  objc::AutoreleasePool pool;
  Class controller_class = objc::cls("RootListController");
  std::vector<objc::Ref> made;
  made.push_back(make_controller());
  made.push_back(objc::Ref::adopt(ui::UIViewController::initWithNibName_bundle.send(
      ui::NSObject::alloc.send(controller_class), nullptr, nullptr)));
  for (const objc::Ref& controller : made) {
    ASSERT_TRUE(controller);
    EXPECT_TRUE(objc::stringEquals(objc::send<id>(controller.get(), objc::sel("cpuModeKey")),
                                   "thermalPowerMode"));
    id values = objc::send<id>(controller.get(), objc::sel("cpuModeValues"));
    id titles = objc::send<id>(controller.get(), objc::sel("cpuModeTitles"));
    ASSERT_EQ(objc::count(values), 3u);
    ASSERT_EQ(objc::count(titles), 3u);
    const char* expected_values[] = {"off", "lowPower", "fullPower"};
    const char* expected_titles[] = {"苹果原生温控", "模拟低电频率", "防止温控降频"};
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_TRUE(objc::stringEquals(objc::arrayGet(values, i), expected_values[i]));
      EXPECT_TRUE(objc::stringEquals(objc::arrayGet(titles, i), expected_titles[i]));
    }
    EXPECT_EQ(overlay(controller.get()), nullptr);
  }
}

}  // namespace

namespace {

// ---- colours ------------------------------------------------------------------------------------

struct Rgba {
  double r = -1, g = -1, b = -1, a = -1;
};

Rgba resolved(id colour, long style) {
  id traits = ui::UITraitCollection::traitCollectionWithUserInterfaceStyle.send(
      ui::kUITraitCollection.get(), style);
  id plain = ui::UIColor::resolvedColorWithTraitCollection.send(colour, traits);
  Rgba c;
  ui::UIColor::getRed_green_blue_alpha.send(plain, &c.r, &c.g, &c.b, &c.a);
  return c;
}

::testing::AssertionResult colour_is(Rgba c, double r, double g, double b, double a) {
  const double e = 1e-6;
  if (std::fabs(c.r - r) < e && std::fabs(c.g - g) < e && std::fabs(c.b - b) < e &&
      std::fabs(c.a - a) < e) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << "(" << c.r << ", " << c.g << ", " << c.b << ", " << c.a << ") is not (" << r << ", "
         << g << ", " << b << ", " << a << ")";
}

struct MenuColours {
  id card, title, separator, check;
};

MenuColours colours_of(id overlay) {
  id card = card_of_overlay(overlay);
  MenuColours m{ui::UIView::backgroundColor.send(card), nullptr, nullptr, nullptr};
  id subviews = ui::UIView::subviews.send(card);
  for (std::size_t i = 0; i < objc::count(subviews); ++i) {
    id v = objc::arrayGet(subviews, i);
    if (objc::isKindOf(v, ui::kUIButton)) {
      m.title = ui::UIButton::titleColorForState.send(v, ui::UIControlStateNormal);
    } else if (objc::isKindOf(v, ui::kUILabel)) {
      m.check = ui::UILabel::textColor.send(v);
    } else if (!objc::isKindOf(v, ui::kUIVisualEffectView)) {
      m.separator = ui::UIView::backgroundColor.send(v);
    }
  }
  return m;
}

void expect_light(const MenuColours& m, long style, const char* what) {
  EXPECT_TRUE(colour_is(resolved(m.card, style), 0.98, 0.98, 0.98, 0.86)) << what;
  EXPECT_TRUE(colour_is(resolved(m.title, style), 0, 0, 0, 1)) << what;
  EXPECT_TRUE(colour_is(resolved(m.separator, style), 0, 0, 0, 0.1)) << what;
  EXPECT_TRUE(colour_is(resolved(m.check, style), 0, 0.36, 1, 1)) << what;
}

void expect_dark(const MenuColours& m, long style, const char* what) {
  EXPECT_TRUE(colour_is(resolved(m.card, style), 0.12, 0.12, 0.12, 0.95)) << what;
  EXPECT_TRUE(colour_is(resolved(m.title, style), 1, 1, 1, 1)) << what;
  EXPECT_TRUE(colour_is(resolved(m.separator, style), 1, 1, 1, 0.12)) << what;
  EXPECT_TRUE(colour_is(resolved(m.check, style), 0.4, 0.7, 1, 1)) << what;
}

TEST_F(Pane, TheMenuColoursFollowTheAppearanceEvenAfterTheBuildingPoolDrained) {
  objc::Ref controller = make_controller();
  id cell = add_cell(controller.get(), {{0, 300}, {390, 44}});
  {
    objc::AutoreleasePool building;
    prefs::showCpuModeMenu(controller.get(), cell);
  }
  settle();
  objc::AutoreleasePool pool;
  id shown = overlay(controller.get());
  ASSERT_NE(shown, nullptr);
  const MenuColours m = colours_of(shown);
  expect_light(m, ui::UIUserInterfaceStyleLight, "light");
  expect_light(m, ui::UIUserInterfaceStyleUnspecified, "unspecified");
  expect_dark(m, ui::UIUserInterfaceStyleDark, "dark");

  // Switching while open: the card's own traits now say dark, and every colour of the open
  // menu resolves through them (the providers run now, long after the pool drained).
  host().set_appearance(ui::UIUserInterfaceStyleDark);
  id card = card_of_overlay(shown);
  const long now =
      ui::UITraitCollection::userInterfaceStyle.send(ui::UIView::traitCollection.send(card));
  EXPECT_EQ(now, ui::UIUserInterfaceStyleDark);
  expect_dark(m, now, "after switching to dark while open");
  host().set_appearance(ui::UIUserInterfaceStyleLight);
  expect_light(
      m, ui::UITraitCollection::userInterfaceStyle.send(ui::UIView::traitCollection.send(card)),
      "and back to light");
}

TEST_F(Pane, BeforeIOS13TheMenuHasNoBlurAndKeepsItsLightColours) {
  hv::uikit::set_system_version("12.4");
  objc::AutoreleasePool pool;
  objc::Ref controller = make_controller(390, 844, ui::UIUserInterfaceStyleDark);
  prefs::showCpuModeMenu(controller.get(), add_cell(controller.get(), {{0, 300}, {390, 44}}));
  id shown = overlay(controller.get());
  ASSERT_NE(shown, nullptr);
  id card = card_of_overlay(shown);
  const std::vector<Part> parts = parts_of(card);
  EXPECT_EQ(kinds(parts), (std::vector<std::string>{"button", "check", "separator", "button",
                                                    "separator", "button"}));
  EXPECT_EQ(ui::CALayer::cornerCurve.send(ui::UIView::layer.send(card)) != nullptr &&
                objc::stringEquals(ui::CALayer::cornerCurve.send(ui::UIView::layer.send(card)),
                                   "continuous"),
            false);
  const MenuColours m = colours_of(shown);
  expect_light(m, ui::UIUserInterfaceStyleDark, "fixed colours in a dark appearance");
}

}  // namespace

namespace {

// ---- the view tree against the menu's constants
// ---------------------------------------------------

struct Fact {
  std::string what;
  double actual, expected;
};

std::vector<double> transform_values(CGAffineTransform t) {
  return {t.a, t.b, t.c, t.d, t.tx, t.ty};
}

TEST_F(Pane, TheMenusViewTreeCarriesItsConstants) {
  objc::AutoreleasePool pool;
  objc::Ref controller = make_controller();
  settle();
  prefs::showCpuModeMenu(controller.get(), add_cell(controller.get(), {{0, 300}, {390, 44}}));
  id shown = overlay(controller.get());
  ASSERT_NE(shown, nullptr);
  id container = container_of(shown);
  id card = card_of_overlay(shown);
  id shadow = ui::UIView::layer.send(container);
  id card_layer = ui::UIView::layer.send(card);
  id subviews = ui::UIView::subviews.send(card);
  id blur = objc::arrayGet(subviews, 0);
  id button = objc::arrayGet(subviews, 1);
  id check = objc::arrayGet(subviews, 2);
  ASSERT_TRUE(objc::isKindOf(blur, ui::kUIVisualEffectView));
  ASSERT_TRUE(objc::isKindOf(button, ui::kUIButton));
  ASSERT_TRUE(objc::isKindOf(check, ui::kUILabel));

  const auto opened = hv::uikit::animations();
  ASSERT_EQ(opened.size(), 1u);
  const hv::uikit::AnimationRecord& open = opened[0];
  const CGColorRef shadow_colour = ui::CALayer::shadowColor.send(shadow);
  ASSERT_NE(shadow_colour, nullptr);
  const CGFloat* black = CGColorGetComponents(shadow_colour);
  const CGRect shadow_box = CGPathGetBoundingBox(ui::CALayer::shadowPath.send(shadow));
  const ui::UIEdgeInsets insets = ui::UIButton::titleEdgeInsets.send(button);
  const CGRect check_frame = ui::UIView::frame.send(check);
  id blur_effect = ui::UIVisualEffectView::effect.send(blur);
  id title_font = ui::UILabel::font.send(ui::UIButton::titleLabel.send(button));

  std::vector<Fact> facts = {
      {"overlay autoresizing", double(ui::UIView::autoresizingMask.send(shown)), 0x12},
      {"opening duration", open.duration, 0.16},
      {"opening delay", open.delay, 0},
      {"opening options", double(open.options), 0x20000},
      {"opening changes", double(open.changes.size()), 2},
      {"shadow colour red", black[0], 0},
      {"shadow colour alpha", black[3], 1},
      {"shadow opacity", ui::CALayer::shadowOpacity.send(shadow), 0.25},
      {"shadow radius", ui::CALayer::shadowRadius.send(shadow), 20},
      {"shadow offset x", ui::CALayer::shadowOffset.send(shadow).width, 0},
      {"shadow offset y", ui::CALayer::shadowOffset.send(shadow).height, 8},
      {"shadow path width", shadow_box.size.width, 256},
      {"shadow path height", shadow_box.size.height, 141},
      {"corner radius", ui::CALayer::cornerRadius.send(card_layer), 14},
      {"clipping", double(objc::fromBool(ui::CALayer::masksToBounds.send(card_layer))), 1},
      {"continuous corners",
       double(objc::stringEquals(ui::CALayer::cornerCurve.send(card_layer), "continuous")), 1},
      {"blur style", double(kBlurStyle.send(blur_effect)), 7},
      {"blur index", double(objc::arrayGet(subviews, 0) == blur), 1},
      {"blur autoresizing", double(ui::UIView::autoresizingMask.send(blur)), 0x12},
      {"button type", double(ui::UIButton::buttonType.send(button)), 1},
      {"content alignment", double(ui::UIControl::contentHorizontalAlignment.send(button)), 1},
      {"title font size", ui::UIFont::pointSize.send(title_font), 16},
      {"title font weight", kFontWeight.send(title_font), UIFontWeightRegular},
      {"title inset top", insets.top, 0},
      {"title inset left", insets.left, 18},
      {"title inset bottom", insets.bottom, 0},
      {"title inset right", insets.right, 48},
      {"check alignment", double(ui::UILabel::textAlignment.send(check)), 1},
      {"check font size", ui::UIFont::pointSize.send(ui::UILabel::font.send(check)), 19},
      {"check font weight", kFontWeight.send(ui::UILabel::font.send(check)), UIFontWeightSemibold},
      {"check x", check_frame.origin.x, 256 - 39},
      {"check width", check_frame.size.width, 22},
      {"check height", check_frame.size.height, 47},
      {"card frame width", ui::UIView::frame.send(card).size.width, 256},
      {"container alpha at rest", ui::UIView::alpha.send(container), 1},
  };
  for (const hv::uikit::PropertyChange& change : open.changes) {
    EXPECT_EQ(change.view, container) << change.property;
    if (change.property == "alpha") {
      facts.push_back({"opening alpha from", change.from.at(0), 0});
      facts.push_back({"opening alpha to", change.to.at(0), 1});
    } else if (change.property == "transform") {
      const std::vector<double> scaled =
          transform_values(CGAffineTransform{0.96, 0, 0, 0.96, 0, 0});
      const std::vector<double> identity = transform_values(CGAffineTransform{1, 0, 0, 1, 0, 0});
      for (std::size_t i = 0; i < 6; ++i) {
        facts.push_back(
            {"opening transform from " + std::to_string(i), change.from.at(i), scaled[i]});
        facts.push_back(
            {"opening transform to " + std::to_string(i), change.to.at(i), identity[i]});
      }
    } else {
      ADD_FAILURE() << "unexpected animated property " << change.property;
    }
  }
  EXPECT_EQ(objc::toString(ui::UILabel::text.send(check)), "✓");

  settle();
  kDismissCPUModeMenu.send(controller.get());
  const auto closed = hv::uikit::animations();
  ASSERT_EQ(closed.size(), 1u);
  facts.push_back({"closing duration", closed[0].duration, 0.12});
  facts.push_back({"closing delay", closed[0].delay, 0});
  facts.push_back({"closing options", double(closed[0].options), 0});
  ASSERT_EQ(closed[0].changes.size(), 1u);
  EXPECT_EQ(closed[0].changes[0].view, shown);
  EXPECT_EQ(closed[0].changes[0].property, "alpha");
  facts.push_back({"closing alpha from", closed[0].changes[0].from.at(0), 1});
  facts.push_back({"closing alpha to", closed[0].changes[0].to.at(0), 0});

  for (const Fact& f : facts) EXPECT_NEAR(f.actual, f.expected, 1e-6) << f.what;
}

}  // namespace
