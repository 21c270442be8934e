// HalvernicCC as Control Center drives it: the module object, the tile, the tile's taps, the
// expanded menu and its row taps, each checked on the view tree, the preferences file and
// the notify service.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ccmodule/messages.hpp"
#include "common/objc/class_builder.hpp"
#include "common/objc/exception.hpp"
#include "common/objc/weak.hpp"
#include "common/ui/declarations.hpp"
#include "hvplatform/controlcenter_testing.h"
#include "tests/ccmodule/module_fixture.hpp"
#include "tests/ccmodule/publications.hpp"

namespace {

namespace contract = halvernic::contract;
namespace ui = halvernic::ui;
namespace own = halvernic::ccmodule::HalvernicCCModuleViewController;
namespace cc = ui::CCUIMenuModuleViewController;
namespace button = ui::CCUIButtonModuleViewController;
namespace item = ui::CCUIMenuModuleItem;
namespace menu_row = ui::CCUIMenuModuleItemView;
namespace content = ui::CCUIContentModuleContentViewController;

using hv_test::ModuleTest;

std::vector<std::string> strings(id array) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < objc::count(array); ++i)
    out.push_back(objc::toString(objc::arrayGet(array, i)));
  return out;
}

bool same_color(id a, id b) {
  CGFloat ar = -1, ag = -1, ab = -1, aa = -1, br = -2, bg = -2, bb = -2, ba = -2;
  ui::UIColor::getRed_green_blue_alpha.send(a, &ar, &ag, &ab, &aa);
  ui::UIColor::getRed_green_blue_alpha.send(b, &br, &bg, &bb, &ba);
  return ar == br && ag == bg && ab == bb && aa == ba;
}

id white() { return ui::UIColor::whiteColor.send(ui::kUIColor); }

void tap_tile(id controller) {
  // The tile's button, as a finger lifting inside it would.
  ui::UIControl::sendActionsForControlEvents.send(HVCCTestTileButton(controller),
                                                  ui::UIControlEventTouchUpInside);
}

void tap_row(id row_view) {
  ui::UIControl::sendActionsForControlEvents.send(row_view, ui::UIControlEventTouchUpInside);
}

// ---- the module object and the controller's table ------------------------------------------

TEST(ControlCenterUIKitStandIn, ImplementsEveryDeclaredMessageWithTheDeclaredTypes) {
  hv_test::module_class();  // the stand-in is loaded with the bundle
  EXPECT_THAT(ui::declarationMismatches(ui::kControlCenterUIKitMessages), testing::IsEmpty());
}

TEST_F(ModuleTest, TheModuleKeepsOneContentControllerAndNoBackground) {
  objc::AutoreleasePool pool;
  EXPECT_STREQ(objc::className(objc::classOf(controller_)), "HalvernicCCModuleViewController");
  EXPECT_TRUE(objc::isKindOf(controller_, ui::kCCUIMenuModuleViewController));
  EXPECT_EQ(ui::CCUIContentModule::contentViewController.send(module_.get()), controller_)
      << "the same one each time";
  EXPECT_EQ(ui::CCUIContentModule::backgroundViewController.send(module_.get()), nullptr);
  // Under the ivar names Control Center's own modules use.
  EXPECT_EQ(ui::NSObject::valueForKey.send(module_.get(), objc::string("_contentViewController")),
            controller_);
  EXPECT_EQ(ui::NSObject::valueForKey.send(module_.get(), objc::string("backgroundViewController")),
            nullptr);
  EXPECT_TRUE(
      class_conformsToProtocol(hv_test::module_class(), objc_getProtocol("CCUIContentModule")));
}

TEST_F(ModuleTest, TheModeTableInOrderAndTheLockScreen) {
  objc::AutoreleasePool pool;
  EXPECT_EQ(strings(own::modeValues.send(controller_)),
            (std::vector<std::string>{"off", "lowPower", "fullPower"}));
  EXPECT_EQ(strings(own::modeTitles.send(controller_)),
            (std::vector<std::string>{"原生态", "低电量", "满频率"}));
  EXPECT_EQ(strings(own::modeSubtitles.send(controller_)),
            (std::vector<std::string>{"苹果原生温控", "模拟低电频率", "防止温控降频"}));
  EXPECT_EQ(selected_index(), 0);
  EXPECT_TRUE(objc::fromBool(cc::_canShowWhileLocked.send(controller_)));
  EXPECT_TRUE(
      objc::fromBool(content::shouldBeginTransitionToExpandedContentModule.send(controller_)));
  EXPECT_FALSE(objc::fromBool(ui::UIViewController::isViewLoaded.send(controller_)))
      << "no view before it is asked for";
}

