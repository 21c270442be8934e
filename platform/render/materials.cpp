// The materials the stand-ins' visual effect views draw. iOS composes a material from a
// large blur of the backdrop, a saturation boost and one or two tint layers whose exact
// values are private; these are chosen by eye to come close to the thin system material
// on a device: a strong blur (radius 30 points), saturation raised by 1.8, and a
// translucent near-white (light) or near-black (dark) tint of alpha 0.6. Colours behind
// the material show through muted, as on iOS; fine grain (iOS adds a faint noise) does not.
#include "platform/render/display_list.hpp"

namespace hv::render {

Backdrop system_thin_material(bool dark) {
  if (dark) return Backdrop{30, {0.145, 0.145, 0.15, 0.6}, 1.8};
  return Backdrop{30, {0.97, 0.97, 0.97, 0.6}, 1.8};
}

}  // namespace hv::render
