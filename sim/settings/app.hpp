// The simulated Settings app: one pane, loaded from the device root, in a window, and the
// commands a person or a test gives it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/objc/ref.hpp"

namespace hv::uikit {
class Host;
}

namespace halvernic::sim::settings {

struct PaneEntry;

class App {
public:
  struct Options {
    std::string root;   // the device root
    bool dark = false;  // the window's appearance
    double scale = 3;   // pixels per point of screenshots
  };

  explicit App(Options options);
  ~App();
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  // The number of arguments a command takes, or -1 for an unknown command.
  static int arity(const std::string& name);
  // Whether a command's arguments are well formed (numbers whole and within their bounds);
  // false with the reason, which is bad usage. Run checks them again.
  static bool check(const std::string& name, const std::vector<std::string>& args,
                    std::string* error);
  // Runs one command; false (with the reason on standard error) when it failed.
  bool run(const std::string& name, const std::vector<std::string>& args);

  // The shown controller (nil until a command needed the pane).
  id controller() const { return controller_.get(); }

private:
  bool ensure_pane();
  void show_in_settings(const PaneEntry& pane);

  bool rows();
  bool tap(const std::string& label);
  bool toggle(const std::string& label);
  bool menu();
  bool choose(const std::string& title);
  bool tap_at(double x, double y);
  bool appearance(const std::string& style);
  bool wait(double seconds);
  bool screenshot(const std::string& path);
  void help();

  Options options_;
  std::unique_ptr<hv::uikit::Host> host_;
  objc::Ref navigation_;  // Settings' navigation controller: its root page, then the pane
  objc::Ref controller_;
  bool pane_failed_ = false;
};

}  // namespace halvernic::sim::settings
