// The host side of the UIKit stand-in: what a simulated host app (Settings, Control
// Center) or a test does to the views that a front-end builds.
//
//   hv::uikit::Host host(CGSizeMake(390, 844));   // a root view of that size ("window")
//   host.set_root_view_controller(controller);     // loads its view, fits it, appearance calls
//   host.set_appearance(2);                        // dark: traits change, colours re-resolve
//   host.tap(CGPointMake(200, 400));               // hit-test; touch-up-inside / row selection
//   hv::uikit::advance(0.2);                       // the main loop's clock: timers, completions
//   host.snapshot("menu.png", 2);                  // the view tree as it stands now, as a PNG
//
// Everything runs on the main thread. The clock is the main run loop's: tests move it
// with advance(); an interactive host calls run_for(), which follows real time.
// Animations are recorded (animations()) with their duration, delay, options and each
// changed property's from and to values; their completions run once, on this loop, when
// the clock has passed their end, never earlier.
#pragma once

#include <CoreGraphics/CoreGraphics.h>
#include <objc/objc.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/render/display_list.hpp"

namespace hv::uikit {

struct PropertyChange {
  id view = nullptr;     // not retained: compare, don't message, once the view may be gone
  std::string property;  // "alpha", "transform" (a b c d tx ty), "center" (x y), "bounds" (x y w
                         // h), "backgroundColor" (no values)
  std::vector<double> from, to;
};

struct AnimationRecord {
  double duration = 0, delay = 0;
  unsigned long options = 0;
  double start = 0;  // the clock's time at which it starts (after the delay)
  std::vector<PropertyChange> changes;
};

// ---- the main run loop -----------------------------------------------------------------
double now();
void advance(double seconds);  // runs every timer and completion due, in time order
void run_for(double seconds);  // the same, following real time
void after(double delay, std::function<void()> work);  // a timer on the main loop
std::vector<AnimationRecord> animations();  // every animation recorded and not yet forgotten
void forget_animations();                   // drops the records of finished animations

// ---- the simulated device ----------------------------------------------------------------
void set_system_version(const char* version);  // UIDevice's systemVersion ("15.6" by default)
void set_main_screen_scale(double scale);      // UIScreen's scale (3 by default)
// The system symbols +[UIImage systemImageNamed:] knows; any other name answers nil.
void set_known_symbols(std::vector<std::string> names);

class Host {
public:
  explicit Host(CGSize size, long interface_style = 1);
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  id root_view() const;  // +0, lives as long as the host
  // Loads the controller's view, makes it fill the root view (flexible width and height)
  // and sends viewWillAppear: / viewDidAppear:.
  void set_root_view_controller(id controller);
  // The system's status bar across the top of the root view, above everything the host
  // adds (a view of its own that takes no touches): `leading` at the leading edge (the time,
  // or Control Center's carrier name), the signal bars and the battery at the trailing edge,
  // in the label colour or, with light_content, in white. The root view's safe area then
  // begins below it (kStatusBarHeight, an iPhone with a notch); safeAreaInsets tells each
  // view how much of it covers that view.
  static constexpr double kStatusBarHeight = 47;
  void show_status_bar(const std::string& leading = "9:41", bool light_content = false);
  // Changes the interface style of the whole tree; every view and the root controller get
  // traitCollectionDidChange: with the previous trait collection.
  void set_appearance(long interface_style);
  long appearance() const;
  // A finger down and up at a point of the root view: the view hit (UIKit's rules) gets
  // the touch; the nearest enclosing enabled UIControl sends touch-up-inside; a touch in a
  // table view cell outside any control selects its row (the delegate's
  // tableView:didSelectRowAtIndexPath:). Answers the view hit (nil for none).
  id tap(CGPoint point);

  // The view tree as it shows at the clock's time, for the renderer.
  render::Node display_list() const;
  // Renders at scale (points to pixels) and writes a PNG; false with a reason on failure.
  bool snapshot(const std::string& path, double scale, std::string* error = nullptr,
                render::Stats* stats = nullptr) const;
  render::Image render_image(double scale, render::Stats* stats = nullptr) const;

private:
  id root_ = nullptr;
  id controller_ = nullptr;
  id status_bar_ = nullptr;
};

// Any view's display list (its own coordinates at the root of the list).
render::Node display_list_of(id view);

}  // namespace hv::uikit
