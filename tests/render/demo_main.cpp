// hv-render-demo [folder]: writes menu-light.png and menu-dark.png (at scale 3) into the
// folder (default: the current one) and says how many glyphs no font had.
#include <cstdio>
#include <string>

#include "platform/render/display_list.hpp"
#include "tests/render/menu_scene.hpp"

int main(int argc, char** argv) {
  using namespace hv::render;
  const std::string folder = argc > 1 ? argv[1] : ".";
  int status = 0;
  for (bool dark : {false, true}) {
    Options options;
    options.scale = 3;
    options.size = demo::kPicture;
    Stats stats;
    const Image image = render(demo::menu_scene(dark), options, &stats);
    const std::string path = folder + (dark ? "/menu-dark.png" : "/menu-light.png");
    std::string error;
    if (!write_png(image, path, &error)) {
      std::fprintf(stderr, "hv-render-demo: %s\n", error.c_str());
      return 1;
    }
    std::printf("%s: %dx%d pixels, %d texts, %d unknown glyphs\n", path.c_str(), image.width,
                image.height, stats.texts, stats.unknown_glyphs);
    if (stats.unknown_glyphs != 0) status = 2;
  }
  return status;
}
