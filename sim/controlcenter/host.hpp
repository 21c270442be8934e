// The simulated Control Center: one module loaded from the device root, presented in
// Control Center's order, and acted on as a person would (the commands of hv-controlcenter).
//
// What each command prints, one line per fact:
//   tap-tile           "tapped: tile"                       (the tile's centre, through
//   hit-testing) expand             "expanded: yes", or "expand: refused" when the module declines
//   rows               "row <i>: <title> | <subtitle> | checked|unchecked" per row, or "no rows"
//   choose TITLE       "chose: <title>"                     (the row's centre, through hit-testing)
//   collapse           "expanded: no"
//   lock-screen        "lock-screen: shown", or "lock-screen: not offered"
//   state              "selected: yes|no", "glyph-state: <the tile's glyph state>",
//                      "mode: off|lowPower|fullPower"       (the preferences file, as every reader
//                      reads it)
//   appearance STYLE   "appearance: light|dark"
//   wait SECONDS       "waited: <seconds>"                  (the main run loop, in real time)
//   screenshot FILE    "screenshot: <file>"
//   tap-at X Y         "tapped-at: <x> <y> -> <class of the view hit, or nothing>"
//   help               "command: <usage>" per command
#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "common/objc/ref.hpp"
#include "hvplatform/uikit_host.hpp"
#include "sim/controlcenter/bundle.hpp"
#include "sim/controlcenter/commands.hpp"

namespace hv_controlcenter_sim {

class Host {
public:
  Host(const Options& options, std::ostream& out);
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // Loads HalvernicCC from the device root, makes the module and presents it.
  bool start(std::string* error);
  std::vector<Command> commands();
  // The page as it stands (after start), for pictures and tests.
  const hv::uikit::Host& screen() const { return *screen_; }
  // Where the module's tile sits on the page, in points.
  static CGRect tile_frame();

private:
  bool tap_tile(std::string* error);
  bool expand(std::string* error);
  bool collapse(std::string* error);
  bool rows(std::string* error);
  bool choose(const std::string& title, std::string* error);
  bool lock_screen(std::string* error);
  bool state(std::string* error);
  bool appearance(const std::string& style, std::string* error);
  bool wait(const std::string& seconds, std::string* error);
  bool screenshot(const std::string& file, std::string* error);
  bool tap_at(const std::string& x, const std::string& y, std::string* error);

  void present();
  void place_module();
  bool tap(double x, double y, std::string* hit_class);
  id controller() const;
  id row_views() const;

  Options options_;
  std::ostream& out_;
  LoadedBundle bundle_;
  std::unique_ptr<hv::uikit::Host> screen_;  // its root view is Control Center's backdrop
  objc::Ref neighbours_;                     // the system's modules around this one
  objc::Ref module_;
  bool expanded_ = false;
  bool locked_ = false;
};

}  // namespace hv_controlcenter_sim
