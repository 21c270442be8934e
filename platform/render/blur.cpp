// A Gaussian blur approximated by three successive box blurs (cairo has none). The three
// box widths are chosen so that their combined variance matches sigma^2 (the usual "boxes
// for Gauss" choice: widths wl and wl + 2, m of them the smaller).
#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/render/internal.hpp"

namespace hv::render::detail {

namespace {

// Box widths (odd) of three passes matching a Gaussian of sigma.
void box_widths(double sigma, int out[3]) {
  const int n = 3;
  const double ideal = std::sqrt(12 * sigma * sigma / n + 1);
  int wl = static_cast<int>(std::floor(ideal));
  if (wl % 2 == 0) --wl;
  if (wl < 1) wl = 1;
  const int wu = wl + 2;
  const double m_ideal =
      (12 * sigma * sigma - n * wl * wl - 4.0 * n * wl - 3.0 * n) / (-4.0 * wl - 4);
  const int m = static_cast<int>(std::lround(m_ideal));
  for (int i = 0; i < n; ++i) out[i] = i < m ? wl : wu;
}

// One box pass along a row of `count` samples `step` bytes apart, each of `channels`
// bytes. Each channel is first copied into `padded` with `radius` + 1 samples of padding
// on both sides (edge repeats or zeros), so the sliding sum needs no bounds checks.
void box_line(std::uint8_t* line, int count, int step, int channels, int radius, bool clamp,
              std::vector<int>& padded) {
  const int width = 2 * radius + 1;
  padded.resize(static_cast<std::size_t>(count) + 2 * (radius + 1));
  for (int c = 0; c < channels; ++c) {
    const int first = line[c], last = line[(count - 1) * step + c];
    int* p = padded.data() + radius + 1;
    for (int i = 0; i < count; ++i) p[i] = line[i * step + c];
    for (int i = 1; i <= radius + 1; ++i) {
      p[-i] = clamp ? first : 0;
      p[count - 1 + i] = clamp ? last : 0;
    }
    int sum = 0;
    for (int i = -radius; i <= radius; ++i) sum += p[i];
    for (int i = 0; i < count; ++i) {
      line[i * step + c] = static_cast<std::uint8_t>((sum + width / 2) / width);
      sum += p[i + radius + 1] - p[i - radius];
    }
  }
}

// One box pass down every column at once: a running sum per byte of a row, moved one row
// at a time, so memory is read row by row. Reads from a copy of the rows (`copy`).
void box_columns(std::uint8_t* data, int width, int height, int stride, int channels, int radius,
                 bool clamp, std::vector<std::uint8_t>& copy, std::vector<int>& sums) {
  const int row_bytes = width * channels;
  const int window = 2 * radius + 1;
  copy.resize(static_cast<std::size_t>(row_bytes) * height);
  for (int y = 0; y < height; ++y)
    std::copy_n(data + static_cast<std::ptrdiff_t>(y) * stride, row_bytes,
                copy.data() + static_cast<std::size_t>(y) * row_bytes);
  // Row y of the input, or the edge row (clamped) / nothing (zeros) beyond the image.
  auto row = [&](int y) -> const std::uint8_t* {
    if (y < 0) return clamp ? copy.data() : nullptr;
    if (y >= height)
      return clamp ? copy.data() + static_cast<std::size_t>(height - 1) * row_bytes : nullptr;
    return copy.data() + static_cast<std::size_t>(y) * row_bytes;
  };
  sums.assign(row_bytes, 0);
  for (int y = -radius; y <= radius; ++y)
    if (const std::uint8_t* r = row(y))
      for (int i = 0; i < row_bytes; ++i) sums[i] += r[i];
  for (int y = 0; y < height; ++y) {
    std::uint8_t* out = data + static_cast<std::ptrdiff_t>(y) * stride;
    for (int i = 0; i < row_bytes; ++i)
      out[i] = static_cast<std::uint8_t>((sums[i] + window / 2) / window);
    const std::uint8_t* in = row(y + radius + 1);
    const std::uint8_t* gone = row(y - radius);
    if (in)
      for (int i = 0; i < row_bytes; ++i) sums[i] += in[i];
    if (gone)
      for (int i = 0; i < row_bytes; ++i) sums[i] -= gone[i];
  }
}

}  // namespace

void blur(std::uint8_t* data, int width, int height, int stride, int channels, double sigma,
          bool clamp_edges) {
  if (sigma < 0.3 || width <= 0 || height <= 0) return;
  int widths[3];
  box_widths(sigma, widths);
  std::vector<int> scratch;
  std::vector<std::uint8_t> copy;
  for (int w : widths) {
    const int radius = (w - 1) / 2;
    if (radius == 0) continue;
    for (int y = 0; y < height; ++y)
      box_line(data + static_cast<std::ptrdiff_t>(y) * stride, width, channels, channels, radius,
               clamp_edges, scratch);
    box_columns(data, width, height, stride, channels, radius, clamp_edges, copy, scratch);
  }
}

void saturate(std::uint8_t* data, int width, int height, int stride, double amount) {
  if (amount == 1) return;
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
    for (int x = 0; x < width; ++x) {
      const std::uint32_t p = row[x];
      const double a = (p >> 24) & 0xff, r = (p >> 16) & 0xff, g = (p >> 8) & 0xff, b = p & 0xff;
      const double l = 0.2126 * r + 0.7152 * g + 0.0722 * b;
      auto channel = [&](double c) {
        return static_cast<std::uint32_t>(std::lround(std::clamp(l + amount * (c - l), 0.0, a)));
      };
      row[x] = (p & 0xff000000u) | (channel(r) << 16) | (channel(g) << 8) | channel(b);
    }
  }
}

}  // namespace hv::render::detail
