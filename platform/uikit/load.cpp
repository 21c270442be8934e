// Registers the stand-in's classes when the library loads (from the protocol anchor's
// +load, protocols.mm), before any front-end's bundle (which subclasses them) can load.
#include "platform/uikit/internal.hpp"

// QuartzCore's corner curve names (NSStrings, made at registration).
extern "C" {
__attribute__((visibility("default"))) id kCACornerCurveContinuous = nullptr;
__attribute__((visibility("default"))) id kCACornerCurveCircular = nullptr;
}

namespace hv::uikit {

void register_all() {
  static bool done = false;
  if (done) return;
  done = true;
  objc::AutoreleasePool pool;
  register_responder_and_views();
  register_colors_and_fonts();
  register_controller();
  register_table();
  register_graphics();
  register_devices();
  register_switch();
  register_navigation();
  kCACornerCurveContinuous = objc::keepForever(objc::makeString("continuous"));
  kCACornerCurveCircular = objc::keepForever(objc::makeString("circular"));
}

}  // namespace hv::uikit
