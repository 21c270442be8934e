#include "sim/controlcenter/host.hpp"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <ostream>

#include "common/objc/class_builder.hpp"
#include "common/objc/foundation.hpp"
#include "common/ui/controlcenter.hpp"
#include "common/ui/quartzcore.hpp"
#include "common/ui/uikit.hpp"
#include "extension/contract/contract.hpp"
#include "sim/cli/arguments.hpp"

namespace hv_controlcenter_sim {

namespace ui = halvernic::ui;
namespace contract = halvernic::contract;
namespace button = ui::CCUIButtonModuleViewController;
namespace content = ui::CCUIContentModuleContentViewController;
namespace menu = ui::CCUIMenuModuleViewController;
namespace menu_row = ui::CCUIMenuModuleItemView;
namespace item = ui::CCUIMenuModuleItem;

namespace {

// Control Center's page as the host draws it, in points, on a 390-point iPhone with a
// notch: the status bar, then a grid of four columns of 70-point modules 16 apart. The
// system's modules are plain placeholders in their places (connectivity and media 2 x 2,
// orientation lock and screen mirroring, brightness and volume 1 x 2, focus 2 x 1, then
// flashlight, timer and camera); the loaded module takes the third place of the last row.
// Expanded, the module is centred on the page and the others fade out, as on the device.
constexpr CGFloat kScreenWidth = 390;
constexpr CGFloat kScreenHeight = 540;
constexpr CGFloat kUnit = 70;
constexpr CGFloat kGap = 16;
constexpr CGFloat kGridLeft = (kScreenWidth - 4 * kUnit - 3 * kGap) / 2;
constexpr CGFloat kGridTop = 84;
constexpr CGFloat kCornerRadius = 19;

// A place of the grid: column and row from 0, width and height in modules.
constexpr CGRect grid_rect(int column, int row, int columns, int rows) {
  return CGRect{{kGridLeft + column * (kUnit + kGap), kGridTop + row * (kUnit + kGap)},
                {columns * kUnit + (columns - 1) * kGap, rows * kUnit + (rows - 1) * kGap}};
}

constexpr CGRect kTileFrame = grid_rect(2, 4, 1, 1);
constexpr CGFloat kExpandedWidth = 320;
// Control Center's carrier text above its modules.
constexpr char kCarrier[] = "中国移动";

bool responds(id object, const objc::Selector& selector) {
  return objc::respondsTo(object, selector.get());
}

// Control Center's backdrop: the blurred, dimmed wallpaper behind the modules.
id backdrop_color() {
  return ui::UIColor::colorWithDynamicProvider.send(ui::kUIColor, ^id(id traits) {
    const bool dark =
        ui::UITraitCollection::userInterfaceStyle.send(traits) == ui::UIUserInterfaceStyleDark;
    return dark ? ui::UIColor::colorWithRed_green_blue_alpha.send(ui::kUIColor, 0.07, 0.08, 0.11,
                                                                  1.0)
                : ui::UIColor::colorWithRed_green_blue_alpha.send(ui::kUIColor, 0.55, 0.60, 0.70,
                                                                  1.0);
  });
}

id white(CGFloat alpha) { return ui::UIColor::colorWithWhite_alpha.send(ui::kUIColor, 1.0, alpha); }
id rgb(CGFloat r, CGFloat g, CGFloat b) {
  return ui::UIColor::colorWithRed_green_blue_alpha.send(ui::kUIColor, r, g, b, 1.0);
}

// The modules' material, as the module's own platter has it in each appearance.
id placeholder_material() {
  return ui::UIColor::colorWithDynamicProvider.send(ui::kUIColor, ^id(id traits) {
    const bool dark =
        ui::UITraitCollection::userInterfaceStyle.send(traits) == ui::UIUserInterfaceStyleDark;
    return dark ? ui::UIColor::colorWithWhite_alpha.send(ui::kUIColor, 0.12, 0.72)
                : ui::UIColor::colorWithWhite_alpha.send(ui::kUIColor, 0.45, 0.55);
  });
}

id add_shape(id parent, CGRect frame, id color, CGFloat radius) {
  objc::Ref view = objc::Ref::adopt(
      ui::UIView::initWithFrame.send(ui::NSObject::alloc.send(ui::kUIView), frame));
  ui::UIView::setBackgroundColor.send(view.get(), color);
  if (radius > 0) {
    id layer = ui::UIView::layer.send(view.get());
    ui::CALayer::setCornerRadius.send(layer, radius);
    ui::CALayer::setCornerCurve.send(layer, objc::string("continuous"));
    ui::CALayer::setMasksToBounds.send(layer, YES);
  }
  ui::UIView::setUserInteractionEnabled.send(view.get(), NO);
  ui::UIView::addSubview.send(parent, view.get());
  return view.get();
}

void add_text(id parent, CGRect frame, const char* text, CGFloat size, CGFloat alpha) {
  objc::Ref label = objc::Ref::adopt(
      ui::UIView::initWithFrame.send(ui::NSObject::alloc.send(ui::kUILabel), frame));
  ui::UILabel::setText.send(label.get(), objc::string(text));
  ui::UILabel::setFont.send(label.get(),
                            ui::UIFont::systemFontOfSize_weight.send(ui::kUIFont, size, 0.23));
  ui::UILabel::setTextColor.send(label.get(), white(alpha));
  ui::UILabel::setTextAlignment.send(label.get(), ui::NSTextAlignmentCenter);
  ui::UIView::addSubview.send(parent, label.get());
}

// A module's place: the platter, and a round placeholder glyph in its middle.
id add_placeholder(id parent, CGRect frame) {
  id platter = add_shape(parent, frame, placeholder_material(), kCornerRadius);
  const CGFloat glyph = 24;
  add_shape(
      platter,
      CGRect{{(frame.size.width - glyph) / 2, (frame.size.height - glyph) / 2}, {glyph, glyph}},
      white(0.9), glyph / 2);
  return platter;
}

// Control Center's own modules around the loaded one, in one view that takes no touches.
objc::Ref make_neighbours() {
  objc::Ref page = objc::Ref::adopt(ui::UIView::initWithFrame.send(
      ui::NSObject::alloc.send(ui::kUIView), CGRect{{0, 0}, {kScreenWidth, kScreenHeight}}));
  ui::UIView::setUserInteractionEnabled.send(page.get(), NO);
  id view = page.get();

  // Connectivity: airplane mode off, cellular, Wi-Fi and Bluetooth on.
  const CGRect connectivity = grid_rect(0, 0, 2, 2);
  id platter = add_shape(view, connectivity, placeholder_material(), kCornerRadius);
  const CGFloat button = 60, inset = (connectivity.size.width - 2 * button) / 3;
  id colours[] = {white(0.25), rgb(0.20, 0.78, 0.35), rgb(0.0, 0.48, 1.0), rgb(0.0, 0.48, 1.0)};
  for (int i = 0; i < 4; ++i) {
    const CGRect circle{{inset + (i % 2) * (button + inset), inset + (i / 2) * (button + inset)},
                        {button, button}};
    id round = add_shape(platter, circle, colours[i], button / 2);
    add_shape(round, CGRect{{button / 2 - 10, button / 2 - 10}, {20, 20}}, white(0.95), 10);
  }
  // Media: nothing playing.
  id media = add_shape(view, grid_rect(2, 0, 2, 2), placeholder_material(), kCornerRadius);
  add_text(media, CGRect{{0, 60}, {grid_rect(2, 0, 2, 2).size.width, 36}}, "未在播放", 15, 0.6);
  add_placeholder(view, grid_rect(0, 2, 1, 1));  // orientation lock
  add_placeholder(view, grid_rect(1, 2, 1, 1));  // screen mirroring
  // Brightness and volume: sliders half full.
  for (int column : {2, 3}) {
    const CGRect slider = grid_rect(column, 2, 1, 2);
    id track = add_shape(view, slider, placeholder_material(), kCornerRadius);
    add_shape(track,
              CGRect{{0, slider.size.height / 2}, {slider.size.width, slider.size.height / 2}},
              white(0.92), 0);
  }
  id focus = add_shape(view, grid_rect(0, 3, 2, 1), placeholder_material(), kCornerRadius);
  id moon = add_shape(focus, CGRect{{13, 13}, {44, 44}}, white(0.25), 22);
  add_shape(moon, CGRect{{12, 12}, {20, 20}}, white(0.95), 10);
  add_text(focus, CGRect{{60, 0}, {80, kUnit}}, "专注模式", 15, 1.0);
  add_placeholder(view, grid_rect(0, 4, 1, 1));  // flashlight
  add_placeholder(view, grid_rect(1, 4, 1, 1));  // timer
  add_placeholder(view, grid_rect(3, 4, 1, 1));  // camera
  return page;
}

namespace cli = halvernic::sim::cli;

// The bounds of the commands' numbers: a wait of at most an hour; a tap anywhere near the
// screen (outside it, it hits nothing).
constexpr double kMaxWaitSeconds = 3600;
constexpr double kMaxCoordinate = 10000;

bool read_seconds(const std::string& text, double* value, std::string* error) {
  const std::optional<double> seconds = cli::parse_real(text, 0, kMaxWaitSeconds);
  if (!seconds) {
    *error = "takes " + cli::expected("a number of seconds", text, 0, kMaxWaitSeconds);
    return false;
  }
  *value = *seconds;
  return true;
}

bool read_point(const std::string& x, const std::string& y, CGPoint* point, std::string* error) {
  const std::optional<double> px = cli::parse_real(x, -kMaxCoordinate, kMaxCoordinate);
  const std::optional<double> py = cli::parse_real(y, -kMaxCoordinate, kMaxCoordinate);
  if (!px || !py) {
    *error = "takes " + cli::expected("points", px ? y : x, -kMaxCoordinate, kMaxCoordinate);
    return false;
  }
  *point = CGPoint{*px, *py};
  return true;
}

}  // namespace

Host::Host(const Options& options, std::ostream& out) : options_(options), out_(out) {}

CGRect Host::tile_frame() { return kTileFrame; }

Host::~Host() {
  if (module_) ui::UIView::removeFromSuperview.send(ui::UIViewController::view.send(controller()));
  module_.reset();
  screen_.reset();
}

id Host::controller() const {
  return ui::CCUIContentModule::contentViewController.send(module_.get());
}

id Host::row_views() const {
  return ui::UIStackView::arrangedSubviews.send(objc::getIvar(controller(), "_menuItemsContainer"));
}

bool Host::start(std::string* error) {
  if (!load_module_bundle(options_.root, "HalvernicCC", &bundle_, error)) return false;
  hv::uikit::set_main_screen_scale(options_.scale);
  screen_ = std::make_unique<hv::uikit::Host>(
      CGSize{kScreenWidth, kScreenHeight},
      options_.appearance == "dark" ? ui::UIUserInterfaceStyleDark : ui::UIUserInterfaceStyleLight);
  ui::UIView::setBackgroundColor.send(screen_->root_view(), backdrop_color());
  neighbours_ = make_neighbours();
  ui::UIView::addSubview.send(screen_->root_view(), neighbours_.get());
  screen_->show_status_bar(kCarrier, true);
  module_ = objc::Ref::adopt(ui::NSObject::init.send(ui::NSObject::alloc.send(bundle_.principal)));
  if (!module_ || !controller()) {
    *error = "the module made no content view controller";
    return false;
  }
  present();
  return true;
}

// Control Center's order: the module hears it is about to be shown, its view goes into the
// tile, then the appearance calls.
void Host::present() {
  objc::AutoreleasePool pool;
  id content_controller = controller();
  if (responds(content_controller, content::controlCenterWillPresent)) {
    content::controlCenterWillPresent.send(content_controller);
  }
  id view = ui::UIViewController::view.send(content_controller);
  ui::UIViewController::viewWillAppear.send(content_controller, NO);
  ui::UIView::addSubview.send(screen_->root_view(), view);
  place_module();
  ui::UIViewController::viewDidAppear.send(content_controller, NO);
}

void Host::place_module() {
  id view = ui::UIViewController::view.send(controller());
  if (!expanded_) {
    ui::UIView::setFrame.send(view, kTileFrame);
  } else {
    const CGFloat height = content::preferredExpandedContentHeight.send(controller());
    const CGFloat top =
        std::max<CGFloat>(hv::uikit::Host::kStatusBarHeight, (kScreenHeight - height) / 2);
    ui::UIView::setFrame.send(
        view, CGRect{{(kScreenWidth - kExpandedWidth) / 2, top}, {kExpandedWidth, height}});
  }
  if (neighbours_) ui::UIView::setAlpha.send(neighbours_.get(), expanded_ ? 0.0 : 1.0);
  ui::UIView::layoutIfNeeded.send(view);
}

bool Host::tap(double x, double y, std::string* hit_class) {
  id hit = screen_->tap(CGPoint{x, y});
  if (hit_class) *hit_class = hit ? objc::className(objc::classOf(hit)) : "nothing";
  return hit != nullptr;
}

bool Host::tap_tile(std::string* error) {
  if (expanded_) {
    *error = "the module is expanded: collapse it first";
    return false;
  }
  tap(CGRectGetMidX(kTileFrame), CGRectGetMidY(kTileFrame), nullptr);
  out_ << "tapped: tile\n";
  return true;
}

bool Host::expand(std::string* error) {
  objc::AutoreleasePool pool;
  id content_controller = controller();
  if (responds(content_controller, content::shouldBeginTransitionToExpandedContentModule) &&
      !objc::fromBool(
          content::shouldBeginTransitionToExpandedContentModule.send(content_controller))) {
    out_ << "expand: refused\n";
    return true;
  }
  content::willTransitionToExpandedContentMode.send(content_controller, YES);
  expanded_ = true;
  place_module();
  content::didTransitionToExpandedContentMode.send(content_controller, YES);
  out_ << "expanded: yes\n";
  return true;
}

bool Host::collapse(std::string* error) {
  objc::AutoreleasePool pool;
  content::willTransitionToExpandedContentMode.send(controller(), NO);
  expanded_ = false;
  place_module();
  content::didTransitionToExpandedContentMode.send(controller(), NO);
  out_ << "expanded: no\n";
  return true;
}

bool Host::rows(std::string* error) {
  objc::AutoreleasePool pool;
  id all = row_views();
  const std::size_t count = objc::count(all);
  if (count == 0) out_ << "no rows\n";
  for (std::size_t i = 0; i < count; ++i) {
    id row = objc::arrayGet(all, i);
    id the_item = menu_row::menuItem.send(row);
    const bool checked = menu_row::trailingView.send(row) || menu_row::leadingView.send(row);
    out_ << "row " << i << ": " << objc::toString(item::title.send(the_item)) << " | "
         << objc::toString(item::subtitle.send(the_item)) << " | "
         << (checked ? "checked" : "unchecked") << "\n";
  }
  return true;
}

bool Host::choose(const std::string& title, std::string* error) {
  objc::AutoreleasePool pool;
  if (!expanded_) {
    *error = "the menu is not open: expand first";
    return false;
  }
  id all = row_views();
  for (std::size_t i = 0; i < objc::count(all); ++i) {
    id row = objc::arrayGet(all, i);
    if (!objc::stringEquals(item::title.send(menu_row::menuItem.send(row)), title)) continue;
    const CGRect frame = ui::UIView::convertRect_toView.send(row, ui::UIView::bounds.send(row),
                                                             screen_->root_view());
    tap(CGRectGetMidX(frame), CGRectGetMidY(frame), nullptr);
    out_ << "chose: " << title << "\n";
    return true;
  }
  *error = "no row titled '" + title + "'";
  return false;
}

bool Host::lock_screen(std::string* error) {
  objc::AutoreleasePool pool;
  id content_controller = controller();
  const bool allowed = responds(content_controller, menu::_canShowWhileLocked) &&
                       objc::fromBool(menu::_canShowWhileLocked.send(content_controller));
  if (!allowed) {
    ui::UIView::removeFromSuperview.send(ui::UIViewController::view.send(content_controller));
    out_ << "lock-screen: not offered\n";
    return true;
  }
  // Control Center is dismissed and shown again over the lock screen.
  if (responds(content_controller, content::controlCenterDidDismiss)) {
    content::controlCenterDidDismiss.send(content_controller);
  }
  ui::UIView::removeFromSuperview.send(ui::UIViewController::view.send(content_controller));
  if (expanded_) collapse(error);
  locked_ = true;
  present();
  out_ << "lock-screen: shown\n";
  return true;
}

bool Host::state(std::string* error) {
  objc::AutoreleasePool pool;
  id content_controller = controller();
  out_ << "selected: "
       << (objc::fromBool(button::isSelected.send(content_controller)) ? "yes" : "no") << "\n";
  out_ << "glyph-state: " << objc::toString(button::glyphState.send(content_controller)) << "\n";
  objc::Ref preferences = contract::readPreferences(contract::resolvedPreferencesPath());
  out_ << "mode: " << contract::powerModeValue(contract::powerModeOf(preferences.get())) << "\n";
  return true;
}

bool Host::appearance(const std::string& style, std::string* error) {
  if (style != "light" && style != "dark") {
    *error = "takes light or dark, not " + style;
    return false;
  }
  screen_->set_appearance(style == "dark" ? ui::UIUserInterfaceStyleDark
                                          : ui::UIUserInterfaceStyleLight);
  out_ << "appearance: " << style << "\n";
  return true;
}

bool Host::wait(const std::string& seconds, std::string* error) {
  double value = 0;
  if (!read_seconds(seconds, &value, error)) return false;
  hv::uikit::run_for(value);
  out_ << "waited: " << seconds << "\n";
  return true;
}

bool Host::screenshot(const std::string& file, std::string* error) {
  if (!screen_->snapshot(file, options_.scale, error)) return false;
  out_ << "screenshot: " << file << "\n";
  return true;
}

bool Host::tap_at(const std::string& x, const std::string& y, std::string* error) {
  CGPoint point{};
  if (!read_point(x, y, &point, error)) return false;
  std::string hit;
  tap(point.x, point.y, &hit);
  out_ << "tapped-at: " << x << " " << y << " -> " << hit << "\n";
  return true;
}

std::vector<Command> Host::commands() {
  std::vector<Command> list = {
      {"tap-tile", 0, "tap-tile", [this](auto&, std::string* e) { return tap_tile(e); }},
      {"expand", 0, "expand", [this](auto&, std::string* e) { return expand(e); }},
      {"rows", 0, "rows", [this](auto&, std::string* e) { return rows(e); }},
      {"choose", 1, "choose TITLE", [this](auto& a, std::string* e) { return choose(a[0], e); }},
      {"collapse", 0, "collapse", [this](auto&, std::string* e) { return collapse(e); }},
      {"lock-screen", 0, "lock-screen", [this](auto&, std::string* e) { return lock_screen(e); }},
      {"state", 0, "state", [this](auto&, std::string* e) { return state(e); }},
      {"appearance", 1, "appearance light|dark",
       [this](auto& a, std::string* e) { return appearance(a[0], e); }},
      {"wait", 1, "wait SECONDS", [this](auto& a, std::string* e) { return wait(a[0], e); },
       [](auto& a, std::string* e) {
         double seconds = 0;
         return read_seconds(a[0], &seconds, e);
       }},
      {"screenshot", 1, "screenshot FILE.png",
       [this](auto& a, std::string* e) { return screenshot(a[0], e); }},
      {"tap-at", 2, "tap-at X Y", [this](auto& a, std::string* e) { return tap_at(a[0], a[1], e); },
       [](auto& a, std::string* e) {
         CGPoint point{};
         return read_point(a[0], a[1], &point, e);
       }},
  };
  std::vector<std::string> usages;
  for (const Command& command : list) usages.push_back(command.usage);
  usages.push_back("help");
  list.push_back({"help", 0, "help", [this, usages](auto&, std::string*) {
                    for (const std::string& usage : usages) out_ << "command: " << usage << "\n";
                    return true;
                  }});
  return list;
}

}  // namespace hv_controlcenter_sim
