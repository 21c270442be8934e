#include "tests/ccmodule/module_fixture.hpp"

#include <filesystem>

#include "ccmodule/messages.hpp"
#include "sim/controlcenter/bundle.hpp"

namespace hv_test {

namespace fs = std::filesystem;
namespace cc = ui::CCUIMenuModuleViewController;
namespace button = ui::CCUIButtonModuleViewController;
namespace content = ui::CCUIContentModuleContentViewController;

Class module_class() {
  static Class loaded = [] {
    const fs::path folder =
        device_root() / hv_controlcenter_sim::kModuleFolder / "HalvernicCC.bundle";
    fs::create_directories(folder.parent_path());
    fs::copy(HV_CC_BUNDLE_DIR, folder,
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    hv_controlcenter_sim::LoadedBundle bundle;
    std::string error;
    EXPECT_TRUE(hv_controlcenter_sim::load_module_bundle(device_root().string(), "HalvernicCC",
                                                         &bundle, &error))
        << error;
    return bundle.principal;
  }();
  return loaded;
}

void ModuleTest::SetUp() {
  fs::remove_all(preferences_path());
  Class principal = module_class();
  ASSERT_NE(principal, nullptr);
  module_ = objc::Ref::adopt(ui::NSObject::init.send(ui::NSObject::alloc.send(principal)));
  controller_ = ui::CCUIContentModule::contentViewController.send(module_.get());
  ASSERT_NE(controller_, nullptr);
}

void ModuleTest::TearDown() {
  module_.reset();
  fs::remove_all(preferences_path());
}

void ModuleTest::present() {
  content::controlCenterWillPresent.send(controller_);
  id view = ui::UIViewController::view.send(controller_);
  ui::UIView::setFrame.send(view, kTileFrame);
  ui::UIViewController::viewWillAppear.send(controller_, NO);
  ui::UIView::layoutIfNeeded.send(view);
}

void ModuleTest::expand() {
  ASSERT_TRUE(
      objc::fromBool(content::shouldBeginTransitionToExpandedContentModule.send(controller_)));
  content::willTransitionToExpandedContentMode.send(controller_, YES);
  const CGFloat height = content::preferredExpandedContentHeight.send(controller_);
  id view = ui::UIViewController::view.send(controller_);
  ui::UIView::setFrame.send(view, CGRect{{0, 0}, {kExpandedWidth, height}});
  ui::UIView::layoutIfNeeded.send(view);
  content::didTransitionToExpandedContentMode.send(controller_, YES);
}

void ModuleTest::collapse() {
  content::willTransitionToExpandedContentMode.send(controller_, NO);
  id view = ui::UIViewController::view.send(controller_);
  ui::UIView::setFrame.send(view, kTileFrame);
  ui::UIView::layoutIfNeeded.send(view);
  content::didTransitionToExpandedContentMode.send(controller_, NO);
}

id ModuleTest::rows() const {
  return ui::UIStackView::arrangedSubviews.send(
      ui::NSObject::valueForKey.send(controller_, objc::string("_menuItemsContainer")));
}

id ModuleTest::row(std::size_t index) const { return objc::arrayGet(rows(), index); }

std::string ModuleTest::mode_in_file() const {
  objc::AutoreleasePool pool;
  objc::Ref preferences = halvernic::contract::readPreferences(preferences_path());
  id value = objc::dictionaryGet(preferences.get(), halvernic::contract::kPowerModeKey);
  return objc::isString(value) ? objc::toString(value) : std::string("<none>");
}

bool ModuleTest::selected() const { return objc::fromBool(button::isSelected.send(controller_)); }

std::string ModuleTest::glyph_state() const {
  return objc::toString(button::glyphState.send(controller_));
}

long long ModuleTest::selected_index() const {
  return halvernic::ccmodule::HalvernicCCModuleViewController::selectedIndex.send(controller_);
}

}  // namespace hv_test
