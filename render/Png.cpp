#include "render/Png.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image.h>
#include <stb_image_write.h>

namespace lumen::render {

namespace {

void Unpremultiply(uint32_t p, uint8_t* out) {
  const uint32_t a = p >> 24;
  const uint32_t c[3] = {(p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF};
  for (int i = 0; i < 3; ++i) {
    out[i] = a == 0 ? 0 : static_cast<uint8_t>(std::min<uint32_t>(255, (c[i] * 255 + a / 2) / a));
  }
  out[3] = static_cast<uint8_t>(a);
}

uint32_t Premultiply(const uint8_t* rgba) {
  const uint32_t a = rgba[3];
  auto mul = [a](uint32_t c) { return (c * a + 127) / 255; };
  return a << 24 | mul(rgba[0]) << 16 | mul(rgba[1]) << 8 | mul(rgba[2]);
}

}  // namespace

bool WritePng(const std::string& path, const raster::Pixmap& pixmap) {
  if (pixmap.Empty()) return false;
  const int w = pixmap.Width(), h = pixmap.Height();
  std::vector<uint8_t> rgba(static_cast<size_t>(w) * h * 4);
  for (int y = 0; y < h; ++y) {
    const uint32_t* row = pixmap.Row(y);
    for (int x = 0; x < w; ++x) Unpremultiply(row[x], &rgba[(static_cast<size_t>(y) * w + x) * 4]);
  }
  return stbi_write_png(path.c_str(), w, h, 4, rgba.data(), w * 4) != 0;
}

raster::Pixmap ReadPng(const std::string& path) {
  int w = 0, h = 0, channels = 0;
  stbi_uc* data = stbi_load(path.c_str(), &w, &h, &channels, 4);
  if (!data) return {};
  raster::Pixmap out(w, h);
  for (int y = 0; y < out.Height(); ++y) {
    uint32_t* row = out.Row(y);
    for (int x = 0; x < out.Width(); ++x) {
      row[x] = Premultiply(&data[(static_cast<size_t>(y) * w + x) * 4]);
    }
  }
  stbi_image_free(data);
  return out;
}

}  // namespace lumen::render