// ---- the tile -----------------------------------------------------------------------------

TEST_F(ModuleTest, TheTileIsSetUpWhenItsViewLoadsAndHasNoRowsYet) {
  objc::AutoreleasePool pool;
  present();
  EXPECT_TRUE(objc::stringEquals(ui::UIViewController::title.send(controller_), "Halvernic"));
  EXPECT_EQ(cc::indentation.send(controller_), 2u);
  EXPECT_TRUE(objc::fromBool(cc::useTrailingCheckmarkLayout.send(controller_)));
  EXPECT_TRUE(objc::fromBool(cc::shouldProvideOwnPlatter.send(controller_)));
  EXPECT_TRUE(same_color(button::selectedGlyphColor.send(controller_),
                         ui::UIColor::systemOrangeColor.send(ui::kUIColor)));
  id glyph = button::glyphImage.send(controller_);
  ASSERT_NE(glyph, nullptr);
  id header = ui::NSObject::valueForKey.send(controller_, objc::string("_titleLabel"));
  EXPECT_TRUE(objc::stringEquals(ui::UILabel::text.send(header), "Halvernic"));
  EXPECT_TRUE(same_color(ui::UILabel::textColor.send(header), white())) << "forced white";

  EXPECT_EQ(objc::count(rows()), 0u) << "rows are built on the way into the expanded menu only";
  EXPECT_FALSE(selected());
  EXPECT_EQ(glyph_state(), "off");
}

TEST_F(ModuleTest, TileTapsCycleFromEveryStartAndKeepTheOtherKeys) {
  struct Start {
    id stored;  // nil: no key
    const char* next;
  };
  objc::AutoreleasePool pool;
  present();
  const std::vector<Start> starts = {
      {objc::string("off"), "lowPower"},    {objc::string("lowPower"), "fullPower"},
      {objc::string("fullPower"), "off"},   {nullptr, "lowPower"},
      {objc::string("native"), "lowPower"}, {objc::string("FullPower"), "lowPower"},
      {objc::number(2), "lowPower"}};
  for (const Start& start : starts) {
    const std::string from = start.stored ? objc::toString(start.stored) : "<none>";
    if (start.stored) {
      hv_test::write_preferences({{contract::kPowerModeKey, start.stored},
                                  {contract::kPreventDimmingKey, objc::boolean(true)},
                                  {"thermalCPULimitPercent", objc::number(40)},
                                  {"thermalPuppetValue", objc::number(1)}});
    } else {
      hv_test::write_preferences({{contract::kPreventDimmingKey, objc::boolean(true)},
                                  {"thermalCPULimitPercent", objc::number(40)},
                                  {"thermalPuppetValue", objc::number(1)}});
    }
    tap_tile(controller_);
    EXPECT_EQ(mode_in_file(), start.next) << "from " << from;
    objc::Ref file = contract::readPreferences(hv_test::preferences_path());
    for (const char* key : contract::kModeResetKeys)
      EXPECT_EQ(objc::dictionaryGet(file.get(), key), nullptr) << key;
    EXPECT_TRUE(
        objc::platformBoolValue(objc::dictionaryGet(file.get(), contract::kPreventDimmingKey)))
        << "kept, from " << from;
    EXPECT_EQ(objc::count(file.get()), 2u);
    const bool lit = std::string(start.next) != "off";
    EXPECT_EQ(selected(), lit) << "from " << from;
    EXPECT_EQ(glyph_state(), lit ? "on" : "off") << "from " << from;
  }

  // Three taps from nothing go all the way round.
  hv_test::write_preferences({});
  std::vector<std::string> seen;
  for (int i = 0; i < 4; ++i) {
    tap_tile(controller_);
    seen.push_back(mode_in_file());
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"lowPower", "fullPower", "off", "lowPower"}));
}

TEST_F(ModuleTest, ATileTapIsAnnouncedAndThenPassedToTheSuperclassUnchanged) {
  objc::AutoreleasePool pool;
  present();
  hv_test::Publications seen;
  id tile = HVCCTestTileButton(controller_);
  ASSERT_NE(tile, nullptr);
  tap_tile(controller_);
  EXPECT_EQ(seen.names(), hv_test::kOneChoice);
  ASSERT_EQ(seen.words().size(), 1u);
  EXPECT_EQ(seen.words()[0], 0x48414C5600000000ull);
  id sender = nullptr;
  EXPECT_EQ(HVCCTestButtonTaps(controller_, &sender, nullptr), 1);
  EXPECT_EQ(sender, tile);
  EXPECT_EQ(mode_in_file(), "lowPower") << "the superclass changed nothing";
}

