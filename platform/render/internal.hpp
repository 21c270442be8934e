// What the renderer's pieces share inside hv_render (not for users of the library).
#pragma once

#include <cairo.h>

#include <cstdint>

#include "platform/render/display_list.hpp"

namespace hv::render::detail {

// The path, in the context's current user space.
void set_path(cairo_t* cr, const Path& path);
void set_source(cairo_t* cr, Rgba color);
cairo_matrix_t to_cairo(const Affine& t);

// Strokes: hairlines (a device pixel or thinner, along the axes) land on pixel centres.
void stroke(cairo_t* cr, const Stroke& s);
void draw_bitmap(cairo_t* cr, const Bitmap& b);

// Text (text.cpp). Pango is used under one lock for the whole process.
void draw_text(cairo_t* cr, const Text& t, Stats* stats);
Size measure_text(const Text& t, Stats* stats);

// Blur (blur.cpp): three box blurs approximating a Gaussian of `sigma` pixels, in place, on
// cairo's ARGB32 (4 channels) or A8 (1 channel) pixels. `clamp_edges` repeats the edge
// pixels beyond the border (a backdrop); otherwise the outside is transparent (a shadow).
void blur(std::uint8_t* data, int width, int height, int stride, int channels, double sigma,
          bool clamp_edges);
// Scales the saturation of premultiplied ARGB32 pixels in place (1 leaves them).
void saturate(std::uint8_t* data, int width, int height, int stride, double amount);

}  // namespace hv::render::detail
