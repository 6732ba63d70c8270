#include "raster/BitmapLevels.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace lumen::raster {

namespace {

constexpr int kSmallestWithLevels = 512;

// The box average of each 2 x 2 block of premultiplied pixels; an odd last column or row is
// averaged with itself.
render::Bitmap Half(const render::Bitmap& from) {
  render::Bitmap half;
  half.width = (from.width + 1) / 2;
  half.height = (from.height + 1) / 2;
  half.opaque = from.opaque;
  half.pixels.resize(static_cast<size_t>(half.width) * static_cast<size_t>(half.height));
  const auto at = [&from](int x, int y) {
    return from.pixels[static_cast<size_t>(std::min(y, from.height - 1)) *
                           static_cast<size_t>(from.width) +
                       static_cast<size_t>(std::min(x, from.width - 1))];
  };
  for (int y = 0; y < half.height; ++y) {
    uint32_t* out = half.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(half.width);
    for (int x = 0; x < half.width; ++x) {
      const uint32_t p[4] = {at(2 * x, 2 * y), at(2 * x + 1, 2 * y), at(2 * x, 2 * y + 1),
                             at(2 * x + 1, 2 * y + 1)};
      uint32_t mixed = 0;
      for (int shift = 0; shift < 32; shift += 8) {
        uint32_t sum = 2;  // rounds to nearest
        for (uint32_t c : p) sum += c >> shift & 0xFF;
        mixed |= (sum >> 2) << shift;
      }
      out[x] = mixed;
    }
  }
  return half;
}

}  // namespace

bool TakesLevels(int width, int height) {
  return width >= kSmallestWithLevels || height >= kSmallestWithLevels;
}

size_t LevelBytes(int width, int height) {
  size_t bytes = 0;
  while (TakesLevels(width, height)) {
    width = (width + 1) / 2;
    height = (height + 1) / 2;
    bytes += static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
  }
  return bytes;
}

void AddSmallerLevels(render::Bitmap& bitmap) {
  bitmap.smaller.clear();
  if (bitmap.width <= 0 || bitmap.height <= 0 ||
      bitmap.pixels.size() !=
          static_cast<size_t>(bitmap.width) * static_cast<size_t>(bitmap.height)) {
    return;
  }
  std::vector<render::Bitmap> levels;
  // `last` is taken again after each push, which may move the levels.
  for (const render::Bitmap* last = &bitmap; TakesLevels(last->width, last->height);
       last = &levels.back()) {
    render::Bitmap half = Half(*last);
    levels.push_back(std::move(half));
  }
  bitmap.smaller = std::move(levels);
}

}  // namespace lumen::raster