TEST_F(ModuleTest, PresentationAndAppearanceReReadTheFile) {
  objc::AutoreleasePool pool;
  present();
  hv_test::write_preferences({{contract::kPowerModeKey, objc::string("fullPower")}});
  content::controlCenterWillPresent.send(controller_);
  EXPECT_EQ(selected_index(), 2);
  EXPECT_TRUE(selected());
  EXPECT_EQ(glyph_state(), "on");

  hv_test::write_preferences({{contract::kPowerModeKey, objc::string("fullpower")}});
  ui::UIViewController::viewWillAppear.send(controller_, YES);
  EXPECT_EQ(selected_index(), 0);
  EXPECT_FALSE(selected());
  EXPECT_EQ(glyph_state(), "off");
}

// ---- the expanded menu --------------------------------------------------------------------

TEST_F(ModuleTest, TheMenuHasTheThreeModesWithTheCurrentOneChecked) {
  objc::AutoreleasePool pool;
  hv_test::write_preferences({{contract::kPowerModeKey, objc::string("lowPower")}});
  present();
  expand();
  ASSERT_EQ(objc::count(rows()), 3u);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"原生态", "苹果原生温控"}, {"低电量", "模拟低电频率"}, {"满频率", "防止温控降频"}};
  const std::vector<std::string> identifiers = {"off", "lowPower", "fullPower"};
  for (std::size_t i = 0; i < 3; ++i) {
    id the_item = menu_row::menuItem.send(row(i));
    EXPECT_EQ(objc::toString(item::title.send(the_item)), expected[i].first);
    EXPECT_EQ(objc::toString(item::subtitle.send(the_item)), expected[i].second);
    EXPECT_EQ(objc::toString(item::identifier.send(the_item)), identifiers[i]);
    EXPECT_EQ(objc::fromBool(item::isSelected.send(the_item)), i == 1) << i;
    EXPECT_EQ(menu_row::trailingView.send(row(i)) != nullptr, i == 1)
        << "check mark on the trailing side, row " << i;
    EXPECT_EQ(menu_row::leadingView.send(row(i)), nullptr) << i;
    EXPECT_FALSE(objc::fromBool(item::performAction.send(the_item))) << "no handler";
  }
  id header = ui::NSObject::valueForKey.send(controller_, objc::string("_titleLabel"));
  EXPECT_TRUE(same_color(ui::UILabel::textColor.send(header), white()));

  // Rebuilt at every expansion, from the file as it is then.
  collapse();
  hv_test::write_preferences({});
  expand();
  ASSERT_EQ(objc::count(rows()), 3u);
  EXPECT_NE(menu_row::trailingView.send(row(0)), nullptr);
  EXPECT_EQ(menu_row::trailingView.send(row(1)), nullptr);
}

TEST_F(ModuleTest, ARowTapChoosesItsModeAndMovesTheCheckMark) {
  objc::AutoreleasePool pool;
  hv_test::write_preferences(
      {{contract::kPowerModeKey, objc::string("lowPower")}, {"keep", objc::string("me")}});
  present();
  expand();

  tap_row(row(2));
  EXPECT_EQ(mode_in_file(), "fullPower");
  EXPECT_EQ(HVCCTestActionTaps(controller_), 1) << "the superclass saw the tap";
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(menu_row::trailingView.send(row(i)) != nullptr, i == 2) << i;
    EXPECT_EQ(objc::fromBool(item::isSelected.send(menu_row::menuItem.send(row(i)))), i == 2) << i;
  }
  EXPECT_EQ(selected_index(), 2);
  EXPECT_TRUE(selected());
  EXPECT_EQ(glyph_state(), "on");

  tap_row(row(0));
  EXPECT_EQ(mode_in_file(), "off");
  EXPECT_NE(menu_row::trailingView.send(row(0)), nullptr);
  EXPECT_EQ(menu_row::trailingView.send(row(2)), nullptr);
  EXPECT_EQ(selected_index(), 0);
  EXPECT_FALSE(selected());
  EXPECT_EQ(glyph_state(), "off");
  objc::Ref file = contract::readPreferences(hv_test::preferences_path());
  EXPECT_TRUE(objc::stringEquals(objc::dictionaryGet(file.get(), "keep"), "me"));
}

