#include "tests/render/menu_scene.hpp"

#include <initializer_list>
#include <utility>

#include "platform/render/canvas.hpp"

namespace hv::render::demo {

namespace {

Node view(Rect frame, std::optional<Rgba> background = std::nullopt) {
  Node n;
  n.to_parent = {1, 0, 0, 1, frame.x, frame.y};
  n.bounds = {0, 0, frame.width, frame.height};
  n.background = background;
  return n;
}

Text label(const char* utf8, Rect frame, double size, int weight, Rgba color, int alignment = align_left) {
  Text t;
  t.utf8 = utf8;
  t.point_size = size;
  t.weight = weight;
  t.color = color;
  t.alignment = alignment;
  t.frame = frame;
  return t;
}

Rgba white(double w, double a = 1) { return {w, w, w, a}; }

// The Control Center tile's fallback glyph: a pulse line stroked into a 42-point image.
Bitmap pulse_glyph(double scale) {
  Canvas canvas({42, 42}, false, scale);
  Stroke line;
  line.path = {{PathElement::move, {{4, 23}}},  {PathElement::line, {{14, 23}}},
               {PathElement::line, {{19, 10}}}, {PathElement::line, {{25, 34}}},
               {PathElement::line, {{30, 20}}}, {PathElement::line, {{38, 20}}}};
  line.color = {1, 1, 1, 1};
  line.width = 3;
  canvas.stroke(line);
  return canvas.snapshot();
}

}  // namespace

Node menu_scene(bool dark) {
  const Rgba grouped = dark ? Rgba{0, 0, 0, 1} : Rgba{0.949, 0.949, 0.969, 1};
  const Rgba cell = dark ? Rgba{0.110, 0.110, 0.118, 1} : Rgba{1, 1, 1, 1};
  const Rgba text = dark ? white(1) : white(0);
  const Rgba secondary = dark ? Rgba{0.92, 0.92, 0.96, 0.6} : Rgba{0.24, 0.24, 0.26, 0.6};

  Node root = view({0, 0, kPicture.width, kPicture.height}, grouped);

  // The list behind the menu: two groups of cells with coloured icons; the last cell of the
  // first group is the CPU mode cell the menu hangs from.
  const Rgba separator = dark ? Rgba{0.33, 0.33, 0.35, 0.6} : Rgba{0.24, 0.24, 0.26, 0.29};
  auto cells = [&](double y, std::initializer_list<std::pair<const char*, Rgba>> rows) {
    Node group = view({16, y, kPicture.width - 32, 44.0 * rows.size()}, cell);
    group.corner_radius = 10;
    group.continuous_corners = true;
    group.clips = true;
    int i = 0;
    for (auto [title, colour] : rows) {
      Node icon = view({16, i * 44 + 7.0, 30, 30}, colour);
      icon.corner_radius = 7;
      icon.continuous_corners = true;
      group.children.push_back(icon);
      group.texts.push_back(label(title, {60, i * 44.0, 220, 44}, 17, 400, text));
      if (i + 1 < static_cast<int>(rows.size()))
        group.children.push_back(view({60, (i + 1) * 44 - 0.5, group.bounds.width - 60, 0.5}, separator));
      ++i;
    }
    return group;
  };
  root.texts.push_back(label("HALVERNIC", {32, 140, 200, 20}, 13, 400, secondary));
  Node first = cells(168, {{"防止温控降频", {1, 0.584, 0, 1}},
                           {"低功耗模式", {0.204, 0.78, 0.349, 1}},
                           {"关闭温控警告", {1, 0.231, 0.188, 1}},
                           {"CPU 模式", {0, 0.478, 1, 1}}});
  first.texts.push_back(label("苹果原生温控", {200, 3 * 44.0, first.bounds.width - 216, 44}, 17, 400,
                              secondary, align_right));
  root.children.push_back(first);
  root.children.push_back(cells(372, {{"屏幕调光", {0.686, 0.322, 0.871, 1}},
                                      {"口袋模式", {0.345, 0.337, 0.839, 1}},
                                      {"阳光模式", {1, 0.8, 0, 1}}}));

  // The Control Center tile with its drawn glyph, orange when selected.
  Node tile = view(kTile, dark ? Rgba{0.2, 0.2, 0.2, 0.9} : Rgba{0.3, 0.3, 0.3, 0.7});
  tile.corner_radius = 18;
  tile.continuous_corners = true;
  Bitmap glyph = pulse_glyph(2);
  glyph.frame = {15, 15, 42, 42};
  glyph.template_tint = Rgba{1, 0.584, 0, 1};
  tile.images.push_back(glyph);
  root.children.push_back(tile);

  // The menu: a shadow container, the clipped card, the material, rows, check mark, hairlines.
  Node container = view(kMenu);
  Shadow shadow;
  shadow.color = {0, 0, 0, 1};
  shadow.opacity = 0.25;
  shadow.radius = 20;
  shadow.offset = {0, 8};
  shadow.path = rounded_rect_path({0, 0, kMenu.width, kMenu.height}, 14, false);
  container.shadow = shadow;
  Node card = view({0, 0, kMenu.width, kMenu.height}, dark ? white(0.12, 0.95) : white(0.98, 0.86));
  card.corner_radius = 14;
  card.continuous_corners = true;
  card.clips = true;
  Node blur = view({0, 0, kMenu.width, kMenu.height});
  blur.backdrop = system_thin_material(dark);
  card.children.push_back(blur);
  const char* modes[] = {"苹果原生温控", "模拟低电频率", "防止温控降频"};
  for (int i = 0; i < 3; ++i) {
    Node row = view({0, i * kRow, kMenu.width, kRow});
    row.texts.push_back(label(modes[i], {18, 0, kMenu.width - 18 - 48, kRow}, 16, 400, text));
    card.children.push_back(row);
    if (i == kCheckedRow) {
      Node check = view({kMenu.width - 39, i * kRow, 22, kRow});
      check.texts.push_back(label("\u2713", {0, 0, 22, kRow}, 19, 600,
                                  dark ? Rgba{0.4, 0.7, 1, 1} : Rgba{0, 0.36, 1, 1}, align_center));
      card.children.push_back(check);
    }
    if (i < 2)
      card.children.push_back(view({0, (i + 1) * kRow - 0.5, kMenu.width, 0.5},
                                   dark ? white(1, 0.12) : white(0, 0.1)));
  }
  container.children.push_back(card);
  root.children.push_back(container);
  return root;
}

}  // namespace hv::render::demo
