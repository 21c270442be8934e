// The module on a Control Center page as the simulated Control Center shows it: the tile in
// the grid among the system's modules (placeholders on the same material), the status bar
// above, and the others fading out while the module is expanded; checked on chosen pixels.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "sim/controlcenter/host.hpp"
#include "tests/ccmodule/module_fixture.hpp"

namespace {

constexpr double kScale = 2;

hv::render::Rgba pixel_at(const hv::render::Image& image, double x, double y) {
  return image.pixel(static_cast<int>(x * kScale), static_cast<int>(y * kScale));
}

bool same_colour(const hv::render::Rgba& a, const hv::render::Rgba& b) {
  return std::fabs(a.r - b.r) < 0.02 && std::fabs(a.g - b.g) < 0.02 && std::fabs(a.b - b.b) < 0.02;
}

TEST(ControlCenterPage, TheTileSitsAmongTheSystemsModulesOnTheSameMaterial) {
  objc::AutoreleasePool pool;
  ASSERT_NE(hv_test::module_class(), nullptr);  // installs the bundle below the device root
  for (const char* appearance : {"dark", "light"}) {
    SCOPED_TRACE(appearance);
    hv_controlcenter_sim::Options options;
    options.root = hv_test::device_root().string();
    options.appearance = appearance;
    options.scale = kScale;
    std::ostringstream out;
    hv_controlcenter_sim::Host host(options, out);
    std::string error;
    ASSERT_TRUE(host.start(&error)) << error;

    const CGRect tile = hv_controlcenter_sim::Host::tile_frame();
    const hv::render::Image page = host.screen().render_image(kScale);
    // The tile's platter (away from its glyph) and the neighbour to its left, one module
    // and a gap over, are the same material over the same backdrop.
    const hv::render::Rgba platter = pixel_at(page, tile.origin.x + 12, tile.origin.y + 12);
    const hv::render::Rgba neighbour = pixel_at(page, tile.origin.x - 86 + 12, tile.origin.y + 12);
    const hv::render::Rgba gap = pixel_at(page, tile.origin.x - 8, tile.origin.y + 35);
    EXPECT_TRUE(same_colour(platter, neighbour));
    EXPECT_FALSE(same_colour(platter, gap)) << "the backdrop shows between modules";
    // The connectivity platter's cellular button (top right of the platter at the page's top
    // left, its centre at (145, 126)) is green around its glyph.
    const hv::render::Rgba cellular = pixel_at(page, 145, 106);
    EXPECT_GT(cellular.g, cellular.r + 0.3);
    // The status bar's battery, white in both appearances.
    const hv::render::Rgba battery = pixel_at(page, 390 - 24 - 27 + 10, 25);
    EXPECT_GT(battery.r, 0.9);

    // Expanded: the others fade out, the module is centred on the page.
    std::string no_error;
    for (const auto& command : host.commands()) {
      if (command.name == "expand") ASSERT_TRUE(command.run({}, &no_error)) << no_error;
    }
    const hv::render::Image expanded = host.screen().render_image(kScale);
    EXPECT_TRUE(same_colour(pixel_at(expanded, tile.origin.x - 86 + 12, tile.origin.y + 12), gap))
        << "the neighbours are gone";
    EXPECT_TRUE(same_colour(pixel_at(expanded, 195, 270), platter))
        << "the menu's platter in the middle";
  }
}

}  // namespace
