#include "raster/Color.h"

namespace lumen::raster {

void TransformPixels(const uint32_t* src, uint32_t* dst, int n, const render::ColorTransform& t) {
  for (int i = 0; i < n; ++i) dst[i] = Premultiply(Transform(Unpremultiply(src[i]), t));
}

int AlphaOnlyFactor(const render::ColorTransform& t) {
  if (t.mul_r != 1 || t.mul_g != 1 || t.mul_b != 1 || t.add_r != 0 || t.add_g != 0 ||
      t.add_b != 0 || t.add_a != 0 || !(t.mul_a >= 0)) {
    return -1;
  }
  return t.mul_a >= 1 ? 255 : static_cast<int>(t.mul_a * 255 + 0.5f);
}

}  // namespace lumen::raster
