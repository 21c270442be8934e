// The bundle as the Settings app loads it: its classes exist once it is loaded, its rows
// come from its own "Root" resource although the process's main bundle is another (this
// test program), it exports the runtime-state function and no other function of its own,
// and it shares the process's one bridge (weak references made inside the bundle are
// cleared by a deallocation anywhere in the process).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "common/objc/foundation.hpp"
#include "common/objc/weak.hpp"
#include "common/ui/preferences.hpp"
#include "common/ui/uikit.hpp"
#include "extension/contract/overheat.hpp"
#include "hvplatform/uikit_host.hpp"
#include "tests/support/preferences.hpp"

namespace {

namespace fs = std::filesystem;
namespace ui = halvernic::ui;

constinit objc::Message<id()> kMainBundle{"mainBundle"};
constinit objc::Message<id()> kBundlePath{"bundlePath"};
constinit objc::Message<id(id)> kBundleForClass{"bundleForClass:"};
constinit objc::ClassName kNSBundle{"NSBundle"};
constinit objc::Message<id()> kCpuModeMenuOverlay{"cpuModeMenuOverlay"};

class PaneBundle : public testing::Test {
protected:
  static void SetUpTestSuite() {
    hv_test::device_root();
    handle_ = dlopen(HV_PREFS_BUNDLE "/HalvernicPrefs", RTLD_NOW | RTLD_GLOBAL);
    ASSERT_NE(handle_, nullptr) << dlerror();
  }
  static void* handle_;
};
void* PaneBundle::handle_ = nullptr;

objc::Ref make_controller() {
  Class controller_class = objc::cls("RootListController");
  if (!controller_class) return objc::Ref();
  return objc::Ref::adopt(ui::PSViewController::initForContentSize.send(
      ui::NSObject::alloc.send(controller_class), CGSize{390, 844}));
}

TEST_F(PaneBundle, TheRowsComeFromTheBundleOfTheBinaryNotFromTheMainBundle) {
  objc::AutoreleasePool pool;
  objc::Ref controller = make_controller();
  ASSERT_TRUE(controller);
  const std::string main_bundle =
      objc::toString(kBundlePath.send(kMainBundle.send(kNSBundle.get())));
  const std::string own =
      objc::toString(kBundlePath.send(ui::PSListController::bundle.send(controller.get())));
  EXPECT_EQ(fs::canonical(own), fs::canonical(HV_PREFS_BUNDLE));
  EXPECT_NE(own, main_bundle);
  // What Foundation answers for a class made at run time: the main bundle, where no "Root"
  // resource lies.
  const std::string by_class = objc::toString(kBundlePath.send(
      kBundleForClass.send(kNSBundle.get(), objc::asId(objc::cls("RootListController")))));
  EXPECT_EQ(by_class, main_bundle);

  id rows = ui::PSListController::specifiers.send(controller.get());
  ASSERT_EQ(objc::count(rows), 10u) << "the Root resource's items";
  std::vector<std::string> labels;
  for (std::size_t i = 0; i < objc::count(rows); ++i) {
    labels.push_back(objc::toString(ui::PSSpecifier::name.send(objc::arrayGet(rows, i))));
  }
  EXPECT_NE(std::find(labels.begin(), labels.end(), "CPU 模式"), labels.end());
}

TEST_F(PaneBundle, EveryUserFacingKeyHasABooleanSwitchRow) {
  objc::AutoreleasePool pool;
  objc::Ref controller = make_controller();
  id rows = ui::PSListController::specifiers.send(controller.get());
  for (const char* key : {"thermalPreventDimmingEnabled", "thermalSuppressNotificationsEnabled",
                          "thermalDisablePocketSunlightEnabled", "thermalSunlightLockedEnabled",
                          "thermalOverheatProtectionEnabled"}) {
    bool found = false;
    for (std::size_t i = 0; i < objc::count(rows); ++i) {
      id row = objc::arrayGet(rows, i);
      id properties = ui::PSSpecifier::properties.send(row);
      if (!objc::stringEquals(objc::dictionaryGet(properties, "key"), key)) continue;
      found = true;
      EXPECT_EQ(ui::PSSpecifier::cellType.send(row), ui::PSSwitchCell) << key;
      EXPECT_TRUE(objc::isBoolean(objc::dictionaryGet(properties, "default"))) << key;
      EXPECT_EQ(objc::dictionaryGet(properties, "defaults"), nullptr)
          << key << ": no platform domain";
    }
    EXPECT_TRUE(found) << key;
  }
}

// The overheat protection's group comes last: one switch, on by default as the engine reads
// an absent key, and a footer that names the temperatures the engine acts at.
TEST_F(PaneBundle, TheLastGroupIsTheOverheatProtectionWithItsTemperaturesInTheFooter) {
  objc::AutoreleasePool pool;
  objc::Ref controller = make_controller();
  id rows = ui::PSListController::specifiers.send(controller.get());
  const std::size_t n = objc::count(rows);
  ASSERT_GE(n, 2u);
  id group = objc::arrayGet(rows, n - 2);
  id row = objc::arrayGet(rows, n - 1);
  EXPECT_EQ(ui::PSSpecifier::cellType.send(group), ui::PSGroupCell);
  EXPECT_EQ(ui::PSSpecifier::cellType.send(row), ui::PSSwitchCell);
  id properties = ui::PSSpecifier::properties.send(row);
  EXPECT_TRUE(objc::stringEquals(objc::dictionaryGet(properties, "key"),
                                 halvernic::contract::kOverheatProtectionKey));
  EXPECT_TRUE(objc::objectsEqual(objc::dictionaryGet(properties, "default"),
                                 objc::boolean(halvernic::contract::kOverheatProtectionDefault)));
  const std::string footer =
      objc::toString(objc::dictionaryGet(ui::PSSpecifier::properties.send(group), "footerText"));
  const std::string engage =
      std::to_string(halvernic::contract::kOverheatEngageCentiCelsius / 100) + " °C";
  const std::string release =
      std::to_string(halvernic::contract::kOverheatReleaseCentiCelsius / 100) + " °C";
  EXPECT_NE(footer.find(engage), std::string::npos) << footer;
  EXPECT_NE(footer.find(release), std::string::npos) << footer;
  EXPECT_LT(footer.find(engage), footer.find(release)) << footer;
  EXPECT_EQ(footer.find("。"), footer.size() - std::strlen("。")) << "one sentence: " << footer;
  EXPECT_EQ(halvernic::contract::kOverheatEngageCentiCelsius % 100, 0)
      << "the footer says whole degrees";
  EXPECT_EQ(halvernic::contract::kOverheatReleaseCentiCelsius % 100, 0);
}

TEST_F(PaneBundle, ExportsTheRuntimeStateFunctionAndNoOtherFunctionOfItsOwn) {
  EXPECT_NE(dlsym(handle_, "halvernicPrefsPostRuntimeState"), nullptr);
  // Internals stay hidden, the root path's copy included.
  for (const char* hidden : {"jbroot",
                             "_ZN9halvernic5prefs20writePreferenceValue"
                             "EP11objc_objectSt17basic_string_viewIcSt11char_traitsIcEE"}) {
    EXPECT_EQ(dlsym(handle_, hidden), nullptr) << hidden;
  }
  // The bridge is the process's one shared library, which the bundle needs, never a copy
  // of its own: what the bundle reaches by name is what this program calls.
  void* bridge_function =
      dlsym(handle_, "_ZN4objc6stringESt17basic_string_viewIcSt11char_traitsIcEE");
  ASSERT_NE(bridge_function, nullptr) << "the bundle does not reach the bridge";
  id (*string_function)(std::string_view) = &objc::string;
  EXPECT_EQ(bridge_function, reinterpret_cast<void*>(string_function));
  Dl_info where{};
  ASSERT_NE(dladdr(bridge_function, &where), 0);
  EXPECT_EQ(fs::path(where.dli_fname).filename(), "libhv_objc.so");
  FILE* nm = popen("nm -D --defined-only " HV_PREFS_BUNDLE "/HalvernicPrefs", "r");
  ASSERT_NE(nm, nullptr);
  std::vector<std::string> functions;
  char line[512];
  while (fgets(line, sizeof line, nm)) {
    char address[64], kind[8], name[400];
    if (sscanf(line, "%63s %7s %399s", address, kind, name) == 3 &&
        (kind[0] == 'T' || kind[0] == 'W')) {
      functions.push_back(name);
    }
  }
  pclose(nm);
  EXPECT_EQ(functions, std::vector<std::string>{"halvernicPrefsPostRuntimeState"});
}

// A weak reference the pane keeps (to its menu's overlay) is cleared when the host removes
// the overlay, although the host's own code tracked the overlay's class first. Two copies of
// the bridge in one process would keep two tables: the deallocation would clear the host's
// and leave the pane's pointing at a freed view.
TEST_F(PaneBundle, AWeakReferenceInsideTheBundleIsClearedByADeallocationInTheHost) {
  objc::AutoreleasePool pool;
  objc::Ref watched = objc::Ref::adopt(ui::UIView::initWithFrame.send(
      ui::NSObject::alloc.send(ui::kUIControl.get()), CGRect{{0, 0}, {10, 10}}));
  objc::WeakRef host_watch(watched.get());  // the host's bridge tracks UIControl first

  objc::Ref controller = make_controller();
  ASSERT_TRUE(controller);
  hv::uikit::Host host(CGSize{390, 844}, ui::UIUserInterfaceStyleLight);
  host.set_root_view_controller(controller.get());
  ui::UIView::layoutIfNeeded.send(ui::UIViewController::view.send(controller.get()));
  id table = ui::PSListController::table.send(controller.get());
  id row = ui::PSListController::specifierForID.send(controller.get(), objc::string("CPU 模式"));
  ASSERT_NE(row, nullptr);
  id path = ui::PSListController::indexPathForSpecifier.send(controller.get(), row);
  ui::UITableViewDelegate::tableView_didSelectRowAtIndexPath.send(controller.get(), table, path);
  hv::uikit::advance(1);
  hv::uikit::forget_animations();  // the animation records hold the views they animated

  objc::WeakRef host_view;
  {
    objc::AutoreleasePool inner;
    id overlay = kCpuModeMenuOverlay.send(controller.get());
    ASSERT_NE(overlay, nullptr) << "the CPU mode row opened no menu";
    ASSERT_TRUE(objc::isKindOf(overlay, ui::kUIControl.get()));
    host_view.store(overlay);
    ui::UIView::removeFromSuperview.send(overlay);
  }
  EXPECT_FALSE(host_view.load()) << "the overlay outlived its removal";
  EXPECT_EQ(kCpuModeMenuOverlay.send(controller.get()), nullptr)
      << "the pane's weak reference survived the overlay's deallocation";
  EXPECT_TRUE(host_watch.load()) << "an unrelated control's reference was cleared";

  ui::UITableViewDelegate::tableView_didSelectRowAtIndexPath.send(controller.get(), table, path);
  EXPECT_NE(kCpuModeMenuOverlay.send(controller.get()), nullptr) << "a new menu opens";
  hv::uikit::advance(1);
  hv::uikit::forget_animations();
}

}  // namespace