TEST_F(ModuleTest, ChoosingTheCurrentRowAgainWritesAndAnnouncesAgain) {
  objc::AutoreleasePool pool;
  hv_test::write_preferences({{contract::kPowerModeKey, objc::string("fullPower")}});
  present();
  expand();
  hv_test::write_preferences({{contract::kPowerModeKey, objc::string("fullPower")},
                              {"cpuMinPowerValue", objc::number(1)}});
  hv_test::Publications seen;
  tap_row(row(2));
  EXPECT_EQ(seen.names(), hv_test::kOneChoice);
  EXPECT_EQ(seen.words(), (std::vector<uint64_t>{0x48414C5600000000ull}));
  objc::Ref file = contract::readPreferences(hv_test::preferences_path());
  EXPECT_EQ(objc::dictionaryGet(file.get(), "cpuMinPowerValue"), nullptr)
      << "the file was rewritten";
  EXPECT_NE(menu_row::trailingView.send(row(2)), nullptr) << "still checked";
  EXPECT_EQ(menu_row::trailingView.send(row(0)), nullptr);
}

TEST_F(ModuleTest, AViewKeptLongerThanItsModuleIsLaidOutWithoutIt) {
  objc::Ref view;
  objc::WeakRef gone;
  {
    objc::AutoreleasePool pool;
    present();
    view = objc::Ref::retain(ui::UIViewController::view.send(controller_));
    gone.store(controller_);
  }
  module_.reset();  // the module and its controller go; a superview could still hold the view
  controller_ = nullptr;
  ASSERT_FALSE(gone.load()) << "the controller is deallocated";
  ui::UIView::setFrame.send(view.get(), CGRect{{0, 0}, {hv_test::kExpandedWidth, 200}});
  ui::UIView::layoutIfNeeded.send(view.get());
  EXPECT_EQ(ui::UIView::frame.send(view.get()).size.height, 200);
}

// ---- the header colour ----------------------------------------------------------------------

// Subclasses whose key-value coding gives something else than the header label.
enum class Fetch { nothing, notALabel, raises };
Fetch g_fetch = Fetch::nothing;

id odd_value_for_key(id self, SEL, id key) {
  switch (g_fetch) {
    case Fetch::nothing: return nullptr;
    case Fetch::notALabel: return objc::string("not a label");
    case Fetch::raises: objc::raiseException("NSUnknownKeyException", "no such key");
  }
  return nullptr;
}

Class odd_controller_class() {
  static Class made =
      objc::ClassBuilder("HVTestOddHeaderController", "HalvernicCCModuleViewController")
          .method(ui::NSObject::valueForKey, &odd_value_for_key)
          .build();
  return made;
}

TEST_F(ModuleTest, TheHeaderTurnsWhiteOnlyWhenItIsALabel) {
  objc::AutoreleasePool pool;
  present();
  id header = ui::NSObject::valueForKey.send(controller_, objc::string("_titleLabel"));
  ui::UILabel::setTextColor.send(header, ui::UIColor::redColor.send(ui::kUIColor));
  own::forceWhiteHeaderTitle.send(controller_);
  EXPECT_TRUE(same_color(ui::UILabel::textColor.send(header), white()));

  for (Fetch fetch : {Fetch::nothing, Fetch::notALabel, Fetch::raises}) {
    objc::Ref odd =
        objc::Ref::adopt(ui::NSObject::init.send(ui::NSObject::alloc.send(odd_controller_class())));
    g_fetch = Fetch::nothing;
    ui::UIViewController::view.send(odd.get());  // viewDidLoad forces the colour too
    id odd_header = objc::getIvar(odd.get(), "_titleLabel");
    ASSERT_NE(odd_header, nullptr);
    ui::UILabel::setTextColor.send(odd_header, ui::UIColor::redColor.send(ui::kUIColor));
    g_fetch = fetch;
    own::forceWhiteHeaderTitle.send(odd.get());
    ui::UIViewController::viewWillAppear.send(odd.get(), NO);
    EXPECT_TRUE(same_color(ui::UILabel::textColor.send(odd_header),
                           ui::UIColor::redColor.send(ui::kUIColor)))
        << "left alone, case " << static_cast<int>(fetch);
    g_fetch = Fetch::nothing;
  }
}

}  // namespace
