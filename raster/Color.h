#pragma once

// Pixel arithmetic shared by the drawing stages: premultiplied 0xAARRGGBB pixels, division by 255
// and colour transforms (which act on straight colours).

#include <algorithm>
#include <cstdint>

#include "render/Geometry.h"

namespace lumen::raster {

// Rounded x / 255 for x in 0 .. 255 * 255 (exact for every product of two bytes).
inline uint32_t Div255(uint32_t x) {
  x += 128;
  return (x + (x >> 8)) >> 8;
}

inline uint32_t Pack(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
  return a << 24 | r << 16 | g << 8 | b;
}

inline uint32_t Premultiply(render::Rgba c) {
  return Pack(c.a, Div255(c.r * c.a), Div255(c.g * c.a), Div255(c.b * c.a));
}

inline render::Rgba Unpremultiply(uint32_t p) {
  const uint32_t a = p >> 24;
  if (a == 0) return {0, 0, 0, 0};
  auto un = [a](uint32_t c) {
    return static_cast<uint8_t>(std::min<uint32_t>(255, (c * 255 + a / 2) / a));
  };
  return {un((p >> 16) & 0xFF), un((p >> 8) & 0xFF), un(p & 0xFF), static_cast<uint8_t>(a)};
}

inline uint8_t ClampChannel(float v) {
  if (!(v > 0)) return 0;  // also NaN
  if (v >= 255) return 255;
  return static_cast<uint8_t>(v + 0.5f);
}

inline render::Rgba Transform(render::Rgba c, const render::ColorTransform& t) {
  return {ClampChannel(c.r * t.mul_r + t.add_r), ClampChannel(c.g * t.mul_g + t.add_g),
          ClampChannel(c.b * t.mul_b + t.add_b), ClampChannel(c.a * t.mul_a + t.add_a)};
}

// Applies `t` to premultiplied pixels (through their straight colours).
void TransformPixels(const uint32_t* src, uint32_t* dst, int n, const render::ColorTransform& t);

// A transform that only scales alpha (by a factor in 0..1) acts on premultiplied pixels as a
// plain scale: returns that factor as 0..255, or -1 when `t` does more than that.
int AlphaOnlyFactor(const render::ColorTransform& t);

}  // namespace lumen::raster
