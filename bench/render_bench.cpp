// The renderer: a menu card (shadow, material, three titles, check mark, hairlines) over
// a coloured page, at the scales of current phones; text measuring; the box blur alone.
#include <benchmark/benchmark.h>

#include <vector>

#include "platform/render/display_list.hpp"
#include "platform/render/internal.hpp"

namespace {

using namespace hv::render;

Node view(Rect f, std::optional<Rgba> background = std::nullopt) {
  Node n;
  n.to_parent = {1, 0, 0, 1, f.x, f.y};
  n.bounds = {0, 0, f.width, f.height};
  n.background = background;
  return n;
}

Text title(const char* s, Rect frame, double size, int weight) {
  Text t;
  t.utf8 = s;
  t.point_size = size;
  t.weight = weight;
  t.frame = frame;
  return t;
}

Node card_scene() {
  Node root = view({0, 0, 390, 520}, Rgba{0.95, 0.95, 0.97, 1});
  for (int i = 0; i < 6; ++i)
    root.children.push_back(view({16, 300.0 + i * 30, 60, 24}, Rgba{i / 6.0, 0.5, 1 - i / 6.0, 1}));
  Node container = view({40, 320, 256, 141});
  container.shadow =
      Shadow{{0, 0, 0, 1}, 0.25, 20, {0, 8}, rounded_rect_path({0, 0, 256, 141}, 14, false)};
  Node card = view({0, 0, 256, 141}, Rgba{0.98, 0.98, 0.98, 0.86});
  card.corner_radius = 14;
  card.continuous_corners = true;
  card.clips = true;
  Node blur = view({0, 0, 256, 141});
  blur.backdrop = system_thin_material(false);
  card.children.push_back(blur);
  const char* titles[] = {"苹果原生温控", "模拟低电频率", "防止温控降频"};
  for (int i = 0; i < 3; ++i) {
    card.texts.push_back(title(titles[i], {18, i * 47.0, 190, 47}, 16, 400));
    if (i < 2) card.children.push_back(view({0, (i + 1) * 47 - 0.5, 256, 0.5}, Rgba{0, 0, 0, 0.1}));
  }
  card.texts.push_back(title("\u2713", {217, 47, 22, 47}, 19, 600));
  container.children.push_back(card);
  root.children.push_back(container);
  return root;
}

void BM_RenderMenuCard(benchmark::State& state) {
  const Node scene = card_scene();
  Options options;
  options.scale = static_cast<double>(state.range(0));
  options.size = {390, 520};
  for (auto _ : state) benchmark::DoNotOptimize(render(scene, options));
}
BENCHMARK(BM_RenderMenuCard)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

void BM_MeasureTitle(benchmark::State& state) {
  const Text t = title("模拟低电频率", {}, 16, 400);
  for (auto _ : state) benchmark::DoNotOptimize(measure_text(t));
}
BENCHMARK(BM_MeasureTitle)->Unit(benchmark::kMicrosecond);

void BM_BoxBlurArgb(benchmark::State& state) {
  const int side = 512;
  std::vector<std::uint8_t> pixels(side * side * 4, 0);
  for (std::size_t i = 0; i < pixels.size(); i += 7) pixels[i] = static_cast<std::uint8_t>(i);
  const double sigma = static_cast<double>(state.range(0));
  for (auto _ : state) {
    detail::blur(pixels.data(), side, side, side * 4, 4, sigma, true);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * side * side);
}
BENCHMARK(BM_BoxBlurArgb)->Arg(4)->Arg(30)->Unit(benchmark::kMillisecond);

}  // namespace
