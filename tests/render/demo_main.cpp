// hv-render-demo [folder]: builds the menu scene with the UIKit stand-ins and writes
// menu-light.png and menu-dark.png (at scale 3) into the folder (default: the current
// one); says how many glyphs no font had, and fails if any.
#include <cstdio>
#include <string>

#include "common/objc/ref.hpp"
#include "common/objc/thread.hpp"
#include "common/ui/uikit.hpp"
#include "tests/render/menu_scene.hpp"

int main(int argc, char** argv) {
  namespace ui = halvernic::ui;
  using namespace hv::render;
  objc::attachCurrentThread();
  objc::AutoreleasePool pool;
  const std::string folder = argc > 1 ? argv[1] : ".";
  hv::uikit::Host host(CGSizeMake(demo::kPicture.width, demo::kPicture.height),
                       ui::UIUserInterfaceStyleLight);
  demo::build_menu_scene(host);
  int status = 0;
  for (long style : {ui::UIUserInterfaceStyleLight, ui::UIUserInterfaceStyleDark}) {
    host.set_appearance(style);
    const std::string path =
        folder + (style == ui::UIUserInterfaceStyleDark ? "/menu-dark.png" : "/menu-light.png");
    Stats stats;
    std::string error;
    if (!host.snapshot(path, 3, &error, &stats)) {
      std::fprintf(stderr, "hv-render-demo: %s\n", error.c_str());
      return 1;
    }
    std::printf("%s: %d texts, %d unknown glyphs\n", path.c_str(), stats.texts,
                stats.unknown_glyphs);
    if (stats.unknown_glyphs != 0) status = 2;
  }
  return status;
}
