#include "sim/settings/app.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "common/objc/foundation.hpp"
#include "common/ui/preferences.hpp"
#include "common/ui/uikit.hpp"
#include "hvplatform/uikit_host.hpp"
#include "sim/cli/arguments.hpp"
#include "sim/settings/pane_loader.hpp"

namespace halvernic::sim::settings {

namespace ui = halvernic::ui;
using ui::NSInteger;

namespace {

constexpr CGSize kContentSize{390, 844};
// The bounds of the commands' numbers: a wait of at most an hour; a tap anywhere near the
// window (outside it, it hits nothing).
constexpr double kMaxWaitSeconds = 3600;
constexpr double kMaxCoordinate = 10000;
constexpr char kCheckmark[] = "\u2713";
// Settings' own page, from which a pane is pushed (the system is in Chinese, as the pane).
constexpr char kSettingsTitle[] = "设置";

constinit objc::ClassName kUINavigationController{"UINavigationController"};
constinit objc::Message<id(id)> kInitWithRootViewController{"initWithRootViewController:"};
constinit objc::Message<void(id, BOOL)> kPushViewController{"pushViewController:animated:"};
constinit objc::Message<void(id)> kSetSpecifier{"setSpecifier:"};

void fail(const char* format, const std::string& what) {
  std::fprintf(stderr, "hv-settings: ");
  std::fprintf(stderr, format, what.c_str());
  std::fputc('\n', stderr);
}

struct Row {
  id index_path;
  id specifier;
  id cell;
};

// Every row of the pane's table, section by section, with the cell the table shows for it.
std::vector<Row> table_rows(id controller) {
  std::vector<Row> rows;
  id table = ui::PSListController::table.send(controller);
  const NSInteger sections = ui::UITableView::numberOfSections.send(table);
  for (NSInteger s = 0; s < sections; ++s) {
    const NSInteger count = ui::UITableView::numberOfRowsInSection.send(table, s);
    for (NSInteger r = 0; r < count; ++r) {
      id path = ui::NSIndexPath::indexPathForRow_inSection.send(ui::kNSIndexPath.get(), r, s);
      id cell = ui::UITableView::cellForRowAtIndexPath.send(table, path);
      rows.push_back(
          Row{path, ui::PSListController::specifierAtIndexPath.send(controller, path), cell});
    }
  }
  return rows;
}

std::string label_of(const Row& row) {
  return objc::toString(ui::UILabel::text.send(ui::UITableViewCell::textLabel.send(row.cell)));
}

// The value as the row shows it: a switch's state, or the detail text.
std::string shown_value(const Row& row) {
  id accessory = ui::UITableViewCell::accessoryView.send(row.cell);
  if (accessory && objc::isKindOf(accessory, ui::kUISwitch)) {
    return objc::fromBool(ui::UISwitch::isOn.send(accessory)) ? "on" : "off";
  }
  return objc::toString(
      ui::UILabel::text.send(ui::UITableViewCell::detailTextLabel.send(row.cell)));
}

// The open menu: the topmost control laid over the pane's view that is not fading out.
id open_overlay(id controller) {
  id view = ui::UIViewController::view.send(controller);
  id subviews = ui::UIView::subviews.send(view);
  for (std::size_t i = objc::count(subviews); i > 0; --i) {
    id candidate = objc::arrayGet(subviews, i - 1);
    if (objc::isKindOf(candidate, ui::kUIControl) && ui::UIView::alpha.send(candidate) > 0)
      return candidate;
  }
  return nullptr;
}

struct MenuRow {
  id button;
  std::string title;
  bool checked;
};

// The menu's rows: the card's buttons, each checked when a "✓" label shares its row.
std::vector<MenuRow> menu_rows(id overlay) {
  std::vector<MenuRow> rows;
  id container = objc::arrayGet(ui::UIView::subviews.send(overlay), 0);
  id card = objc::arrayGet(ui::UIView::subviews.send(container), 0);
  id parts = ui::UIView::subviews.send(card);
  std::vector<double> checked_rows;
  for (std::size_t i = 0; i < objc::count(parts); ++i) {
    id part = objc::arrayGet(parts, i);
    if (objc::isKindOf(part, ui::kUILabel) &&
        objc::stringEquals(ui::UILabel::text.send(part), kCheckmark)) {
      checked_rows.push_back(ui::UIView::frame.send(part).origin.y);
    }
  }
  for (std::size_t i = 0; i < objc::count(parts); ++i) {
    id part = objc::arrayGet(parts, i);
    if (!objc::isKindOf(part, ui::kUIButton)) continue;
    const CGRect frame = ui::UIView::frame.send(part);
    bool checked = false;
    for (double y : checked_rows)
      checked = checked || (y >= frame.origin.y && y < frame.origin.y + frame.size.height);
    rows.push_back(MenuRow{
        part, objc::toString(ui::UIButton::titleForState.send(part, ui::UIControlStateNormal)),
        checked});
  }
  return rows;
}

}  // namespace

App::App(Options options) : options_(std::move(options)) {}
App::~App() = default;

int App::arity(const std::string& name) {
  static const std::pair<const char*, int> commands[] = {
      {"help", 0},   {"rows", 0},   {"tap", 1},  {"toggle", 1},     {"menu", 0},
      {"choose", 1}, {"tap-at", 2}, {"wait", 1}, {"appearance", 1}, {"screenshot", 1},
  };
  for (const auto& [command, count] : commands) {
    if (name == command) return count;
  }
  return -1;
}

namespace {

std::optional<double> seconds_of(const std::string& text) {
  return sim::cli::parse_real(text, 0, kMaxWaitSeconds);
}
std::optional<double> coordinate_of(const std::string& text) {
  return sim::cli::parse_real(text, -kMaxCoordinate, kMaxCoordinate);
}

}  // namespace

bool App::check(const std::string& name, const std::vector<std::string>& args, std::string* error) {
  if (name == "wait" && !seconds_of(args.at(0))) {
    *error = "wait takes " + sim::cli::expected("a number of seconds", args[0], 0, kMaxWaitSeconds);
    return false;
  }
  if (name == "tap-at") {
    for (const std::string& arg : args) {
      if (coordinate_of(arg)) continue;
      *error = "tap-at takes " + sim::cli::expected("points", arg, -kMaxCoordinate, kMaxCoordinate);
      return false;
    }
  }
  return true;
}

bool App::run(const std::string& name, const std::vector<std::string>& args) {
  if (std::string error; !check(name, args, &error)) {
    fail("%s", error);
    return false;
  }
  if (name == "help") {
    help();
    return true;
  }
  if (!ensure_pane()) return false;
  if (name == "rows") return rows();
  if (name == "tap") return tap(args[0]);
  if (name == "toggle") return toggle(args[0]);
  if (name == "menu") return menu();
  if (name == "choose") return choose(args[0]);
  if (name == "tap-at") return tap_at(*coordinate_of(args[0]), *coordinate_of(args[1]));
  if (name == "wait") return wait(*seconds_of(args[0]));
  if (name == "appearance") return appearance(args[0]);
  if (name == "screenshot") return screenshot(args[0]);
  fail("unknown command \"%s\" (try help)", name);
  return false;
}

void App::help() {
  std::fputs(
      "commands (one per line when read from standard input; quote words with spaces):\n"
      "  rows               one line per row: row<TAB>label<TAB>key<TAB>value as shown\n"
      "  tap LABEL          select the row with exactly this label\n"
      "  toggle LABEL       flip the switch of that row; prints toggled<TAB>label<TAB>on|off\n"
      "  menu               menu-row<TAB>title<TAB>checked|unchecked for each row of the open "
      "menu,\n"
      "                     or \"no menu\"\n"
      "  choose TITLE       tap the open menu's row with this title\n"
      "  tap-at X Y         tap the window at a point (points, -10000 to 10000)\n"
      "  wait SECONDS       let the main run loop run (animations, timers; at most 3600)\n"
      "  appearance light|dark\n"
      "  screenshot FILE.png\n"
      "  help\n",
      stdout);
}

bool App::ensure_pane() {
  if (controller_) return true;
  if (pane_failed_) return false;
  pane_failed_ = true;
  const std::vector<PaneEntry> panes = find_panes(options_.root);
  if (panes.empty()) {
    fail("no preference bundle is listed below %s/var/jb/Library/PreferenceLoader/Preferences",
         options_.root);
    return false;
  }
  std::string error;
  Class controller_class = load_pane(panes.front(), error);
  if (!controller_class) {
    fail("%s", error);
    return false;
  }
  id made = ui::PSViewController::initForContentSize.send(
      ui::NSObject::alloc.send(controller_class), kContentSize);
  if (!made) {
    fail("the pane's controller %s did not initialise", objc::className(controller_class));
    return false;
  }
  controller_ = objc::Ref::adopt(made);
  hv::uikit::set_main_screen_scale(options_.scale);
  host_ = std::make_unique<hv::uikit::Host>(
      kContentSize, options_.dark ? ui::UIUserInterfaceStyleDark : ui::UIUserInterfaceStyleLight);
  show_in_settings(panes.front());
  pane_failed_ = false;
  return true;
}

// As Settings shows a pane: its own page, pushed from Settings' list by the loader entry's
// row (whose label becomes the page's title), in a navigation controller below the status
// bar; the bar has no background of its own at the top of the page, so the page's grouped
// background shows through it.
void App::show_in_settings(const PaneEntry& pane) {
  objc::AutoreleasePool pool;
  objc::Ref row =
      objc::Ref::adopt(ui::NSObject::init.send(ui::NSObject::alloc.send(ui::kPSSpecifier.get())));
  objc::Ref entry = objc::readPropertyListFile(pane.entry_file);
  if (id properties = objc::dictionaryGet(entry.get(), "entry"); objc::isDictionary(properties)) {
    ui::PSSpecifier::setProperties.send(row.get(), properties);
  }
  ui::PSSpecifier::setName.send(row.get(), objc::string(pane.label));
  kSetSpecifier.send(controller_.get(), row.get());

  objc::Ref settings = objc::Ref::adopt(
      ui::NSObject::init.send(ui::NSObject::alloc.send(ui::kUIViewController.get())));
  ui::UIViewController::setTitle.send(settings.get(), objc::string(kSettingsTitle));
  id grouped = ui::UIColor::systemGroupedBackgroundColor.send(ui::kUIColor.get());
  ui::UIView::setBackgroundColor.send(ui::UIViewController::view.send(settings.get()), grouped);
  navigation_ = objc::Ref::adopt(kInitWithRootViewController.send(
      ui::NSObject::alloc.send(kUINavigationController.get()), settings.get()));
  kPushViewController.send(navigation_.get(), controller_.get(), NO);
  ui::UIView::setBackgroundColor.send(ui::UIViewController::view.send(navigation_.get()), grouped);
  host_->set_root_view_controller(navigation_.get());
  host_->show_status_bar();
}

bool App::rows() {
  for (const Row& row : table_rows(controller_.get())) {
    id key = objc::dictionaryGet(ui::PSSpecifier::properties.send(row.specifier), "key");
    std::printf("row\t%s\t%s\t%s\n", label_of(row).c_str(), objc::toString(key).c_str(),
                shown_value(row).c_str());
  }
  return true;
}

bool App::tap(const std::string& label) {
  id table = ui::PSListController::table.send(controller_.get());
  for (const Row& row : table_rows(controller_.get())) {
    if (label_of(row) != label) continue;
    // A finger on the middle of the cell: the table selects the row and tells its delegate.
    const CGRect rect = ui::UITableView::rectForRowAtIndexPath.send(table, row.index_path);
    const CGRect in_root = ui::UIView::convertRect_toView.send(table, rect, host_->root_view());
    host_->tap(CGPoint{in_root.origin.x + in_root.size.width / 2,
                       in_root.origin.y + in_root.size.height / 2});
    std::printf("tapped\t%s\n", label.c_str());
    if (open_overlay(controller_.get())) std::printf("menu open\n");
    return true;
  }
  fail("no row labelled \"%s\"", label);
  return false;
}

bool App::toggle(const std::string& label) {
  for (const Row& row : table_rows(controller_.get())) {
    if (label_of(row) != label) continue;
    id control = ui::UITableViewCell::accessoryView.send(row.cell);
    if (!control || !objc::isKindOf(control, ui::kUISwitch)) {
      fail("the row \"%s\" has no switch", label);
      return false;
    }
    const bool on = !objc::fromBool(ui::UISwitch::isOn.send(control));
    ui::UISwitch::setOn_animated.send(control, objc::toBool(on), objc::toBool(true));
    ui::UIControl::sendActionsForControlEvents.send(control, ui::UIControlEventValueChanged);
    std::printf("toggled\t%s\t%s\n", label.c_str(), on ? "on" : "off");
    return true;
  }
  fail("no row labelled \"%s\"", label);
  return false;
}

bool App::menu() {
  id overlay = open_overlay(controller_.get());
  if (!overlay) {
    std::printf("no menu\n");
    return true;
  }
  for (const MenuRow& row : menu_rows(overlay)) {
    std::printf("menu-row\t%s\t%s\n", row.title.c_str(), row.checked ? "checked" : "unchecked");
  }
  return true;
}

bool App::choose(const std::string& title) {
  id overlay = open_overlay(controller_.get());
  if (!overlay) {
    fail("no menu is open to choose \"%s\" from", title);
    return false;
  }
  for (const MenuRow& row : menu_rows(overlay)) {
    if (row.title != title) continue;
    const CGRect bounds = ui::UIView::bounds.send(row.button);
    const CGRect in_window =
        ui::UIView::convertRect_toView.send(row.button, bounds, host_->root_view());
    std::printf("chose\t%s\n", title.c_str());
    return tap_at(in_window.origin.x + in_window.size.width / 2,
                  in_window.origin.y + in_window.size.height / 2);
  }
  fail("the menu has no row \"%s\"", title);
  return false;
}

bool App::tap_at(double x, double y) {
  id hit = host_->tap(CGPoint{x, y});
  std::printf("tap-at\t%g\t%g\t%s\n", x, y, hit ? objc::className(objc::classOf(hit)) : "nothing");
  return true;
}

bool App::wait(double seconds) {
  if (!(seconds >= 0) || !std::isfinite(seconds)) {
    fail("cannot wait %s seconds", std::to_string(seconds));
    return false;
  }
  hv::uikit::run_for(seconds);
  std::printf("waited\t%g\n", seconds);
  return true;
}

bool App::appearance(const std::string& style) {
  if (style != "light" && style != "dark") {
    fail("appearance is light or dark, not \"%s\"", style);
    return false;
  }
  options_.dark = style == "dark";
  host_->set_appearance(options_.dark ? ui::UIUserInterfaceStyleDark
                                      : ui::UIUserInterfaceStyleLight);
  std::printf("appearance\t%s\n", style.c_str());
  return true;
}

bool App::screenshot(const std::string& path) {
  std::string error;
  if (!host_->snapshot(path, options_.scale, &error)) {
    fail("cannot write the picture %s", path + ": " + error);
    return false;
  }
  std::printf("screenshot\t%s\n", path.c_str());
  return true;
}

}  // namespace halvernic::sim::settings
